// SPDX-License-Identifier: MIT
#include "config/IniFile.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Named after the process: ctest runs each test as its own process, and two
// of them at once must not remove each other's users.
const std::string Suffix = std::to_string(::getpid());
const std::string BackOfficeUserName = "tsr_ufficio_" + Suffix;
const std::string BridgeUserName = "tsr_ponte_" + Suffix;
const std::string SharedGroupName = "tsr_cassa_" + Suffix;
const std::string OtherGroupName = "tsr_altro_" + Suffix;
const char* const BackOfficeUser = BackOfficeUserName.c_str();
const char* const BridgeUser = BridgeUserName.c_str();
const char* const SharedGroup = SharedGroupName.c_str();
const char* const OtherGroup = OtherGroupName.c_str();

// Who may write the shared file, after the bridge wrote it: the back-office
// runs as another user of a shared group. Needs the superuser to make the
// users and groups; they are removed afterwards.
class IniOwnership : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0)
            return;
        // An account left by an earlier run makes useradd fail: SetUp checks
        // the accounts themselves.
        [[maybe_unused]] const int made = std::system((std::string("groupadd -f ") + SharedGroup + " && groupadd -f " +
                                                       OtherGroup + " && useradd -M -N -g " + SharedGroup + " " +
                                                       BackOfficeUser + " 2>/dev/null; useradd -M -N -g " + OtherGroup +
                                                       " -G " + SharedGroup + " " + BridgeUser + " 2>/dev/null")
                                                          .c_str());
    }
    static void TearDownTestSuite()
    {
        if (::geteuid() != 0)
            return;
        [[maybe_unused]] const int removed = std::system(
            (std::string("userdel ") + BackOfficeUser + " 2>/dev/null; userdel " + BridgeUser +
             " 2>/dev/null; groupdel " + SharedGroup + " 2>/dev/null; groupdel " + OtherGroup + " 2>/dev/null")
                .c_str());
    }

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the ownership of the shared file can only be tested as root (it needs a second user"
                            " and group, and a file owned by them)";
        ASSERT_TRUE(m_dir.isValid());
        // getpwnam and getgrnam answer in one static buffer: each is read at once.
        const auto uid = [](const char* name) {
            const passwd* p = ::getpwnam(name);
            return p ? p->pw_uid : uid_t(0);
        };
        const auto gid = [](const char* name) {
            const group* g = ::getgrnam(name);
            return g ? g->gr_gid : gid_t(0);
        };
        m_officeUid = uid(BackOfficeUser);
        m_bridgeUid = uid(BridgeUser);
        m_sharedGid = gid(SharedGroup);
        m_otherGid = gid(OtherGroup);
        if (!(m_officeUid && m_bridgeUid && m_sharedGid && m_otherGid))
            GTEST_SKIP() << "running as root, but useradd or groupadd could not make the second user and group";
        // The program folder as the back-office leaves it: group-writable.
        ASSERT_EQ(::chown(folder().c_str(), m_officeUid, m_sharedGid), 0);
        ASSERT_EQ(::chmod(folder().c_str(), 0775), 0);
        testfiles::write(ini(), "[Generale]\r\nNegozio=Bottega\r\n[Varie]\r\nEps_Vuoto=-1\r\n");
        ASSERT_EQ(::chown(ini().c_str(), m_officeUid, m_sharedGid), 0);
        ASSERT_EQ(::chmod(ini().c_str(), 0664), 0);
    }

    fs::path folder() const { return testfiles::path(m_dir); }
    fs::path ini() const { return folder() / "_Configurazione.ini"; }

    struct stat status() const
    {
        struct stat st {};
        EXPECT_EQ(::stat(ini().c_str(), &st), 0);
        return st;
    }

    // ScriviINI run by the bridge's user (primary group `gid`, and the
    // shared group as a supplementary one when `member`), in a child.
    bool writeAsBridge(gid_t gid, bool member) { return writeAsBridge(gid, member, ini()); }
    bool writeAsBridge(gid_t gid, bool member, const fs::path& file)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            const gid_t groups[] = {m_sharedGid};
            if (::setgroups(member ? 1 : 0, groups) != 0 || ::setgid(gid) != 0 || ::setuid(m_bridgeUid) != 0)
                ::_exit(3);
            ::_exit(ScriviINI("Varie", "Eps_Vuoto", "0", file) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    QTemporaryDir m_dir;
    uid_t m_officeUid = 0, m_bridgeUid = 0;
    gid_t m_sharedGid = 0, m_otherGid = 0;
};

TEST_F(IniOwnership, SuperuserKeepsOwnerGroupAndMode)
{
    ASSERT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "0", ini()));
    const struct stat st = status();
    EXPECT_EQ(st.st_uid, m_officeUid);
    EXPECT_EQ(st.st_gid, m_sharedGid);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "x", ini()), "0");
}

TEST_F(IniOwnership, MemberOfTheSharedGroupKeepsGroupAndMode)
{
    ASSERT_TRUE(writeAsBridge(m_otherGid, true));
    const struct stat st = status();
    EXPECT_EQ(st.st_uid, m_bridgeUid) << "only the superuser gives a file away";
    EXPECT_EQ(st.st_gid, m_sharedGid) << "the back-office must still be able to write it";
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "x", ini()), "0");
    EXPECT_EQ(LeggiINI("Generale", "Negozio", "x", ini()), "Bottega");
}

struct OutsiderCase {
    const char* name;
    mode_t folderMode;
    // The bridge writes through a link the installer (root) put in its own
    // program folder, to the file kept in the back-office's folder.
    bool linked = false;
};

class IniOwnershipOutsider : public IniOwnership, public ::testing::WithParamInterface<OutsiderCase> {};

// A user outside the file's group that may write the file itself: a new
// file could not get that group (or could not be made in the folder at all),
// so the file is rewritten where it is, and a link to it stays a link.
TEST_P(IniOwnershipOutsider, RewritesInPlaceAndKeepsOwnerGroupAndMode)
{
    ASSERT_EQ(::chmod(folder().c_str(), GetParam().folderMode), 0);
    ASSERT_EQ(::chmod(ini().c_str(), 0666), 0);
    const ino_t inode = status().st_ino;
    QTemporaryDir program;
    const fs::path link = testfiles::path(program) / "_Configurazione.ini";
    if (GetParam().linked) {
        ASSERT_EQ(::chmod(testfiles::path(program).c_str(), 0755), 0);
        fs::create_symlink(ini(), link);
    }
    ASSERT_TRUE(writeAsBridge(m_otherGid, false, GetParam().linked ? link : ini()));
    if (GetParam().linked) {
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), ini());
    }
    const struct stat st = status();
    EXPECT_EQ(st.st_ino, inode) << "the file itself is rewritten, not replaced";
    EXPECT_EQ(st.st_uid, m_officeUid);
    EXPECT_EQ(st.st_gid, m_sharedGid);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(testfiles::read(ini()), "[Generale]\r\nNegozio=Bottega\r\n[Varie]\r\nEps_Vuoto=0\r\n");
}

INSTANTIATE_TEST_SUITE_P(Folders, IniOwnershipOutsider,
                         ::testing::Values(OutsiderCase{"FolderOpenToAll", 0777},
                                           OutsiderCase{"FolderOfTheSharedGroupOnly", 0775},
                                           OutsiderCase{"LinkedIntoTheProgramFolder", 0755, true}),
                         rownames::byName);

} // namespace
