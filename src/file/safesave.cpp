#include "file/safesave.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <new>
#include <string_view>
#include <utility>
#include <fcntl.h>
#include <sys/file.h>
#include <stdlib.h> // NOLINT(modernize-deprecated-headers): mkostemp is glibc's, declared only here
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "file/bytefile.h"
#include "file/errors.h"
#include "file/filelock.h"

namespace tavolin {

namespace {

WriteFunction g_write = nullptr;
SyncFunction g_sync = nullptr;
StepFunction g_step = nullptr;
std::vector<std::string> g_notices;

// Before each change an in-place write or its undoing makes on disk.
void Step()
{
    if (g_step)
        g_step();
}

// The name the caller gave the file being saved, which IoErrors of the save
// carry (errors of the bytes' maker, such as a scan, do not).
thread_local const std::string* t_saving = nullptr;

[[noreturn]] void Throw(IoError error)
{
    if (t_saving != nullptr)
        error.SetFile(*t_saving);
    throw error;
}

[[noreturn]] void Fail(int err, const std::string& path)
{
    Throw(IoErrorFor(err, path));
}

// The folder part made absolute with its links resolved, where it exists.
std::string CanonicalFolder(const std::string& path)
{
    char buffer[PATH_MAX];
    const std::string folder = FolderOf(path);
    if (::realpath(folder.c_str(), buffer) == nullptr)
        return path;
    const std::string base = path.substr(path.find_last_of('/') + 1);
    const std::string resolved = buffer;
    return resolved == "/" ? "/" + base : resolved + "/" + base;
}

// Where a save goes.
struct Target {
    std::string path; // the file a chain of links ends at
    int ownFd = -1;   // one of this process's descriptors: /dev/stdout, /proc/self/fd/N
    bool stream = false; // reached through /proc: written, never replaced
};

// N of "/proc/<this process>/fd/N" or "/proc/<this process>/task/<thread>/fd/N".
int OwnDescriptor(const std::string& path)
{
    const std::string self = "/proc/" + std::to_string(::getpid()) + "/";
    if (!path.starts_with(self))
        return -1;
    std::string_view rest = std::string_view(path).substr(self.size());
    if (rest.starts_with("task/")) {
        const auto slash = rest.find('/', 5);
        if (slash == std::string_view::npos)
            return -1;
        rest.remove_prefix(slash + 1);
    }
    if (!rest.starts_with("fd/") || rest.size() == 3 || rest.size() > 12)
        return -1;
    int fd = 0;
    for (const char c : rest.substr(3)) {
        if (c < '0' || c > '9')
            return -1;
        fd = fd * 10 + (c - '0');
    }
    return fd;
}

// Follows symbolic links to the file they finally name, which need not
// exist. The links of /proc (/dev/stdout and the like) name open files, not
// paths: a save through them writes the open file as a stream.
Target FindTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        path = CanonicalFolder(path);
        if (path.starts_with("/proc/")) {
            Target target{path, OwnDescriptor(path), true};
            return target;
        }
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n < 0)
            return {path};
        std::string link(buffer, static_cast<std::size_t>(n));
        if (link.front() != '/')
            link.insert(0, FolderOf(path) + '/');
        path = std::move(link);
    }
    Fail(ELOOP, path);
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
std::string HashText(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325u; // FNV-1a
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

std::string TempPrefix(const std::string& target)
{
    return ".tavolin-" + HashText(target.substr(target.rfind('/') + 1)) + "-";
}

constexpr std::size_t kTempLetters = 6;

// Removes the new files that saves of `target` killed half-way left beside
// it. A save in progress holds a lock on its file, so only files nobody
// holds are taken; errors are ignored, as a leftover only costs space.
void RemoveLeftovers(const std::string& folder, const std::string& prefix)
{
    DIR* dir = ::opendir(folder.c_str());
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

// The names of a file's extended attributes, through `list` (llistxattr or
// flistxattr). False when they cannot be read; none where the file system
// keeps none.
template <typename List>
bool AttributeNames(const List& list, std::vector<std::string>& names)
{
    for (;;) {
        ssize_t n = list(nullptr, 0);
        if (n < 0)
            return errno == ENOTSUP;
        std::string buffer(static_cast<std::size_t>(n), '\0');
        n = list(buffer.data(), buffer.size());
        if (n < 0 && errno == ERANGE)
            continue; // grew meanwhile
        if (n < 0)
            return false;
        buffer.resize(static_cast<std::size_t>(n));
        for (std::size_t at = 0; at < buffer.size();) {
            const std::size_t end = buffer.find('\0', at);
            names.push_back(buffer.substr(at, end - at));
            at = end == std::string::npos ? buffer.size() : end + 1;
        }
        return true;
    }
}

// Gives the file `to` exactly the extended attributes of the file `from`,
// its ACLs among them (they are the attributes system.posix_acl_*). False
// when the system refuses any.
bool CopyAttributes(const std::string& from, int to)
{
    std::vector<std::string> old;
    std::vector<std::string> now;
    if (!AttributeNames([&](char* b, std::size_t n) { return ::llistxattr(from.c_str(), b, n); }, old) ||
        !AttributeNames([&](char* b, std::size_t n) { return ::flistxattr(to, b, n); }, now))
        return false;
    // A new file may inherit what the old one didn't have (a folder's default ACL).
    for (const auto& name : now)
        if (std::find(old.begin(), old.end(), name) == old.end() && ::fremovexattr(to, name.c_str()) != 0)
            return false;
    for (const auto& name : old) {
        std::vector<char> value;
        for (;;) {
            const ssize_t size = ::lgetxattr(from.c_str(), name.c_str(), nullptr, 0);
            if (size < 0)
                return false;
            value.resize(static_cast<std::size_t>(size));
            const ssize_t got = ::lgetxattr(from.c_str(), name.c_str(), value.data(), value.size());
            if (got >= 0) {
                value.resize(static_cast<std::size_t>(got));
                break;
            }
            if (errno != ERANGE)
                return false;
        }
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// Every byte to `fd`, through the write seam.
void WriteAll(int fd, const std::uint8_t* bytes, std::size_t size, const std::string& path)
{
    const WriteFunction write = g_write ? g_write : ::write;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Fail(errno, path);
        if (n == 0)
            Throw(IoError(kDiskFull));
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

// Removes the half-written new file on every path that doesn't rename it.
// While it is written it is locked, so that another save of the same target
// doesn't take it for a leftover of a killed one. Made without a name, it
// only holds the bytes for a target written in place or as a stream.
class TempFile {
public:
    // A new file beside `target`; Refused() when the folder takes none.
    TempFile(const std::string& target, const std::string& prefix)
    {
        for (;;) {
            m_path = FolderOf(target) + "/" + prefix + std::string(kTempLetters, 'X');
            m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
            if (m_fd < 0 && (errno == EACCES || errno == EPERM)) {
                m_renamed = true; // nothing made, nothing to remove
                return;
            }
            if (m_fd < 0)
                Fail(errno, target);
            // A file system without locks saves unguarded.
            if (::flock(m_fd, LOCK_EX) != 0)
                return;
            // Another save may have removed the file between its making and
            // the lock: then make another.
            struct stat st {};
            if (::fstat(m_fd, &st) != 0 || st.st_nlink > 0) {
                // Holds the lock past the close, until the rename.
                m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
                return;
            }
            ::close(m_fd);
        }
    }
    // Bytes in memory, without a name.
    TempFile() : m_renamed(true)
    {
        m_fd = ::memfd_create("tavolin-save", MFD_CLOEXEC);
        if (m_fd < 0 && errno == ENOMEM)
            throw std::bad_alloc();
        if (m_fd < 0)
            Fail(errno, "");
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

    [[nodiscard]] bool Refused() const { return m_fd < 0; }
    [[nodiscard]] bool InMemory() const { return m_path.empty(); }
    [[nodiscard]] int Fd() const { return m_fd; }
    [[nodiscard]] std::size_t Size() const { return m_written; }

    // Appends `size` bytes. Every 8 MiB written are handed to the disk at
    // once, so that the disk writes while the rest is made and the final
    // fsync has less to wait for.
    void Write(const std::uint8_t* bytes, std::size_t size)
    {
        constexpr std::size_t kPiece = std::size_t{8} << 20;
        for (std::size_t done = 0; done < size;) {
            if (m_written - m_started >= kPiece && !InMemory()) {
#if defined(SYNC_FILE_RANGE_WRITE)
                ::sync_file_range(m_fd, static_cast<off_t>(m_started),
                                  static_cast<off_t>(m_written - m_started), SYNC_FILE_RANGE_WRITE);
#endif
                m_started = m_written;
            }
            const std::size_t piece = std::min(kPiece, size - done);
            WriteAll(m_fd, bytes + done, piece, m_path);
            done += piece;
            m_written += piece;
        }
    }

    // Gives the new file the mode and what the old file `owner` had, then
    // flushes it. False, with nothing flushed, when the system refuses any
    // of it: the caller then writes the target in place.
    bool Finish(mode_t mode, const struct stat* owner, const std::string& target)
    {
        struct stat now {};
        if (owner) {
            if (::fstat(m_fd, &now) != 0)
                Fail(errno, m_path);
            // Before the mode: a change of owner clears the set-user-ID bit.
            const bool user = now.st_uid != owner->st_uid;
            const bool group = now.st_gid != owner->st_gid;
            if ((user || group) && ::fchown(m_fd, user ? owner->st_uid : static_cast<uid_t>(-1),
                                            group ? owner->st_gid : static_cast<gid_t>(-1)) != 0)
                return false;
        }
        if (::fchmod(m_fd, mode) != 0)
            Fail(errno, m_path);
        if (owner) {
            // The access ACL comes last, as it sets the group bits anew.
            if (!CopyAttributes(target, m_fd) || ::fstat(m_fd, &now) != 0)
                return false;
            // The system quietly drops a set-group-ID bit the user may not give.
            if ((now.st_mode & 07777) != mode || now.st_uid != owner->st_uid || now.st_gid != owner->st_gid)
                return false;
        }
        if ((g_sync ? g_sync : ::fsync)(m_fd) != 0)
            Fail(errno, m_path);
        return true;
    }

    // False, the new file kept open for reading, when the folder refuses
    // the rename (a sticky folder and a target of another user's).
    bool RenameOver(const std::string& target)
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            Fail(errno, m_path);
        if (::rename(m_path.c_str(), target.c_str()) != 0) {
            const int err = errno;
            if (err != EPERM && err != EACCES)
                Fail(err, target);
            m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            if (m_fd < 0)
                Fail(err, target);
            return false;
        }
        m_renamed = true;
        return true;
    }

private:
    std::string m_path;
    int m_fd = -1;
    int m_lockFd = -1;
    bool m_renamed = false;
    std::size_t m_written = 0;
    std::size_t m_started = 0; // of the bytes not yet handed to the disk
};

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;

struct FdCloser {
    int fd;
    explicit FdCloser(int descriptor) : fd(descriptor) {}
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void ReadAt(int fd, std::uint8_t* into, std::size_t size, std::size_t at, const std::string& path)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, into + done, size - done, static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Fail(errno, path);
        if (n == 0)
            Throw(IoError(kReadBeyondEnd));
        done += static_cast<std::size_t>(n);
    }
}

void WriteAt(int fd, const std::uint8_t* bytes, std::size_t size, std::size_t at, const std::string& path)
{
    if (::lseek(fd, static_cast<off_t>(at), SEEK_SET) < 0)
        Fail(errno, path);
    WriteAll(fd, bytes, size, path);
}

// Throws unless the file-size limit and the file system take `size` bytes
// in the file `fd`, which holds `oldSize`: blocks are reserved where the
// file system can, counted where it cannot.
void CheckRoom(int fd, std::size_t oldSize, std::size_t size, const std::string& path)
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur)
        Fail(EFBIG, path);
    if (size <= oldSize)
        return;
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        return;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        Fail(errno, path);
    struct statvfs fs {};
    if (::fstatvfs(fd, &fs) == 0 && fs.f_frsize > 0) {
        const std::size_t blocks = (size - oldSize) / fs.f_frsize + 1;
        if (blocks > (::geteuid() == 0 ? fs.f_bfree : fs.f_bavail))
            Fail(ENOSPC, path);
    }
}

// The folder for copies of old bytes that cannot be kept beside their file:
// $XDG_STATE_HOME/tavolin or ~/.local/state/tavolin. Empty where there is none.
std::string StateFolder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return std::string(state) + "/tavolin";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.local/state/tavolin";
    return "";
}

// Makes the state folder where missing; false unless it is a folder of the
// user's own.
bool MakeStateFolder(const std::string& folder)
{
    for (std::size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1))
        ::mkdir(folder.substr(0, at).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// Where the old bytes of an in-place write of `target` are kept until it is
// complete, as folder and the start of a name that ends in "old" (never
// taken for a leftover): beside the target or, where its folder takes no
// new file, in the state folder under a hash of its whole path.
std::vector<std::pair<std::string, std::string>> OldCopyPlaces(const std::string& target)
{
    std::vector<std::pair<std::string, std::string>> places = {{FolderOf(target), TempPrefix(target)}};
    if (const std::string state = StateFolder(); !state.empty())
        places.emplace_back(state, HashText(target) + "-");
    return places;
}

// FOLDER/PREFIXENDING.
std::string NameIn(const std::string& folder, const std::string& prefix, std::string_view ending)
{
    std::string name = folder;
    name += '/';
    name += prefix;
    name += ending;
    return name;
}

// Copies the bytes of `from` (`size` of them) over the start of `to`,
// then cuts `to` to that size and flushes it.
void CopyOver(int from, int to, std::size_t size, const std::string& path)
{
    std::vector<std::uint8_t> piece(std::size_t{1} << 16);
    for (std::size_t at = 0; at < size; at += piece.size()) {
        const std::size_t n = std::min(piece.size(), size - at);
        ReadAt(from, piece.data(), n, at, path);
        Step();
        WriteAt(to, piece.data(), n, at, path);
    }
    Step();
    if (::ftruncate(to, static_cast<off_t>(size)) != 0)
        Fail(errno, path);
    Step();
    if (::fsync(to) != 0)
        Fail(errno, path);
}

// The target's bytes, flushed to disk under a name the next run of the
// program looks for (RestoreInterruptedSave), kept while the target is
// written in place. Locked while it lives, so that no other process takes
// it for the copy of a save that was cut off.
class OldCopy {
public:
    OldCopy(const std::string& target, int targetFd, std::size_t size)
    {
        for (const auto& [folder, prefix] : OldCopyPlaces(target)) {
            if (folder != FolderOf(target) && !MakeStateFolder(folder))
                continue;
            RemoveLeftovers(folder, prefix);
            std::string made = NameIn(folder, prefix, std::string(kTempLetters, 'X'));
            m_fd = ::mkostemp(made.data(), O_CLOEXEC);
            if (m_fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
                continue;
            if (m_fd < 0)
                Fail(errno, target);
            m_path = NameIn(folder, prefix, "old");
            try {
                (void)::flock(m_fd, LOCK_EX);
                std::vector<std::uint8_t> piece(kChunk);
                for (std::size_t at = 0; at < size; at += kChunk) {
                    const std::size_t n = std::min(kChunk, size - at);
                    ReadAt(targetFd, piece.data(), n, at, target);
                    Step();
                    WriteAll(m_fd, piece.data(), n, made);
                }
                Step();
                if (::fsync(m_fd) != 0)
                    Fail(errno, made);
                // Complete before it takes the name the next run looks for.
                Step();
                if (::rename(made.c_str(), m_path.c_str()) != 0)
                    Fail(errno, made);
            } catch (...) {
                ::unlink(made.c_str());
                ::close(m_fd);
                throw;
            }
            Step();
            SyncFolder(folder);
            return;
        }
        // Neither beside the file nor in a state folder of the user's.
        Throw(IoError(kAccessDenied));
    }
    ~OldCopy()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OldCopy(const OldCopy&) = delete;
    OldCopy& operator=(const OldCopy&) = delete;

    // Once the target is whole and flushed, or put back as it was.
    void Remove()
    {
        Step();
        ::unlink(m_path.c_str());
        SyncFolder(FolderOf(m_path));
    }

private:
    std::string m_path;
    int m_fd = -1;
};

// Writes the new bytes over the target's own, only the pieces that differ,
// keeping what they overwrite, so that a failure puts the old bytes back.
// Until the target is whole and flushed, a copy of its old bytes is kept on
// disk: a crash half-way leaves it for the next run to put back.
void WriteInPlace(const std::string& target, const TempFile& bytes)
{
    const FdCloser file{::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (file.fd < 0)
        Fail(errno, target);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        Fail(errno, target);
    if (!S_ISREG(st.st_mode))
        Throw(IoError(kAccessDenied));
    const auto oldSize = static_cast<std::size_t>(st.st_size);
    const std::size_t size = bytes.Size();
    CheckRoom(file.fd, oldSize, size, target);
    OldCopy copy(target, file.fd, oldSize);

    std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> undo;
    std::vector<std::uint8_t> fresh(kChunk);
    std::vector<std::uint8_t> old(kChunk);
    try {
        for (std::size_t at = 0; at < size; at += kChunk) {
            const std::size_t n = std::min(kChunk, size - at);
            ReadAt(bytes.Fd(), fresh.data(), n, at, target);
            const std::size_t had = at < oldSize ? std::min(n, oldSize - at) : 0;
            ReadAt(file.fd, old.data(), had, at, target);
            if (had == n && std::memcmp(fresh.data(), old.data(), n) == 0)
                continue;
            undo.emplace_back(at, std::vector<std::uint8_t>(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(had)));
            Step();
            WriteAt(file.fd, fresh.data(), n, at, target);
        }
        Step();
        if (size < oldSize && ::ftruncate(file.fd, static_cast<off_t>(size)) != 0)
            Fail(errno, target);
        Step();
        if (::fsync(file.fd) != 0)
            Fail(errno, target);
        copy.Remove();
    } catch (...) {
        bool restored = true;
        try {
            for (std::size_t i = undo.size(); i-- > 0;)
                WriteAt(file.fd, undo[i].second.data(), undo[i].second.size(), undo[i].first, target);
            restored = ::ftruncate(file.fd, static_cast<off_t>(oldSize)) == 0 && ::fsync(file.fd) == 0;
        } catch (const IoError&) {
            restored = false;
        }
        // Not put back: the copy stays for the next run.
        if (!restored) {
            try {
                throw;
            } catch (const IoError& e) {
                Throw(IoError::PartlyWritten(e, t_saving ? *t_saving : target));
            }
        }
        copy.Remove();
        throw;
    }
}

// Writes the bytes to a target that is no regular file of its own name: a
// terminal, a pipe, a device, or one of this process's open files, at its
// place (so that `-o /dev/stdout >> log` appends to the log).
void WriteStream(const Target& target, const TempFile& bytes)
{
    FdCloser opened{-1};
    int fd = target.ownFd;
    if (fd < 0) {
        opened.fd = ::open(target.path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (opened.fd < 0)
            Fail(errno, target.path);
        fd = opened.fd;
    }
    std::vector<std::uint8_t> piece(kChunk);
    for (std::size_t at = 0; at < bytes.Size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, bytes.Size() - at);
        ReadAt(bytes.Fd(), piece.data(), n, at, target.path);
        WriteAll(fd, piece.data(), n, target.path);
    }
    // A regular file behind the stream is flushed like any save.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fsync(fd) != 0)
        Fail(errno, target.path);
}

} // namespace

void SetWriteFunctionForTesting(WriteFunction write)
{
    g_write = write;
}

void SetSyncFunctionForTesting(SyncFunction sync)
{
    g_sync = sync;
}

void SetInPlaceStepForTesting(StepFunction step)
{
    g_step = step;
}

bool RestoreInterruptedSave(const std::string& path)
{
    const Target found = FindTarget(path);
    if (found.stream)
        return false;
    for (const auto& [folder, prefix] : OldCopyPlaces(found.path)) {
        const std::string name = NameIn(folder, prefix, "old");
        const FdCloser copy{::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
        if (copy.fd < 0)
            continue;
        struct stat st {};
        // Held: a save writing the file now. Unlinked: one that just ended.
        if (::flock(copy.fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(copy.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_nlink == 0)
            return false;
        const FdCloser file{::open(found.path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
        struct stat target {};
        if (file.fd < 0 || ::fstat(file.fd, &target) != 0 || !S_ISREG(target.st_mode)) {
            // The copy stays until the file can take it.
            std::string notice = path;
            notice += ": an earlier save was cut off before the file was whole; its bytes from before that save "
                      "are kept in ";
            notice += name;
            notice += ", but the file cannot be written";
            g_notices.push_back(std::move(notice));
            return false;
        }
        CopyOver(copy.fd, file.fd, static_cast<std::size_t>(st.st_size), found.path);
        Step();
        ::unlink(name.c_str());
        SyncFolder(folder);
        g_notices.push_back(path + ": an earlier save was cut off before the file was whole; its bytes from "
                                   "before that save were put back");
        return true;
    }
    return false;
}

std::vector<std::string> TakeRestoreNotices()
{
    return std::exchange(g_notices, {});
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

std::string SavedFileOf(const std::string& path)
{
    return FindTarget(path).path;
}

void ReplaceFile(const std::string& requested, const std::function<void(SaveStream&)>& write)
{
    // IoErrors of the save name the file as the caller gave it.
    struct Saving {
        const std::string* outer = t_saving;
        explicit Saving(const std::string& file) { t_saving = &file; }
        Saving(const Saving&) = delete;
        Saving& operator=(const Saving&) = delete;
        ~Saving() { t_saving = outer; }
    } saving(requested);

    const Target found = FindTarget(requested);
    const std::string& target = found.path;
    RestoreInterruptedSave(requested);

    struct stat st {};
    const bool exists = !found.stream && ::stat(target.c_str(), &st) == 0;
    if (!exists && !found.stream && errno != ENOENT)
        Fail(errno, target);
    // A terminal, a pipe or a device is written, never replaced.
    if (found.stream || (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
        TempFile bytes;
        SaveStream stream(&bytes);
        write(stream);
        stream.Flush();
        WriteStream(found, bytes);
        return;
    }
    mode_t mode = 0666 & ~CurrentUmask();
    if (exists) {
        // A rename would replace even a file we may not write: ask first.
        if (!S_ISREG(st.st_mode) || IsReadOnlyMode(st.st_mode) ||
            ::access(target.c_str(), W_OK) != 0)
            Throw(IoError(kAccessDenied));
        mode = st.st_mode & 07777;
    } else {
        struct stat folder {};
        if (::stat(FolderOf(target).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
            Throw(IoError(kInvalidFilename));
    }

    std::unique_ptr<TempFile> temp;
    // A file with other names keeps them only when written in place.
    if (exists && st.st_nlink > 1) {
        temp = std::make_unique<TempFile>();
    } else {
        const std::string prefix = TempPrefix(target);
        RemoveLeftovers(FolderOf(target), prefix);
        temp = std::make_unique<TempFile>(target, prefix);
        if (temp->Refused()) {
            // A folder that takes no new file: a file there that may be
            // written is written in place.
            if (!exists)
                Throw(IoError(kAccessDenied));
            temp = std::make_unique<TempFile>();
        }
    }
    SaveStream stream(temp.get());
    write(stream);
    stream.Flush();
    if (!temp->InMemory() && temp->Finish(mode, exists ? &st : nullptr, target)) {
        CheckHeldFiles(target);
        if (temp->RenameOver(target)) {
            SyncFolder(FolderOf(target));
            return;
        }
    }
    if (!exists)
        Throw(IoError(kAccessDenied));
    CheckHeldFiles(target);
    WriteInPlace(target, *temp);
}

} // namespace tavolin
