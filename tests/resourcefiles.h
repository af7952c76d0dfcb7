#pragma once

// Small resource files made by hand, for the structure codec's tests and the
// editor's.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "testutil.h"

namespace tavolin::test {

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

inline void PutWord(Bytes& b, std::size_t value)
{
    b.push_back(static_cast<std::uint8_t>(value & 0xFF));
    b.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The resources after `out`'s header, then the index that ends every file;
// returns the index's position.
inline std::size_t PutResourcesAndIndex(Bytes& out, const std::vector<Bytes>& resources)
{
    std::vector<std::size_t> index;
    for (const auto& r : resources) {
        index.push_back(out.size());
        out.insert(out.end(), r.begin(), r.end());
    }
    const std::size_t p = out.size();
    for (const auto i : index)
        PutWord(out, i);
    PutWord(out, p);
    return p;
}

// An old-format file of these resources: header, resources, index.
inline Bytes OldFile(const std::vector<Bytes>& resources)
{
    Bytes out(4, 0);
    const std::size_t p = PutResourcesAndIndex(out, resources);
    out[0] = static_cast<std::uint8_t>(p & 0xFF);
    out[1] = static_cast<std::uint8_t>(p >> 8);
    const std::size_t indexSize = 2 * resources.size() + 3;
    out[2] = static_cast<std::uint8_t>(indexSize & 0xFF);
    out[3] = static_cast<std::uint8_t>(indexSize >> 8);
    return out;
}

inline std::uint16_t Crc(const Bytes& uids, std::size_t first)
{
    std::uint16_t crc = 0;
    for (std::size_t i = first; i < 12; i += 2) {
        crc ^= static_cast<std::uint16_t>(uids[i] << 8);
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// A compressed-format file of these resources, the first `bits` with their
// compressed-Unicode bit set; `largest` is the header's largest-resource
// field, by default the largest stored size.
inline Bytes CompressedFile(const std::vector<Bytes>& resources, std::size_t bits = 0, std::size_t largest = 0)
{
    Bytes out{0x6B, 0x4A, 0x1F, 0x10, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    const std::uint16_t even = Crc(out, 0);
    const std::uint16_t odd = Crc(out, 1);
    PutWord(out, even);
    PutWord(out, odd);
    out.push_back(0);
    for (const auto& r : resources)
        largest = std::max(largest, bits == 0 ? r.size() : 0);
    PutWord(out, largest);
    out.insert(out.end(), (resources.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits; ++i)
        out[19 + i / 8] = static_cast<std::uint8_t>(out[19 + i / 8] | 1u << (i % 8));
    PutResourcesAndIndex(out, resources);
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
