// SPDX-License-Identifier: MIT
// The start-up recovery of a file the bridge was running when it stopped:
// it never runs again, never lets the next file's items join its receipt,
// and has one accurate outcome.
#include "bridge/ReceiptRoll.h"
#include "bridge/RecordingBridge.h"
#include "bridge/Bridge.h"
#include "bridge/BridgeFiles.h"
#include "bridge/RunningFile.h"
#include "commands/Interprete.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "errors/ErrorHandler.h"
#include "errors/FileKind.h"
#include "simulator/SimulatedPrinter.h"
#include "support/RowNames.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using namespace bridgetest;

class SimulatorBridge : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
        start();
    }
    // Start-up, as after a restart of the program: the printer keeps its state.
    void start()
    {
        m_bridge.reset();
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_bridge->start();
    }
    // Drops a command file and has it taken, after the hold-back minute if
    // it looks unfinished.
    void runFile(const std::string& name, const std::string& content)
    {
        testfiles::write(m_state.dropDir() / name, content);
        m_bridge->tick();
        if (!fs::is_empty(m_state.dropDir())) {
            m_clock.advance(Intake::HoldBackLimit + 1s);
            m_bridge->tick();
        }
        ASSERT_TRUE(fs::is_empty(m_state.dropDir())) << name << " was not taken";
    }
    bridgetest::ReceiptRoll roll() const { return bridgetest::ReceiptRoll::read(simulatorFile("giornale.txt")); }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
};

// What stands between the first file and the next customer's.
enum class Between { Nothing, RestartOfTheProgram, TestReceiptRefusedAtItsPayment };

struct OneReceiptCase {
    const char* name;
    std::string first; // 20261208150700COR000027.txt: items marked ID-000027
    Between between;
    // Where the one record of the document left open goes: "end" in the
    // first file's log, as a failure; "start" in the next file's log.
    const char* voidedAt;
    std::string record;
    bool fiscal = true; // else a non-fiscal document, closed rather than voided
    const char* firstName = "20261208150700COR000027.txt";
};

void PrintTo(const OneReceiptCase& c, std::ostream* os)
{
    *os << c.name;
}

class OneFileOneReceipt : public SimulatorBridge, public ::testing::WithParamInterface<OneReceiptCase> {};

TEST_P(OneFileOneReceipt, DocumentLeftOpenIsVoidedOnceAndNeverContinuedByTheNextFile)
{
    const OneReceiptCase& c = GetParam();
    const std::string first = c.firstName;
    const std::string next = "20261208150800COR000028.txt";
    const bool atTheEnd = std::string(c.voidedAt) == "end";

    runFile(first, c.first);
    if (atTheEnd) {
        EXPECT_EQ(stored(m_state.configFile(), keys::Kelmora_CORR), isFiscalName(first) ? "COR000027.txt" : "");
        EXPECT_TRUE(m_state.errorState);
    }
    if (c.between == Between::TestReceiptRefusedAtItsPayment) {
        injectFaults({"PayCash=7"});
        EXPECT_FALSE(m_bridge->testReceipt());
        injectFaults({});
    }
    // The operator clears what the window shows, as each failure asks.
    if (m_state.errorState)
        m_bridge->cmdNascondi();
    if (c.between == Between::RestartOfTheProgram)
        start();
    runFile(next, "F2:1:ACQUA:1000:50:1\r\nF5:1:ID-000028\r\nF4:0:0:50:1\r\n");

    const bridgetest::ReceiptRoll printed = roll();
    EXPECT_FALSE(printed.anyMerged());
    EXPECT_FALSE(printed.openAtEnd);
    EXPECT_FALSE(printed.openOverlapped);
    EXPECT_EQ(printed.paidWith("ID-000027"), 0);
    const auto paid = printed.paidHolding("ID-000028");
    ASSERT_EQ(paid.size(), 1u);
    EXPECT_EQ(paid[0]->text.find("PANE"), std::string::npos) << "the next customer's receipt:\n" << paid[0]->text;
    int firstDocuments = 0;
    for (const auto& doc : printed.documents)
        if (doc.markers.count("ID-000027")) {
            ++firstDocuments;
            EXPECT_EQ(doc.voided, c.fiscal) << doc.text;
            EXPECT_EQ(doc.fiscal(), c.fiscal) << doc.text;
        }
    EXPECT_EQ(firstDocuments, c.between == Between::TestReceiptRefusedAtItsPayment ? 0 : 1);

    const std::string owner = atTheEnd ? first : next;
    const auto log = testfiles::lines(isFiscalName(owner) ? m_state.fiscalLog() : m_state.notFiscalLog());
    EXPECT_EQ(countContaining(log, record("Tessiro_Error: " + fileReference(owner), c.record)), 1)
        << testfiles::read(isFiscalName(owner) ? m_state.fiscalLog() : m_state.notFiscalLog());
    EXPECT_EQ(countContaining(fiscalLog(), c.record) + countContaining(notFiscalLog(), c.record), 1);
    EXPECT_EQ(countContaining(fiscalLog(), "COR000028.txt;"), atTheEnd ? 0 : 1)
        << "the next customer's file has no failure of its own";
    EXPECT_EQ(m_window.voids, std::vector<std::string>{c.record});
    EXPECT_FALSE(m_state.errorState);
}

const std::string VoidedAtTheEnd = "Documento non chiuso dal file: annullato";
const std::string VoidedBefore = "documento aperto nella stampante annullato prima del file";

INSTANTIATE_TEST_SUITE_P(
    Files, OneFileOneReceipt,
    ::testing::Values(
        OneReceiptCase{"FileWithoutPayment",
                       "F2:1:PANE:1000:250:1\r\nF5:1:ID-000027\r\nF2:1:LATTE:1000:129:1\r\n",
                       Between::Nothing,
                       "end",
                       VoidedAtTheEnd},
        OneReceiptCase{"PaymentOfATypeThatSendsNothing",
                       "F2:1:PANE:1000:250:1\r\nF5:1:ID-000027\r\nF4:0:0:250:0\r\n",
                       Between::Nothing,
                       "end",
                       VoidedAtTheEnd + ": pagamento tipo 0 non inviato alla stampante"},
        OneReceiptCase{"ReprintOfTheLastReceiptWithoutPayment",
                       "F2:1:PANE:1000:250:1\r\nF5:1:ID-000027\r\n",
                       Between::Nothing,
                       "end",
                       VoidedAtTheEnd,
                       true,
                       "Old.txt"},
        OneReceiptCase{"NonFiscalWithoutItsClose",
                       "N1:1\r\nN2:1:ID-000027\r\n",
                       Between::Nothing,
                       "end",
                       VoidedAtTheEnd,
                       false},
        OneReceiptCase{"FailedFileClearedWithNascondi",
                       "F2:1:PANE:1000:250:1\r\nF5:1:ID-000027\r\nF2:1:LATTE:x:129:1\r\nF4:0:0:379:1\r\n",
                       Between::Nothing,
                       "start",
                       VoidedBefore},
        OneReceiptCase{"RestartAfterAFailedFile",
                       "F2:1:PANE:1000:250:1\r\nF5:1:ID-000027\r\nF2:1:LATTE:x:129:1\r\nF4:0:0:379:1\r\n",
                       Between::RestartOfTheProgram,
                       "start",
                       VoidedBefore},
        OneReceiptCase{"TestReceiptLeftOpen", "D1:1:BUONGIORNO\r\n", Between::TestReceiptRefusedAtItsPayment,
                       "start", VoidedBefore}),
    rownames::byName);

// A member of the back-office's group puts links to files of the bridge's
// user where the roll and the call trace belong: the port does not open,
// one record names both and says why, nothing is printed or traced through
// them; once they are gone the next file prints.
TEST_F(SimulatorBridge, FilesReplacedByLinksAreNamedInOneRecordAndNothingIsWrittenThroughThem)
{
    QTemporaryDir elsewhere;
    const fs::path outside = testfiles::path(elsewhere) / "avvio.sh";
    testfiles::write(outside, "#!/bin/sh\n");
    for (const char* name : {"giornale.txt", "chiamate.log"}) {
        fs::remove(simulatorFile(name));
        fs::create_symlink(outside, simulatorFile(name));
    }
    runFile("20261208150700COR000027.txt", "F2:1:PANE:1000:250:1\r\nF5:1:ID-000027\r\nF4:0:0:250:1\r\n");
    EXPECT_EQ(countContaining(fiscalLog(), "giornale.txt (symbolic link, not followed); impossibile usare " +
                                               simulatorFile("chiamate.log").string() +
                                               " (symbolic link, not followed)"),
              1)
        << testfiles::read(m_state.fiscalLog());
    EXPECT_EQ(testfiles::read(outside), "#!/bin/sh\n");
    EXPECT_TRUE(fs::is_symlink(simulatorFile("giornale.txt")));

    for (const char* name : {"giornale.txt", "chiamate.log"})
        fs::remove(simulatorFile(name));
    m_bridge->cmdNascondi();
    runFile("20261208150800COR000028.txt", "F2:1:ACQUA:1000:50:1\r\nF5:1:ID-000028\r\nF4:0:0:50:1\r\n");
    EXPECT_EQ(roll().paidHolding("ID-000028").size(), 1u);
    EXPECT_EQ(roll().paidWith("ID-000027"), 0);
    EXPECT_EQ(countContaining(fiscalLog(), "giornale.txt"), 1);
}

// ------------------------------------------------------------------ order

struct RecoveryCase {
    const char* name;
    RunningRecord note; // an empty name: a note no slot of which reads whole
    bool leftInWorkFolder; // else, at "preso", still in the drop folder
    std::vector<std::string> printerCalls; // besides port handling
    const char* record;                    // in the file's log, empty for none
    const char* kelmoraCorr;
};

void PrintTo(const RecoveryCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::string Fiscal = "20261208180100COR000001.txt";
const std::string NotFiscal = "20261208180100NOF000001.txt";

class StartupRecovery : public ProgramFolderTest, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(StartupRecovery, InterruptedFileIsNeverRunAgainAndHasOneAccurateOutcome)
{
    const RecoveryCase& c = GetParam();
    configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
    if (c.leftInWorkFolder)
        testfiles::write(m_state.workDir() / c.note.name, receipt("ID-000001"));
    else if (c.note.stage == RunningRecord::Stage::Taken)
        testfiles::write(m_state.dropDir() / c.note.name, receipt("ID-000001"));
    if (c.note.name.empty()) {
        testfiles::write(m_dir / RunningFile::FileName, std::string(2 * RunningFile::SlotSize, 'x'));
    } else {
        RunningFile note(m_dir);
        ASSERT_TRUE(note.prepare());
        ASSERT_TRUE(note.mark(c.note));
    }
    bridgetest::RecordingPrinter printer;
    Bridge bridge(m_state, m_window, m_clock, printer);

    bridge.start();

    std::vector<std::string> calls;
    for (const auto& call : printer.calls)
        if (call == "CancelReceipt" || call == "CloseNonFiscal" || call == "SellDept" || call == "PayCash")
            calls.push_back(call);
    EXPECT_EQ(calls, c.printerCalls);
    const auto log = testfiles::lines(isFiscalName(c.note.name) ? m_state.fiscalLog() : m_state.notFiscalLog());
    const std::string reference = fileReference(c.note.name) + ";";
    if (*c.record) {
        EXPECT_EQ(countContaining(log, c.record), 1);
        int forFile = 0;
        for (const auto& line : log)
            forFile += line.find(reference) != std::string::npos && line.find("AZIONE: Annullo") == std::string::npos &&
                       line.find("AZIONE: Chiusura scontrino") == std::string::npos;
        EXPECT_EQ(forFile, 1) << "one outcome for the file";
    } else if (!c.note.name.empty()) {
        EXPECT_EQ(countContaining(log, reference), 0) << "no record for the file";
    }
    EXPECT_EQ(countContaining(log, "File scartato all'avvio"), 0);
    EXPECT_EQ(stored(m_state.configFile(), keys::Kelmora_CORR), c.kelmoraCorr);
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(RunningFile(m_dir).read(), std::nullopt);
    EXPECT_TRUE(fs::is_empty(m_state.workDir()));
    // A file that never left the drop folder runs in its turn.
    if (!c.note.name.empty()) {
        EXPECT_EQ(fs::exists(m_state.dropDir() / c.note.name),
                  c.note.stage == RunningRecord::Stage::Taken && !c.leftInWorkFolder);
    }
}

using Stage = RunningRecord::Stage;
INSTANTIATE_TEST_SUITE_P(
    Notes, StartupRecovery,
    ::testing::Values(RecoveryCase{"FiscalBeforePayment",
                                   {Fiscal, true, false, Stage::Sale},
                                   true,
                                   {"CancelReceipt"},
                                   "File interrotto prima del pagamento: scontrino annullato",
                                   "COR000001.txt"},
                      RecoveryCase{"FiscalAtPayment",
                                   {Fiscal, true, false, Stage::Payment},
                                   true,
                                   {"CancelReceipt"},
                                   "interrotto al pagamento: verificare prima di reinviare",
                                   ""},
                      RecoveryCase{
                          "DoneNotDeleted", {Fiscal, true, false, Stage::Done}, true, {}, "AZIONE: File eseguito", ""},
                      RecoveryCase{"DoneAndDeleted", {Fiscal, true, false, Stage::Done}, false, {}, "", ""},
                      // Its failure is on file and nothing more ran: no void, no
                      // second outcome.
                      RecoveryCase{"FailedNotDeleted",
                                   {Fiscal, true, false, Stage::Failed},
                                   true,
                                   {},
                                   "AZIONE: File gi\xE0 segnalato",
                                   ""},
                      // Never moved: it runs in its turn, with no word and no void.
                      RecoveryCase{"TakenStillInTheDropFolder", {Fiscal, true, false, Stage::Taken}, false, {}, "", ""},
                      RecoveryCase{"TakenInTheWorkFolder",
                                   {Fiscal, true, false, Stage::Taken},
                                   true,
                                   {},
                                   "File interrotto prima dell'esecuzione",
                                   ""},
                      // Nothing tells what stood open: both kinds are closed.
                      RecoveryCase{"DamagedNote", {"", false, false, Stage::Sale}, false, {"CancelReceipt"}, "", ""},
                      RecoveryCase{"NonFiscalWithoutN1",
                                   {NotFiscal, false, false, Stage::Sale},
                                   true,
                                   {},
                                   "File interrotto, file non rieseguito",
                                   ""},
                      RecoveryCase{"NonFiscalWithN1",
                                   {NotFiscal, false, true, Stage::Sale},
                                   true,
                                   {"CloseNonFiscal"},
                                   "documento non fiscale chiuso",
                                   ""},
                      RecoveryCase{"SaleInAFileNotNamedFiscal",
                                   {NotFiscal, true, false, Stage::Sale},
                                   false,
                                   {"CancelReceipt"},
                                   "scontrino annullato",
                                   ""}),
    rownames::byName);

// A printer that refuses the void and says so through its error event.
class RefusingPrinter : public bridgetest::RecordingPrinter {
public:
    int16_t CancelReceipt(int16_t value) override
    {
        RecordingPrinter::CancelReceipt(value);
        if (onErrorEvent)
            onErrorEvent(2, 5);
        return 5;
    }
};

using StartupRecoveryHalfNote = ProgramFolderTest;

TEST_F(StartupRecoveryHalfNote, NoteKilledWhileWrittenAsideIsRemovedAndVoidsNothing)
{
    configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
    testfiles::write(m_dir / (std::string(RunningFile::FileName) + ".nuovo"), "nome=61");
    bridgetest::RecordingPrinter printer;
    Bridge bridge(m_state, m_window, m_clock, printer);

    bridge.start();

    EXPECT_FALSE(fs::exists(m_dir / (std::string(RunningFile::FileName) + ".nuovo")));
    EXPECT_EQ(RunningFile(m_dir).read(), std::nullopt);
    EXPECT_EQ(printer.count("CancelReceipt"), 0);
}

using StartupRecoveryRefused = ProgramFolderTest;

TEST_F(StartupRecoveryRefused, RefusalDuringRecoveryIsRecordedAndRaisesNoError)
{
    configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
    RunningFile note(m_dir);
    ASSERT_TRUE(note.prepare());
    ASSERT_TRUE(note.mark({Fiscal, true, false, Stage::Payment}));
    RefusingPrinter printer;
    Bridge bridge(m_state, m_window, m_clock, printer);

    bridge.start();

    EXPECT_GE(countContaining(testfiles::lines(m_state.fiscalLog()), "PrinterError: COR000001.txt;") +
                  countContaining(testfiles::lines(m_state.fiscalLog()), "Tessiro_Error: COR000001.txt;"),
              2);
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(stored(m_state.configFile(), keys::Kelmora_CORR), "");
}

} // namespace
