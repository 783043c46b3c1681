// SPDX-License-Identifier: MIT
// The running-file note and the marks that keep it: the interpreter tells
// its caller before the port, before each record and after the last, and
// the note keeps the last whole mark.
#include "bridge/ReceiptRoll.h"
#include "bridge/RecordingBridge.h"
#include "bridge/Bridge.h"
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

struct MarkCase {
    const char* name;
    const char* content;
    std::vector<std::string> events; // marks and printer calls, in order
};

void PrintTo(const MarkCase& c, std::ostream* os)
{
    *os << c.name;
}

class InterpreterMarks : public ProgramFolderTest, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(InterpreterMarks, CallerIsToldBeforeThePortBeforeEachRecordAndAfterTheLast)
{
    bridgetest::RecordingPrinter printer;
    ErrorHandler errors(m_state, m_window, m_clock);
    std::vector<std::string> events;
    const auto calls = [&] {
        for (const auto& call : printer.calls)
            if (call == "OpenPort" || call == "ClosePort" || call == "SellDept" || call == "PayCash" ||
                call == "OpenNonFiscal")
                events.push_back(call);
        printer.calls.clear();
    };
    RunObserver observer;
    observer.beforeStart = [&] { calls(), events.push_back("start"); };
    observer.beforeRecord = [&](const std::string& code) { calls(), events.push_back("record " + code); };
    observer.afterLastRecord = [&](bool completed) { calls(), events.push_back(completed ? "done" : "failed"); };
    printer.codes["SellDept"] = GetParam().events.back() == "failed" ? 5 : 0;
    std::istringstream in(GetParam().content);

    m_state.settings.portNumber = 1;
    m_state.settings.portSettings = "9600,N,8,1";
    Job job;
    EseguiFileComandi(printer, errors, m_state, m_clock, job, in, observer);
    calls();

    std::vector<std::string> expected = GetParam().events;
    expected.push_back("ClosePort");
    EXPECT_EQ(events, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InterpreterMarks,
    ::testing::Values(MarkCase{"Receipt",
                               "F2:1:PANE:1000:150:1\r\nF4:0:0:0:1\r\n",
                               {"start", "OpenPort", "record F2", "SellDept", "record F4", "PayCash", "done"}},
                      MarkCase{"NonFiscal", "N1:1\r\n", {"start", "OpenPort", "record N1", "OpenNonFiscal", "done"}},
                      MarkCase{"FailedSale",
                               "F2:1:PANE:1000:150:1\r\nF4:0:0:0:1\r\n",
                               {"start", "OpenPort", "record F2", "SellDept", "failed"}},
                      MarkCase{"Empty", "", {"start", "OpenPort", "done"}}),
    rownames::byName);

// ------------------------------------------------------------ running file note

TEST(RunningFileNote, NoteSurvivesAMarkAndAReadBackWithAnyName)
{
    QTemporaryDir tmp;
    RunningFile note(testfiles::path(tmp));
    ASSERT_TRUE(note.prepare()) << note.why();
    EXPECT_EQ(fs::file_size(testfiles::path(tmp) / RunningFile::FileName), 2 * RunningFile::SlotSize);
    const RunningRecord record{"a\r\n=b.txt", true, true, RunningRecord::Stage::Payment};
    ASSERT_TRUE(note.mark(record));
    EXPECT_EQ(note.read(), record);
    ASSERT_TRUE(note.clear());
    EXPECT_EQ(note.read(), std::nullopt);
}

TEST(RunningFileNote, NoteThatCannotBeMadeRefusesEveryMark)
{
    QTemporaryDir tmp;
    RunningFile note(testfiles::path(tmp));
    {
        const WritesRefused full;
        EXPECT_FALSE(note.prepare());
    }
    EXPECT_FALSE(note.mark({"a.txt", true, false, RunningRecord::Stage::Taken}));
}

// A mark cut short by a power cut damages its own slot only: the other one
// still holds the mark before it.
TEST(RunningFileNote, TornLastMarkLeavesTheOneBeforeIt)
{
    QTemporaryDir tmp;
    const fs::path dir = testfiles::path(tmp);
    RunningFile note(dir);
    ASSERT_TRUE(note.prepare());
    const RunningRecord first{"a.txt", true, false, RunningRecord::Stage::Sale};
    ASSERT_TRUE(note.mark(first));
    ASSERT_TRUE(note.mark({"a.txt", true, false, RunningRecord::Stage::Payment}));
    // The second mark went into the slot the first did not use; cut it.
    const std::string bytes = testfiles::read(dir / RunningFile::FileName);
    const auto inFirstSlot = RunningFile::decode(bytes.substr(0, RunningFile::SlotSize));
    const std::size_t second =
        inFirstSlot && inFirstSlot->first.stage == RunningRecord::Stage::Payment ? 0 : RunningFile::SlotSize;
    std::string torn = bytes;
    torn[second + 40] ^= 0x55;
    testfiles::write(dir / RunningFile::FileName, torn);
    EXPECT_EQ(RunningFile(dir).read(), first);
}

TEST(RunningFileNote, DamagedNoteIsToldApartFromNoNote)
{
    QTemporaryDir tmp;
    const fs::path dir = testfiles::path(tmp);
    testfiles::write(dir / RunningFile::FileName, std::string(2 * RunningFile::SlotSize, 'x'));
    const auto read = RunningFile(dir).read();
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->name.empty());
    // Slots never marked are no note at all.
    testfiles::write(dir / RunningFile::FileName, std::string(2 * RunningFile::SlotSize, '\0'));
    EXPECT_EQ(RunningFile(dir).read(), std::nullopt);
}

// What start-up does with the note of a file a killed bridge was running.
} // namespace
