#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavolin {

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

// Read access to an existing file, opened for reading and writing like the
// editor always did, so that a read-only file is refused at Open.
class ByteFile {
public:
    // Throws IoError.
    explicit ByteFile(const std::string& path);
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

} // namespace tavolin
