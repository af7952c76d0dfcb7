// What a save keeps of the file it replaces, and the targets it must not
// replace: streams, hard links, files whose owner or folder forbid a new file.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "file/errors.h"
#include "file/safesave.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::FilesIn;
using test::SaveError;

const Bytes kOld = {1, 2, 3, 4, 5};
const Bytes kNew = {9, 8, 7};
constexpr uid_t kNobody = 65534;

struct stat StatOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// Runs `body` in a child process, as the user nobody when `asNobody`;
// returns what it returns, or -1 when the child could not become nobody.
int InChild(bool asNobody, const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (asNobody && (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                         ::setresuid(kNobody, kNobody, kNobody) != 0))
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return 1000 + WTERMSIG(status);
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

#define REQUIRE_ROOT()                                                                         \
    do {                                                                                       \
        if (::geteuid() != 0)                                                                  \
            GTEST_SKIP() << "needs root to make files of other users and act as user nobody"; \
    } while (0)

int g_stepsLeft = 0;
void KillAtStep()
{
    if (--g_stepsLeft == 0)
        ::raise(SIGKILL);
}

// One of this process's open files (/proc/self/fd/N, which /dev/stdout is)
// is written at its place, and its file is neither replaced nor cut.
TEST(SaveTargets, AnOpenFileIsWrittenAsAStream)
{
    const test::TempDir dir;
    const std::string log = dir.Write("app.log", {'l', 'o', 'g', '\n'});
    const ino_t inode = StatOf(log).st_ino;
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ReplaceFile("/proc/self/fd/" + std::to_string(fd), kNew);
    ::close(fd);
    EXPECT_EQ(test::ReadAll(log), (Bytes{'l', 'o', 'g', '\n', 9, 8, 7}));
    EXPECT_EQ(StatOf(log).st_ino, inode);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);

    // A device is written, never replaced: /dev/full stays and says so.
    EXPECT_EQ(SaveError("/dev/full", kNew), "Disk full");
    EXPECT_TRUE(S_ISCHR(StatOf("/dev/full").st_mode));
    EXPECT_EQ(SaveError("/dev/null", kNew), "");
}

// The program itself, as a shell redirects its standard output.
TEST(SaveTargets, StandardOutputKeepsWhatTheShellWrote)
{
    const test::TempDir dir;
    const Bytes rsc = {2, 171, 'o', 0, 'k', 0};
    const std::string file = dir.Write("a.rsc", rsc);
    const std::string log = (dir.Path() / "app.log").string();
    const std::string run = std::string(TAVOLIN_STRINGS_EXE) + " resave '" + file + "' -o /dev/stdout";
    const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    const auto plus = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        std::string shell;
        Bytes log;
    };
    const Case cases[] = {
        {"echo precious > '" + log + "'; " + run + " >> '" + log + "'", plus(text("precious\n"), rsc)},
        {"( echo header; " + run + "; echo trailer ) > '" + log + "'",
         plus(plus(text("header\n"), rsc), text("trailer\n"))},
        {run + " | cat > '" + log + "'", rsc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shell);
        ASSERT_EQ(std::system(("/bin/sh -c \"" + c.shell + "\"").c_str()), 0);
        EXPECT_EQ(test::ReadAll(log), c.log);
        EXPECT_EQ(test::ReadAll(file), rsc);
    }
}

TEST(SaveTargets, HardLinksStayOneFile)
{
    const test::TempDir dir;
    const std::string first = dir.Write("h1.rsc", kOld);
    const std::string second = (dir.Path() / "h2.rsc").string();
    ASSERT_EQ(::link(first.c_str(), second.c_str()), 0);
    for (const Bytes& bytes : {kNew, Bytes(200000, 6), kOld}) {
        ReplaceFile(first, bytes);
        EXPECT_EQ(test::ReadAll(second), bytes);
        EXPECT_EQ(StatOf(first).st_ino, StatOf(second).st_ino);
    }
    EXPECT_EQ(FilesIn(dir.Path()), 2u);
}

// Mode with its special bits, extended attributes and the ACL survive an
// atomic save; the ACL is what keeps the group's own rights apart from the mask.
TEST(SaveTargets, ModeAttributesAndAclAreKept)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", kOld);
    ASSERT_EQ(::chmod(target.c_str(), 06664), 0);
    if (::setxattr(target.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no user extended attributes on " << dir.Path() << ": " << std::strerror(errno);
    // user::rw- user:nobody:r-- group::r-- mask::rw- other::r--
    struct [[gnu::packed]] Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    struct [[gnu::packed]] {
        std::uint32_t version = 2;
        Entry e[5] = {{1, 6, ~0u}, {2, 4, kNobody}, {4, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 4, ~0u}};
    } acl;
    const bool haveAcl = ::setxattr(target.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0) == 0;
    if (!haveAcl)
        std::cerr << "no ACLs on " << dir.Path() << ": only mode and attributes checked\n";
    const struct stat before = StatOf(target);

    ReplaceFile(target, kNew);
    EXPECT_EQ(test::ReadAll(target), kNew);
    const struct stat after = StatOf(target);
    EXPECT_NE(after.st_ino, before.st_ino) << "meant to be atomic";
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    char note[16] = {};
    EXPECT_EQ(::getxattr(target.c_str(), "user.note", note, sizeof note), 4);
    EXPECT_STREQ(note, "kept");
    if (haveAcl) {
        decltype(acl) back;
        EXPECT_EQ(::getxattr(target.c_str(), "system.posix_acl_access", &back, sizeof back), ssize_t{sizeof acl});
        EXPECT_EQ(std::memcmp(&back, &acl, sizeof acl), 0) << "group:: must stay r--";
    }
}

// An ordinary user may write a file whose owner they cannot give a new file,
// or that lies in a folder they may not write: it is written in place and
// keeps its owner, group and mode.
TEST(SaveTargets, AFileAnotherUserOwnsOrInALockedFolderIsWrittenInPlace)
{
    REQUIRE_ROOT();
    const test::TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    // Where a folder takes no new file, the old bytes are kept here while
    // the file is written.
    const fs::path state = dir.Path() / "state";
    fs::create_directory(state);
    ASSERT_EQ(::chown(state.c_str(), kNobody, kNobody), 0);
    struct Case {
        const char* what;
        uid_t fileOwner;
        gid_t fileGroup;
        mode_t mode;
        uid_t folderOwner;
    };
    const Case cases[] = {
        {"another's group-writable file", 0, kNobody, 0664, kNobody},
        {"own file of a group the user is not in", kNobody, 0, 0664, kNobody},
        {"own file in a folder of root's", kNobody, kNobody, 0644, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = dir.Path() / std::to_string(&c - cases);
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), c.folderOwner, c.folderOwner), 0);
        const std::string target = (folder / "app.rsc").string();
        test::WriteAll(target, kOld);
        ASSERT_EQ(::chown(target.c_str(), c.fileOwner, c.fileGroup), 0);
        ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
        const struct stat before = StatOf(target);
        const int code = InChild(true, [&] {
            ::setenv("XDG_STATE_HOME", state.c_str(), 1);
            return SaveError(target, kNew).empty() ? 0 : 1;
        });
        ASSERT_NE(code, -1) << "cannot become user nobody";
        EXPECT_EQ(code, 0);
        EXPECT_EQ(test::ReadAll(target), kNew);
        const struct stat after = StatOf(target);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_uid, c.fileOwner);
        EXPECT_EQ(after.st_gid, c.fileGroup);
        EXPECT_EQ(after.st_mode & 07777, c.mode);
        EXPECT_EQ(FilesIn(folder), 1u);
        EXPECT_TRUE(!fs::exists(state / "tavolin") || FilesIn(state / "tavolin") == 0);
    }

    // Killed after its first write in place, the save in root's folder left
    // the old bytes in the user's state folder; the user's next read puts
    // them back.
    const std::string target = (dir.Path() / "2" / "app.rsc").string();
    test::WriteAll(target, kOld);
    const int killed = InChild(true, [&] {
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        g_stepsLeft = 6; // copy: write, flush, rename, folder flush; then the first piece, and here the cut
        SetInPlaceStepForTesting(KillAtStep);
        return SaveError(target, kNew).empty() ? 0 : 1;
    });
    ASSERT_EQ(killed, 1000 + SIGKILL);
    EXPECT_NE(test::ReadAll(target), kOld);
    EXPECT_EQ(FilesIn(state / "tavolin"), 1u);
    // A file the user may not write keeps its copy, and the program says where.
    EXPECT_EQ(InChild(true, [&] {
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        ::chmod(target.c_str(), 0444);
        if (RestoreInterruptedSave(target))
            return 1;
        const auto notices = TakeRestoreNotices();
        if (notices.size() != 1 || notices[0].find(": an earlier save was cut off before the file was whole; its bytes "
                                                   "from before that save are kept in " + (state / "tavolin").string() + "/") != target.size())
            return 2;
        ::chmod(target.c_str(), 0644);
        return RestoreInterruptedSave(target) ? 0 : 3;
    }), 0);
    EXPECT_EQ(test::ReadAll(target), kOld);
    EXPECT_EQ(FilesIn(state / "tavolin"), 0u);
}

// Fails the write call number `g_failAt`, once.
int g_failAt = 0;
ssize_t FailOnce(int fd, const void* data, std::size_t size)
{
    if (--g_failAt == 0) {
        errno = EIO;
        return -1;
    }
    return ::write(fd, data, std::min<std::size_t>(size, 1 << 16));
}

// An in-place save that fails half-way puts back what it overwrote; one that
// would not fit the disk or the file-size limit writes nothing.
TEST(SaveTargets, AnInPlaceSaveThatFailsLeavesTheOldBytes)
{
    const test::TempDir dir;
    const Bytes old(300000, 1);
    const std::string target = dir.Write("h1.rsc", old);
    ASSERT_EQ(::link(target.c_str(), (dir.Path() / "h2.rsc").c_str()), 0);
    // The new bytes are staged in five writes and the old ones copied aside in
    // five, then the third piece in place fails.
    g_failAt = 13;
    SetWriteFunctionForTesting(FailOnce);
    const std::string error = SaveError(target, Bytes(320000, 2));
    SetWriteFunctionForTesting(nullptr);
    EXPECT_EQ(error, "I/O error 5");
    EXPECT_TRUE(test::ReadAll(target) == old);
    EXPECT_EQ(FilesIn(dir.Path()), 2u); // the copy goes with the save

    const int code = InChild(false, [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{310000, 310000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return SaveError(target, Bytes(320000, 2)) == "File size limit reached" ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(test::ReadAll(target) == old);

    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    if (::mount("tavolin-test", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
    const std::string full = (small / "a.rsc").string();
    test::WriteAll(full, Bytes(20000, 1));
    ::link(full.c_str(), (small / "b.rsc").c_str());
    const std::string fullError = SaveError(full, Bytes(90000, 2));
    const Bytes after = test::ReadAll(full);
    ::umount(small.c_str());
    EXPECT_EQ(fullError, "Disk full");
    EXPECT_TRUE(after == Bytes(20000, 1));
}

TEST(SaveTargets, AnAtomicSaveOverTheFileSizeLimitFailsWithoutASignal)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", kOld);
    const int code = InChild(false, [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return SaveError(target, Bytes(10000, 2)) == "File size limit reached" ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(test::ReadAll(target), kOld);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SaveTargets, ALinkLoopIsNamed)
{
    const test::TempDir dir;
    fs::create_symlink("b.rsc", dir.Path() / "a.rsc");
    fs::create_symlink("a.rsc", dir.Path() / "b.rsc");
    EXPECT_EQ(SaveError((dir.Path() / "a.rsc").string(), kNew), "Too many symbolic links (a link loop)");
}

} // namespace
} // namespace tavolin
