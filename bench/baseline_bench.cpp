// Resave of a 1 MiB file done the slow way, as the first editor did it, beside
// the real one: a read call per byte, lookups that compare every entry, and
// tables emptied one entry at a time. Only for the comparison.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "codec/charconv.h"
#include "benchfile.h"
#include "codec/reader.h"
#include "file/safesave.h"
#include "codec/writer.h"

namespace {

using Table = std::vector<std::pair<std::string, std::string>>;

std::string Lower(const std::string& s)
{
    std::string l = s;
    for (char& c : l)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return l;
}

const std::string& Lookup(const Table& t, const std::string& key)
{
    static const std::string none;
    const std::string k = Lower(key);
    for (const auto& e : t)
        if (Lower(e.first) == k)
            return e.second;
    return none;
}

void SlowScan(const std::string& path, Table& vle, Table& vle2, Table& vle3)
{
    const int fd = ::open(path.c_str(), O_RDWR);
    const auto readByte = [&](std::uint8_t& b) { return ::read(fd, &b, 1) == 1; };
    std::uint8_t cur = 0, last = 0, before = 0;
    int hold = 0, number = 0;
    std::string acc;
    while (readByte(cur)) {
        if (hold == 2)
            acc += std::to_string(before) + " ";
        else
            ++hold;
        if (cur == 171) {
            vle2.emplace_back(std::to_string(number), acc);
            acc.clear();
            const std::uint8_t length = last;
            for (int i = 0; i < length; ++i) {
                std::uint8_t lo = 0, hi = 0;
                if (!readByte(lo) || !readByte(hi))
                    break;
                cur = tavolin::DecodeChar(lo, hi);
                if (cur != 0)
                    acc.push_back(static_cast<char>(cur));
            }
            ++number;
            vle3.emplace_back(std::to_string(number), std::to_string(length));
            vle.emplace_back(std::to_string(number), acc);
            acc.clear();
            hold = 0;
        }
        before = last;
        last = cur;
    }
    if (hold == 2)
        acc += std::to_string(before) + " ";
    if (hold >= 1)
        acc += std::to_string(last);
    vle2.emplace_back(std::to_string(number), acc);
    ::close(fd);
}

void SlowResave(const std::string& path)
{
    Table vle, vle2, vle3;
    SlowScan(path, vle, vle2, vle3);
    std::vector<std::uint8_t> out;
    tavolin::WriteGapRecord(out, Lookup(vle2, "0"));
    for (std::size_t k = 1; k <= vle.size(); ++k) {
        const std::string id = std::to_string(k);
        const int capacity = std::stoi(Lookup(vle3, id));
        const std::string& text = Lookup(vle, id);
        out.push_back(static_cast<std::uint8_t>(capacity));
        out.push_back(171);
        for (const char c : text) {
            const auto fc = tavolin::EncodeChar(static_cast<std::uint8_t>(c));
            out.push_back(fc.low);
            out.push_back(fc.high);
        }
        out.insert(out.end(), 2 * (static_cast<std::size_t>(capacity) - text.size()), 0);
        tavolin::WriteGapRecord(out, Lookup(vle2, id));
    }
    tavolin::ReplaceFile(path, out);
    for (Table* t : {&vle, &vle2, &vle3})
        while (!t->empty())
            t->erase(t->begin());
}

// About 1 MiB: slots of 20 characters holding 12 letters, a few gap bytes.
// Made once for both benchmarks, removed when the program ends.
std::string MakeFile()
{
    struct File {
        std::string path = tavolin::bench::MakeBenchFile("tavolin-baseline", (1 << 20) / 45 + 1);
        ~File() { std::remove(path.c_str()); }
    };
    static const File file;
    return file.path;
}

void BM_Resave1MiB_Baseline(benchmark::State& state)
{
    const std::string path = MakeFile();
    for (auto _ : state)
        SlowResave(path);
}
BENCHMARK(BM_Resave1MiB_Baseline)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Resave1MiB(benchmark::State& state)
{
    const std::string path = MakeFile();
    for (auto _ : state) {
        tavolin::StringTables tables;
        tavolin::ScanResourceFile(path, tables);
        tavolin::SaveTables(path, tables, false);
    }
}
BENCHMARK(BM_Resave1MiB)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
