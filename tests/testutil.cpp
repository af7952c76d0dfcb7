#include "testutil.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <stdlib.h>

namespace tavolin::test {

std::size_t FilesIn(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tavolin-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests take write bits away; give them back so everything can go.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::end(it);
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const
{
    const fs::path path = m_path / name;
    WriteAll(path, bytes);
    return path.string();
}

Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadText(const fs::path& path)
{
    const Bytes bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

void WriteText(const fs::path& path, const std::string& text)
{
    WriteAll(path, Bytes(text.begin(), text.end()));
}

fs::path CorpusDir()
{
    const fs::path dir = TAVOLIN_CORPUS_DIR;
    std::error_code ec;
    return fs::is_directory(dir, ec) ? dir : fs::path();
}

std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    const fs::path dir = CorpusDir();
    if (dir.empty())
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && ext == ".rsc")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace tavolin::test

#include "file/errors.h"
#include "file/safesave.h"
#include "codec/reader.h"
#include "tables/error.h"

namespace tavolin::test {

Entries EntriesOf(const StringTable& table)
{
    Entries entries;
    for (std::size_t i = 0; i < table.EntryCount(); ++i)
        entries.emplace_back(table.KeyAt(i), table.ValueAt(i));
    return entries;
}

ScannedFile ScanPath(const std::string& path)
{
    ScannedFile scanned;
    try {
        ScanResourceFile(path, scanned.tables);
    } catch (const TavolinError& e) {
        scanned.error = e.what();
    }
    return scanned;
}

ScannedFile ScanBytes(const Bytes& bytes)
{
    const TempDir dir;
    return ScanPath(dir.Write("file.rsc", bytes));
}

std::string SaveError(const std::string& target, const Bytes& bytes)
{
    try {
        ReplaceFile(target, bytes);
    } catch (const IoError& e) {
        return e.what();
    }
    return "";
}

} // namespace tavolin::test
