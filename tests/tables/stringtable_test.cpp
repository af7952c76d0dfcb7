#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "tables/error.h"
#include "tables/stringtable.h"

namespace tavolin {
namespace {

TEST(StringTables, StartEmptyWithTheirTitles)
{
    const StringTables t;
    EXPECT_EQ(t.vle.CellText(0, 0), "ID");
    EXPECT_EQ(t.vle.CellText(1, 0), "Value");
    EXPECT_EQ(t.vle2.CellText(0, 0), "Key");
    EXPECT_EQ(t.vle3.CellText(1, 0), "Value");
    EXPECT_EQ(t.vle.GridRowCount(), 2);
    EXPECT_EQ(t.vle.EntryCount() + t.vle2.EntryCount() + t.vle3.EntryCount(), 0u);
    // Titles are never matched by a lookup.
    EXPECT_EQ(t.vle3.ValueOf("Key"), "");
    EXPECT_EQ(t.vle.ValueOf("Value"), "");
}

TEST(StringTable, LookupTakesTheFirstMatchIgnoringCase)
{
    StringTable t("Key", "Value");
    t.AppendEntry("1", "a=b=c");
    t.AppendEntry("x", "first");
    t.AppendEntry("X", "second");
    t.AppendEntry("1", "later");
    t.AppendEntry("Zed", "letters");
    EXPECT_EQ(t.ValueOf("1"), "a=b=c");
    EXPECT_EQ(t.ValueOf("zED"), "letters");
    EXPECT_EQ(t.ValueOf("x"), "first");
    EXPECT_EQ(t.ValueOf("X"), "first");
    EXPECT_EQ(t.ValueOf("2"), "");
    EXPECT_EQ(t.ValueOf(""), "");
    EXPECT_EQ(t.CellText(1, 4), "later");
}

TEST(StringTable, KeyHoldingEqualsSplitsAtTheFirstOne)
{
    StringTable t("Key", "Value");
    t.AppendEntry("a=b", "c");
    EXPECT_EQ(t.CellText(0, 1), "a");
    EXPECT_EQ(t.CellText(1, 1), "b=c");
    EXPECT_EQ(t.ValueOf("a"), "b=c");
    EXPECT_EQ(t.ValueOf("a=b"), "");
}

TEST(StringTable, EmptyTableShowsOneEmptyRow)
{
    StringTable t("ID", "Value");
    EXPECT_EQ(t.GridRowCount(), 2);
    EXPECT_EQ(t.CellText(0, 1), "");
    EXPECT_EQ(t.CellText(1, 1), "");
    EXPECT_EQ(t.CellText(1, 7), "");
    EXPECT_EQ(t.ValueOf("1"), "");
    t.AppendEntry("1", "one");
    EXPECT_EQ(t.GridRowCount(), 2); // the empty row became entry 1
    t.AppendEntry("2", "two");
    EXPECT_EQ(t.GridRowCount(), 3);
}

TEST(StringTable, RowPastTheLastEntryFails)
{
    StringTable t("ID", "Value");
    t.AppendEntry("1", "one");
    try {
        (void)t.CellText(1, 2);
        FAIL() << "no error";
    } catch (const ListIndexError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (1)");
    }
    EXPECT_THROW((void)t.CellText(0, -1), ListIndexError);
}

TEST(StringTable, RemoveAllEntriesEmptiesAnySizeAndForgetsKeys)
{
    for (const int n : {1, 300}) {
        SCOPED_TRACE(std::to_string(n) + " entries");
        StringTable t("ID", "Value");
        for (int i = 1; i <= n; ++i)
            t.AppendEntry(std::to_string(i), "v" + std::to_string(i));
        EXPECT_EQ(t.GridRowCount(), n + 1);
        t.RemoveAllEntries();
        EXPECT_EQ(t.GridRowCount(), 2);
        EXPECT_EQ(t.EntryCount(), 0u);
        EXPECT_EQ(t.ValueOf("1"), "");
        // A new entry under an old key is found, not a stale one.
        t.AppendEntry("1", "new");
        EXPECT_EQ(t.ValueOf("1"), "new");
    }
}

TEST(StringTable, SetValueReplacesOnlyTheValue)
{
    StringTable t("ID", "Value");
    t.AppendEntry("1", "old");
    t.AppendEntry("2", "two");
    t.SetValue(0, "new=text");
    EXPECT_EQ(t.CellText(0, 1), "1");
    EXPECT_EQ(t.ValueOf("1"), "new=text");
    EXPECT_EQ(t.ValueOf("2"), "two");
}

class RecordingObserver : public TableObserver {
public:
    std::vector<std::string> events;
    void EntriesAboutToChange() override { events.push_back("about"); }
    void EntryAppended(std::size_t index) override { events.push_back("append " + std::to_string(index)); }
    void EntriesRemoved(std::size_t count) override { events.push_back("removed " + std::to_string(count)); }
};

TEST(StringTable, ObserverHearsOfEveryChangeButEdits)
{
    StringTable t("ID", "Value");
    RecordingObserver observer;
    t.SetObserver(&observer);
    t.RemoveAllEntries(); // nothing to remove: untouched
    t.AppendEntry("1", "a");
    t.AppendEntry("2", "b");
    t.SetValue(1, "c");
    t.RemoveAllEntries();
    t.SetObserver(nullptr);
    t.AppendEntry("3", "d");
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"about", "append 0", "about", "append 1", "about", "removed 2"}));
}

} // namespace
} // namespace tavolin

namespace tavolin {
namespace {

// The tables against a plain ordered list with first-match lookups, on random
// runs of appends, mixed-case lookups, edits and emptying.
TEST(StringTable, BehavesAsAPlainListWithFirstMatchLookups)
{
    std::mt19937 random(12345);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        StringTable table("Key", "Value");
        std::vector<std::pair<std::string, std::string>> list;
        const auto keyFor = [&]() -> std::string {
            switch (pick(6)) {
            case 0: return "Ab";
            case 1: return "aB";
            case 2: return std::to_string(pick(5));
            case 3: return "0" + std::to_string(pick(3));
            default: return std::to_string(list.size() + (run % 2)); // the next number
            }
        };
        for (int step = 0; step < 300; ++step) {
            const int what = pick(20);
            if (what < 10) {
                const std::string key = keyFor();
                const std::string value = "v" + std::to_string(step);
                table.AppendEntry(key, value);
                list.emplace_back(key, value);
            } else if (what < 16) {
                std::string key = keyFor();
                if (pick(2) == 0)
                    for (char& c : key)
                        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                std::string expected;
                for (const auto& [k, v] : list)
                    if (LowerAsciiLetters(k) == LowerAsciiLetters(key)) {
                        expected = v;
                        break;
                    }
                ASSERT_EQ(table.ValueOf(key), expected) << "key " << key << " step " << step;
            } else if (what < 19 && !list.empty()) {
                const auto i = static_cast<std::size_t>(pick(static_cast<int>(list.size())));
                list[i].second = std::string(static_cast<std::size_t>(pick(40000)), 'e');
                table.SetValue(i, list[i].second);
            } else if (what == 19) {
                table.RemoveAllEntries();
                list.clear();
            }
        }
        ASSERT_EQ(table.EntryCount(), list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            ASSERT_EQ(table.KeyAt(i), list[i].first) << "entry " << i;
            ASSERT_EQ(table.ValueAt(i), list[i].second) << "entry " << i;
        }
    }
}

TEST(StringTable, GapRecordsShowAsDecimalText)
{
    StringTable t("Key", "Value");
    t.AppendGapRecord("0", std::string("\x10\x20\x07", 3), false);
    t.AppendGapRecord("1", std::string("\xff\x00", 2), true);
    t.AppendGapRecord("2", "", true);
    EXPECT_EQ(t.ValueOf("0"), "16 32 7 ");
    EXPECT_EQ(t.ValueOf("1"), "255 0");
    EXPECT_EQ(t.ValueLengthAt(1), 5u);
    EXPECT_EQ(t.ValueOf("2"), "");
    t.SetValue(0, "1 2");
    EXPECT_FALSE(t.IsGapRecordAt(0));
    EXPECT_EQ(t.CellText(1, 1), "1 2");
}

} // namespace
} // namespace tavolin
