#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "codec/savingchanges.h"

namespace tavolin {

// Text bytes as they are shown (ShownChar of each byte), as characters and
// as UTF-8; the editor's grid and the command line both go through these.
[[nodiscard]] std::u32string TextToShown(std::string_view text);
[[nodiscard]] std::string TextToUtf8(std::string_view text);

// Shown characters back to text bytes. A line feed becomes the text's
// backslash, which a save writes as a line feed. `text` is nothing when a
// character has no byte that would come back as it; `missing` is the first
// such character.
struct TextFromShown {
    std::optional<std::string> text;
    char32_t missing = 0;
};
[[nodiscard]] TextFromShown ShownToText(std::u32string_view shown);
// The same from UTF-8; invalid UTF-8 counts as U+FFFD.
[[nodiscard]] TextFromShown Utf8ToText(std::string_view utf8);

// "U+005C".
[[nodiscard]] std::string CodePointName(char32_t c);
// "é (U+00E9)" in UTF-8; the code alone for a character that shows nothing
// (a control or an unassigned character of the Thai block).
[[nodiscard]] std::string CharacterName(char32_t c);

// What a save does to a file character, in words, the same for the editor
// and the command line: "U+0416 becomes U+0016", "U+0100 is dropped",
// "U+0000 moves to the end" (patch mode keeps the slot's size, so the U+0000
// returns as filler; a caption file is rebuilt without it). `named` shows
// the characters too, as CharacterName does.
[[nodiscard]] std::string SavingChangeText(const CharChange& change, bool captionFile, bool named);

} // namespace tavolin
