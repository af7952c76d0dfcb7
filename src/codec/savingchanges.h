#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "tables/stringtable.h"

namespace tavolin {

// A character of the file that a save writes back as another one (`to`), or
// drops (`to` == 0).
struct CharChange {
    char32_t from;
    char32_t to;
    bool operator==(const CharChange&) const = default;
};

// For every string of a scanned file whose characters don't survive a save,
// the distinct changes, keyed by entry index (from 0). Reading keeps only one
// byte per character, so this needs the file as it was opened: each string's
// slot is found by walking the gap records and capacities, and where the
// layout can't be followed (a marker right behind a string) the walk stops.
using SavingChanges = std::unordered_map<std::size_t, std::vector<CharChange>>;
[[nodiscard]] SavingChanges FindSavingChanges(const std::vector<std::uint8_t>& file,
                                              const StringTables& tables);

} // namespace tavolin
