#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolin::resource {

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view units);

// UTF-8 as UTF-16 (supplementary characters as surrogate pairs); nothing
// for bytes that are not UTF-8 or encode a surrogate.
[[nodiscard]] std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

} // namespace tavolin::resource
