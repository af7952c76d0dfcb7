#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tavolin {

// A character of the file that a save writes back as another one (`to`), or
// drops (`to` == 0). A U+0000 followed by text (`from` == `to` == 0) moves to
// the end of its slot, as the filler does. kNoLengthByte in both stands for
// a string whose marker follows the string before it (or starts the file)
// at once: the byte taken as its length is no byte of its own, and a save,
// which writes a length byte for every slot, would shift the rest of the
// file, so a save in patch mode is refused.
struct CharChange {
    char32_t from;
    char32_t to;
    bool operator==(const CharChange&) const = default;
};

inline constexpr char32_t kNoLengthByte = 0xFFFFFFFF;

// Whether a string's changes say it has no length byte of its own: the scan
// records that first.
[[nodiscard]] inline bool LacksLengthByte(const std::vector<CharChange>& changes)
{
    return !changes.empty() && changes.front() == CharChange{kNoLengthByte, kNoLengthByte};
}

// For every string of a scanned file whose characters don't survive a save,
// the distinct changes in the order first met, keyed by the index (from 0) of
// the string's entry in vle. The reader fills it while it scans.
using SavingChanges = std::unordered_map<std::size_t, std::vector<CharChange>>;

} // namespace tavolin
