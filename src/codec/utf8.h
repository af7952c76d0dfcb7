#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavolin {

// Appends the character `c` in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The character of valid UTF-8 that starts at `at` (no overlong form, no
// surrogate, nothing past U+10FFFF), with `at` moved past it; nothing, with
// `at` unchanged, where the bytes there are not one.
[[nodiscard]] std::optional<char32_t> NextUtf8(std::string_view s, std::size_t& at);

} // namespace tavolin
