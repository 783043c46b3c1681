// SPDX-License-Identifier: MIT
// The intake through the bridge: only finished files are taken, in name
// order, from the descriptor that was checked; a file that asks nothing of
// the printer, a swapped entry, a linked folder or a forged name never goes
// without a word.
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

class IntakeBridge : public RecordingBridge {
protected:
    void SetUp() override
    {
        RecordingBridge::SetUp();
        start();
    }

    fs::path drop() const { return m_state.dropDir(); }
    void later(std::chrono::milliseconds d) { m_clock.advance(d); }

    // Opens a file of the drop folder for writing and keeps it open, as a
    // back-office that writes a receipt in several writes.
    int openWriter(const std::string& name)
    {
        const int fd = ::open((drop() / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0);
        return fd;
    }
    static void append(int fd, const std::string& bytes)
    {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

};

// ------------------------------------------------------------ finished files

// A receipt written in pieces, with a pause after each piece but the last.
struct PauseCase {
    const char* name;
    bool lease; // false: a network-style folder, where only the settle rule applies
    std::chrono::milliseconds pause;
    // The pieces; by default the sale and its marker, then the payment.
    std::vector<std::string> pieces = {"F2:1:PANE:1000:150:1\r\nF5:1:ID-000001\r\n", "F4:0:0:0:1\r\n"};
    // The writer closes the file after each piece and opens it again to
    // append the next: each piece is a finished file to the kernel.
    bool closesBetween = false;
};

void PrintTo(const PauseCase& c, std::ostream* os)
{
    *os << c.name;
}

class IntakeWriterPause : public IntakeBridge, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(IntakeWriterPause, ReceiptWrittenInPiecesRunsWholeAsOneJob)
{
    const PauseCase& c = GetParam();
    if (!c.lease)
        m_bridge->intake().setLeaseUsable([](int) { return false; });
    const std::string name = "20261208180100COR000001.txt";
    int fd = openWriter(name);
    for (size_t i = 0; i < c.pieces.size(); ++i) {
        if (i > 0) {
            m_bridge->tick();
            later(c.pause);
            m_bridge->tick();
            EXPECT_TRUE(m_opened.empty()) << "taken before piece " << i + 1 << " was written";
            if (c.closesBetween)
                fd = ::open((drop() / name).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        }
        append(fd, c.pieces[i]);
        if (c.closesBetween || i + 1 == c.pieces.size())
            ::close(fd);
    }
    m_bridge->tick();
    later(Intake::DefaultSettle);
    m_bridge->tick();

    EXPECT_EQ(m_opened, std::vector<std::string>{name});
    EXPECT_EQ(m_printer.count("SellDept"), 1);
    EXPECT_EQ(m_printer.count("PayCash"), 1);
    EXPECT_TRUE(fs::is_empty(drop()));
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(fiscalLog(), std::vector<std::string>{}) << "a record for a file that printed";
}

INSTANTIATE_TEST_SUITE_P(
    Writers, IntakeWriterPause,
    ::testing::Values(PauseCase{"LeaseOneSecond", true, 1s}, PauseCase{"LeaseFiveSeconds", true, 5s},
                      PauseCase{"SettleOneSecond", false, 1s},
                      // A share that takes a receipt in three writes, with
                      // pauses longer than the settle period.
                      PauseCase{"SettleThreePiecesPausingPastThePeriod",
                                false,
                                2500ms,
                                {"F2:1:PANE:1000:150:1\r\n", "F5:1:ID-000001\r\n", "F4:0:0:0:1\r\n"}},
                      // Two open/close cycles: the file created empty, then
                      // filled; the first half closed, then appended.
                      PauseCase{"LeaseCreatedEmptyThenFilled",
                                true,
                                1s,
                                {"", "F2:1:PANE:1000:150:1\r\nF5:1:ID-000001\r\nF4:0:0:0:1\r\n"},
                                true},
                      PauseCase{"LeaseHalfClosedThenAppended", true, 1s, {"F2:1:PANE:1000:150:1\r\nF5:1:ID-000001\r\n",
                                                                         "F4:0:0:0:1\r\n"}, true},
                      PauseCase{"SettleHalfClosedThenAppended", false, 3s, {"F2:1:PANE:1000:150:1\r\nF5:1:ID-000001\r\n",
                                                                           "F4:0:0:0:1\r\n"}, true}),
    rownames::byName);

TEST_F(IntakeBridge, FileClosedByItsWriterIsTakenAtTheFirstTick)
{
    const int fd = openWriter("a.txt");
    append(fd, "D1:1:A\r\n");
    ::close(fd);
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
}

TEST_F(IntakeBridge, WriterThatDiesUnderADotNameNeverHasItsFileTaken)
{
    const int fd = openWriter(".20261208180100COR000001.txt.part");
    append(fd, "F2:1:PANE:1000:150:1\r\n");
    ::close(fd); // the kernel closes a dead writer's files
    for (int i = 0; i < 5; ++i) {
        m_bridge->tick();
        later(1min);
    }
    EXPECT_TRUE(m_printer.calls.empty());
    EXPECT_TRUE(fs::exists(drop() / ".20261208180100COR000001.txt.part"));
}

TEST_F(IntakeBridge, NetworkStyleFolderTakesAFileOnlyOnceItHasSettled)
{
    m_bridge->intake().setLeaseUsable([](int) { return false; });
    testfiles::write(drop() / "a.txt", "D1:1:A\r\n");

    m_bridge->tick();
    later(1500ms);
    m_bridge->tick();
    EXPECT_TRUE(m_opened.empty());
    // A change starts the period again.
    testfiles::write(drop() / "a.txt", "D1:1:A\r\nD1:1:B\r\n");
    later(1000ms);
    m_bridge->tick();
    later(1500ms);
    m_bridge->tick();
    EXPECT_TRUE(m_opened.empty());
    later(500ms);
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(m_printer.count("DisplayText:B"), 1);
}

TEST_F(IntakeBridge, FileBeingWrittenHoldsBackALaterClosureUpToAMinute)
{
    const std::string receiptName = "20261208180100COR000001.txt";
    const std::string closure = "20261208190000Z1.txt";
    const int fd = openWriter(receiptName);
    append(fd, "F2:1:PANE:1000:150:1\r\n");
    testfiles::write(drop() / closure, "Z1:1:0\r\n");

    m_bridge->tick();
    later(30s);
    m_bridge->tick();
    EXPECT_TRUE(m_opened.empty()) << "the closure overtook an earlier receipt";

    append(fd, "F4:0:0:0:1\r\n");
    ::close(fd);
    m_bridge->tick();
    EXPECT_EQ(m_opened, (std::vector<std::string>{receiptName, closure}));
    EXPECT_EQ(countContaining(fiscalLog(), "scrittura"), 0);
}

// A quiet file without its payment is held from its last change and then
// runs as it is: one record for that, none for a file still being written.
TEST_F(IntakeBridge, QuietFileWithoutItsPaymentIsHeldFromItsLastChangeNotReportedAsBeingWritten)
{
    const std::string name = "20261208180100COR000001.txt";
    testfiles::write(drop() / name, "F2:1:PANE:1000:150:1\r\n");
    m_bridge->tick();
    later(30s);
    testfiles::write(drop() / name, "F2:1:PANE:1000:150:1\r\nF5:1:ID-000001\r\n");
    m_bridge->tick();
    later(35s);
    m_bridge->tick();
    EXPECT_TRUE(m_opened.empty());
    later(30s);
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{name});
    EXPECT_EQ(countContaining(fiscalLog(), "scrittura"), 0);
    EXPECT_EQ(countContaining(fiscalLog(), MsgFileNonConcluso), 1);
}

// Waiting cannot mend a record that does not convert, but a last line still
// being written is no fault yet.
TEST_F(IntakeBridge, FileStoppedByAFaultyRecordRunsAtOnceButACutLastLineWaits)
{
    testfiles::write(drop() / "a.txt", "F2:1:PANE:1000:150:1\r\nF2:1:LATTE:10");
    m_bridge->tick();
    EXPECT_TRUE(m_opened.empty());
    testfiles::write(drop() / "a.txt", "F2:1:PANE:uno:150:1\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(countContaining(notFiscalLog(), "Campo numerico non valido"), 1);
}

TEST_F(IntakeBridge, FileHeldOverAMinuteGetsOneRecordAndTheFilesBehindItGoOn)
{
    const std::string stuck = "20261208180100COR000001.txt";
    const int fd = openWriter(stuck);
    append(fd, "F2:1:PANE:1000:150:1\r\n");
    testfiles::write(drop() / "20261208180200COR000002.txt", receipt("ID-000002"));

    m_bridge->tick();
    later(61s);
    m_bridge->tick();
    m_bridge->tick();

    EXPECT_EQ(m_opened, std::vector<std::string>{"20261208180200COR000002.txt"});
    EXPECT_EQ(countContaining(fiscalLog(), "COR000001.txt;"), 1);
    EXPECT_EQ(countContaining(fiscalLog(), "ancora in scrittura da oltre un minuto"), 1);
    EXPECT_FALSE(m_state.errorState);
    EXPECT_TRUE(fs::exists(drop() / stuck));
    ::close(fd);
}

// ------------------------------------------------------ one file, one receipt

// A bridge on the simulated printer, whose roll shows what was printed.
TEST_F(IntakeBridge, TwelveFilesRunInByteOrderOfTheirNames)
{
    std::vector<std::string> names;
    for (int minute = 1; minute <= 11; ++minute) {
        char name[40];
        std::snprintf(name, sizeof name, "2026120818%02d00COR%06d.txt", minute, minute);
        names.push_back(name);
    }
    names.push_back("20261208190000Z1.txt");
    // Written in an order that is neither the names' nor creation's reverse.
    const int order[] = {4, 2, 8, 0, 11, 5, 7, 3, 10, 1, 9, 6};
    for (const int i : order)
        testfiles::write(drop() / names[size_t(i)], "D1:1:X\r\n");

    m_bridge->tick();

    EXPECT_EQ(m_opened, names);
}

// ------------------------------------------------------ open what was listed

enum class Swap { Fifo, Symlink };

class IntakeSwap : public IntakeBridge, public ::testing::WithParamInterface<Swap> {};

TEST_P(IntakeSwap, EntrySwappedInAfterTheListingIsLeftAloneAndRecorded)
{
    const std::string name = "20261208180100COR000001.txt";
    testfiles::write(drop() / name, receipt("ID-000001"));
    const fs::path secret = m_dir / "segreto.txt";
    testfiles::write(secret, "D1:1:SEGRETO\r\n");
    m_bridge->afterListing = [&] {
        fs::remove(drop() / name);
        if (GetParam() == Swap::Fifo)
            ASSERT_EQ(::mkfifo((drop() / name).c_str(), 0600), 0);
        else
            fs::create_symlink(secret, drop() / name);
    };

    m_bridge->tick(); // a FIFO opened for reading would block here for ever

    EXPECT_EQ(fs::symlink_status(drop() / name).type(),
              GetParam() == Swap::Fifo ? fs::file_type::fifo : fs::file_type::symlink);
    EXPECT_TRUE(m_printer.calls.empty());
    EXPECT_TRUE(fs::is_empty(m_state.workDir()));
    EXPECT_EQ(countContaining(fiscalLog(), "lasciato in Ostro: non \xE8 un file regolare"), 1);
    EXPECT_FALSE(m_state.errorState);
}

INSTANTIATE_TEST_SUITE_P(Kinds, IntakeSwap, ::testing::Values(Swap::Fifo, Swap::Symlink),
                         [](const auto& info) { return info.param == Swap::Fifo ? "Fifo" : "Symlink"; });

TEST_F(IntakeBridge, FileRunsFromWhatWasCheckedEvenIfItsNameIsReusedInTheWorkFolder)
{
    testfiles::write(drop() / "a.txt", "D1:1:VERO\r\n");
    m_printer.onOpenPort = [&] {
        // Whatever is put under its name now is not what runs.
        testfiles::write(m_dir / "altro.txt", "D1:1:FALSO\r\n");
        fs::rename(m_dir / "altro.txt", m_state.workDir() / "a.txt");
    };
    m_bridge->tick();
    EXPECT_EQ(m_printer.count("DisplayText:VERO"), 1);
    EXPECT_EQ(m_printer.count("DisplayText:FALSO"), 0);
}

// ---------------------------------------------------------- scan problems

TEST_F(IntakeBridge, SameNamedFileInTheWorkFolderDoesNotStopTheValidFileBehindIt)
{
    const std::string name = "20261208180100COR000001.txt";
    testfiles::write(m_state.workDir() / name, "vecchio");
    testfiles::write(drop() / name, receipt("ID-000001"));
    testfiles::write(drop() / "20261208180200COR000002.txt", receipt("ID-000002"));

    m_bridge->tick();
    m_bridge->tick();

    EXPECT_EQ(m_opened, std::vector<std::string>{"20261208180200COR000002.txt"});
    EXPECT_EQ(m_printer.count("PayCash"), 1);
    EXPECT_EQ(countContaining(fiscalLog(), "esiste gi\xE0 un file con lo stesso nome in IN"), 1);
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(stored(m_state.configFile(), keys::Kelmora_CORR), "");
}

// A symbolic link in the place of a folder of the bridge, as a member of a
// shared folder's group could plant it: its target is never emptied nor run
// (for IN whoever made the link; for Ostro another user), on record once.
struct LinkedCase {
    const char* name;
    const char* folder;
    bool madeByAnotherUser;
    bool refused;
};
void PrintTo(const LinkedCase& c, std::ostream* os)
{
    *os << c.name;
}

class LinkedFolder : public IntakeBridge, public ::testing::WithParamInterface<LinkedCase> {};

TEST_P(LinkedFolder, OfAnotherUserOrInPlaceOfInIsNeverFollowed)
{
    const LinkedCase& c = GetParam();
    if (c.madeByAnotherUser && ::geteuid() != 0) {
        GTEST_SKIP() << "a link made by another user needs root (lchown)";
    }
    const std::string planted = "20261208180100COR000001.txt";
    const fs::path target = m_state.programDir / "altrove";
    testfiles::write(target / planted, receipt("ID-000001"));
    const fs::path place = m_state.programDir / c.folder;
    fs::remove_all(place);
    fs::create_directory_symlink(target, place);
    if (c.madeByAnotherUser) {
        ASSERT_EQ(::lchown(place.c_str(), 54321, 54321), 0);
    }
    // The program starts on the folder as it is.
    m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, m_printer);
    start();
    if (std::string(c.folder) == "IN")
        testfiles::write(drop() / "20261208180200COR000002.txt", receipt("ID-000002"));
    m_bridge->tick();
    m_bridge->tick();

    if (c.refused) {
        EXPECT_TRUE(fs::exists(target / planted));
        EXPECT_TRUE(m_opened.empty());
        // Not moved through the link either (the error the start-up filed
        // would then have it deleted there unrun).
        if (std::string(c.folder) == "IN") {
            EXPECT_TRUE(fs::exists(drop() / "20261208180200COR000002.txt"));
        }
        EXPECT_EQ(countContaining(notFiscalLog(), std::string(MsgCartellaCollegamento) + c.folder), 1);
        EXPECT_TRUE(fs::is_symlink(place));
    } else {
        EXPECT_EQ(m_opened, std::vector<std::string>{planted});
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, LinkedFolder,
                         ::testing::Values(LinkedCase{"InLinkedByTheUser", "IN", false, true},
                                           LinkedCase{"OstroLinkedByAnotherUser", "Ostro", true, true},
                                           LinkedCase{"OstroLinkedByTheUserIsTheInstallers", "Ostro", false, false}),
                         rownames::byName);

// Something else in the place of the running file's note: no file starts
// without a note, one record names it at start-up (none more when files
// then wait), and a link's target is never written.
struct NotePlaceCase {
    const char* name;
    bool link;
    const char* why;
};
void PrintTo(const NotePlaceCase& c, std::ostream* os)
{
    *os << c.name;
}

class NoteInPlace : public IntakeBridge, public ::testing::WithParamInterface<NotePlaceCase> {};

TEST_P(NoteInPlace, OfTheRunningFileHasOneRecordAndStartsNothing)
{
    const NotePlaceCase& c = GetParam();
    const fs::path note = m_state.programDir / RunningFile::FileName;
    const fs::path target = m_state.programDir / "altrove" / "avvio.sh";
    fs::remove(note);
    if (c.link) {
        testfiles::write(target, "#!/bin/sh\n");
        fs::create_symlink(target, note);
    } else {
        fs::create_directories(note / "dentro");
    }
    m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, m_printer);
    start();
    testfiles::write(drop() / "20261208180200COR000002.txt", receipt("ID-000002"));
    m_bridge->tick();
    m_bridge->tick();

    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(fs::exists(drop() / "20261208180200COR000002.txt"));
    const std::string record = std::string(MsgNotaNonPreparata) + RunningFile::FileName + ": " + c.why + ")";
    EXPECT_EQ(countContaining(notFiscalLog(), record), 1);
    EXPECT_EQ(countContaining(notFiscalLog(), RunningFile::FileName) + countContaining(fiscalLog(), RunningFile::FileName),
              1);
    if (c.link) {
        EXPECT_EQ(testfiles::read(target), "#!/bin/sh\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, NoteInPlace,
                         ::testing::Values(NotePlaceCase{"Folder", false, "a folder where a file belongs"},
                                           NotePlaceCase{"Link", true, "symbolic link, not followed"}),
                         rownames::byName);

TEST_F(IntakeBridge, DropFolderThatCannotBeListedIsRecordedOnceWithoutRaisingTheError)
{
    fs::remove(drop());
    m_bridge->tick();
    m_bridge->tick();
    EXPECT_EQ(countContaining(notFiscalLog(), "Impossibile leggere la cartella Ostro"), 1);
    EXPECT_FALSE(m_state.errorState);
    fs::create_directory(drop());
    testfiles::write(drop() / "a.txt", "D1:1:A\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
}

// ------------------------------------------------------------ no silent drop

struct SilentCase {
    const char* name;
    const char* content;
    const char* record;
    // Records for the file: an empty file is held for the hold-back minute
    // and then run as it is, which is on record too.
    int records = 1;
};

void PrintTo(const SilentCase& c, std::ostream* os)
{
    *os << c.name;
}

class IntakeNoSilentDrop : public IntakeBridge, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(IntakeNoSilentDrop, FileThatAsksNothingOfThePrinterIsRecordedAndDeleted)
{
    const std::string name = "20261208180100COR000001.txt";
    testfiles::write(drop() / name, GetParam().content);

    m_bridge->tick();
    later(Intake::HoldBackLimit);
    m_bridge->tick();

    const auto log = fiscalLog();
    EXPECT_EQ(countContaining(log, "Tessiro_Error: COR000001.txt;"), GetParam().records);
    EXPECT_EQ(countContaining(log, GetParam().record), 1);
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(stored(m_state.configFile(), keys::Kelmora_CORR), "");
    EXPECT_TRUE(fs::is_empty(m_state.workDir()));
    EXPECT_TRUE(fs::is_empty(drop()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, IntakeNoSilentDrop,
    ::testing::Values(SilentCase{"Empty", "", MsgFileVuoto, 2}, SilentCase{"BlankLines", "\r\n  \r\n", MsgFileVuoto},
                      SilentCase{"UnknownFirstCode", "X9:1:PANE\r\nF4:0:0:0:1\r\n",
                                 "Codice sconosciuto nel primo record, file non eseguito: X9:1:PANE"}),
    rownames::byName);

// ------------------------------------------------------------ names in records

TEST_F(IntakeBridge, NameWithCrLfCannotSplitOrForgeARecord)
{
    const std::string name = "20261208180100COR\r\nCOR9;01-01-2026 00:00:00;finto.txt";
    m_printer.codes["SellDept"] = 5;
    testfiles::write(drop() / name, receipt("ID-000001"));

    m_bridge->tick();

    const auto log = fiscalLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Tessiro_Error: COR??COR9;", 0), 0u) << log[0];
    EXPECT_EQ(stored(m_state.configFile(), keys::Kelmora_CORR), "COR??COR9;01-01-2026 00:00:00;finto.txt");
}

struct NameCase {
    const char* name;
    std::string raw;
    std::string recorded;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class RecordNameTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(RecordNameTable, NameReachesTheLogsInWindows1252WithoutControlCharacters)
{
    EXPECT_EQ(recordName(GetParam().raw), GetParam().recorded);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecordNameTable,
    ::testing::Values(NameCase{"Plain", "20261208180100COR000001.txt", "20261208180100COR000001.txt"},
                      NameCase{"CrLf", "a\r\nb", "a??b"}, NameCase{"Escape", "a\x1b[2Jb", "a?[2Jb"},
                      NameCase{"Tab", "a\tb", "a?b"}, NameCase{"Delete", "a\x7f", "a?"},
                      NameCase{"Utf8Euro", "prezzo\xE2\x82\xAC.txt", "prezzo\x80.txt"},
                      NameCase{"Utf8Accent", "citt\xC3\xA0.txt", "citt\xE0.txt"},
                      NameCase{"Utf8NoWindows1252Form", "\xE4\xB8\xAD.txt", "?.txt"},
                      NameCase{"AlreadyWindows1252", "citt\xE0.txt", "citt\xE0.txt"}),
    rownames::byName);

// ------------------------------------------------------------ interpreter marks

} // namespace
