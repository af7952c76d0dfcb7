#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/pofile.h"
#include "cli/clirun.h"
#include "samebytes.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;

using test::Cli;
using test::CliRun;
using test::WriteText;

const test::Bytes& kTwoStrings = test::kTwoPatchStrings;

TEST(Translate, EveryCorpusFileSurvivesExportAndImportOfItsOwnTexts)
{
    TAVOLIN_REQUIRE_CORPUS();
    const bool haveMsgfmt = std::system("msgfmt --version >/dev/null 2>&1") == 0;
    if (!haveMsgfmt)
        std::cerr << "msgfmt not found: exports are not checked with msgfmt --check\n";
    for (const fs::path& source : test::CorpusFiles()) {
        SCOPED_TRACE(source.string());
        const test::TempDir a, b;
        const std::string file = a.Write(source.filename().string(), test::ReadAll(source));
        const std::string resaved = b.Write(source.filename().string(), test::ReadAll(source));
        const int resaveCode = Cli({"resave", resaved}).code;

        const std::string po = (a.Path() / "out.po").string();
        const CliRun exported = Cli({"export", file, "--by", "marker", "--language", "th", "-o", po});
        ASSERT_EQ(exported.code, resaveCode) << exported.err;
        if (exported.code != 0)
            continue;
        if (haveMsgfmt) {
            const std::string log = (a.Path() / "msgfmt.log").string();
            EXPECT_EQ(std::system(("msgfmt --check -o /dev/null '" + po + "' 2>'" + log + "'").c_str()), 0);
            EXPECT_EQ(test::ReadAll(log).size(), 0u) << "msgfmt warned";
        }
        std::vector<PoEntry> entries = PoFile::Read(po);
        for (auto& e : entries)
            e.msgstr = e.msgid;
        PoFile::Write(po, "", "Content-Type: text/plain; charset=UTF-8\n", entries);
        const test::Bytes before = test::ReadAll(file);
        const CliRun imported = Cli({"import", file, po, "--by", "marker"});
        ASSERT_EQ(imported.code, 0) << imported.err;
        // Texts that come back as they were change nothing, and nothing is written.
        const bool applied = imported.out.rfind("applied 0,", 0) != 0;
        EXPECT_TRUE(test::SameBytes(test::ReadAll(file), applied ? test::ReadAll(resaved) : before));
    }
}

TEST(Translate, ImportAppliesWhatFitsAndRefusesTheRest)
{
    struct Case {
        std::string msgstr1;
        int code;
        std::string listed1; // empty: the file must be untouched
        std::string error;
    };
    const std::vector<Case> cases = {
        {"สวัสดี", 1, "", "too long: 1 (length 6, capacity 3)"},
        {"ไก่", 0, "1\t3\tไก่\n", ""},
        {"a\nb", 0, "1\t3\ta\\b\n", ""},
        {"Жx", 1, "", "ID 1: U+0416 has no byte"},
        {"abcd", 1, "", "too long: 1 (length 4, capacity 3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msgstr1);
        const test::TempDir dir;
        const std::string file = dir.Write("s.rsc", kTwoStrings);
        const fs::path po = dir.Path() / "t.po";
        PoFile::Write(po.string(), "", "Content-Type: text/plain; charset=UTF-8\n",
                      {{"1", "Hi", c.msgstr1, "", false, false}, {"2", "ก\\", "ก", "", false, false}});
        const CliRun run = Cli({"import", file, po.string()});
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        if (c.listed1.empty()) {
            EXPECT_EQ(test::ReadAll(file), kTwoStrings);
            EXPECT_NE(run.err.find("nothing written"), std::string::npos);
        } else {
            EXPECT_EQ(test::Listed(file), c.listed1 + "2\t2\tก\n");
        }
    }
}

TEST(Translate, ImportSkipsWhatItCannotTrustAndReportsIt)
{
    const test::TempDir dir;
    const std::string file = dir.Write("s.rsc", kTwoStrings);
    const fs::path po = dir.Path() / "t.po";
    const std::string entries = "#, fuzzy\nmsgctxt \"2\"\nmsgid \"x\"\nmsgstr \"ab\"\n\n"
                                "msgctxt \"9\"\nmsgid \"x\"\nmsgstr \"y\"\n\n"
                                "msgid \"Hi\"\nmsgstr \"z\"\n\n"
                                "msgctxt \"2\"\nmsgid \"k\"\nmsgstr \"\"\n\n"
                                "#~ msgctxt \"2\"\n#~ msgid \"y\"\n#~ msgstr \"zz\"\n";
    WriteText(po, "msgctxt \"1\"\nmsgid \"Hi\"\nmsgstr \"Yo\"\n\n" + entries);
    CliRun run = Cli({"import", file, po.string()});
    EXPECT_EQ(run.out, "applied 1, already translated 0, unchanged 0, untranslated 1, skipped 3 (fuzzy 1, "
                       "unknown ID 1, no msgctxt 1), refused 0\n");
    EXPECT_NE(run.err.find("ID 9 names no string"), std::string::npos);
    EXPECT_EQ(test::Listed(file), "1\t3\tYo\n2\t2\tก\\\n");
    // Again: nothing is in conflict, and a new file is written all the same.
    const std::string out = (dir.Path() / "out.rsc").string();
    run = Cli({"import", file, po.string(), "-o", out});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find(',', 20)), "applied 0, already translated 1");
    EXPECT_EQ(test::ReadAll(out), test::ReadAll(file));

    // A msgid the file no longer holds anywhere: refused, and nothing written.
    const test::Bytes before = test::ReadAll(file);
    WriteText(po, "msgctxt \"1\"\nmsgid \"Ho\"\nmsgstr \"Yo!\"\n\n" + entries);
    run = Cli({"import", file, po.string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("refused: ID 1: the file's text is \"Yo\", not the msgid"), std::string::npos) << run.err;
    EXPECT_EQ(test::ReadAll(file), before);
    EXPECT_EQ(Cli({"import", file, po.string(), "--force"}).code, 2);
}

TEST(Translate, MalformedPoIsRefusedWithItsLine)
{
    const test::TempDir dir;
    const std::string file = dir.Write("s.rsc", kTwoStrings);
    const fs::path po = dir.Path() / "bad.po";
    WriteText(po, "msgctxt \"1\"\nmsgid \"Hi\"\nmsgstr \"Yo\"\n\nmsgctxt \"2\"\nmsgidd \"x\"\nmsgstr \"y\"\n");
    const CliRun run = Cli({"import", file, po.string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find(po.string() + ":6"), std::string::npos) << run.err;
    EXPECT_EQ(test::ReadAll(file), kTwoStrings);
}

TEST(Translate, CheckNamesTheStringsASaveChanges)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const auto copy = [&](const std::string& name) {
        return dir.Write(fs::path(name).filename().string(), test::ReadAll(test::CorpusDir() / name));
    };
    const std::string same = copy("compiled/torch_caption_v6.rsc");
    const std::string changed = copy("compiled/strings2_v6.rsc");
    const std::string empty = copy("compiled/strings_u.rsc");
    CliRun run = Cli({"check", "--by", "marker", same, empty});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, same + ": by marker: saves unchanged\n" + empty + ": by marker: no strings found\n" + empty +
                           ": by marker: saves unchanged\n");
    run = Cli({"check", "--by", "marker", changed});
    EXPECT_EQ(run.code, 1);
    std::string ids;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("  ", 0) == 0)
            ids += line.substr(2, line.find(':') - 2) + ' ';
    EXPECT_EQ(ids, "4 6 7 8 ");
    EXPECT_NE(run.out.find("  6: U+0416 becomes U+0016\n"), std::string::npos) << run.out;
}

// The marker of ID 2 follows ID 1 at once: a save would add a length byte
// and shift the rest, so import and resave refuse and check says why.
TEST(Translate, AStringWithoutALengthByteOfItsOwnIsNeverSaved)
{
    const test::Bytes shared = {3, 0, 1, 171, 1, 0, 171, 'x', 0, 9};
    const test::TempDir dir;
    const std::string file = dir.Write("s.rsc", shared);
    const fs::path po = dir.Path() / "t.po";
    PoFile::Write(po.string(), "", "Content-Type: text/plain; charset=UTF-8\n", {{"2", "x", "y", "", false, false}});
    const std::string refused = "ID 2 has no length byte of its own";
    for (const auto& args : {std::vector<std::string>{"import", file, po.string()}, {"resave", file}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.code, 1) << args[0];
        EXPECT_NE(run.err.find(refused), std::string::npos) << run.err;
        EXPECT_EQ(test::ReadAll(file), shared);
    }
    const CliRun run = Cli({"check", file});
    EXPECT_EQ(run.out, file + ": by marker: a save changes it\n  2: no length byte of its own: the file is not saved\n");
}

TEST(Translate, ACaptionFileMustKeepToItsBytes)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const test::Bytes original = test::ReadAll(test::CorpusDir() / "compiled/torch_caption_v6.rsc");
    const std::string file = dir.Write("torch_caption_v6.rsc", original);
    const fs::path po = dir.Path() / "t.po";
    PoFile::Write(po.string(), "", "Content-Type: text/plain; charset=UTF-8\n",
                  {{"1", "Torch", std::string(120, 'x'), "", false, false}});
    const CliRun run = Cli({"import", file, po.string(), "--by", "marker"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("too long"), std::string::npos) << run.err;
    EXPECT_EQ(test::ReadAll(file), original);
}

TEST(Translate, CaptionModeIsJudgedOnTheAbsolutePath)
{
    const test::TempDir dir;
    fs::create_directory(dir.Path() / "MyCaptions");
    const std::string relative = dir.Write("MyCaptions/strings.rsc", kTwoStrings);
    const std::string absolute = dir.Write("MyCaptions/strings2.rsc", kTwoStrings);
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.Path() / "MyCaptions");
    const int code = Cli({"resave", "strings.rsc"}).code;
    const std::string listed = test::Listed("strings.rsc");
    fs::current_path(cwd);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Cli({"resave", absolute}).code, 0);
    EXPECT_EQ(test::ReadAll(relative), test::ReadAll(absolute));
    EXPECT_NE(test::ReadAll(relative), kTwoStrings);
    EXPECT_EQ(listed, "1\t-\tHi\n2\t-\tก\\\n");
}

} // namespace
} // namespace tavolin
