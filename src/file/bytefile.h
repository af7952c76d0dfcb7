#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "tables/error.h"

namespace tavolin {

// An input that is not read: a folder, or more bytes than its limit allows.
class InputRefused : public TavolinError {
public:
    using TavolinError::TavolinError;
};

// The limits of what is read whole into memory. A resource file's offsets
// are 16-bit, so it is under 128 KiB: eight times that leaves room for
// files of that family with larger tables. A file read by marker may be
// large (the benchmarks use 64 MiB); the limit only keeps a mistaken disk
// image from being read and scanned for minutes. Translations are
// text of every string of a file, with comments and markup.
inline constexpr std::size_t kResourceFileLimit = std::size_t{1} << 20;
inline constexpr std::size_t kMarkerFileLimit = std::size_t{1} << 30;
inline constexpr std::size_t kTranslationsLimit = std::size_t{64} << 20;

// "more than 1 MiB, the limit of WHAT": the refusal of an input past its
// limit.
[[nodiscard]] InputRefused LimitPassed(std::size_t limit, const std::string& what);

// All bytes of the file, pipe or device at `path`, refused with
// InputRefused ("more than LIMIT, the limit of WHAT") as soon as they pass
// `limit`, or when it is a folder. Throws IoError when it cannot be opened
// or read.
[[nodiscard]] std::vector<std::uint8_t> ReadWholeInput(const std::string& path, std::size_t limit,
                                                       const std::string& what);

// The folder part of a path: "." for a bare name, "/" for a file in the root.
[[nodiscard]] std::string FolderOf(const std::string& path);

class IoError;

// The I/O error for any failed call on `path` (open, fstat, read, write,
// fsync, close, rename) with the system error `errnum`, judged by meaning:
// a missing file, a missing or non-folder on the path, too many open files,
// refused access and a full disk get codes of their own; every other error
// keeps its number and reads "I/O error N".
[[nodiscard]] IoError IoErrorFor(int errnum, const std::string& path);

// True when the mode has no write permission bit at all: this system's form of
// a read-only file, refused for every user, root included.
[[nodiscard]] bool IsReadOnlyMode(unsigned mode);

// The system's read call, replaceable so that tests can make reads fail the
// way a failing disk does. nullptr restores ::read.
using ReadFunction = long (*)(int fd, void* data, std::size_t size);
void SetReadFunctionForTesting(ReadFunction read);

// How a file is opened for reading.
enum class Access {
    // For reading and writing, as the editor always opened a file, so that a
    // file that could not be saved back is refused at once ("File access
    // denied"). Only a regular file is taken.
    ReadWrite,
    // For reading alone, by commands that only read it or save elsewhere; a
    // pipe or device is read up to kResourceFileLimit.
    ReadOnly,
};

// Read access to an existing file.
class ByteFile {
public:
    // Throws IoError.
    explicit ByteFile(const std::string& path, Access access = Access::ReadWrite);
    ~ByteFile();
    ByteFile(const ByteFile&) = delete;
    ByteFile& operator=(const ByteFile&) = delete;

    // The file's length when it was opened.
    [[nodiscard]] std::size_t SizeAtOpen() const { return m_sizeAtOpen; }
    // Reads up to `size` bytes into `into`: how many, 0 at the end of the
    // file. Throws IoError.
    std::size_t Read(std::uint8_t* into, std::size_t size);
    // Throws IoError; the destructor closes quietly when Close wasn't called.
    void Close();

private:
    int m_fd = -1;
    std::string m_path;
    std::size_t m_sizeAtOpen = 0;
};

// A whole file's bytes. An error after the first bytes (a failing disk)
// leaves the bytes read so far, with the error in `endError`, so that a
// reader can show what came before it; an error at the open is thrown.
struct FileBytes {
    std::vector<std::uint8_t> bytes;
    std::exception_ptr endError;
};
// Throws IoError when the file cannot be opened at all, InputRefused past
// the limit of a file read by marker, or with `resourceOnly` past the limit
// of a resource file.
[[nodiscard]] FileBytes ReadFileBytes(const std::string& path, Access access, bool resourceOnly = false);

} // namespace tavolin
