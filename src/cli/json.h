#pragma once

#include <string>
#include <string_view>

namespace tavolin {

// The one JSON string writer of the command line. `"`, `\` and the line
// breaks and tab go out as their short escapes, other control characters
// as \u00XX, everything else as UTF-8.

// One-byte text (dump's tables): byte b is the character U+00bb.
void AppendJsonString(std::string& json, std::string_view bytes);
// UTF-16 (texts --json): a surrogate pair is one character, a lone
// surrogate goes out as its escape.
void AppendJsonString(std::string& json, std::u16string_view text);

} // namespace tavolin
