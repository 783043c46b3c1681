// SPDX-License-Identifier: MIT
#include "app/Subcommands.h"
#include "config/IniFile.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class InitProgramDir : public ::testing::Test {
protected:
    int init(bool justMade = false) { return initProgramDir(m_dir, m_out, m_err, justMade); }
    fs::path config() const { return m_dir / "_Configurazione.ini"; }
    std::string stored(const char* key) const { return LeggiINI("Varie", key, "<missing>", config()); }

    QTemporaryDir m_tmp;
    fs::path m_dir = testfiles::path(m_tmp) / "cassa" / "tessiro";
    std::ostringstream m_out, m_err;
};

TEST_F(InitProgramDir, NewFolderIsCreatedWithTheSimulatorsPortValues)
{
    ASSERT_EQ(init(), 0) << m_err.str();
    EXPECT_TRUE(fs::is_directory(m_dir));
    EXPECT_EQ(stored("Eps_COM"), "1");
    EXPECT_EQ(stored("Eps_Setting"), "9600,N,8,1");
    EXPECT_NE(m_out.str().find("(created)"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("Eps_COM=1 stored (it was missing)"), std::string::npos) << m_out.str();
    // A file can be dropped at once, before any bridge has run.
    EXPECT_TRUE(fs::is_directory(m_dir / "Ostro"));
    EXPECT_TRUE(fs::is_directory(m_dir / "IN"));
    EXPECT_NE(m_out.str().find("  Ostro/ created\n  IN/ created\n"), std::string::npos) << m_out.str();
}

TEST_F(InitProgramDir, FolderMadeJustBeforeByTheDefaultIsSaidCreated)
{
    fs::create_directories(m_dir);
    ASSERT_EQ(init(true), 0) << m_err.str();
    EXPECT_NE(m_out.str().find("(created)"), std::string::npos) << m_out.str();
    EXPECT_EQ(m_out.str().find("already there"), std::string::npos) << m_out.str();
}

TEST_F(InitProgramDir, FileInPlaceOfTheDropFolderIsRefused)
{
    testfiles::write(m_dir / "Ostro", "not a folder");
    EXPECT_EQ(init(), 1);
    EXPECT_NE(m_err.str().find("cannot create " + (m_dir / "Ostro").string()), std::string::npos) << m_err.str();
}

TEST_F(InitProgramDir, SecondRunChangesNothingAndSaysSo)
{
    ASSERT_EQ(init(), 0);
    const std::string before = testfiles::read(config());
    m_out.str("");
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(testfiles::read(config()), before);
    EXPECT_NE(m_out.str().find("(already there)"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("Eps_COM=1 kept"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("Eps_Setting=9600,N,8,1 kept"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("  Ostro/ already there\n  IN/ already there\n"), std::string::npos) << m_out.str();
}

TEST_F(InitProgramDir, FileInPlaceOfTheFolderIsRefused)
{
    testfiles::write(m_dir, "not a folder");
    EXPECT_EQ(init(), 1);
    EXPECT_NE(m_err.str().find("not a directory"), std::string::npos) << m_err.str();
}

// What the shared file holds before init, and the two port values after.
struct StoredPort {
    const char* name;
    std::string before;
    std::string com;
    std::string setting;
};

class InitStoredValues : public InitProgramDir, public ::testing::WithParamInterface<StoredPort> {};

TEST_P(InitStoredValues, OnlyAMissingOrEmptyValueIsFilled)
{
    const StoredPort& row = GetParam();
    testfiles::write(config(), row.before);
    ASSERT_EQ(init(), 0) << m_err.str();
    EXPECT_EQ(stored("Eps_COM"), row.com);
    EXPECT_EQ(stored("Eps_Setting"), row.setting);
    // The rest of the shared file is the back-office's and stays as it was.
    const std::string after = testfiles::read(config());
    for (const char* line : {"; cassa 2\r\n", "[Ostro]\r\nNegozio=12\r\n", "PAY_L=1\r\n"}) {
        if (row.before.find(line) != std::string::npos) {
            EXPECT_NE(after.find(line), std::string::npos) << line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, InitStoredValues,
    ::testing::Values(
        StoredPort{"NoFile", "", "1", "9600,N,8,1"},
        StoredPort{"SectionWithoutKeys", "[Varie]\r\nPAY_L=1\r\n", "1", "9600,N,8,1"},
        StoredPort{"EmptyValues", "[Varie]\r\nEps_COM=\r\nEps_Setting=\r\n", "1", "9600,N,8,1"},
        StoredPort{"BlankValues", "[Varie]\r\nEps_COM=   \r\nEps_Setting= \r\n", "1", "9600,N,8,1"},
        StoredPort{"OtherPortKept", "[Varie]\r\nEps_COM=3\r\n", "3", "9600,N,8,1"},
        StoredPort{"OtherSettingsKept", "[Varie]\r\nEps_Setting=19200,E,7,2\r\n", "1", "19200,E,7,2"},
        StoredPort{"NonsenseKeptToo", "[Varie]\r\nEps_COM=COM3\r\nEps_Setting=veloce\r\n", "COM3", "veloce"},
        StoredPort{"ForeignLinesSurvive", "; cassa 2\r\n[Ostro]\r\nNegozio=12\r\n[Varie]\r\nPAY_L=1\r\nEps_COM=\r\n",
                   "1", "9600,N,8,1"}),
    rownames::byName);

} // namespace
