#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin::resource {

// How the file's resources are stored. Narrow is the compressed format's
// header around an 8-bit build: no compressed runs and no 16-bit text.
enum class Format { Old, Compressed, Narrow, Unknown };
enum class TextKind { Ltext, Text, Buf };

[[nodiscard]] const char* FormatName(Format format);
[[nodiscard]] const char* KindName(TextKind kind);

// One text value found in a resource's decompressed data.
struct Text {
    std::size_t resource = 0; // from 1
    std::size_t index = 0;    // from 1, in the order of the resource's data
    TextKind kind = TextKind::Buf;
    // Certain: a compressed run, or an LTEXT with its pad where the compiler
    // puts one. Otherwise a plausibility guess.
    bool certain = false;
    bool compressed = false; // stored as its own compressed run
    bool wide = true;        // false: an 8-bit text of a narrow build
    // Offsets in the resource's decompressed data: `start` is the LTEXT
    // length byte or else the first byte of the value (its pad if it has
    // one), `chars` its first character, `end` one past its last byte (the
    // terminator of a TEXT included).
    std::size_t start = 0;
    std::size_t chars = 0;
    std::size_t end = 0;
    std::u16string text; // without a TEXT's terminator; 8-bit texts as CP1252
};

// "R.I", as the command line and every message name a text.
[[nodiscard]] std::string TextId(const Text& t);
// The numbers of an ID of that form (both from 1, at most 12 characters);
// false for anything else.
[[nodiscard]] bool ParseTextId(std::string_view id, std::size_t& resource, std::size_t& index);

struct Resource {
    std::size_t offset = 0; // of the stored bytes in the file
    std::size_t size = 0;   // stored bytes
    bool compressedBit = false;
    // False when the stored runs do not decompress: the resource is kept
    // as it is and holds no texts.
    bool readable = true;
    std::vector<std::uint8_t> data; // decompressed
};

struct ResourceFile {
    Format format = Format::Unknown;
    std::vector<std::uint8_t> bytes; // the whole file as read
    std::size_t headerSize = 0;      // bytes before resource 1
    std::uint16_t largest = 0;       // the compressed header's largest-resource field
    std::vector<Resource> resources;
    std::vector<Text> texts; // by resource, then index
};

// Any bytes: a file that is neither format comes back as Unknown, never as
// an error.
[[nodiscard]] ResourceFile ReadResourceFile(std::span<const std::uint8_t> bytes);

struct TextEdit {
    std::size_t resource = 0;
    std::size_t index = 0;
    std::u16string text;
};

// A rebuild that cannot be done; the message names the text and the reason.
class RebuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file with the texts replaced: resources without an edited text are
// copied byte for byte, edited ones laid out as the platform's resource
// compiler lays them out, and the header and index follow. Throws
// RebuildError for what the format cannot hold or the platform would misread.
[[nodiscard]] std::vector<std::uint8_t> Rebuild(const ResourceFile& file, const std::vector<TextEdit>& edits,
                                                bool allowGuessed);

// A text of a rebuilt file that its reader finds otherwise than the edits
// meant: at an ID of the file read before (`was`; the text meant there is
// the edit's or the old one), or a text that was not there (`now` only).
struct ReadBackMismatch {
    enum class What { Missing, OtherText, OtherKind, Guessed, Added };
    What what = What::Missing;
    const Text* was = nullptr; // in the file read before; null for Added
    const Text* now = nullptr; // in the rebuilt file; null for Missing
    std::u16string meant;
};

// Compares `after`, the rebuild of `before` with `edits` read back, text by
// text: every text at its ID with its meant text, of the same kind, certain
// where it was, and no other. (A change of format is the caller's to tell.)
[[nodiscard]] std::vector<ReadBackMismatch> ReadBackMismatches(const ResourceFile& before,
                                                               const std::vector<TextEdit>& edits,
                                                               const ResourceFile& after);

// The 8-bit code page of narrow builds (Windows-1252); 0 for its five
// unassigned bytes.
[[nodiscard]] char16_t Cp1252ToUnicode(std::uint8_t byte);
// The byte a narrow build writes for `c`: control characters as the bytes
// they are, the rest through the code page; nothing for a character the
// code page lacks.
[[nodiscard]] std::optional<std::uint8_t> UnicodeToCp1252(char16_t c);

} // namespace tavolin::resource
