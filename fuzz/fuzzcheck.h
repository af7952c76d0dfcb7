#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tables/stringtable.h"

namespace tavolin::fuzz {

// A broken promise: prints `what` and aborts, which libFuzzer reports as a
// crash and keeps the input of.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool ok, const std::string& what)
{
    if (!ok)
        Fail(what);
}

using Entries = std::vector<std::pair<std::string, std::string>>;
[[nodiscard]] Entries EntriesOf(const StringTable& table);

// A folder of its own under $TMPDIR, else /dev/shm, made once per process
// and removed at its exit.
[[nodiscard]] const std::string& WorkFolder();

[[nodiscard]] std::vector<std::uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Names in `folder` other than `except`.
[[nodiscard]] std::vector<std::string> OtherFiles(const std::string& folder, const std::string& except);

} // namespace tavolin::fuzz
