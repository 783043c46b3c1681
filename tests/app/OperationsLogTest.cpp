// SPDX-License-Identifier: MIT
#include "app/OperationsLog.h"
#include "bridge/Bridge.h"
#include "core/SharedState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using Level = OperationsLog::Level;

namespace {

// A bridge on the simulated printer whose operations go to a string.
class OperationsFixture : public ProgramFolderTest {
protected:
    void start(Level level, bool journal = false)
    {
        configure({"Eps_COM=1"});
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_log.emplace(m_out, level, journal);
        m_log->attach(*m_bridge);
        m_bridge->start();
    }

    void drop(const std::string& name, const std::string& records)
    {
        testfiles::write(m_dir / "Ostro" / name, records);
    }

    // The record the bridge last wrote to a log, as the log holds it.
    std::string lastRecord(const fs::path& log) const { return testfiles::lines(log).back(); }
    std::string when() const { return dateTimeText(m_clock.now); }
    std::vector<std::string> said() const { return testfiles::linesOf(m_out.str()); }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
    std::ostringstream m_out;
    std::optional<OperationsLog> m_log;
};

// --------------------------------------------------------------- levels

struct LevelCase {
    const char* name;
    Level level;
    std::vector<std::string> expected; // with {when} for the date-time text
};

std::ostream& operator<<(std::ostream& out, const LevelCase& c)
{
    return out << c.name;
}

class OperationsLevel : public OperationsFixture, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(OperationsLevel, SaysWhatItsLevelAsksForOfAGoodAndAFailedFile)
{
    start(GetParam().level);
    drop("a-buono.txt", "N1:1\r\nN3:1\r\n");
    m_bridge->tick();
    drop("b-rotto.txt", "F4:0:0:tanti:1\r\n");
    m_bridge->tick();
    m_state.errorState = false;
    drop("c-ignoto.txt", "f2:1:PANE:1000:150:1\r\n");
    m_bridge->tick();

    std::vector<std::string> expected;
    for (std::string line : GetParam().expected) {
        if (const auto at = line.find("{when}"); at != std::string::npos)
            line.replace(at, 6, when());
        expected.push_back(line);
    }
    EXPECT_EQ(said(), expected);
}

const std::string Failure = "tessiro[ERRORE] NotFiscalError.log: Tessiro_Error: b-rotto.txt;{when};"
                            "Campo numerico non valido nel record: F4:0:0:tanti:1";
// A file that asked nothing of the printer: its reason, and its outcome as a
// failure at every level.
const std::string NotRunReason = "tessiro[AVVISO] NotFiscalError.log: Tessiro_Error: c-ignoto.txt;{when};"
                                 "Codice sconosciuto nel primo record, file non eseguito: f2:1:PANE:1000:150:1";
const std::string NotRun = "tessiro[ERRORE] File non eseguito: c-ignoto.txt";

INSTANTIATE_TEST_SUITE_P(
    ThreeLevels, OperationsLevel,
    ::testing::Values(
        LevelCase{"quiet", Level::Quiet, {Failure, NotRunReason, NotRun}},
        LevelCase{"normal",
                  Level::Normal,
                  {"tessiro[AZIONE] NotFiscalError.log: AZIONE;{when};AZIONE: IntervalTimer: 500", Failure,
                   NotRunReason, NotRun}},
        LevelCase{"verbose",
                  Level::Verbose,
                  {"tessiro[AZIONE] NotFiscalError.log: AZIONE;{when};AZIONE: IntervalTimer: 500",
                   "tessiro[INFO] File preso: a-buono.txt", "tessiro[INFO] File eseguito: a-buono.txt",
                   "tessiro[INFO] File preso: b-rotto.txt", Failure, "tessiro[INFO] File non riuscito: b-rotto.txt",
                   "tessiro[INFO] File preso: c-ignoto.txt", NotRunReason, NotRun}}),
    rownames::byName);

// ------------------------------------------------------------- what is said

using OperationsLines = OperationsFixture;

TEST_F(OperationsLines, IdleTicksSayNothingEvenWhenVerbose)
{
    start(Level::Verbose);
    const std::string before = m_out.str();

    for (int i = 0; i < 5; ++i)
        m_bridge->tick();

    EXPECT_EQ(m_out.str(), before);
}

TEST_F(OperationsLines, FileDiscardedWhileAnErrorStandsIsAWarning)
{
    start(Level::Verbose);
    m_state.errorState = true;
    drop("c-dopo.txt", "N1:1\r\nN3:1\r\n");
    m_out.str("");

    m_bridge->tick();

    const std::vector<std::string> lines = said();
    ASSERT_EQ(lines.size(), 3u) << m_out.str();
    EXPECT_EQ(lines[0], "tessiro[INFO] File preso: c-dopo.txt");
    EXPECT_EQ(lines[1], "tessiro[AVVISO] NotFiscalError.log: " + lastRecord(m_state.notFiscalLog()));
    EXPECT_EQ(lines[2], "tessiro[INFO] File scartato, errore in sospeso: c-dopo.txt");
}

TEST_F(OperationsLines, EmptyFileDidNotRunAndTheJournalHearsItAsAnError)
{
    start(Level::Quiet, true);
    drop("vuoto.txt", "\r\n");
    m_bridge->tick();

    const std::vector<std::string> lines = said();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "<3>tessiro[ERRORE] File non eseguito: vuoto.txt") << m_out.str();
}

TEST_F(OperationsLines, RecordIsDecodedAndKeptOnOneLine)
{
    start(Level::Quiet);

    m_bridge->errors().registraErrore("Totale \x80 5\r\nsecondo\rterzo\x1b[2J");

    const std::vector<std::string> lines = said();
    ASSERT_EQ(lines.size(), 1u) << m_out.str();
    EXPECT_TRUE(lines[0].ends_with(";Totale \xE2\x82\xAC 5 | secondo | terzo?[2J")) << lines[0];
}

TEST_F(OperationsLines, RecoveryActionIsSaidWithTheLogItWentTo)
{
    start(Level::Normal);
    m_out.str("");

    m_bridge->errors().registraAzione("Annullo Scontrino Fiscale Bloccato");

    EXPECT_EQ(said(), std::vector<std::string>{"tessiro[AZIONE] NotFiscalError.log: AZIONE;" + when() +
                                               ";AZIONE: Annullo Scontrino Fiscale Bloccato"});
}

TEST_F(OperationsLines, ControlRequestsAreSaidOnlyWhenVerbose)
{
    start(Level::Normal);
    m_out.str("");
    m_log->request("stato", "OK");
    EXPECT_EQ(m_out.str(), "");

    OperationsLog verbose(m_out, Level::Verbose);
    verbose.request("stato", "OK");
    EXPECT_EQ(m_out.str(), "tessiro[INFO] ctl stato: OK\n");
}

TEST_F(OperationsLines, ForTheJournalEachLineCarriesItsPriority)
{
    start(Level::Verbose, true);
    drop("d-rotto.txt", "F4:0:0:tanti:1\r\n");
    m_bridge->tick();

    const std::vector<std::string> lines = said();
    ASSERT_EQ(lines.size(), 4u) << m_out.str();
    EXPECT_TRUE(lines[0].starts_with("<5>tessiro[AZIONE] ")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("<6>tessiro[INFO] ")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("<3>tessiro[ERRORE] ")) << lines[2];
    EXPECT_TRUE(lines[3].starts_with("<6>tessiro[INFO] ")) << lines[3];
}

// ------------------------------------------------------- the journal's stream

class JournalStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* value = std::getenv("JOURNAL_STREAM"))
            m_saved = value;
    }
    void TearDown() override
    {
        if (m_saved)
            ::setenv("JOURNAL_STREAM", m_saved->c_str(), 1);
        else
            ::unsetenv("JOURNAL_STREAM");
    }
    std::optional<std::string> m_saved;
};

TEST_F(JournalStream, StandardErrorNamedByJournalStreamIsTheJournal)
{
    struct stat st {};
    ASSERT_EQ(::fstat(2, &st), 0);
    ::setenv("JOURNAL_STREAM", (std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)).c_str(), 1);
    EXPECT_TRUE(OperationsLog::stderrIsJournal());
}

TEST_F(JournalStream, AnotherStreamOrNoneIsNotTheJournal)
{
    struct stat st {};
    ASSERT_EQ(::fstat(2, &st), 0);
    for (const std::string& value :
         {std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1), std::string("x:y"), std::string("")}) {
        ::setenv("JOURNAL_STREAM", value.c_str(), 1);
        EXPECT_FALSE(OperationsLog::stderrIsJournal()) << value;
    }
    ::unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(OperationsLog::stderrIsJournal());
}

} // namespace
