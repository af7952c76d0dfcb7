#include "file/bytefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file/errors.h"
#include "file/safesave.h"

namespace tavolin {

namespace {

ReadFunction g_read = nullptr;

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

IoError IoErrorFor(int errnum, const std::string& path)
{
    switch (errnum) {
    case ENOENT:
        // The system says ENOENT for a missing file and a missing folder alike.
        return IoError(path.empty() || IsFolder(FolderOf(path)) ? kFileNotFound
                                                                : kInvalidFilename);
    case ENOTDIR:
    case ENAMETOOLONG:
        return IoError(kInvalidFilename);
    case EMFILE:
    case ENFILE:
        return IoError(kTooManyOpenFiles);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return IoError(kAccessDenied);
    case ENOSPC:
    case EDQUOT:
        return IoError(kDiskFull);
    default:
        return IoError::Unmapped(errnum);
    }
}

void SetReadFunctionForTesting(ReadFunction read)
{
    g_read = read;
}

InputRefused LimitPassed(std::size_t limit, const std::string& what)
{
    std::string shown;
    if (limit >= (std::size_t{1} << 30) && limit % (std::size_t{1} << 30) == 0)
        shown = std::to_string(limit >> 30) + " GiB";
    else if (limit >= (std::size_t{1} << 20) && limit % (std::size_t{1} << 20) == 0)
        shown = std::to_string(limit >> 20) + " MiB";
    else
        shown = std::to_string(limit) + " bytes";
    return InputRefused{"more than " + shown + ", the limit of " + what};
}

std::vector<std::uint8_t> ReadWholeInput(const std::string& path, std::size_t limit, const std::string& what)
{
    RestoreInterruptedSave(path);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw IoErrorFor(errno, path);
    const struct Closer {
        int fd;
        explicit Closer(int descriptor) : fd(descriptor) {}
        Closer(const Closer&) = delete;
        Closer& operator=(const Closer&) = delete;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw IoErrorFor(errno, path);
    if (S_ISDIR(st.st_mode))
        throw InputRefused("a folder, not " + what);
    std::vector<std::uint8_t> bytes;
    if (S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) > limit)
            throw LimitPassed(limit, what);
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    // A pipe or device says nothing of its length (/dev/zero never ends).
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const long n = g_read ? g_read(fd, buffer, sizeof buffer) : ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoErrorFor(errno, path);
        if (n == 0)
            return bytes;
        if (static_cast<std::size_t>(n) > limit - bytes.size())
            throw LimitPassed(limit, what);
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool IsReadOnlyMode(unsigned mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

ByteFile::ByteFile(const std::string& path, Access access)
{
    RestoreInterruptedSave(path);
    // O_NONBLOCK keeps a FIFO from hanging the open; anything but a regular
    // file is refused below before a read can block.
    const int how = access == Access::ReadWrite ? O_RDWR : O_RDONLY;
    int fd;
    do {
        fd = ::open(path.c_str(), how | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw IoErrorFor(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw IoErrorFor(err, path);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw IoError::Unmapped(EISDIR);
    }
    if (!S_ISREG(st.st_mode) || (access == Access::ReadWrite && IsReadOnlyMode(st.st_mode))) {
        ::close(fd);
        throw IoError(kAccessDenied);
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMarkerFileLimit) {
        ::close(fd);
        throw LimitPassed(kMarkerFileLimit, "a file read by marker");
    }
    m_fd = fd;
    m_sizeAtOpen = static_cast<std::size_t>(st.st_size);
    m_path = path;
}

ByteFile::~ByteFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t ByteFile::Read(std::uint8_t* into, std::size_t size)
{
    for (;;) {
        const long got = g_read ? g_read(m_fd, into, size) : ::read(m_fd, into, size);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw IoErrorFor(errno, m_path);
    }
}

void ByteFile::Close()
{
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        throw IoErrorFor(errno, m_path);
}

FileBytes ReadFileBytes(const std::string& path, Access access, bool resourceOnly)
{
    // A pipe or device read for reading alone says nothing of its length and
    // may never end: it is read up to what a resource file can be.
    struct stat st {};
    if (access == Access::ReadOnly && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISDIR(st.st_mode))
        return {ReadWholeInput(path, kResourceFileLimit, "a resource file"), nullptr};
    ByteFile file(path, access);
    if (resourceOnly && file.SizeAtOpen() > kResourceFileLimit)
        throw LimitPassed(kResourceFileLimit, "a resource file");
    FileBytes read;
    read.bytes.resize(file.SizeAtOpen());
    std::size_t got = 0;
    try {
        for (;;) {
            if (got == read.bytes.size())
                read.bytes.resize(got + 4096); // the file grew since its size was taken
            const std::size_t n = file.Read(read.bytes.data() + got, read.bytes.size() - got);
            if (n == 0)
                break;
            got += n;
        }
        file.Close();
    } catch (const IoError&) {
        read.endError = std::current_exception();
    }
    read.bytes.resize(got);
    return read;
}

} // namespace tavolin
