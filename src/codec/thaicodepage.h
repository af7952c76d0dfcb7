#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavolin {

// How text bytes look on the screen and how typed characters become bytes:
// the Windows Thai code page (874) as the system's converter knows it, so the
// Thai block of a file shows as Thai letters. Every byte 1..255 shows as some
// character and comes back as itself: control bytes as their control
// pictures (U+2401.., U+2421), bytes the code page leaves undefined as the
// private-use characters U+F700 + byte.
class ThaiCodePage {
public:
    static const ThaiCodePage& Instance();

    // The character shown for text byte b (1..255); 0 for b == 0.
    [[nodiscard]] char32_t ToUnicode(std::uint8_t b) const { return m_toUnicode[b]; }
    // The text byte for a typed character, or nothing when it has none.
    [[nodiscard]] std::optional<std::uint8_t> FromUnicode(char32_t c) const;

    [[nodiscard]] std::u32string ToUnicode(std::string_view text) const;
    // Nothing when any character has no byte.
    [[nodiscard]] std::optional<std::string> FromUnicode(std::u32string_view text) const;

    // True when the system's converter was found; without it only ASCII and
    // the reversible stand-ins are shown.
    [[nodiscard]] bool HasConverter() const { return m_hasConverter; }

private:
    ThaiCodePage();

    std::array<char32_t, 256> m_toUnicode{};
    std::unordered_map<char32_t, std::uint8_t> m_fromUnicode;
    bool m_hasConverter = false;
};

} // namespace tavolin
