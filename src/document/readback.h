#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "resource/resourcefile.h"

namespace tavolin {

// One text that a rebuilt file's reader finds otherwise than the edits meant.
struct ReadBackDifference {
    std::string id; // "R.I"; empty for the file as a whole
    std::string why;
};

// Reads `rebuilt` back: every edited text must be found at its ID with its
// new text, every other text at its ID with its old one, of the same kind,
// certain where it was, and the file of the same format. Returns what does
// not hold, in file order; empty when the rebuild reads as meant.
[[nodiscard]] std::vector<ReadBackDifference> ReadBackDifferences(const resource::ResourceFile& before,
                                                                  const std::vector<resource::TextEdit>& edits,
                                                                  std::span<const std::uint8_t> rebuilt);

// "4.1: not found; 4.2: reads "Search", not "Index"", the first few and
// how many more.
[[nodiscard]] std::string DifferencesText(const std::vector<ReadBackDifference>& differences);

} // namespace tavolin
