// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include "config/IniFile.h"
#include "config/Keys.h"

#include <benchmark/benchmark.h>

namespace {

void BM_LeggiINI(benchmark::State& state)
{
    bench::ProgramDir dir;
    const auto file = dir.path() / keys::ConfigFile;
    for (auto _ : state)
        benchmark::DoNotOptimize(LeggiINI(keys::Section, keys::Eps_Vuoto, -1LL, file));
}
BENCHMARK(BM_LeggiINI);

// The polling cycle's write of an unchanged Eps_Vuoto: read and compare only.
void BM_ScriviINI_Unchanged(benchmark::State& state)
{
    bench::ProgramDir dir;
    const auto file = dir.path() / keys::ConfigFile;
    for (auto _ : state)
        benchmark::DoNotOptimize(ScriviINI(keys::Section, keys::Eps_Vuoto, "-1", file));
}
BENCHMARK(BM_ScriviINI_Unchanged);

// A changed value: the whole file replaced atomically, as the start of a
// batch does with Eps_Vuoto.
void BM_ScriviINI_Changed(benchmark::State& state)
{
    bench::ProgramDir dir;
    const auto file = dir.path() / keys::ConfigFile;
    bool busy = false;
    for (auto _ : state) {
        busy = !busy;
        if (!ScriviINI(keys::Section, keys::Eps_Vuoto, busy ? "0" : "-1", file)) {
            state.SkipWithError("write failed");
            break;
        }
    }
}
BENCHMARK(BM_ScriviINI_Changed)->Unit(benchmark::kMicrosecond);

} // namespace
