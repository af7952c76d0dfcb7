#include "file/filelock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "file/safesave.h"

namespace tavolin {

namespace {

thread_local std::vector<const FileLock*> t_held;

} // namespace

FileChanged::FileChanged(const std::string& file) : TavolinError(file + " changed since it was read") {}

FileLock::FileLock(const std::string& path) : m_path(path), m_saved(SavedFileOf(path))
{
    RestoreInterruptedSave(path);
    // A save puts a new file in place of the old: a command that waited on
    // the old one locks the new one instead.
    for (int tries = 0; tries < 100; ++tries) {
        const int fd = ::open(m_saved.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            break;
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        struct stat held {};
        struct stat named {};
        if (locked != 0 || (::fstat(fd, &held) == 0 && ::stat(m_saved.c_str(), &named) == 0 &&
                            held.st_dev == named.st_dev && held.st_ino == named.st_ino)) {
            m_fd = fd; // a file system without locks is held unguarded
            break;
        }
        ::close(fd);
    }
    m_read = Now();
    t_held.push_back(this);
}

FileLock::~FileLock()
{
    t_held.erase(std::find(t_held.begin(), t_held.end(), this));
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::Identity FileLock::Now() const
{
    Identity id;
    struct stat st {};
    if (::stat(m_saved.c_str(), &st) != 0)
        return id;
    constexpr long long kNano = 1000000000;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim.tv_sec * kNano + st.st_mtim.tv_nsec;
    // Also a change that sets the modification time back changes this one.
    id.ctime = st.st_ctim.tv_sec * kNano + st.st_ctim.tv_nsec;
    return id;
}

void FileLock::CheckUnchanged() const
{
    if (!(Now() == m_read))
        throw FileChanged(m_path);
}

void CheckHeldFiles(const std::string& savedFile)
{
    for (const FileLock* lock : t_held)
        if (lock->SavedFile() == savedFile)
            lock->CheckUnchanged();
}

} // namespace tavolin
