// SPDX-License-Identifier: MIT
// The bridge across abrupt stops and refused writes: a job deleted at
// start-up is on record before it is gone, and a busy flag that the bridge
// could not take back (a full disk) does not stop the polling for good.
#include "app/Bridge.h"
#include "app/RecordingBridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/SharedState.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
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

    m_bridge->avvio();

    ASSERT_EQ(presentAtRecord.size(), 2u);
    EXPECT_TRUE(presentAtRecord[fiscal]);
    EXPECT_TRUE(presentAtRecord["altro.txt"]);
    EXPECT_FALSE(fs::exists(m_dir / "IN" / fiscal));
    EXPECT_FALSE(fs::exists(m_dir / "IN" / "altro.txt"));
    EXPECT_EQ(m_state.currentFileName, "");
}

TEST_F(BridgeReliability, BusyFlagTheDiskWouldNotTakeBackDoesNotStopThePolling)
{
    m_bridge->avvio();
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

TEST_F(BridgeReliability, BusyFlagSetByTheBackOfficeStillStopsThePolling)
{
    m_bridge->avvio();
    ASSERT_TRUE(ScriviINI(keys::Section, keys::Eps_Vuoto, "0", m_state.configFile()));
    testfiles::write(m_state.dropDir() / "a.txt", "V1:1\r\n");
    m_bridge->tick();
    EXPECT_EQ(m_printer.count("OpenPort"), 0);
    EXPECT_TRUE(fs::exists(m_state.dropDir() / "a.txt"));
}

} // namespace
