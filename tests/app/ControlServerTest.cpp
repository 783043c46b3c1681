// SPDX-License-Identifier: MIT
#include "app/ControlClient.h"
#include "app/ControlProtocol.h"
#include "app/ControlServer.h"
#include "app/OperationsLog.h"
#include "bridge/Bridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/SharedState.h"
#include "lan/LanLedger.h"
#include "printer/Currency.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Status = ControlReply::Status;

namespace {

// A safety net only: every wait below ends as soon as its condition holds.
constexpr int Patience = 30000;

// Lets the bridge's event loop run until `done` holds or patience runs out.
bool pumpUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(Patience);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Lines of `lines` that follow the first `from` ones.
std::vector<std::string> after(const std::vector<std::string>& lines, size_t from)
{
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end()};
}

// A client that speaks raw bytes on the socket, to misbehave on purpose.
class RawClient {
public:
    explicit RawClient(const fs::path& socket)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_connected; }
    void send(const std::string& bytes)
    {
        ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Takes what has arrived; true once the bridge has closed its end.
    bool drain()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                received.append(buffer, size_t(n));
                continue;
            }
            return n == 0;
        }
    }

    std::string received;

private:
    int m_fd = -1;
    bool m_connected = false;
};

// A bridge's program folder with the user's runtime folder of its own, so
// the control sockets of the tests never meet the user's.
class RuntimeFolderRig : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        m_hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }
    void TearDown() override
    {
        if (m_hadRuntime)
            qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }

    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    bool m_hadRuntime = false;
};

// The socket file of a server that is gone: bound, then closed unlinked.
void leaveStaleSocket(const fs::path& path)
{
    std::string why;
    ASSERT_TRUE(control::prepareSocketFolder(path.parent_path(), why)) << why;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(fs::is_socket(path));
}

// A bridge on the simulated printer in a temporary program directory, with
// its control server listening.
class ControlFixture : public RuntimeFolderRig {
protected:
    void SetUp() override
    {
        RuntimeFolderRig::SetUp();
        // The back-office's folder, for the exchange file and the last receipt.
        fs::create_directories(m_dir / "data");
        testfiles::write(m_state.configFile(),
                         "[Varie]\r\nEps_COM=1\r\nKelmora_DIR=" + (m_dir / "data").string() + "/\r\n");
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_bridge->start();
        m_server = std::make_unique<ControlServer>(*m_bridge);
        m_server->onRequest = [this](const std::string& command, const std::string& outcome) {
            m_served.push_back(command + " -> " + outcome);
        };
        ASSERT_TRUE(m_server->listen()) << m_server->why();
    }

    // Sends `command` as `tessiro ctl` would, from another thread, while this
    // thread runs the bridge's event loop.
    ControlReply ask(const std::string& command)
    {
        auto pending = std::async(std::launch::async, [dir = m_dir, command] { return askBridge(dir, command, 20s); });
        EXPECT_TRUE(pumpUntil([&] { return pending.wait_for(0s) == std::future_status::ready; }));
        return pending.get();
    }

    // Runs one command file through the polling cycle.
    void runFile(const std::string& name, const std::string& records)
    {
        testfiles::write(m_dir / "Ostro" / name, records);
        m_bridge->tick();
    }

    // A fiscal receipt left open by a file that failed half-way.
    void failHalfWayThroughAReceipt()
    {
        runFile("20261208140509COR0001.txt", "F2:1:PANE:1000:150:1\r\nF4:0:0:molti:1\r\n");
        ASSERT_TRUE(m_state.errorState);
    }

    void fault(const std::string& lines)
    {
        testfiles::write(m_dir / "Simulatore" / "guasti.ini", "[Guasti]\r\n" + lines);
    }

    std::vector<std::string> trace() const { return testfiles::lines(m_dir / "Simulatore" / "chiamate.log"); }
    std::string action(const std::string& text, const std::string& reference = "AZIONE") const
    {
        return reference + ";" + dateTimeText(m_clock.now) + ";AZIONE: " + text;
    }
    fs::path socketPath() const { return control::socketPath(m_dir); }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
    std::unique_ptr<ControlServer> m_server;
    std::vector<std::string> m_served;
};

// ------------------------------------------------------ the six recovery commands

enum class Blocked { Nothing, NonFiscalOpen, FiscalOpen, PaperEndInFiscal, PaperEndInNonFiscal };

struct RecoveryCase {
    const char* command;
    Blocked blocked;
    std::vector<std::string> calls; // printer calls that the command makes, in order
    const char* action;
};

std::ostream& operator<<(std::ostream& out, const RecoveryCase& c)
{
    return out << c.command;
}

class RecoveryOverControl : public ControlFixture, public ::testing::WithParamInterface<RecoveryCase> {
protected:
    void SetUp() override
    {
        ControlFixture::SetUp();
        const Blocked b = GetParam().blocked;
        if (b != Blocked::Nothing) {
            m_printer->setComPort(1);
            m_printer->OpenPort();
            if (b == Blocked::NonFiscalOpen || b == Blocked::PaperEndInNonFiscal)
                ASSERT_EQ(m_printer->OpenNonFiscal(1), 0);
            else
                ASSERT_EQ(m_printer->SellDept(1, "PANE", Currency::fromHundredths(150), 1), 0);
            m_printer->ClosePort();
            if (b == Blocked::PaperEndInFiscal || b == Blocked::PaperEndInNonFiscal)
                fault("FineCarta=1\r\n");
        }
        m_window.setPrinterErrorText("----- PRINTER ERROR -----");
        m_window.setProgramErrorText("----- PROGRAM ERROR -----");
        m_state.errorState = true;
    }
};

TEST_P(RecoveryOverControl, LiftsTheErrorAsTheButtonDoes)
{
    const ControlReply reply = ask(GetParam().command);

    ASSERT_EQ(reply.status, Status::Done) << reply.message;
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(m_window.printerText, "");
    EXPECT_EQ(m_window.programText, "----- PROGRAM ERROR -----");
}

TEST_P(RecoveryOverControl, FilesTheButtonsActionRecordLast)
{
    ASSERT_EQ(ask(GetParam().command).status, Status::Done);

    const std::vector<std::string> log = notFiscalLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), action(GetParam().action));
}

TEST_P(RecoveryOverControl, MakesTheButtonsPrinterCalls)
{
    const size_t before = trace().size();

    ASSERT_EQ(ask(GetParam().command).status, Status::Done);

    std::vector<std::string> calls;
    for (const std::string& line : after(trace(), before))
        if (line.find(") -> ") != std::string::npos && line.rfind("PortIsOpen()", 0) != 0)
            calls.push_back(line);
    EXPECT_EQ(calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    SixButtons, RecoveryOverControl,
    ::testing::Values(
        RecoveryCase{
            "chiudi-nf", Blocked::NonFiscalOpen, {"CloseNonFiscal(1) -> 0"}, "Chiusura scontrino NON Fiscale Bloccato"},
        RecoveryCase{
            "annulla-scontrino", Blocked::FiscalOpen, {"CancelReceipt(1) -> 0"}, "Annullo Scontrino Fiscale Bloccato"},
        RecoveryCase{"elimina-cor", Blocked::Nothing, {}, "Invio comando Eliminazione Corr "},
        RecoveryCase{"fine-carta",
                     Blocked::PaperEndInFiscal,
                     {"PaperEndRecovery(1) -> 0", "CancelReceipt(1) -> 0"},
                     "Recupero da Fine Carta su Scontrino Fiscale"},
        RecoveryCase{"fine-carta-nf",
                     Blocked::PaperEndInNonFiscal,
                     {"PaperEndRecovery(1) -> 0", "CloseNonFiscal(1) -> 0"},
                     "Recupero da Fine Carta su Non Fiscale"},
        RecoveryCase{"ristampa", Blocked::Nothing, {}, "Ristampa Ultimo Scontrino Fiscale"}),
    rownames::by(&RecoveryCase::command));

// ------------------------------------------------ a failed job and its recovery

using FailedJob = ControlFixture;

TEST_F(FailedJob, StatoShowsTheErrorTheLabelsAndTheLastError)
{
    failHalfWayThroughAReceipt();

    const ControlReply reply = ask("stato");

    ASSERT_EQ(reply.status, Status::Done) << reply.message;
    const std::vector<std::string>& out = reply.lines;
    EXPECT_EQ(out.at(0), "error-state: yes");
    EXPECT_EQ(out.at(1), "batch-running: no");
    EXPECT_TRUE(contains(out, "errore stampante: (empty)"));
    EXPECT_TRUE(contains(out, "errore programma:"));
    EXPECT_TRUE(contains(out, "  ----- PROGRAM ERROR -----"));
    EXPECT_TRUE(contains(out, "last-error:"));
    EXPECT_TRUE(contains(out, "  " + dateTimeText(m_clock.now)));
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const std::string& l) {
        return l.find("Campo numerico non valido") != std::string::npos;
    }));
}

TEST_F(FailedJob, AnnullaScontrinoVoidsTheOpenReceiptAndLetsTheNextFileRun)
{
    failHalfWayThroughAReceipt();

    ASSERT_EQ(ask("annulla-scontrino").status, Status::Done);

    EXPECT_TRUE(contains(trace(), "CancelReceipt(1) -> 0"));
    EXPECT_FALSE(m_state.errorState);
    // Still the failed file's name: the record goes where the button's would.
    EXPECT_EQ(fiscalLog().back(), action("Annullo Scontrino Fiscale Bloccato", "COR0001.txt"));
    EXPECT_EQ(ask("stato").lines.at(0), "error-state: no");

    runFile("20261208140600COR0002.txt", "F2:1:LATTE:1000:120:1\r\nF4:0:0:120:1\r\n");
    EXPECT_FALSE(m_state.errorState);
    EXPECT_NE(testfiles::read(m_dir / "Simulatore" / "giornale.txt").find("LATTE"), std::string::npos);
}

TEST_F(FailedJob, NascondiClearsTheErrorAndTheFailedReceiptsReference)
{
    failHalfWayThroughAReceipt();
    ASSERT_EQ(LeggiINI(keys::Section, keys::Kelmora_CORR, "", m_state.configFile()), "COR0001.txt");
    const int hides = m_window.hides;

    ASSERT_EQ(ask("nascondi").status, Status::Done);

    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(m_window.hides, hides + 1);
    EXPECT_EQ(LeggiINI(keys::Section, keys::Kelmora_CORR, "<missing>", m_state.configFile()), "");
}

TEST_F(FailedJob, RecoveryThatFailsAgainIsRefusedWithTheNewError)
{
    failHalfWayThroughAReceipt();
    fault("FineCarta=1\r\nPaperEndRecovery=3\r\n");

    const ControlReply reply = ask("fine-carta");

    EXPECT_EQ(reply.status, Status::Refused);
    EXPECT_NE(reply.message.find("an error stands again"), std::string::npos) << reply.message;
    EXPECT_TRUE(contains(reply.lines, "last-error:"));
    EXPECT_TRUE(m_state.errorState);
}

// ------------------------------------------------------- the window's other commands

using WindowCommand = ControlFixture;

TEST_F(WindowCommand, SvuotaErroriEmptiesOnlyThePrinterLabel)
{
    m_window.setPrinterErrorText("----- PRINTER ERROR -----");
    m_window.setProgramErrorText("----- PROGRAM ERROR -----");
    m_state.errorState = true;

    ASSERT_EQ(ask("svuota-errori").status, Status::Done);

    EXPECT_EQ(m_window.printerText, "");
    EXPECT_EQ(m_window.programText, "----- PROGRAM ERROR -----");
    EXPECT_TRUE(m_state.errorState);
}

TEST_F(WindowCommand, RicreaLogMovesBothLogsWithoutAQuestion)
{
    testfiles::write(m_state.fiscalLog(), "x\r\n");
    ASSERT_TRUE(fs::exists(m_state.notFiscalLog()));

    ASSERT_EQ(ask("ricrea-log").status, Status::Done);

    EXPECT_TRUE(m_window.boxes.empty());
    EXPECT_FALSE(fs::exists(m_state.fiscalLog()));
    EXPECT_FALSE(fs::exists(m_state.notFiscalLog()));
    int moved = 0;
    for (const auto& entry : fs::directory_iterator(m_dir / "Cestino"))
        moved += entry.path().filename().string().ends_with("Error.log") ? 1 : 0;
    EXPECT_EQ(moved, 2);
}

TEST_F(WindowCommand, StatoWithoutAnErrorSaysSoAndLeavesEverythingAlone)
{
    const size_t records = notFiscalLog().size();

    const ControlReply reply = ask("stato");

    ASSERT_EQ(reply.status, Status::Done);
    EXPECT_EQ(reply.lines, (std::vector<std::string>{"error-state: no", "batch-running: no",
                                                     "errore stampante: (empty)", "errore programma: (empty)",
                                                     "last-error: (empty)", "files-waiting: 0",
                                                     "files-today: 0 eseguiti, 0 non riusciti, 0 non eseguiti",
                                                     "uptime: 0 s", "version: " TESSIRO_VERSION}));
    EXPECT_EQ(notFiscalLog().size(), records);
}

TEST_F(WindowCommand, StatoDecodesTheLabelsAndMasksControlCharacters)
{
    m_window.setPrinterErrorText("Totale \x80 5\r\nriga\x1b[2J");

    const ControlReply reply = ask("stato");

    EXPECT_TRUE(contains(reply.lines, "  Totale \xE2\x82\xAC 5")); // the euro sign in UTF-8
    EXPECT_TRUE(contains(reply.lines, "  riga?[2J"));
}

TEST_F(WindowCommand, MostraShowsTheWindowThroughTheCallback)
{
    int shown = 0;
    m_server->showWindow = [&shown] { ++shown; };

    EXPECT_EQ(ask("mostra").status, Status::Done);
    EXPECT_EQ(shown, 1);
}

TEST_F(WindowCommand, MostraIsRefusedByABridgeWithoutAWindow)
{
    const ControlReply reply = ask("mostra");

    EXPECT_EQ(reply.status, Status::Refused);
    EXPECT_NE(reply.message.find("without a window"), std::string::npos);
}

TEST_F(WindowCommand, UnknownCommandIsRefusedAndChangesNothing)
{
    m_state.errorState = true;

    const ControlReply reply = ask("stampa-tutto");

    EXPECT_EQ(reply.status, Status::Refused);
    EXPECT_EQ(reply.message, "unknown command \"stampa-tutto\"");
    EXPECT_TRUE(m_state.errorState);
}

TEST_F(WindowCommand, EachRequestIsReportedWithItsOutcome)
{
    ask("stato");
    ask("boh");

    EXPECT_EQ(m_served, (std::vector<std::string>{"stato -> OK", "boh -> unknown command \"boh\""}));
}

// ------------------------------------------------------------- misbehaving clients

using MisbehavingClient = ControlFixture;

TEST_F(MisbehavingClient, SilentClientDoesNotHoldUpOthersAndIsDropped)
{
    m_server->setClientTimeout(100ms);
    RawClient silent(socketPath());
    ASSERT_TRUE(silent.connected());

    EXPECT_EQ(ask("stato").status, Status::Done);
    EXPECT_TRUE(pumpUntil([&] { return silent.drain(); }));
    EXPECT_EQ(silent.received, "");
}

TEST_F(MisbehavingClient, OverlongRequestIsRefusedUnread)
{
    RawClient client(socketPath());
    client.send(std::string(control::MaxRequest + 100, 'a'));

    ASSERT_TRUE(pumpUntil([&] { return client.drain(); }));
    EXPECT_EQ(client.received, "ERR request too long\n");
    EXPECT_TRUE(m_served.empty());
}

TEST_F(MisbehavingClient, CommandOfAClientThatGaveUpIsNotRun)
{
    m_state.errorState = true;
    const size_t records = notFiscalLog().size();
    RawClient client(socketPath());
    client.send("annulla-scontrino\n");
    client.close();

    ASSERT_TRUE(pumpUntil([&] { return !m_served.empty(); }));
    EXPECT_EQ(m_served.front(), "annulla-scontrino -> not run: the client had gone");
    EXPECT_TRUE(m_state.errorState);
    EXPECT_EQ(notFiscalLog().size(), records);
}

TEST_F(MisbehavingClient, RequestSentInPiecesIsServed)
{
    RawClient client(socketPath());
    client.send("sta");
    pumpUntil([] { return true; });
    client.send("to\r\n");

    ASSERT_TRUE(pumpUntil([&] { return client.drain(); }));
    EXPECT_TRUE(client.received.starts_with("| error-state: no\n")) << client.received;
    EXPECT_TRUE(client.received.ends_with("\nOK\n")) << client.received;
}

// ------------------------------------------------- stato for monitoring, ricarica

using Monitoring = ControlFixture;

// runControl from another thread, as `tessiro ctl` runs it.
struct CtlRun {
    int status = -1;
    std::string out, err;
};

class MonitoringCtl : public ControlFixture {
protected:
    CtlRun ctl(const std::string& command)
    {
        auto pending = std::async(std::launch::async, [dir = m_dir, command] {
            std::ostringstream out, err;
            CtlRun r;
            r.status = runControl(dir, command, out, err, 20s);
            r.out = out.str();
            r.err = err.str();
            return r;
        });
        EXPECT_TRUE(pumpUntil([&] { return pending.wait_for(0s) == std::future_status::ready; }));
        return pending.get();
    }

    QJsonObject json()
    {
        const CtlRun r = ctl(control::StatoJson);
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out;
        EXPECT_TRUE(doc.isObject()) << r.out;
        return doc.object();
    }
};

struct StatoExitCase {
    const char* name;
    const char* command;
};

std::ostream& operator<<(std::ostream& out, const StatoExitCase& c)
{
    return out << c.name;
}

class StatoExit : public MonitoringCtl, public ::testing::WithParamInterface<StatoExitCase> {};

TEST_P(StatoExit, ZeroWhenAllIsWellOneWhileAnErrorStands)
{
    EXPECT_EQ(ctl(GetParam().command).status, 0);
    failHalfWayThroughAReceipt();
    const CtlRun standing = ctl(GetParam().command);
    EXPECT_EQ(standing.status, ExitControlRefused);
    EXPECT_EQ(standing.err, "");
    EXPECT_NE(standing.out, "");
    ASSERT_EQ(ask("nascondi").status, Status::Done);
    EXPECT_EQ(ctl(GetParam().command).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Forms, StatoExit,
                         ::testing::Values(StatoExitCase{"Text", "stato"}, StatoExitCase{"Json", control::StatoJson}),
                         rownames::byName);

TEST_F(MonitoringCtl, JsonCarriesTheFactsOfStato)
{
    QJsonObject o = json();
    EXPECT_EQ(o.value("error_state"), QJsonValue(false));
    EXPECT_EQ(o.value("printer_error"), QJsonValue(QString()));
    EXPECT_EQ(o.value("program_error"), QJsonValue(QString()));
    EXPECT_TRUE(o.value("last_error_time").isNull());
    EXPECT_TRUE(o.value("last_file").isNull());
    EXPECT_EQ(o.value("files_waiting"), QJsonValue(0));
    EXPECT_EQ(o.value("batch_running"), QJsonValue(false));
    EXPECT_EQ(o.value("uptime_seconds"), QJsonValue(0));
    m_clock.advance(std::chrono::seconds(90));
    EXPECT_EQ(json().value("uptime_seconds"), QJsonValue(90)) << "not on the bridge's steady clock";
    EXPECT_TRUE(o.value("last_receipt_number").isNull());
    EXPECT_TRUE(o.value("doubt_outcome").isNull());

    // The LAN printer's numbers as it keeps them.
    LanLedger ledger(m_dir);
    ReceiptNumbers n;
    n.receipt = 27;
    n.z = 118;
    n.amount = QStringLiteral("3,50");
    ledger.confirmed(n);
    ledger.addDoubt("20261208140509COR0009.txt", "");
    ASSERT_TRUE(ledger.save());
    o = json();
    EXPECT_EQ(o.value("last_receipt_number"), QJsonValue(27));
    EXPECT_EQ(o.value("last_z_number"), QJsonValue(118));
    EXPECT_EQ(o.value("last_receipt_amount"), QJsonValue("3,50"));
    EXPECT_EQ(o.value("receipts_in_doubt"), QJsonValue(1));
    n.receipt = 29;
    ledger.confirmed(n);
    ASSERT_TRUE(ledger.save());
    o = json();
    EXPECT_EQ(o.value("doubt_outcome"),
              QJsonValue("20261208140509COR0009.txt: Esito del documento in dubbio: stampato (scontrino n. 28)"));
    EXPECT_NE(ctl("stato").out.find("printer-numbers: scontrino n. 29, chiusura n. 118, importo 3,50"),
              std::string::npos);

    failHalfWayThroughAReceipt();
    testfiles::write(m_dir / "Ostro" / "a.txt", "D1:1:A");
    testfiles::write(m_dir / "Ostro" / "b.txt", "D1:1:B");
    testfiles::write(m_dir / "Ostro" / ".in-scrittura", "D1:1:C");
    o = json();
    EXPECT_EQ(o.value("error_state"), QJsonValue(true));
    EXPECT_TRUE(o.value("program_error")
                    .toString()
                    .startsWith("----- PROGRAM ERROR -----\n" + QString::fromStdString(dateTimeText(m_clock.now))))
        << o.value("program_error").toString().toStdString();
    EXPECT_EQ(o.value("last_error_time"), QJsonValue(QString::fromStdString(dateTimeText(m_clock.now))));
    EXPECT_TRUE(o.value("last_error").toString().contains("Campo numerico non valido"));
    EXPECT_EQ(o.value("files_waiting"), QJsonValue(2));
    EXPECT_EQ(o.value("last_file"), QJsonValue("20261208140509COR0001.txt"));
    EXPECT_EQ(o.value("last_file_outcome"), QJsonValue("non riuscito"));
}

struct OutcomeCase {
    const char* name;
    bool errorFirst;
    const char* records;
    const char* outcome;
};

std::ostream& operator<<(std::ostream& out, const OutcomeCase& c)
{
    return out << c.name;
}

class LastFileOutcome : public MonitoringCtl, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(LastFileOutcome, IsTheOutcomeOfTheLastFileRun)
{
    if (GetParam().errorFirst)
        failHalfWayThroughAReceipt();
    runFile("20261208140600NOF0002.txt", GetParam().records);
    const QJsonObject o = json();
    EXPECT_EQ(o.value("last_file"), QJsonValue("20261208140600NOF0002.txt"));
    EXPECT_EQ(o.value("last_file_outcome"), QJsonValue(GetParam().outcome));
    const std::string text = ctl("stato").out;
    EXPECT_NE(text.find(std::string("last-file: 20261208140600NOF0002.txt (") + GetParam().outcome + ")"),
              std::string::npos)
        << text;
}

INSTANTIATE_TEST_SUITE_P(Outcomes, LastFileOutcome,
                         ::testing::Values(OutcomeCase{"Ran", false, "D1:1:CIAO\r\n", "eseguito"},
                                           OutcomeCase{"Failed", false, "F2:1:PANE:1000:150:100\r\nF4:0:0:0:1\r\n", "non riuscito"},
                                           OutcomeCase{"Discarded", true, "D1:1:CIAO\r\n", "scartato"},
                                           OutcomeCase{"UnknownFirstCode", false, "d1:1:CIAO\r\n", "non eseguito"},
                                           OutcomeCase{"Semicolons", false, "D1;1;CIAO\r\n", "non eseguito"},
                                           OutcomeCase{"Empty", false, "\r\n", "non eseguito"}),
                         rownames::byName);

TEST_F(MonitoringCtl, JsonSaysTheVersionAndCountsTheFilesOfTheDay)
{
    QJsonObject o = json();
    EXPECT_EQ(o.value("version"), QJsonValue(QStringLiteral(TESSIRO_VERSION)));
    EXPECT_EQ(o.value("files_run_today"), QJsonValue(0));

    runFile("a.txt", "D1:1:UNO\r\n");
    runFile("b.txt", "D1:1:DUE\r\n");
    runFile("c.txt", "XX:1\r\n");
    // Just before midnight: still today.
    m_clock.now.tm_hour = 23;
    m_clock.now.tm_min = 59;
    runFile("d.txt", "F2:1:PANE:1000:2.50:1\r\nF4:0:0:250:1\r\n");
    runFile("e.txt", "D1:1:SCARTATO\r\n");
    o = json();
    EXPECT_EQ(o.value("files_run_today"), QJsonValue(2));
    EXPECT_EQ(o.value("files_failed_today"), QJsonValue(1));
    EXPECT_EQ(o.value("files_not_run_today"), QJsonValue(2)) << "one unknown code, one discarded";
    const std::string text = ctl("stato").out;
    EXPECT_NE(text.find("files-today: 2 eseguiti, 1 non riusciti, 2 non eseguiti"), std::string::npos) << text;

    // Past midnight the day starts again from nothing.
    m_clock.now.tm_mday += 1;
    m_clock.now.tm_hour = 0;
    m_clock.now.tm_min = 1;
    std::mktime(&m_clock.now);
    o = json();
    EXPECT_EQ(o.value("files_run_today"), QJsonValue(0));
    EXPECT_EQ(o.value("files_failed_today"), QJsonValue(0));
    EXPECT_EQ(o.value("files_not_run_today"), QJsonValue(0));
    ASSERT_EQ(ask("nascondi").status, Status::Done);
    runFile("f.txt", "D1:1:NUOVO\r\n");
    EXPECT_EQ(json().value("files_run_today"), QJsonValue(1));
}

TEST_F(MonitoringCtl, NoWidgetNameInAnyReply)
{
    failHalfWayThroughAReceipt();
    m_window.setPrinterErrorText("----- PRINTER ERROR -----");
    for (const char* command : {"stato", control::StatoJson}) {
        const CtlRun r = ctl(command);
        EXPECT_EQ(r.out.find("MsgErrore"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("NOPrinter"), std::string::npos) << r.out;
    }
}

TEST_F(MonitoringCtl, RicaricaAppliesAPortWrittenOutsideAndLeavesTheErrorAlone)
{
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_COM, "3", m_state.configFile()));
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_Setting, "9600,N,8,1", m_state.configFile()));
    failHalfWayThroughAReceipt();

    EXPECT_EQ(ask("ricarica").status, Status::Done);

    EXPECT_EQ(m_state.settings.portNumber, std::optional<int16_t>(3));
    EXPECT_EQ(m_state.settings.portSettings, "9600,N,8,1");
    EXPECT_TRUE(m_state.errorState);
    EXPECT_EQ(LeggiINI(keys::Section, keys::Eps_COM, "", m_state.configFile()), "3");
}

TEST_F(MonitoringCtl, HeadlessNascondiKeepsAValueWrittenOutside)
{
    // As it once went wrong: config set, then nascondi wrote "Eps_COM=" back.
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_COM, "", m_state.configFile()));
    ASSERT_EQ(ask("nascondi").status, Status::Done);
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_COM, "1", m_state.configFile()));

    ASSERT_EQ(ask("nascondi").status, Status::Done);

    EXPECT_EQ(LeggiINI(keys::Section, keys::Eps_COM, "", m_state.configFile()), "1");
    EXPECT_EQ(m_state.settings.portNumber, std::optional<int16_t>(1));
}

// ------------------------------------------------------------- the socket file

class ControlSocket : public RuntimeFolderRig {
protected:
    void SetUp() override
    {
        RuntimeFolderRig::SetUp();
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_bridge->start();
    }
    fs::path socketPath() const { return control::socketPath(m_dir); }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
};

TEST_F(ControlSocket, NoBridgeRunningIsSaidAndNotTakenForARefusal)
{
    const ControlReply reply = askBridge(m_dir, "stato", 5s);

    EXPECT_EQ(reply.status, Status::NoBridge);
    EXPECT_EQ(reply.message, "no bridge is running on " + m_dir.string());

    std::ostringstream out, err;
    EXPECT_EQ(runControl(m_dir, "stato", out, err, 5s), ExitNoBridge);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "tessiro: no bridge is running on " + m_dir.string() + "\n");
}

TEST_F(ControlSocket, SocketLeftByABridgeThatDiedMeansNoBridgeAndIsReplaced)
{
    leaveStaleSocket(socketPath());
    EXPECT_EQ(askBridge(m_dir, "stato", 5s).status, Status::NoBridge);

    ControlServer server(*m_bridge);
    ASSERT_TRUE(server.listen()) << server.why();
    auto pending = std::async(std::launch::async, [this] { return askBridge(m_dir, "stato", 20s); });
    ASSERT_TRUE(pumpUntil([&] { return pending.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(pending.get().status, Status::Done);
}

TEST_F(ControlSocket, OnlyTheOwnerCanReachTheSocket)
{
    ControlServer server(*m_bridge);
    ASSERT_TRUE(server.listen()) << server.why();

    struct stat st {};
    ASSERT_EQ(::lstat(socketPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(ControlSocket, LiveSocketOfAnotherServerIsLeftAlone)
{
    ControlServer first(*m_bridge);
    ASSERT_TRUE(first.listen());

    ControlServer second(*m_bridge);
    EXPECT_FALSE(second.listen());
    EXPECT_NE(second.why().find("answers on"), std::string::npos) << second.why();
    EXPECT_TRUE(fs::is_socket(socketPath()));
}

TEST_F(ControlSocket, FileThatIsNoSocketIsNeitherRemovedNorUsed)
{
    testfiles::write(socketPath(), "dati");

    ControlServer server(*m_bridge);
    EXPECT_FALSE(server.listen());
    EXPECT_NE(server.why().find("is not a socket"), std::string::npos);
    EXPECT_EQ(testfiles::read(socketPath()), "dati");
}

TEST_F(ControlSocket, SocketGoesAwayWithTheServer)
{
    {
        ControlServer server(*m_bridge);
        ASSERT_TRUE(server.listen());
        ASSERT_TRUE(fs::exists(socketPath()));
    }
    EXPECT_FALSE(fs::exists(socketPath()));
    EXPECT_EQ(askBridge(m_dir, "stato", 5s).status, Status::NoBridge);
}

TEST_F(ControlSocket, TooLongARuntimeFolderIsReportedNotTruncated)
{
    const fs::path deep = testfiles::path(m_runtime) / std::string(120, 'x');
    fs::create_directories(deep);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(deep.string())));

    ControlServer server(*m_bridge);
    EXPECT_FALSE(server.listen());
    EXPECT_NE(server.why().find("longer than the system allows"), std::string::npos) << server.why();
}

// Program folders on which no socket can be made: a share (no local socket
// lives on sshfs, CIFS or NFS) behaves like a path too long for bind.
TEST_F(ControlSocket, AProgramFolderWhereNoSocketCanBeMadeStillAnswers)
{
    const fs::path deep = m_dir / std::string(120, 'x');
    fs::create_directories(deep);
    m_state.programDir = deep;

    ControlServer server(*m_bridge);
    ASSERT_TRUE(server.listen()) << server.why();
    EXPECT_EQ(server.socketPath().parent_path(), testfiles::path(m_runtime) / "tessiro");
    auto pending = std::async(std::launch::async, [deep] { return askBridge(deep, "stato", 20s); });
    ASSERT_TRUE(pumpUntil([&] { return pending.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(pending.get().status, Status::Done);
    EXPECT_FALSE(fs::exists(deep / ".tessiro.sock"));
}

TEST_F(ControlSocket, EverySpellingOfTheFolderFindsTheSameSocket)
{
    fs::create_directories(m_dir / "sotto");
    fs::create_directory_symlink(m_dir, m_dir / "collegamento");
    const fs::path socket = control::socketPath(m_dir);
    EXPECT_EQ(control::socketPath(m_dir / "sotto" / ".."), socket);
    EXPECT_EQ(control::socketPath(m_dir / "collegamento"), socket);
    EXPECT_EQ(control::socketPath(m_dir / "."), socket);
    EXPECT_NE(control::socketPath(m_dir / "sotto"), socket);
}

TEST_F(ControlSocket, TheRuntimeFolderIsMadePrivate)
{
    const fs::path folder = testfiles::path(m_runtime) / "tessiro";
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::all);

    ControlServer server(*m_bridge);
    ASSERT_TRUE(server.listen()) << server.why();

    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(ControlSocket, ARuntimeFolderThatIsALinkIsRefused)
{
    const fs::path elsewhere = testfiles::path(m_runtime) / "altrove";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, testfiles::path(m_runtime) / "tessiro");

    ControlServer server(*m_bridge);
    EXPECT_FALSE(server.listen());
    EXPECT_NE(server.why().find("is not a folder of this user"), std::string::npos) << server.why();
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(ControlSocket, AServerThatIsGoneLeavesTheBridgesOtherSubscribersAsTheyWere)
{
    std::vector<std::string> done;
    const auto earlier = m_bridge->jobs().subscribe({{}, [&done](const Job& job) { done.push_back(job.name); }});
    bool heardAfterItsEnd = false;
    {
        ControlServer server(*m_bridge);
        const auto gone = m_bridge->jobs().subscribe({{}, [&](const Job&) { heardAfterItsEnd = true; }});
    }
    testfiles::write(m_dir / "Ostro" / "a.txt", "D1:1:A\r\n");
    m_bridge->tick();
    EXPECT_EQ(done, std::vector<std::string>{"a.txt"});
    EXPECT_FALSE(heardAfterItsEnd) << "a subscription went on after its handle was gone";
}

TEST_F(ControlSocket, ServerAndOperationsLogBothHearTheOutcomeWhicheverCameFirst)
{
    const ControlServer server(*m_bridge);
    std::ostringstream said;
    OperationsLog operations(said, OperationsLog::Level::Verbose);
    operations.attach(*m_bridge);

    testfiles::write(m_dir / "Ostro" / "a.txt", "F4:0:0:tanti:1\r\n");
    m_bridge->tick();

    EXPECT_NE(said.str().find("File non riuscito: a.txt"), std::string::npos) << said.str();
    EXPECT_NE(server.stateJson().find("\"last_file_outcome\":\"non riuscito\""), std::string::npos)
        << server.stateJson();
}

TEST_F(ControlSocket, AFolderOfAnotherUserOpenToAllIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    // Made first by someone else, as anyone could under /tmp.
    const fs::path folder = testfiles::path(m_runtime) / "tessiro";
    fs::create_directory(folder);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    fs::permissions(folder, fs::perms::all);

    ControlServer server(*m_bridge);
    EXPECT_FALSE(server.listen());
    EXPECT_NE(server.why().find("is not a folder of this user"), std::string::npos) << server.why();
    EXPECT_TRUE(fs::is_empty(folder));
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << "the folder is left as it was";
}

// Where the socket folder goes, from the environment and the system's
// runtime folder of the user. Paths are under a temporary folder T.
struct FolderCase {
    const char* name;
    bool runtime;       // XDG_RUNTIME_DIR = T/rt
    const char* run;    // T/run: "dir", "open" (group-writable), "link" or "" (none)
    bool cacheHome;     // XDG_CACHE_HOME = T/cache
    std::size_t home;   // HOME = T/hhh... with this many h; 0: no home
    const char* chosen; // below T, or "tmp" for /tmp/tessiro-UID
};

void PrintTo(const FolderCase& c, std::ostream* os)
{
    *os << c.name;
}

class SocketFolderChoice : public ::testing::TestWithParam<FolderCase> {
protected:
    QTemporaryDir m_tmp;
};

TEST_P(SocketFolderChoice, IsOneNoOtherUserCanMakeFirst)
{
    const FolderCase& c = GetParam();
    const fs::path t = testfiles::path(m_tmp);
    control::SocketPlaces places;
    places.uid = ::geteuid();
    if (c.runtime)
        places.runtimeDir = (t / "rt").string();
    places.userRun = t / "run";
    if (std::string(c.run) == "dir" || std::string(c.run) == "open")
        fs::create_directory(places.userRun);
    if (std::string(c.run) == "open")
        fs::permissions(places.userRun, fs::perms::group_write, fs::perm_options::add);
    if (std::string(c.run) == "link") {
        fs::create_directory(t / "elsewhere");
        fs::create_directory_symlink(t / "elsewhere", places.userRun);
    }
    if (c.cacheHome)
        places.cacheHome = (t / "cache").string();
    if (c.home > 0)
        places.home = (t / std::string(c.home, 'h')).string();

    const control::SocketFolder folder = control::chooseSocketFolder(places);
    const std::string tmp = "/tmp/tessiro-" + std::to_string(::geteuid());
    EXPECT_EQ(folder.path, std::string(c.chosen) == "tmp" ? fs::path(tmp) : t / c.chosen);
    // Only the fall-back to /tmp is said, and then why.
    EXPECT_EQ(folder.note.empty(), std::string(c.chosen) != "tmp") << folder.note;
    // Every socket of the folder fits in a socket address.
    EXPECT_LE(folder.path.string().size() + 1 + control::socketPath("/srv/negozio").filename().string().size(),
              control::MaxSocketPath);
    if (std::string(c.chosen) != "tmp")
        return;
    // The way out is named.
    EXPECT_NE(folder.note.find("XDG_RUNTIME_DIR"), std::string::npos) << folder.note;
}

INSTANTIATE_TEST_SUITE_P(
    Places, SocketFolderChoice,
    ::testing::Values(FolderCase{"RuntimeFolderFirst", true, "dir", true, 20, "rt/tessiro"},
                      FolderCase{"SystemRuntimeFolderWithoutTheVariable", false, "dir", true, 20, "run/tessiro"},
                      FolderCase{"CacheHomeWithoutARuntimeFolder", false, "", true, 20, "cache/tessiro"},
                      FolderCase{"HomeCacheWithoutEither", false, "", false, 20, "hhhhhhhhhhhhhhhhhhhh/.cache/tessiro"},
                      FolderCase{"RuntimeLinkPassedOver", false, "link", true, 20, "cache/tessiro"},
                      FolderCase{"RuntimeFolderOthersCanWritePassedOver", false, "open", true, 20, "cache/tessiro"},
                      FolderCase{"HomeTooLongForASocketFallsBackAndSaysSo", false, "", false, 80, "tmp"},
                      FolderCase{"NoHomeFallsBackAndSaysSo", false, "", false, 0, "tmp"}),
    rownames::byName);

TEST(ControlSocketFolder, WithoutARuntimeFolderItIsNeverAFolderOfTheSharedTmp)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const bool had = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    const bool hadCache = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_CACHE_HOME", "/var/tmp/c");
    const fs::path folder = control::socketFolder();
    had ? qputenv("XDG_RUNTIME_DIR", saved) : qunsetenv("XDG_RUNTIME_DIR");
    hadCache ? qputenv("XDG_CACHE_HOME", savedCache) : qunsetenv("XDG_CACHE_HOME");
    const fs::path userRun = fs::path("/run/user") / std::to_string(::geteuid());
    struct stat st {};
    const bool runFolder = ::lstat(userRun.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    EXPECT_EQ(folder, runFolder ? userRun / "tessiro" : fs::path("/var/tmp/c/tessiro"));
}

} // namespace
