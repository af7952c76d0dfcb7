#include "codec/safesave.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "codec/bytefile.h"
#include "codec/errors.h"
#include "tables/largebuffer.h"

namespace tavolin {

namespace {

WriteFunction g_write = nullptr;

// Follows symbolic links to the file they finally name, which need not exist.
std::string ResolveLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n < 0)
            return path;
        std::string link(buffer, static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
    }
    throw IoErrorFor(ELOOP, path);
}

[[noreturn]] void Fail(int err, const std::string& path)
{
    throw IoErrorFor(err, path);
}

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // the data is safe already; this only hastens the name
        ::close(fd);
    }
}

} // namespace

// Removes the half-written new file on every path that doesn't rename it.
// Its name is short and fixed in length, so that any file that could be
// opened, however long its own name, can be saved too.
class TempFile {
public:
    explicit TempFile(const std::string& target)
        : m_path(FolderOf(target) + "/.tavolin-XXXXXX")
    {
        m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
        if (m_fd < 0)
            Fail(errno, target);
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_renamed)
            ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Appends `size` bytes. Every 8 MiB written are handed to the disk at
    // once, so that the disk writes while the rest is made and the final
    // fsync has less to wait for.
    void Write(const std::uint8_t* bytes, std::size_t size)
    {
        const WriteFunction write = g_write ? g_write : ::write;
        constexpr std::size_t kPiece = std::size_t{8} << 20;
        std::size_t done = 0;
        while (done < size) {
            if (m_written - m_started >= kPiece) {
#if defined(SYNC_FILE_RANGE_WRITE)
                ::sync_file_range(m_fd, static_cast<off_t>(m_started),
                                  static_cast<off_t>(m_written - m_started), SYNC_FILE_RANGE_WRITE);
#endif
                m_started = m_written;
            }
            const ssize_t n = write(m_fd, bytes + done, std::min(kPiece, size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Fail(errno, m_path);
            if (n == 0)
                throw IoError(kDiskFull);
            done += static_cast<std::size_t>(n);
            m_written += static_cast<std::size_t>(n);
        }
    }

    void Finish(mode_t mode, const struct stat* owner)
    {
        if (::fchmod(m_fd, mode) != 0)
            Fail(errno, m_path);
        // Only root can give the file back to its owner; others keep theirs.
        if (owner && ::geteuid() == 0 && ::fchown(m_fd, owner->st_uid, owner->st_gid) != 0)
            Fail(errno, m_path);
        if (::fsync(m_fd) != 0)
            Fail(errno, m_path);
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            Fail(errno, m_path);
    }

    void RenameOver(const std::string& target)
    {
        if (::rename(m_path.c_str(), target.c_str()) != 0)
            Fail(errno, target);
        m_renamed = true;
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_renamed = false;
    std::size_t m_written = 0;
    std::size_t m_started = 0; // of the bytes not yet handed to the disk
};

void SetWriteFunctionForTesting(WriteFunction write)
{
    g_write = write;
}

SaveStream::SaveStream(TempFile* file) : m_file(file) {}

void SaveStream::Put(const std::uint8_t* bytes, std::size_t size)
{
    if (size <= kRoom) {
        CopyBytes(Room(size), bytes, size);
        m_used += size;
        return;
    }
    Flush();
    m_file->Write(bytes, size);
}

void SaveStream::Flush()
{
    m_file->Write(m_buffer.get(), m_used);
    m_used = 0;
}

void ReplaceFile(const std::string& target, const std::vector<std::uint8_t>& bytes)
{
    ReplaceFile(target, [&](SaveStream& out) { out.Put(bytes.data(), bytes.size()); });
}

void ReplaceFile(const std::string& requested, const std::function<void(SaveStream&)>& write)
{
    const std::string target = ResolveLinks(requested);

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        Fail(errno, target);
    mode_t mode = 0666 & ~CurrentUmask();
    if (exists) {
        // A rename would replace even a file we may not write: ask first.
        if (!S_ISREG(st.st_mode) || IsReadOnlyMode(st.st_mode) ||
            ::access(target.c_str(), W_OK) != 0)
            throw IoError(kAccessDenied);
        mode = st.st_mode & 07777;
    } else {
        struct stat folder {};
        if (::stat(FolderOf(target).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
            throw IoError(kInvalidFilename);
    }

    TempFile temp(target);
    SaveStream stream(&temp);
    write(stream);
    stream.Flush();
    temp.Finish(mode, exists ? &st : nullptr);
    temp.RenameOver(target);
    SyncFolder(FolderOf(target));
}

} // namespace tavolin
