// SPDX-License-Identifier: MIT
// A bridge killed (SIGKILL, in a forked child) before and after each printer
// call of a three-file batch, then started again on the same folder with the
// simulated printer: no receipt on the roll holds items of two files, none
// is left open, no receipt number is closed twice, no file runs twice, every
// file has exactly one accurate outcome (paid on the roll, or named in its
// log as interrupted), and the files that had not started print after the
// restart: none is discarded.
#include "bridge/KillingPrinter.h"
#include "bridge/ReceiptRoll.h"
#include "bridge/Bridge.h"
#include "bridge/RunningFile.h"
#include "core/SharedState.h"
#include "errors/FileKind.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Job {
    std::string name;
    std::string marker;
};

const Job Jobs[] = {{"20261208180100COR000001.txt", "ID-000001"},
                    {"20261208180200COR000002.txt", "ID-000002"},
                    {"20261208180300COR000003.txt", "ID-000003"}};

std::string body(const std::string& marker)
{
    return "F2:1:ARTICOLO:1000:150:1\r\nF5:1:" + marker + "\r\nF2:1:ALTRO:1000:250:1\r\nF4:0:0:0:1\r\n";
}

void prepare(const fs::path& dir)
{
    testfiles::write(dir / "_Configurazione.ini", "[Varie]\r\nEps_COM=1\r\nEps_Setting=9600,N,8,1\r\nEps_Delay=1\r\n");
    for (const Job& job : Jobs)
        testfiles::write(dir / "Ostro" / job.name, body(job.marker));
}

// One start of the bridge on `dir`: start-up and one tick. With killAt > 0
// it runs in a child that dies at that printer call; returns whether it died
// so. Without, it runs here and returns the number of printer calls made.
int runBridge(const fs::path& dir, int killAt, bool afterCall = false)
{
    const auto run = [&dir, afterCall](int at) {
        SharedState state;
        state.programDir = dir;
        FakeWindow window;
        FakeClock clock;
        SimulatedPrinter simulator(dir);
        bridgetest::KillingPrinter printer(simulator, at, afterCall);
        Bridge bridge(state, window, clock, printer);
        bridge.start();
        bridge.tick();
        return printer.calls();
    };
    if (killAt == 0)
        return run(0);
    const pid_t child = ::fork();
    if (child == 0) {
        run(killAt);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

int lineCount(const std::vector<std::string>& lines, const std::string& a, const std::string& b = {})
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(a) != std::string::npos && l.find(b) != std::string::npos;
    }));
}

struct KillCase {
    const char* name;
    bool afterCall; // killed once the printer has done the call, not before it
};

void PrintTo(const KillCase& c, std::ostream* os)
{
    *os << c.name;
}

class KillAtEveryRecordBoundary : public ::testing::TestWithParam<KillCase> {};

TEST_P(KillAtEveryRecordBoundary, RestartLeavesEveryReceiptWholeAndEveryFileOneOutcome)
{
    int total = 0;
    {
        QTemporaryDir tmp;
        prepare(testfiles::path(tmp));
        total = runBridge(testfiles::path(tmp), 0);
    }
    ASSERT_GT(total, 15);

    for (int at = 1; at <= total; ++at) {
        SCOPED_TRACE(std::string("killed ") + (GetParam().afterCall ? "after" : "before") + " printer call " +
                     std::to_string(at) + " of " + std::to_string(total));
        QTemporaryDir tmp;
        const fs::path dir = testfiles::path(tmp);
        prepare(dir);
        ASSERT_TRUE(runBridge(dir, at, GetParam().afterCall));
        runBridge(dir, 0);

        const auto roll = bridgetest::ReceiptRoll::read(dir / "Simulatore" / "giornale.txt");
        EXPECT_FALSE(roll.openAtEnd) << "a receipt is left open";
        EXPECT_FALSE(roll.openOverlapped);
        EXPECT_FALSE(roll.anyMerged()) << "a receipt holds items of two files";
        EXPECT_EQ(roll.numberClosedTwice(), "");
        const auto trace = testfiles::lines(dir / "Simulatore" / "chiamate.log");
        const auto log = testfiles::lines(dir / "FiscalError.log");
        int unpaid = 0;
        for (const Job& job : Jobs) {
            SCOPED_TRACE(job.name);
            EXPECT_LE(lineCount(trace, "\"" + job.marker + "\""), 1) << "ran twice";
            const std::string ref = fileReference(job.name) + ";";
            const int interrupted = lineCount(log, ref, "File interrotto");
            const int toCheck = lineCount(log, ref, "interrotto al pagamento");
            const int discarded = lineCount(log, ref, "File scartato all'avvio");
            const int paid = roll.paidWith(job.marker);
            EXPECT_LE(paid, 1);
            EXPECT_EQ(discarded, 0) << "a file that waited its turn was thrown away";
            if (paid == 1)
                EXPECT_EQ(interrupted, 0) << "paid, yet recorded as not printed";
            else
                EXPECT_EQ(interrupted + toCheck, 1) << "not paid and not exactly once on record";
            EXPECT_LE(toCheck, 1);
            unpaid += paid == 0;
        }
        EXPECT_LE(unpaid, 1) << "only the file that was running may go unpaid";
        EXPECT_TRUE(fs::is_empty(dir / "IN"));
        EXPECT_TRUE(fs::is_empty(dir / "Ostro"));
        const auto note = RunningFile(dir).read();
        EXPECT_TRUE(!note || note->stage == RunningRecord::Stage::Done) << "the note still asks for a recovery";
    }
}

INSTANTIATE_TEST_SUITE_P(Kills, KillAtEveryRecordBoundary,
                         ::testing::Values(KillCase{"BeforeTheCall", false}, KillCase{"AfterTheCall", true}),
                         rownames::byName);

} // namespace
