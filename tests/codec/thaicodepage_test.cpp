#include <gtest/gtest.h>

#include <set>

#include "codec/thaicodepage.h"

namespace tavolin {
namespace {

const ThaiCodePage& Page()
{
    return ThaiCodePage::Instance();
}

TEST(ThaiCodePage, EveryByteShowsAsItsOwnCharacterAndComesBack)
{
    ASSERT_TRUE(Page().HasConverter()) << "glibc has no WINDOWS-874 converter here";
    std::set<char32_t> seen;
    for (int b = 1; b < 256; ++b) {
        const char32_t c = Page().ToUnicode(static_cast<std::uint8_t>(b));
        EXPECT_GE(c, 0x20u) << b;                 // never an invisible control
        EXPECT_TRUE(seen.insert(c).second) << b;  // no two bytes alike
        EXPECT_EQ(Page().FromUnicode(c), std::optional<std::uint8_t>(b)) << b;
    }
}

TEST(ThaiCodePage, ShowsTheWindowsThaiTable)
{
    EXPECT_EQ(Page().ToUnicode('A'), U'A');
    EXPECT_EQ(Page().ToUnicode('\\'), U'\\');
    for (int b = 161; b <= 218; ++b)
        EXPECT_EQ(Page().ToUnicode(static_cast<std::uint8_t>(b)), char32_t(0x0E00 + b - 160)) << b;
    for (int b = 223; b <= 251; ++b)
        EXPECT_EQ(Page().ToUnicode(static_cast<std::uint8_t>(b)), char32_t(0x0E00 + b - 160)) << b;
    EXPECT_EQ(Page().ToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(Page().ToUnicode(0xA0), U'\u00A0');
    EXPECT_EQ(Page().ToUnicode(13), U'\u240D');
    EXPECT_EQ(Page().ToUnicode(127), U'\u2421');
    // Bytes the code page leaves undefined get private-use stand-ins.
    for (int b : {0x81, 0x84, 0x86, 0x90, 0x98, 0x9F, 0xDB, 0xDE, 0xFC, 0xFF})
        EXPECT_EQ(Page().ToUnicode(static_cast<std::uint8_t>(b)), char32_t(0xF700 + b)) << b;
}

TEST(ThaiCodePage, TypedCharactersWithoutAByteAreRefused)
{
    for (const char32_t c : {U'\0', U'\u00E9', U'\u0416', U'\u4E2D', U'\u0E5C', U'\r'})
        EXPECT_FALSE(Page().FromUnicode(c).has_value()) << std::hex << unsigned(c);
    EXPECT_EQ(Page().FromUnicode(std::u32string_view(U"\u0E01a\u240D")), std::optional<std::string>("\xA1" "a\r"));
    EXPECT_EQ(Page().FromUnicode(std::u32string_view(U"a\u00E9")), std::nullopt);
    EXPECT_EQ(Page().ToUnicode(std::string_view("\xA1z")), U"\u0E01z");
}

} // namespace
} // namespace tavolin
