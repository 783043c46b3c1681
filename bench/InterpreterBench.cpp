// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include "commands/Interprete.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "errors/FileKind.h"
#include "printer/AcceptingControl.h"
#include "printer/ErrorLink.h"
#include "simulator/SimulatedPrinter.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// One 50-record receipt through EseguiFileComandi, port opened and closed
// around it, as one file of a batch runs.
template <typename MakePrinter>
void runReceipt(benchmark::State& state, MakePrinter makePrinter)
{
    bench::ProgramDir dir;
    if (!dir.valid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::filesystem::create_directories(dir.path() / "IN");
    const std::string name = bench::fiscalFileName(1);
    const auto file = dir.path() / "IN" / name;
    bench::writeFile(file, bench::receiptFile());

    SharedState shared;
    shared.programDir = dir.path();
    shared.settings.portNumber = 1;
    shared.settings.portSettings = "9600,N,8,1";
    FakeWindow window;
    FakeClock clock;
    ErrorHandler errors(shared, window, clock);
    const std::unique_ptr<PrinterControl> printer = makePrinter(dir.path());
    const ErrorLink link(*printer, errors, shared.settings);

    for (auto _ : state) {
        Job job = jobNamed(name);
        EseguiFileComandi(*printer, errors, shared, clock, job, file);
        if (shared.errorState) {
            state.SkipWithError(("the receipt failed: " + shared.lastErrorText).c_str());
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 50);
    state.counters["files_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                            benchmark::Counter::kIsRate);
}

void BM_CommandFile50_NullPrinter(benchmark::State& state)
{
    runReceipt(state, [](const std::filesystem::path&) { return std::make_unique<AcceptingControl>(); });
}
BENCHMARK(BM_CommandFile50_NullPrinter);

void BM_CommandFile50_SimulatedPrinter(benchmark::State& state)
{
    runReceipt(state, [](const std::filesystem::path& dir) { return std::make_unique<SimulatedPrinter>(dir); });
}
BENCHMARK(BM_CommandFile50_SimulatedPrinter)->Unit(benchmark::kMillisecond);

} // namespace
