#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>

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
    using namespace std::string_view_literals;
    const struct {
        std::string_view edits;
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
        // Only one whole object, each text once.
        {"{\"1.1\": \"A\"}\0{\"2.1\": \"B\" garbage"sv, {"--allow-guessed"}, 1, "a NUL byte at offset 12"},
        {R"({"1.1": "A", "1.1": "B"})", {}, 1, "\"1.1\" is given twice"},
        {R"({"01.1": "A"})", {}, 1, "\"01.1\" is not an ID as texts writes it: 1.1"},
        {R"({"1.1": "A", "1.01": "B"})", {}, 1, "\"1.01\" is not an ID as texts writes it: 1.1"},
        // A key reaches the terminal escaped.
        {R"({"\u001b]0;x\u0007": "A"})", {}, 1, "\"\\u001b]0;x\\u0007\" is not an ID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edits);
        std::filesystem::remove(out);
        const std::string edits = dir.Write("edits.json", Bytes(c.edits.begin(), c.edits.end()));
        std::vector<std::string> args{"apply", path, edits, "-o", out};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
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

using test::kSanitized;

// The program itself run by /bin/sh: its exit code, 128 + N for a signal N.
int Shell(const std::string& command, const std::string& before = "")
{
    const std::string exe = TAVOLIN_STRINGS_EXE;
    const int status = std::system(("/bin/sh -c '" + before + exe + " " + command + "'").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// a.rsc with 1.1 "a<tab>b", the edits and the PO that make it "xyz", and
// what they make of it.
struct Translated {
    test::TempDir dir;
    std::string file = dir.Write("a.rsc", SmallFile(kFirst));
    std::string edits = dir.Write("e.json", Bytes{'{', '"', '1', '.', '1', '"', ':', '"', 'x', 'y', 'z', '"', '}'});
    std::string po = (dir.Path() / "t.po").string();
    Bytes result = SmallFile({3, 0xAB, 'x', 0, 'y', 0, 'z', 0});
    Translated() { test::WriteText(po, "msgctxt \"1.1\"\nmsgid \"a\\tb\"\nmsgstr \"xyz\"\n"); }
    [[nodiscard]] std::string In(const std::string& name) const { return (dir.Path() / name).string(); }
};

// The file written to standard output is the file alone, whether standard
// output is a file or a pipe; the summary goes to standard error.
TEST(StructureCli, AFileToStandardOutputIsAllThatGoesThere)
{
    const Translated t;
    for (const std::string& command : {"apply " + t.file + " " + t.edits, "import " + t.file + " " + t.po}) {
        for (const char* into : {" > ", " | cat > "}) {
            SCOPED_TRACE(command + into);
            const std::string out = t.In("out.rsc");
            EXPECT_EQ(Shell(command + " -o /dev/stdout 2>" + t.In("err") + into + out), 0);
            EXPECT_EQ(test::ReadAll(out), t.result);
            EXPECT_EQ(test::ReadText(t.In("err")).rfind("applied 1, ", 0), 0u);
        }
    }
    EXPECT_EQ(test::ReadAll(t.file), SmallFile(kFirst));
}

// A pipe as FILE: without -o the result would go into the pipe the command
// reads (here held open by the shell, so that a read waits for ever).
TEST(StructureCli, APipeAsFileIsNotSavedOver)
{
    const Translated t;
    const std::string fifo = t.In("f.rsc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& input : {t.edits, t.po}) {
        SCOPED_TRACE(input);
        const std::string command = input == t.edits ? "apply " : "import ";
        EXPECT_EQ(Shell(command + fifo + " " + input + " 2>" + t.In("err") + " 3<>" + fifo, "timeout 20 "), 1);
        EXPECT_NE(test::ReadText(t.In("err")).find("f.rsc: not a regular file (a pipe or a device), which is not saved over; give -o OUT"),
                  std::string::npos) << test::ReadText(t.In("err"));
    }
}

// Inputs are read up to a limit that suits their kind, and refused past it
// with the limit named: from a device that never ends, or a large file,
// refused before its read. Files read by marker only have a far larger one.
TEST(StructureCli, InputsAreReadUpToTheirLimit)
{
    const Translated t;
    const auto sparse = [&](const std::string& name, std::uintmax_t size) {
        const std::string path = t.dir.Write(name, {});
        std::filesystem::resize_file(path, size);
        return path;
    };
    const std::string big = sparse("big.rsc", (std::uintmax_t{1} << 20) + 1);
    const std::string bigEdits = sparse("big.json", (std::uintmax_t{64} << 20) + 1);
    const std::string huge = sparse("huge.rsc", (std::uintmax_t{1} << 30) + 1);
    const std::string out = t.In("out.rsc");
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"texts", big}, big + ": more than 1 MiB, the limit of a resource file\n"},
        {{"apply", big, t.edits, "-o", out}, big + ": more than 1 MiB, the limit of a resource file; nothing written\n"},
        {{"apply", t.file, bigEdits, "-o", out}, bigEdits + ": more than 64 MiB, the limit of an EDITS file; nothing written\n"},
        {{"apply", t.file, t.dir.Path().string(), "-o", out}, t.dir.Path().string() + ": a folder, not an EDITS file; nothing written\n"},
        {{"dump", huge}, ""},
        {{"check", big}, ""}, // by marker
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const CliRun run = Cli(c.args);
        if (c.args[0] == "dump") {
            EXPECT_EQ(run.code, 1);
            EXPECT_NE(run.out.find(R"("error": "more than 1 GiB, the limit of a file read by marker")"), std::string::npos);
        } else {
            EXPECT_EQ(run.code, c.error.empty() ? 0 : 1) << run.err;
            EXPECT_EQ(run.err, c.error);
        }
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    // Streams, each in a program of its own with little memory.
    for (const std::string& command : {std::string("texts /dev/zero"), std::string("check /dev/urandom"),
                                       std::string("export /dev/zero"), "apply " + t.file + " /dev/zero -o " + out}) {
        SCOPED_TRACE(command);
        const std::string err = t.In("err");
        EXPECT_EQ(Shell(command + " 2>" + err, (kSanitized ? "" : "ulimit -v 1000000; ") + std::string("timeout 20 ")), 1);
        EXPECT_NE(test::ReadText(err).find(": more than "), std::string::npos) << test::ReadText(err);
    }
}

// Apply counts the texts it changed, and messages name the file they are about.
TEST(StructureCli, ApplySaysWhatChanged)
{
    const Translated t;
    const std::string same = t.dir.Write("same.json", Bytes{'{', '"', '1', '.', '1', '"', ':', '"', 'a', '\\', 't', 'b', '"', '}'});
    CliRun run = Cli({"apply", t.file, same});
    EXPECT_EQ(run.out, "applied 0, unchanged 1\n");
    run = Cli({"apply", t.file, t.edits});
    EXPECT_EQ(run.out, "applied 1, unchanged 0\n");
    // An ID of the PO shown escaped.
    test::WriteText(t.po, "msgctxt \"1.\\033[2J\"\nmsgid \"a\"\nmsgstr \"b\"\n");
    run = Cli({"import", t.file, t.po});
    EXPECT_NE(run.err.find("skipped: ID 1.\\u001b[2J names no string"), std::string::npos) << run.err;
}

} // namespace
} // namespace tavolin
