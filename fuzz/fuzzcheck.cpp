#include "fuzzcheck.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace tavolin::fuzz {

void Fail(const std::string& what)
{
    // Bytes outside printable ASCII as \ooo, so that a message with NULs
    // or other bytes in it shows whole.
    std::string shown;
    for (const char c : what) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            shown += c;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\%03o", b);
            shown += code;
        }
    }
    std::fprintf(stderr, "fuzz check failed: %s\n", shown.c_str());
    std::abort();
}

Entries EntriesOf(const StringTable& table)
{
    Entries entries;
    for (std::size_t i = 0; i < table.EntryCount(); ++i)
        entries.emplace_back(table.KeyAt(i), table.ValueAt(i));
    return entries;
}

const std::string& WorkFolder()
{
    // Never destroyed: the handler that removes the folder at exit still
    // needs its name.
    static const std::string* const folder = [] {
        // A memory file system where there is one: every save flushes.
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp                      ? tmp
                                 : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                                   : "/tmp";
        std::string path = base + "/tavolin-fuzz-XXXXXX";
        if (!::mkdtemp(path.data()))
            Fail("cannot make a work folder under " + base);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(WorkFolder(), ec);
        });
        return new std::string(path);
    }();
    return *folder;
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        Fail("cannot write " + path);
}

std::vector<std::string> OtherFiles(const std::string& folder, const std::string& except)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        Fail("cannot list " + folder);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name != except)
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace tavolin::fuzz
