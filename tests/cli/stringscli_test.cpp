#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

#include "cli/clirun.h"
#include "testutil.h"
#include "version.h"

namespace tavolin {
namespace {

using test::Cli;
using test::CliRun;

TEST(StringsCli, DumpPrintsTheTablesAsJson)
{
    const test::TempDir dir;
    const std::string path =
        dir.Write("a.rsc", {16, 32, 7, 3, 171, 72, 0, 105, 0, 0, 0, 5, 2, 171, 1, 14, 10, 0, 9, 10, 4});
    const CliRun run = Cli({"dump", path});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "{\"vle\": [[\"1\", \"Hi\"], [\"2\", \"\u00a1\\\\\"]], "
                       "\"vle2\": [[\"0\", \"16 32 7 \"], [\"1\", \"5 \"], [\"2\", \"9 10 4\"]], "
                       "\"vle3\": [[\"1\", \"3\"], [\"2\", \"2\"]], \"error\": null}\n");
}

TEST(StringsCli, DumpOfAFailedScanShowsWhatWasReadAndTheError)
{
    const test::TempDir dir;
    CliRun run = Cli({"dump", dir.Write("b.rsc", {1, 2, 171})});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "{\"vle\": [], \"vle2\": [[\"0\", \"1 \"]], \"vle3\": [], "
                       "\"error\": \"Read beyond end of file\"}\n");
    run = Cli({"dump", (dir.Path() / "none.rsc").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "{\"vle\": [], \"vle2\": [], \"vle3\": [], \"error\": \"File not found\"}\n");
}

// Every command opens FILE the same way and says the same words when it
// cannot.
TEST(StringsCli, EveryCommandSaysTheSameWordsForAFileItCannotRead)
{
    const test::TempDir dir;
    const std::string edits = dir.Write("e.json", {'{', '}'});
    const std::string po = dir.Write("e.po", {});
    for (const auto& [file, words] : {std::pair{(dir.Path() / "none.rsc").string(), std::string("File not found")},
                                      std::pair{dir.Path().string(), std::string("Is a folder, not a file")}}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"check", file}, {"list", file}, {"export", file}, {"texts", file},
              {"apply", file, edits, "-o", file + ".out"}, {"import", file, po, "-o", file + ".out"}}) {
            const CliRun run = Cli(args);
            EXPECT_EQ(run.code, 1) << args[0];
            EXPECT_TRUE(run.err.starts_with(file + ": " + words)) << args[0] << ": " << run.err;
        }
    }
}

TEST(StringsCli, JsonKeepsEveryByte)
{
    EXPECT_EQ(JsonString(std::string("\"\\\x01\r\x7f\x80\xff", 7)), "\"\\\"\\\\\\u0001\\r\x7f\u0080\u00ff\"");
}

TEST(StringsCli, Usage)
{
    EXPECT_EQ(Cli({"--help"}).code, 0);
    EXPECT_NE(Cli({"--help"}).out.find("Usage: tavolin-strings [OPTIONS] SUBCOMMAND"), std::string::npos);
    for (const char* sub : {"dump", "resave", "list", "export", "import", "check"}) {
        const CliRun run = Cli({sub, "--help"});
        EXPECT_EQ(run.code, 0) << sub;
        EXPECT_NE(run.out.find(std::string("Usage: tavolin-strings ") + sub), std::string::npos) << run.out;
    }
    EXPECT_EQ(Cli({"--version"}).out, "tavolin-strings " TAVOLIN_VERSION "\n");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"dump"}, {"dump", "a", "b"}, {"frob", "a"}, {"resave", "a", "-x", "b"}, {"import", "a"},
             {"export", "a", "-o", "x.po", "-d", "d"}, {"check"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CliRun run = Cli(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
    }
}

TEST(StringsCli, TheProgramItself)
{
    FILE* pipe = ::popen(TAVOLIN_STRINGS_EXE " frob 2>&1", "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(std::string(buffer, n).rfind("tavolin-strings: ", 0), 0u);
}

} // namespace
} // namespace tavolin
