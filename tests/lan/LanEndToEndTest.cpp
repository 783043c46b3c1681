// SPDX-License-Identifier: MIT
// A bridge with the LAN control against the simulator served over HTTP on
// 127.0.0.1, compared with a bridge driving the simulator in-process: the
// same rolls (less their time stamps), and for faults the same kind of
// record in the same log, the same Kelmora_CORR and the same error state.
#include "app/ControlServer.h"
#include "bridge/Bridge.h"
#include "bridge/RunningFile.h"
#include "commands/Interprete.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "lan/LanPrinter.h"
#include "lan/serve/PrinterServer.h"
#include "printer/TestReceipt.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"
#include "support/ServedPrinter.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace fs = std::filesystem;

namespace {

// One bridge on a program folder of its own, with the printer it is given.
struct BridgeSide : ProgramFolder {
    explicit BridgeSide(bool lan, const QString& address = {}) : m_address(lan ? address : QString())
    {
        configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
        start();
    }
    // Start-up on the folder as it is, as after a kill (stop()).
    void start()
    {
        if (!m_address.isEmpty())
            printer = std::make_unique<LanPrinter>(dir, clock, *LanEndpoint::parse(m_address));
        else
            printer = std::make_unique<SimulatedPrinter>(dir);
        bridge = std::make_unique<Bridge>(state, window, clock, *printer);
        bridge->start();
    }
    void stop()
    {
        bridge.reset();
        printer.reset();
    }

    // Drops a file and has it taken, after the hold-back minute if it looks
    // unfinished.
    void run(const std::string& name, const std::string& content)
    {
        testfiles::write(state.dropDir() / name, content);
        bridge->tick();
        if (!fs::is_empty(state.dropDir())) {
            clock.advance(Intake::HoldBackLimit + std::chrono::seconds(1));
            bridge->tick();
        }
    }
    std::string kelmora() const { return configValue(keys::Kelmora_CORR, ""); }

    // The rig's parts under the names the comparisons use.
    const fs::path& dir = m_dir;
    SharedState& state = m_state;
    FakeWindow& window = m_window;
    FakeClock& clock = m_clock;
    std::unique_ptr<PrinterControl> printer;
    std::unique_ptr<Bridge> bridge;

private:
    QString m_address; // of the LAN printer; empty for the simulator in-process
};

std::string rollOf(const fs::path& dir)
{
    QString text = QString::fromUtf8(testfiles::read(dir / "Simulatore" / "giornale.txt"));
    static const QRegularExpression stamp(QStringLiteral("\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d"));
    return text.replace(stamp, QStringLiteral("<data e ora>")).toStdString();
}

// The LAN document puts a subtotal's discount before the subtotal, as the
// service takes it, so the served printer prints the discount and then the
// subtotal after it; the in-process simulator prints them in the file's
// order. The in-process roll as the served printer prints it.
std::string discountBeforeSubtotal(const std::string& roll)
{
    static const QRegularExpression pair(
        QStringLiteral("SUBTOTALE +(\\d+),(\\d\\d)\n(SCONTO SUBTOTALE +-(\\d+),(\\d\\d))\n"));
    QString text = QString::fromStdString(roll);
    QRegularExpressionMatch m;
    while ((m = pair.match(text)).hasMatch()) {
        const int cents = m.captured(1).toInt() * 100 + m.captured(2).toInt() -
                          (m.captured(4).toInt() * 100 + m.captured(5).toInt());
        const QString amount = QStringLiteral("%1,%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0'));
        text.replace(m.capturedStart(), m.capturedLength(),
                     m.captured(3) + QStringLiteral("\nSUBTOTALE") + amount.rightJustified(31) + QLatin1Char('\n'));
    }
    return text.toStdString();
}

std::string displayOf(const fs::path& dir)
{
    return testfiles::read(dir / "Simulatore" / "visore.txt");
}

// The records of a log as their kind: the prefix and, for the printer's
// event, its code ("PrinterError 3").
std::vector<std::string> kinds(const fs::path& log)
{
    std::vector<std::string> out;
    const auto lines = testfiles::lines(log);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("PrinterError: ", 0) == 0) {
            std::string kind = "PrinterError";
            for (size_t j = i + 1; j < lines.size() && j < i + 3; ++j)
                if (const auto at = lines[j].find("EpsonError: "); at != std::string::npos)
                    kind += " " + lines[j].substr(at + 12);
            out.push_back(kind);
        } else if (line.rfind("Tessiro_Error: ", 0) == 0) {
            out.push_back("Tessiro_Error");
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> exampleFiles()
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const char* name : {"20261208143000COR000001.txt", "20261208143500COR000002.txt",
                             "20261208144000NOF000003.txt", "20261208144500display.txt", "20261208200000CHI000005.txt"})
        files.emplace_back(name, testfiles::read(fs::path(TESSIRO_EXAMPLES) / name));
    return files;
}

class LanEndToEnd : public ::testing::Test {
protected:
    LanEndToEnd()
        : m_servedDir(testfiles::path(m_servedTmp)), m_served(m_servedDir), m_lan(true, m_served.address()),
          m_local(false)
    {}

    QTemporaryDir m_servedTmp;
    fs::path m_servedDir;
    ServedPrinter m_served;
    BridgeSide m_lan;
    BridgeSide m_local;
};

TEST_F(LanEndToEnd, EveryExampleFilePrintsTheSameRollAsTheSimulatorInProcess)
{
    ASSERT_NE(m_served.port(), 0);
    for (const auto& [name, content] : exampleFiles()) {
        m_lan.run(name, content);
        m_local.run(name, content);
        EXPECT_EQ(rollOf(m_servedDir), discountBeforeSubtotal(rollOf(m_local.dir))) << "after " << name;
        EXPECT_EQ(displayOf(m_servedDir), displayOf(m_local.dir)) << "after " << name;
    }
    EXPECT_FALSE(m_lan.state.errorState) << m_lan.state.lastErrorText;
    EXPECT_FALSE(m_local.state.errorState) << m_local.state.lastErrorText;
    EXPECT_NE(rollOf(m_servedDir).find("CHIUSURA FISCALE"), std::string::npos);
    EXPECT_TRUE(fs::exists(m_lan.dir / LanPrinter::TraceFile));
}

TEST_F(LanEndToEnd, TestReceiptPrintsTheSameRoll)
{
    ErrorHandler lanErrors(m_lan.state, m_lan.window, m_lan.clock);
    ErrorHandler localErrors(m_local.state, m_local.window, m_local.clock);
    EXPECT_TRUE((TEST)(*m_lan.printer, lanErrors, m_lan.state.configFile())) << m_lan.state.lastErrorText;
    EXPECT_TRUE((TEST)(*m_local.printer, localErrors, m_local.state.configFile())) << m_local.state.lastErrorText;
    EXPECT_EQ(rollOf(m_servedDir), discountBeforeSubtotal(rollOf(m_local.dir)));
    EXPECT_EQ(displayOf(m_servedDir), displayOf(m_local.dir));
}

TEST_F(LanEndToEnd, ALostReplyIsADoubtTheNextReceiptSettlesAsPrintedAndTheRollHoldsItOnce)
{
    ASSERT_NE(m_served.port(), 0);
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Kelmora_CORR, "COR000000.txt", m_lan.state.configFile()));
    const std::string sale = "F2:1:PANE:1000:250:1\r\nF2:1:LATTE:2000:129:2\r\nF4:0:0:0:1\r\n";
    m_lan.run("20261208143000COR000001.txt", sale);
    testfiles::write(m_servedDir / "Simulatore" / "guasti.ini", "[Guasti]\nPerdiRisposta=1\n");
    m_lan.run("20261208143100COR000002.txt", sale);
    const std::string doubt = testfiles::read(m_lan.state.fiscalLog());
    EXPECT_NE(doubt.find("potrebbe essere stato stampato oppure no, verificare prima di reinviare"), std::string::npos)
        << doubt;
    EXPECT_EQ(m_lan.kelmora(), "COR000000.txt");
    m_lan.state.errorState = false;
    m_lan.run("20261208143200COR000003.txt", sale);

    const std::string settled = testfiles::read(m_lan.state.fiscalLog()).substr(doubt.size());
    EXPECT_NE(settled.find("COR000002.txt;" + dateTimeText(m_lan.clock.now) +
                           ";AZIONE: Esito del documento in dubbio: stampato (scontrino n. 2)"),
              std::string::npos)
        << settled;
    EXPECT_EQ(settled.find("Tessiro_Error"), std::string::npos) << settled;
    EXPECT_EQ(m_lan.kelmora(), "COR000000.txt");

    // The roll holds the doubtful receipt once, and the numbers the
    // printer gave are the roll's.
    const std::string roll = rollOf(m_servedDir);
    for (const char* number : {"SCONTRINO N. 0001", "SCONTRINO N. 0002", "SCONTRINO N. 0003"})
        EXPECT_EQ(QString::fromStdString(roll).count(QLatin1String(number)), 1) << number << "\n" << roll;
    EXPECT_EQ(QString::fromStdString(roll).count(QLatin1String("TOTALE EURO                         5,08")), 3);
    const ControlServer server(*m_lan.bridge);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(server.stateJson())).object();
    EXPECT_EQ(o.value("last_receipt_number"), QJsonValue(3));
    EXPECT_EQ(o.value("last_z_number"), QJsonValue(1));
    EXPECT_EQ(o.value("last_receipt_amount"), QJsonValue("5,08"));
    EXPECT_EQ(o.value("receipts_in_doubt"), QJsonValue(0));
    const std::string trace = testfiles::read(m_lan.dir / LanPrinter::TraceFile);
    EXPECT_NE(trace.find("numeri della stampante: scontrino n. 3, chiusura n. 1, importo 5,08"), std::string::npos)
        << trace;
}

// The bridge is killed while the call that closes a document waits on the
// printer, which prints it. At the restart the document is in doubt: nothing
// is voided or closed on a guess (no SEQUENZA ERRATA), and a receipt is told
// by the next one's numbers.
struct StoppedCase {
    const char* name;
    std::string file;
    std::string content;
    bool fiscal;
    const char* verdict; // the action on the next receipt; empty for none
};
void PrintTo(const StoppedCase& c, std::ostream* os)
{
    *os << c.name;
}

class LanStoppedAtTheClosingCall : public LanEndToEnd, public ::testing::WithParamInterface<StoppedCase> {};

TEST_P(LanStoppedAtTheClosingCall, IsADoubtAtTheRestartNeverAGuessedVoid)
{
    const StoppedCase& c = GetParam();
    const std::string sale = "F2:1:PANE:1000:250:1\r\nF4:0:0:0:1\r\n";
    m_lan.run("20261208143000COR000001.txt", sale);
    // What the killed bridge sent, printed: another client sends it here.
    BridgeSide(true, m_served.address()).run(c.file, c.content);
    m_lan.stop();
    testfiles::write(m_lan.state.workDir() / c.file, c.content);
    RunningFile note(m_lan.dir);
    ASSERT_TRUE(note.prepare());
    ASSERT_TRUE(note.mark({c.file, c.fiscal, !c.fiscal, RunningRecord::Stage::Payment}));
    const size_t printedBefore = rollOf(m_servedDir).size();
    m_lan.start();
    m_lan.run("20261208143200COR000003.txt", sale);

    const std::string logs =
        testfiles::read(m_lan.state.fiscalLog()) + testfiles::read(m_lan.state.notFiscalLog());
    EXPECT_EQ(logs.find("SEQUENZA ERRATA"), std::string::npos) << logs;
    EXPECT_NE(logs.find("interrotto al pagamento: verificare prima di reinviare"), std::string::npos) << logs;
    EXPECT_FALSE(m_lan.state.errorState) << m_lan.state.lastErrorText;
    if (*c.verdict)
        EXPECT_NE(logs.find(std::string("AZIONE: Esito del documento in dubbio: ") + c.verdict), std::string::npos)
            << logs;
    else
        EXPECT_EQ(logs.find("Esito del documento in dubbio"), std::string::npos) << logs;
    EXPECT_EQ(m_lan.kelmora(), "");
    // The restart printed the next receipt only.
    const std::string after = rollOf(m_servedDir).substr(printedBefore);
    EXPECT_EQ(QString::fromStdString(after).count(QLatin1String("SCONTRINO N.")), 1) << after;
    EXPECT_EQ(after.find("ANNULLATO"), std::string::npos) << after;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, LanStoppedAtTheClosingCall,
    ::testing::Values(StoppedCase{"Receipt", "20261208143100COR000002.txt",
                                  "F2:1:LATTE:2000:129:2\r\nF4:0:0:0:1\r\n", true, "stampato (scontrino n. 2)"},
                      StoppedCase{"NonFiscal", "20261208143100NOF000002.txt", "N1:1\r\nN2:1:RIGA\r\nN3:1\r\n",
                                  false, ""}),
    rownames::byName);

TEST_F(LanEndToEnd, FileEndingWithoutPaymentIsDroppedRecordedAndNotCarriedIntoTheNext)
{
    const auto files = exampleFiles();
    m_lan.run("20261208150000COR000020.txt", "F2:1:PANE:1000:250:1\r\n");
    // The bridge voids what the file left open before the port closes: one
    // failure record, and none from the closing of the port.
    const auto log = testfiles::lines(m_lan.state.fiscalLog());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], m_lan.record("Tessiro_Error: COR000020.txt", MsgFileNonConcluso));
    EXPECT_EQ(log[1], m_lan.record("Tessiro_Error: COR000020.txt", MsgDocumentoNonChiuso));
    EXPECT_EQ(m_lan.window.voids, std::vector<std::string>{MsgDocumentoNonChiuso});
    EXPECT_EQ(m_lan.kelmora(), "COR000020.txt");
    EXPECT_EQ(rollOf(m_servedDir), "");

    // The operator clears the error; the next receipt prints alone.
    m_lan.bridge->cmdNascondi();
    m_lan.run(files[1].first, files[1].second);
    m_local.run(files[1].first, files[1].second);
    EXPECT_FALSE(m_lan.state.errorState) << m_lan.state.lastErrorText;
    EXPECT_EQ(rollOf(m_servedDir), rollOf(m_local.dir));
}

TEST(ServePrinter, ClientThatStopsSendingIsDroppedAndOthersAreServedMeanwhile)
{
    QTemporaryDir tmp;
    ServedPrinter served(testfiles::path(tmp), 300);
    QTcpSocket stalled;
    stalled.connectToHost(QHostAddress::LocalHost, served.port());
    ASSERT_TRUE(stalled.waitForConnected(5000));
    stalled.write("POST /cgi-bin/fpmate.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: 500\r\n\r\n<s:Env");
    ASSERT_TRUE(stalled.waitForBytesWritten(5000));

    QTemporaryDir till;
    FakeClock clock;
    LanPrinter printer(testfiles::path(till), clock, *LanEndpoint::parse(served.address()));
    printer.OpenPort();
    EXPECT_EQ(printer.DisplayText(1, "CIAO"), 0);

    // Not a measure of time: the connection is closed by the server, well
    // before this wait gives up.
    EXPECT_TRUE(stalled.state() == QAbstractSocket::UnconnectedState || stalled.waitForDisconnected(30000));
}

// What a client gets for raw requests sent one after the other on one
// connection, each when the reply to the one before is in: the status codes
// of the replies ("200 413"), and whether the server closed the connection.
// Not a measure of time: a close expected comes well before the waits give
// up, and the served printer's own deadline is longer than those waits, so
// only a close that answers the request passes.
struct RawExchange {
    std::string statuses;
    bool closed = false;
};

RawExchange exchange(quint16 port, const std::vector<QByteArray>& requests, bool waitForClose)
{
    RawExchange out;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return out;
    const auto connected = [&] { return socket.state() == QAbstractSocket::ConnectedState; };
    QByteArray buffer;
    for (const QByteArray& request : requests) {
        socket.write(request);
        socket.waitForBytesWritten(5000);
        // One reply: its head, then as many bytes as its Content-Length.
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end >= 0) {
                static const QRegularExpression lengthHeader(QStringLiteral("(?i)\r\ncontent-length: *(\\d+)"));
                const auto m = lengthHeader.match(QString::fromLatin1(buffer.left(end)));
                const qsizetype total = end + 4 + (m.hasMatch() ? m.captured(1).toLongLong() : 0);
                if (buffer.size() >= total) {
                    out.statuses += (out.statuses.empty() ? "" : " ") + buffer.mid(9, 3).toStdString();
                    buffer.remove(0, total);
                    break;
                }
            }
            if (!connected() || !socket.waitForReadyRead(20000)) {
                buffer += socket.readAll();
                if (!buffer.isEmpty())
                    out.statuses += (out.statuses.empty() ? "" : " ") + buffer.mid(9, 3).toStdString();
                out.closed = !connected();
                return out;
            }
            buffer += socket.readAll();
        }
    }
    if (waitForClose && connected())
        socket.waitForDisconnected(20000);
    out.closed = !connected();
    return out;
}

const QByteArray StatusQuery = "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
                               "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><printerCommand>"
                               "<queryPrinterStatus operator=\"1\" statusType=\"0\"/></printerCommand></s:Body>"
                               "</s:Envelope>";
const QByteArray Receipt = "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
                           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><printerFiscalReceipt>"
                           "<beginFiscalReceipt operator=\"1\"/><printRecItem operator=\"1\" description=\"PANE\" "
                           "quantity=\"1\" unitPrice=\"2,50\" department=\"1\"/><printRecTotal operator=\"1\" "
                           "description=\"CONTANTI\" payment=\"2,50\" paymentType=\"0\" index=\"0\"/>"
                           "<endFiscalReceipt operator=\"1\"/></printerFiscalReceipt></s:Body></s:Envelope>";

QByteArray post(const QByteArray& body, const QByteArray& headers = {}, const QByteArray& version = "HTTP/1.1")
{
    return "POST /cgi-bin/fpmate.cgi " + version + "\r\nHost: x\r\nContent-Type: text/xml\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The head of a request whose body would be `length` bytes; none of it sent.
QByteArray headOnly(qint64 length)
{
    return "POST /cgi-bin/fpmate.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

struct HttpCase {
    const char* name;
    std::string guasti;
    std::vector<QByteArray> requests;
    const char* statuses; // of the replies in order; "" for no reply at all
    bool closes;
    int receiptsOnTheRoll;
};

class ServePrinterHttp : public ::testing::TestWithParam<HttpCase> {};

TEST_P(ServePrinterHttp, AnswersAndClosesAsTheRequestAsks)
{
    QTemporaryDir tmp;
    const fs::path dir = testfiles::path(tmp);
    if (!GetParam().guasti.empty())
        testfiles::write(dir / "Simulatore" / "guasti.ini", "[Guasti]\n" + GetParam().guasti);
    ServedPrinter served(dir, 60000);
    ASSERT_NE(served.port(), 0);
    const RawExchange r = exchange(served.port(), GetParam().requests, GetParam().closes);
    EXPECT_EQ(r.statuses, GetParam().statuses);
    EXPECT_EQ(r.closed, GetParam().closes);
    const std::string roll = testfiles::read(dir / "Simulatore" / "giornale.txt");
    size_t receipts = 0;
    for (size_t at = roll.find("SCONTRINO N."); at != std::string::npos; at = roll.find("SCONTRINO N.", at + 1))
        ++receipts;
    EXPECT_EQ(receipts, size_t(GetParam().receiptsOnTheRoll)) << roll;
}

constexpr qint64 OneMegabyte = 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    Table, ServePrinterHttp,
    ::testing::Values(
        HttpCase{
            "OnlyPostOnTheServicePath", "", {"GET /cgi-bin/fpmate.cgi HTTP/1.1\r\nHost: x\r\n\r\n"}, "405", false, 0},
        HttpCase{"LostReplyPrintsAndDropsTheConnection", "PerdiRisposta=1\n", {post(Receipt)}, "", true, 1},
        HttpCase{"LostReplyIsNeverAStatusQuerys", "PerdiRisposta=1\n", {post(StatusQuery)}, "200", false, 0},
        HttpCase{"ConnectionCloseClosesAfterTheReply", "", {post(Receipt, "Connection: close\r\n")}, "200", true, 1},
        HttpCase{"Http10ClosesAfterTheReply", "", {post(StatusQuery, {}, "HTTP/1.0")}, "200", true, 0},
        HttpCase{"Http10KeptAliveStaysOpen",
                 "",
                 {post(StatusQuery, "Connection: keep-alive\r\n", "HTTP/1.0")},
                 "200",
                 false,
                 0},
        HttpCase{"KeptAliveServesTheNextRequest", "", {post(Receipt), post(Receipt)}, "200 200", false, 2},
        HttpCase{"BodyOverTheLimitRefusedFromTheHeadersUnread", "", {headOnly(OneMegabyte + 1)}, "413", true, 0},
        HttpCase{
            "BodyOverTheLimitAfterAServedRequest", "", {post(Receipt), headOnly(200 * OneMegabyte)}, "200 413", true, 1},
        HttpCase{"BodyAtTheLimitIsRead", "", {post(QByteArray(OneMegabyte, ' '))}, "200", false, 0},
        HttpCase{"BodyWithoutLengthRefused",
                 "",
                 {"POST /cgi-bin/fpmate.cgi HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"},
                 "411",
                 true,
                 0},
        HttpCase{"HeadersWithoutEndRefused",
                 "",
                 {"POST /cgi-bin/fpmate.cgi HTTP/1.1\r\nX-Long: " + QByteArray(20 * 1024, 'a')},
                 "431",
                 true,
                 0}),
    rownames::byName);

struct FaultCase {
    const char* name;
    std::string guasti;
    int file; // index into the example files
};

class LanEndToEndFaults : public LanEndToEnd, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(LanEndToEndFaults, GiveTheSameKindOfRecordInTheSameLog)
{
    const std::string guasti = "[Guasti]\n" + GetParam().guasti;
    testfiles::write(m_servedDir / "Simulatore" / "guasti.ini", guasti);
    testfiles::write(m_local.dir / "Simulatore" / "guasti.ini", guasti);
    const auto [name, content] = exampleFiles()[size_t(GetParam().file)];
    m_lan.run(name, content);
    m_local.run(name, content);

    EXPECT_EQ(kinds(m_lan.state.fiscalLog()), kinds(m_local.state.fiscalLog()));
    EXPECT_EQ(kinds(m_lan.state.notFiscalLog()), kinds(m_local.state.notFiscalLog()));
    EXPECT_FALSE(kinds(m_lan.state.fiscalLog()).empty() && kinds(m_lan.state.notFiscalLog()).empty());
    EXPECT_EQ(m_lan.kelmora(), m_local.kelmora());
    EXPECT_EQ(m_lan.state.errorState, m_local.state.errorState);
}

INSTANTIATE_TEST_SUITE_P(Table, LanEndToEndFaults,
                         ::testing::Values(FaultCase{"WrongSequenceOnASale", "SellDept=3\n", 0},
                                           FaultCase{"PaperEnd", "FineCarta=1\n", 0},
                                           FaultCase{"InvalidDataOnAReturn", "ReturnDept=4\n", 1},
                                           FaultCase{"NonFiscalClose", "CloseNonFiscal=4\n", 2},
                                           FaultCase{"Display", "DisplayText=4\n", 3},
                                           FaultCase{"Closure", "FiscalClosure=3\n", 4}),
                         rownames::byName);

} // namespace
