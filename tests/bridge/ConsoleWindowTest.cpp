// SPDX-License-Identifier: MIT
#include "app/OperationsLog.h"
#include "bridge/Bridge.h"
#include "bridge/ConsoleWindow.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ConsoleWindowTest : public ::testing::Test {
protected:
    std::ostringstream m_out;
    ConsoleWindow m_window{m_out};
};

TEST_F(ConsoleWindowTest, QuestionsGetTheAnswerThatChangesNothing)
{
    EXPECT_FALSE(m_window.askYesNo("Tessiro", "Chiudere il programma ?"));
    EXPECT_FALSE(m_window.askOkCancel("File LOG", "Ricreare i file di log?"));
    EXPECT_EQ(m_out.str(), "tessiro[AVVISO] Tessiro: Chiudere il programma ? [Sì/No] -> No\n"
                           "tessiro[AVVISO] File LOG: Ricreare i file di log? [OK/Annulla] -> Annulla\n");
}

TEST_F(ConsoleWindowTest, AMessageOfSeveralLinesIsOneDecodedLine)
{
    m_window.inform("", "Indicazione Tipo Pagamento non corretta.\r\n0=cash; 1=check\r\nPrezzo 1,50 \x80");
    EXPECT_EQ(m_out.str(), "tessiro[AVVISO] Tessiro: Indicazione Tipo Pagamento non corretta. | 0=cash; 1=check | "
                           "Prezzo 1,50 \xE2\x82\xAC\n");
}

TEST_F(ConsoleWindowTest, LabelsAreKeptButNotPrinted)
{
    m_window.setProgramErrorText("----- PROGRAM ERROR -----\r\n08/12/2026 14:05:09\r\nPrezzo 1,50 \x80");
    m_window.setPrinterErrorText("----- PRINTER ERROR -----\r\nx");
    EXPECT_EQ(m_window.programErrorText(), "----- PROGRAM ERROR -----\r\n08/12/2026 14:05:09\r\nPrezzo 1,50 \x80");
    EXPECT_EQ(m_window.printerErrorText(), "----- PRINTER ERROR -----\r\nx");
    EXPECT_EQ(m_out.str(), "");
}

TEST(ConsoleWindowJournal, EachLineCarriesTheWarningPriority)
{
    std::ostringstream out;
    ConsoleWindow window(out, true);
    window.inform("Tessiro", "Porta COM errata.");
    EXPECT_EQ(out.str(), "<4>tessiro[AVVISO] Tessiro: Porta COM errata.\n");
}

// The headless bridge as it runs: the console window and the operations log
// share standard error.
struct HeadlessCase {
    const char* name;
    OperationsLog::Level level;
    bool journal;
};

std::ostream& operator<<(std::ostream& out, const HeadlessCase& c)
{
    return out << c.name;
}

class HeadlessStderr : public ProgramFolderTest, public ::testing::WithParamInterface<HeadlessCase> {
protected:
    void SetUp() override
    {
        configure({"Eps_COM=1"});
        m_console.emplace(m_out, GetParam().journal);
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, *m_console, m_clock, *m_printer);
        m_log.emplace(m_out, GetParam().level, GetParam().journal);
        m_log->attach(*m_bridge);
        m_bridge->start();
        m_out.str("");
    }

    std::ostringstream m_out;
    std::optional<ConsoleWindow> m_console;
    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
    std::optional<OperationsLog> m_log;
};

TEST_P(HeadlessStderr, AFailureIsOneLineWithItsPriorityAndNoWidgetName)
{
    // One failure, one record: a field that is no number.
    testfiles::write(m_dir / "Ostro" / "20261208143000COR000001.txt", "F2:1:PANE:1000:molti:1\r\nF4:0:0:0:1\r\n");
    m_bridge->tick();
    ASSERT_TRUE(m_state.errorState);

    const std::vector<std::string> lines = testfiles::linesOf(m_out.str());
    ASSERT_EQ(lines.size(), 1u) << m_out.str();
    EXPECT_EQ(lines[0].rfind(
                  GetParam().journal ? "<3>tessiro[ERRORE] FiscalError.log: " : "tessiro[ERRORE] FiscalError.log: ", 0),
              0u)
        << lines[0];
    EXPECT_EQ(m_out.str().find("MsgError"), std::string::npos);
}

TEST_P(HeadlessStderr, EachRecordOfAPrinterFailureIsOneLine)
{
    // The printer's event and the operation's own report: two records, two
    // lines, and nothing besides them.
    testfiles::write(m_dir / "Ostro" / "20261208143000COR000001.txt", "F2:1:PANE:1000:150:100\r\nF4:0:0:0:1\r\n");
    m_bridge->tick();

    const std::vector<std::string> lines = testfiles::linesOf(m_out.str());
    const std::vector<std::string> records = testfiles::lines(m_state.fiscalLog());
    ASSERT_EQ(records.size(), 4u); // the printer's message runs over three lines
    ASSERT_EQ(lines.size(), 2u) << m_out.str();
    for (const std::string& line : lines)
        EXPECT_NE(line.find("tessiro[ERRORE] FiscalError.log: "), std::string::npos) << line;
}

TEST_P(HeadlessStderr, AFileDiscardedWhileTheErrorStandsIsOneWarningLine)
{
    testfiles::write(m_dir / "Ostro" / "20261208143000COR000001.txt", "F2:1:PANE:1000:150:100\r\nF4:0:0:0:1\r\n");
    m_bridge->tick();
    m_out.str("");
    testfiles::write(m_dir / "Ostro" / "20261208143001COR000002.txt", "F2:1:PANE:1000:150:1\r\nF4:0:0:0:1\r\n");
    m_bridge->tick();

    const std::vector<std::string> lines = testfiles::linesOf(m_out.str());
    ASSERT_EQ(lines.size(), 1u) << m_out.str();
    EXPECT_NE(lines[0].find("tessiro[AVVISO] FiscalError.log: "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("File non eseguito: errore in sospeso"), std::string::npos) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Levels, HeadlessStderr,
                         ::testing::Values(HeadlessCase{"Quiet", OperationsLog::Level::Quiet, false},
                                           HeadlessCase{"Normal", OperationsLog::Level::Normal, false},
                                           HeadlessCase{"QuietJournal", OperationsLog::Level::Quiet, true},
                                           HeadlessCase{"NormalJournal", OperationsLog::Level::Normal, true}),
                         rownames::byName);

} // namespace
