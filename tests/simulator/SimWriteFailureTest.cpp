// SPDX-License-Identifier: MIT
// The simulated printer when the system refuses to store its files (a full
// disk): it answers ERRORE MEMORIA STAMPANTE and its state file keeps what it
// had, so the printer never loses its counters or counts what it did not
// print. The refusal is a file size limit of zero (see IniWriteFailureTest).
#include "simulator/SimCodes.h"
#include "simulator/SimState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/Files.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

TEST(SimWriteRefused, StateSaveFailsAndTheFileKeepsEveryByte)
{
    QTemporaryDir dir;
    const fs::path file = testfiles::path(dir) / "stato.ini";
    SimState state;
    state.lastReceipt = 41;
    ASSERT_TRUE(state.save(file));
    const std::string before = testfiles::read(file);
    state.lastReceipt = 42;
    bool saved = true;
    {
        const WritesRefused refused;
        saved = state.save(file);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(testfiles::read(file), before);
    EXPECT_EQ(SimState::load(file).lastReceipt, 41);
}

// The simulated printer on an open port in a scratch program directory.
class SimWriteRefusedOnOpenPort : public ::testing::Test {
protected:
    SimWriteRefusedOnOpenPort() : m_root(testfiles::path(m_dir)), m_printer(m_root)
    {
        m_printer.setComPort(1);
        m_printer.setComSettings("9600,N,8,1");
        m_printer.OpenPort();
    }
    ~SimWriteRefusedOnOpenPort() override { m_printer.ClosePort(); }

    fs::path simulatorFile(const char* name) const { return m_root / "Simulatore" / name; }
    // The printer's answer to `call` while the system refuses every write.
    template <class Call>
    int16_t refused(Call call)
    {
        const WritesRefused refusal;
        return call();
    }

    QTemporaryDir m_dir;
    fs::path m_root;
    SimulatedPrinter m_printer;
};

TEST_F(SimWriteRefusedOnOpenPort, DrawerOpeningAnswersStorageFailureAndKeepsTheState)
{
    ASSERT_EQ(m_printer.OpenCmd(1), simcode::Ok);
    const std::string before = testfiles::read(simulatorFile("stato.ini"));
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(refused([this] { return m_printer.OpenCmd(1); }), simcode::StorageFailure);
    EXPECT_EQ(testfiles::read(simulatorFile("stato.ini")), before);
}

TEST_F(SimWriteRefusedOnOpenPort, DisplayAnswersStorageFailureAndKeepsItsLines)
{
    ASSERT_EQ(m_printer.DisplayText(1, "BUONGIORNO"), simcode::Ok);
    const std::string before = testfiles::read(simulatorFile("visore.txt"));
    EXPECT_EQ(refused([this] { return m_printer.DisplayText(1, "ARRIVEDERCI"); }), simcode::StorageFailure);
    EXPECT_EQ(testfiles::read(simulatorFile("visore.txt")), before);
}

} // namespace
