#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "file/bytefile.h"
#include "file/errors.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;

// The code and message of the IoError that opening `path` throws.
std::pair<int, std::string> OpenError(const std::string& path)
{
    try {
        ByteFile file(path);
    } catch (const IoError& e) {
        return {e.Code(), e.what()};
    }
    return {0, ""};
}

bool Run(const std::string& command)
{
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

// Makes a file unwritable with its write bits kept, so that root is stopped
// too: the immutable flag, or else a read-only bind mount of its folder.
// Undone when it goes; Path() is empty when neither could be made.
class WriteLock {
public:
    explicit WriteLock(const fs::path& file)
    {
        if (Run("chattr +i '" + file.string() + "'")) {
            m_immutable = m_path = file;
            return;
        }
        const fs::path mount = file.parent_path() / "ro";
        fs::create_directory(mount);
        if (!Run("mount --bind '" + file.parent_path().string() + "' '" + mount.string() + "'"))
            return;
        m_mount = mount;
        if (Run("mount -o remount,ro,bind '" + mount.string() + "'"))
            m_path = mount / file.filename();
    }
    ~WriteLock()
    {
        if (!m_immutable.empty())
            Run("chattr -i '" + m_immutable.string() + "'");
        if (!m_mount.empty())
            Run("umount '" + m_mount.string() + "'");
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    [[nodiscard]] const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
    fs::path m_immutable;
    fs::path m_mount;
};

TEST(ByteFile, ReadsEveryByte)
{
    const test::TempDir dir;
    test::Bytes bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    ByteFile file(dir.Write("f", bytes));
    EXPECT_EQ(file.SizeAtOpen(), bytes.size());
    test::Bytes read(bytes.size() + 1);
    std::size_t used = 0;
    while (const std::size_t got = file.Read(read.data() + used, read.size() - used))
        used += got;
    read.resize(used);
    EXPECT_TRUE(read == bytes);
    file.Close();
}

TEST(ByteFile, OpenFailuresHaveTheirOwnCodes)
{
    const test::TempDir dir;
    const std::string present = dir.Write("present.rsc", {1, 2, 3});
    EXPECT_EQ(OpenError((dir.Path() / "missing.rsc").string()),
              (std::pair<int, std::string>{2, "File not found"}));
    EXPECT_EQ(OpenError((dir.Path() / "no-folder" / "x.rsc").string()),
              (std::pair<int, std::string>{3, "Invalid filename"}));
    EXPECT_EQ(OpenError(present + "/x.rsc"), (std::pair<int, std::string>{3, "Invalid filename"}));
    EXPECT_EQ(OpenError((dir.Path() / std::string(300, 'n')).string()),
              (std::pair<int, std::string>{3, "Invalid filename"}));
    EXPECT_EQ(OpenError(dir.Path().string()), (std::pair<int, std::string>{5, "File access denied"}));

    // No write bit at all is read-only, for root as well.
    ::chmod(present.c_str(), 0444);
    EXPECT_EQ(OpenError(present), (std::pair<int, std::string>{5, "File access denied"}));
    ::chmod(present.c_str(), 0200); // writable but not readable: root still reads it
    if (::geteuid() != 0) {
        EXPECT_EQ(OpenError(present).first, 5);
    }
}

TEST(ByteFile, FileThatCannotBeWrittenIsDeniedWhateverItsBits)
{
    // The file is opened for writing as well: one that Save could not write
    // is refused at Open, also where its write bits are set.
    const test::TempDir dir;
    const std::string file = dir.Write("locked.rsc", {1, 2, 3});
    ::chmod(file.c_str(), 0644);
    const WriteLock lock(file);
    if (lock.Path().empty())
        GTEST_SKIP() << "neither the immutable flag nor a read-only bind mount can be made here";
    EXPECT_EQ(OpenError(lock.Path().string()), (std::pair<int, std::string>{5, "File access denied"}));
}

TEST(ByteFile, FifoIsRefusedInsteadOfBlocking)
{
    const test::TempDir dir;
    const std::string fifo = (dir.Path() / "pipe.rsc").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(OpenError(fifo).first, 5);
}

TEST(ByteFile, TooManyOpenFiles)
{
    const test::TempDir dir;
    const std::string path = dir.Write("f.rsc", {1});
    // UBSan checks a dynamic type through a pipe the first time it meets it,
    // which fails with no descriptor left: let it meet IoError now.
    (void)OpenError((dir.Path() / "missing").string());
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    std::vector<int> fds;
    rlimit low = old;
    low.rlim_cur = 32;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        fds.push_back(fd);
    const auto error = OpenError(path);
    for (const int fd : fds)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(error, (std::pair<int, std::string>{4, "Too many open files"}));
}

int g_readErrno = 0;
long FailingRead(int, void*, std::size_t)
{
    errno = g_readErrno;
    return -1;
}

// A read that fails shows the error by its meaning; one errno per class, and
// the numbers 2 to 5 that would read as the codes of their own if kept.
TEST(ByteFile, ReadFailuresAreJudgedByMeaning)
{
    const test::TempDir dir;
    const std::string path = dir.Write("f.rsc", {1, 2, 3});
    const struct {
        int errnum;
        int code;
        const char* message;
    } cases[] = {
        {EIO, 5, "I/O error 5"},
        {ESRCH, 3, "I/O error 3"},
        {ENOENT, 2, "File not found"},
        {ENOTDIR, 3, "Invalid filename"},
        {EMFILE, 4, "Too many open files"},
        {EACCES, 5, "File access denied"},
        {ENOSPC, 101, "Disk full"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errnum);
        ByteFile file(path);
        g_readErrno = c.errnum;
        SetReadFunctionForTesting(FailingRead);
        std::pair<int, std::string> error;
        std::uint8_t read[16];
        try {
            (void)file.Read(read, sizeof read);
        } catch (const IoError& e) {
            error = {e.Code(), e.what()};
        }
        SetReadFunctionForTesting(nullptr);
        EXPECT_EQ(error, (std::pair<int, std::string>{c.code, c.message}));
    }
}

TEST(IoError, OtherCodesShowTheirNumber)
{
    EXPECT_STREQ(IoError(101).what(), "Disk full");
    EXPECT_STREQ(IoError(32).what(), "I/O error 32");
    EXPECT_STREQ(IoErrorFor(EROFS, "/x").what(), "File access denied");
    EXPECT_STREQ(IoErrorFor(EIO, "/x").what(), "I/O error 5");
}

TEST(StrToInt, TakesDecimalIntegersOnly)
{
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("255"), 255);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("-1"), -1);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "-", " 1", "1 ", "1a", "0x10", "2147483648", "99999999999999999999"}) {
        try {
            SCOPED_TRACE(bad);
            (void)StrToInt(bad);
            ADD_FAILURE() << "no error";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

} // namespace
} // namespace tavolin
