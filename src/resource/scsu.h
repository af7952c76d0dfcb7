#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin::resource {

// One compressed-Unicode run of a resource, decoded from a fresh SCSU state
// (Unicode Technical Standard #6) as the platform's expander reads it:
// supplementary characters come out as surrogate pairs and a reserved window
// offset selects base 0. Empty where the platform would refuse the bytes: a
// reserved tag (0x0C in single-byte mode, 0xF2 in Unicode mode) or a run that
// ends inside a character or a tag's arguments.
[[nodiscard]] std::optional<std::u16string> DecodeScsu(std::span<const std::uint8_t> bytes);

// The bytes the platform's resource compiler writes for `units`: its
// compressor's choices exactly (queue of four, window 4 redefined, lone
// characters quoted), so that an edited resource comes out as the compiler
// would write it. Never emits a reserved tag. The result is not limited in
// length: the compiler keeps a text raw where this is not shorter than its
// UTF-16 (2 bytes a unit), and so must a caller.
[[nodiscard]] std::vector<std::uint8_t> EncodeScsu(std::u16string_view units);

} // namespace tavolin::resource
