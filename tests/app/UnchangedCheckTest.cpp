// SPDX-License-Identifier: MIT
#include "app/UnchangedCheck.h"

#include "support/Files.h"
#include "support/RowNames.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

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

    // Checks and remembers, as the bridge does after a complete look.
    void look(UnchangedCheck& check, const fs::path& path)
    {
        ASSERT_FALSE(check.unchanged(path));
        check.remember();
    }

    QTemporaryDir m_tmp;
    fs::path m_dir;
};

TEST_F(UnchangedCheckTest, NothingIsUnchangedBeforeALookIsRemembered)
{
    UnchangedCheck check(0s, 1h);
    EXPECT_FALSE(check.unchanged(file()));
    EXPECT_FALSE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, RememberedLookHoldsWhileTheEntryIsLeftAlone)
{
    UnchangedCheck check(0s, 1h);
    look(check, file());
    EXPECT_TRUE(check.unchanged(file()));
    EXPECT_TRUE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, CheckThatFoundAChangeDropsTheLookUntilANewOneIsRemembered)
{
    UnchangedCheck check(0s, 1h);
    look(check, file());
    letTimeStampsMove();
    testfiles::write(file(), "Eps_Vuoto=0\r\n");
    EXPECT_FALSE(check.unchanged(file()));
    // Put back as it was: the look that was dropped does not come back.
    testfiles::write(file(), "Eps_Vuoto=-1\r\n");
    EXPECT_FALSE(check.unchanged(file()));
    check.remember();
    EXPECT_TRUE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, RecentlyChangedEntryIsNotTrustedWithinTheSettlePeriod)
{
    UnchangedCheck check(1h, 1h);
    look(check, file());
    EXPECT_FALSE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, EntryIsLookedAtInFullOnceTheRefreshPeriodIsOver)
{
    UnchangedCheck check(0s, 0s);
    look(check, file());
    EXPECT_FALSE(check.unchanged(file()));
}

TEST_F(UnchangedCheckTest, MissingEntryIsNeverUnchanged)
{
    UnchangedCheck check(0s, 1h);
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
    UnchangedCheck check(0s, 1h);
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
