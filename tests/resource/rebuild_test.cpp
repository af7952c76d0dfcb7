// Rebuilds of small hand-made files: what must be refused, and the layout
// details that the compiler's edit cases do not reach.

#include <gtest/gtest.h>

#include <string>

#include "resource/resourcefile.h"
#include "resource/scsu.h"
#include "resourcefiles.h"
#include "testutil.h"

namespace tavolin::resource {
namespace {

using test::Bytes;
using test::Cat;
using test::CompressedFile;
using test::OldFile;
using test::Utf16;

const Bytes kAbc = Cat({{3, 0xAB}, Utf16(u"abc")});                  // a padded LTEXT
const Bytes kNumbers{0x10, 0, 0, 0, 0x5A, 0, 0xFF, 0xFF};            // a LONG, then 'Z' (unknown)
const Bytes kGuess = Cat({{0xFF, 0xFF}, Utf16(u"Hello"), {0xFF, 0xFF}}); // a BUF between numbers

std::string RefusalOf(const Bytes& bytes, const std::vector<TextEdit>& edits, bool allowGuessed = false)
{
    try {
        (void)Rebuild(ReadResourceFile(bytes), edits, allowGuessed);
    } catch (const RebuildError& e) {
        return e.what();
    }
    return "";
}

TEST(Rebuild, RefusesWhatTheFormatCannotHold)
{
    const struct {
        const char* what;
        Bytes file;
        std::vector<TextEdit> edits;
        const char* message; // a part of it
        bool allowGuessed = true;
    } cases[] = {
        {"LTEXT of 256 units", OldFile({kAbc}), {{1, 1, std::u16string(256, u'x')}}, "1.1: an LTEXT holds at most 255"},
        {"past 64 KiB", OldFile({Cat({kAbc, Utf16(u"xyzzy")})}), {{1, 2, std::u16string(33000, u'y')}},
         "would be 66008 bytes long; a resource holds at most 65535, 473 bytes fewer"},
        {"past 64 KiB in all", OldFile({kAbc, Cat({{1, 0xAB}, Utf16(u"xyzzy")})}),
         {{1, 1, std::u16string(255, u'x')}, {2, 1, std::u16string(32600, u'y')}}, "64 KiB that the file's 16-bit "
                                                                                   "offsets reach, by "},
        {"empty moves an unknown text", OldFile({Cat({kAbc, kNumbers})}), {{1, 1, u""}}, "1.1: the change between"},
        {"guessed", OldFile({kGuess}), {{1, 1, u"Hi"}}, "1.1: a guessed text", false},
        {"no such text", OldFile({kAbc}), {{1, 2, u"x"}}, "1.2: no such text"},
        {"NUL inside", OldFile({kAbc}), {{1, 1, std::u16string(u"a\0b", 3)}}, "U+0000"},
        {"not a resource file", Bytes{1, 2, 3}, {{1, 1, u"x"}}, "not a resource file"},
        {"narrow: no byte", CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 5, 'T', 'o', 'r', 'c', 'h'}}),
         {{1, 1, u"Фонарь"}}, "U+0424 has no byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = RefusalOf(c.file, c.edits, c.allowGuessed);
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    // A guessed text is edited when the caller allows it.
    EXPECT_EQ(RefusalOf(OldFile({kGuess}), {{1, 1, u"Hi"}}, true), "");
}

// Layouts the edit cases of the compiler do not show: old and narrow
// files, the header words, a pad that follows the new length.
TEST(Rebuild, LaysOutEditedResources)
{
    const struct {
        const char* what;
        Bytes before;
        std::vector<TextEdit> edits;
        Bytes after;
    } cases[] = {
        {"old: longer, later resources move",
         OldFile({kAbc, Cat({{2, 0xAB}, Utf16(u"de")})}),
         {{1, 1, u"abcd"}},
         OldFile({Cat({{4, 0xAB}, Utf16(u"abcd")}), Cat({{2, 0xAB}, Utf16(u"de")})})},
        {"old: empty moves the pad of the text after it",
         OldFile({Cat({kAbc, {0}, {2}, Utf16(u"de")})}),
         {{1, 1, u""}},
         OldFile({Cat({{0, 0}, {2, 0xAB}, Utf16(u"de")})})},
        {"narrow: an 8-bit LTEXT in Windows-1252",
         CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 5, 'T', 'o', 'r', 'c', 'h'}}),
         {{1, 2, u"Lampe €"}},
         CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 7, 'L', 'a', 'm', 'p', 'e', ' ', 0x80}})},
        {"narrow: one byte shorter before numbers and a text, a control character as its byte",
         CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 0x41, 0x4E, 5, 'L', 'a', 'm', 'p', 'e'}}),
         {{1, 1, u"Torc"}, {1, 2, u"\aLampe"}},
         CompressedFile({{4, 'T', 'o', 'r', 'c', 0x41, 0x4E, 6, 7, 'L', 'a', 'm', 'p', 'e'}})},
        {"narrow: a zero-terminated TEXT at the end",
         CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 'L', 'a', 'm', 'p', 'e', 0}}),
         {{1, 2, u"Lamp"}},
         CompressedFile({{5, 'T', 'o', 'r', 'c', 'h', 'L', 'a', 'm', 'p', 0}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ResourceFile file = ReadResourceFile(c.before);
        EXPECT_EQ(Rebuild(file, c.edits, true), c.after);
    }
}

// The 64 KiB that a resource and the file's offsets can reach, at their
// boundaries: one byte more is refused with its reason.
TEST(Rebuild, RefusesPastSixtyFourKibibytesExactly)
{
    // A BUF compressed one byte a character ('a'), then other bytes: the
    // resource decompresses to twice its characters and those bytes.
    const auto buf = [](std::size_t chars, std::size_t other) {
        return Cat({{static_cast<std::uint8_t>(chars)}, Bytes(chars, 'a'), {static_cast<std::uint8_t>(other)},
                    Bytes(other, 0)});
    };
    const std::u16string longest(0x7FFF, u'a');
    // 65535 bytes decompressed: accepted, and the file reads back.
    const Bytes fits = Rebuild(ReadResourceFile(CompressedFile({buf(10, 1)}, 1, 21)), {{1, 1, longest}}, false);
    const ResourceFile back = ReadResourceFile(fits);
    ASSERT_EQ(back.texts.size(), 1u);
    EXPECT_EQ(back.texts[0].text, longest);
    EXPECT_EQ(back.resources[0].data.size(), 0xFFFFu);
    EXPECT_EQ(back.largest, 0xFFFFu);
    EXPECT_NE(RefusalOf(CompressedFile({buf(10, 2)}, 1, 22), {{1, 1, longest}}).find("resource 1 would be 65536 bytes"),
              std::string::npos);

    // Resources that end at offset 65535 fit the 16-bit index, at 65536 not.
    for (const std::size_t end : {0xFFFFu, 0x10000u}) {
        SCOPED_TRACE(end);
        const Bytes file = OldFile({kAbc, Bytes(end - 4 - kAbc.size() - 2, 0)});
        const std::string refusal = RefusalOf(file, {{1, 1, u"abcd"}});
        EXPECT_EQ(refusal.empty(), end == 0xFFFF) << refusal;
        if (!refusal.empty()) {
            EXPECT_NE(refusal.find("offset 65536, past the 64 KiB"), std::string::npos) << refusal;
        }
    }
}

// A value whose compressed form is as long as its UTF-16 stays raw: the
// compiler compresses only what gets shorter.
TEST(Rebuild, KeepsRawWhatCompressionDoesNotShorten)
{
    const std::u16string text = u"a\u4E2D"; // 'a', then one quoted ideograph
    ASSERT_EQ(EncodeScsu(text).size(), 2 * text.size());
    const Bytes before = CompressedFile({Cat({{2, 0xAB}, Utf16(u"ab"), {1}})});
    const Bytes expected = CompressedFile({Cat({{2, 0xAB}, Utf16(text), {1}})});
    EXPECT_EQ(Rebuild(ReadResourceFile(before), {{1, 1, text}}, false), expected);
}

// "X" raw after a length byte (01 58 00) reads as well as numbers: the
// edited text is stored as a compressed run instead, which decompresses to
// the bytes the compiler would have written raw.
TEST(Rebuild, CompressesATextWhoseRawBytesWouldNotReadBack)
{
    // A BYTE, then an LTEXT "Hello" compressed at an even offset, then a WORD.
    const Bytes before = CompressedFile({{0, 2, 7, 5, 5, 'H', 'e', 'l', 'l', 'o', 2, 0x0C, 0}}, 1, 14);
    ASSERT_TRUE(ReadResourceFile(before).texts.at(0).certain);
    const ResourceFile after = ReadResourceFile(Rebuild(ReadResourceFile(before), {{1, 1, u"X"}}, false));
    ASSERT_EQ(after.texts.size(), 1u);
    EXPECT_EQ(after.texts[0].text, u"X");
    EXPECT_TRUE(after.texts[0].certain && after.texts[0].compressed);
    EXPECT_EQ(after.resources[0].data, (Bytes{7, 1, 'X', 0, 0x0C, 0}));
}

// The emulator reads a resource with its bit set into the header's largest
// size plus one: a rebuild raises the field where a stored resource is
// longer than that, and only then.
TEST(Rebuild, LargestFieldHoldsEveryStoredResource)
{
    // Stored: an empty compressed run, two other bytes, an empty compressed
    // run, one other byte: 6 bytes that decompress to 3.
    const Bytes runs{0, 2, 'x', 'y', 0, 1, 'z'};
    for (const std::size_t largest : {5u, 6u, 7u}) {
        SCOPED_TRACE(largest);
        const Bytes before = CompressedFile({runs, Cat({{3, 0xAB}, Utf16(u"abc")})}, 1, largest);
        const ResourceFile file = ReadResourceFile(before);
        ASSERT_EQ(file.texts.size(), 1u);
        // The edited resource stays raw and small (4 bytes).
        const ResourceFile after = ReadResourceFile(Rebuild(file, {{2, 1, u"\u4E2D"}}, false));
        // The longest stored resource is 7 bytes: the field must reach 6.
        EXPECT_EQ(after.largest, std::max<std::size_t>(largest, 6));
    }
}

} // namespace
} // namespace tavolin::resource
