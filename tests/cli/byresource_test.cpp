#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/clirun.h"
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

const char* const kHeader = "Content-Type: text/plain; charset=UTF-8\n";

// A translation in another script for each text, in turn; narrow builds
// hold only Windows-1252.
std::string Translation(std::size_t i, bool narrow)
{
    static const std::vector<std::string> wide = {"Ünïcödé ñ", "Привет", "Γειά σου", "สวัสดี", "打开文件",
                                                  "مرحبا بالعالم", "😀 ok"};
    static const std::vector<std::string> latin = {"Ünïcödé ñ", "Grüße à bientôt"};
    return narrow ? latin[i % latin.size()] : wide[i % wide.size()];
}

// The exported XLIFF with each empty target filled in turn.
std::string FillTargets(std::string xliff, const std::vector<std::string>& targets)
{
    const std::string empty = "<target xml:space=\"preserve\"/>";
    std::size_t at = 0;
    for (const auto& target : targets) {
        at = xliff.find(empty, at);
        if (at == std::string::npos)
            break;
        const std::string filled = "<target xml:space=\"preserve\">" + target + "</target>";
        xliff.replace(at, empty.size(), filled);
        at += filled.size();
    }
    return xliff;
}

// Every file the structure codec reads: exported by resource, translated
// into other scripts, imported through PO and through XLIFF, it holds the
// translations and the bytes `apply` writes for them; the exports pass the
// gettext and translate-toolkit readers.
TEST(ByResource, EveryCorpusFileTakesTranslationsInAnyScriptThroughPoAndXliff)
{
    TAVOLIN_REQUIRE_CORPUS();
    const bool haveMsgfmt = std::system("msgfmt --version >/dev/null 2>&1") == 0;
    const bool haveXliff2po = std::system("xliff2po --version >/dev/null 2>&1") == 0;
    const test::TempDir xliffs;
    std::map<std::string, std::vector<std::string>> exportedSources; // by XLIFF name
    std::size_t files = 0;
    std::size_t translated = 0;
    for (const fs::path& source : test::CorpusFiles()) {
        const test::Bytes original = test::ReadAll(source);
        const auto structure = resource::ReadResourceFile(original);
        if (structure.format == resource::Format::Unknown)
            continue;
        SCOPED_TRACE(source.string());
        ++files;
        const bool narrow = structure.format == resource::Format::Narrow;
        const test::TempDir dir;
        const std::string byPo = dir.Write("po.rsc", original);
        const std::string byXliff = dir.Write("xliff.rsc", original);
        const std::string byApply = dir.Write("apply.rsc", original);

        const fs::path po = dir.Path() / "t.po";
        CliRun run = Cli({"export", byPo, "--language", "ru", "-o", po.string()});
        ASSERT_EQ(run.code, 0) << run.err;
        if (haveMsgfmt) {
            EXPECT_EQ(std::system(("msgfmt --check -o /dev/null '" + po.string() + "' 2>/dev/null").c_str()), 0);
        }
        std::vector<PoEntry> entries = PoFile::Read(po.string());
        nlohmann::json edits = nlohmann::json::object();
        std::vector<std::string> targets;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            entries[i].msgstr = Translation(i + files, narrow);
            edits[*entries[i].context] = entries[i].msgstr;
            targets.push_back(entries[i].msgstr);
        }
        translated += entries.size();
        PoFile::Write(po.string(), "", kHeader, entries);
        // Into new files: in place, a translation that leaves a text read
        // otherwise (an LTEXT of the old format whose pad goes, now guessed)
        // is refused.
        const std::string poOut = (dir.Path() / "po-out.rsc").string();
        // The translations are made up: they keep no placeholders.
        run = Cli({"import", byPo, po.string(), "-o", poOut, "--allow-placeholders", "--include-paths"});
        ASSERT_EQ(run.code, 0) << run.err;
        // Unless the import warned, each translation reads back at its ID.
        // (The platform's deliberately invalid files pack numbers that read
        // as ideographs right after their texts: the reader cannot tell
        // where some of the new texts end, and the import says so.)
        if (run.err.find("reads differently") == std::string::npos) {
            const auto texts = TextsOf(test::ReadAll(poOut));
            for (const auto& e : entries) {
                const auto text = texts.find(*e.context);
                EXPECT_EQ(text == texts.end() ? "(not found)" : text->second, e.msgstr) << *e.context;
            }
        }

        WriteText(dir.Path() / "edits.json", edits.dump());
        const std::string applyOut = (dir.Path() / "apply-out.rsc").string();
        run = Cli({"apply", byApply, (dir.Path() / "edits.json").string(), "-o", applyOut});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(test::ReadAll(poOut), test::ReadAll(applyOut));

        const fs::path xlf = dir.Path() / "t.xlf";
        run = Cli({"export", byXliff, "--format", "xliff", "--language", "ru", "-o", xlf.string()});
        ASSERT_EQ(run.code, 0) << run.err;
        const std::string name = std::to_string(files) + ".xlf";
        fs::copy_file(xlf, xliffs.Path() / name);
        for (const auto& e : entries)
            exportedSources[name].push_back(test::ShownByOtherXmlReaders(e.msgid));
        WriteText(xlf, FillTargets(ReadText(xlf), targets));
        const std::string xliffOut = (dir.Path() / "xliff-out.rsc").string();
        run = Cli({"import", byXliff, xlf.string(), "-o", xliffOut, "--allow-placeholders", "--include-paths"});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(test::ReadAll(xliffOut), test::ReadAll(poOut));
    }
    EXPECT_GT(files, 200u);
    EXPECT_GT(translated, 1000u);
    if (!haveXliff2po)
        GTEST_SKIP() << "xliff2po (Debian translate-toolkit) not found: the XLIFF exports are not read by it";
    const fs::path pos = xliffs.Path() / "po";
    ASSERT_EQ(std::system(("xliff2po --progress=none -i '" + xliffs.Path().string() + "' -o '" + pos.string() +
                           "' 2>/dev/null")
                              .c_str()),
              0);
    // xliff2po names each unit's ID in a location comment only: the sources
    // are compared as a list.
    for (auto& [name, sources] : exportedSources) {
        SCOPED_TRACE(name);
        std::vector<std::string> read;
        for (const auto& e : PoFile::Read((pos / fs::path(name).replace_extension(".po")).string()))
            read.push_back(e.msgid);
        std::sort(read.begin(), read.end());
        std::sort(sources.begin(), sources.end());
        EXPECT_EQ(read, sources);
    }
}

// A file of each mode: the strings2_v6 sample (old format, 9 certain and 2
// guessed texts) and two strings in patch mode that no format reads.
struct TwoFiles {
    test::TempDir dir;
    const test::Bytes markerBytes = test::kTwoPatchStrings;
    std::string resource;
    std::string marker;
    test::Bytes resourceBytes;
    TwoFiles()
        : resource(dir.Write("res.rsc", test::ReadAll(test::CorpusDir() / "compiled/strings2_v6.rsc"))),
          marker(dir.Write("mark.rsc", markerBytes)), resourceBytes(test::ReadAll(resource))
    {
    }
    [[nodiscard]] std::string Po(const std::vector<PoEntry>& entries) const
    {
        const std::string po = (dir.Path() / "t.po").string();
        PoFile::Write(po, "", kHeader, entries);
        return po;
    }
};

PoEntry Entry(const std::string& id, const std::string& msgid, const std::string& msgstr)
{
    return {id, msgid, msgstr, "", false, false};
}

TEST(ByResource, EachFileIsReadInItsModeAndTranslationsOfTheOtherAreRefused)
{
    TAVOLIN_REQUIRE_CORPUS();
    const TwoFiles f;
    CliRun run = Cli({"list", f.resource});
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "# " + f.resource + ": by resource: old, 11 texts (9 certain, 2 guessed); guessed ones left out");
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 10);
    EXPECT_NE(run.out.find("\n7.1\t255\tПривет, мир! Проверка\n"), std::string::npos) << run.out;
    run = Cli({"list", "--include-guessed", f.resource});
    EXPECT_NE(run.out.find("\n8.1\t-\t5 € / Äö\n"), std::string::npos) << run.out;
    EXPECT_EQ(Cli({"list", f.marker}).out, "# " + f.marker + ": by marker\n1\t3\tHi\n2\t2\tก\\\n");
    run = Cli({"check", f.resource, f.marker});
    EXPECT_EQ(run.out, f.resource + ": by resource: old, 11 texts (9 certain, 2 guessed); a rebuild keeps its bytes\n" +
                           f.marker + ": by marker: saves unchanged\n");

    struct Case {
        std::vector<std::string> args;
        std::vector<PoEntry> po;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"list", "--by", "resource", f.marker}, {}, "not a resource file of a format read by resource"},
        {{"import", f.resource}, {Entry("1", "Hi", "Yo")}, "(numbers) are of an export by marker, but"},
        {{"import", f.marker}, {Entry("4.1", "World", "Welt")}, "(R.I) are of an export by resource, but"},
        {{"import", f.resource, "--by", "marker"}, {Entry("4.1", "World", "Welt")}, "(R.I) are of an export by resource"},
        {{"import", f.resource}, {Entry("4.1", "World", "Welt"), Entry("2", "x", "y")}, "mixes IDs"},
        {{"export", f.resource, "--language", "fi\nX-Generator: other"}, {}, "a language code such as fi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<std::string> args = c.args;
        if (args.front() == "import")
            args.push_back(f.Po(c.po));
        run = Cli(args);
        EXPECT_EQ(run.code, args.front() == "export" ? 2 : 1);
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(test::ReadAll(f.resource), f.resourceBytes);
        EXPECT_EQ(test::ReadAll(f.marker), f.markerBytes);
    }
}

TEST(ByResource, ImportListsWhatGrowsAndRefusesWhatTheFileCannotHold)
{
    TAVOLIN_REQUIRE_CORPUS();
    struct Case {
        std::string id;
        std::string msgid;
        std::string msgstr;
        std::vector<std::string> options;
        std::string said; // in the output when it succeeds, else in the errors
    };
    const std::vector<Case> cases = {
        {"4.1", "World", "Welt", {}, "applied 1, already translated 0, unchanged 0,"},
        {"4.1", "World", "Weltweit", {}, "\n  4.1: 5 to 8 characters\n"},
        {"4.1", "World", "Weltweit", {"--max-growth", "60"}, "\n  4.1: 5 to 8 characters\n"},
        {"4.1", "World", "Weltweit", {"--max-growth", "50"}, "ID 4.1 grows from 5 to 8 characters, more than --max-growth 50%"},
        {"4.1", "World", std::string(256, 'x'), {}, "4.1: an LTEXT holds at most 255 characters"},
        {"8.1", "5 € / Äö", "Цена 5 ₽", {}, "ID 8.1 was found by a guess; give --include-guessed"},
        {"8.1", "5 € / Äö", "Цена 5 ₽", {"--include-guessed"}, "applied 1,"},
        {"4.1", "World", "Welt\U0001F600", {"--dry-run"}, "applied 1,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        const TwoFiles f;
        std::vector<std::string> args = {"import", f.resource, f.Po({Entry(c.id, c.msgid, c.msgstr)})};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = Cli(args);
        const bool applies = c.said.starts_with("applied") || c.said.starts_with("\n");
        EXPECT_EQ(run.code, applies ? 0 : 1) << run.err;
        EXPECT_NE((applies ? run.out : run.err).find(c.said), std::string::npos) << run.out << run.err;
        const bool written = applies && c.options != std::vector<std::string>{"--dry-run"};
        if (written) {
            const std::string copy = f.dir.Write("apply.rsc", f.resourceBytes);
            const std::string edits = (f.dir.Path() / "edits.json").string();
            WriteText(edits, nlohmann::json{{c.id, c.msgstr}}.dump());
            EXPECT_EQ(Cli({"apply", copy, edits, "--allow-guessed"}).code, 0);
            EXPECT_EQ(test::ReadAll(f.resource), test::ReadAll(copy));
        } else {
            EXPECT_EQ(test::ReadAll(f.resource), f.resourceBytes);
        }
    }
}


TEST(ByResource, XliffTargetsApplyOnlyInAFinishedState)
{
    TAVOLIN_REQUIRE_CORPUS();
    const TwoFiles f;
    const auto unit = [](const std::string& id, const std::string& source, const std::string& state) {
        return "<trans-unit id=\"" + id + "\"><source>" + source + "</source><target" +
               (state.empty() ? "" : " state=\"" + state + "\"") + ">" + source + "!</target></trans-unit>";
    };
    const fs::path xlf = f.dir.Path() / "t.xlf";
    WriteText(xlf, "<?xml version=\"1.0\"?>\n<xliff version=\"1.2\" xmlns=\"urn:oasis:names:tc:xliff:document:1.2\">"
                   "<file original=\"res.rsc\" source-language=\"en\" datatype=\"plaintext\"><body>" +
                       unit("4.1", "World", "") + unit("5.1", "abc", "translated") +
                       unit("6.2", "Zz", "needs-review-translation") + unit("12.1", "abc Ω日本語 def", "final") +
                       unit("13.1", "x", "new") + unit("9.9", "y", "signed-off") + "</body></file></xliff>\n");
    const CliRun run = Cli({"import", f.resource, xlf.string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "applied 3, already translated 0, unchanged 0, untranslated 0, skipped 3 (state not translated 2, "
              "unknown ID 1, no id 0), refused 0");
    const auto texts = TextsOf(test::ReadAll(f.resource));
    EXPECT_EQ(texts.at("4.1") + texts.at("5.1") + texts.at("6.2") + texts.at("12.1"), "World!abc!Zzabc Ω日本語 def!");
}

// By marker too: the slot's capacity is the unit's maxwidth, and a target
// goes through the editor's code page into its slot.
TEST(ByResource, XliffCarriesMarkerModeStringsWithTheirCapacities)
{
    TAVOLIN_REQUIRE_CORPUS();
    const TwoFiles f;
    const fs::path xlf = f.dir.Path() / "m.xlf";
    ASSERT_EQ(Cli({"export", f.marker, "--format", "xliff", "-o", xlf.string()}).code, 0);
    const std::string exported = ReadText(xlf);
    EXPECT_NE(exported.find(R"(<trans-unit id="1" maxwidth="3" size-unit="char">)"), std::string::npos) << exported;
    WriteText(xlf, FillTargets(exported, {"ไก่", "abc"}));
    CliRun run = Cli({"import", f.marker, xlf.string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("too long: 2 (length 3, capacity 2)"), std::string::npos) << run.err;
    WriteText(xlf, FillTargets(exported, {"ไก่", "a"}));
    run = Cli({"import", f.marker, xlf.string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(test::Listed(f.marker), "1\t3\tไก่\n2\t2\ta\n");
}

} // namespace
} // namespace tavolin
