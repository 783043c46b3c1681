// SPDX-License-Identifier: MIT
// The settings read straight from the configuration (the command-line tools,
// the test receipt) are the ones the panel applies after loading the same
// file, for every field.
#include "config/IniFile.h"
#include "config/SettingsFields.h"
#include "config/SettingsPanel.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <ostream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct StoredFile {
    const char* name;
    std::string varie; // the lines of section Varie
};

void PrintTo(const StoredFile& file, std::ostream* out)
{
    *out << file.name;
}

bool operator==(const WorkingSettings& a, const WorkingSettings& b)
{
    return a.portNumber == b.portNumber && a.portSettings == b.portSettings && a.pause == b.pause &&
           a.unpaidType == b.unpaidType && a.unpaidIndex == b.unpaidIndex && a.dataDir == b.dataDir;
}

class StoredSettings : public ::testing::TestWithParam<StoredFile> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        testfiles::write(config(), "[Varie]\r\n" + GetParam().varie);
    }
    fs::path config() const { return testfiles::path(m_dir) / "_Configurazione.ini"; }

    QTemporaryDir m_dir;
};

TEST_P(StoredSettings, AreWhatThePanelAppliesAfterLoadingTheFile)
{
    WorkingSettings applied;
    SettingsPanel panel(config(), applied, [](const std::string&) {});
    // Read before loading: the load may write a completed folder back.
    const WorkingSettings stored = storedSettings(config());
    panel.load();
    panel.ApplicaImpostazioni();
    EXPECT_TRUE(stored == applied);
    EXPECT_EQ(storedPayL(config()), panel.payL());
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoredSettings,
    ::testing::Values(StoredFile{"NoKeys", ""},
                      StoredFile{"EveryKey", "Eps_COM=3\r\nEps_Setting=19200,N,8,1\r\nEps_Delay=20\r\n"
                                             "Eps_NonRiscIndex=4\r\nEps_NonRiscType=2\r\nKelmora_DIR=D:\\DATI\\\r\n"
                                             "PAY_L=-1\r\n"},
                      StoredFile{"EmptyValues", "Eps_COM=\r\nEps_Setting=\r\nKelmora_DIR=\r\nPAY_L=\r\n"}),
    rownames::byName);

TEST(SettingsFieldDefaults, MissingKeysGiveTheDefaultsOfTheWorkingSettings)
{
    const fs::path nowhere = "/dev/null/_Configurazione.ini";
    EXPECT_EQ(storedText(SettingsField::Ritardo, nowhere), "50");
    EXPECT_EQ(storedText(SettingsField::NonRiscIndex, nowhere), "1");
    EXPECT_EQ(storedText(SettingsField::NonRiscType, nowhere), "1");
    EXPECT_EQ(storedText(SettingsField::cartellaOstro, nowhere), "C:\\KELMORA\\");
    EXPECT_EQ(storedPayLText(nowhere), "0");
    const WorkingSettings s = storedSettings(nowhere);
    EXPECT_FALSE(s.portNumber.has_value());
    EXPECT_EQ(s.pause, WorkingSettings{}.pause);
    EXPECT_EQ(s.unpaidIndex, WorkingSettings{}.unpaidIndex);
    EXPECT_EQ(s.unpaidType, WorkingSettings{}.unpaidType);
}

} // namespace
