// SPDX-License-Identifier: MIT
// From a writer closing a command file in Ostro to the bridge's first
// printer call, with the bridge's own event loop: the polling timer at its
// default 500 ms and, unless switched off, the drop-folder watch. Each
// iteration waits a random part of the interval first, so the file lands at
// any point of the timer's period; only the time from close() to the first
// call is measured (manual time). Counters give the median and the 90th
// percentile in milliseconds.
#include "BenchSupport.h"
#include "NullPrinter.h"

#include "app/Bridge.h"
#include "app/BridgeRun.h"
#include "app/Intake.h"
#include "core/SharedState.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

// The do-nothing printer that notes when the port is first opened.
class TimedPrinter : public PrinterControl {
public:
    std::optional<SteadyClock::time_point> firstCall;
#define TESSIRO_NOTE(Ret, Name, Params, Value)                                                                         \
    Ret Name Params override                                                                                           \
    {                                                                                                                  \
        if (!firstCall)                                                                                                \
            firstCall = SteadyClock::now();                                                                            \
        return Value;                                                                                                  \
    }
    TESSIRO_NOTE(void, setOpenOptionA, (int32_t), void())
    TESSIRO_NOTE(void, setOpenOptionB, (int32_t), void())
    TESSIRO_NOTE(void, setComPort, (int16_t), void())
    TESSIRO_NOTE(void, setComSettings, (const std::string&), void())
    TESSIRO_NOTE(void, setItemOptionA, (int16_t), void())
    TESSIRO_NOTE(void, setItemOptionB, (int16_t), void())
    TESSIRO_NOTE(void, OpenPort, (), void())
    TESSIRO_NOTE(void, ClosePort, (), void())
    TESSIRO_NOTE(bool, PortIsOpen, (), false)
    TESSIRO_NOTE(bool, Busy, (), false)
    TESSIRO_NOTE(OpenDocument, DocumentOpen, (), OpenDocument::None)
    TESSIRO_NOTE(int16_t, SellDept, (int16_t, const std::string&, Currency, int16_t), 0)
    TESSIRO_NOTE(int16_t, SellDeptQty, (int16_t, const std::string&, float, Currency, int16_t), 0)
    TESSIRO_NOTE(int16_t, ReturnDept, (int16_t, const std::string&, Currency, int16_t), 0)
    TESSIRO_NOTE(int16_t, ReturnDeptQty, (int16_t, const std::string&, float, Currency, int16_t), 0)
    TESSIRO_NOTE(int16_t, ReturnDeptAmount, (int16_t, const std::string&, Currency, int16_t), 0)
    TESSIRO_NOTE(int16_t, AddDescription, (int16_t, const std::string&), 0)
    TESSIRO_NOTE(int16_t, ExtraLine, (int16_t, int16_t, const std::string&), 0)
    TESSIRO_NOTE(int16_t, Subtotal, (int16_t), 0)
    TESSIRO_NOTE(int16_t, SubtotalDiscount, (int16_t, Currency), 0)
    TESSIRO_NOTE(int16_t, CancelReceipt, (int16_t), 0)
    TESSIRO_NOTE(int16_t, PayCash, (int16_t, Currency), 0)
    TESSIRO_NOTE(int16_t, PayCheque, (int16_t, Currency), 0)
    TESSIRO_NOTE(int16_t, PayCard, (int16_t, int16_t), 0)
    TESSIRO_NOTE(int16_t, PayTicket, (int16_t, int16_t, Currency), 0)
    TESSIRO_NOTE(int16_t, PayTender, (int16_t, const std::string&, Currency, int32_t, int16_t, int16_t), 0)
    TESSIRO_NOTE(int16_t, OpenNonFiscal, (int16_t), 0)
    TESSIRO_NOTE(int16_t, NonFiscalLine, (int16_t, int16_t, const std::string&), 0)
    TESSIRO_NOTE(int16_t, CloseNonFiscal, (int16_t), 0)
    TESSIRO_NOTE(int16_t, DisplayText, (int16_t, const std::string&), 0)
    TESSIRO_NOTE(int16_t, OpenCmd, (int16_t), 0)
    TESSIRO_NOTE(int16_t, AmountEntry, (int16_t, Currency), 0)
    TESSIRO_NOTE(int16_t, FiscalClosure, (int16_t), 0)
    TESSIRO_NOTE(int16_t, FiscalClosureAlt, (int16_t), 0)
    TESSIRO_NOTE(int16_t, PaperEndRecovery, (int16_t), 0)
    TESSIRO_NOTE(std::string, ErrorText, (int16_t, int32_t), std::string())
#undef TESSIRO_NOTE
};

void runEventsFor(std::chrono::milliseconds span)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < span.count())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(span.count() - timer.elapsed()));
}

// watch: the drop-folder watch is on. lease: the lease answer is trusted
// (false: a network-style folder, the settle rule alone).
void BM_CloseToFirstCall(benchmark::State& state, bool watch, bool lease)
{
    bench::ProgramDir dir;
    SharedState shared;
    shared.programDir = dir.path();
    FakeWindow window;
    FakeClock clock;
    TimedPrinter printer;
    Bridge bridge(shared, window, clock, printer);
    bridge.avvio();
    if (!lease)
        bridge.intake().setLeaseUsable([](int) { return false; });

    QTimer settleCheck;
    settleCheck.setSingleShot(true);
    const auto tick = [&bridge, &settleCheck] {
        bridge.tick();
        scheduleSettleCheck(bridge, settleCheck);
    };
    QObject::connect(&settleCheck, &QTimer::timeout, tick);
    QTimer timer;
    timer.setInterval(Bridge::DefaultInterval);
    QObject::connect(&timer, &QTimer::timeout, tick);
    timer.start();
    std::unique_ptr<DropWatch> dropWatch;
    if (watch)
        dropWatch = std::make_unique<DropWatch>(shared.dropDir(), tick);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> phase(0, Bridge::DefaultInterval);
    std::vector<double> samples;
    int number = 0;
    const std::string body = "D1:1:LATENZA\r\n";
    for (auto _ : state) {
        runEventsFor(std::chrono::milliseconds(phase(random)));
        printer.firstCall.reset();
        const std::string path = (shared.dropDir() / bench::fiscalFileName(++number)).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, body.data(), body.size()) != ssize_t(body.size())) {
            state.SkipWithError("cannot write into Ostro");
            break;
        }
        ::close(fd);
        const auto closed = SteadyClock::now();
        while (!printer.firstCall && SteadyClock::now() - closed < std::chrono::seconds(10))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!printer.firstCall) {
            state.SkipWithError("the file was not taken within 10 s");
            break;
        }
        const double seconds = std::chrono::duration<double>(*printer.firstCall - closed).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1000.0);
    }
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        state.counters["median_ms"] = samples[samples.size() / 2];
        state.counters["p90_ms"] = samples[samples.size() * 9 / 10];
        state.counters["max_ms"] = samples.back();
    }
}

} // namespace

BENCHMARK_CAPTURE(BM_CloseToFirstCall, TimerOnly, false, true)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CloseToFirstCall, Watch, true, true)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CloseToFirstCall, WatchSettleRuleOnly, true, false)
    ->UseManualTime()
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);
