// How the structure codec tells texts from the numbers around them in small
// hand-made files: the cases the compiler's files show, one at a time.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "resourcefiles.h"
#include "resource/resourcefile.h"
#include "resource/utf.h"

namespace tavolin::resource {
namespace {

using test::Bytes;
using test::Cat;
using test::CompressedFile;
using test::OldFile;
using test::Utf16;

// Each text as "R.I KIND certain|guessed text".
std::vector<std::string> TextsOf(const ResourceFile& file)
{
    std::vector<std::string> out;
    for (const auto& t : file.texts)
        out.push_back(TextId(t) + " " + KindName(t.kind) + " " + (t.certain ? "certain " : "guessed ") +
                      Utf16ToUtf8(t.text));
    return out;
}

TEST(TextRules, ReadsTextsAndLeavesNumbers)
{
    const struct {
        const char* what;
        Bytes file;
        std::vector<std::string> texts;
    } cases[] = {
        {"lines, tabs and a paragraph separator in one BUF",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"Line one\nLine two\ttab\u2029End."), {0xFF, 0xFF}})}),
         {"1.1 BUF guessed Line one\nLine two\ttab\u2029End."}},
        {"a BUF before LONG 256 at the end: no TEXT of the number's bytes",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"Milk"), {0, 1, 0, 0}})}),
         {"1.1 BUF guessed Milk"}},
        {"WORD 100, WORD 200 and a resource of four numbers",
         OldFile({{100, 0, 200, 0}, {0x10, 0, 0x20, 0, 0x30, 0, 0x40, 0}}),
         {}},
        {"a padded LTEXT with control characters",
         OldFile({Cat({{8, 0xAB}, Utf16(u"\x1b[1mBack")})}),
         {"1.1 LTEXT certain \x1b[1mBack"}},
        {"a padded LTEXT with private-use signs",
         OldFile({Cat({{8, 0xAB}, Utf16(u"\uE000\uF2FF abc \uF8FF")})}),
         {"1.1 LTEXT certain \uE000\uF2FF abc \uF8FF"}},
        {"an unpadded LTEXT of raw ideographs after a number",
         OldFile({Cat({{0x00, 0x03}, Utf16(u"\u6587\u672C\u7F16"), {0xFF, 0xFF}})}),
         {"1.1 LTEXT certain \u6587\u672C\u7F16"}},
        {"a length byte that is the high byte of a Cyrillic letter",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"\u041F\u0430\u043F\u043A\u0430"), {0xFF, 0xFF}})}),
         {"1.1 BUF guessed \u041F\u0430\u043F\u043A\u0430"}},
        {"LONG ids of one high word counting up",
         OldFile({Cat({{0, 0}, Utf16(u"\u3010\u5D78\u3011\u5D78"), {0, 0, 0, 0}})}),
         {}},
        {"a unit's sign after small letters ends the text",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"Used: 512 kB"), {0xFF, 0xFF}})}),
         {"1.1 BUF guessed Used: 512 kB"}},
        {"WORD 200 before a BUF and after another",
         OldFile({Cat({{0xC8, 0}, Utf16(u"HELP_CONTEXT"), {0xC8, 0, 0, 0}})}),
         {"1.1 BUF guessed HELP_CONTEXT"}},
        {"an array of five WORDs whose items read as Hello",
         OldFile({Cat({{5, 0}, Utf16(u"Hello"), {0xFF, 0xFF}})}),
         {}},
        {"a WORD whose bytes are a capital before a word that starts with one",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"\u0418\u0427\u0435\u0440\u043D\u043E\u0432\u0438\u043A\u0438"),
                       {0xFF, 0xFF}})}),
         {"1.1 BUF guessed \u0427\u0435\u0440\u043D\u043E\u0432\u0438\u043A\u0438"}},
        {"WORD 100 between a word and one that starts with a capital",
         OldFile({Cat({{1, 0xAB}, Utf16(u"Meet"), {100, 0}, Utf16(u"Meeting at %0U"), {0xFF, 0xFF}})}),
         {"1.1 BUF guessed Meet", "1.2 BUF guessed Meeting at %0U"}},
        {"LONG 100 after a text",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"3 of 12"), {100, 0, 0, 0}, {0xFF, 0xFF}})}),
         {"1.1 BUF guessed 3 of 12"}},
        // (Numbers before it fill more than half the resource: the byte
        // before the count is read, not a unit of that number.)
        {"a WORD at an odd offset whose high byte reads as the count of a padded LTEXT",
         OldFile({Cat({Bytes(33, 0xFF), {0x42, 0x04, 0xAB},
                       Utf16(u"\u041E\u0442\u043F\u0440\u0430\u0432\u043B\u0435\u043D\u043D\u044B\u0435"),
                       {0xFF, 0xFF}})}),
         {"1.1 BUF guessed \u041E\u0442\u043F\u0440\u0430\u0432\u043B\u0435\u043D\u043D\u044B\u0435"}},
        {"8-bit text read as 16-bit ideographs",
         OldFile({Cat({{0xFF, 0xFF}, Bytes{'t', 'e', 's', 't', '_', 'p', 'a', 'r', 'a', 'm'}, {0xFF, 0xFF}})}),
         {}},
        {"WORD 100 between a BUF and a certain LTEXT",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"viewer.dll"), {100, 0, 4, 0xAB}, Utf16(u"Icon")})}),
         {"1.1 BUF guessed viewer.dll", "1.2 LTEXT certain Icon"}},
        {"a LONG whose bytes are capitals between a BUF and a padded LTEXT that text goes on after",
         OldFile({Cat({{0xC8, 0}, Utf16(u"HLP_SEND"), {0x42, 0, 0x41, 0, 5, 0xAB}, Utf16(u"Notes"),
                       Utf16(u"Select a note")})}),
         {"1.1 BUF guessed HLP_SEND", "1.2 LTEXT guessed Notes", "1.3 BUF guessed Select a note"}},
        {"an array of five WORDs whose items read as Hello before a certain LTEXT",
         OldFile({Cat({{5, 0}, Utf16(u"Hello"), {2, 0xAB}, Utf16(u"dB"), {3, 0}})}),
         {"1.1 LTEXT certain dB"}},
        {"WORD 300 between a BUF and a padded LTEXT",
         OldFile({Cat({{0xFF, 0xFF}, Utf16(u"Hello"), {0x2C, 1, 5, 0xAB}, Utf16(u"Notes"), Utf16(u"Select")})}),
         {"1.1 BUF guessed Hello", "1.2 LTEXT guessed Notes", "1.3 BUF guessed Select"}},
        {"a LONG repeated before a certain LTEXT",
         OldFile({Cat({{0xFF, 0xFF, 0x42, 0, 0x41, 0, 0x42, 0, 0x41, 0, 4, 0xAB}, Utf16(u"Name")})}),
         {"1.1 LTEXT certain Name"}},
        {"a BUF where the WORDs that the WORD before them counts end",
         OldFile({Cat({{4, 0, 100, 0, 0xC8, 0, 0x41, 0, 0x42, 0}, Utf16(u"px"), {4}})}),
         {"1.1 BUF guessed px"}},
        {"ids counted by the WORD before them, then a BUF",
         OldFile({Cat({{3, 0}, Utf16(u"abcpts"), {3}})}),
         {"1.1 BUF guessed pts"}},
        {"a BYTE, then a padded BUF of one letter between zeros",
         OldFile({Cat({{3, 0xAB}, Utf16(u"X"), {0, 0}, Utf16(u"-"), {0x10, 0, 0, 0}})}),
         {"1.1 BUF guessed X"}},
        {"a CJK bracket after Latin letters", OldFile({Cat({{0xFF, 0xFF}, Utf16(u"Ad\u300A"), {0xFF, 0xFF}})}), {}},
        {"a resource of one letter and a zero unit", OldFile({Cat({Utf16(u"X"), {0, 0}})}),
         {"1.1 TEXT guessed X"}},
        {"a letter after a text that ends its resource, as a BUF ends a resource laid out alike",
         OldFile({Cat({{1, 0x20, 0, 0, 5, 0xAB}, Utf16(u"Title"), Utf16(u"X")}),
                  Cat({{2, 0x20, 0, 0, 4, 0xAB}, Utf16(u"Help"), Utf16(u"Body text")})}),
         {"1.1 LTEXT certain Title", "1.2 BUF guessed X", "2.1 LTEXT guessed Help", "2.2 BUF guessed Body text"}},
        {"a letter after a text that ends its resource, where none ends alike: a WORD",
         OldFile({Cat({{1, 0x20, 0, 0, 5, 0xAB}, Utf16(u"Title"), Utf16(u"X")}),
                  Cat({{2, 0x20, 5, 0xAB}, Utf16(u"Other"), Utf16(u"Body text")})}),
         {"1.1 LTEXT certain Title", "2.1 LTEXT guessed Other", "2.2 BUF guessed Body text"}},
        {"WORD 200 before an emoji",
         OldFile({Cat({{0xFF, 0xFF, 0xFF, 0}, Utf16(u"\u00C8\U0001F634 zzz"), {0, 0, 0, 0}})}),
         {"1.1 BUF guessed \U0001F634 zzz"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextsOf(ReadResourceFile(c.file)), c.texts);
    }
    // A BYTE of 2, then a padded BUF: the same bytes as a padded LTEXT "Sh"
    // and two more letters, so no certain text, and the guess is the BUF
    // that leaves no stub of its word; in a narrow build too.
    const ResourceFile shop = ReadResourceFile(OldFile({Cat({{2, 0xAB}, Utf16(u"Shop"), {5, 0, 0, 1, 0, 0}})}));
    EXPECT_EQ(TextsOf(shop), (std::vector<std::string>{"1.1 BUF guessed Shop"}));
    const ResourceFile narrowShop =
        ReadResourceFile(CompressedFile({{2, 'S', 'h', 'o', 'p', 5, 0, 'M', 'i', 'l', 'k', 0, 1, 0, 0}}));
    EXPECT_EQ(TextsOf(narrowShop), (std::vector<std::string>{"1.1 BUF guessed Shop", "1.2 BUF guessed Milk"}));
    // An LTEXT before numbers whose bytes are two letters: the stub is
    // shorter than the text, so the LTEXT stands.
    EXPECT_EQ(TextsOf(ReadResourceFile(OldFile({Cat({{5, 0xAB}, Utf16(u"Title"), {'d', 0, ' ', 0, 0, 0}})}))),
              (std::vector<std::string>{"1.1 LTEXT guessed Title"}));
}

// What numbers look like beside the texts of an 8-bit build.
TEST(TextRules, ReadsNarrowTextsAndLeavesNumbers)
{
    const struct {
        const char* what;
        Bytes resource;
        std::vector<std::string> texts;
    } cases[] = {
        {"bytes of 255 in a row after an LTEXT's count", {4, '0', 'x', ']', 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, {}},
        {"LONGs whose low bytes are capitals after BUFs",
         {'2', '3', ':', '5', '9', 'B', 'M', 0, 0, 5, '%', 'N', ' ', 'k', 'B', '5', '1', '2', ' ', 'k', 'B', 'M', 'B',
          0, 0, 3, 'N', 'e', 'w'},
         {"1.1 BUF guessed 23:59", "1.2 LTEXT guessed %N kB", "1.3 BUF guessed 512 kB", "1.4 LTEXT guessed New"}},
        {"a text that ends in a word of capitals before WORD 0",
         {7, 'M', 'e', 's', 's', 'a', 'g', 'e', 'S', 'e', 'n', 'd', ' ', 'S', 'M', 'S', 0, 0, 0xFF, 0xFF},
         {"1.1 LTEXT guessed Message", "1.2 BUF guessed Send SMS"}},
        {"LTEXTs of one letter in a row",
         {1, 0, 0, 0x4C, 0, 0x52, 0, 1, 3, 0, 0, 0, 0, 1, 'L', 1, 'R', 0, 0, 0, 0, 0},
         {"1.1 LTEXT guessed L", "1.2 LTEXT guessed R"}},
        {"an LTEXT of one letter before a longer one",
         {1, 8, 0, 0, 1, 'X', 5, 'T', 'o', 'r', 'c', 'h', 0x14, 0},
         {"1.1 LTEXT guessed X", "1.2 LTEXT guessed Torch"}},
        {"a BUF where the WORDs that the WORD before them counts end",
         {4, 0, 100, 0, 0xC8, 0, 'A', 0, 'B', 0, 'p', 'x', 4},
         {"1.1 BUF guessed px"}},
    };
    // Each beside a resource of two LTEXTs that shows the 8-bit build.
    const Bytes lamp{5, 'T', 'o', 'r', 'c', 'h', 5, 'L', 'a', 'm', 'p', 'e'};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ResourceFile file = ReadResourceFile(CompressedFile({c.resource, lamp}));
        EXPECT_EQ(file.format, Format::Narrow);
        auto texts = TextsOf(file);
        std::erase_if(texts, [](const std::string& t) { return t.starts_with("2."); });
        EXPECT_EQ(texts, c.texts);
    }
}

// Narrow or not is told from the runs and the alignment of what is there.
TEST(TextRules, TellsNarrowBuildsFromUnicodeOnes)
{
    // 8-bit LTEXTs, no pads.
    const ResourceFile narrow =
        ReadResourceFile(CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 5, 'L', 'a', 'm', 'p', 'e'}}));
    EXPECT_EQ(narrow.format, Format::Narrow);
    EXPECT_EQ(TextsOf(narrow), (std::vector<std::string>{"1.1 LTEXT guessed Torch", "1.2 LTEXT guessed Lampe"}));
    // A byte of one before a character counts an LTEXT where it follows
    // one (LTEXTs of a struct in a row), not where it follows numbers.
    EXPECT_EQ(
        TextsOf(ReadResourceFile(CompressedFile({{0, 0, 4, 'N', 'o', 'n', 'e', 1, '*', 0, 0, 0, 0, 0xFF, 0xFF}}))),
        (std::vector<std::string>{"1.1 LTEXT guessed None", "1.2 LTEXT guessed *"}));
    EXPECT_EQ(TextsOf(ReadResourceFile(
                  CompressedFile({{4, 'N', 'o', 'n', 'e', 0xFF, 0xFF, 1, 0x60, 0, 0, 0, 0, 0xFF, 0xFF}}))),
              (std::vector<std::string>{"1.1 LTEXT guessed None"}));
    // WORDs or LONGs counted by the WORD before them whose bytes read as
    // text up to the zero high bytes of the last: numbers.
    EXPECT_EQ(TextsOf(ReadResourceFile(CompressedFile({{4, 'N', 'o', 'n', 'e', 3, 0, 'H', 'e', 'l', 'l', 'o', 0}}))),
              (std::vector<std::string>{"1.1 LTEXT guessed None"}));
    EXPECT_EQ(TextsOf(ReadResourceFile(CompressedFile({{4, 'N', 'o', 'n', 'e', 3, 0, 'B', 0, 'A', 0, 'H', 'e', 'l',
                                                        'l', 'o', 0, 0, 0}}))),
              (std::vector<std::string>{"1.1 LTEXT guessed None"}));
    // A d before a zero byte is WORD 100, the s of a word before LONG 256
    // is the word's.
    EXPECT_EQ(TextsOf(ReadResourceFile(CompressedFile({{1, 'M', 'e', 'e', 't', 'd', 0, 'M', 'e', 'e', 't', 'i', 'n',
                                                        'g', ' ', 'a', 't', ' ', '%', 'U', 0xC8, 0, 0, 0}}))),
              (std::vector<std::string>{"1.1 BUF guessed Meet", "1.2 BUF guessed Meeting at %U"}));
    EXPECT_EQ(TextsOf(ReadResourceFile(CompressedFile({{1, 'E', 'g', 'g', 's', 0, 1, 0, 0}}))),
              (std::vector<std::string>{"1.1 BUF guessed Eggs"}));
    // A length byte that is a letter inside a word ("He" and "llo" are
    // numbers' bytes) counts no LTEXT: the help title after stays one.
    const std::string_view body = "Notes are synchronised with PC Suite. Connect the phone to the PC and start "
                                  "PC Suite; notes older than thirty days are not synchronised.";
    Bytes help{'H', 'e', 'H', 'L', 'P', '_', 'S', 'Y', 'N', 'C', 'e', 'l', 'l', 'o', 15};
    for (const char c : std::string_view("Synchronisation"))
        help.push_back(static_cast<std::uint8_t>(c));
    help.insert(help.end(), body.begin(), body.end());
    const auto helpTexts = TextsOf(ReadResourceFile(CompressedFile({help})));
    ASSERT_EQ(helpTexts.size(), 3u);
    // Nor do the capitals of an identifier glue to the small letters around
    // them, which are no text of their own either.
    EXPECT_EQ(helpTexts[0], "1.1 BUF guessed HLP_SYNC");
    EXPECT_EQ(helpTexts[1], "1.2 LTEXT guessed Synchronisation");
    // A Unicode build whose only text became raw Chinese beside 8-bit data
    // (an LTEXT8 of a registration file).
    const ResourceFile unicode = ReadResourceFile(CompressedFile(
        {Cat({{1, 0, 0, 6}, Utf16(u"\u6587\u672C\u7F16\u8F91\u7A0B\u5E8F"),
              {0, 11, 't', 'e', 's', 't', '_', 'p', 'a', 'r', 'a', 'm', 's'}})}));
    EXPECT_EQ(unicode.format, Format::Compressed);
    ASSERT_FALSE(unicode.texts.empty());
    EXPECT_EQ(TextsOf(unicode)[0], "1.1 LTEXT certain \u6587\u672C\u7F16\u8F91\u7A0B\u5E8F");
    // The same with the 8-bit data right after the Chinese, whose bytes read
    // as more ideographs: the LTEXT is only guessed, yet one of a single
    // script that the compiler keeps raw still shows a Unicode build.
    const ResourceFile guessed = ReadResourceFile(CompressedFile(
        {Cat({{1, 0, 0, 6}, Utf16(u"\u6587\u672C\u7F16\u8F91\u7A0B\u5E8F"),
              {11, 't', 'e', 's', 't', '_', 'p', 'a', 'r', 'a', 'm', 's'}})}));
    EXPECT_EQ(guessed.format, Format::Compressed);
    ASSERT_FALSE(guessed.texts.empty());
    EXPECT_EQ(TextsOf(guessed)[0], "1.1 LTEXT guessed \u6587\u672C\u7F16\u8F91\u7A0B\u5E8F");
}

// A translated TBUF: a resource of raw Chinese alone in a compressed-format
// file is certain, as the compiler compresses any other text there; Latin
// letters there are guessed, and so is any whole resource of the old format.
TEST(TextRules, VouchesForRawTextsThatAreAWholeResource)
{
    const Bytes chinese = Utf16(u"\u6587\u672C\u7F16\u8F91");
    EXPECT_EQ(TextsOf(ReadResourceFile(CompressedFile({chinese, Cat({{3, 0xAB}, Utf16(u"abc")})}))),
              (std::vector<std::string>{"1.1 BUF certain \u6587\u672C\u7F16\u8F91", "2.1 LTEXT certain abc"}));
    // (Latin letters alone there would have been compressed: numbers.)
    EXPECT_EQ(TextsOf(ReadResourceFile(CompressedFile({Utf16(u"Hello"), Cat({{3, 0xAB}, Utf16(u"abc")})}))),
              (std::vector<std::string>{"2.1 LTEXT certain abc"}));
    EXPECT_EQ(TextsOf(ReadResourceFile(OldFile({chinese}))),
              (std::vector<std::string>{"1.1 BUF guessed \u6587\u672C\u7F16\u8F91"}));
    // The only text of a file, now emoji: the file stays compressed.
    const ResourceFile emoji = ReadResourceFile(CompressedFile({Utf16(u"\U0001F600 \U0001F44D\U0001F3FD")}));
    EXPECT_EQ(emoji.format, Format::Compressed);
    EXPECT_EQ(TextsOf(emoji), (std::vector<std::string>{"1.1 BUF certain \U0001F600 \U0001F44D\U0001F3FD"}));
    // A narrow build whose bytes also read as a 16-bit run of one script
    // stays narrow.
    const ResourceFile narrow =
        ReadResourceFile(CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 5, 'T', 'o', 'r', 'c', 'h'}}));
    EXPECT_EQ(narrow.format, Format::Narrow);
}

// A Unicode build compresses each text that gets shorter so, counting the
// run lengths around it: raw characters that would have are numbers.
TEST(TextRules, OffersNoRawGuessTheCompilerWouldHaveCompressed)
{
    const Bytes certain = Cat({{3, 0xAB}, Utf16(u"abc")});
    const struct {
        const char* what;
        Bytes resource;
        std::vector<std::string> texts;
    } cases[] = {
        {"Latin letters ending the resource", Cat({{0xFF, 0xFF}, Utf16(u"Hello")}), {}},
        // Cyrillic costs a window switch: four bytes and a run length before
        // a number are no fewer than the six raw ones, three and one are.
        {"three Cyrillic letters before a number",
         Cat({{0xFF, 0xFF}, Utf16(u"\u0414\u0430\u0439"), {0xFF, 0xFF}}),
         {"1.1 BUF guessed \u0414\u0430\u0439"}},
        {"three Cyrillic letters ending the resource", Cat({{0xFF, 0xFF}, Utf16(u"\u0414\u0430\u0439")}), {}},
        {"ideographs, which do not compress",
         Cat({{0xFF, 0xFF}, Utf16(u"\u6587\u672C\u7F16"), {0xFF, 0xFF}}),
         {"1.1 BUF guessed \u6587\u672C\u7F16"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto texts = TextsOf(ReadResourceFile(CompressedFile({c.resource, certain})));
        texts.pop_back(); // the certain LTEXT that shows a Unicode build
        EXPECT_EQ(texts, c.texts);
    }
    // The old format is no compiler's compressed output: the guess stays.
    EXPECT_EQ(TextsOf(ReadResourceFile(OldFile({Cat({{0xFF, 0xFF}, Utf16(u"Hello")})}))),
              (std::vector<std::string>{"1.1 BUF guessed Hello"}));
}

} // namespace
} // namespace tavolin::resource
