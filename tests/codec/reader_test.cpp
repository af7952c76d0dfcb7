#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "file/bytefile.h"
#include "file/errors.h"
#include "codec/reader.h"
#include "codec/writer.h"
#include "testutil.h"

namespace tavolin {
namespace {

using test::Bytes;
using test::Entries;
using test::EntriesOf;
using test::ScanBytes;

const Bytes kWorkedExample = {16, 32, 7, 3, 171, 72, 0, 105, 0, 0, 0, 5,
                              2,  171, 1, 14, 10, 0, 9,  10, 4};

TEST(ScanResourceFile, WorkedExample)
{
    const auto s = ScanBytes(kWorkedExample);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "16 32 7 "}, {"1", "5 "}, {"2", "9 10 4"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "3"}, {"2", "2"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", "Hi"}, {"2", "\xA1\\"}}));
}

TEST(ScanResourceFile, FilesWithoutMarkers)
{
    struct Case {
        Bytes bytes;
        std::string gap;
    };
    for (const auto& c : {Case{{}, ""}, Case{{9}, "9"}, Case{{1, 2}, "1 2"}, Case{{1, 2, 3, 4}, "1 2 3 4"},
                          Case{{0, 10, 255}, "0 10 255"}}) {
        const auto s = ScanBytes(c.bytes);
        EXPECT_EQ(s.error, "");
        EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", c.gap}}));
        EXPECT_TRUE(EntriesOf(s.tables.vle).empty());
        EXPECT_TRUE(EntriesOf(s.tables.vle3).empty());
    }
}

TEST(ScanResourceFile, MarkerAtTheStartOfTheFile)
{
    // Alone: length 0 from the initial look-behind.
    auto s = ScanBytes({171});
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", ""}}));
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "0"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", ""}}));

    // Second byte: the first byte is the length, and not a gap byte.
    s = ScanBytes({1, 171, 65, 0, 7, 8, 9});
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", "7 8 9"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", "A"}}));
}

TEST(ScanResourceFile, HoldBackAfterAString)
{
    // Ends right after the characters: empty final record.
    auto s = ScanBytes({5, 6, 1, 171, 65, 0});
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "5 6 "}, {"1", ""}}));
    // One byte after them: that byte alone.
    s = ScanBytes({5, 6, 1, 171, 65, 0, 9});
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "5 6 "}, {"1", "9"}}));
    // A marker one byte after them: the byte is the next length, the gap is empty.
    s = ScanBytes({1, 171, 65, 0, 1, 171, 66, 0, 3});
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", ""}, {"2", "3"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", "A"}, {"2", "B"}}));
}

TEST(ScanResourceFile, MarkerDirectlyBehindAString)
{
    // After the text "A" the length is 65, the value of its last character.
    Bytes bytes = {1, 171, 65, 0, 171};
    for (int i = 0; i < 65; ++i)
        bytes.insert(bytes.end(), {'z', 0});
    auto s = ScanBytes(bytes);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "1"}, {"2", "65"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", ""}, {"2", ""}}));

    // After an empty string the marker itself is the length: 171 characters.
    bytes = {0, 171, 171};
    for (int i = 0; i < 171; ++i)
        bytes.insert(bytes.end(), {'y', 0});
    s = ScanBytes(bytes);
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "0"}, {"2", "171"}}));

    // After a last character that decoded to 0 the length is 0.
    s = ScanBytes({1, 171, 0, 0, 171, 4});
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "1"}, {"2", "0"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", ""}, {"2", "4"}}));
}

// A marker right behind a string takes the value of the string's last
// character as its length, also where a run of letters or of U+0000 ends it.
TEST(ScanResourceFile, MarkerRightBehindARunOfCharacters)
{
    Bytes bytes = {4, 171, 'a', 0, 'b', 0, 'c', 0, 'd', 0, 171};
    for (int i = 0; i < 100; ++i)
        bytes.insert(bytes.end(), {'z', 0});
    auto s = ScanBytes(bytes);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "4"}, {"2", "100"}}));

    s = ScanBytes({4, 171, 0, 0, 0, 0, 0, 0, 0, 0, 171, 4});
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "4"}, {"2", "0"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", ""}, {"2", "4"}}));
}

TEST(ScanResourceFile, LengthZeroAndCharactersThatVanish)
{
    auto s = ScanBytes({7, 0, 171, 8, 9});
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "0"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", ""}}));
    // Look-behind after the string is the marker itself, then 8 and 9.
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "7 "}, {"1", "8 9"}}));

    // U+0000, U+0100 and U+0E60 decode to 0: left out, still counted.
    s = ScanBytes({3, 171, 0, 1, 72, 0, 96, 14});
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", "H"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "3"}}));
}

TEST(ScanResourceFile, LongStringsAndManyOfThem)
{
    Bytes bytes = {255, 171};
    for (int i = 0; i < 255; ++i)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>('a' + i % 26), 0});
    for (int i = 0; i < 1'000'000; ++i)
        bytes.insert(bytes.end(), {0x20, 1, 171, 'x', 0});
    const auto s = ScanBytes(bytes);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(s.tables.vle.EntryCount(), 1'000'001u);
    EXPECT_EQ(s.tables.vle.ValueOf("1").size(), 255u);
    EXPECT_EQ(s.tables.vle3.ValueOf("1000001"), "1");
    EXPECT_EQ(s.tables.vle2.ValueOf("1000000"), "32 ");
    EXPECT_TRUE(BuildPatchFile(s.tables.vle, s.tables.vle2, s.tables.vle3) == bytes);
}

TEST(ScanResourceFile, StringRunningPastTheEnd)
{
    // A marker as the last byte, with a length above 0.
    auto s = ScanBytes({1, 2, 171});
    EXPECT_EQ(s.error, "Read beyond end of file");
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "1 "}}));
    EXPECT_TRUE(EntriesOf(s.tables.vle3).empty());

    // The second string's characters run out: its gap entry is the last one.
    s = ScanBytes({1, 171, 65, 0, 9, 4, 171, 66, 0, 67});
    EXPECT_EQ(s.error, "Read beyond end of file");
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", ""}, {"1", "9 "}}));
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", "A"}}));

    // With length 0 a marker at the end is an empty string.
    s = ScanBytes({5, 0, 171});
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "5 "}, {"1", ""}}));
}

TEST(ScanResourceFile, ScansEveryTimeAfresh)
{
    const test::TempDir dir;
    const std::string path = dir.Write("a.rsc", kWorkedExample);
    StringTables tables;
    ScanResourceFile(path, tables);
    tables.vle.RemoveAllEntries();
    tables.vle2.RemoveAllEntries();
    tables.vle3.RemoveAllEntries();
    ScanResourceFile(path, tables);
    EXPECT_EQ(EntriesOf(tables.vle2), (Entries{{"0", "16 32 7 "}, {"1", "5 "}, {"2", "9 10 4"}}));
}

// The sample files: nothing crashes, and the known ones give known tables.
TEST(ScanCorpus, EveryFileScansWithoutCrashing)
{
    TAVOLIN_REQUIRE_CORPUS();
    const auto files = test::CorpusFiles();
    ASSERT_GT(files.size(), 50u);
    const test::TempDir dir;
    for (const auto& file : files) {
        const auto copy = dir.Path() / file.filename();
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
        const auto s = test::ScanPath(copy.string());
        EXPECT_TRUE(s.error.empty() || s.error == "Read beyond end of file") << file << ": " << s.error;
        // One more gap record than strings, unless a string ran out.
        if (s.error.empty()) {
            EXPECT_EQ(s.tables.vle2.EntryCount(), s.tables.vle.EntryCount() + 1) << file;
        }
    }
}

TEST(ScanCorpus, KnownFiles)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const auto scan = [&](const char* name) {
        const auto copy = dir.Path() / "copy.rsc";
        test::WriteAll(copy, test::ReadAll(test::CorpusDir() / name));
        return test::ScanPath(copy.string());
    };
    auto s = scan("compiled/torch_caption_v6.rsc");
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(EntriesOf(s.tables.vle), (Entries{{"1", "Torch"}, {"2", "Torch"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle3), (Entries{{"1", "5"}, {"2", "5"}}));
    EXPECT_EQ(EntriesOf(s.tables.vle2), (Entries{{"0", "28 0 5 0 "}, {"1", ""}, {"2", "4 0 28 0"}}));

    s = scan("compiled/strings_v6.rsc");
    EXPECT_EQ(s.error, "");
    // "Hello" is a BUF with an 8-bit length and no marker: a gap to the reader.
    EXPECT_EQ(s.tables.vle.ValueOf("1"), "World");
    EXPECT_EQ(s.tables.vle3.ValueOf("1"), "5");
}

} // namespace
} // namespace tavolin

namespace tavolin {
namespace {

TEST(ScanResourceBytes, RecordsEachCharacterThatASaveRewrites)
{
    // "a\" with a file backslash; then U+0419, U+0100, U+0000 and a Thai
    // letter (the U+0000 moves behind it); then A, U+0000, B; then text that
    // survives.
    const test::Bytes file = {7,    2, 171, 'a', 0, 0x5C, 0,    9,    4, 171, 0x19, 0x04, 0, 1,
                              0,    0, 0x01, 0x0E, 3, 171, 'A', 0, 0,  0, 'B', 0, 1, 171, 'c', 0};
    StringTables tables;
    SavingChanges changes;
    ScanResourceBytes(file, tables, &changes);
    EXPECT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes.at(0), (std::vector<CharChange>{{0x5C, 0x0A}}));
    EXPECT_EQ(changes.at(1), (std::vector<CharChange>{{0x0419, 0x0019}, {0x0100, 0}, {0, 0}}));
    EXPECT_EQ(changes.at(2), (std::vector<CharChange>{{0, 0}}));
    EXPECT_EQ(tables.vle.ValueOf("3"), "AB");

    // Markers that start the file or follow a string at once: no length
    // byte of their own, first in their string's record.
    const CharChange none{kNoLengthByte, kNoLengthByte};
    StringTables fresh;
    changes.clear();
    ScanResourceBytes(test::Bytes{0xAB, 2, 0xAB, 0x5C, 0, 1, 0, 0xAB, 'x', 0}, fresh, &changes);
    EXPECT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes.at(0), (std::vector<CharChange>{none}));
    EXPECT_EQ(changes.at(1), (std::vector<CharChange>{{0x5C, 0x0A}}));
    EXPECT_EQ(changes.at(2), (std::vector<CharChange>{none}));
}

TEST(ScanResourceBytes, SameTablesAndErrorsAsTheFile)
{
    // A string past the end: what came before stays, as from a file.
    const test::Bytes file = {1, 171, 'x', 0, 7, 3, 171, 'a', 0};
    StringTables tables;
    try {
        ScanResourceBytes(file, tables);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), kReadBeyondEnd);
    }
    const auto scanned = test::ScanBytes(file);
    EXPECT_EQ(scanned.error, "Read beyond end of file");
    EXPECT_EQ(EntriesOf(tables.vle), EntriesOf(scanned.tables.vle));
    EXPECT_EQ(EntriesOf(tables.vle2), EntriesOf(scanned.tables.vle2));
    EXPECT_EQ(EntriesOf(tables.vle3), EntriesOf(scanned.tables.vle3));
}

} // namespace
} // namespace tavolin

#include <random>

#include "codec/charconv.h"
#include "codec/format.h"
#include "codec/writer.h"

namespace tavolin {
namespace {

// Texts of runs of letters, filler and characters that change decode and
// save by the character-by-character rules.
TEST(ScanResourceBytes, RunsOfCharactersMatchOneAtATime)
{
    const std::vector<std::uint16_t> pool = {0x0000, 0x0000, 0x0041, 0x0061, 0x0020, 0x007E, 0x001F,
                                             0x007F, 0x005C, 0x000A, 0x00FF, 0x0E01, 0x0E5F, 0x0141};
    std::mt19937 random(7);
    test::Bytes file;
    std::vector<std::string> texts;
    test::Bytes expected; // the file as a save writes it
    std::vector<bool> rewrites;
    for (int s = 0; s < 2000; ++s) {
        const auto length = static_cast<std::uint8_t>(random() % 40);
        const std::size_t plain = random() % 3; // runs of plain letters are the common case
        const test::Bytes head = {5, length, kStringMarker};
        file.insert(file.end(), head.begin(), head.end());
        expected.insert(expected.end(), head.begin(), head.end());
        std::string text;
        test::Bytes slot;
        for (int k = 0; k < length; ++k) {
            const std::uint16_t c = plain == 0 ? pool[random() % pool.size()]
                                               : static_cast<std::uint16_t>(k < length / 2 ? 'a' + k % 26 : 0);
            slot.insert(slot.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
            if (const std::uint8_t t = DecodeChar(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)))
                text.push_back(static_cast<char>(t));
        }
        test::Bytes saved;
        for (const char t : text) {
            const FileChar fc = EncodeChar(static_cast<std::uint8_t>(t));
            saved.insert(saved.end(), {fc.low, fc.high});
        }
        saved.resize(slot.size(), 0);
        file.insert(file.end(), slot.begin(), slot.end());
        expected.insert(expected.end(), saved.begin(), saved.end());
        texts.push_back(text);
        rewrites.push_back(saved != slot);
    }
    file.push_back(9);
    expected.push_back(9);

    StringTables tables;
    SavingChanges changes;
    ScanResourceBytes(file, tables, &changes);
    ASSERT_EQ(tables.vle.EntryCount(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("string " + std::to_string(i + 1));
        EXPECT_EQ(tables.vle.ValueAt(i), texts[i]);
        EXPECT_EQ(changes.count(i) == 1, rewrites[i]);
    }
    const test::Bytes built = BuildPatchFile(tables.vle, tables.vle2, tables.vle3);
    ASSERT_EQ(built.size(), expected.size());
    const auto differ = std::mismatch(built.begin(), built.end(), expected.begin());
    EXPECT_EQ(differ.first, built.end()) << "first difference at offset " << (differ.first - built.begin());
}

} // namespace
} // namespace tavolin

namespace tavolin {
namespace {

long g_readBudget = 0; // bytes a read may still give before it fails with EIO

long ReadThenFail(int fd, void* data, std::size_t size)
{
    if (g_readBudget <= 0) {
        errno = EIO;
        return -1;
    }
    const long got = ::read(fd, data, std::min<std::size_t>(size, static_cast<std::size_t>(g_readBudget)));
    g_readBudget -= got;
    return got;
}

std::string ScanToError(const std::function<void()>& scan)
{
    try {
        scan();
    } catch (const IoError& e) {
        return e.what();
    }
    return "";
}

// A file whose reading fails half-way gives the tables, records and error
// of the bytes read before, scanned with that error at their end.
TEST(ScanResourceFile, ReadFailureEndsTheScanWhereTheBytesEnd)
{
    const test::TempDir dir;
    std::mt19937 random(11);
    const std::uint8_t pool[] = {kStringMarker, kStringMarker, 0, 0, 1, 2, 3, 'a', 0x0E, 255};
    for (int f = 0; f < 100; ++f) {
        SCOPED_TRACE("file " + std::to_string(f));
        test::Bytes bytes(random() % 400);
        for (auto& b : bytes)
            b = pool[random() % std::size(pool)];
        const std::string path = dir.Write("f.rsc", bytes);
        const auto failAfter = static_cast<long>(random() % (bytes.size() + 1));
        StringTables expected;
        SavingChanges expectedChanges;
        const std::string expectedError = ScanToError([&] {
            ScanResourceBytes(std::span(bytes).first(static_cast<std::size_t>(failAfter)), expected,
                              &expectedChanges, std::make_exception_ptr(IoErrorFor(EIO, path)));
        });
        EXPECT_NE(expectedError, "");
        StringTables tables;
        SavingChanges changes;
        g_readBudget = failAfter;
        SetReadFunctionForTesting(ReadThenFail);
        const std::string error = ScanToError([&] { ScanResourceFile(path, tables, &changes); });
        SetReadFunctionForTesting(nullptr);
        EXPECT_EQ(error, expectedError);
        EXPECT_EQ(EntriesOf(tables.vle), EntriesOf(expected.vle));
        EXPECT_EQ(EntriesOf(tables.vle2), EntriesOf(expected.vle2));
        EXPECT_EQ(EntriesOf(tables.vle3), EntriesOf(expected.vle3));
        EXPECT_EQ(changes, expectedChanges);
    }
}

} // namespace
} // namespace tavolin
