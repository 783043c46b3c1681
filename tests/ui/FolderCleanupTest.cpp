// SPDX-License-Identifier: MIT
#include "support/Files.h"
#include "support/RowNames.h"
#include "ui/FolderCleanup.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace fs = std::filesystem;

class FolderCleanup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.isValid()); }
    fs::path dir() const { return testfiles::path(m_temp); }

private:
    QTemporaryDir m_temp;
};

class FolderNameCase : public FolderCleanup, public ::testing::WithParamInterface<const char*> {};

TEST_P(FolderNameCase, FolderIsFoundWhateverItsCase)
{
    testfiles::write(dir() / GetParam() / "a.txt", "x");

    const CleanupResult result = deleteTemporaryFiles(dir());

    EXPECT_EQ(result.deleted, 1);
    EXPECT_FALSE(fs::exists(dir() / GetParam() / "a.txt"));
    EXPECT_TRUE(fs::is_directory(dir() / GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Names, FolderNameCase,
                         ::testing::Values("Ostro", "ostro", "OSTRO", "IN", "in", "Cestino", "CESTINO", "Log", "log",
                                           "LOG"),
                         rownames::byText);

TEST_F(FolderCleanup, SubfoldersAndTheirFilesSurvive)
{
    testfiles::write(dir() / "Log" / "oggi.log", "x");
    testfiles::write(dir() / "Log" / "2025" / "vecchio.log", "keep");
    testfiles::write(dir() / "Log" / ".nascosto", "x");

    const CleanupResult result = deleteTemporaryFiles(dir());

    EXPECT_EQ(result.deleted, 2);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(testfiles::read(dir() / "Log" / "2025" / "vecchio.log"), "keep");
}

TEST_F(FolderCleanup, FilesOutsideTheFourFoldersSurvive)
{
    testfiles::write(dir() / "_Configurazione.ini", "[Varie]\r\n");
    testfiles::write(dir() / "FiscalError.log", "x");
    testfiles::write(dir() / "Simulatore" / "chiamate.log", "x");
    testfiles::write(dir() / "Ostro" / "job.txt", "x");

    deleteTemporaryFiles(dir());

    EXPECT_TRUE(fs::exists(dir() / "_Configurazione.ini"));
    EXPECT_TRUE(fs::exists(dir() / "FiscalError.log"));
    EXPECT_TRUE(fs::exists(dir() / "Simulatore" / "chiamate.log"));
    EXPECT_FALSE(fs::exists(dir() / "Ostro" / "job.txt"));
}

TEST_F(FolderCleanup, LinksAreRemovedWithoutTouchingWhatTheyPointTo)
{
    testfiles::write(dir() / "fuori" / "prezioso.txt", "keep");
    fs::create_directories(dir() / "Log");
    fs::create_symlink(dir() / "fuori" / "prezioso.txt", dir() / "Log" / "link.txt");
    fs::create_directory_symlink(dir() / "fuori", dir() / "Log" / "cartella");

    const CleanupResult result = deleteTemporaryFiles(dir());

    EXPECT_EQ(result.deleted, 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir() / "Log" / "link.txt")));
    EXPECT_TRUE(fs::is_symlink(dir() / "Log" / "cartella"));
    EXPECT_EQ(testfiles::read(dir() / "fuori" / "prezioso.txt"), "keep");
}

// A link in the place of one of the four folders, whoever made it: what it
// leads to is not the bridge's to empty, and the caller hears of it.
class LinkedTemporaryFolder : public FolderCleanup, public ::testing::WithParamInterface<const char*> {};

TEST_P(LinkedTemporaryFolder, IsNotEmptiedAndIsListed)
{
    testfiles::write(dir() / "fuori" / "prezioso.txt", "keep");
    fs::create_directory_symlink(dir() / "fuori", dir() / GetParam());
    // The other folders are emptied all the same.
    const std::string other = std::string(GetParam()) == "Ostro" ? "IN" : "Ostro";
    testfiles::write(dir() / other / "vecchio.txt", "x");

    const CleanupResult result = deleteTemporaryFiles(dir());

    EXPECT_EQ(testfiles::read(dir() / "fuori" / "prezioso.txt"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir() / GetParam()));
    EXPECT_EQ(result.linked, std::vector<std::string>{GetParam()});
    EXPECT_EQ(result.deleted, 1);
    EXPECT_FALSE(fs::exists(dir() / other / "vecchio.txt"));
    EXPECT_EQ(result.failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Names, LinkedTemporaryFolder, ::testing::Values("Ostro", "IN", "Cestino", "log"),
                         rownames::byText);

TEST_F(FolderCleanup, ExactNameWinsOverOtherCases)
{
    fs::create_directories(dir() / "Log");
    fs::create_directories(dir() / "LOG");
    EXPECT_EQ(findFolderIgnoringCase(dir(), "Log"), dir() / "Log");
}

TEST_F(FolderCleanup, AFileWithTheNameIsNotTakenForTheFolder)
{
    testfiles::write(dir() / "log", "not a folder");
    testfiles::write(dir() / "LOG" / "a.txt", "x");

    EXPECT_EQ(findFolderIgnoringCase(dir(), "Log"), dir() / "LOG");
    deleteTemporaryFiles(dir());
    EXPECT_EQ(testfiles::read(dir() / "log"), "not a folder");
    EXPECT_FALSE(fs::exists(dir() / "LOG" / "a.txt"));
}
