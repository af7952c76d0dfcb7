#pragma once

#include <cstdint>

namespace tavolin {

struct FileChar {
    std::uint8_t low;
    std::uint8_t high;
    bool operator==(const FileChar&) const = default;
};

// One two-byte file character to one text byte; 0 means "no text byte".
// The Thai block U+0E00..U+0EFF maps to (low + 160) mod 256, every other
// character to its low byte, and a line feed shows as a backslash.
[[nodiscard]] constexpr std::uint8_t DecodeChar(std::uint8_t low, std::uint8_t high)
{
    std::uint8_t t = high == 0x0E ? static_cast<std::uint8_t>(low + 0xA0) : low;
    if (t == 0x0A)
        t = 0x5C;
    return t;
}

// One text byte to the two-byte file character: a backslash stands for a line
// feed, bytes below 127 are themselves, 127..255 go to the Thai block.
[[nodiscard]] constexpr FileChar EncodeChar(std::uint8_t b)
{
    if (b == 0x5C)
        b = 0x0A;
    if (b < 0x7F)
        return {b, 0};
    return {static_cast<std::uint8_t>(b - 0xA0), 0x0E};
}

} // namespace tavolin
