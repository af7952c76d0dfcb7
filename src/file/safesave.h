#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavolin {

// Puts `bytes` in place of the file `target`, or creates it. Where the new
// file can be given all the old one had (owner, group, mode with its special
// bits, extended attributes and so ACLs), the bytes go to a new file in the
// target's folder, which is flushed to disk and then renamed over the
// target. Where it cannot (a file with other names, an owner the user cannot
// give, a folder that takes no new file), the target is written in place,
// once the bytes are all made and the disk has room for them, and flushed.
// A target that is no regular file (a terminal, a pipe, /dev/stdout) is
// written as a stream. A symbolic link is saved through to the file it
// points to. On any failure the target is left as it was (an in-place write
// puts back what it overwrote) and IoError is thrown: "File access denied"
// for a read-only target or folder, "Invalid filename" for a missing folder,
// "Disk full" when the file system takes fewer bytes than given.
void ReplaceFile(const std::string& target, const std::vector<std::uint8_t>& bytes);

// The file a save of `path` writes: symbolic links followed to their end,
// its folder made absolute. Throws IoError for a link loop.
[[nodiscard]] std::string SavedFileOf(const std::string& path);

class TempFile;

// The new file's bytes as a save makes them, through a small buffer that is
// written out whenever it fills: a large file never needs a second copy of
// itself in memory.
class SaveStream {
public:
    static constexpr std::size_t kRoom = std::size_t{1} << 20;

    // At least `n` bytes (n <= kRoom) to write through, then Commit.
    [[nodiscard]] std::uint8_t* Room(std::size_t n)
    {
        if (kRoom - m_used < n)
            Flush();
        return m_buffer.get() + m_used;
    }
    void Commit(const std::uint8_t* end) { m_used = static_cast<std::size_t>(end - m_buffer.get()); }
    // Any number of bytes; large ones go to the file without a copy.
    void Put(const std::uint8_t* bytes, std::size_t size);

private:
    friend void ReplaceFile(const std::string&, const std::function<void(SaveStream&)>&);
    explicit SaveStream(TempFile* file);
    void Flush();

    TempFile* m_file;
    std::unique_ptr<std::uint8_t[]> m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kRoom);
    std::size_t m_used = 0;
};

// As above, the bytes given by `write` as it makes them. Whatever `write`
// throws leaves the target as it was.
void ReplaceFile(const std::string& requested, const std::function<void(SaveStream&)>& write);

// The system's write call, replaceable so that tests can run out of space on
// file systems they cannot fill. nullptr restores ::write.
using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetWriteFunctionForTesting(WriteFunction write);

// Puts back the old bytes that an in-place save of `path` kept on disk,
// when that save was cut off (killed, or the machine stopped) before the
// file was whole; true when it did. A save in progress is left alone.
// Called before every save and read of a file; throws IoError.
bool RestoreInterruptedSave(const std::string& path);
// What RestoreInterruptedSave did since the last call, or could not do (a
// file it may not write), one message a file, for the program to show.
[[nodiscard]] std::vector<std::string> TakeRestoreNotices();

// Called before each change that an in-place save, or the putting back of
// its old bytes, makes on disk: tests stop the process there. nullptr for
// none.
using StepFunction = void (*)();
void SetInPlaceStepForTesting(StepFunction step);

// The system's fsync of the new file, replaceable so that tests can see
// when it runs. nullptr restores ::fsync.
using SyncFunction = int (*)(int fd);
void SetSyncFunctionForTesting(SyncFunction sync);

} // namespace tavolin
