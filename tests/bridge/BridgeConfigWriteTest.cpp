// SPDX-License-Identifier: MIT
// Every place where the bridge writes the shared configuration, on a disk
// that refuses the write: the failure is filed once in the log and said once
// on stderr, and the error state stays down, so the receipts go on printing.
// The disk is nearly full rather than full: the short log records still fit,
// the configuration (padded with a large foreign section) cannot be
// rewritten.
#include "bridge/RecordingPrinter.h"
#include "bridge/Bridge.h"
#include "bridge/RunningFile.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/SharedState.h"
#include "errors/FileKind.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr rlim_t Room = 64 * 1024;
constexpr size_t Padding = 128 * 1024;
const std::string Report = "Scrittura non riuscita nel file di configurazione: ";
const std::string FiscalName = "20261208140509COR000007.txt";

class ConfigWriteRefused : public ProgramFolderTest {
public:
    Bridge& bridge() { return *m_bridge; }
    bridgetest::RecordingPrinter& printer() { return m_printer; }
    SharedState& state() { return m_state; }

    // From here on the configuration cannot be written.
    void refuse()
    {
        if (!m_refused)
            m_refused = std::make_unique<WritesRefused>(Room);
    }
    void allow() { m_refused.reset(); }

    // A key written before the disk fills up.
    void set(const char* key, const std::string& value)
    {
        ASSERT_TRUE(ScriviINI(keys::Section, key, value, m_state.configFile()));
    }
    void drop(const std::string& name, const std::string& text) { testfiles::write(m_state.dropDir() / name, text); }
    // The program starts again on the same folder.
    void startAgain()
    {
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, m_printer);
        m_bridge->start();
    }

    // The log lines that report a refused configuration write, of any key.
    std::vector<std::string> reports() const
    {
        std::vector<std::string> found;
        for (const fs::path& log : {m_state.fiscalLog(), m_state.notFiscalLog()})
            for (const std::string& line : testfiles::lines(log))
                if (line.find(Report) != std::string::npos)
                    found.push_back(line);
        return found;
    }
    std::string reportOf(const std::string& key) const
    {
        return "Tessiro_Error: ;08/12/2026 14:05:09;" + Report + key + " (" + m_state.configFile().string() + ")";
    }
    std::string stderrLineOf(const std::string& key) const
    {
        return "tessiro: " + key + " not written to " + m_state.configFile().string() + "\n";
    }

protected:
    void SetUp() override
    {
        testfiles::write(m_state.configFile(), "[Varie]\r\nEps_COM=1\r\nEps_Setting=9600,N,8,1\r\n[Negozio]\r\n; " +
                                                   std::string(Padding, 'x') + "\r\n");
        // The configuration as a running bridge leaves it: a write of the
        // same value again is no write at all, so each place below writes
        // exactly the key it is about.
        startAgain();
        ASSERT_TRUE(reports().empty());
        ASSERT_FALSE(m_state.errorState);
    }
    void TearDown() override { allow(); }

    bridgetest::RecordingPrinter m_printer;
    std::unique_ptr<Bridge> m_bridge;
    std::unique_ptr<WritesRefused> m_refused;
};

struct WritingPlace {
    const char* name;
    const char* key;
    // Runs before the disk fills up.
    std::function<void(ConfigWriteRefused&)> prepare;
    // Fills the disk (refuse()) where it must and makes the write.
    std::function<void(ConfigWriteRefused&)> write;
};

void PrintTo(const WritingPlace& place, std::ostream* out)
{
    *out << place.name;
}

class ConfigWriteRefusedAt : public ConfigWriteRefused, public ::testing::WithParamInterface<WritingPlace> {};

TEST_P(ConfigWriteRefusedAt, IsFiledOnceSaidOnceAndRaisesNoError)
{
    const WritingPlace& place = GetParam();
    if (place.prepare)
        place.prepare(*this);

    ::testing::internal::CaptureStderr();
    place.write(*this);
    allow();
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(reports(), std::vector<std::string>{reportOf(place.key)});
    EXPECT_EQ(said, stderrLineOf(place.key));
    EXPECT_FALSE(state().errorState);
}

void startAgain(ConfigWriteRefused& f)
{
    f.refuse();
    f.startAgain();
}

INSTANTIATE_TEST_SUITE_P(
    Places, ConfigWriteRefusedAt,
    ::testing::Values(
        WritingPlace{"StartUpClearingTheErrorCode", keys::Eps_CodError,
                     [](ConfigWriteRefused& f) { f.set(keys::Eps_CodError, "12"); }, startAgain},
        WritingPlace{"StartUpClearingTheLastFailedReceipt", keys::Kelmora_CORR,
                     [](ConfigWriteRefused& f) { f.set(keys::Kelmora_CORR, "COR000001.txt"); }, startAgain},
        // Loading appends the separator and saves, then start-up saves
        // every field again: the same refused key, filed once.
        WritingPlace{"StartUpCompletingTheFolder", keys::Kelmora_DIR,
                     [](ConfigWriteRefused& f) { f.set(keys::Kelmora_DIR, "D:\\DATI"); }, startAgain},
        WritingPlace{"StartUpLeavingTheFlagIdle", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.set(keys::Eps_Vuoto, "0"); }, startAgain},
        WritingPlace{"StartUpTellingAnInterruptedReceipt", keys::Kelmora_CORR,
                     [](ConfigWriteRefused& f) {
                         RunningFile note(f.state().programDir);
                         ASSERT_TRUE(note.prepare());
                         ASSERT_TRUE(note.mark({FiscalName, true, false, RunningRecord::Stage::Sale}));
                     },
                     startAgain},
        WritingPlace{"BatchMarkingTheFlagBusy", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.drop("a.txt", "V1:1\r\n"); },
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().tick();
                     }},
        // Neither "0" at the batch's start nor "-1" at its end can be
        // written: one outage of the same key, filed once.
        WritingPlace{"BatchWithTheConfigurationReplacedByAFolder", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.drop("a.txt", "V1:1\r\n"); },
                     [](ConfigWriteRefused& f) {
                         fs::remove(f.state().configFile());
                         fs::create_directory(f.state().configFile());
                         f.bridge().tick();
                         f.bridge().tick();
                     }},
        WritingPlace{"BatchLeavingTheFlagIdle", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.drop("a.txt", "V1:1\r\n"); },
                     [](ConfigWriteRefused& f) {
                         f.printer().onOpenPort = [&f] { f.refuse(); };
                         f.bridge().tick();
                     }},
        WritingPlace{"IdleTickLeavingTheFlagIdle", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.set(keys::Eps_Vuoto, "1"); },
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().tick();
                     }},
        WritingPlace{"HideClearingTheLastFailedReceipt", keys::Kelmora_CORR,
                     [](ConfigWriteRefused& f) { f.set(keys::Kelmora_CORR, "COR000001.txt"); },
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().cmdNascondi();
                     }},
        WritingPlace{"HideSavingTheFieldsOnScreen", keys::Eps_Delay,
                     [](ConfigWriteRefused& f) {
                         f.bridge().setPanelOnScreen(true);
                         f.set(keys::Eps_Delay, "70");
                     },
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().cmdNascondi();
                     }},
        WritingPlace{"OperatorTypingIntoAField", keys::Eps_Delay, nullptr,
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().panel().setText(SettingsPanel::Field::Ritardo, "6");
                         f.bridge().panel().setText(SettingsPanel::Field::Ritardo, "60");
                     }},
        WritingPlace{"OperatorTickingPaymentLines", keys::PAY_L, nullptr,
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().panel().setPayL(true);
                     }},
        WritingPlace{"RecoveryClosingTheNonFiscalDocument", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.set(keys::Eps_Vuoto, "0"); },
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().recovery().cmdChiudiNF();
                     }},
        WritingPlace{"RecoveryVoidingTheReceipt", keys::Eps_Vuoto,
                     [](ConfigWriteRefused& f) { f.set(keys::Eps_Vuoto, "0"); },
                     [](ConfigWriteRefused& f) {
                         f.refuse();
                         f.bridge().recovery().cmdChiudiScontrino();
                     }}),
    rownames::byName);

TEST_F(ConfigWriteRefused, FailedFiscalFileFilesItsFailureThenTheRefusedKelmoraCorr)
{
    bridge().errors().fileUnder(jobNamed(FiscalName));
    ::testing::internal::CaptureStderr();
    refuse();
    bridge().errors().registraErrore("errore di prova");
    allow();
    const std::string said = ::testing::internal::GetCapturedStderr();

    const std::vector<std::string> fiscal = testfiles::lines(state().fiscalLog());
    ASSERT_EQ(fiscal.size(), 1u);
    EXPECT_EQ(fiscal[0], "Tessiro_Error: COR000007.txt;08/12/2026 14:05:09;errore di prova");
    EXPECT_EQ(reports(), std::vector<std::string>{reportOf(keys::Kelmora_CORR)});
    EXPECT_EQ(said, stderrLineOf(keys::Kelmora_CORR));
    // The state the failure itself raises, nothing more.
    EXPECT_TRUE(state().errorState);
}

TEST_F(ConfigWriteRefused, IdleFlagRetriedAtEveryTickIsFiledOncePerOutage)
{
    drop("a.txt", "V1:1\r\n");
    printer().onOpenPort = [this] { refuse(); };
    ::testing::internal::CaptureStderr();
    bridge().tick();
    printer().onOpenPort = nullptr;
    bridge().tick();
    bridge().tick();
    allow();
    bridge().tick(); // stored at last
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), stderrLineOf(keys::Eps_Vuoto));
    EXPECT_EQ(reports().size(), 1u);
    ASSERT_EQ(LeggiINI(keys::Section, keys::Eps_Vuoto, "", state().configFile()), "-1");

    // A later outage is a new one.
    drop("b.txt", "V1:2\r\n");
    printer().onOpenPort = [this] { refuse(); };
    bridge().tick();
    allow();
    EXPECT_EQ(reports().size(), 2u);
    EXPECT_FALSE(state().errorState);
}

TEST_F(ConfigWriteRefused, FieldRefusedAgainIsFiledOnceUntilItIsStored)
{
    using Field = SettingsPanel::Field;
    ::testing::internal::CaptureStderr();
    refuse();
    bridge().panel().setText(Field::NonRiscIndex, "2");
    bridge().panel().setText(Field::NonRiscIndex, "3");
    allow();
    bridge().panel().setText(Field::NonRiscIndex, "4");
    ASSERT_EQ(LeggiINI(keys::Section, keys::Eps_NonRiscIndex, "", state().configFile()), "4");
    refuse();
    bridge().panel().setText(Field::NonRiscIndex, "5");
    allow();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              stderrLineOf(keys::Eps_NonRiscIndex) + stderrLineOf(keys::Eps_NonRiscIndex));
    EXPECT_EQ(reports(), std::vector<std::string>(2, reportOf(keys::Eps_NonRiscIndex)));
}

} // namespace
