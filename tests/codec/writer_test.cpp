#include <gtest/gtest.h>

#include "file/errors.h"
#include "codec/writer.h"
#include "samebytes.h"
#include "testutil.h"

#include <filesystem>

namespace tavolin {
namespace {

using test::Bytes;

// Tables as a scan would leave them: ID k gets text texts[k-1], capacity
// caps[k-1] and gap record gaps[k]; gaps[0] is key "0".
StringTables Tables(const std::vector<std::string>& texts, const std::vector<std::string>& caps,
                    const std::vector<std::string>& gaps)
{
    StringTables t;
    for (std::size_t i = 0; i < gaps.size(); ++i)
        t.vle2.AppendEntry(std::to_string(i), gaps[i]);
    for (std::size_t i = 0; i < caps.size(); ++i)
        t.vle3.AppendEntry(std::to_string(i + 1), caps[i]);
    for (std::size_t i = 0; i < texts.size(); ++i)
        t.vle.AppendEntry(std::to_string(i + 1), texts[i]);
    return t;
}

Bytes Patch(const StringTables& t)
{
    return BuildPatchFile(t.vle, t.vle2, t.vle3);
}

std::string PatchError(const StringTables& t)
{
    try {
        (void)Patch(t);
    } catch (const TavolinError& e) {
        return e.what();
    }
    return "";
}

TEST(WriteGapRecord, NumbersSeparatedByBlanks)
{
    const auto gap = [](std::string_view record) {
        Bytes out;
        WriteGapRecord(out, record);
        return out;
    };
    EXPECT_EQ(gap("12 0 255 "), (Bytes{12, 0, 255}));
    EXPECT_EQ(gap("12 0 255"), (Bytes{12, 0, 255}));
    EXPECT_EQ(gap(""), Bytes{});
    EXPECT_EQ(gap("300 -1"), (Bytes{0x2C, 0xFF}));
    for (const auto& [record, bad] : std::vector<std::pair<std::string, std::string>>{
             {"1  2", ""}, {" 1", ""}, {"1\t2", "1\t2"}, {"7 x8 ", "x8"}}) {
        SCOPED_TRACE(record);
        Bytes out;
        try {
            WriteGapRecord(out, record);
            ADD_FAILURE() << "no error";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.what(), "'" + bad + "' is not a valid integer value");
        }
    }
}

TEST(BuildPatchFile, SlotsKeepTheirSize)
{
    EXPECT_EQ(Patch(Tables({"Hi"}, {"5"}, {"", "9"})),
              (Bytes{5, 0xAB, 'H', 0, 'i', 0, 0, 0, 0, 0, 0, 0, 9}));
    EXPECT_EQ(Patch(Tables({"Hi"}, {"2"}, {"1 ", ""})), (Bytes{1, 2, 0xAB, 'H', 0, 'i', 0}));
    EXPECT_EQ(Patch(Tables({""}, {"3"}, {"", ""})), (Bytes{3, 0xAB, 0, 0, 0, 0, 0, 0}));
    // A backslash is a line feed; bytes from 127 on go to the Thai block.
    EXPECT_EQ(Patch(Tables({"\\\x7f\xa1\xff"}, {"4"}, {"", ""})),
              (Bytes{4, 0xAB, 0x0A, 0, 0xDF, 0x0E, 0x01, 0x0E, 0x5F, 0x0E}));
}

TEST(BuildPatchFile, WorkedExampleComesBack)
{
    const auto t = Tables({"Hi", "\xA1\\"}, {"3", "2"}, {"16 32 7 ", "5 ", "9 10 4"});
    EXPECT_EQ(Patch(t), (Bytes{16, 32, 7, 3, 171, 72, 0, 105, 0, 0, 0, 5, 2, 171, 1, 14, 10, 0, 9, 10, 4}));
}

TEST(BuildPatchFile, FileWithoutStringsIsItsGapRecordAlone)
{
    EXPECT_EQ(Patch(Tables({}, {}, {"1 2 3"})), (Bytes{1, 2, 3}));
    EXPECT_EQ(Patch(Tables({}, {}, {""})), Bytes{});
}

// Each ID takes the first entry keyed by it, wherever the tables hold it:
// keys out of order, repeated, or missing.
TEST(BuildPatchFile, FirstEntryOfEachIdWhereverItStands)
{
    StringTables t;
    for (const auto& [key, value] : {std::pair{"0", "7 "}, {"2", "8"}, {"1", ""}, {"1", "5"}})
        t.vle2.AppendEntry(key, value);
    for (const auto& [key, value] : {std::pair{"1", "1"}, {"2", "2"}, {"1", "9"}, {"3", "0"}})
        t.vle3.AppendEntry(key, value);
    for (const auto& [key, value] : {std::pair{"2", "B"}, {"1", "A"}, {"1", "x"}})
        t.vle.AppendEntry(key, value);
    EXPECT_EQ(Patch(t), (Bytes{7, 1, 0xAB, 'A', 0, 2, 0xAB, 'B', 0, 0, 0, 8, 0, 0xAB}));
}

TEST(BuildPatchFile, RefusesWhatWouldCorruptTheFile)
{
    EXPECT_EQ(PatchError(Tables({"Hello"}, {"3"}, {"", ""})),
              "The text of ID 1 has 5 characters, but its slot holds 3");
    EXPECT_EQ(PatchError(Tables({"ok", "a", "abc"}, {"2", "0", "1"}, {"", "", "", ""})),
              "2 texts are longer than their slots: ID 2 has 1 character, its slot holds 0; "
              "ID 3 has 3 characters, its slot holds 1");
    const StringTables many = Tables(std::vector<std::string>(12, "xy"),
                                     std::vector<std::string>(12, "1"), std::vector<std::string>(13));
    const std::string message = PatchError(many);
    EXPECT_NE(message.find("12 texts are longer"), std::string::npos) << message;
    EXPECT_NE(message.find("ID 10 has 2 characters"), std::string::npos) << message;
    EXPECT_EQ(message.find("ID 11 "), std::string::npos) << message;
    EXPECT_NE(message.find("; and 2 more"), std::string::npos) << message;
    EXPECT_EQ(PatchError(Tables({"a", "b"}, {"1"}, {"", "", ""})), "'' is not a valid integer value");
    EXPECT_EQ(PatchError(Tables({"a"}, {"x"}, {"", ""})), "'x' is not a valid integer value");
    EXPECT_EQ(PatchError(Tables({"a"}, {"1"}, {"", "1  2"})), "'' is not a valid integer value");
}

// Capacities beyond a length byte's 255 are written whole, filler and
// text, also when the slot is larger than the save stream's buffer.
TEST(WritePatchFile, SlotsLargerThanTheStreamsBuffer)
{
    StringTables t = Tables({"abc", "", "Hi"}, {"600000", "700000", "2"}, {"1 ", "2 ", "3 ", "4"});
    t.vle.SetValue(1, std::string(700000, 'x'));
    Bytes expected = {1, 0xC0, 171, 'a', 0, 'b', 0, 'c', 0};
    expected.resize(expected.size() + 2 * (600000 - 3), 0);
    expected.insert(expected.end(), {2, 0x60, 171});
    for (int i = 0; i < 700000; ++i)
        expected.insert(expected.end(), {'x', 0});
    expected.insert(expected.end(), {3, 2, 171, 'H', 0, 'i', 0, 4});
    EXPECT_TRUE(test::SameBytes(Patch(t), expected));
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", {1, 2, 3});
    WritePatchFile(target, t.vle, t.vle2, t.vle3);
    EXPECT_TRUE(test::SameBytes(test::ReadAll(target), expected));
}

TEST(BuildCaptionFile, HeaderTextsAndIndex)
{
    EXPECT_EQ(BuildCaptionFile(Tables({"Abc", "Abc"}, {}, {}).vle),
              (Bytes{0x14, 0, 5, 0, 3, 0xAB, 'A', 0, 'b', 0, 'c', 0, 3, 0xAB, 'A', 0, 'b', 0, 'c', 0, 4, 0, 0x14, 0}));
    EXPECT_EQ(BuildCaptionFile(Tables({}, {}, {}).vle), (Bytes{6, 0, 5, 0, 0, 0xAB, 4, 0, 6, 0}));
    // Texts are written whole, whatever their capacity.
    const auto t = Tables({"Torchlight"}, {"5"}, {"28 0 5 0 ", ""});
    const Bytes out = BuildCaptionFile(t.vle);
    EXPECT_EQ(out.size(), 4u + 2 + 20 + 4);
    EXPECT_EQ(out[4], 10);
}

TEST(BuildCaptionFile, RefusesTextsThatDoNotFitOneByteOffsets)
{
    // One text of 124 characters is the most: P = 4 + 250 = 254.
    EXPECT_EQ(BuildCaptionFile(Tables({std::string(124, 'a')}, {}, {}).vle).size(), 258u);
    EXPECT_THROW((void)BuildCaptionFile(Tables({std::string(125, 'a')}, {}, {}).vle), SaveRefused);
    try {
        (void)BuildCaptionFile(Tables({std::string(100, 'a'), std::string(30, 'b')}, {}, {}).vle);
        FAIL();
    } catch (const SaveRefused& e) {
        EXPECT_STREQ(e.what(), "The texts are too long for a caption file: with its header they take 268 "
                               "bytes, 13 more than the 255 that fit");
    }
}

// resave writes the same bytes as saving the scanned tables, or the scan's
// error (or the refusal of a string without a length byte) and no file.
TEST(ResavePatchFile, WritesWhatSavingTheScannedTablesWrites)
{
    const Bytes tail = {2, 0xAB, 'a', 0, 'b', 0, 9};
    Bytes longGap((5u << 20) + tail.size(), 7); // wider than the save stream's buffer
    std::copy(tail.begin(), tail.end(), longGap.end() - static_cast<long>(tail.size()));
    // With the ID that has no length byte of its own, where one has none.
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {{}, nullptr},
        {{0xAB}, "1"},
        {{1, 2, 3, 2, 0xAB, 'a', 0, 'b', 0, 4, 5}, nullptr},
        {{3, 0xAB, 0x01, 0x0E, 0x0A, 0, 0x5C, 0}, nullptr},  // Thai, line feed, backslash
        {{3, 0xAB, 0, 0, 'x', 0, 0x41, 0x03}, nullptr},      // U+0000 before text, a character that changes
        {{1, 0xAB, 2, 0, 0xAB, 'x', 0, 'y', 0, 1}, "2"},     // a marker right behind a string
        {{5, 0xAB, 'a', 0}, nullptr},                        // the file ends inside a string
        {longGap, nullptr},
    };
    const test::TempDir dir;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& [bytes, refusedId] = cases[i];
        const std::string in = dir.Write("in.rsc", bytes);
        const std::string out = (dir.Path() / "out.rsc").string();
        std::filesystem::remove(out);
        const test::ScannedFile scanned = test::ScanPath(in);
        std::string error;
        try {
            ResavePatchFile(in, out);
        } catch (const TavolinError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, refusedId ? NoLengthByteMessage(refusedId) : scanned.error);
        if (!error.empty()) {
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        const StringTables& t = scanned.tables;
        EXPECT_TRUE(test::SameBytes(test::ReadAll(out), BuildPatchFile(t.vle, t.vle2, t.vle3)));
        EXPECT_TRUE(test::SameBytes(test::ReadAll(in), bytes));
    }
    // A target that is refused and a file that ends inside a string: the
    // scan's error comes first, as when the tables are scanned, then saved.
    const std::string in = dir.Write("in.rsc", cases[6].first);
    EXPECT_EQ(test::ScanPath(in).error, "Read beyond end of file");
    for (const std::string& out : {dir.Path().string(), (dir.Path() / "gone" / "x.rsc").string()}) {
        try {
            ResavePatchFile(in, out);
            ADD_FAILURE() << out;
        } catch (const TavolinError& e) {
            EXPECT_STREQ(e.what(), "Read beyond end of file") << out;
        }
    }
}

TEST(IsCaptionPath, AnyCaseAnywhereInThePath)
{
    EXPECT_TRUE(IsCaptionPath("/data/torch_caption.rsc"));
    EXPECT_TRUE(IsCaptionPath("/data/CAPTION/app.RSC"));
    EXPECT_TRUE(IsCaptionPath("Caption"));
    EXPECT_FALSE(IsCaptionPath("/data/capt_ion.rsc"));
    EXPECT_FALSE(IsCaptionPath("/data/app.rsc"));
}

} // namespace
} // namespace tavolin
