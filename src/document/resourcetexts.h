#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "resource/resourcefile.h"

namespace tavolin {

// How list, export, import and check see a file: every text of its resource
// structure, or the strings the editor's marker rule finds.
enum class ReadBy { Resource, Marker };

// A file read through its resource structure, for translating.
class ResourceTexts {
public:
    // Any bytes; a file of no known format has no texts.
    explicit ResourceTexts(std::span<const std::uint8_t> bytes);

    [[nodiscard]] const resource::ResourceFile& File() const { return m_file; }
    // Resource for the formats the structure codec reads, marker otherwise.
    [[nodiscard]] ReadBy DefaultMode() const;
    // "compressed, 12 texts (10 certain, 2 guessed)"
    [[nodiscard]] std::string Summary() const;
    // In file order: the certain texts, and the guessed ones too when asked.
    [[nodiscard]] std::vector<const resource::Text*> Texts(bool includeGuessed) const;
    // Any text, guessed ones included; nullptr for an ID the file lacks.
    [[nodiscard]] const resource::Text* Find(const std::string& id) const;

private:
    resource::ResourceFile m_file;
};

// The most UTF-16 units the format lets the text hold, where it sets one.
[[nodiscard]] std::optional<std::size_t> TextLimit(const resource::Text& text);
// What an exported text's comment says: "LTEXT, guessed, 12 characters;
// at most 255".
[[nodiscard]] std::string TextComment(const resource::Text& text);
// The text in UTF-8 with control characters as their visible pictures,
// so that one text stays on one line.
[[nodiscard]] std::string OneLine(std::u16string_view text);
// True for "R.I" (both numbers from 1); marker mode's IDs are one number.
[[nodiscard]] bool IsResourceId(const std::string& id);

} // namespace tavolin
