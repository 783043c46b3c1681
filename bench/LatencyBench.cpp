// SPDX-License-Identifier: MIT
// From a writer closing a command file in Ostro to the bridge's first
// printer call, with the bridge's own event loop: the polling timer at its
// default 500 ms and, unless switched off, the drop-folder watch. Each
// iteration waits a random part of the interval first, so the file lands at
// any point of the timer's period; only the time from close() to the first
// call is measured (manual time). Counters give the median and the 90th
// percentile in milliseconds.
#include "BenchSupport.h"

#include "app/BridgeRun.h"
#include "bridge/Bridge.h"
#include "bridge/Intake.h"
#include "core/Clock.h"
#include "core/SharedState.h"
#include "printer/AcceptingControl.h"
#include "printer/ForwardingControl.h"

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

// The do-nothing printer that notes when the bridge first calls it.
class TimedPrinter : public ForwardingControl {
public:
    TimedPrinter() : ForwardingControl(std::make_unique<AcceptingControl>()) {}
    std::optional<SteadyClock::time_point> firstCall;

protected:
    CallValue pass(const ControlCall&, const std::function<CallValue()>& make) override
    {
        if (!firstCall)
            firstCall = SteadyClock::now();
        return make();
    }
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
    // The real clock: the settle rule counts real time between looks.
    SystemClock clock;
    TimedPrinter printer;
    Bridge bridge(shared, window, clock, printer);
    bridge.start();
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
