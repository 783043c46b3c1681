// SPDX-License-Identifier: MIT
#include "app/BridgeRun.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace fs = std::filesystem;

namespace {

class DefaultFolder : public ::testing::Test {
protected:
    QTemporaryDir m_tmp;
    fs::path m_home = testfiles::path(m_tmp) / "home" / "cassa";
    fs::path m_portable = testfiles::path(m_tmp) / "tessiro-portable";
    void SetUp() override
    {
        fs::create_directories(m_home);
        fs::create_directories(m_portable);
    }
};

TEST_F(DefaultFolder, WritableFolderOfItsOwnIsTheProgramFolder)
{
    EXPECT_EQ(defaultProgramDir(m_portable, "/xdg", m_home.c_str()), m_portable);
}

TEST_F(DefaultFolder, InstalledProgramUsesTheUsersDataFolder)
{
    EXPECT_EQ(defaultProgramDir("/usr/bin", nullptr, m_home.c_str()), m_home / ".local/share/tessiro");
    EXPECT_EQ(defaultProgramDir("/usr/bin", "/srv/dati", m_home.c_str()), fs::path("/srv/dati/tessiro"));
}

TEST_F(DefaultFolder, RelativeOrEmptyDataHomeIsIgnored)
{
    EXPECT_EQ(defaultProgramDir("/usr/bin", "dati", m_home.c_str()), m_home / ".local/share/tessiro");
    EXPECT_EQ(defaultProgramDir("/usr/bin", "", m_home.c_str()), m_home / ".local/share/tessiro");
}

TEST_F(DefaultFolder, FolderThatCannotBeWrittenIsNotUsed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes every folder";
    ASSERT_EQ(::chmod(m_portable.c_str(), 0555), 0);
    const fs::path got = defaultProgramDir(m_portable, nullptr, m_home.c_str());
    ::chmod(m_portable.c_str(), 0755);
    EXPECT_EQ(got, m_home / ".local/share/tessiro");
}

struct FolderKind {
    const char* name;
    const char* path;
    bool system;
};

class SystemFolders : public ::testing::TestWithParam<FolderKind> {};

TEST_P(SystemFolders, SystemFoldersAreToldFromTheUsersOwn)
{
    EXPECT_EQ(isSystemFolder(GetParam().path), GetParam().system) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SystemFolders,
    ::testing::Values(FolderKind{"Root", "/", true}, FolderKind{"UsrBin", "/usr/bin", true},
                      FolderKind{"UsrLocalBin", "/usr/local/bin", true}, FolderKind{"Bin", "/bin", true},
                      FolderKind{"Libexec", "/usr/libexec/tessiro", true}, FolderKind{"Etc", "/etc/tessiro", true},
                      FolderKind{"DotDotIntoUsr", "/home/../usr/bin", true},
                      FolderKind{"Home", "/home/cassa/tessiro", false}, FolderKind{"Opt", "/opt/tessiro", false},
                      FolderKind{"UsrLikeName", "/usrdata/tessiro", false},
                      FolderKind{"Tmp", "/tmp/build/tessiro", false}),
    rownames::byName);

} // namespace
