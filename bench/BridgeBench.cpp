// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include "bridge/Bridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/FileAccess.h"
#include "core/SharedState.h"
#include "printer/AcceptingControl.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Bytes this process has handed to write-like calls so far (wchar).
long long writtenChars()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "wchar:")
            return value;
    return -1;
}

// A bridge with the do-nothing printer on a fresh program directory, started.
struct StartedBridge {
    bench::ProgramDir dir;
    SharedState shared;
    FakeWindow window;
    FakeClock clock;
    AcceptingControl printer;
    std::unique_ptr<Bridge> bridge;

    StartedBridge()
    {
        shared.programDir = dir.path();
        bridge = std::make_unique<Bridge>(shared, window, clock, printer);
        bridge->start();
    }
    fs::path drop() const { return shared.dropDir(); }
    fs::path work() const { return shared.workDir(); }
};

bool isEmptyDir(const fs::path& dir)
{
    std::error_code ec;
    return fs::is_empty(dir, ec) && !ec;
}

// An idle tick with an empty drop folder. Quiet: the configuration and the
// folder have been left alone for a while, so one stat of each stands for
// reading Eps_Vuoto and listing the folder (the files here are new, so the
// settle period is set to nothing). Full look: Eps_Vuoto read and the folder
// listed, as right after a change and once every refresh period.
void BM_IdleTick(benchmark::State& state, bool quiet)
{
    StartedBridge b;
    // The files carry the real time; the looks are measured against it.
    b.clock.wall = std::chrono::system_clock::now();
    if (quiet)
        b.bridge->setQuietChecks(std::chrono::nanoseconds(0), std::chrono::hours(1));
    else
        b.bridge->setQuietChecks(std::chrono::hours(1), std::chrono::nanoseconds(0));
    const fs::path config = b.shared.configFile();
    const auto configTime = fs::last_write_time(config);
    const long long before = writtenChars();
    for (auto _ : state)
        b.bridge->tick();
    const long long after = writtenChars();
    if (fs::last_write_time(config) != configTime)
        state.SkipWithError("an idle tick rewrote the configuration file");
    if (b.shared.errorState)
        state.SkipWithError(("an error was reported: " + b.shared.lastErrorText).c_str());
    state.counters["wchar_per_tick"] = benchmark::Counter(static_cast<double>(after - before),
                                                          benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_IdleTick, Quiet, true);
BENCHMARK_CAPTURE(BM_IdleTick, FullLook, false);

constexpr int BatchFiles = Bridge::MaxBatch;

void dropBatch(const fs::path& drop, const std::string& content)
{
    for (int i = 0; i < BatchFiles; ++i)
        bench::writeFile(drop / bench::fiscalFileName(i + 1), content);
}

// The file system's own cost of a batch, in plain C++: list the drop folder,
// rename every file into the work folder, then read each one and delete it.
size_t fileSystemFloor(const fs::path& drop, const fs::path& work)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(drop))
        names.push_back(entry.path().filename().string());
    for (const auto& name : names)
        fs::rename(drop / name, work / name);
    size_t bytes = 0;
    char buffer[4096];
    for (const auto& name : names) {
        const fs::path path = work / name;
        {
            std::ifstream in(path, std::ios::binary);
            while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
                bytes += static_cast<size_t>(in.gcount());
        }
        fs::remove(path);
    }
    return bytes;
}

// What the bridge puts on the disk for each receipt file besides the floor's
// work: the running note's marks (taken, first sale, payment, done), each one
// in-place write and fdatasync, and the flush of both folders after the move
// into IN.
constexpr int NoteMarksPerFile = 4;
constexpr int FolderFlushesPerFile = 2;

// The floor plus those durable steps, in plain C++ on the same folders: the
// least that the bridge's guarantees cost on this disk.
size_t durableFloor(const fs::path& drop, const fs::path& work, int note)
{
    const std::string mark(512, 'n');
    const auto markNote = [&](int k) {
        benchmark::DoNotOptimize(::pwrite(note, mark.data(), mark.size(), off_t(k % 2) * 4096));
        benchmark::DoNotOptimize(::fdatasync(note));
    };
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(drop))
        names.push_back(entry.path().filename().string());
    size_t bytes = 0;
    char buffer[4096];
    int marks = 0;
    for (const auto& name : names) {
        markNote(marks++);
        fs::rename(drop / name, work / name);
        for (int k = 0; k < FolderFlushesPerFile; ++k)
            benchmark::DoNotOptimize(syncFolder(k % 2 == 0 ? work : drop));
        const fs::path path = work / name;
        {
            std::ifstream in(path, std::ios::binary);
            while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
                bytes += static_cast<size_t>(in.gcount());
        }
        for (int k = 1; k < NoteMarksPerFile; ++k)
            markNote(marks++);
        fs::remove(path);
    }
    return bytes;
}

template <typename Run>
double timed(Run&& run)
{
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// 101 receipts from the drop folder to deleted, through the bridge with the
// do-nothing printer. Each iteration also times the file-system floor on the
// same files, alternating which goes first, and reports the ratio. A batch
// changes Eps_Vuoto twice (busy, then idle), each an atomic and durable
// replacement of the configuration file; the same two writes are timed on
// their own in each iteration (flag_writes_ms), so the share of the storage
// device's flush in the batch can be told from the bridge's own work. The
// durable floor (the floor plus the note's marks and the folder flushes the
// bridge makes for each file) is timed in each iteration too.
void BM_Batch101_NullPrinter(benchmark::State& state)
{
    StartedBridge b;
    const std::string content = bench::receiptFile();
    const fs::path config = b.shared.configFile();
    const UniqueFd note(::open((b.dir.path() / ".banco.nota").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!note || !writeAll(note.get(), std::string(8192, '\0'), 0) || ::fsync(note.get()) != 0) {
        state.SkipWithError("the durable floor's note cannot be made");
        return;
    }
    double bridgeTotal = 0, floorTotal = 0, flagTotal = 0, durableTotal = 0;
    bool floorFirst = false;
    for (auto _ : state) {
        flagTotal += timed([&] {
            benchmark::DoNotOptimize(ScriviINI(keys::Section, keys::Eps_Vuoto, "0", config));
            benchmark::DoNotOptimize(ScriviINI(keys::Section, keys::Eps_Vuoto, "-1", config));
        });
        double bridgeTime = 0, floorTime = 0;
        auto runBridge = [&] {
            dropBatch(b.drop(), content);
            bridgeTime = timed([&] { b.bridge->tick(); });
        };
        auto runFloor = [&] {
            dropBatch(b.drop(), content);
            floorTime = timed([&] { benchmark::DoNotOptimize(fileSystemFloor(b.drop(), b.work())); });
        };
        if (floorFirst) {
            runFloor();
            runBridge();
        } else {
            runBridge();
            runFloor();
        }
        floorFirst = !floorFirst;
        dropBatch(b.drop(), content);
        durableTotal += timed([&] { benchmark::DoNotOptimize(durableFloor(b.drop(), b.work(), note.get())); });
        if (!isEmptyDir(b.drop()) || !isEmptyDir(b.work()) || b.shared.errorState) {
            state.SkipWithError(("the batch did not run clean: " + b.shared.lastErrorText).c_str());
            break;
        }
        state.SetIterationTime(bridgeTime);
        bridgeTotal += bridgeTime;
        floorTotal += floorTime;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * BatchFiles);
    const double n = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floorTotal / n * 1e3;
    state.counters["bridge_ms"] = bridgeTotal / n * 1e3;
    state.counters["flag_writes_ms"] = flagTotal / n * 1e3;
    state.counters["ratio_to_floor"] = floorTotal > 0 ? bridgeTotal / floorTotal : 0;
    state.counters["ratio_less_flag_writes"] = floorTotal > 0 ? (bridgeTotal - flagTotal) / floorTotal : 0;
    state.counters["durable_floor_ms"] = durableTotal / n * 1e3;
    state.counters["ratio_to_durable_floor"] = durableTotal > 0 ? bridgeTotal / durableTotal : 0;
}
BENCHMARK(BM_Batch101_NullPrinter)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor alone, for the table.
void BM_Batch101_FileSystemFloor(benchmark::State& state)
{
    StartedBridge b;
    const std::string content = bench::receiptFile();
    for (auto _ : state) {
        dropBatch(b.drop(), content);
        state.SetIterationTime(timed([&] { benchmark::DoNotOptimize(fileSystemFloor(b.drop(), b.work())); }));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * BatchFiles);
}
BENCHMARK(BM_Batch101_FileSystemFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
