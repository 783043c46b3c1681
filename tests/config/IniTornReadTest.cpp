// SPDX-License-Identifier: MIT
#include "config/IniFile.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The shared file as the back-office keeps it: its own sections, comments
// and blank lines around the bridge's keys.
const std::string Shared = "; Configurazione condivisa: non modificare a mano\r\n"
                           "[Generale]\r\n"
                           "Negozio=Bottega di prova\r\n"
                           "Cassa=2\r\n"
                           "\r\n"
                           "[Varie]\r\n"
                           "Eps_COM=1\r\n"
                           "Eps_Setting=9600,N,8,1\r\n"
                           "Eps_Vuoto=-1\r\n"
                           "ChiaveEstranea=valore estraneo\r\n"
                           "; commento dentro Varie\r\n"
                           "\r\n"
                           "[Stampanti]\r\n"
                           "Modello=FP-90\r\n"
                           "; ultima riga\r\n";

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        out.push_back(text.substr(pos, end - pos));
        pos = end == std::string::npos ? text.size() : end + 2;
    }
    return out;
}

// The other program's own change, made while the bridge writes.
const std::string Changed = [] {
    std::string text = Shared;
    text.replace(text.find("Cassa=2"), 7, "Cassa=7");
    return text;
}();

// Every line of `expected` but the Eps_Vuoto one, whose value the writes change.
void expectEveryForeignLine(const std::string& file, const std::string& expected = Shared)
{
    for (const std::string& line : linesOf(expected)) {
        if (line.rfind("Eps_Vuoto=", 0) == 0)
            continue;
        EXPECT_NE(file.find(line + "\r\n"), std::string::npos) << "lost: " << line << "\nfile:\n" << file;
    }
    EXPECT_NE(file.find("Eps_Vuoto="), std::string::npos) << file;
}

// The other program's ways of rewriting the file in place.
enum class Rewrite { TruncateThenWrite, WriteThenTruncate };

void rewriteInPlace(const fs::path& file, const std::string& text, Rewrite how)
{
    const int fd = ::open(file.c_str(), how == Rewrite::TruncateThenWrite ? O_WRONLY | O_TRUNC : O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
    if (how == Rewrite::WriteThenTruncate) {
        ASSERT_EQ(::ftruncate(fd, off_t(text.size())), 0);
    }
    ::close(fd);
}

// In memory when it can: ext4 writes a file truncated and written again out
// to disk at its close, which would make the other program's rewrites wait
// for the disk and the race far rarer than its pace would make it.
QString scratchTemplate()
{
    const fs::path shm = "/dev/shm";
    if (::access(shm.c_str(), W_OK) == 0)
        return QStringLiteral("/dev/shm/tessiro-ini-XXXXXX");
    return QString();
}

class IniTornRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        testfiles::write(ini(), Shared);
        // A first whole read, as the bridge has done many times before.
        if (writesFirst()) {
            ASSERT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "0", ini()));
        }
    }
    virtual bool writesFirst() const { return true; }
    fs::path ini() const { return testfiles::path(m_dir) / "_Configurazione.ini"; }

    // The store on the test clock, whose wall time is the moment the file
    // last changed (its status-change time, which no one can set): a write
    // that waits for the file to stay unchanged waits on this clock.
    IniFile storeAtLastChange()
    {
        struct stat info {};
        EXPECT_EQ(::stat(ini().c_str(), &info), 0);
        m_clock.wall = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_ctim.tv_sec) + std::chrono::nanoseconds(info.st_ctim.tv_nsec)));
        return IniFile(ini(), m_clock);
    }
    // How long a read that looks cut must find the file unchanged.
    static constexpr auto SettleTime = std::chrono::milliseconds(300);

    QTemporaryDir m_dir{scratchTemplate().isEmpty() ? QDir::tempPath() + "/tessiro-ini-XXXXXX" : scratchTemplate()};
    FakeClock m_clock;
};

// When the other program ends what it is doing to the file.
enum class Finish {
    // It rewrites the file in place and is caught half-way: the file, still
    // open, holds the torn view. Its write ends once the bridge has read the
    // file a third time (a bridge that waits for the whole file), or as soon
    // as the bridge replaces the file (one that trusted the view: the rest of
    // the other program's text then goes to a file no longer in the folder).
    InPlace,
    // The file is whole; the other program replaces it with its own change
    // after the bridge read it, at the moment the bridge goes to replace it.
    ReplacedAfterTheBridgesRead,
};

struct TornView {
    const char* name;
    std::string view; // what a read finds half-way through the other program's write
    Finish finish = Finish::InPlace;
    // False: the first write of a process, which has no whole read of the
    // file to compare the view with.
    bool writtenBefore = true;
};

void PrintTo(const TornView& c, std::ostream* os)
{
    *os << c.name;
}

class IniTornView : public IniTornRead, public ::testing::WithParamInterface<TornView> {
protected:
    bool writesFirst() const override { return GetParam().writtenBefore; }

    // The bridge's write while the other program is half-way through its
    // in-place rewrite.
    bool writeDuringAnInPlaceRewrite()
    {
        const int held = ::open(ini().c_str(), O_WRONLY | O_TRUNC);
        EXPECT_GE(held, 0);
        EXPECT_EQ(::write(held, GetParam().view.data(), GetParam().view.size()), ssize_t(GetParam().view.size()));
        const int watch = ::inotify_init1(IN_CLOEXEC);
        EXPECT_GE(watch, 0);
        EXPECT_GE(::inotify_add_watch(watch, ini().c_str(), IN_CLOSE_NOWRITE), 0);
        EXPECT_GE(::inotify_add_watch(watch, ini().parent_path().c_str(), IN_MOVED_TO), 0);
        std::thread other([&] {
            int reads = 0;
            bool replaced = false;
            pollfd ready{watch, POLLIN, 0};
            // Bounded, so that a write that never reads again fails the test
            // rather than hanging it.
            while (reads < 3 && !replaced && ::poll(&ready, 1, 10000) == 1) {
                alignas(inotify_event) char events[4096];
                const ssize_t n = ::read(watch, events, sizeof events);
                for (ssize_t at = 0; at < n;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                    reads += (event->mask & IN_CLOSE_NOWRITE) ? 1 : 0;
                    replaced = replaced || (event->mask & IN_MOVED_TO);
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
            EXPECT_EQ(::pwrite(held, Changed.data(), Changed.size(), 0), ssize_t(Changed.size()));
            EXPECT_EQ(::ftruncate(held, off_t(Changed.size())), 0);
            ::close(held);
        });
        const bool written = ScriviINI("Varie", "Eps_Vuoto", "0", ini());
        other.join();
        ::close(watch);
        return written;
    }

    // The bridge's write while the other program replaces the whole file
    // between the bridge's read and its rename. The bridge is held at the
    // point where it opens the file to write it (which a read lease makes
    // wait), after its whole read and before its rename.
    bool writeDuringAReplace()
    {
        const int lease = ::open(ini().c_str(), O_RDONLY);
        EXPECT_GE(lease, 0);
        // Lease breaks are told by SIGIO, which would end the process.
        const auto previous = std::signal(SIGIO, SIG_IGN);
        if (::fcntl(lease, F_SETLEASE, F_RDLCK) != 0) {
            std::signal(SIGIO, previous);
            ::close(lease);
            m_skipped = "this file system gives no file leases, which hold the write at the right moment";
            return false;
        }
        std::thread other([&] {
            for (int i = 0; i < 5000 && ::fcntl(lease, F_GETLEASE) == F_RDLCK; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_NE(::fcntl(lease, F_GETLEASE), F_RDLCK) << "the write never went to replace the file";
            const fs::path next = ini().string() + ".altro";
            testfiles::write(next, Changed);
            fs::rename(next, ini());
            ::close(lease); // lets the bridge's open go on
        });
        const bool written = ScriviINI("Varie", "Eps_Vuoto", "0", ini());
        other.join();
        std::signal(SIGIO, previous);
        return written;
    }

    std::string m_skipped;
};

TEST_P(IniTornView, WriteWaitsForTheWholeFileAndKeepsEveryLine)
{
    bool written = false;
    if (GetParam().finish == Finish::InPlace) {
        written = writeDuringAnInPlaceRewrite();
    } else {
        rewriteInPlace(ini(), GetParam().view, Rewrite::TruncateThenWrite);
        written = writeDuringAReplace();
        if (!m_skipped.empty())
            GTEST_SKIP() << m_skipped;
    }
    EXPECT_TRUE(written);
    const std::string file = testfiles::read(ini());
    expectEveryForeignLine(file, Changed);
    // The other program's text says -1: a write it undid would show.
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "x", ini()), "0");
}

INSTANTIATE_TEST_SUITE_P(Views, IniTornView,
                         ::testing::Values(TornView{"EmptyBetweenTruncateAndWrite", ""},
                                           TornView{"CutToItsFirstLines", Shared.substr(0, 40)},
                                           TornView{"CutInsideALine", Shared.substr(0, 13)},
                                           TornView{"EmptyAtTheFirstWriteOfAProcess", "", Finish::InPlace, false},
                                           TornView{"ChangedBetweenTheReadAndTheRename", Shared,
                                                    Finish::ReplacedAfterTheBridgesRead}),
                         rownames::byName);

// A read that looks cut (empty, or much shorter than the last whole read)
// is trusted only once the file has stayed unchanged for the settle time, as
// a file really emptied or shortened by hand does.
struct CutCase {
    const char* name;
    std::string content;
    std::string written;
    bool stampedInTheFuture = false;
    // How long ago, on the clock, the file last changed.
    std::chrono::milliseconds unchangedFor{0};
    bool waits = true;
};

void PrintTo(const CutCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniCutRead : public IniTornRead, public ::testing::WithParamInterface<CutCase> {};

TEST_P(IniCutRead, IsWrittenOnceTheFileStaysUnchanged)
{
    rewriteInPlace(ini(), GetParam().content, Rewrite::TruncateThenWrite);
    if (GetParam().stampedInTheFuture) {
        const timespec future[2] = {{::time(nullptr) + 3600, 0}, {::time(nullptr) + 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, ini().c_str(), future, 0), 0);
    }
    IniFile store = storeAtLastChange();
    m_clock.advance(GetParam().unchangedFor);
    EXPECT_TRUE(store.write("Varie", "Eps_Vuoto", "-1"));
    EXPECT_EQ(testfiles::read(ini()), GetParam().written);
    if (GetParam().waits) {
        EXPECT_GE(m_clock.slept, SettleTime - GetParam().unchangedFor);
    } else {
        EXPECT_EQ(m_clock.slept, std::chrono::milliseconds(0));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniCutRead,
    ::testing::Values(CutCase{"FileReallyEmptied", "", "[Varie]\r\nEps_Vuoto=-1\r\n"},
                      CutCase{"FileReallyShortened", "[Varie]\r\nA=1\r\n", "[Varie]\r\nA=1\r\nEps_Vuoto=-1\r\n"},
                      // Its status-change time is now, whatever the times set by hand.
                      CutCase{"EmptyFileStampedInTheFuture", "", "[Varie]\r\nEps_Vuoto=-1\r\n", true},
                      CutCase{"EmptyFileUnchangedForHalfTheSettleTime", "", "[Varie]\r\nEps_Vuoto=-1\r\n", false,
                              std::chrono::milliseconds(150)},
                      CutCase{"EmptyFileLongUnchanged", "", "[Varie]\r\nEps_Vuoto=-1\r\n", false,
                              std::chrono::milliseconds(300), false}),
    rownames::byName);

struct RewriterCase {
    const char* name;
    Rewrite how;
};

class IniInPlaceRewriter : public IniTornRead, public ::testing::WithParamInterface<RewriterCase> {};

// Another program rewrites the file in place as fast as it can, a fixed
// number of times, while the bridge writes its key: no write may persist a
// view of the file caught half-way.
TEST_P(IniInPlaceRewriter, NeverWipesTheFile)
{
    constexpr int Rewrites = 20000;
    std::atomic<bool> done{false};
    std::thread other([&] {
        for (int i = 0; i < Rewrites; ++i) {
            // What the other program writes is the file as it reads it now,
            // its own key set: a wiped file would stay wiped.
            std::string text = testfiles::read(ini());
            const size_t at = text.find("Cassa=");
            if (at != std::string::npos)
                text.replace(at + 6, text.find("\r\n", at) - at - 6, std::to_string(i % 10));
            rewriteInPlace(ini(), text, GetParam().how);
        }
        done = true;
    });
    int writes = 0;
    while (!done) {
        // A write may give up against the rewrite in place: the file it
        // leaves is what is checked below.
        (void)ScriviINI("Varie", "Eps_Vuoto", writes % 2 ? "-1" : "0", ini());
        ++writes;
    }
    other.join();
    EXPECT_GT(writes, 0);
    std::string file = testfiles::read(ini());
    const size_t at = file.find("Cassa=");
    ASSERT_NE(at, std::string::npos) << file;
    file.replace(at + 6, 1, "2");
    expectEveryForeignLine(file);
}

INSTANTIATE_TEST_SUITE_P(Ways, IniInPlaceRewriter,
                         ::testing::Values(RewriterCase{"TruncateThenWrite", Rewrite::TruncateThenWrite},
                                           RewriterCase{"WriteThenTruncate", Rewrite::WriteThenTruncate}),
                         rownames::byName);

} // namespace
