#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>
#include <set>

#include "codec/charconv.h"
#include "codec/displaytext.h"
#include "codec/thaicodepage.h"

namespace tavolin {
namespace {

// What glibc's TIS-620 converter gives for one byte, or nothing.
std::optional<char32_t> Tis620(std::uint8_t b)
{
    const iconv_t cd = iconv_open("UTF-32LE", "TIS-620");
    if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr): iconv_open's failure value
        return std::nullopt;
    char in[1] = {static_cast<char>(b)};
    unsigned char out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && outLeft == 0;
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

TEST(ThaiCodePage, EveryByteShowsTheFilesCharacterOrAVisibleStandIn)
{
    ASSERT_TRUE(Tis620(0xA1).has_value()) << "glibc has no TIS-620 converter here";
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        const std::optional<char32_t> tis = Tis620(byte);
        const FileChar saved = EncodeChar(byte);
        const char32_t file = saved.low + 256u * saved.high;
        char32_t expected;
        if (b == 0)
            expected = 0;
        else if (b < 0x20)
            expected = 0x2400 + b; // control picture
        else if (b == '\\')
            expected = U'\\'; // the line feed's stand-in in every text
        else if (tis && *tis >= 0x20 && *tis != 0x7F)
            expected = *tis; // ASCII and the Thai letters, as TIS-620 has them
        else
            expected = 0x2800 + b; // unassigned in the Thai block: Braille of the byte
        EXPECT_EQ(ShownChar(byte), expected) << b;
        // What is shown is what a save writes, where that is visible.
        if (tis && expected == *tis && b != '\\') {
            EXPECT_EQ(file, expected) << b;
        }
        EXPECT_TRUE(seen.insert(ShownChar(byte)).second) << b;
        const auto back = TextByteOf(ShownChar(byte));
        if (b == 0 || b == 10)
            EXPECT_EQ(back, std::nullopt) << b; // no character; a line feed comes back as '\'
        else
            EXPECT_EQ(back, std::optional<std::uint8_t>(byte)) << b;
    }
}

TEST(DisplayText, TypedCharactersWithoutAByteThatComesBackAreRefused)
{
    for (const char32_t c : {U'\0', U'\u00E9', U'\u0416', U'\u4E2D', U'\u0E5C', U'\u0EE0', U'\u20AC',
                             U'\u2026', U'\u00A0', U'\u240A', U'\r'}) {
        const TextFromShown t = ShownToText(std::u32string(1, c));
        EXPECT_FALSE(t.text.has_value()) << std::hex << unsigned(c);
        EXPECT_EQ(t.missing, c);
    }
    EXPECT_EQ(ShownToText(U"\u0E01a\u240D\n\u2880").text, std::optional<std::string>("\xA1" "a\r\\\x80"));
    EXPECT_EQ(Utf8ToText("x\xC3\xA9").missing, U'\u00E9');
    EXPECT_EQ(Utf8ToText("\xFF").missing, U'\uFFFD');
    EXPECT_EQ(TextToUtf8("\xA1z\x80"), "\u0E01z\u2880");
    EXPECT_EQ(TextToShown("\x0D\\"), U"\u240D\\");
}

TEST(DisplayText, OneWordingForWhatASaveChanges)
{
    struct Case {
        CharChange change;
        bool caption;
        bool named;
        std::string words;
    };
    const Case cases[] = {
        {{0x0416, 0x0016}, false, false, "U+0416 becomes U+0016"},
        {{0x0416, 0x0016}, false, true, "\u0416 (U+0416) becomes U+0016"},
        {{0x00E9, 0x0E49}, false, true, "\u00E9 (U+00E9) becomes \u0E49 (U+0E49)"},
        {{0x0EE0, 0x0E80}, false, true, "U+0EE0 becomes U+0E80"},
        {{0x0100, 0}, false, false, "U+0100 is dropped"},
        {{0, 0}, false, true, "U+0000 moves to the end"},
        {{0, 0}, true, false, "U+0000 is dropped"},
        {{kNoLengthByte, kNoLengthByte}, false, false, "no length byte of its own: the file is not saved"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SavingChangeText(c.change, c.caption, c.named), c.words) << c.words;
    EXPECT_EQ(CodePointName(0x5C), "U+005C");
    EXPECT_EQ(CodePointName(0x1F600), "U+1F600");
}

} // namespace
} // namespace tavolin
