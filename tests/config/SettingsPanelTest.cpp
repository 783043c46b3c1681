// SPDX-License-Identifier: MIT
#include "config/IniFile.h"
#include "config/SettingsPanel.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Field = SettingsPanel::Field;

namespace {

class SettingsPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_panel.onTextChanged = [this](Field f) { m_viewUpdates.push_back({f, m_panel.text(f)}); };
    }
    fs::path ini() const { return testfiles::path(m_dir) / "_Configurazione.ini"; }
    std::string stored(const char* key) const { return LeggiINI("Varie", key, "<none>", ini()); }

    QTemporaryDir m_dir;
    WorkingSettings m_settings;
    std::vector<std::string> m_messages;
    SettingsPanel m_panel{ini(), m_settings, [this](const std::string& m) { m_messages.push_back(m); }};
    std::vector<std::pair<Field, std::string>> m_viewUpdates;
};

// ------------------------------------------------------ rejected entries

struct Rejection {
    const char* name;
    Field field;
    std::string valid;
    std::string entry;
    std::string message;
};

void PrintTo(const Rejection& c, std::ostream* os)
{
    *os << c.name;
}

class PanelRejectedEntry : public SettingsPanelTest, public ::testing::WithParamInterface<Rejection> {};

TEST_P(PanelRejectedEntry, ShowsTheFieldsMessageAndPutsTheStoredValueBack)
{
    const Rejection& c = GetParam();
    const char* key = SettingsPanel::keyOf(c.field);
    m_panel.setText(c.field, c.valid);
    ASSERT_EQ(stored(key), c.valid);
    m_viewUpdates.clear();

    m_panel.setText(c.field, c.entry);

    EXPECT_EQ(m_messages, std::vector<std::string>{c.message});
    EXPECT_EQ(m_panel.text(c.field), c.valid);
    EXPECT_EQ(stored(key), c.valid);
    ASSERT_EQ(m_viewUpdates.size(), 2u);
    EXPECT_EQ(m_viewUpdates.back().second, c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PanelRejectedEntry,
    ::testing::Values(
        Rejection{"port_with_letters", Field::Seriale, "3", "3x", "Porta COM errata."},
        Rejection{"port_cleared", Field::Seriale, "3", "", "Porta COM errata."},
        Rejection{"delay", Field::Ritardo, "20", "2o", "Ritardo non corretto."},
        Rejection{"unpaid_index", Field::NonRiscIndex, "2", "due", "Indicazione Indice Pagamento non corretta."},
        Rejection{"unpaid_type_two_lines", Field::NonRiscType, "0", "x",
                  "Indicazione Tipo Pagamento non corretta.\r\n0=cash; 1=check; 2=credit card; 3=ticket"}),
    rownames::byName);

struct DefaultRestore {
    Field field;
    std::string restored;
};

class PanelRestoreWithoutStoredKey : public SettingsPanelTest, public ::testing::WithParamInterface<DefaultRestore> {};

TEST_P(PanelRestoreWithoutStoredKey, PutsTheKeysDefaultBack)
{
    m_panel.setText(GetParam().field, "abc");
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_panel.text(GetParam().field), GetParam().restored);
}

INSTANTIATE_TEST_SUITE_P(Defaults, PanelRestoreWithoutStoredKey,
                         ::testing::Values(DefaultRestore{Field::Seriale, ""}, DefaultRestore{Field::Ritardo, "50"},
                                           DefaultRestore{Field::NonRiscIndex, "1"},
                                           DefaultRestore{Field::NonRiscType, "1"}),
                         rownames::by([](const DefaultRestore& row) { return SettingsPanel::keyOf(row.field); }));

TEST_F(SettingsPanelTest, RestoredDefaultDelayAlsoSetsTheWorkingPause)
{
    m_settings.pause = 7;
    m_panel.setText(Field::Ritardo, "x");
    EXPECT_EQ(m_panel.text(Field::Ritardo), "50");
    EXPECT_EQ(m_settings.pause, 50);
}

struct StoredInvalid {
    Field field;
    std::string storedText;
};

class PanelStoredValueFailsTheCheck : public SettingsPanelTest, public ::testing::WithParamInterface<StoredInvalid> {};

TEST_P(PanelStoredValueFailsTheCheck, IsRestoredOnceWithoutAnotherMessage)
{
    const char* key = SettingsPanel::keyOf(GetParam().field);
    const std::string file = std::string("[Varie]\r\n") + key + "=" + GetParam().storedText + "\r\n";
    testfiles::write(ini(), file);

    m_panel.setText(GetParam().field, "x");

    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_panel.text(GetParam().field), GetParam().storedText);
    EXPECT_EQ(testfiles::read(ini()), file);

    // The next rejected entry is answered again, once.
    m_panel.setText(GetParam().field, "y");
    EXPECT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_panel.text(GetParam().field), GetParam().storedText);
}

INSTANTIATE_TEST_SUITE_P(HandWritten, PanelStoredValueFailsTheCheck,
                         ::testing::Values(StoredInvalid{Field::Seriale, "abc"}, StoredInvalid{Field::Ritardo, "zz"},
                                           StoredInvalid{Field::NonRiscIndex, "uno"},
                                           StoredInvalid{Field::NonRiscType, "1;2"}),
                         rownames::by([](const StoredInvalid& row) { return SettingsPanel::keyOf(row.field); }));

TEST_F(SettingsPanelTest, SameTextRunsNoHandler)
{
    // The empty text would fail the check, but the field already holds it.
    m_panel.setText(Field::Seriale, "");
    m_panel.setPayL(false);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_viewUpdates.empty());
    EXPECT_FALSE(fs::exists(ini()));
}

// ------------------------------------------------------ accepted entries

struct Accepted {
    const char* name;
    Field field;
    std::string entry;
    std::string saved;
};

void PrintTo(const Accepted& c, std::ostream* os)
{
    *os << c.name;
}

class PanelAcceptedEntry : public SettingsPanelTest, public ::testing::WithParamInterface<Accepted> {};

TEST_P(PanelAcceptedEntry, IsSavedTrimmedWithoutMessage)
{
    m_panel.setText(GetParam().field, GetParam().entry);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_panel.text(GetParam().field), GetParam().entry);
    EXPECT_EQ(stored(SettingsPanel::keyOf(GetParam().field)), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Numbers, PanelAcceptedEntry,
                         ::testing::Values(Accepted{"port", Field::Seriale, "4", "4"},
                                           Accepted{"port_blanks", Field::Seriale, " 4  ", "4"},
                                           Accepted{"delay_decimal", Field::Ritardo, "2.5", "2.5"},
                                           Accepted{"index", Field::NonRiscIndex, "3", "3"},
                                           Accepted{"type_negative", Field::NonRiscType, "-3", "-3"},
                                           Accepted{"type_out_of_range", Field::NonRiscType, "7", "7"},
                                           Accepted{"port_beyond_16_bits", Field::Seriale, "70000", "70000"}),
                         rownames::byName);

TEST_F(SettingsPanelTest, TypingDelaySavesEachKeystrokeAndThePauseFollows)
{
    std::vector<std::string> saved;
    std::vector<int> pauses;
    for (const char* keystrokes : {"1", "12"}) {
        m_panel.setText(Field::Ritardo, keystrokes);
        saved.push_back(stored("Eps_Delay"));
        pauses.push_back(m_settings.pause);
    }
    EXPECT_EQ(saved, (std::vector<std::string>{"1", "12"}));
    EXPECT_EQ(pauses, (std::vector<int>{1, 12}));
}

TEST_F(SettingsPanelTest, DelayBeyondSixteenBitsIsSavedButLeavesThePause)
{
    m_panel.setText(Field::Ritardo, "30");
    m_panel.setText(Field::Ritardo, "40000");
    EXPECT_EQ(stored("Eps_Delay"), "40000");
    EXPECT_EQ(m_settings.pause, 30);
}

TEST_F(SettingsPanelTest, OtherNumericFieldsReachTheWorkingSettingsOnlyThroughApplica)
{
    m_settings.portNumber = 1;
    m_panel.setText(Field::Seriale, "4");
    m_panel.setText(Field::NonRiscType, "2");
    m_panel.setText(Field::NonRiscIndex, "5");
    EXPECT_EQ(stored("Eps_COM"), "4");
    EXPECT_EQ(m_settings.portNumber, 1);
    EXPECT_EQ(m_settings.unpaidType, 1);
    EXPECT_EQ(m_settings.unpaidIndex, 1);

    m_panel.ApplicaImpostazioni();
    EXPECT_EQ(m_settings.portNumber, 4);
    EXPECT_EQ(m_settings.unpaidType, 2);
    EXPECT_EQ(m_settings.unpaidIndex, 5);
}

TEST_F(SettingsPanelTest, SettingIsSavedUncheckedAndUntrimmed)
{
    m_panel.setText(Field::Setting, "9600,n,8,1 ");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nEps_Setting=9600,n,8,1 \r\n");
    m_panel.setText(Field::Setting, "");
    EXPECT_EQ(stored("Eps_Setting"), "");
}

// --------------------------------------------------------- data folder

struct FolderCase {
    const char* name;
    std::vector<std::string> keystrokes;
    std::string field;
    std::string saved;
};

void PrintTo(const FolderCase& c, std::ostream* os)
{
    *os << c.name;
}

class PanelFolderField : public SettingsPanelTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(PanelFolderField, EndsInASeparatorAndIsSavedTrimmed)
{
    for (const std::string& text : GetParam().keystrokes)
        m_panel.setText(Field::cartellaOstro, text);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_panel.text(Field::cartellaOstro), GetParam().field);
    EXPECT_EQ(stored("Kelmora_DIR"), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PanelFolderField,
    ::testing::Values(FolderCase{"pasted_path", {"/srv/kelmora"}, "/srv/kelmora/", "/srv/kelmora/"},
                      FolderCase{"slash_kept", {"/srv/kelmora/"}, "/srv/kelmora/", "/srv/kelmora/"},
                      FolderCase{"backslash_kept", {"C:\\KELMORA\\"}, "C:\\KELMORA\\", "C:\\KELMORA\\"},
                      FolderCase{"emptied", {"/srv/", ""}, "/", "/"},
                      FolderCase{"blanks_trimmed_on_save", {"  /srv/k/"}, "  /srv/k/", "/srv/k/"},
                      FolderCase{"each_keystroke", {"a", "a/b"}, "a/b/", "a/b/"}),
    rownames::byName);

TEST_F(SettingsPanelTest, AppendedSeparatorIsShownToTheView)
{
    m_panel.setText(Field::cartellaOstro, "/srv/k");
    const std::vector<std::pair<Field, std::string>> expected{{Field::cartellaOstro, "/srv/k"},
                                                              {Field::cartellaOstro, "/srv/k/"}};
    EXPECT_EQ(m_viewUpdates, expected);
}

// ------------------------------------------------------------- PAY_L

TEST_F(SettingsPanelTest, PayLClickSavesTheBoxValue)
{
    int shown = 0;
    m_panel.onPayLChanged = [&] { ++shown; };
    m_panel.setPayL(true);
    EXPECT_EQ(stored("PAY_L"), "1");
    m_panel.setPayL(false);
    EXPECT_EQ(stored("PAY_L"), "0");
    EXPECT_EQ(shown, 2);
}

// ------------------------------------------- Applica / Salva Impostazioni

TEST_F(SettingsPanelTest, ApplicaCopiesEveryField)
{
    m_panel.setText(Field::Seriale, "2");
    m_panel.setText(Field::Setting, "9600,n,8,1");
    m_panel.setText(Field::Ritardo, "30");
    m_panel.setText(Field::NonRiscType, "3");
    m_panel.setText(Field::NonRiscIndex, "4");
    m_panel.setText(Field::cartellaOstro, "/srv/k/");
    m_settings.pause = 0;

    m_panel.ApplicaImpostazioni();

    EXPECT_EQ(m_settings.portNumber, 2);
    EXPECT_EQ(m_settings.portSettings, "9600,n,8,1");
    EXPECT_EQ(m_settings.pause, 30);
    EXPECT_EQ(m_settings.unpaidType, 3);
    EXPECT_EQ(m_settings.unpaidIndex, 4);
    EXPECT_EQ(m_settings.dataDir, "/srv/k/");
}

TEST_F(SettingsPanelTest, ApplicaLeavesSettingsThatDoNotConvertAndEmptiesThePort)
{
    m_settings = {3, "x", 40, 2, 5, "/old/"};
    m_panel.setText(Field::Seriale, "70000");
    m_panel.setText(Field::Ritardo, "1e6");
    m_panel.setText(Field::NonRiscType, "-40000");
    m_panel.setText(Field::NonRiscIndex, "99999");
    m_settings.pause = 40;

    m_panel.ApplicaImpostazioni();

    EXPECT_EQ(m_settings.portNumber, std::nullopt);
    EXPECT_EQ(m_settings.pause, 40);
    EXPECT_EQ(m_settings.unpaidType, 2);
    EXPECT_EQ(m_settings.unpaidIndex, 5);
    EXPECT_EQ(m_settings.portSettings, "");
    EXPECT_EQ(m_settings.dataDir, "");
}

TEST_F(SettingsPanelTest, SalvaWritesAllSevenKeysInOrderUntrimmed)
{
    m_panel.setText(Field::Seriale, " 2");
    m_panel.setText(Field::Setting, "9600 ");
    m_panel.setText(Field::Ritardo, "30 ");
    m_panel.setText(Field::NonRiscIndex, "4");
    m_panel.setText(Field::NonRiscType, "3");
    m_panel.setText(Field::cartellaOstro, "/srv/k/");
    m_panel.setPayL(true);
    fs::remove(ini());

    m_panel.SalvaImpostazioni();

    // Leading blanks never reach the file; trailing ones do.
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nEps_COM=2\r\nEps_Setting=9600 \r\nEps_Delay=30 \r\n"
                                      "Eps_NonRiscIndex=4\r\nEps_NonRiscType=3\r\nKelmora_DIR=/srv/k/\r\nPAY_L=1\r\n");
    EXPECT_TRUE(m_messages.empty());
}

} // namespace
