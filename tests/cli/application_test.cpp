#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "cli/clirun.h"
#include "cli/pofile.h"
#include "cli/textchecks.h"
#include "cli/translations.h"
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

bool Have(const std::string& tool)
{
    return std::system((tool + " --version >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Each entry of `po` whose msgid is `source` translated as `translation`.
void Fill(const fs::path& po, const std::map<std::string, std::string>& translations)
{
    std::string header;
    auto entries = PoFile::Read(po.string());
    for (auto& e : entries)
        if (const auto it = translations.find(e.msgid); it != translations.end())
            e.msgstr = it->second;
    PoFile::Write(po.string(), "", "Language: fi\nContent-Type: text/plain; charset=UTF-8\n", entries);
}

TEST(TextChecks, PathsAndPlaceholders)
{
    for (const char* path : {"\\resource\\apps\\x.mif", "z:\\sys\\bin\\app.exe", "icons.mbm", "sounds/beep.wav",
                             "\\resource\\apps\\QtTestBrowser", "/data/x", "plugin.dll"})
        EXPECT_TRUE(IsPathOrFileName(path)) << path;
    for (const char* text : {"Open file", "Version 1.2", "3.5", "OK.", "e.g.", "Hello", "On/Off", "x.", ".mif",
                             "www", "A.B C"})
        EXPECT_FALSE(IsPathOrFileName(text)) << text;

    const struct {
        const char* source;
        const char* translation;
        const char* change; // nullptr: kept
    } cases[] = {
        {"%U files", "%U tiedostoa", nullptr},
        {"%0U of %1U", "%1U / %0U", nullptr},
        {"%0N%%", "%0N %%", nullptr},
        {"%5.2f km", "%5.2f km", nullptr},
        {"%U files", "tiedostoja", "drops %U"},
        {"Save", "Tallenna %s", "adds %s"},
        {"%0N", "%0N %0N", "adds %0N"},
        {"%1U and %0U", "%1U ja %1U", "drops %0U"},
        {"%U of %N", "%N / %U", "moves %U"},
        {"100%", "100 %", nullptr},
    };
    for (const auto& c : cases) {
        const auto change = PlaceholderChange(c.source, c.translation);
        if (c.change == nullptr) {
            EXPECT_EQ(change, std::nullopt) << c.source << " -> " << c.translation;
        } else {
            ASSERT_TRUE(change.has_value()) << c.source << " -> " << c.translation;
            EXPECT_EQ(change->substr(0, std::string(c.change).size()), c.change);
        }
    }
}

// A translation that loses a placeholder, or changes a file name, is
// refused by ID unless its option lets it through.
TEST(TextChecks, ImportRefusesLostPlaceholdersAndChangedPaths)
{
    const test::TempDir dir;
    const test::Bytes bytes = test::OldFormat({"%U files", "icons.mbm"});
    const std::string file = dir.Write("a.rsc", bytes);
    const struct {
        PoEntry entry;
        std::string option;
        std::string refusal; // empty: applied
    } cases[] = {
        {{"1.1", "%U files", "tiedostoja", "", false, false}, "", "refused: ID 1.1: the translation drops %U; give "
                                                                  "--allow-placeholders"},
        {{"1.1", "%U files", "tiedostoja", "", false, false}, "--allow-placeholders", ""},
        {{"1.2", "icons.mbm", "kuvakkeet.mbm", "", false, false}, "", "refused: ID 1.2 is a file path or name "
                                                                      "(\"icons.mbm\")"},
        {{"1.2", "icons.mbm", "kuvakkeet.mbm", "", false, false}, "--include-paths", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry.msgstr + " " + c.option);
        const fs::path po = dir.Path() / "t.po";
        PoFile::Write(po.string(), "", "Content-Type: text/plain; charset=UTF-8\n", {c.entry});
        const std::string out = (dir.Path() / "out.rsc").string();
        std::vector<std::string> args = {"import", file, po.string(), "-o", out};
        if (!c.option.empty())
            args.push_back(c.option);
        const CliRun run = Cli(args);
        EXPECT_EQ(run.code, c.refusal.empty() ? 0 : 1) << run.err;
        EXPECT_EQ(fs::exists(out), c.refusal.empty());
        if (!c.refusal.empty()) {
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(TextsOf(out).at(*c.entry.context), c.entry.msgstr);
        }
        fs::remove(out);
    }
    EXPECT_EQ(test::ReadAll(file), bytes);
}

// An application (its resource file and its registration file) in one PO:
// IDs name the file, the registration file's path of the resource file is
// left out, and one import writes both or neither.
TEST(Application, OnePoForItsFiles)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const std::string app = dir.Write("qttestbrowser.rsc", test::ReadAll(test::CorpusDir() / "qtsdk/qttestbrowser.rsc"));
    const std::string reg =
        dir.Write("qttestbrowser_reg.rsc", test::ReadAll(test::CorpusDir() / "qtsdk/qttestbrowser_reg.rsc"));
    const fs::path po = dir.Path() / "app.po";
    CliRun run = Cli({"export", app, reg, "--language", "fi", "-o", po.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    std::string text = ReadText(po);
    for (const char* id : {"qttestbrowser.rsc:1.1", "qttestbrowser.rsc:1.2", "qttestbrowser_reg.rsc:1.1"})
        EXPECT_NE(text.find("#: " + std::string(id) + "\nmsgctxt \"" + id + "\""), std::string::npos) << id;
    EXPECT_EQ(text.find("resource\\\\apps"), std::string::npos) << text;
    EXPECT_NE(text.find("1 file path(s) and name(s) left out"), std::string::npos);
    if (Have("msgfmt")) {
        EXPECT_EQ(Shell("msgfmt --check -o /dev/null '" + po.string() + "'"), 0);
    }

    // -o NAME.xlf is an XLIFF.
    ASSERT_EQ(Cli({"export", app, reg, "-o", (dir.Path() / "app.xlf").string()}).code, 0);
    EXPECT_EQ(ReadText(dir.Path() / "app.xlf").rfind("<?xml", 0), 0u);

    // With --include-paths the path is there, marked.
    run = Cli({"export", app, reg, "--include-paths", "--format", "xliff"});
    EXPECT_NE(run.out.find("<file original=\"qttestbrowser_reg.rsc\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("<trans-unit id=\"qttestbrowser_reg.rsc:1.2\" translate=\"no\""), std::string::npos)
        << run.out;

    Fill(po, {{"QtTestBrowser", "Testiselain"}});
    fs::create_directory(dir.Path() / "fi");
    run = Cli({"import", app, reg, po.string(), "-d", (dir.Path() / "fi").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("qttestbrowser_reg.rsc: applied 1,"), std::string::npos) << run.out;
    EXPECT_EQ(TextsOf(dir.Path() / "fi/qttestbrowser.rsc").at("1.2"), "Testiselain");
    EXPECT_EQ(TextsOf(dir.Path() / "fi/qttestbrowser_reg.rsc").at("1.1"), "Testiselain");
    EXPECT_EQ(TextsOf(dir.Path() / "fi/qttestbrowser_reg.rsc").at("1.2"), "\\resource\\apps\\QtTestBrowser");

    // One file refused (the path translated): neither is written.
    auto entries = PoFile::Read(po.string());
    entries.push_back({"qttestbrowser_reg.rsc:1.2", "\\resource\\apps\\QtTestBrowser", "\\resurssi\\x", "", false, false});
    PoFile::Write(po.string(), "", "Language: ru\nContent-Type: text/plain; charset=UTF-8\n", entries);
    run = Cli({"import", app, reg, po.string(), "--variant"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("refused: ID 1.2 is a file path or name"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "qttestbrowser.r16"));
    EXPECT_FALSE(fs::exists(dir.Path() / "qttestbrowser_reg.r16"));
    // A PO of other files says whose it is.
    run = Cli({"import", dir.Write("other.rsc", test::ReadAll(app)), po.string(), "-o", "x.rsc"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("holds no entries for other.rsc (its IDs name qttestbrowser.rsc, qttestbrowser_reg.rsc)"),
              std::string::npos)
        << run.err;
}

// Files whose IDs are alike: each takes the entries that name it, from a
// PO and from an XLIFF of both.
TEST(Application, EachFileTakesItsOwnEntries)
{
    const test::TempDir dir;
    const std::string a = dir.Write("a.rsc", test::OldFormat({"Open", "Close"}));
    const std::string b = dir.Write("b.rsc", test::OldFormat({"Print", "Help"}));
    fs::create_directory(dir.Path() / "out");
    for (const std::string format : {"po", "xliff"}) {
        SCOPED_TRACE(format);
        const std::string exported = (dir.Path() / ("ab." + format)).string();
        ASSERT_EQ(Cli({"export", a, b, "--format", format, "-o", exported}).code, 0);
        std::string text = ReadText(exported);
        for (const auto& [source, target] : std::map<std::string, std::string>{
                 {"Open", "Avaa"}, {"Close", "Sulje"}, {"Print", "Tulosta"}, {"Help", "Ohje"}}) {
            const std::string from = format == "po" ? "msgid \"" + source + "\"\nmsgstr \"\""
                                                    : ">" + source + "</source>\n        <target xml:space=\"preserve\"/>";
            const std::string to = format == "po" ? "msgid \"" + source + "\"\nmsgstr \"" + target + "\""
                                                  : ">" + source + "</source>\n        <target xml:space=\"preserve\">" +
                                                        target + "</target>";
            ASSERT_NE(text.find(from), std::string::npos) << text;
            text.replace(text.find(from), from.size(), to);
        }
        WriteText(exported, text);
        const CliRun run = Cli({"import", a, b, exported, "-d", (dir.Path() / "out").string()});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(TextsOf(dir.Path() / "out/a.rsc").at("1.1") + TextsOf(dir.Path() / "out/a.rsc").at("1.2") +
                      TextsOf(dir.Path() / "out/b.rsc").at("1.1") + TextsOf(dir.Path() / "out/b.rsc").at("1.2"),
                  "AvaaSuljeTulostaOhje");
    }
}

// A new version of the application: its template, the old translations
// merged into it by msgmerge, the import into the new source. A text that
// changed comes back fuzzy and is skipped; one that moved is found.
TEST(Application, UpdateThroughATemplateAndMsgmerge)
{
    TAVOLIN_REQUIRE_CORPUS();
    if (!Have("msgmerge"))
        GTEST_SKIP() << "msgmerge (GNU gettext) not found";
    const test::TempDir dir;
    const std::string v1 = dir.Write("app.rsc", test::OldFormat({"Open", "Save as", "Close"}));
    const fs::path pot1 = dir.Path() / "app.pot";
    ASSERT_EQ(Cli({"export", v1, "-o", pot1.string()}).code, 0);
    const std::string pot = ReadText(pot1);
    EXPECT_NE(pot.find("#, fuzzy\nmsgid \"\"\nmsgstr \"\"\n\"Project-Id-Version: app.rsc\\n\"\n\"POT-Creation-Date: "),
              std::string::npos)
        << pot;
    const fs::path fi = dir.Path() / "fi.po";
    fs::copy_file(pot1, fi);
    Fill(fi, {{"Open", "Avaa"}, {"Save as", "Tallenna nimellä"}, {"Close", "Sulje"}});

    // Version 2: a text before "Close" is new, "Save as" became "Save as...".
    const std::string v2 = (dir.Path() / "v2" / "app.rsc").string();
    fs::create_directory(dir.Path() / "v2");
    test::WriteAll(v2, test::OldFormat({"Open", "Save as...", "Print", "Close"}));
    const fs::path pot2 = dir.Path() / "v2" / "app.pot";
    ASSERT_EQ(Cli({"export", v2, "-o", pot2.string()}).code, 0);
    const fs::path merged = dir.Path() / "fi-v2.po";
    ASSERT_EQ(Shell("msgmerge --quiet -o '" + merged.string() + "' '" + fi.string() + "' '" + pot2.string() + "'"), 0);
    const std::string out = (dir.Path() / "v2" / "app.r09").string();
    CliRun run = Cli({"import", v2, merged.string(), "--variant"});
    ASSERT_EQ(run.code, 0) << run.err;
    // The changed text and the one whose ID moved come back fuzzy.
    EXPECT_EQ(run.out.substr(0, run.out.find(" (")),
              "applied 1, already translated 0, unchanged 0, untranslated 1, skipped 2");
    auto texts = TextsOf(out);
    EXPECT_EQ(texts.at("1.1") + "|" + texts.at("1.2") + "|" + texts.at("1.3") + "|" + texts.at("1.4"),
              "Avaa|Save as...|Print|Close");
    // Reviewed in the translation tool (here: all accepted), then imported.
    ASSERT_EQ(Shell("msgattrib --clear-fuzzy -o '" + merged.string() + "' '" + merged.string() + "'"), 0);
    run = Cli({"import", v2, merged.string(), "--variant"});
    ASSERT_EQ(run.code, 0) << run.err;
    texts = TextsOf(out);
    EXPECT_EQ(texts.at("1.1") + "|" + texts.at("1.2") + "|" + texts.at("1.3") + "|" + texts.at("1.4"),
              "Avaa|Tallenna nimellä|Print|Sulje");

    // The old translations straight into the new source: the moved text is
    // found by its msgid, the changed one refused by ID.
    run = Cli({"import", v2, fi.string(), "--dry-run"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("moved: ID 1.3 is now 1.4"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("refused: ID 1.2: the file's text is \"Save as...\", not the msgid"), std::string::npos)
        << run.err;
}

// translate-toolkit as the translator's tool: its XLIFF 1.1 from a PO
// (po2xliff), its PO from an XLIFF (xliff2po), and its PO filters, keep the
// IDs of an export.
TEST(Application, TranslateToolkitFilesComeBack)
{
    TAVOLIN_REQUIRE_CORPUS();
    if (!Have("po2xliff") || !Have("xliff2po") || !Have("podebug") || !Have("msgcat"))
        GTEST_SKIP() << "translate-toolkit (po2xliff, xliff2po, podebug) or msgcat not found";
    const test::TempDir dir;
    const std::string file = dir.Write("help.rsc", test::ReadAll(test::CorpusDir() / "bafl_tsrc/HELP.RSC"));
    const std::string base = (dir.Path() / "help").string();
    // podebug rewrites every translation as "xxx" source "xxx"; msgcat keeps it.
    ASSERT_EQ(Cli({"export", file, "-o", base + ".po"}).code, 0);
    ASSERT_EQ(Shell("podebug --progress=none --rewrite=xxx '" + base + ".po' '" + base + "-dbg.po'"), 0);
    ASSERT_EQ(Shell("msgcat -o '" + base + "-cat.po' '" + base + "-dbg.po'"), 0);
    ASSERT_EQ(Shell("po2xliff --progress=none '" + base + "-cat.po' '" + base + ".xlf'"), 0);
    const auto before = TextsOf(file);
    for (const std::string& translations : {base + "-cat.po", base + ".xlf"}) {
        SCOPED_TRACE(translations);
        const std::string out = base + "-out.rsc";
        const CliRun run = Cli({"import", file, translations, "-o", out});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.out.find("skipped 0 "), std::string::npos) << run.out;
        const auto after = TextsOf(out);
        std::size_t translated = 0;
        for (const auto& e : PoFile::Read(base + ".po")) {
            EXPECT_EQ(after.at(*e.context), "xxx" + e.msgid + "xxx") << *e.context;
            ++translated;
        }
        EXPECT_GT(translated, 30u);
    }
    // xliff2po keeps the IDs in "#:" references (and makes msgctxt of its
    // own where two texts are alike).
    ASSERT_EQ(Cli({"export", file, "--format", "xliff", "-o", base + "-x.xlf"}).code, 0);
    ASSERT_EQ(Shell("xliff2po --progress=none '" + base + "-x.xlf' '" + base + "-x.po'"), 0);
    auto entries = PoFile::Read(base + "-x.po");
    for (auto& e : entries)
        e.msgstr = e.msgid + "!";
    PoFile::Write(base + "-x.po", "", "Content-Type: text/plain; charset=UTF-8\n", entries);
    const CliRun run = Cli({"import", file, base + "-x.po", "-o", base + "-x.rsc"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("applied " + std::to_string(entries.size()) + ",", 0), 0u) << run.out << run.err;
    const auto after = TextsOf(base + "-x.rsc");
    for (const auto& e : PoFile::Read(base + ".po"))
        EXPECT_EQ(after.at(*e.context), e.msgid + "!") << *e.context;
}

// Every control character a PO file can hold comes back as itself from
// gettext (msgcat) and from translate-toolkit (podebug, po2xliff).
TEST(Application, ControlCharactersTravelThroughOtherTools)
{
    if (!Have("po2xliff") || !Have("podebug") || !Have("msgcat"))
        GTEST_SKIP() << "translate-toolkit (po2xliff, podebug) or msgcat not found";
    const test::TempDir dir;
    // U+0004 is gettext's context separator, which no PO file holds.
    std::string all;
    for (char c = 1; c < 0x20; ++c)
        all += c == 4 ? std::string() : std::string("<") + c + ">";
    const std::string base = (dir.Path() / "c").string();
    PoFile::Write(base + ".po", "", "Content-Type: text/plain; charset=UTF-8\n", {{"1.1", all, "", "", false, false}});
    // Each tool on the export. (msgcat writes \a \b \v \f as escapes,
    // which translate-toolkit does not know: not one after the other.)
    ASSERT_EQ(Shell("podebug --progress=none --rewrite=xxx '" + base + ".po' '" + base + "-dbg.po'"), 0);
    ASSERT_EQ(Shell("msgcat -o '" + base + "-cat.po' '" + base + "-dbg.po'"), 0);
    ASSERT_EQ(Shell("po2xliff --progress=none '" + base + "-dbg.po' '" + base + ".xlf'"), 0);
    for (const std::string& read : {base + "-dbg.po", base + "-cat.po", base + ".xlf"}) {
        SCOPED_TRACE(read);
        const auto t = ReadTranslations(read, "c.rsc");
        ASSERT_EQ(t.entries.size(), 1u) << read;
        EXPECT_EQ(t.entries[0].msgid, all) << read;
        EXPECT_EQ(t.entries[0].msgstr, "xxx" + all + "xxx") << read;
    }
}

// The small things a translator met: an export of nothing but guessed
// texts says so; a refusal for a guessed neighbour names the option.
TEST(Application, RefusalsSayWhatToDo)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const std::string torch = dir.Write("t.rsc", test::ReadAll(test::CorpusDir() / "compiled/torch_caption_8bit.rsc"));
    CliRun run = Cli({"export", torch});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.err.find("texts were found by a guess and are left out; give --include-guessed"), std::string::npos)
        << run.err;
    // 2.6 emptied would move the pad of the guessed text after it.
    const std::string settings =
        dir.Write("s.rsc", test::ReadAll(test::CorpusDir() / "structure/sources/settings_cjk_u.rsc"));
    WriteText(dir.Path() / "e.json", R"({"2.6": ""})");
    run = Cli({"apply", settings, (dir.Path() / "e.json").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("moves the pad of guessed text 2.7; give --allow-guessed to trust"), std::string::npos)
        << run.err;
}

} // namespace
} // namespace tavolin
