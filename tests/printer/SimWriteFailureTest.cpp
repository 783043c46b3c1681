// The simulated printer when the system refuses to store its files (a full
// disk): it answers ERRORE MEMORIA STAMPANTE and its state file keeps what it
// had, so the printer never loses its counters or counts what it did not
// print. The refusal is a file size limit of zero (see IniWriteFailureTest).
#include "printer/SimCodes.h"
#include "printer/SimState.h"
#include "printer/SimulatedPrinter.h"
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

TEST(SimWriteRefused, DrawerOpeningAnswersStorageFailureAndKeepsTheState)
{
    QTemporaryDir dir;
    const fs::path root = testfiles::path(dir);
    SimulatedPrinter printer(root);
    printer.setComPort(1);
    printer.setComSettings("9600,N,8,1");
    printer.OpenPort();
    ASSERT_EQ(printer.OpenCmd(1), simcode::Ok);
    const fs::path stateFile = root / "Simulatore" / "stato.ini";
    const std::string before = testfiles::read(stateFile);
    ASSERT_FALSE(before.empty());
    int16_t code = 0;
    {
        const WritesRefused refused;
        code = printer.OpenCmd(1);
    }
    printer.ClosePort();
    EXPECT_EQ(code, simcode::StorageFailure);
    EXPECT_EQ(testfiles::read(stateFile), before);
}

TEST(SimWriteRefused, DisplayAnswersStorageFailureAndKeepsItsLines)
{
    QTemporaryDir dir;
    const fs::path root = testfiles::path(dir);
    SimulatedPrinter printer(root);
    printer.setComPort(1);
    printer.setComSettings("9600,N,8,1");
    printer.OpenPort();
    ASSERT_EQ(printer.DisplayText(1, "BUONGIORNO"), simcode::Ok);
    const fs::path display = root / "Simulatore" / "visore.txt";
    const std::string before = testfiles::read(display);
    int16_t code = 0;
    {
        const WritesRefused refused;
        code = printer.DisplayText(1, "ARRIVEDERCI");
    }
    printer.ClosePort();
    EXPECT_EQ(code, simcode::StorageFailure);
    EXPECT_EQ(testfiles::read(display), before);
}

} // namespace
