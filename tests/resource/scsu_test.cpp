#include "resource/scsu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tavolin::resource {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "12 9C BE" -> bytes.
Bytes Hex(const std::string& text)
{
    Bytes out;
    std::istringstream in(text);
    unsigned value = 0;
    while (in >> std::hex >> value)
        out.push_back(static_cast<std::uint8_t>(value));
    return out;
}

// "041C 043E" -> UTF-16 units.
std::u16string Units(const std::string& text)
{
    std::u16string out;
    std::istringstream in(text);
    unsigned value = 0;
    while (in >> std::hex >> value)
        out += static_cast<char16_t>(value);
    return out;
}

struct DecodeCase {
    const char* name;
    const char* bytes;
    std::optional<std::string> units; // nullopt: refused
};

TEST(Scsu, DecodesAsThePlatformReads)
{
    const std::vector<DecodeCase> cases = {
        {"german, window 0 active", "D6 6C 20 66 6C 69 65 DF 74", "00D6 006C 0020 0066 006C 0069 0065 00DF 0074"},
        {"russian, SC2", "12 9C BE C1 BA B2 B0", "041C 043E 0441 043A 0432 0430"},
        {"japanese, every kind of tag",
         "08 00 1B 4C EA 16 CA D3 94 0F 53 EF 61 1B E5 84 C4 0F 53 EF 61 1B E5 84 C4 16 CA D3 94 08 02 0F "
         "53 4A 4E 16 7D 00 30 82 52 4D 30 6B 6D 41 88 4C E5 97 9F 08 0C 16 CA D3 94 15 AE 0E 6B 4C 08 0D "
         "8C B4 A3 9F CA 99 CB 8B C2 97 CC AA 84 08 02 0E 7C 73 E2 16 A3 B7 CB 93 D3 B4 C5 DC 9F 0E 79 3E "
         "06 AE B1 9D 93 D3 08 0C BE A3 8F 08 88 BE A3 8D D3 A8 A3 97 C5 17 89 08 0D 15 D2 08 01 93 C8 AA "
         "8F 0E 61 1B 99 CB 0E 4E BA 9F A1 AE 93 A8 A0 08 02 08 0C E2 16 A3 B7 CB 0F 4F E1 80 05 EC 60 8D "
         "EA 06 D3 E6 0F 8A 00 30 44 65 B9 E4 FE E7 C2 06 CB 82",
         "3000 266A 30EA 30F3 30B4 53EF 611B 3044 3084 53EF 611B 3044 3084 30EA 30F3 30B4 3002 534A 4E16 "
         "7D00 3082 524D 306B 6D41 884C 3057 305F 300C 30EA 30F3 30B4 306E 6B4C 300D 304C 3074 3063 305F "
         "308A 3059 308B 304B 3082 3057 308C 306A 3044 3002 7C73 30A2 30C3 30D7 30EB 30B3 30F3 30D4 30E5 "
         "30FC 30BF 793E 306E 30D1 30BD 30B3 30F3 300C 30DE 30C3 30AF FF08 30DE 30C3 30AD 30F3 30C8 30C3 "
         "30B7 30E5 FF09 300D 3092 3001 3053 3088 306A 304F 611B 3059 308B 4EBA 305F 3061 306E 3053 3068 "
         "3060 3002 300C 30A2 30C3 30D7 30EB 4FE1 8005 300D 306A 3093 3066 8A00 3044 65B9 307E 3067 3042 "
         "308B 3002"},
        {"empty", "", ""},
        {"pass-through controls", "00 09 0A 0D", "0000 0009 000A 000D"},
        {"SQ0 quotes a control", "01 1B 41", "001B 0041"},
        {"SQ1 with a high byte quotes dynamic window 1", "02 81", "00C1"},
        {"SQU, SCU, UQU, UC0", "0E 4E 00 0F 4E 8C F0 E0 00 E0 41", "4E00 4E8C E000 0041"},
        {"SDX: a supplementary character as a surrogate pair", "0B 01 EC 80 81", "D83D DE00 D83D DE01"},
        {"UDX from Unicode mode", "0F F1 21 EC 80 10 80 11 80", "D83D DE00 0080 D83D DE00"},
        {"SD4 with a special offset", "1C FB C1 20", "03B1 0020"},
        {"UD4 with a Hangul-range offset", "0F EC 68 80", "E000"},
        {"SD with reserved offsets gives base 0", "1C 00 C1 1D A8 C2 1E F8 C3", "0041 0042 0043"},
        {"reserved single-byte tag", "41 0C 42", std::nullopt},
        {"reserved Unicode-mode tag", "0F F2 00 41", std::nullopt},
        {"SQ without its byte", "41 01", std::nullopt},
        {"SQU without its second byte", "0E 4E", std::nullopt},
        {"SD without its offset", "18", std::nullopt},
        {"SDX without its second byte", "0B 01", std::nullopt},
        {"half a unit in Unicode mode", "0F 4E 00 4E", std::nullopt},
        {"UD without its offset", "0F E8", std::nullopt},
        {"UQU without its bytes", "0F F0 E0", std::nullopt},
        {"UDX without its bytes", "0F F1 01", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto decoded = DecodeScsu(Hex(c.bytes));
        if (c.units)
            EXPECT_EQ(decoded, std::optional<std::u16string>(Units(*c.units))) << c.name;
        else
            EXPECT_EQ(decoded, std::nullopt) << c.name;
    }
}

struct EncodeCase {
    const char* name;
    std::u16string text;
    const char* bytes;
};

// The compiler's choices, each pinned by a text that needs it.
TEST(Scsu, EncodesAsTheCompilerDoes)
{
    const std::vector<EncodeCase> cases = {
        {"empty", u"", ""},
        {"ASCII and pass-through controls", u"Hi!\t\r\n", "48 69 21 09 0D 0A"},
        {"NUL", std::u16string(u"a\0", 2), "61 00"},
        {"other controls are quoted from static window 0", u"a\x1B\x1B", "61 01 1B 01 1B"},
        {"Latin-1 in the default window 0", u"Grüße", "47 72 FC DF 65"},
        {"Russian selects the default window 2", u"Привет", "12 9F C0 B8 B2 B5 C2"},
        {"Greek redefines window 4", u"Γειά", "1C FB A3 C5 C9 BC"},
        {"Thai redefines window 4", u"สวัสดี", "1C 1C AA A7 B1 AA 94 B5"},
        {"a known window is changed to again", u"Γε Ми Γε", "1C FB A3 C5 20 12 9C B8 20 14 A3 C5"},
        {"katakana: the lower special window wins", u"サイレント", "15 F5 E4 16 CC D3 A8"},
        {"a lone character is quoted", u"a…b", "61 0E 20 26 62"},
        {"a lone character in another window is quoted from it", u"Ми é", "12 9C B8 20 01 E9"},
        {"a lone ideograph is quoted", u"x中y", "78 0E 4E 2D 79"},
        {"ideographs switch to Unicode mode", u"日本語", "0F 65 E5 67 2C 8A 9E"},
        {"ASCII after Unicode mode returns to the current window", u"中文abc", "0F 4E 2D 65 87 E0 61 62 63"},
        {"lone ASCII stays in Unicode mode", u"中文a中文", "0F 4E 2D 65 87 00 61 4E 2D 65 87"},
        {"a known window from Unicode mode", u"中文Ми", "0F 4E 2D 65 87 E2 9C B8"},
        {"a new window from Unicode mode", u"中文Γε", "0F 4E 2D 65 87 EC FB A3 C5"},
        {"E000..F2FF is quoted in Unicode mode", u"中文\uE000\uF2FF\uF300",
         "0F 4E 2D 65 87 F0 E0 00 F0 F2 FF F3 00"},
        {"an emoji alone is a pair in Unicode mode", u"😀", "0F D8 3D DE 00"},
        {"an emoji among ASCII is two quoted units", u"Hi 😀!", "48 69 20 0E D8 3D 0E DE 00 21"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeScsu(c.text), Hex(c.bytes)) << c.name;
        EXPECT_EQ(DecodeScsu(Hex(c.bytes)), std::optional<std::u16string>(c.text)) << c.name;
    }
}

// Random texts that mix scripts, controls, private use and surrogates (also
// unpaired ones) come back from the compiler's encoding.
TEST(Scsu, EncodingDecodesToTheText)
{
    const std::vector<std::pair<char16_t, char16_t>> ranges = {
        {0x0000, 0x001F}, {0x0020, 0x007F}, {0x0080, 0x00FF}, {0x0370, 0x03FF}, {0x0400, 0x04FF},
        {0x0E00, 0x0E7F}, {0x2000, 0x20FF}, {0x3040, 0x30FF}, {0x4E00, 0x4E7F}, {0xAC00, 0xAC7F},
        {0xD800, 0xDFFF}, {0xE000, 0xE07F}, {0xF280, 0xF37F}, {0xFF00, 0xFFFF},
    };
    std::mt19937 rng(20261209);
    for (int i = 0; i < 3000; ++i) {
        std::u16string text(rng() % 40, u' ');
        // A few scripts per text, so that windows are both kept and changed.
        std::vector<std::size_t> scripts(1 + rng() % 3);
        for (auto& script : scripts)
            script = rng() % ranges.size();
        for (auto& unit : text) {
            const auto [low, high] = ranges[scripts[rng() % scripts.size()]];
            unit = static_cast<char16_t>(low + rng() % (high - low + 1));
        }
        const auto bytes = EncodeScsu(text);
        ASSERT_EQ(DecodeScsu(bytes), std::optional<std::u16string>(text)) << "text " << i;
    }
}

} // namespace
} // namespace tavolin::resource
