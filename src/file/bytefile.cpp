#include "file/bytefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file/errors.h"

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

bool IsReadOnlyMode(unsigned mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

ByteFile::ByteFile(const std::string& path, Access access)
{
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

FileBytes ReadFileBytes(const std::string& path, Access access)
{
    ByteFile file(path, access);
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
