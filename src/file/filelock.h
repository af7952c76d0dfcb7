#pragma once

#include <string>
#include <sys/types.h>

#include "tables/error.h"

namespace tavolin {

// A file that is no longer the one a command read.
class FileChanged : public TavolinError {
public:
    explicit FileChanged(const std::string& file);
};

// Held by a command that reads a file, changes it and writes it back, from
// before the read until after the save. Other such commands wait for it, and
// every save of the file while it is held (through ReplaceFile, in this
// thread) first makes sure the file is still the one read: the same file,
// not written since the lock was taken. One save a lock: the save itself
// changes the file.
class FileLock {
public:
    // Waits while another command holds `path`. A file that cannot be opened
    // is not locked; the read reports why.
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Throws FileChanged ("FILE changed since it was read").
    void CheckUnchanged() const;
    // The file a save of the path writes (links followed).
    [[nodiscard]] const std::string& SavedFile() const { return m_saved; }

private:
    struct Identity {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        long long mtime = 0; // nanoseconds
        long long ctime = 0;
        bool operator==(const Identity&) const = default;
    };
    [[nodiscard]] Identity Now() const;

    std::string m_path;
    std::string m_saved;
    int m_fd = -1;
    Identity m_read;
};

// Called by ReplaceFile before it puts new bytes in place of `savedFile`:
// throws FileChanged when a FileLock of this thread holds that file and it
// changed since it was read.
void CheckHeldFiles(const std::string& savedFile);

} // namespace tavolin
