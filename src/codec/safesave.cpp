#include "codec/safesave.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <stdlib.h> // NOLINT(modernize-deprecated-headers): mkostemp is glibc's, declared only here
#include <sys/stat.h>
#include <unistd.h>

#include "codec/bytefile.h"
#include "codec/errors.h"

namespace tavolin {

namespace {

WriteFunction g_write = nullptr;
SyncFunction g_sync = nullptr;

// Follows symbolic links to the file they finally name, which need not exist.
std::string ResolveLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n < 0)
            return path;
        std::string link(buffer, static_cast<std::size_t>(n));
        if (link.front() != '/')
            link.insert(0, FolderOf(path) + '/');
        path = std::move(link);
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

// A new file's name: ".tavolin-", a hash of the target's own name and six
// letters of mkostemp's. Short and fixed in length, so that any file that
// could be opened, however long its own name, can be saved too; the hash
// lets the next save of the same target know what a killed one left.
std::string TempPrefix(const std::string& target)
{
    std::uint64_t hash = 0xcbf29ce484222325u; // FNV-1a
    for (const char c : target.substr(target.rfind('/') + 1)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(".tavolin-") + hex + "-";
}

constexpr std::size_t kTempLetters = 6;

// Removes the new files that saves of `target` killed half-way left beside
// it. A save in progress holds a lock on its file, so only files nobody
// holds are taken; errors are ignored, as a leftover only costs space.
void RemoveLeftovers(const std::string& target, const std::string& prefix)
{
    DIR* dir = ::opendir(FolderOf(target).c_str());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kTempLetters || !name.starts_with(prefix))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

// Removes the half-written new file on every path that doesn't rename it.
// While it is written it is locked, so that another save of the same target
// doesn't take it for a leftover of a killed one.
class TempFile {
public:
    TempFile(const std::string& target, const std::string& prefix)
    {
        for (;;) {
            m_path = FolderOf(target) + "/" + prefix + std::string(kTempLetters, 'X');
            m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
            if (m_fd < 0)
                Fail(errno, target);
            // A file system without locks saves unguarded.
            if (::flock(m_fd, LOCK_EX) != 0)
                return;
            // Another save may have removed the file between its making and
            // the lock: then make another.
            struct stat st {};
            if (::fstat(m_fd, &st) != 0 || st.st_nlink > 0) {
                // Holds the lock past Finish's close, until the rename.
                m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
                return;
            }
            ::close(m_fd);
        }
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_renamed)
            ::unlink(m_path.c_str());
        if (m_lockFd >= 0)
            ::close(m_lockFd);
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
        if ((g_sync ? g_sync : ::fsync)(m_fd) != 0)
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
    int m_lockFd = -1;
    bool m_renamed = false;
    std::size_t m_written = 0;
    std::size_t m_started = 0; // of the bytes not yet handed to the disk
};

void SetWriteFunctionForTesting(WriteFunction write)
{
    g_write = write;
}

void SetSyncFunctionForTesting(SyncFunction sync)
{
    g_sync = sync;
}

SaveStream::SaveStream(TempFile* file) : m_file(file) {}

void SaveStream::Put(const std::uint8_t* bytes, std::size_t size)
{
    if (size <= kRoom) {
        if (size > 0) // an empty piece may have no address
            std::memcpy(Room(size), bytes, size);
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

    const std::string prefix = TempPrefix(target);
    RemoveLeftovers(target, prefix);
    TempFile temp(target, prefix);
    SaveStream stream(&temp);
    write(stream);
    stream.Flush();
    temp.Finish(mode, exists ? &st : nullptr);
    temp.RenameOver(target);
    SyncFolder(FolderOf(target));
}

} // namespace tavolin
