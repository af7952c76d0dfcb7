#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>

#include "cli/clirun.h"
#include "testutil.h"

namespace tavolin {
namespace {

using test::Bytes;
using test::Cli;
using test::CliRun;

// An old-format file: resource 1 a padded LTEXT "a<tab>b" (certain),
// resource 2 a BUF "Hello" between numbers (guessed).
Bytes SmallFile(const Bytes& first)
{
    const Bytes second{0xFF, 0xFF, 'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0, 0xFF, 0xFF};
    Bytes out(4 + first.size() + second.size());
    out[2] = 7;
    std::copy(first.begin(), first.end(), out.begin() + 4);
    std::copy(second.begin(), second.end(), out.begin() + 4 + static_cast<std::ptrdiff_t>(first.size()));
    const auto p = out.size();
    for (const std::size_t w : {std::size_t{4}, 4 + first.size(), p}) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(0);
    }
    out[0] = static_cast<std::uint8_t>(p);
    return out;
}

const Bytes kFirst{3, 0xAB, 'a', 0, '\t', 0, 'b', 0};

TEST(StructureCli, TextsListsEveryTextFound)
{
    const test::TempDir dir;
    const std::string path = dir.Write("a.rsc", SmallFile(kFirst));
    CliRun run = Cli({"texts", path});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "1.1\tLTEXT\tcertain\ta\u2409b\n2.1\tBUF\tguessed\tHello\n");
    run = Cli({"texts", path, "--json"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "{\"file\": \"" + path +
                           "\", \"format\": \"old\", \"texts\": ["
                           "{\"id\": \"1.1\", \"resource\": 1, \"index\": 1, \"kind\": \"LTEXT\", \"certain\": true, "
                           "\"text\": \"a\\tb\"}, "
                           "{\"id\": \"2.1\", \"resource\": 2, \"index\": 1, \"kind\": \"BUF\", \"certain\": false, "
                           "\"text\": \"Hello\"}]}\n");
    run = Cli({"texts", dir.Write("b.rsc", {1, 2, 3}), "--json"});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("\"format\": \"unknown\", \"texts\": []"), std::string::npos) << run.out;
    EXPECT_EQ(Cli({"texts", (dir.Path() / "none.rsc").string()}).code, 1);
}

TEST(StructureCli, ApplyWritesTheRebuildOrNothing)
{
    const test::TempDir dir;
    const std::string path = dir.Write("a.rsc", SmallFile(kFirst));
    const std::string out = (dir.Path() / "out.rsc").string();
    const struct {
        const char* edits;
        std::vector<std::string> flags;
        int code;
        const char* message;
    } cases[] = {
        {R"({"1.1": "xyz"})", {}, 0, ""},
        {R"({"2.1": "Hi"})", {}, 1, "refused: 2.1: a guessed text"},
        {R"({"2.1": "Hi"})", {"--allow-guessed"}, 0, ""},
        {R"({"9.1": "x"})", {}, 1, "unknown ID 9.1"},
        {R"({"1.x": "x"})", {}, 1, "not an ID"},
        {R"({"1.1": 5})", {}, 1, "\"1.1\" has a value that is not a string"},
        {R"(["1.1"])", {}, 1, "must be a JSON object"},
        {R"({"1.1": )", {}, 1, "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edits);
        std::filesystem::remove(out);
        const std::string edits = dir.Write("edits.json", Bytes(c.edits, c.edits + std::strlen(c.edits)));
        std::vector<std::string> args{"apply", path, edits, "-o", out};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::filesystem::exists(out), c.code == 0);
        if (c.code != 0) {
            EXPECT_NE(run.err.find("nothing written"), std::string::npos) << run.err;
        }
    }
    // In place: the file itself, rebuilt.
    const std::string edits = dir.Write("edits.json", Bytes{'{', '"', '1', '.', '1', '"', ':', '"', 'x', 'y', 'z', '"', '}'});
    EXPECT_EQ(Cli({"apply", path, edits}).code, 0);
    EXPECT_EQ(test::ReadAll(path), SmallFile({3, 0xAB, 'x', 0, 'y', 0, 'z', 0}));
    const CliRun unknown = Cli({"apply", dir.Write("b.rsc", {1, 2, 3}), edits});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("not a resource file"), std::string::npos) << unknown.err;
    EXPECT_EQ(test::ReadAll(dir.Path() / "b.rsc"), (Bytes{1, 2, 3}));
    for (const auto& args : std::vector<std::vector<std::string>>{{"texts"}, {"apply", path}, {"texts", path, "-o", "x"}})
        EXPECT_EQ(Cli(args).code, 2);
}

// Another program's change between apply's read and its save is refused,
// never overwritten: the edits come through a pipe, so apply waits between
// reading the file and saving it while the file is replaced.
TEST(StructureCli, ApplyRefusesAFileChangedSinceItWasRead)
{
    const test::TempDir dir;
    const std::string path = dir.Write("a.rsc", SmallFile(kFirst));
    const std::string fifo = (dir.Path() / "edits.json").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto run = std::async(std::launch::async, [&] { return Cli({"apply", path, fifo}); });
    const std::string other = dir.Write("other.rsc", SmallFile({3, 0xAB, 'o', 0, 't', 0, 'h', 0}));
    std::ofstream edits(fifo); // opens once apply has read the file and opens the pipe
    std::filesystem::rename(other, path);
    edits << R"({"1.1": "xyz"})";
    edits.close();
    const CliRun result = run.get();
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("changed since it was read"), std::string::npos) << result.err;
    EXPECT_EQ(test::ReadAll(path), SmallFile({3, 0xAB, 'o', 0, 't', 0, 'h', 0}));
}

} // namespace
} // namespace tavolin
