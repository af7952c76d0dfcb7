// The command line never loses a file: concurrent imports, export through the
// safe save, PO input it must refuse, lack of memory and file-size limits.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "cli/clirun.h"
#include "cli/pofile.h"
#include "file/filelock.h"
#include "file/safesave.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Cli;
using test::CliRun;

// ID 1 "Hi" in a slot of 3, ID 2 "ok" in a slot of 2.
const Bytes kTwoStrings = {7, 3, 171, 'H', 0, 'i', 0, 0, 0, 5, 2, 171, 'o', 0, 'k', 0, 9};

using test::ReadText;
using test::WriteText;

// A program's messages without the summary of suppressed leaks that the
// sanitizer build adds at exit.
std::string Messages(std::string text)
{
    const auto report = text.find("-----------------------------------------------------\nSuppressions used:");
    return report == std::string::npos ? text : text.erase(report);
}

std::string Entry(const std::string& id, const std::string& msgid, const std::string& msgstr)
{
    return "msgctxt \"" + id + "\"\nmsgid \"" + msgid + "\"\nmsgstr \"" + msgstr + "\"\n\n";
}

// The program run by /bin/sh; its exit code (128 + N for a signal N) and
// what it wrote to standard output and error.
CliRun Shell(const test::TempDir& dir, const std::string& command)
{
    const std::string log = (dir.Path() / "shell.log").string();
    const int status = std::system(("/bin/sh -c '" + command + "' >'" + log + "' 2>&1").c_str());
    const std::string out = Messages(ReadText(log));
    fs::remove(log);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out, out};
}

const std::string kExe = TAVOLIN_STRINGS_EXE;

// The sanitizers need address space and descriptors of their own.
using test::kSanitized;

// A file of `n` strings of ten characters.
Bytes ManyStrings(int n)
{
    Bytes b;
    for (int i = 0; i < n; ++i) {
        b.insert(b.end(), {4, 10, 171});
        for (int c = 0; c < 10; ++c)
            b.insert(b.end(), {static_cast<std::uint8_t>('a' + (i + c) % 26), 0});
    }
    return b;
}

std::size_t LeftoversIn(const fs::path& dir)
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.path().filename().string().starts_with(".tavolin-");
    return n;
}

TEST(FileLock, ASaveRefusesAFileChangedSinceItWasRead)
{
    const test::TempDir dir;
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced by a rename" : "rewritten in place");
        const std::string file = dir.Write("app.rsc", {1, 2, 3});
        const FileLock lock(file);
        if (replaced) {
            const std::string other = dir.Write("other.rsc", {7, 7, 7});
            fs::rename(other, file);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // a clock tick for coarse file systems
            test::WriteAll(file, {4, 5, 6});
        }
        const Bytes theirs = test::ReadAll(file);
        try {
            ReplaceFile(file, Bytes{9});
            ADD_FAILURE() << "saved over the change";
        } catch (const FileChanged& e) {
            EXPECT_EQ(std::string(e.what()), file + " changed since it was read");
        }
        EXPECT_EQ(test::ReadAll(file), theirs);
        ReplaceFile((dir.Path() / "another.rsc").string(), Bytes{9}); // other files are not held
    }
    const std::string file = dir.Write("app.rsc", {1, 2, 3});
    const FileLock lock(file);
    ReplaceFile(file, Bytes{9});
    EXPECT_EQ(test::ReadAll(file), Bytes{9});
}

// An import waiting for its PO (a pipe) holds the file: a second import
// waits for it and then applies its change to the file the first one wrote;
// a program that ignores the lock and changes the file makes the first refuse.
TEST(FileLock, ImportsOfOneFileNeverLoseAnUpdate)
{
    const test::TempDir dir;
    const std::string file = dir.Write("app.rsc", kTwoStrings);
    const fs::path fifo = dir.Path() / "first.po";
    const fs::path second = dir.Path() / "second.po";
    WriteText(second, Entry("2", "ok", "no"));
    for (const bool meddle : {false, true}) {
        SCOPED_TRACE(meddle ? "another program changes the file" : "a second import");
        test::WriteAll(file, kTwoStrings);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const std::string log1 = (dir.Path() / "1.log").string();
        const std::string log2 = (dir.Path() / "2.log").string();
        const pid_t first = ::fork();
        if (first == 0) {
            ::execl("/bin/sh", "sh", "-c", (kExe + " import " + file + " " + fifo.string() + " >" + log1 + " 2>&1").c_str(), nullptr);
            ::_exit(127);
        }
        const int po = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC); // the first import has scanned the file by now
        ASSERT_GE(po, 0);
        pid_t other = -1;
        if (meddle) {
            const std::string changed = dir.Write("changed.rsc", {1, 2, 171, 'x', 0, 'y', 0});
            fs::rename(changed, file);
        } else {
            other = ::fork();
            if (other == 0) {
                ::execl("/bin/sh", "sh", "-c", (kExe + " import " + file + " " + second.string() + " >" + log2 + " 2>&1").c_str(), nullptr);
                ::_exit(127);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the second now waits for the lock
        }
        const std::string text = Entry("1", "Hi", "Yo");
        ASSERT_EQ(::write(po, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(po);
        int status = 0;
        ::waitpid(first, &status, 0);
        if (meddle) {
            EXPECT_EQ(WEXITSTATUS(status), 1);
            EXPECT_EQ(Messages(ReadText(log1)), file + " changed since it was read\n");
            EXPECT_EQ(test::ReadAll(file), (Bytes{1, 2, 171, 'x', 0, 'y', 0}));
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 0) << ReadText(log1);
            ::waitpid(other, &status, 0);
            EXPECT_EQ(WEXITSTATUS(status), 0) << ReadText(log2);
            EXPECT_EQ(test::Listed(file), "1\t3\tYo\n2\t2\tno\n");
        }
        fs::remove(fifo);
    }
}

TEST(Export, WritesThroughTheSafeSave)
{
    const test::TempDir dir;
    const std::string file = dir.Write("app.rsc", ManyStrings(3000));
    const std::string old = "# an older translation\n";

    // The file-size limit, with the program's own signal handling.
    const fs::path po = dir.Path() / "app.po";
    WriteText(po, old);
    CliRun run = Shell(dir, "ulimit -f 16; exec " + kExe + " export " + file + " -o " + po.string());
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, po.string() + ": File size limit reached\n");
    EXPECT_EQ(ReadText(po), old);

    // Only one descriptor beyond the standard ones: an error, never a crash.
    if (kSanitized)
        std::cerr << "not run with a limit of 4 descriptors: the sanitizers need some themselves\n";
    // Descriptors the test runner passes on would take the free ones.
    run = Shell(dir, (kSanitized ? "exec 3>&- 4>&- 5>&-; ulimit -n 6; exec " : "exec 3>&-; ulimit -n 4; exec ") + kExe + " export " + file +
                         " -o " + po.string());
    EXPECT_LE(run.code, 1) << run.err;
    EXPECT_TRUE(ReadText(po) == old || ReadText(po).starts_with("# Strings of app.rsc")) << run.err;

    // A name that is not UTF-8, over an older file; standard output without a temporary folder.
    const fs::path odd = dir.Path() / "\xff.po";
    WriteText(odd, old);
    EXPECT_EQ(Cli({"export", file, "-o", odd.string()}).code, 0);
    run = Shell(dir, "TMPDIR=/nonexistent " + kExe + " export " + file);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(ReadText(odd), run.out);
    EXPECT_EQ(Shell(dir, kExe + " export " + file + " >/dev/full").code, 1);

    // Two files of one name for one folder: refused before anything is written.
    fs::create_directories(dir.Path() / "a");
    fs::create_directories(dir.Path() / "b");
    fs::create_directories(dir.Path() / "out");
    const std::string a = dir.Write("a/x.rsc", kTwoStrings);
    const std::string b = dir.Write("b/x.rsc", kTwoStrings);
    run = Cli({"export", a, b, "-d", (dir.Path() / "out").string()});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find(a + " and " + b + " would both be written to"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));

    // Errors of the target, in this process (the sanitizer run looks for leaks here).
    run = Cli({"export", file, "-o", "/nonexistent/x.po"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "/nonexistent: no such folder; nothing written\n");

    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    if (::mount("tavolin-test", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
    WriteText(small / "app.po", old);
    run = Cli({"export", file, "-o", (small / "app.po").string()});
    const std::string after = ReadText(small / "app.po");
    const std::size_t files = static_cast<std::size_t>(std::distance(fs::directory_iterator(small), {}));
    ::umount(small.c_str());
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, (small / "app.po").string() + ": Disk full\n");
    EXPECT_EQ(after, old);
    EXPECT_EQ(files, 1u);
}

TEST(Import, RefusesPoInputItWouldTakeWrongly)
{
    struct Case {
        std::string name;
        std::string po;
        std::string error; // empty: applied
    };
    const std::string nul(1, '\0');
    const std::vector<Case> cases = {
        {"escaped NUL", Entry("1", "Hi", "a\\000b"), "t.po:3: an escaped NUL character"},
        {"short escape", Entry("1", "Hi", "a\\0"), "t.po:3: an escaped NUL"},
        {"hex escape", Entry("2", "ok", "\\x00 b"), "t.po:3: an escaped NUL"},
        {"raw NUL", Entry("1", "Hi", "a" + nul + "b"), "t.po:3: a NUL byte"},
        {"NUL in msgctxt", Entry("1\\0", "Hi", "ab"), "t.po:1: an escaped NUL"},
        // Read into one byte, these are NUL too.
        {"octal escape over a byte", Entry("1", "Hi", "Ai\\400heet"), "t.po:3: an escape of more than one byte"},
        {"hex escape over a byte", Entry("1", "Hi", "Ai\\x100heet"), "t.po:3: an escape of more than one byte"},
        {"long hex escape", Entry("1", "Hi", "a\\x0000000200"), "t.po:3: an escape of more than one byte"},
        {"escape over a byte in msgctxt", Entry("1\\x200", "Hi", "ab"), "t.po:1: an escape of more than one byte"},
        {"hex escape with leading zeros", Entry("1", "Hi", "a\\x062"), ""},
        {"plural", "msgctxt \"1\"\nmsgid \"Hi\"\nmsgid_plural \"Hs\"\nmsgstr[0] \"\"\nmsgstr[1] \"ab\"\n",
         "t.po:3: a plural entry"},
        {"UTF-16", std::string("\xFF\xFEm\0s\0g\0", 8), "t.po: in UTF-16"},
        {"Latin-1 without a header", Entry("1", "Hi", "\xE9"), "t.po:3: not valid UTF-8 (a PO file whose header names no charset"},
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBF" + Entry("1", "Hi", "ab"), ""},
        // ID 3 is gone; its msgid is that of ID 1.
        {"one text twice, alike", Entry("1", "Hi", "ab") + Entry("3", "Hi", "ab"), ""},
        {"one text twice, differently", Entry("1", "Hi", "ab") + Entry("3", "Hi", "cd"), "ID 1 is translated twice"},
        {"one entry twice, alike", Entry("1", "Hi", "ab") + Entry("1", "Hi", "ab"), ""},
        {"one entry twice, differently", Entry("1", "Hi", "ab") + Entry("1", "Hi", "cd"), "ID 1 is translated twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        const std::string file = dir.Write("s.rsc", kTwoStrings);
        WriteText(dir.Path() / "t.po", c.po);
        const CliRun run = Cli({"import", file, (dir.Path() / "t.po").string()});
        if (c.error.empty()) {
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_EQ(run.out.rfind("applied 1, already translated 0, unchanged ", 0), 0u) << run.out;
            EXPECT_EQ(test::Listed(file).substr(0, 7), "1\t3\tab\n");
        } else {
            EXPECT_EQ(run.code, 1);
            EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(test::ReadAll(file), kTwoStrings);
        }
    }
}

TEST(Import, ReadsOnlyFilesAndReportsOnlyWhatWasWritten)
{
    const test::TempDir dir;
    const std::string file = dir.Write("s.rsc", kTwoStrings);
    fs::create_directory(dir.Path() / "d.po");
    // In this process: the sanitizer run looks for leaks here.
    CliRun run = Cli({"import", file, (dir.Path() / "d.po").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("d.po: a folder, not a PO or XLIFF file"), std::string::npos) << run.err;

    run = Shell(dir, "timeout 20 " + kExe + " import " + file + " /dev/zero");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("/dev/zero: more than 64 MiB, the limit of a PO or XLIFF file"), std::string::npos)
        << run.err;
    // A file as large is refused before it is read.
    fs::resize_file(dir.Write("huge.po", {}), (std::uintmax_t{64} << 20) + 1);
    run = Cli({"import", file, (dir.Path() / "huge.po").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("huge.po: more than 64 MiB"), std::string::npos) << run.err;

    // A save that fails says so, and no "applied".
    WriteText(dir.Path() / "t.po", Entry("1", "Hi", "ab"));
    run = Cli({"import", file, (dir.Path() / "t.po").string(), "-o", (dir.Path() / "gone" / "x.rsc").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, (dir.Path() / "gone").string() + ": no such folder; nothing written\n");
}

TEST(StringsCli, OutOfMemoryEndsWithAMessageAndLeavesNoFileBehind)
{
    if (kSanitized)
        GTEST_SKIP() << "an address-space limit stops AddressSanitizer itself";
    const test::TempDir dir;
    fs::create_directory(dir.Path() / "caption");
    Bytes many;
    for (int i = 0; i < 1000000; ++i)
        many.insert(many.end(), {2, 171, 'a', 0, 'b', 0});
    const std::string file = dir.Write("caption/m1.rsc", many);
    for (const char* sub : {"list", "resave", "dump", "check", "export"}) {
        SCOPED_TRACE(sub);
        const CliRun run = Shell(dir, "ulimit -v 40000; exec " + kExe + " " + sub + " " + file + " >/dev/null");
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, file + ": Out of memory\n");
        EXPECT_TRUE(test::ReadAll(file) == many);
        EXPECT_EQ(LeftoversIn(dir.Path() / "caption"), 0u);
    }
}

// A file-size limit fails the save with its own message and kills nothing;
// resave names the file of every failure.
TEST(StringsCli, ResaveNamesTheFileAndOutlivesAFileSizeLimit)
{
    const test::TempDir dir;
    const Bytes big = ManyStrings(3000);
    const std::string file = dir.Write("big.rsc", big);
    const std::string out = dir.Write("out.rsc", kTwoStrings);
    CliRun run = Shell(dir, "ulimit -f 16; exec " + kExe + " resave " + file + " -o " + out);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, out + ": File size limit reached\n");
    EXPECT_EQ(test::ReadAll(out), kTwoStrings);
    EXPECT_EQ(LeftoversIn(dir.Path()), 0u);

    const std::string missing = (dir.Path() / "none.rsc").string();
    EXPECT_EQ(Cli({"resave", missing}).err, missing + ": File not found\n");
    EXPECT_EQ(Cli({"resave", file, "-o", "/nonexistent/x.rsc"}).err, "/nonexistent/x.rsc: Invalid filename\n");
}

} // namespace
} // namespace tavolin
