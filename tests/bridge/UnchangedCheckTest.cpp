// SPDX-License-Identifier: MIT
#include "bridge/UnchangedCheck.h"

#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Lets the kernel's time stamps move on, so that a change made now cannot
// carry the stamp of the look before it. The bridge waits the settle period
// for the same reason; these tests trust a look at once.
void letTimeStampsMove()
{
    std::this_thread::sleep_for(30ms);
}

class UnchangedCheckTest : public ::testing::Test {
protected:
    UnchangedCheckTest() : m_dir(testfiles::path(m_tmp))
    {
        testfiles::write(file(), "Eps_Vuoto=-1\r\n");
        fs::create_directory(folder());
    }
    fs::path file() const { return m_dir / "_Configurazione.ini"; }
    fs::path folder() const { return m_dir / "Ostro"; }

    // Sets the clock's wall time `after` the entry's last change (its
    // newest time stamp).
    void clockAfterChangeOf(const fs::path& path, std::chrono::nanoseconds after)
    {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        const timespec& newest = info.st_ctim.tv_sec > info.st_mtim.tv_sec ||
                                         (info.st_ctim.tv_sec == info.st_mtim.tv_sec &&
                                          info.st_ctim.tv_nsec >= info.st_mtim.tv_nsec)
                                     ? info.st_ctim
                                     : info.st_mtim;
        const auto stamp = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::seconds(newest.tv_sec) +
                                                                            std::chrono::nanoseconds(newest.tv_nsec)));
        m_clock.wall = stamp + std::chrono::duration_cast<std::chrono::system_clock::duration>(after);
    }

    // Checks and remembers once the entry has been quiet for the settle
    // period, as the bridge does after a complete look.
    void look(UnchangedCheck& check, const fs::path& path)
    {
        ASSERT_FALSE(check.unchanged(path));
        if (fs::exists(path))
            clockAfterChangeOf(path, Settle);
        check.remember();
    }

    static constexpr auto Settle = UnchangedCheck::DefaultSettle;
    static constexpr auto Refresh = UnchangedCheck::DefaultRefresh;
    QTemporaryDir m_tmp;
    fs::path m_dir;
    FakeClock m_clock;
};

TEST_F(UnchangedCheckTest, NothingIsUnchangedBeforeALookIsRemembered)
{
    UnchangedCheck check(m_clock);
    EXPECT_FALSE(check.unchanged(file()));
    EXPECT_FALSE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, RememberedLookHoldsWhileTheEntryIsLeftAlone)
{
    UnchangedCheck check(m_clock);
    look(check, file());
    EXPECT_TRUE(check.unchanged(file()));
    EXPECT_TRUE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, CheckThatFoundAChangeDropsTheLookUntilANewOneIsRemembered)
{
    UnchangedCheck check(m_clock);
    look(check, file());
    letTimeStampsMove();
    testfiles::write(file(), "Eps_Vuoto=0\r\n");
    EXPECT_FALSE(check.unchanged(file()));
    // Put back as it was: the look that was dropped does not come back.
    testfiles::write(file(), "Eps_Vuoto=-1\r\n");
    EXPECT_FALSE(check.unchanged(file()));
    clockAfterChangeOf(file(), Settle);
    check.remember();
    EXPECT_TRUE(check.unchanged(file()));
}

// When the look is remembered, measured from the entry's last change: a
// stamp ahead of the clock proves nothing either.
struct SettleCase {
    const char* name;
    std::chrono::milliseconds sinceChange;
    bool trusted;
};

void PrintTo(const SettleCase& c, std::ostream* out)
{
    *out << c.name;
}

class UnchangedCheckSettle : public UnchangedCheckTest, public ::testing::WithParamInterface<SettleCase> {};

TEST_P(UnchangedCheckSettle, LookIsTrustedOnlyOnceTheEntryHasBeenQuietForTheSettlePeriod)
{
    UnchangedCheck check(m_clock);
    ASSERT_FALSE(check.unchanged(file()));
    clockAfterChangeOf(file(), GetParam().sinceChange);
    check.remember();
    EXPECT_EQ(check.unchanged(file()), GetParam().trusted);
}

INSTANTIATE_TEST_SUITE_P(
    Ages, UnchangedCheckSettle,
    ::testing::Values(
        SettleCase{"JustChanged", 0ms, false},
        SettleCase{"OneMillisecondShortOfTheSettlePeriod",
                   std::chrono::duration_cast<std::chrono::milliseconds>(UnchangedCheck::DefaultSettle) - 1ms, false},
        SettleCase{"QuietForTheSettlePeriod",
                   std::chrono::duration_cast<std::chrono::milliseconds>(UnchangedCheck::DefaultSettle), true},
        SettleCase{"StampedAheadOfTheClock", -1h, false}),
    rownames::byName);

TEST_F(UnchangedCheckTest, EntryIsLookedAtInFullOnceTheRefreshPeriodIsOver)
{
    UnchangedCheck check(m_clock);
    look(check, file());
    m_clock.advance(std::chrono::duration_cast<std::chrono::milliseconds>(Refresh) - 1ms);
    EXPECT_TRUE(check.unchanged(file()));
    m_clock.advance(1ms);
    EXPECT_FALSE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, MissingEntryIsNeverUnchanged)
{
    UnchangedCheck check(m_clock);
    look(check, m_dir / "assente.ini");
    EXPECT_FALSE(check.unchanged(m_dir / "assente.ini"));
}

struct Change {
    const char* name;
    bool onFolder;
    std::function<void(const fs::path& file, const fs::path& folder)> make;
};

void PrintTo(const Change& change, std::ostream* out)
{
    *out << change.name;
}

class UnchangedCheckChange : public UnchangedCheckTest, public ::testing::WithParamInterface<Change> {};

TEST_P(UnchangedCheckChange, IsSeenByTheNextCheck)
{
    const fs::path watched = GetParam().onFolder ? folder() : file();
    testfiles::write(folder() / "vecchio.txt", "D1:1:A");
    UnchangedCheck check(m_clock);
    look(check, watched);
    ASSERT_TRUE(check.unchanged(watched));

    letTimeStampsMove();
    GetParam().make(file(), folder());

    EXPECT_FALSE(check.unchanged(watched));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, UnchangedCheckChange,
    ::testing::Values(
        // Same length, so only the time stamps tell.
        Change{"RewrittenInPlace", false,
               [](const fs::path& f, const fs::path&) { testfiles::write(f, "Eps_Vuoto=+1\r\n"); }},
        Change{"ReplacedByRename", false,
               [](const fs::path& f, const fs::path&) {
                   testfiles::write(f.string() + ".tmp", "Eps_Vuoto=-1\r\n");
                   fs::rename(f.string() + ".tmp", f);
               }},
        Change{"ModificationTimeSetBack", false,
               [](const fs::path& f, const fs::path&) {
                   const auto before = fs::last_write_time(f);
                   testfiles::write(f, "Eps_Vuoto=+1\r\n");
                   fs::last_write_time(f, before);
               }},
        Change{"PermissionsChanged", false,
               [](const fs::path& f, const fs::path&) {
                   fs::permissions(f, fs::perms::owner_write, fs::perm_options::remove);
               }},
        Change{"Deleted", false, [](const fs::path& f, const fs::path&) { fs::remove(f); }},
        Change{"EntryAdded", true,
               [](const fs::path&, const fs::path& d) { testfiles::write(d / "nuovo.txt", "D1:1:B"); }},
        Change{"EntryRemoved", true, [](const fs::path&, const fs::path& d) { fs::remove(d / "vecchio.txt"); }},
        Change{"EntryRenamed", true,
               [](const fs::path&, const fs::path& d) { fs::rename(d / "vecchio.txt", d / "nuovo.txt"); }},
        Change{"FolderReplaced", true,
               [](const fs::path&, const fs::path& d) {
                   fs::remove_all(d);
                   fs::create_directory(d);
               }}),
    rownames::byName);

} // namespace
