#pragma once

#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

#include "codec/savingchanges.h"
#include "tables/stringtable.h"

namespace tavolin {

// Scans a resource file into the three tables, appending to what they hold:
// every byte 171 outside a string's characters is a string marker, the byte
// before it the string's length in two-byte characters; all other bytes go
// into gap records. The file is opened for reading and writing and read
// whole. Throws IoError; entries appended before it stay. With `changes`,
// records for each string the characters a save rewrites.
void ScanResourceFile(const std::string& fileName, StringTables& tables, SavingChanges* changes = nullptr);

// The same scan over bytes in memory. Where the scan needs a byte past the
// end, it throws "Read beyond end of file", or `endError` when given (the
// error that ended reading the file).
void ScanResourceBytes(std::span<const std::uint8_t> bytes, StringTables& tables,
                       SavingChanges* changes = nullptr, const std::exception_ptr& endError = nullptr);

} // namespace tavolin
