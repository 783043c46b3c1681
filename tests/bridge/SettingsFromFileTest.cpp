// SPDX-License-Identifier: MIT
#include "bridge/Bridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using Field = SettingsPanel::Field;

namespace {

// A running bridge whose configuration is changed behind its back, as
// `tessiro config set` or the back-office does.
class SettingsFromFile : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        configure({"Eps_COM=", "Eps_Delay=50"});
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_bridge->start();
    }

    void writeOutside(const char* key, const std::string& value)
    {
        ASSERT_TRUE(ScriviINI(keys::Section, key, value, m_state.configFile()));
    }
    std::string stored(const char* key) const
    {
        return LeggiINI(keys::Section, key, "<assente>", m_state.configFile());
    }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
};

TEST_F(SettingsFromFile, HeadlessNascondiKeepsAPortWrittenOutsideAndAppliesIt)
{
    ASSERT_FALSE(m_state.settings.portNumber.has_value());
    writeOutside(keys::Eps_COM, "1");
    m_state.errorState = true;

    m_bridge->cmdNascondi();

    EXPECT_EQ(stored(keys::Eps_COM), "1");
    EXPECT_EQ(m_state.settings.portNumber, std::optional<int16_t>(1));
    EXPECT_FALSE(m_state.errorState);
}

TEST_F(SettingsFromFile, PanelOnScreenFollowsTheFileSoNascondiSavesWhatIsStored)
{
    m_bridge->setPanelOnScreen(true);
    writeOutside(keys::Eps_COM, "1");
    writeOutside(keys::Eps_Setting, "9600,N,8,1");

    EXPECT_TRUE(m_bridge->panel().followFile());
    m_bridge->cmdNascondi();

    EXPECT_EQ(stored(keys::Eps_COM), "1");
    EXPECT_EQ(stored(keys::Eps_Setting), "9600,N,8,1");
    EXPECT_EQ(m_state.settings.portNumber, std::optional<int16_t>(1));
    EXPECT_EQ(m_state.settings.portSettings, "9600,N,8,1");
}

TEST_F(SettingsFromFile, FollowingTheFileRunsNoChangeHandler)
{
    // Letters the numeric check would reject, a folder without its final
    // separator: shown as stored, nothing written back, no message on an
    // unattended till.
    writeOutside(keys::Eps_COM, "3a");
    writeOutside(keys::Eps_Delay, "abc");
    writeOutside(keys::Kelmora_DIR, "/srv/ostro");
    const auto before = testfiles::read(m_state.configFile());
    int changes = 0;
    m_bridge->panel().onTextChanged = [&changes](Field) { ++changes; };

    EXPECT_TRUE(m_bridge->panel().followFile());

    EXPECT_EQ(changes, 3);
    EXPECT_EQ(m_bridge->panel().text(Field::Seriale), "3a");
    EXPECT_EQ(m_bridge->panel().text(Field::Ritardo), "abc");
    EXPECT_EQ(m_bridge->panel().text(Field::cartellaOstro), "/srv/ostro");
    EXPECT_EQ(testfiles::read(m_state.configFile()), before);
    EXPECT_TRUE(m_window.boxes.empty());
    EXPECT_FALSE(m_bridge->panel().followFile());
}

TEST_F(SettingsFromFile, TheFieldBeingEditedIsLeftAlone)
{
    writeOutside(keys::Eps_COM, "4");
    writeOutside(keys::Eps_Setting, "19200,N,8,1");

    m_bridge->panel().followFile([](Field f) { return f == Field::Seriale; });

    EXPECT_EQ(m_bridge->panel().text(Field::Seriale), "");
    EXPECT_EQ(m_bridge->panel().text(Field::Setting), "19200,N,8,1");
}

TEST_F(SettingsFromFile, CheckBoxFollowsAnyNonZeroNumber)
{
    writeOutside(keys::PAY_L, "-1");
    EXPECT_TRUE(m_bridge->panel().followFile());
    EXPECT_TRUE(m_bridge->panel().payL());
    EXPECT_EQ(stored(keys::PAY_L), "-1");
}

// ricarica applies each kept setting; the error state is not its business.
struct ReloadCase {
    const char* name;
    const char* key;
    std::string value;
    std::function<bool(const WorkingSettings&)> applied;
};

std::ostream& operator<<(std::ostream& out, const ReloadCase& c)
{
    return out << c.name;
}

class Ricarica : public SettingsFromFile, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(Ricarica, AppliesTheStoredValueToTheRunningBridge)
{
    const ReloadCase& c = GetParam();
    ASSERT_FALSE(c.applied(m_state.settings));
    m_state.errorState = true;
    writeOutside(c.key, c.value);

    m_bridge->reload();

    EXPECT_TRUE(c.applied(m_state.settings));
    EXPECT_EQ(stored(c.key), c.value);
    EXPECT_TRUE(m_state.errorState);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Ricarica,
    ::testing::Values(ReloadCase{"Port", keys::Eps_COM, "2",
                                 [](const WorkingSettings& s) { return s.portNumber == int16_t(2); }},
                      ReloadCase{"PortSettings", keys::Eps_Setting, "9600,N,8,1",
                                 [](const WorkingSettings& s) { return s.portSettings == "9600,N,8,1"; }},
                      ReloadCase{"Pause", keys::Eps_Delay, "7", [](const WorkingSettings& s) { return s.pause == 7; }},
                      ReloadCase{"UnpaidType", keys::Eps_NonRiscType, "3",
                                 [](const WorkingSettings& s) { return s.unpaidType == 3; }},
                      ReloadCase{"UnpaidIndex", keys::Eps_NonRiscIndex, "5",
                                 [](const WorkingSettings& s) { return s.unpaidIndex == 5; }},
                      ReloadCase{"DataFolder", keys::Kelmora_DIR, "/srv/ostro/",
                                 [](const WorkingSettings& s) { return s.dataDir == "/srv/ostro/"; }}),
    rownames::byName);

} // namespace
