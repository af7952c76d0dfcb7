#include <gtest/gtest.h>

#include "codec/charconv.h"

namespace tavolin {
namespace {

// The rules, stated by code points rather than bytes.
std::uint8_t ExpectedDecode(unsigned code)
{
    unsigned t = (code >= 0x0E00 && code <= 0x0EFF) ? (code - 0x0E00 + 0xA0) % 256 : code % 256;
    return static_cast<std::uint8_t>(t == 0x0A ? 0x5C : t);
}

unsigned ExpectedEncode(unsigned b)
{
    if (b == '\\')
        return 0x000A;
    if (b <= 0x7E)
        return b;
    return 0x0E00 + (b + 256 - 160) % 256;
}

unsigned Code(FileChar c)
{
    return c.low + 256u * c.high;
}

TEST(DecodeChar, EveryFileCharacterFollowsTheRules)
{
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const auto low = static_cast<std::uint8_t>(code & 0xFF);
        const auto high = static_cast<std::uint8_t>(code >> 8);
        ASSERT_EQ(DecodeChar(low, high), ExpectedDecode(code)) << "U+" << std::hex << code;
    }
}

TEST(DecodeChar, Examples)
{
    EXPECT_EQ(DecodeChar(65, 0), 65);
    EXPECT_EQ(DecodeChar(10, 0), 92);
    EXPECT_EQ(DecodeChar(92, 0), 92);
    EXPECT_EQ(DecodeChar(13, 0), 13);
    EXPECT_EQ(DecodeChar(0, 0), 0);
    EXPECT_EQ(DecodeChar(0, 1), 0);
    EXPECT_EQ(DecodeChar(233, 0), 233);
    EXPECT_EQ(DecodeChar(25, 32), 25);
    EXPECT_EQ(DecodeChar(0, 14), 160);
    EXPECT_EQ(DecodeChar(1, 14), 161);
    EXPECT_EQ(DecodeChar(91, 14), 251);
    EXPECT_EQ(DecodeChar(96, 14), 0);
    EXPECT_EQ(DecodeChar(106, 14), 92);
    EXPECT_EQ(DecodeChar(129, 14), 33);
}

TEST(EncodeChar, EveryTextByteFollowsTheRules)
{
    for (unsigned b = 1; b <= 255; ++b)
        ASSERT_EQ(Code(EncodeChar(static_cast<std::uint8_t>(b))), ExpectedEncode(b)) << b;
    EXPECT_EQ(EncodeChar(127), (FileChar{223, 14}));
    EXPECT_EQ(EncodeChar(159), (FileChar{255, 14}));
    EXPECT_EQ(EncodeChar(160), (FileChar{0, 14}));
    EXPECT_EQ(EncodeChar(233), (FileChar{73, 14}));
    EXPECT_EQ(EncodeChar(255), (FileChar{95, 14}));
}

TEST(CharConversion, RoundTrips)
{
    for (unsigned b = 1; b <= 255; ++b) {
        const FileChar c = EncodeChar(static_cast<std::uint8_t>(b));
        EXPECT_EQ(DecodeChar(c.low, c.high), b == 10 ? 92 : b) << b;
    }
    // Only these file characters survive decoding and encoding unchanged.
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const bool keeps = (code >= 0x0001 && code <= 0x007E && code != 0x005C) ||
                           (code >= 0x0E00 && code <= 0x0E5F) || (code >= 0x0EDF && code <= 0x0EFF);
        const std::uint8_t t = DecodeChar(code & 0xFF, code >> 8);
        const bool same = t != 0 && Code(EncodeChar(t)) == code;
        ASSERT_EQ(same, keeps) << "U+" << std::hex << code;
    }
    EXPECT_EQ(Code(EncodeChar(DecodeChar(0xE9, 0x00))), 0x0E49u);
    EXPECT_EQ(Code(EncodeChar(DecodeChar(0xAC, 0x20))), 0x0E0Cu);
    EXPECT_EQ(Code(EncodeChar(DecodeChar(0xBC, 0x0E))), 0x000Au);
}

} // namespace
} // namespace tavolin
