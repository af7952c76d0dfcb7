#pragma once

#include <string>

#include "tables/stringtable.h"

namespace tavolin {

// Scans a resource file into the three tables, which the caller has emptied:
// every byte 171 outside a string's characters is a string marker, the byte
// before it the string's length in two-byte characters; all other bytes go
// into gap records. Throws IoError; entries appended before it stay.
void ScanResourceFile(const std::string& fileName, StringTable& vle, StringTable& vle2,
                      StringTable& vle3);

inline void ScanResourceFile(const std::string& fileName, StringTables& tables)
{
    ScanResourceFile(fileName, tables.vle, tables.vle2, tables.vle3);
}

} // namespace tavolin
