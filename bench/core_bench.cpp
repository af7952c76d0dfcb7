// Scanning and saving files of many strings, and lookups in large tables.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "benchfile.h"
#include "codec/reader.h"
#include "file/safesave.h"
#include "codec/writer.h"

namespace {

using tavolin::StringTables;

std::string MakeFile(int strings)
{
    return tavolin::bench::MakeBenchFile("tavolin-bench", strings);
}

StringTables Scanned(const std::string& path)
{
    StringTables tables;
    tavolin::ScanResourceFile(path, tables);
    return tables;
}

void BM_ScanResourceFile(benchmark::State& state)
{
    const std::string path = MakeFile(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Scanned(path));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::remove(path.c_str());
}
BENCHMARK(BM_ScanResourceFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SavePatchFile(benchmark::State& state)
{
    const std::string path = MakeFile(static_cast<int>(state.range(0)));
    const StringTables tables = Scanned(path);
    for (auto _ : state)
        tavolin::SaveTables(path, tables, false);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::remove(path.c_str());
}
BENCHMARK(BM_SavePatchFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// In memory, no file: bytes per second of the scan and of building the file.
std::vector<std::uint8_t> FileBytes(int strings)
{
    const std::string path = MakeFile(strings);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::remove(path.c_str());
    return bytes;
}

void BM_ScanResourceBytes(benchmark::State& state)
{
    const auto bytes = FileBytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        StringTables tables;
        tavolin::SavingChanges changes;
        tavolin::ScanResourceBytes(bytes, tables, &changes);
        benchmark::DoNotOptimize(tables);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_ScanResourceBytes)->Arg(700000)->Unit(benchmark::kMillisecond);

void BM_BuildPatchFile(benchmark::State& state)
{
    const auto bytes = FileBytes(static_cast<int>(state.range(0)));
    StringTables tables;
    tavolin::ScanResourceBytes(bytes, tables);
    for (auto _ : state)
        benchmark::DoNotOptimize(tavolin::BuildPatchFile(tables.vle, tables.vle2, tables.vle3));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_BuildPatchFile)->Arg(700000)->Unit(benchmark::kMillisecond);

// A lookup of the last ID costs the same as one of the first.
void BM_ValueOfLastId(benchmark::State& state)
{
    tavolin::StringTable table("ID", "Value");
    for (int i = 1; i <= state.range(0); ++i)
        table.AppendEntry(std::to_string(i), "text");
    const std::string last = std::to_string(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(table.ValueOf(last));
}
BENCHMARK(BM_ValueOfLastId)->Arg(100)->Arg(100000);

void BM_RemoveAllEntries(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        tavolin::StringTable table("ID", "Value");
        for (int i = 1; i <= state.range(0); ++i)
            table.AppendEntry(std::to_string(i), "text");
        state.ResumeTiming();
        table.RemoveAllEntries();
    }
}
BENCHMARK(BM_RemoveAllEntries)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
