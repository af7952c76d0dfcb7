#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolin {

// The platform's number of a language as gettext and XLIFF name it ("ru",
// "pt_BR", "pt-BR", "sr@latin", "fi_FI.UTF-8"): the language with its
// country where the platform has a number of its own for that pair, else
// the language alone. Nothing for a language the platform does not number.
[[nodiscard]] std::optional<unsigned> PlatformLanguage(std::string_view code);

// The language variant of `file` as the platform names it: the extension
// becomes "r" and the number, two digits at least ("app.rsc", 16 ->
// "app.r16"), in capitals where the extension was ("APP.RSC" -> "APP.R16").
[[nodiscard]] std::string VariantPath(const std::string& file, unsigned language);

} // namespace tavolin
