#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "bytewisereading.h"
#include "file/errors.h"
#include "codec/reader.h"
#include "codec/writer.h"
#include "testutil.h"

namespace tavolin {
namespace {

// The scan of `bytes` against the byte-by-byte reading: the same tables, the
// same error, the same record of what a save rewrites, tables that a
// patch-mode save takes, and a save that gives the bytes back wherever the
// reading says it can.
void ExpectScanMatchesReading(const test::Bytes& bytes)
{
    const reference::Reading expected = reference::ReadByteByByte(bytes);
    StringTables tables;
    SavingChanges changes;
    std::string error;
    try {
        ScanResourceBytes(bytes, tables, &changes);
    } catch (const IoError& e) {
        error = e.what();
    }
    ASSERT_EQ(error, expected.failed ? "Read beyond end of file" : "");
    ASSERT_EQ(test::EntriesOf(tables.vle2), expected.vle2);
    ASSERT_EQ(test::EntriesOf(tables.vle3), expected.vle3);
    ASSERT_EQ(test::EntriesOf(tables.vle), expected.vle);
    if (expected.failed)
        return;
    // resave writes a scan's tables without this check.
    EXPECT_NO_THROW(CheckPatchFile(tables.vle, tables.vle2, tables.vle3));
    bool charChanges = false;
    std::size_t firstWithout = StringTable::kNone;
    for (const auto& [index, list] : changes) {
        charChanges |= list.size() > (LacksLengthByte(list) ? 1u : 0u);
        if (LacksLengthByte(list))
            firstWithout = std::min(firstWithout, index);
    }
    EXPECT_EQ(!charChanges, expected.charsSurvive);
    EXPECT_EQ(firstWithout == StringTable::kNone ? 0 : static_cast<long long>(firstWithout) + 1,
              expected.withoutLengthByte);
    if (expected.charsSurvive && expected.layoutSurvives) {
        EXPECT_TRUE(BuildPatchFile(tables.vle, tables.vle2, tables.vle3) == bytes) << "no round trip";
    }
}

// Files of strings in every layout: gaps of 0 to 3 bytes, markers with and
// without a length byte of their own, runs of plain letters, filler, Thai
// letters and characters that change, and files cut short anywhere.
test::Bytes GeneratedFile(std::mt19937& random)
{
    const auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    const std::uint16_t odd[] = {0x0000, 0x005C, 0x000A, 0x001F, 0x007F, 0x00FF, 0x0E01, 0x0E5F, 0x0141, 0xAB00, 0x00AB};
    test::Bytes bytes;
    const unsigned strings = pick(8);
    for (unsigned s = 0; s < strings; ++s) {
        for (unsigned g = pick(4); g > 0; --g)
            bytes.push_back(static_cast<std::uint8_t>(pick(3) == 0 ? kStringMarker - 1 : pick(256)));
        const auto length = static_cast<std::uint8_t>(pick(4) == 0 ? pick(256) : pick(12));
        if (pick(4) != 0)
            bytes.push_back(length); // else the marker follows at once
        bytes.push_back(kStringMarker);
        const unsigned plainUpTo = pick(length + 1u);
        for (unsigned k = 0; k < length; ++k) {
            std::uint16_t c = 0;
            if (k < plainUpTo)
                c = static_cast<std::uint16_t>('a' + pick(26));
            else if (pick(3) != 0)
                c = odd[pick(std::size(odd))];
            bytes.push_back(static_cast<std::uint8_t>(c));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    }
    for (unsigned g = pick(3); g > 0; --g)
        bytes.push_back(static_cast<std::uint8_t>(pick(256)));
    if (!bytes.empty() && pick(5) == 0)
        bytes.resize(pick(static_cast<unsigned>(bytes.size())));
    return bytes;
}

TEST(ScanAgainstByteByByteReading, GeneratedFiles)
{
    std::mt19937 random(20261209);
    for (int f = 0; f < 20000; ++f) {
        const test::Bytes bytes = GeneratedFile(random);
        SCOPED_TRACE("file " + std::to_string(f) + " of " + std::to_string(bytes.size()) + " bytes");
        ExpectScanMatchesReading(bytes);
        if (HasFatalFailure())
            return;
    }
}

TEST(ScanAgainstByteByByteReading, RandomBytes)
{
    std::mt19937 random(171);
    const std::uint8_t pool[] = {kStringMarker, kStringMarker, 0, 0, 0, 1, 2, 3, 4, 'a', 'b', 0x0E, 0x5C, 255};
    for (int f = 0; f < 5000; ++f) {
        test::Bytes bytes(random() % 300);
        for (auto& b : bytes)
            b = pool[random() % std::size(pool)];
        SCOPED_TRACE("file " + std::to_string(f));
        ExpectScanMatchesReading(bytes);
        if (HasFatalFailure())
            return;
    }
}

// Large files scanned from the disk: megabytes of mixed bytes, a long gap,
// a string cut by the end.
TEST(ScanAgainstByteByByteReading, LargeFilesScannedFromTheDisk)
{
    const test::TempDir dir;
    std::mt19937 random(64);
    const std::uint8_t pool[] = {kStringMarker, 0, 0, 1, 2, 3, 40, 'a', 'b', 0x0E, 255};
    test::Bytes mixed(3u << 20);
    for (auto& b : mixed)
        b = pool[random() % std::size(pool)];
    test::Bytes longGap(3u << 19, 7);
    longGap.insert(longGap.end(), {3, kStringMarker, 'a', 0, 'b', 0, 'c', 0, 9});
    longGap.insert(longGap.end(), mixed.begin(), mixed.begin() + (1 << 20));
    test::Bytes cut(mixed.begin(), mixed.begin() + (2 << 20));
    cut.insert(cut.end(), {0, 200, kStringMarker, 'a', 0});
    for (const test::Bytes& bytes : {mixed, longGap, cut}) {
        const reference::Reading expected = reference::ReadByteByByte(bytes);
        StringTables tables;
        std::string error;
        try {
            ScanResourceFile(dir.Write("large.rsc", bytes), tables);
        } catch (const IoError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, expected.failed ? "Read beyond end of file" : "");
        EXPECT_TRUE(test::EntriesOf(tables.vle2) == expected.vle2);
        EXPECT_TRUE(test::EntriesOf(tables.vle3) == expected.vle3);
        EXPECT_TRUE(test::EntriesOf(tables.vle) == expected.vle);
    }
}

TEST(ScanAgainstByteByByteReading, CorpusFiles)
{
    TAVOLIN_REQUIRE_CORPUS();
    for (const auto& file : test::CorpusFiles()) {
        SCOPED_TRACE(file.string());
        ExpectScanMatchesReading(test::ReadAll(file));
    }
}

} // namespace
} // namespace tavolin
