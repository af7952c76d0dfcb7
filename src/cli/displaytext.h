#pragma once

#include <optional>
#include <string>

namespace tavolin {

// Text bytes as UTF-8, each byte as the editor shows it.
[[nodiscard]] std::string TextToUtf8(const std::string& text);

// The result of turning UTF-8 back into text bytes.
struct TextFromUtf8 {
    std::optional<std::string> text; // nothing when a character has no byte
    char32_t missing = 0;            // that character
};
// A line feed becomes the text's backslash, which a save writes as a line
// feed. Invalid UTF-8 counts as U+FFFD.
[[nodiscard]] TextFromUtf8 Utf8ToText(const std::string& utf8);

// "U+005C".
[[nodiscard]] std::string CodePointName(char32_t c);

} // namespace tavolin
