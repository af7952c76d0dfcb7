#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolin {

// What translators should leave alone, and what a translation must keep.
// Texts are UTF-8.

// True for a file path or a file name ("\resource\apps\x.mif",
// "z:\sys\bin\app.exe", "icons.mbm", "sounds/beep.wav", "/data/x"): one
// word, holding a backslash, starting a path at "/", or ending in an
// extension of one to four letters and digits with a letter in it. An
// application that finds it translated no longer finds its file.
[[nodiscard]] bool IsPathOrFileName(std::string_view text);

// Nothing when `translation` keeps the placeholders of `source` (%U, %N,
// %0U, %1N, %d, %s, %5.2f, "%%" being a percent sign); else what is wrong,
// naming the placeholder: "drops %1U", "adds %d". Numbered placeholders
// may change their order, the others keep theirs ("moves %s").
[[nodiscard]] std::optional<std::string> PlaceholderChange(std::string_view source, std::string_view translation);

} // namespace tavolin
