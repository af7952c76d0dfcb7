#pragma once

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavolin::bench {

// Writes a file of `strings` slots of 20 characters, each holding a 12-letter
// text, with a few gap bytes between them (45 bytes a string), to a path in
// /tmp named after `stem` and this process, and returns the path.
inline std::string MakeBenchFile(const std::string& stem, int strings)
{
    const std::string path = "/tmp/" + stem + "-" + std::to_string(::getpid()) + ".rsc";
    std::vector<char> bytes = {0x6b, 0x4a, 0x1f, 0x10};
    for (int i = 0; i < strings; ++i) {
        bytes.insert(bytes.end(), {20, static_cast<char>(0xAB)});
        for (int c = 0; c < 20; ++c)
            bytes.insert(bytes.end(), {c < 12 ? static_cast<char>('a' + (i + c) % 26) : '\0', 0});
        bytes.insert(bytes.end(), {3, 0, 7});
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace tavolin::bench
