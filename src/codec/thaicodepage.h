#pragma once

#include <cstdint>
#include <optional>

namespace tavolin {

// How a text byte is shown, by the editor and by the command line alike: as
// the character that a save writes to the file for it, so that what is shown
// is what the phone shows. Bytes 32..126 are themselves (the backslash 92
// stands for the line feed, as in every text); 161..251 are the Thai letters
// and signs U+0E01..U+0E5B, as in TIS-620. Where the file's character is
// invisible, a stand-in that cannot be mistaken for text is shown:
//   - control bytes 1..31 as the control pictures U+2401..U+241F;
//   - bytes whose character the Thai block leaves unassigned (127..160 for
//     U+0EDF..U+0EFF and U+0E00, 219..222 for U+0E3B..U+0E3E, 252..255 for
//     U+0E5C..U+0E5F) as the Braille pattern whose dots are the byte's bits,
//     U+2800 + byte.
// Byte 0 is no character of a text and shows as 0.
[[nodiscard]] char32_t ShownChar(std::uint8_t b);

// The text byte shown as `c`, or nothing when no byte is, or when the byte
// would not come back from the file as `c`: the control picture of the line
// feed (byte 10 is written as a line feed and read back as a backslash).
[[nodiscard]] std::optional<std::uint8_t> TextByteOf(char32_t c);

} // namespace tavolin
