#pragma once

#include <cstdint>

namespace tavolin {

// The byte that marks a string: the byte before it is the string's length in
// two-byte characters, the characters follow it.
inline constexpr std::uint8_t kStringMarker = 171;

// A caption file: the header word "offset of the index" then kCaptionHeaderWord,
// the strings, and the index of the words kCaptionIndexWord and that offset.
inline constexpr std::uint8_t kCaptionHeaderWord = 5;
inline constexpr std::uint8_t kCaptionIndexWord = 4;
// Caption files state their offsets in one byte.
inline constexpr int kCaptionLimit = 255;

} // namespace tavolin
