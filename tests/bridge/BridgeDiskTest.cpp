// SPDX-License-Identifier: MIT
// The bridge across abrupt stops and refused writes: a job deleted at
// start-up is on record before it is gone, a busy flag that the bridge
// could not take back (a full disk) does not stop the polling for good, a
// file whose note cannot be made does not start, and the records a full
// disk refused are written, with their own time, once it takes them.
#include "bridge/RecordingBridge.h"
#include "bridge/Bridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/Clock.h"
#include "core/SharedState.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
#include "support/SmallDisk.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class BridgeReliability : public RecordingBridge {
protected:
    std::string vuoto() const { return configValue(keys::Eps_Vuoto, "<assente>"); }
};

TEST_F(BridgeReliability, JobLeftInTheWorkFolderIsOnRecordBeforeItIsDeleted)
{
    const std::string fiscal = "20261208140509COR000007.txt";
    testfiles::write(m_dir / "IN" / fiscal, "F2:1:PANE:1000:150:1\r\n");
    testfiles::write(m_dir / "IN" / "altro.txt", "V1:1\r\n");
    // Whether each file was still there when its record was filed.
    std::map<std::string, bool> presentAtRecord;
    m_bridge->errors().onRecord = [&](ErrorHandler::RecordKind, const std::string&, const std::string& record) {
        const std::string names[] = {fiscal, "altro.txt"};
        for (const std::string& name : names)
            if (record.find("File scartato all'avvio: " + name) != std::string::npos)
                presentAtRecord[name] = fs::exists(m_dir / "IN" / name);
    };

    m_bridge->start();

    ASSERT_EQ(presentAtRecord.size(), 2u);
    EXPECT_TRUE(presentAtRecord[fiscal]);
    EXPECT_TRUE(presentAtRecord["altro.txt"]);
    EXPECT_FALSE(fs::exists(m_dir / "IN" / fiscal));
    EXPECT_FALSE(fs::exists(m_dir / "IN" / "altro.txt"));
    EXPECT_EQ(m_state.currentFileName(), "");
}

TEST_F(BridgeReliability, BusyFlagTheDiskWouldNotTakeBackDoesNotStopThePolling)
{
    m_bridge->start();
    testfiles::write(m_state.dropDir() / "a.txt", "V1:1\r\n");
    // The disk fills up while the file runs: the "-1" that ends the batch
    // cannot be stored, and the "0" of the batch stays in the file.
    std::unique_ptr<WritesRefused> refused;
    m_printer.onOpenPort = [&] {
        if (!refused)
            refused = std::make_unique<WritesRefused>();
    };
    m_bridge->tick();
    refused.reset();
    m_printer.onOpenPort = nullptr;
    ASSERT_EQ(m_printer.count("OpenPort"), 1);
    ASSERT_EQ(vuoto(), "0") << "the refused write should have left the batch's flag";

    // Space is back: the next file is taken and the flag goes back to idle.
    testfiles::write(m_state.dropDir() / "b.txt", "V1:2\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_printer.count("OpenPort"), 2);
    EXPECT_FALSE(fs::exists(m_state.dropDir() / "b.txt"));
    EXPECT_EQ(vuoto(), "-1");
}

// The program folder on a small disk of its own, which the test fills up.
class BridgeOnAFullDisk : public BridgeReliability {
protected:
    void SetUp() override
    {
        BridgeReliability::SetUp();
        if (!m_disk.mounted())
            GTEST_SKIP() << "a small tmpfs needs the superuser";
        configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
        fs::create_directories(m_state.dropDir());
    }

    SmallDisk m_disk{m_dir};
};

TEST_F(BridgeOnAFullDisk, FileWhoseNoteCannotBeMadeWaitsInOstroWithItsRecordAndRunsWhenSpaceReturns)
{
    const std::string name = "20261208140509COR000007.txt";
    testfiles::write(m_state.dropDir() / name, "F2:1:PANE:1000:150:1\r\nF4:0:0:0:1\r\n");
    const std::string when = dateTimeText(m_clock.now);
    // The bridge starts on a full disk: the note's room cannot be made.
    m_disk.fill();
    m_bridge->start();
    m_bridge->tick();
    m_bridge->tick();
    EXPECT_EQ(m_printer.count("OpenPort"), 0) << "a file started with no note";
    EXPECT_TRUE(fs::exists(m_state.dropDir() / name));
    m_clock.sleepFor(std::chrono::minutes(2));

    m_disk.release();
    m_bridge->tick();

    EXPECT_EQ(m_printer.count("PayCash"), 1);
    EXPECT_FALSE(fs::exists(m_state.dropDir() / name));
    const auto log = fiscalLog();
    const auto held = std::count_if(log.begin(), log.end(), [&](const std::string& l) {
        return l.find(MsgNotaNonRegistrata) != std::string::npos && l.find(";" + when + ";") != std::string::npos;
    });
    EXPECT_EQ(held, 1) << "the record, with the time of the refusal";
}

TEST_F(BridgeOnAFullDisk, FailureTheDiskRefusedIsWrittenWithItsOwnTimeWhenSpaceReturns)
{
    m_bridge->start();
    const std::string name = "20261208140509COR000008.txt";
    testfiles::write(m_state.dropDir() / name, "F2:1:PANE:1000:150:1\r\nF4:0:0:0:1\r\n");
    m_printer.codes["SellDept"] = 5;
    const std::string when = dateTimeText(m_clock.now);
    m_disk.fill();
    m_bridge->tick();
    ASSERT_EQ(m_printer.count("SellDept"), 1) << "the note's room was made at start-up";
    m_clock.sleepFor(std::chrono::minutes(2));

    m_disk.release();
    m_bridge->tick();

    const auto log = fiscalLog();
    const auto failures = std::count_if(log.begin(), log.end(), [&](const std::string& l) {
        return l.rfind("Tessiro_Error: COR000008.txt;" + when + ";", 0) == 0 ||
               l.rfind("PrinterError: COR000008.txt;" + when + ";", 0) == 0;
    });
    EXPECT_GE(failures, 1) << "the failure, with the time it happened";
    EXPECT_EQ(vuoto(), "-1");
    EXPECT_EQ(configValue(keys::Kelmora_CORR, "<assente>"), "COR000008.txt");
}

TEST_F(BridgeReliability, BusyFlagSetByTheBackOfficeStillStopsThePolling)
{
    m_bridge->start();
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_Vuoto, "0", m_state.configFile()));
    testfiles::write(m_state.dropDir() / "a.txt", "V1:1\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_printer.count("OpenPort"), 0);
    EXPECT_TRUE(fs::exists(m_state.dropDir() / "a.txt"));
}

} // namespace
