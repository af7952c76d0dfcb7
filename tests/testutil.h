#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavolin::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return m_path; }
    // Writes `bytes` to `name` inside the folder and returns its full path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

private:
    std::filesystem::path m_path;
};

[[nodiscard]] Bytes ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const Bytes& bytes);
// The same for text files (PO, XLIFF, logs).
[[nodiscard]] std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, const std::string& text);

// How many entries `dir` holds.
[[nodiscard]] std::size_t FilesIn(const std::filesystem::path& dir);

// Whether AddressSanitizer is built in: it needs memory, address space,
// descriptors and time of its own, so some tests ask for less under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// The folder of sample resource files, or an empty path when it is missing.
[[nodiscard]] std::filesystem::path CorpusDir();
// Every file of the corpus with the ending .rsc (any case), sorted.
[[nodiscard]] std::vector<std::filesystem::path> CorpusFiles();

} // namespace tavolin::test

#define TAVOLIN_REQUIRE_CORPUS()                                                          \
    do {                                                                                  \
        if (::tavolin::test::CorpusDir().empty())                                         \
            GTEST_SKIP() << "sample resource files not found at " TAVOLIN_CORPUS_DIR      \
                            " (a checkout without ../shared/corpus)";                     \
    } while (0)

#include "tables/stringtable.h"

namespace tavolin::test {

using Entries = std::vector<std::pair<std::string, std::string>>;

[[nodiscard]] Entries EntriesOf(const StringTable& table);

// Emptied tables, as Open leaves them before the scan.
struct ScannedFile {
    StringTables tables;
    std::string error; // empty when the scan succeeded
};
// Scans `bytes` from a file of a temporary folder.
[[nodiscard]] ScannedFile ScanBytes(const Bytes& bytes);
// Scans the file at `path` (copy corpus files to a temporary folder first).
[[nodiscard]] ScannedFile ScanPath(const std::string& path);

// The message of the IoError that saving `bytes` over `target` raises; empty
// when the save succeeds.
[[nodiscard]] std::string SaveError(const std::string& target, const Bytes& bytes);

} // namespace tavolin::test
