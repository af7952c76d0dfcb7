#include "codec/utf8.h"

#include <gtest/gtest.h>

namespace tavolin {
namespace {

// PO input, shown text and the structure codec's edits all take UTF-8
// through one reading of a character: only its shortest form, no surrogate,
// nothing past U+10FFFF, nothing cut short.
TEST(Utf8, ReadsOnlyValidCharacters)
{
    const struct {
        std::string_view bytes;
        char32_t c; // 0: not valid
    } cases[] = {
        {"a", U'a'},
        {"\xC3\xA9", U'\u00E9'},
        {"\xE0\xB8\x81", U'\u0E01'},
        {"\xF0\x9F\x98\x80", U'\U0001F600'},
        {"\xF4\x8F\xBF\xBF", U'\U0010FFFF'},
        {"\xC0\x80", 0},         // overlong U+0000
        {"\xE0\x9F\xBF", 0},     // overlong U+07FF
        {"\xF0\x8F\xBF\xBF", 0}, // overlong U+FFFF
        {"\xED\xA0\x80", 0},     // a surrogate
        {"\xF4\x90\x80\x80", 0}, // past U+10FFFF
        {"\xE0\xB8", 0},         // cut short
        {"\x80", 0},
        {"\xFF", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        std::size_t at = 0;
        const auto got = NextUtf8(c.bytes, at);
        EXPECT_EQ(got.value_or(0), c.c);
        EXPECT_EQ(at, c.c ? c.bytes.size() : 0u);
        if (c.c) {
            std::string back;
            AppendUtf8(back, c.c);
            EXPECT_EQ(back, c.bytes);
        }
    }
}

} // namespace
} // namespace tavolin
