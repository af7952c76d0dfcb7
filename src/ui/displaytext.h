#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QString>

namespace tavolin {

// Text bytes as the grid shows them, through the Windows Thai code page.
[[nodiscard]] QString ToDisplay(std::string_view bytes);
// Characters back to text bytes; nothing when one of them has no byte.
[[nodiscard]] std::optional<std::string> FromDisplay(const QString& text);
// One typed character; nothing when the code page has no byte for it.
[[nodiscard]] std::optional<unsigned char> ByteOf(char32_t c);

} // namespace tavolin
