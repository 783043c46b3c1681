// SPDX-License-Identifier: MIT
#include "bridge/RecordingBridge.h"
#include "bridge/Bridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/SharedState.h"
#include "errors/FileKind.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using ::testing::TestWithParam;

namespace {

constexpr char Missing[] = "<assente>";

std::string stored(const fs::path& config, const char* key)
{
    return LeggiINI(keys::Section, key, Missing, config);
}

// Names of a folder's entries in the order the file system lists them.
std::vector<std::string> listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int countStartingWith(const std::vector<std::string>& lines, const std::string& start, const std::string& part)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.rfind(start, 0) == 0 && l.find(part) != std::string::npos;
    }));
}

// Puts the file's modification time an hour back, so that any write shows.
fs::file_time_type ageFile(const fs::path& file)
{
    const auto old = fs::last_write_time(file) - std::chrono::hours(1);
    fs::last_write_time(file, old);
    return old;
}

// ---------------------------------------------------------------- start-up

class BridgeStartup : public ProgramFolderTest {
protected:
    int start()
    {
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        return m_bridge->start();
    }

    std::string action(const std::string& text, const std::string& reference = "AZIONE") const
    {
        return record(reference, "AZIONE: " + text);
    }
    fs::path config() const { return m_state.configFile(); }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
};

TEST_F(BridgeStartup, FirstStartInAnEmptyFolderPreparesFoldersKeysAndLog)
{
    EXPECT_EQ(start(), 500);

    EXPECT_TRUE(fs::is_directory(m_dir / "IN"));
    EXPECT_TRUE(fs::is_directory(m_dir / "Ostro"));
    const std::vector<std::pair<const char*, std::string>> expected = {
        {keys::Eps_COM, ""},          {keys::Eps_Setting, ""},
        {keys::Eps_Delay, "50"},      {keys::Eps_NonRiscIndex, "1"},
        {keys::Eps_NonRiscType, "1"}, {keys::Kelmora_DIR, "C:\\KELMORA\\"},
        {keys::PAY_L, "0"},           {keys::Eps_Vuoto, "-1"},
        {keys::Eps_CodError, ""},     {keys::Eps_DescError, ""},
        {keys::Kelmora_CORR, ""},
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(stored(config(), key), value) << key;
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{action("IntervalTimer: 500")});
    EXPECT_FALSE(m_window.visible);
    EXPECT_EQ(m_window.hides, 1);
    EXPECT_FALSE(m_state.errorState);
    // The printer's events reach the bridge's handler.
    EXPECT_TRUE(m_printer->onErrorEvent);
    EXPECT_TRUE(m_bridge->errors().onSequenceError);
}

TEST_F(BridgeStartup, MissingDropFolderIsCreatedBesideAnEmptyWorkFolder)
{
    fs::create_directory(m_dir / "IN");
    start();
    EXPECT_TRUE(fs::is_directory(m_dir / "Ostro"));
    EXPECT_TRUE(fs::is_empty(m_dir / "IN"));
}

TEST_F(BridgeStartup, FilesLeftInWorkFolderAreDeletedEachWithAnActionUnderItsName)
{
    const std::string fiscal = "20261208140509COR0001.txt";
    testfiles::write(m_dir / "IN" / "a.txt", "F2:1:PANE:1000:150:1");
    testfiles::write(m_dir / "IN" / fiscal, "F4:0:0:150:1");
    testfiles::write(m_dir / "IN" / "sotto" / "dentro.txt", "x");

    start();

    EXPECT_EQ(listing(m_dir / "IN"), std::vector<std::string>{"sotto"});
    EXPECT_TRUE(fs::exists(m_dir / "IN" / "sotto" / "dentro.txt"));
    EXPECT_TRUE(contains(notFiscalLog(), action("File scartato all'avvio: a.txt", "a.txt")));
    EXPECT_TRUE(contains(fiscalLog(), action("File scartato all'avvio: " + fiscal, "COR0001.txt")));
    EXPECT_TRUE(contains(notFiscalLog(), action("IntervalTimer: 500")));
    EXPECT_EQ(m_state.currentFileName(), "");
}

TEST_F(BridgeStartup, FilesInDropFolderWaitForTheFirstTick)
{
    testfiles::write(m_dir / "Ostro" / "attesa.txt", "D1:1:CIAO");
    start();
    EXPECT_EQ(testfiles::read(m_dir / "Ostro" / "attesa.txt"), "D1:1:CIAO");
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{action("IntervalTimer: 500")});
}

TEST_F(BridgeStartup, BatchFlagLeftBusyByACrashIsSetIdle)
{
    configure({"Eps_Vuoto=0"});
    start();
    EXPECT_EQ(stored(config(), keys::Eps_Vuoto), "-1");
}

TEST_F(BridgeStartup, ErrorLeftByTheLastRunIsCleared)
{
    configure({"Kelmora_CORR=COR0007.txt", "Eps_CodError=12", "Eps_DescError=CARTA"});
    m_state.errorState = true;
    m_state.lastErrorText = "vecchio errore";
    m_window.printerText = "----- PRINTER ERROR -----";

    start();

    EXPECT_EQ(stored(config(), keys::Kelmora_CORR), "");
    EXPECT_EQ(stored(config(), keys::Eps_CodError), "");
    EXPECT_EQ(stored(config(), keys::Eps_DescError), "");
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(m_state.lastErrorText, "");
    EXPECT_EQ(m_window.printerText, "");
}

TEST_F(BridgeStartup, StoredSettingsReachTheWorkingSettings)
{
    configure({"Eps_COM=3", "Eps_Setting=19200,N,8,1", "Eps_Delay=20", "Eps_NonRiscType=2", "Eps_NonRiscIndex=4",
               "Kelmora_DIR=/srv/kelmora/"});
    start();
    EXPECT_EQ(m_state.settings.portNumber, std::optional<int16_t>(3));
    EXPECT_EQ(m_state.settings.portSettings, "19200,N,8,1");
    EXPECT_EQ(m_state.settings.pause, 20);
    EXPECT_EQ(m_state.settings.unpaidType, 2);
    EXPECT_EQ(m_state.settings.unpaidIndex, 4);
    EXPECT_EQ(m_state.settings.dataDir, "/srv/kelmora/");
}

TEST_F(BridgeStartup, RejectedStoredPortIsShownInAMessageBoxWithTheProgramTitle)
{
    configure({"Eps_COM=abc"});
    start();
    const bool shown = std::any_of(m_window.boxes.begin(), m_window.boxes.end(), [](const FakeWindow::Box& b) {
        return b.kind == "inform" && b.title == "Tessiro" && b.text == "Porta COM errata.";
    });
    EXPECT_TRUE(shown);
}

TEST_F(BridgeStartup, WorkFolderThatCannotBeCreatedIsReportedToTheOperator)
{
    testfiles::write(m_dir / "IN", "un file, non una cartella");
    start();
    EXPECT_TRUE(fs::is_directory(m_dir / "Ostro"));
    EXPECT_EQ(countStartingWith(notFiscalLog(), "Tessiro_Error: ;", "Impossibile creare la cartella IN"), 1);
    EXPECT_TRUE(m_state.errorState);
    EXPECT_TRUE(m_window.visible);
}

struct IntervalCase {
    const char* stored;
    int interval;
    const char* complaint; // action filed before "IntervalTimer: N", or nullptr
};

class BridgeStartupInterval : public BridgeStartup, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(BridgeStartupInterval, PollingIntervalIsUsableAndFiledAsAnAction)
{
    const IntervalCase& c = GetParam();
    configure({std::string("intervalTimer=") + c.stored});

    EXPECT_EQ(start(), c.interval);
    EXPECT_EQ(m_bridge->interval(), c.interval);

    std::vector<std::string> expected;
    if (c.complaint)
        expected.push_back(action(c.complaint));
    expected.push_back(action("IntervalTimer: " + std::to_string(c.interval)));
    EXPECT_EQ(notFiscalLog(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BridgeStartupInterval,
    ::testing::Values(IntervalCase{"1000", 1000, nullptr}, IntervalCase{"1", 1, nullptr},
                      IntervalCase{"1500.5", 1500, nullptr}, IntervalCase{"65535", 65535, nullptr},
                      IntervalCase{"abc", 500, "IntervalTimer non valido: \"abc\", uso 500"},
                      IntervalCase{"", 500, "IntervalTimer non valido: \"\", uso 500"},
                      IntervalCase{"0", 500, "IntervalTimer non valido: \"0\", uso 500"},
                      IntervalCase{"-200", 500, "IntervalTimer non valido: \"-200\", uso 500"},
                      IntervalCase{"0.4", 500, "IntervalTimer non valido: \"0.4\", uso 500"},
                      IntervalCase{"65536", 65535, "IntervalTimer troppo grande: \"65536\", uso 65535"},
                      IntervalCase{"1e9", 65535, "IntervalTimer troppo grande: \"1e9\", uso 65535"},
                      IntervalCase{"5\x1b[2J\x07\x7f", 500, "IntervalTimer non valido: \"5?[2J??\", uso 500"}),
    rownames::spelledBy(&IntervalCase::stored));

struct PayLCase {
    const char* stored; // nullptr: key missing
    bool ticked;
    const char* saved;
};

class BridgeStartupPayL : public BridgeStartup, public ::testing::WithParamInterface<PayLCase> {};

TEST_P(BridgeStartupPayL, CheckBoxFollowsWhetherTheStoredNumberIsZero)
{
    const PayLCase& c = GetParam();
    if (c.stored)
        configure({std::string("PAY_L=") + c.stored});
    start();
    EXPECT_EQ(m_bridge->panel().payL(), c.ticked);
    EXPECT_EQ(stored(config(), keys::PAY_L), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BridgeStartupPayL,
    ::testing::Values(PayLCase{nullptr, false, "0"}, PayLCase{"0", false, "0"}, PayLCase{"1", true, "1"},
                      PayLCase{"-1", true, "1"}, PayLCase{"abc", false, "0"}),
    rownames::by([](const PayLCase& c) { return c.stored ? rownames::spelled(c.stored) : "Missing"; }));

// ----------------------------------------------------------------- polling

class BridgePolling : public RecordingBridge {
protected:
    void SetUp() override
    {
        RecordingBridge::SetUp();
        start();
    }

    void drop(const std::string& name, const std::string& content) { testfiles::write(drop() / name, content); }
    fs::path drop() const { return m_state.dropDir(); }
    fs::path work() const { return m_state.workDir(); }
    fs::path config() const { return m_state.configFile(); }
};

TEST_F(BridgePolling, IdleTickWithAnEmptyDropFolderWritesNothingAndOpensNoPort)
{
    const std::string configBefore = testfiles::read(config());
    const auto logLines = notFiscalLog().size();
    const auto mtime = ageFile(config());

    m_bridge->tick();

    EXPECT_EQ(fs::last_write_time(config()), mtime);
    EXPECT_EQ(testfiles::read(config()), configBefore);
    EXPECT_EQ(notFiscalLog().size(), logLines);
    EXPECT_TRUE(m_printer.calls.empty());
    EXPECT_EQ(stored(config(), keys::Eps_Vuoto), "-1");
}

// One file at a time into IN: while a file runs the others wait in Ostro,
// so a stop in the middle leaves them there to run after the restart.
TEST_F(BridgePolling, DroppedFilesRunOneAtATimeInNameOrderAndAreDeleted)
{
    drop("a.txt", "D1:1:A\r\n");
    drop("b.txt", "D1:1:B\r\n");
    drop("c.txt", "D1:1:C\r\n");
    std::vector<std::string> order = listing(drop());
    std::sort(order.begin(), order.end());
    std::vector<std::vector<std::string>> inWork, inDrop;
    m_probe = [&] {
        inWork.push_back(listing(work()));
        inDrop.push_back(listing(drop()));
        std::sort(inDrop.back().begin(), inDrop.back().end());
    };

    m_bridge->tick();

    EXPECT_EQ(m_opened, order);
    ASSERT_EQ(inWork.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(inWork[k], std::vector<std::string>{order[k]});
        EXPECT_EQ(inDrop[k], std::vector<std::string>(order.begin() + std::ptrdiff_t(k) + 1, order.end()));
    }
    EXPECT_TRUE(fs::is_empty(work()));
    EXPECT_TRUE(fs::is_empty(drop()));
}

TEST_F(BridgePolling, BatchFlagIsBusyWhileFilesRunAndIdleAfter)
{
    drop("a.txt", "D1:1:A\r\n");
    std::string flagDuringRun;
    bool runningDuringRun = false;
    m_probe = [&] {
        flagDuringRun = stored(config(), keys::Eps_Vuoto);
        runningDuringRun = m_state.batchRunning;
    };

    m_bridge->tick();

    EXPECT_EQ(flagDuringRun, "0");
    EXPECT_TRUE(runningDuringRun);
    EXPECT_EQ(stored(config(), keys::Eps_Vuoto), "-1");
    EXPECT_FALSE(m_state.batchRunning);
}

TEST_F(BridgePolling, FailedFileIsDeletedAndItsFailureLogged)
{
    m_printer.codes["DisplayText:GUASTO"] = 5;
    drop("a.txt", "D1:1:GUASTO\r\n");

    m_bridge->tick();

    EXPECT_FALSE(fs::exists(work() / "a.txt"));
    EXPECT_FALSE(fs::exists(drop() / "a.txt"));
    EXPECT_EQ(countStartingWith(notFiscalLog(), "Tessiro_Error: a.txt;", ""), 1);
    EXPECT_TRUE(m_state.errorState);
}

TEST_F(BridgePolling, FileInWorkFolderIsNeverPickedUp)
{
    testfiles::write(work() / "rimasto.txt", "D1:1:X");
    m_bridge->tick();
    EXPECT_TRUE(fs::exists(work() / "rimasto.txt"));
    EXPECT_TRUE(m_printer.calls.empty());
}

TEST_F(BridgePolling, AtMost101FilesRunInOneTickTheRestWaitInTheDropFolder)
{
    for (int i = 0; i < 102; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d.txt", i);
        drop(name, "D1:1:X\r\n");
    }
    std::vector<std::string> order = listing(drop());
    std::sort(order.begin(), order.end());

    m_bridge->tick();

    EXPECT_EQ(m_opened.size(), 101u);
    EXPECT_EQ(listing(drop()), std::vector<std::string>{order.back()});
    EXPECT_TRUE(fs::is_empty(work()));

    m_bridge->tick();
    EXPECT_EQ(m_opened.size(), 102u);
    EXPECT_EQ(m_opened.back(), order.back());
    EXPECT_TRUE(fs::is_empty(drop()));
}

TEST_F(BridgePolling, SameNameAlreadyInWorkFolderKeepsTheFileInTheDropFolderReportedOnce)
{
    const std::string name = "20261208140509COR0001.txt";
    testfiles::write(work() / name, "vecchio");
    drop(name, "D1:1:NUOVO\r\n");

    m_bridge->tick();
    // The stuck file is retried quietly: no record and no write to the
    // shared file on later ticks.
    const auto mtime = ageFile(config());
    m_bridge->tick();
    EXPECT_EQ(fs::last_write_time(config()), mtime);

    EXPECT_EQ(testfiles::read(drop() / name), "D1:1:NUOVO\r\n");
    EXPECT_EQ(testfiles::read(work() / name), "vecchio");
    EXPECT_EQ(
        countStartingWith(fiscalLog(), "Tessiro_Error: COR0001.txt;",
                          "File non spostato in IN, lasciato in Ostro: esiste gi\xE0 un file con lo stesso nome in IN"),
        1);
    // A file that never ran raises no error and names no failed receipt.
    EXPECT_EQ(stored(config(), keys::Kelmora_CORR), "");
    EXPECT_FALSE(m_state.errorState);
    EXPECT_TRUE(m_opened.empty());
    EXPECT_EQ(stored(config(), keys::Eps_Vuoto), "-1");

    // Once the way is clear the file is taken like any other.
    fs::remove(work() / name);
    m_bridge->cmdNascondi();
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{name});
    EXPECT_EQ(m_printer.count("DisplayText:NUOVO"), 1);
    EXPECT_TRUE(fs::is_empty(drop()));
}

TEST_F(BridgePolling, MissingDropFolderIsReportedOnceAndTicksGoOn)
{
    fs::remove(drop());
    m_bridge->tick();
    m_bridge->tick();
    EXPECT_EQ(countStartingWith(notFiscalLog(), "Tessiro_Error: ;", "Impossibile leggere la cartella Ostro"), 1);
    EXPECT_EQ(stored(config(), keys::Eps_Vuoto), "-1");

    fs::create_directory(drop());
    m_bridge->cmdNascondi();
    drop("a.txt", "D1:1:A\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
}

TEST_F(BridgePolling, TickArrivingWhileABatchRunsTakesNothing)
{
    drop("a.txt", "D1:1:A\r\n");
    m_probe = [&] {
        if (m_opened.size() > 1)
            return;
        // A recovery button may set the flag idle while a message box of the
        // batch lets events through; the tick that follows must still wait.
        EXPECT_TRUE(ScriviINI(keys::Section, keys::Eps_Vuoto, "-1", config()));
        drop("tardi.txt", "D1:1:T\r\n");
        m_bridge->tick();
    };

    m_bridge->tick();

    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(fs::exists(drop() / "tardi.txt"));

    m_bridge->tick();
    EXPECT_EQ(m_opened, (std::vector<std::string>{"a.txt", "tardi.txt"}));
}

TEST_F(BridgePolling, CurrentFileNameNamesTheLastFileUntilTheNextTick)
{
    drop("a.txt", "D1:1:A\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_state.currentFileName(), "a.txt");
    m_bridge->tick();
    EXPECT_EQ(m_state.currentFileName(), "");
}

struct FlagCase {
    const char* value;
    bool runs;
    // The shared file kept in the back-office's folder and linked into the
    // program folder by the installer; the back-office writes its own file.
    bool linked = false;
};

TEST_F(BridgePolling, IdleTickWritesTheFlagBackWhenItsKeyIsGone)
{
    configure({"Eps_COM=1"});

    m_bridge->tick();

    EXPECT_EQ(stored(config(), keys::Eps_Vuoto), "-1");
}

// An idle tick that trusts the stamps of a quiet configuration and drop
// folder still sees what changes in them.
class BridgePollingQuiet : public BridgePolling {
protected:
    void SetUp() override
    {
        BridgePolling::SetUp();
        // The files carry the real time: on the test clock they would all
        // look changed a moment ago, and no look would be trusted.
        m_clock.wall = std::chrono::system_clock::now();
        m_bridge->setQuietChecks(std::chrono::nanoseconds(0), std::chrono::hours(1));
        m_bridge->tick();
        m_bridge->tick();
        // Past the time-stamp tick of the looks just taken.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
};

TEST_F(BridgePollingQuiet, FileDroppedIntoTheQuietFolderIsTaken)
{
    drop("a.txt", "D1:1:A\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_opened, std::vector<std::string>{"a.txt"});
    EXPECT_FALSE(fs::exists(drop() / "a.txt"));
}

TEST_F(BridgePollingQuiet, BusyFlagSetByHandInTheQuietConfigurationStopsTheTick)
{
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_Vuoto, "0", config()));
    drop("a.txt", "D1:1:A\r\n");
    m_bridge->tick();
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(fs::exists(drop() / "a.txt"));
}

class BridgePollingFlag : public BridgePolling, public ::testing::WithParamInterface<FlagCase> {
protected:
    void SetUp() override
    {
        RecordingBridge::SetUp();
        if (GetParam().linked) {
            ASSERT_TRUE(m_office.isValid());
            fs::copy_file(config(), shared());
            fs::remove(config());
            fs::create_symlink(shared(), config());
        }
        start();
    }
    void TearDown() override
    {
        if (GetParam().linked) {
            EXPECT_TRUE(fs::is_symlink(config()));
            EXPECT_EQ(fs::read_symlink(config()), shared());
        }
    }
    // The file the back-office writes.
    fs::path shared() const
    {
        return GetParam().linked ? testfiles::path(m_office) / "_Configurazione.ini" : config();
    }

    QTemporaryDir m_office;
};

TEST_P(BridgePollingFlag, BusyFlagSetByHandDecidesWhetherTheTickRuns)
{
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_Vuoto, GetParam().value, shared()));
    drop("a.txt", "D1:1:A\r\n");

    m_bridge->tick();

    EXPECT_EQ(fs::exists(drop() / "a.txt"), !GetParam().runs);
    EXPECT_EQ(m_opened.size(), GetParam().runs ? 1u : 0u);
}

TEST_P(BridgePollingFlag, IdleTickLeavesTheFlagIdleUnlessItSaysBusy)
{
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_Vuoto, GetParam().value, shared()));

    m_bridge->tick();

    EXPECT_EQ(stored(shared(), keys::Eps_Vuoto), GetParam().runs ? "-1" : GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Values, BridgePollingFlag,
                         ::testing::Values(FlagCase{"0", false}, FlagCase{"False", false}, FlagCase{"FALSE", false},
                                           FlagCase{"0.0", false}, FlagCase{"-1", true}, FlagCase{"1", true},
                                           FlagCase{"True", true}, FlagCase{"forse", true}, FlagCase{"", true}),
                         rownames::spelledBy(&FlagCase::value));
INSTANTIATE_TEST_SUITE_P(ThroughALink, BridgePollingFlag,
                         ::testing::Values(FlagCase{"0", false, true}, FlagCase{"-1", true, true}),
                         rownames::spelledBy(&FlagCase::value));

enum class Entry { Fifo, Symlink, Directory, DotFile };

class BridgePollingEntry : public BridgePolling, public ::testing::WithParamInterface<Entry> {};

TEST_P(BridgePollingEntry, EntryThatIsNoPlainFileStaysUntouched)
{
    const fs::path target = m_dir / "segreto.txt";
    testfiles::write(target, "D1:1:SEGRETO");
    fs::path entry;
    fs::file_type type{};
    switch (GetParam()) {
    case Entry::Fifo:
        entry = drop() / "tubo";
        ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0);
        type = fs::file_type::fifo;
        break;
    case Entry::Symlink:
        entry = drop() / "collegamento.txt";
        fs::create_symlink(target, entry);
        type = fs::file_type::symlink;
        break;
    case Entry::Directory:
        entry = drop() / "cartella";
        fs::create_directory(entry);
        testfiles::write(entry / "dentro.txt", "D1:1:DENTRO");
        type = fs::file_type::directory;
        break;
    case Entry::DotFile:
        entry = drop() / ".Old.txt.copia";
        testfiles::write(entry, "D1:1:META");
        type = fs::file_type::regular;
        break;
    }
    const auto mtime = ageFile(config());

    m_bridge->tick();

    EXPECT_EQ(fs::symlink_status(entry).type(), type);
    EXPECT_TRUE(fs::is_empty(work()));
    EXPECT_TRUE(m_printer.calls.empty());
    EXPECT_EQ(fs::last_write_time(config()), mtime);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BridgePollingEntry,
                         ::testing::Values(Entry::Fifo, Entry::Symlink, Entry::Directory, Entry::DotFile),
                         rownames::by([](Entry e) {
                             static constexpr const char* Names[] = {"Fifo", "Symlink", "Directory", "DotFile"};
                             return Names[static_cast<int>(e)];
                         }));

// ---------------------------------------------------- hide and exit commands

using BridgeWindowCommands = BridgePolling;

TEST_F(BridgeWindowCommands, NascondiClearsTheErrorSavesAppliesAndHides)
{
    m_state.errorState = true;
    m_window.printerText = "----- PRINTER ERROR -----";
    m_window.showOnTop();
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Kelmora_CORR, "COR0001.txt", config()));
    // The port field is saved as typed but reaches the working settings only
    // through ApplicaImpostazioni.
    m_bridge->panel().setText(SettingsPanel::Field::Seriale, "7");

    m_bridge->cmdNascondi();

    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(m_window.printerText, "");
    EXPECT_FALSE(m_window.visible);
    EXPECT_EQ(stored(config(), keys::Kelmora_CORR), "");
    EXPECT_EQ(stored(config(), keys::Eps_COM), "7");
    EXPECT_EQ(m_state.settings.portNumber, std::optional<int16_t>(7));
}

TEST_F(BridgeWindowCommands, EsciConfirmedFilesTheClosingActionAndEnds)
{
    m_window.answers = {true};
    m_state.errorState = true;
    m_bridge->errors().fileUnder(jobNamed("20261208140509COR0001.txt"));

    EXPECT_TRUE(m_bridge->Esci());

    ASSERT_EQ(m_window.boxes.size(), 1u);
    EXPECT_EQ(m_window.boxes[0].kind, "yesno");
    EXPECT_EQ(m_window.boxes[0].title, "Tessiro");
    EXPECT_EQ(m_window.boxes[0].text, "Chiudere il programma ?");
    EXPECT_FALSE(m_state.errorState);
    EXPECT_EQ(m_state.currentFileName(), "");
    EXPECT_EQ(notFiscalLog().back(), "AZIONE;" + dateTimeText(m_clock.now) + ";AZIONE: Chiusura Programma");
}

TEST_F(BridgeWindowCommands, EsciDeclinedHidesTheWindowAndKeepsRunning)
{
    m_window.answers = {false};
    m_window.printerText = "----- PRINTER ERROR -----";
    m_window.showOnTop();
    m_state.errorState = true;
    const auto logLines = notFiscalLog().size();

    EXPECT_FALSE(m_bridge->Esci());

    EXPECT_EQ(m_window.printerText, "");
    EXPECT_FALSE(m_window.visible);
    EXPECT_TRUE(m_state.errorState);
    EXPECT_EQ(notFiscalLog().size(), logLines);
}

} // namespace
