#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/clirun.h"
#include "cli/languages.h"
#include "cli/pofile.h"
#include "resource/resourcefile.h"
#include "resource/utf.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;
using test::Cli;
using test::CliRun;
using test::ReadText;
using test::TextsOf;
using test::WriteText;

std::string Po(const fs::path& path, const std::string& language, const std::vector<PoEntry>& entries)
{
    PoFile::Write(path.string(), "", "Language: " + language + "\nContent-Type: text/plain; charset=UTF-8\n", entries);
    return path.string();
}

PoEntry Entry(const std::string& id, const std::string& msgid, const std::string& msgstr)
{
    return {id, msgid, msgstr, "", false, false};
}

// A save by ID that the reader would find elsewhere: in place it is refused
// by ID and the file kept, into a new file written with a warning.
TEST(ImportIds, ASaveThatWouldReadElsewhereIsRefusedInPlace)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const struct {
        std::string sample;
        std::string edit;
        std::string why;
    } cases[] = {
        // One character raw in the old format (01 5A 00) is only guessed.
        {"structure/sources/fields_v6.rsc", R"({"2.1": "Z"})", "2.1: reads as guessed, no longer certain"},
        // One character between a WORD and a LONG is no text the reader
        // lists: ID 2.2 would name the next.
        {"structure/sources/fields_v6.rsc", R"({"2.2": "Z"})",
         "2.2: reads \"Connect charger\", not \"Z\"; 2.3: not found (the IDs after it would change)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        const test::Bytes bytes = test::ReadAll(test::CorpusDir() / c.sample);
        const std::string file = dir.Write("f.rsc", bytes);
        const std::string edits = (dir.Path() / "a.json").string();
        WriteText(edits, c.edit);
        CliRun run = Cli({"apply", file, edits, "--allow-guessed"});
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("would read differently after the save, and IDs would name other texts: " + c.why),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(test::ReadAll(file), bytes);
        const std::string moved = (dir.Path() / "moved.rsc").string();
        run = Cli({"apply", file, edits, "--allow-guessed", "-o", moved});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.err.find("warning: " + moved + " reads differently from what was meant, and IDs would name "
                               "other texts there: " + c.why),
                  std::string::npos)
            << run.err;
    }
}

// An import run again on its result: already translated, nothing in conflict.
TEST(ImportIds, AnImportRunAgainIsAlreadyTranslated)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const std::string file = dir.Write("h.rsc", test::ReadAll(test::CorpusDir() / "bafl_tsrc/HELP.RSC"));
    const std::string po = Po(dir.Path() / "fi.po", "fi", {Entry("4.1", "Topics", "Aiheet"), Entry("4.3", "Index", "Hakemisto")});
    const std::string out = (dir.Path() / "out.rsc").string();
    CliRun run = Cli({"import", file, po, "-o", out});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto texts = TextsOf(test::ReadAll(out));
    EXPECT_EQ(texts.at("4.1") + "|" + texts.at("4.3"), "Aiheet|Hakemisto");
    run = Cli({"import", out, po});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find(", unchanged")), "applied 0, already translated 2") << run.out;
}

// Where an entry's text is not at its ID it goes to the one text of that
// resource holding its msgid, and is refused by ID otherwise.
TEST(ImportIds, AnEntryGoesOnlyOntoATextHoldingItsMsgid)
{
    struct Case {
        std::string name;
        PoEntry entry;
        std::string said; // in the summary, or the refusal
        std::string texts; // of the file afterwards, joined by '|'
    };
    const std::vector<Case> cases = {
        {"at its ID", Entry("1.3", "No", "Ei"), "applied 1,", "Yes|Yes|Ei"},
        {"moved", Entry("1.2", "No", "Ei"), "applied 1,", "Yes|Yes|Ei"},
        {"ID gone, msgid once", Entry("1.7", "No", "Ei"), "applied 1,", "Yes|Yes|Ei"},
        {"msgid twice", Entry("1.3", "Yes", "Kyllä"), "refused: ID 1.3: its text is not the msgid, and 2 texts of "
                                                       "resource 1 are (1.1, 1.2); cannot tell which", ""},
        {"msgid nowhere", Entry("1.1", "Maybe", "Ehkä"), "refused: ID 1.1: the file's text is \"Yes\", not the msgid",
         ""},
        {"in another resource", Entry("2.1", "No", "Ei"), "skipped: ID 2.1 names no string", "Yes|Yes|No"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        const test::Bytes bytes = test::OldFormat({"Yes", "Yes", "No"});
        const std::string file = dir.Write("a.rsc", bytes);
        const std::string out = (dir.Path() / "out.rsc").string();
        const CliRun run = Cli({"import", file, Po(dir.Path() / "t.po", "fi", {c.entry}), "-o", out});
        EXPECT_EQ(run.code, c.texts.empty() ? 1 : 0) << run.err;
        EXPECT_NE((run.out + run.err).find(c.said), std::string::npos) << run.out << run.err;
        if (c.texts.empty()) {
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        const auto texts = TextsOf(test::ReadAll(out));
        EXPECT_EQ(texts.at("1.1") + "|" + texts.at("1.2") + "|" + texts.at("1.3"), c.texts);
        EXPECT_EQ(test::ReadAll(file), bytes);
    }
}

// --variant writes beside FILE under the platform's name of the language,
// -o any other file; the source stays as it was.
TEST(ImportIds, VariantIsNamedFromTheLanguage)
{
    const test::TempDir dir;
    const test::Bytes bytes = test::OldFormat({"Yes", "No"});
    const std::string file = dir.Write("app.rsc", bytes);
    CliRun run = Cli({"import", file, Po(dir.Path() / "ru.po", "ru", {Entry("1.1", "Yes", "Да")}), "--variant"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("written to " + (dir.Path() / "app.r16").string()), std::string::npos) << run.out;
    EXPECT_EQ(TextsOf(test::ReadAll(dir.Path() / "app.r16")).at("1.1"), "Да");
    EXPECT_EQ(test::ReadAll(file), bytes);

    // XLIFF names it in target-language; nothing to apply still writes it.
    const fs::path xlf = dir.Path() / "pt.xlf";
    WriteText(xlf, "<xliff version=\"1.2\"><file original=\"app.rsc\" source-language=\"en\" target-language=\"pt-BR\">"
                   "<body><trans-unit id=\"1.2\"><source>No</source><target/></trans-unit></body></file></xliff>");
    run = Cli({"import", file, xlf.string(), "--variant"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(test::ReadAll(dir.Path() / "app.r76"), bytes);

    for (const std::string language : {"", "xx"}) {
        run = Cli({"import", file, Po(dir.Path() / "t.po", language, {Entry("1.1", "Yes", "Oui")}), "--variant"});
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find(language.empty() ? "names no language" : "no language number for \"xx\""),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(Cli({"import", file, xlf.string(), "--variant", "-o", "x.rsc"}).code, 2);
    run = Cli({"import", file, xlf.string(), "-d", (dir.Path() / "none").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, (dir.Path() / "none").string() + ": no such folder; nothing written\n");
    EXPECT_EQ(test::ReadAll(file), bytes);
}

TEST(ImportIds, PlatformLanguageNumbers)
{
    const std::vector<std::pair<std::string, unsigned>> numbers = {
        {"en", 1},  {"en_US", 10}, {"fr", 2},      {"de_AT", 22}, {"fi", 9},  {"sv_FI", 85}, {"ru", 16},
        {"ru_RU", 16}, {"pt", 13}, {"pt-BR", 76},  {"zh_TW", 29}, {"zh", 31}, {"ja", 32},    {"uk", 93},
        {"sr@latin", 79}, {"fi_FI.UTF-8", 9}, {"DE", 3}, {"es_419", 83}, {"eu", 102},
    };
    for (const auto& [code, number] : numbers)
        EXPECT_EQ(PlatformLanguage(code), std::optional<unsigned>(number)) << code;
    EXPECT_EQ(PlatformLanguage("xx"), std::nullopt);
    EXPECT_EQ(PlatformLanguage(""), std::nullopt);
    EXPECT_EQ(VariantPath("dir/app.rsc", 16), "dir/app.r16");
    EXPECT_EQ(VariantPath("APP.RSC", 1), "APP.R01");
    EXPECT_EQ(VariantPath("app.r01", 102), "app.r102");
}

// A file with many texts grown: the summary lists the first ones only.
TEST(ImportIds, GrowthListStaysShort)
{
    const test::TempDir dir;
    std::vector<std::string> texts;
    std::vector<PoEntry> entries;
    for (int i = 0; i < 30; ++i) {
        texts.push_back("T" + std::to_string(i));
        entries.push_back(Entry("1." + std::to_string(i + 1), texts.back(), texts.back() + "xx"));
    }
    const std::string file = dir.Write("a.rsc", test::OldFormat(texts));
    const CliRun run = Cli({"import", file, Po(dir.Path() / "t.po", "fi", entries), "-o",
                            (dir.Path() / "b.rsc").string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("\n  1.20: 3 to 5 characters\n  and 10 more\n"), std::string::npos) << run.out;
}

} // namespace
} // namespace tavolin
