// Saves that are killed half-way, and saves after the file changed on disk
// since it was opened, on the real file system.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <fcntl.h>

#include "file/errors.h"
#include "codec/reader.h"
#include "file/safesave.h"
#include "codec/writer.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::FilesIn;
using test::kSanitized;

// Whether two files hold the same bytes, read a piece at a time.
bool SameFiles(const std::string& a, const std::string& b)
{
    std::ifstream fa(a, std::ios::binary);
    std::ifstream fb(b, std::ios::binary);
    static char pa[1 << 16];
    static char pb[1 << 16];
    while (fa && fb) {
        fa.read(pa, sizeof pa);
        fb.read(pb, sizeof pb);
        if (fa.gcount() != fb.gcount() || std::memcmp(pa, pb, static_cast<std::size_t>(fa.gcount())) != 0)
            return false;
    }
    return fa.eof() && fb.eof();
}

// Runs `save` in a child process and returns how it ended (waitpid's status).
int InChild(const std::function<void()>& save, const std::function<void(pid_t)>& meanwhile = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            save();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    if (meanwhile)
        meanwhile(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

ssize_t DyingWrite(int, const void*, std::size_t)
{
    ::raise(SIGKILL);
    return -1;
}

int g_inWrite = -1; // a pipe's end: told when a write has begun
ssize_t StuckWrite(int, const void*, std::size_t)
{
    (void)!::write(g_inWrite, "w", 1);
    for (;;)
        ::pause();
}

TEST(ReplaceFile, NextSaveRemovesWhatAKilledSaveOfTheSameTargetLeft)
{
    const test::TempDir dir;
    const std::string a = dir.Write("a.rsc", {1});
    const std::string b = dir.Write("b.rsc", {2});
    const auto killedSave = [](const std::string& target) {
        return InChild([&] {
            SetWriteFunctionForTesting(DyingWrite);
            ReplaceFile(target, Bytes{9});
        });
    };
    for (const std::string& target : {a, b}) {
        const int status = killedSave(target);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    ASSERT_EQ(FilesIn(dir.Path()), 4u); // the two files and a new file beside each

    // A save of a.rsc that is still writing keeps its file.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    g_inWrite = pipeFds[1];
    InChild(
        [&] {
            SetWriteFunctionForTesting(StuckWrite);
            ReplaceFile(a, Bytes{8});
        },
        [&](pid_t pid) {
            char c;
            ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
            ReplaceFile(a, Bytes{7});
            EXPECT_EQ(FilesIn(dir.Path()), 4u) << "b's leftover and the live save's file stay";
            ::kill(pid, SIGKILL);
        });
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    ReplaceFile(a, Bytes{6});
    EXPECT_EQ(FilesIn(dir.Path()), 3u);
    ReplaceFile(b, Bytes{5});
    EXPECT_EQ(FilesIn(dir.Path()), 2u);
    EXPECT_EQ(test::ReadAll(a), Bytes{6});
    EXPECT_EQ(test::ReadAll(b), Bytes{5});
}

// A large file whose every slot changes on saving (a U+0000 before its
// text moves behind it), saved by the editor's Save and by resave in child
// processes killed with SIGKILL at moments spread over a whole save: after
// each kill the file is byte for byte the old one or the new one.
TEST(SaveKilled, FileIsTheOldOrTheNewAfterEveryKill)
{
    // Sanitized builds look for memory faults, slowly: a smaller file there.
    // Every slot of this file records a change on scanning, which makes a
    // resave of it take seconds: 16 MiB keeps the kills spread over a save
    // of a few hundred milliseconds or more.
    constexpr std::size_t kSize = (kSanitized ? std::size_t{2} : std::size_t{16}) << 20;
    // The old and the new file are kept on disk and compared piece by
    // piece: fresh memory is slow to come by here, and forks are cheaper
    // from a small process.
    const test::TempDir keep;
    const std::string oldFile = (keep.Path() / "old.rsc").string();
    const std::string newFile = (keep.Path() / "new.rsc").string();
    const test::TempDir dir;
    const std::string target = (dir.Path() / "big.rsc").string();
    StringTables tables;
    {
        Bytes old;
        old.reserve(kSize + 64);
        while (old.size() < kSize)
            old.insert(old.end(), {3, 0, 7, 10, 0xAB, 0, 0, 'k', 0, 'i', 0, 'l', 0, 'l', 0, 'e', 0, 'd', 0,
                                   0x01, 0x0E, ' ', 0, 'x', 0});
        test::WriteAll(oldFile, old);
        ScanResourceFile(oldFile, tables);
        const Bytes saved = BuildPatchFile(tables.vle, tables.vle2, tables.vle3);
        ASSERT_EQ(saved.size(), old.size());
        ASSERT_NE(saved, old);
        test::WriteAll(newFile, saved);
    }
    const auto restore = [&] {
        fs::copy_file(oldFile, target, fs::copy_options::overwrite_existing);
        const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        ::fsync(fd); // no write-back of it left to compete with a save
        ::close(fd);
    };

    const std::function<void()> saves[] = {
        [&] { SaveTables(target, tables, false); },
        [&] { ResavePatchFile(target, target); },
    };
    // The longer of the two saves.
    std::chrono::microseconds saveTime{0};
    for (const auto& save : saves) {
        restore();
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(InChild(save), 0);
        saveTime = std::max(saveTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start));
        ASSERT_TRUE(SameFiles(target, newFile));
    }

    std::mt19937 random(20261209);
    constexpr int kKills = kSanitized ? 12 : 24;
    int sawOld = 0;
    int sawNew = 0;
    restore();
    for (int k = 0; k < kKills; ++k) {
        SCOPED_TRACE("kill " + std::to_string(k));
        // From before the save begins to well after it has ended.
        const auto at = saveTime * 3 * k / (2 * kKills) + std::chrono::microseconds(random() % 2000);
        InChild(saves[k % 2], [&](pid_t pid) {
            std::this_thread::sleep_for(at);
            ::kill(pid, SIGKILL);
        });
        const bool isOld = SameFiles(target, oldFile);
        ASSERT_TRUE(isOld || SameFiles(target, newFile)) << "a mix of " << fs::file_size(target) << " bytes";
        (isOld ? sawOld : sawNew)++;
        // Each save removed what the one killed before it left.
        EXPECT_LE(FilesIn(dir.Path()), 2u);
        if (!isOld)
            restore();
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    SaveTables(target, tables, false);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

int g_stepsLeft = 0;
void KillAtStep()
{
    if (--g_stepsLeft == 0)
        ::raise(SIGKILL);
}
void StopAtStep()
{
    if (--g_stepsLeft == 0) {
        (void)!::write(g_inWrite, "s", 1);
        for (;;)
            ::pause();
    }
}

// A save in place (of a file with a second name, which a rename would part)
// killed before each change it makes on disk, and then the putting back of
// the old bytes killed before each of its own: after every kill the file is
// whole, old or new, or the next read of it puts back the old bytes. Until
// then a save in progress is left alone.
TEST(SaveKilled, AnInPlaceSaveLeavesTheOldBytesRecoverableAtEveryStep)
{
    const test::TempDir dir;
    Bytes old(200000);
    for (std::size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<std::uint8_t>(i * 7 % 251);
    Bytes fresh(old.begin(), old.begin() + 150000); // shorter: the file is cut at the end
    for (std::size_t i = 0; i < fresh.size(); i += 1000)
        fresh[i] ^= 0xFF;
    const std::string target = dir.Write("h1.rsc", old);
    const std::string other = (dir.Path() / "h2.rsc").string();
    ASSERT_EQ(::link(target.c_str(), other.c_str()), 0);
    const auto save = [&](int step) {
        return InChild([&] {
            g_stepsLeft = step;
            SetInPlaceStepForTesting(KillAtStep);
            ReplaceFile(target, fresh);
        });
    };
    int torn = 0;
    for (int step = 1;; ++step) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        const int status = save(step);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
            EXPECT_EQ(test::ReadAll(other), fresh);
            EXPECT_GT(torn, 0);
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const Bytes now = test::ReadAll(target);
        if (now != old && now != fresh && torn++ == 0) {
            // Putting the old bytes back is itself killed at each step.
            for (int restoreStep = 1;; ++restoreStep) {
                const int restored = InChild([&] {
                    g_stepsLeft = restoreStep;
                    SetInPlaceStepForTesting(KillAtStep);
                    if (!RestoreInterruptedSave(target))
                        ::_exit(4);
                });
                if (WIFEXITED(restored)) {
                    EXPECT_EQ(WEXITSTATUS(restored), 0);
                    break;
                }
            }
        }
        if (now != old && now != fresh && torn == 2) {
            // The command line puts them back on reading, and says so.
            const std::string log = (dir.Path() / "log").string();
            const std::string exe = TAVOLIN_STRINGS_EXE;
            (void)std::system((exe + " list " + target + " >/dev/null 2>" + log).c_str()); // these bytes hold no strings
            EXPECT_NE(test::ReadText(log).find(target + ": an earlier save was cut off before the file was whole; "
                                                        "its bytes from before that save were put back"),
                      std::string::npos)
                << test::ReadText(log);
            fs::remove(log);
        }
        // The editor's Open, and any command's read, come by here.
        (void)test::ScanPath(target);
        ASSERT_EQ(test::ReadAll(other), old);
    }
    EXPECT_EQ(FilesIn(dir.Path()), 2u);

    // A save stopped half-way is alive: its file is not put back under it.
    test::WriteAll(target, old);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    g_inWrite = pipeFds[1];
    InChild(
        [&] {
            g_stepsLeft = 10;
            SetInPlaceStepForTesting(StopAtStep);
            ReplaceFile(target, fresh);
        },
        [&](pid_t pid) {
            char c;
            ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
            const Bytes during = test::ReadAll(target);
            EXPECT_FALSE(RestoreInterruptedSave(target));
            EXPECT_EQ(test::ReadAll(target), during);
            ::kill(pid, SIGKILL);
        });
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    EXPECT_TRUE(RestoreInterruptedSave(target));
    EXPECT_EQ(test::ReadAll(target), old);
    EXPECT_EQ(TakeRestoreNotices().back(), target + ": an earlier save was cut off before the file was whole; its "
                                                     "bytes from before that save were put back");
}

std::string SaveError(const std::string& target, const StringTables& tables)
{
    try {
        SaveTables(target, tables, false);
    } catch (const TavolinError& e) {
        return e.what();
    }
    return "";
}

// Between Open and Save the file was deleted, replaced, made read-only or a
// folder took its place: Save writes the texts shown, or says why not and
// leaves what is there alone.
TEST(SaveAfterTheFileChanged, WritesWhatIsShownOrLeavesTheFileAlone)
{
    const Bytes file = {5, 6, 2, 0xAB, 'o', 0, 'k', 0, 9};
    const Bytes other = {1, 2, 3};
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
        const char* error;
    };
    const Case cases[] = {
        {"deleted", [](const std::string& p) { fs::remove(p); }, ""},
        {"replaced", [&](const std::string& p) { test::WriteAll(p + ".x", other); fs::rename(p + ".x", p); }, ""},
        {"read-only", [](const std::string& p) { ::chmod(p.c_str(), 0444); }, "File access denied"},
        {"a folder", [](const std::string& p) { fs::remove(p); fs::create_directory(p); }, "File access denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir dir;
        const std::string path = dir.Write("app.rsc", file);
        const auto scanned = test::ScanPath(path);
        ASSERT_EQ(scanned.error, "");
        c.change(path);
        const bool wasFile = fs::is_regular_file(path);
        const Bytes before = wasFile ? test::ReadAll(path) : Bytes{};
        EXPECT_EQ(SaveError(path, scanned.tables), c.error);
        if (std::string(c.error).empty())
            EXPECT_EQ(test::ReadAll(path), file);
        else if (wasFile)
            EXPECT_EQ(test::ReadAll(path), before);
        else
            EXPECT_TRUE(fs::is_directory(path));
        EXPECT_EQ(FilesIn(dir.Path()), 1u);
    }
}

// With every descriptor taken, in a child process of its own.
TEST(SaveAfterTheFileChanged, TooManyOpenFilesIsSaidAndTheFileStays)
{
    const test::TempDir dir;
    const Bytes file = {2, 0xAB, 'o', 0, 'k', 0};
    const std::string path = dir.Write("app.rsc", file);
    const auto scanned = test::ScanPath(path);
    const int status = InChild([&] {
        (void)SaveError((dir.Path() / "gone" / "x.rsc").string(), scanned.tables); // see ByteFile's test
        rlimit low{32, 32};
        if (::setrlimit(RLIMIT_NOFILE, &low) != 0)
            ::_exit(4);
        std::vector<int> fds;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            fds.push_back(fd);
        const std::string error = SaveError(path, scanned.tables);
        for (const int fd : fds)
            ::close(fd);
        ::_exit(error == "Too many open files" ? 0 : 5);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(test::ReadAll(path), file);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

} // namespace
} // namespace tavolin
