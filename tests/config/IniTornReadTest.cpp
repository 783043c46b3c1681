// SPDX-License-Identifier: MIT
#include "config/IniFile.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
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

// Every line of Shared but the Eps_Vuoto one, whose value the writes change.
void expectEveryForeignLine(const std::string& file)
{
    for (const std::string& line : linesOf(Shared)) {
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
        ASSERT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "0", ini()));
    }
    fs::path ini() const { return testfiles::path(m_dir) / "_Configurazione.ini"; }

    QTemporaryDir m_dir{scratchTemplate().isEmpty() ? QDir::tempPath() + "/tessiro-ini-XXXXXX" : scratchTemplate()};
};

struct TornView {
    const char* name;
    std::string view; // what a read finds half-way through the other program's write
};

class IniTornView : public IniTornRead, public ::testing::WithParamInterface<TornView> {};

// The other program is caught half-way: the file holds the torn view, and it
// finishes its write as soon as the bridge has read that view once.
TEST_P(IniTornView, WriteWaitsForTheWholeFileAndKeepsEveryLine)
{
    rewriteInPlace(ini(), GetParam().view, Rewrite::TruncateThenWrite);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, ini().c_str(), IN_CLOSE_NOWRITE), 0);
    std::thread other([&] {
        char event[sizeof(inotify_event) + 256];
        [[maybe_unused]] const ssize_t n = ::read(watch, event, sizeof event);
        rewriteInPlace(ini(), Shared, Rewrite::TruncateThenWrite);
    });
    const bool written = ScriviINI("Varie", "Eps_Vuoto", "-1", ini());
    other.join();
    ::close(watch);
    EXPECT_TRUE(written);
    const std::string file = testfiles::read(ini());
    expectEveryForeignLine(file);
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "x", ini()), "-1");
}

INSTANTIATE_TEST_SUITE_P(Views, IniTornView,
                         ::testing::Values(TornView{"EmptyBetweenTruncateAndWrite", ""},
                                           TornView{"CutToItsFirstLines", Shared.substr(0, 40)},
                                           TornView{"CutInsideALine", Shared.substr(0, 13)}),
                         rownames::byName);

TEST_F(IniTornRead, FileReallyEmptiedIsWrittenOnceItStaysUnchanged)
{
    rewriteInPlace(ini(), "", Rewrite::TruncateThenWrite);
    EXPECT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "-1", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nEps_Vuoto=-1\r\n");
}

TEST_F(IniTornRead, FileReallyShortenedIsWrittenOnceItStaysUnchanged)
{
    rewriteInPlace(ini(), "[Varie]\r\nA=1\r\n", Rewrite::TruncateThenWrite);
    EXPECT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "-1", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nA=1\r\nEps_Vuoto=-1\r\n");
}

TEST_F(IniTornRead, EmptyFileStampedInTheFutureIsWrittenWithoutWaitingForever)
{
    rewriteInPlace(ini(), "", Rewrite::TruncateThenWrite);
    const timespec future[2] = {{::time(nullptr) + 3600, 0}, {::time(nullptr) + 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, ini().c_str(), future, 0), 0);
    EXPECT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "-1", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nEps_Vuoto=-1\r\n");
}

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
