#include <gtest/gtest.h>

#include "codec/savingchanges.h"
#include "testutil.h"

namespace tavolin {
namespace {

TEST(FindSavingChanges, ListsEachCharacterThatASaveRewrites)
{
    // "a\" with a file backslash, then U+0419, U+0100, U+0000 and a Thai letter.
    const test::Bytes file = {7, 2,   171, 'a', 0,    0x5C, 0,    9,    4, 171,
                              0x19, 0x04, 0, 1, 0, 0, 0x01, 0x0E, 3, 1, 171, 'b', 0};
    const auto scanned = test::ScanBytes(file);
    ASSERT_EQ(scanned.error, "");
    const SavingChanges changes = FindSavingChanges(file, scanned.tables);
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes.at(0), (std::vector<CharChange>{{0x5C, 0x0A}}));
    EXPECT_EQ(changes.at(1), (std::vector<CharChange>{{0x0419, 0x0019}, {0x0100, 0}}));
}

TEST(FindSavingChanges, StopsWhereTheLayoutCannotBeFollowed)
{
    // A marker right behind string 1: string 2's length byte is no file byte.
    test::Bytes file = {1, 171, 'A', 0, 171};
    for (int i = 0; i < 65; ++i)
        file.insert(file.end(), {0x5C, 0});
    const auto scanned = test::ScanBytes(file);
    ASSERT_EQ(scanned.error, "");
    EXPECT_TRUE(FindSavingChanges(file, scanned.tables).empty());
}

} // namespace
} // namespace tavolin
