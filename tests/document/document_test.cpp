#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

#include "document/document.h"
#include "resource/resourcefile.h"
#include "testutil.h"

namespace tavolin {
namespace {

using test::Bytes;
using test::TempDir;

// A copy of a corpus file in `dir`, since the document may open it for writing.
std::string CorpusCopy(const TempDir& dir, const std::string& relative)
{
    return dir.Write("copy.rsc", test::ReadAll(test::CorpusDir() / relative));
}

// Two marker strings ("Hi", "Yo") between gap bytes: no resource format.
const Bytes kMarkerFile = {9, 2, 0xAB, 'H', 0, 'i', 0, 7, 2, 0xAB, 'Y', 0, 'o', 0, 5};

TEST(Document, TheReadingFollowsTheFileUnlessOneIsAskedFor)
{
    TAVOLIN_REQUIRE_CORPUS();
    const TempDir dir;
    const std::string compressed = CorpusCopy(dir, "compiled/strings2_u.rsc");
    const std::string plain = dir.Write("plain.rsc", kMarkerFile);

    const Document byDefault(compressed, {});
    EXPECT_EQ(byDefault.Reading(), ReadBy::Resource);
    EXPECT_TRUE(byDefault.Summary().starts_with("by resource: compressed, ")) << byDefault.Summary();
    const std::optional<std::size_t> row = byDefault.RowOf("4.1");
    ASSERT_TRUE(row);
    EXPECT_EQ(byDefault.Texts()[*row].id, "4.1");
    EXPECT_EQ(byDefault.Texts()[*row].source, u"World");
    EXPECT_EQ(byDefault.Texts()[*row].limit, 255U);
    EXPECT_EQ(byDefault.RowOf("4.99"), std::nullopt);

    EXPECT_EQ(Document(compressed, {.by = ReadBy::Marker}).Reading(), ReadBy::Marker);
    Document markers(plain, {});
    EXPECT_EQ(markers.Reading(), ReadBy::Marker);
    EXPECT_EQ(markers.Summary(), "by marker");
    ASSERT_EQ(markers.Markers().Strings().size(), 2U);
    EXPECT_EQ(markers.Markers().Strings()[1].text, "Yo");
    EXPECT_THROW(Document(plain, {.by = ReadBy::Resource}), ReadingRefused);
}

TEST(Document, SavesWhatApplyWritesAndNothingElseWithoutEdits)
{
    TAVOLIN_REQUIRE_CORPUS();
    const TempDir dir;
    const std::string path = CorpusCopy(dir, "bafl_tsrc/HELP.RSC");
    const Bytes original = test::ReadAll(path);
    Document document(path, {.by = std::nullopt, .access = Access::ReadWrite});
    EXPECT_FALSE(document.Edited());
    document.Save(path, false);
    EXPECT_EQ(test::ReadAll(path), original);

    const std::size_t row = *document.RowOf("4.3");
    document.SetText(row, u"Поиск");
    EXPECT_TRUE(document.Edited());
    document.Save(path, false);
    EXPECT_EQ(test::ReadAll(path),
              resource::Rebuild(resource::ReadResourceFile(original), {{4, 3, u"Поиск"}}, false));
    EXPECT_EQ(Document(path, {}).Texts()[row].source, u"Поиск");
}

TEST(Document, ARefusalNamesTheRowOfItsText)
{
    TAVOLIN_REQUIRE_CORPUS();
    const TempDir dir;
    const std::string path = CorpusCopy(dir, "bafl_tsrc/HELP.RSC");
    const Bytes original = test::ReadAll(path);
    const struct {
        const char* id;
        std::u16string text;
    } cases[] = {
        {"4.2", std::u16string(256, u'x')},   // an LTEXT holds 255 units
        {"4.4", std::u16string(u"a\0b", 3)}, // U+0000 would end the text
    };
    for (const auto& c : cases) {
        Document document(path, {});
        const std::size_t row = *document.RowOf(c.id);
        document.SetText(row, c.text);
        try {
            document.Save(path, false);
            ADD_FAILURE() << c.id << " was saved";
        } catch (const TextRefused& e) {
            EXPECT_EQ(e.Row(), row) << e.what();
            EXPECT_TRUE(std::string(e.what()).starts_with(c.id)) << e.what();
        }
        EXPECT_EQ(test::ReadAll(path), original) << c.id;
    }
}

long FailAfterFirstRead(int fd, void* data, std::size_t size)
{
    static int calls = 0;
    if (++calls % 2 == 0) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, data, std::min<std::size_t>(size, 8));
}

TEST(Document, AReadErrorKeepsWhatCameBeforeItForTheMarkerScanOnly)
{
    const TempDir dir;
    const std::string path = dir.Write("plain.rsc", kMarkerFile);
    for (const std::optional<ReadBy> by : {std::optional(ReadBy::Marker), std::optional<ReadBy>()}) {
        SetReadFunctionForTesting(FailAfterFirstRead);
        const Document document(path, {.by = by});
        SetReadFunctionForTesting(nullptr);
        StringTables tables;
        EXPECT_THROW(document.ScanInto(tables, nullptr), IoError);
        EXPECT_EQ(tables.vle.EntryCount(), 1U); // "Hi", the string within the first 8 bytes
    }

    SetReadFunctionForTesting(FailAfterFirstRead);
    EXPECT_THROW(Document(path, {.by = ReadBy::Resource}), IoError);
    SetReadFunctionForTesting(nullptr);
}

TEST(Document, OpenFailuresSayWhatIsWrongInTheSameWordsEverywhere)
{
    const TempDir dir;
    const auto messageOf = [](const std::string& path, Access access) {
        try {
            (void)Document(path, {.by = std::nullopt, .access = access});
        } catch (const IoError& e) {
            return std::string(e.what());
        }
        return std::string("opened");
    };
    const std::string missing = (dir.Path() / "missing.rsc").string();
    for (const Access access : {Access::ReadOnly, Access::ReadWrite})
        EXPECT_EQ(messageOf(missing, access), "File not found");
    EXPECT_EQ(messageOf(dir.Path().string(), Access::ReadOnly), "Is a folder, not a file");
    EXPECT_EQ(messageOf(dir.Path().string(), Access::ReadWrite), "File access denied");
}

} // namespace
} // namespace tavolin
