// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include "commands/SpezzaRiga.h"
#include "printer/Currency.h"

#include <benchmark/benchmark.h>

#include <sstream>

namespace {

// Converts the numeric fields a record's command uses, with the scales the
// interpreter applies; false when one does not convert.
bool convertFields(const LineFields& f, int64_t& sink)
{
    auto take = [&](size_t field, int64_t divisor) {
        const auto value = Currency::parse(f[field], divisor);
        if (!value)
            return false;
        sink += value->units();
        return true;
    };
    const std::string& code = f[0];
    if (code == "F2")
        return take(1, 1) && take(3, 1000) && take(4, 100) && take(5, 1);
    if (code == "F4")
        return take(2, 1) && take(3, 100) && take(4, 1);
    if (code == "F7")
        return take(1, 1) && take(2, 1);
    return take(1, 1);
}

// Records split and converted per second: the reader over a stream of many
// receipts, each record split at ":" and its numeric fields converted. Rates
// are on wall time: on a shared machine that only understates them.
void BM_RecordSplitAndConvert(benchmark::State& state)
{
    const int receipts = static_cast<int>(state.range(0));
    std::string text;
    for (int i = 0; i < receipts; ++i)
        text += bench::receiptFile();
    std::istringstream in(text);

    LineFields fields;
    std::string record;
    int64_t records = 0;
    int64_t sink = 0;
    for (auto _ : state) {
        in.clear();
        in.seekg(0);
        RecordReader reader(in);
        while (reader.next(record) == RecordReader::Result::Record) {
            SpezzaRiga(record, fields);
            if (!convertFields(fields, sink)) {
                state.SkipWithError("a field did not convert");
                return;
            }
            ++records;
        }
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(records);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_RecordSplitAndConvert)->Arg(200)->UseRealTime();

// The record reader alone, to tell its share from the split and conversion.
void BM_RecordReaderOnly(benchmark::State& state)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += bench::receiptFile();
    std::istringstream in(text);
    std::string record;
    int64_t records = 0;
    for (auto _ : state) {
        in.clear();
        in.seekg(0);
        RecordReader reader(in);
        while (reader.next(record) == RecordReader::Result::Record)
            ++records;
    }
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_RecordReaderOnly)->UseRealTime();

} // namespace
