#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavolin {

// Puts `bytes` in place of the file `target`, or creates it: the bytes go to a
// new file in the target's folder, which is flushed to disk and then renamed
// over the target, keeping its permission bits. A symbolic link is saved
// through to the file it points to. On any failure the target is left as it
// was and IoError is thrown: "File access denied" for a read-only target or
// folder, "Invalid filename" for a missing folder, "Disk full" when the file
// system takes fewer bytes than given.
void ReplaceFile(const std::string& target, const std::vector<std::uint8_t>& bytes);

// The system's write call, replaceable so that tests can run out of space on
// file systems they cannot fill. nullptr restores ::write.
using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetWriteFunctionForTesting(WriteFunction write);

} // namespace tavolin
