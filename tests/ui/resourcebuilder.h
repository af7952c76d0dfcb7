#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "testutil.h"

namespace tavolin::test {

// Small resource files of the old format, made by hand.
inline Bytes Utf16(std::u16string_view s)
{
    Bytes b;
    for (const char16_t c : s) {
        b.push_back(static_cast<std::uint8_t>(c & 0xFF));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An old-format file of these resources: header, resources, index.
inline Bytes OldFile(const std::vector<Bytes>& resources)
{
    Bytes out(4, 0);
    std::vector<std::size_t> index;
    for (const auto& r : resources) {
        index.push_back(out.size());
        out.insert(out.end(), r.begin(), r.end());
    }
    const std::size_t end = out.size();
    index.push_back(end);
    for (const auto i : index) {
        out.push_back(static_cast<std::uint8_t>(i & 0xFF));
        out.push_back(static_cast<std::uint8_t>(i >> 8));
    }
    out[0] = static_cast<std::uint8_t>(end & 0xFF);
    out[1] = static_cast<std::uint8_t>(end >> 8);
    const std::size_t indexSize = 2 * resources.size() + 3;
    out[2] = static_cast<std::uint8_t>(indexSize & 0xFF);
    out[3] = static_cast<std::uint8_t>(indexSize >> 8);
    return out;
}

// An LTEXT at an even offset: length byte, pad, characters.
inline Bytes Ltext(std::u16string_view s)
{
    return Cat({{static_cast<std::uint8_t>(s.size()), 0xAB}, Utf16(s)});
}

// 16-bit text between two WORDs, with no length byte: found by a guess.
inline Bytes GuessedText(std::u16string_view s)
{
    return Cat({{1, 0}, Utf16(s), {0xFF, 0xFF}});
}

} // namespace tavolin::test
