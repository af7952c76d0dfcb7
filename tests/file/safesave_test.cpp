#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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
using test::SaveError;

const Bytes kOld = {1, 2, 3, 4, 5};
const Bytes kNew = {9, 8, 7};

unsigned Mode(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(ReplaceFile, ReplacesWholeAndKeepsPermissionBits)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", Bytes(1000, 0x55));
    ::chmod(target.c_str(), 0640);
    ReplaceFile(target, kNew);
    EXPECT_EQ(test::ReadAll(target), kNew);
    EXPECT_EQ(Mode(target), 0640u);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);

    const std::string fresh = (dir.Path() / "new.rsc").string();
    ReplaceFile(fresh, kOld);
    EXPECT_EQ(test::ReadAll(fresh), kOld);
    EXPECT_EQ(FilesIn(dir.Path()), 2u);
}

TEST(ReplaceFile, SavesThroughASymbolicLink)
{
    const test::TempDir dir;
    const std::string real = dir.Write("real.rsc", kOld);
    fs::create_directory(dir.Path() / "links");
    const fs::path link = dir.Path() / "links" / "link.rsc";
    fs::create_symlink("../real.rsc", link);
    ReplaceFile(link.string(), kNew);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::ReadAll(real), kNew);
}

TEST(ReplaceFile, RefusalsLeaveTheTargetAsItWas)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", kOld);
    ::chmod(target.c_str(), 0444); // read-only, for root too
    EXPECT_EQ(SaveError(target, kNew), "File access denied");
    EXPECT_EQ(test::ReadAll(target), kOld);
    EXPECT_EQ(SaveError(dir.Path().string(), kNew), "File access denied");
    EXPECT_EQ(SaveError((dir.Path() / "gone" / "app.rsc").string(), kNew), "Invalid filename");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);

    if (::geteuid() != 0) { // root writes into any folder
        const fs::path locked = dir.Path() / "locked";
        fs::create_directory(locked);
        const std::string inside = dir.Write("locked/app.rsc", kOld);
        ::chmod(locked.c_str(), 0555);
        // A new file is refused there; the writable file itself is written in
        // place, its old bytes kept meanwhile in the state folder, and where
        // there is none, it is refused too.
        EXPECT_EQ(SaveError((locked / "new.rsc").string(), kNew), "File access denied");
        const std::string state = (dir.Path() / "state").string();
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        EXPECT_EQ(SaveError(inside, kNew), "");
        EXPECT_EQ(test::ReadAll(inside), kNew);
        EXPECT_EQ(FilesIn(fs::path(state) / "tavolin"), 0u);
        ::chmod(state.c_str(), 0555);
        ::setenv("XDG_STATE_HOME", (state + "/none").c_str(), 1);
        EXPECT_EQ(SaveError(inside, kOld), "File access denied");
        EXPECT_EQ(test::ReadAll(inside), kNew);
        ::unsetenv("XDG_STATE_HOME");
        ::chmod(state.c_str(), 0755);
    }
}

// Takes `budget` bytes, then reports the disk full.
ssize_t g_budget = 0;
ssize_t FillingWrite(int fd, const void* data, std::size_t size)
{
    if (g_budget <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const auto n = std::min<ssize_t>(g_budget, static_cast<ssize_t>(size));
    g_budget -= n;
    return ::write(fd, data, static_cast<std::size_t>(n));
}

TEST(ReplaceFile, DiskFullLeavesTheTargetAsItWas)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", kOld);
    for (const ssize_t budget : {0, 2}) {
        SCOPED_TRACE("bytes written before the disk is full: " + std::to_string(budget));
        g_budget = budget;
        SetWriteFunctionForTesting(FillingWrite);
        const std::string error = SaveError(target, Bytes(10, 1));
        SetWriteFunctionForTesting(nullptr);
        EXPECT_EQ(error, "Disk full");
        EXPECT_EQ(test::ReadAll(target), kOld);
        EXPECT_EQ(FilesIn(dir.Path()), 1u);
    }
}

int g_writeErrno = 0;
ssize_t FailingWrite(int, const void*, std::size_t)
{
    errno = g_writeErrno;
    return -1;
}

// What the new file and the target held when the new file was flushed.
std::string g_syncTarget;
std::vector<std::pair<Bytes, Bytes>> g_synced;
int RecordingSync(int fd)
{
    g_synced.emplace_back(test::ReadAll("/proc/self/fd/" + std::to_string(fd)), test::ReadAll(g_syncTarget));
    return ::fsync(fd);
}

TEST(ReplaceFile, FlushesTheNewFileBeforeItRenamesIt)
{
    const test::TempDir dir;
    g_syncTarget = dir.Write("app.rsc", kOld);
    g_synced.clear();
    const Bytes fresh(100000, 7);
    SetSyncFunctionForTesting(RecordingSync);
    const std::string error = SaveError(g_syncTarget, fresh);
    SetSyncFunctionForTesting(nullptr);
    EXPECT_EQ(error, "");
    ASSERT_EQ(g_synced.size(), 1u);
    EXPECT_TRUE(g_synced[0].first == fresh) << "flushed before every byte was written";
    EXPECT_EQ(g_synced[0].second, kOld) << "flushed after the rename";
    EXPECT_TRUE(test::ReadAll(g_syncTarget) == fresh);
}

TEST(ReplaceFile, WriteFailuresAreJudgedByMeaning)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", kOld);
    const std::pair<int, const char*> cases[] = {
        {EIO, "I/O error 5"},       {ESRCH, "I/O error 3"},        {EDQUOT, "Disk full"},
        {EFBIG, "File size limit reached"}, {EROFS, "File access denied"}, {ENFILE, "Too many open files"},
        {EPIPE, "I/O error 32"},
    };
    for (const auto& [errnum, message] : cases) {
        SCOPED_TRACE(errnum);
        g_writeErrno = errnum;
        SetWriteFunctionForTesting(FailingWrite);
        const std::string error = SaveError(target, kNew);
        SetWriteFunctionForTesting(nullptr);
        EXPECT_EQ(error, message);
        EXPECT_EQ(test::ReadAll(target), kOld);
        EXPECT_EQ(FilesIn(dir.Path()), 1u);
    }
}

// Whatever could be opened can be saved: a name of the longest length a
// folder takes, and a path of about 4,000 bytes.
TEST(ReplaceFile, SavesFilesWithLongNamesAndPaths)
{
    const test::TempDir dir;
    // The longest name, and Thai letters with blanks (83 letters of three bytes).
    std::string thai;
    for (int i = 0; i < 83; ++i)
        thai += i % 10 == 9 ? " " : "\u0E01";
    for (const std::string& name : {std::string(251, 'n') + ".rsc", thai + ".rsc"}) {
        SCOPED_TRACE(name.size());
        const std::string path = dir.Write(name, {2, 171, 'o', 0, 'k', 0});
        StringTables t;
        ScanResourceFile(path, t);
        EXPECT_EQ(t.vle.ValueOf("1"), "ok");
        ReplaceFile(path, kNew);
        EXPECT_EQ(test::ReadAll(path), kNew);
    }

    fs::path deep = dir.Path();
    while (deep.string().size() < 3750)
        deep /= std::string(200, 'd');
    fs::create_directories(deep);
    const fs::path file = deep / (std::string(3990 - deep.string().size(), 'f') + ".rsc");
    ASSERT_GE(file.string().size(), 3990u);
    test::WriteAll(file, kOld);
    ReplaceFile(file.string(), kNew);
    EXPECT_EQ(test::ReadAll(file), kNew);
    EXPECT_EQ(FilesIn(deep), 1u);
}

TEST(ReplaceFile, DiskFullOnARealSmallFileSystem)
{
    const test::TempDir dir;
    const fs::path mountPoint = dir.Path() / "small";
    fs::create_directory(mountPoint);
    if (::mount("tavolin-test", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                     << "); the disk-full seam test covers this";
    const std::string target = (mountPoint / "app.rsc").string();
    test::WriteAll(target, Bytes(40 * 1024, 7));
    const std::string error = SaveError(target, Bytes(40 * 1024, 8));
    const Bytes after = test::ReadAll(target);
    const std::size_t files = FilesIn(mountPoint);
    ::umount(mountPoint.c_str());
    EXPECT_EQ(error, "Disk full");
    EXPECT_EQ(after, Bytes(40 * 1024, 7));
    EXPECT_EQ(files, 1u);
}

TEST(WritePatchFile, BadTablesNeverTouchTheTarget)
{
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", kOld);
    StringTables t;
    t.vle2.AppendEntry("0", "1 2 ");
    t.vle3.AppendEntry("1", "2");
    t.vle.AppendEntry("1", "too long");
    t.vle2.AppendEntry("1", "");
    EXPECT_THROW(WritePatchFile(target, t.vle, t.vle2, t.vle3), SaveRefused);
    t.vle3.RemoveAllEntries();
    t.vle3.AppendEntry("1", "two");
    EXPECT_THROW(SaveTables(target, t, false), ConvertError);
    EXPECT_EQ(test::ReadAll(target), kOld);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

// A save larger than the stream's buffer, with gap records larger than it
// too, writes what BuildPatchFile builds; a disk that fills up half-way
// leaves the old file.
TEST(WritePatchFile, StreamsWhatBuildPatchFileBuilds)
{
    Bytes file;
    for (int i = 0; i < 60000; ++i) {
        const Bytes gap(i == 100 ? (3u << 19) : i == 200 ? 5000u : 3u, static_cast<std::uint8_t>(i % 100));
        file.insert(file.end(), gap.begin(), gap.end());
        file.insert(file.end(), {4, 171, 'a', 0, 'b', 0, 0, 0, 0, 0});
    }
    const test::TempDir dir;
    const std::string target = dir.Write("app.rsc", file);
    const auto scanned = test::ScanPath(target);
    ASSERT_EQ(scanned.error, "");
    const auto& t = scanned.tables;
    WritePatchFile(target, t.vle, t.vle2, t.vle3);
    EXPECT_TRUE(test::ReadAll(target) == file);

    g_budget = (1 << 20) + 12345;
    SetWriteFunctionForTesting(FillingWrite);
    EXPECT_THROW(WritePatchFile(target, t.vle, t.vle2, t.vle3), IoError);
    SetWriteFunctionForTesting(nullptr);
    EXPECT_TRUE(test::ReadAll(target) == file);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

} // namespace
} // namespace tavolin
