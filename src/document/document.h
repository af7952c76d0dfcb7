#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/savingchanges.h"
#include "document/resourcestrings.h"
#include "document/resourcetexts.h"
#include "file/bytefile.h"
#include "file/errors.h"
#include "tables/stringtable.h"

namespace tavolin {

// A reading asked for that the file cannot be read by: `--by resource` on a
// file of no resource format.
class ReadingRefused : public TavolinError {
public:
    using TavolinError::TavolinError;
};

// A save refused because of one text: `row` is its place in Texts().
class TextRefused : public SaveRefused {
public:
    TextRefused(const std::string& message, std::size_t row) : SaveRefused(message), m_row(row) {}
    [[nodiscard]] std::size_t Row() const { return m_row; }

private:
    std::size_t m_row;
};

// A save whose file would not read back as edited: a text would be found
// elsewhere, otherwise or only guessed, so that rows and IDs would name other
// texts on the next Open. The bytes are still a sound layout of the edits.
// `row` is the first such text, where it is one.
class ReadsOtherwise : public SaveRefused {
public:
    ReadsOtherwise(const std::string& message, std::optional<std::size_t> row) : SaveRefused(message), m_row(row) {}
    [[nodiscard]] std::optional<std::size_t> Row() const { return m_row; }

private:
    std::optional<std::size_t> m_row;
};

// One text as every front end names and shows it.
struct DocumentText {
    std::string id;        // "R.I" by resource, the string's number by marker
    std::u16string source; // as the file held it when it was read
    std::u16string text;   // as it is now
    std::string kind;      // LTEXT, TEXT or BUF by resource; empty by marker
    bool certain = true;   // false: found by a guess
    // The most UTF-16 units the text may hold, where anything limits it (an
    // LTEXT's 255, a marker slot's capacity).
    std::optional<std::size_t> limit;
};

// One resource file as the editor and every subcommand open it: its bytes
// read once, the reading decided (by resource structure for a file of a
// resource format, by markers otherwise or on request), its texts under one
// ID vocabulary, and what a save would write or refuse.
class Document {
public:
    struct Options {
        std::optional<ReadBy> by; // nothing: the file's default
        Access access = Access::ReadOnly;
        // For commands that read by resource alone: a file larger than a
        // resource file can be is refused instead of read.
        bool resourceOnly = false;
    };

    // Throws IoError when the file cannot be read, ReadingRefused when
    // `by` cannot apply. By resource, an error after the first bytes is
    // thrown too; by marker it waits for the scan (ScanInto, Markers), which
    // shows what came before it.
    explicit Document(std::string path, Options options);

    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] ReadBy Reading() const { return m_reading; }
    // "by resource: compressed, 31 texts (31 certain)", "by marker", or
    // "…: no texts found".
    [[nodiscard]] std::string Summary() const;

    // The structure as the structure codec reads it (format Unknown for a
    // file of no resource format), unless the marker reading was asked for.
    [[nodiscard]] const ResourceTexts& Structure() const { return m_structure.value(); }
    // By resource: the texts, guessed ones included.
    [[nodiscard]] const std::vector<DocumentText>& Texts() const { return m_texts; }
    // The row of `id`, if the file has such a text.
    [[nodiscard]] std::optional<std::size_t> RowOf(std::string_view id) const;
    void SetText(std::size_t row, std::u16string text);
    // Whether the text of `row` can carry `c` in this file: never U+0000 nor
    // half of a surrogate pair; in an 8-bit text of a narrow build only the
    // characters of Windows-1252.
    [[nodiscard]] bool CanHold(std::size_t row, char32_t c) const;
    [[nodiscard]] bool Edited() const;
    // The file with the edited texts, laid out as the platform's compiler
    // lays it out. Throws TextRefused naming the text's row, or SaveRefused
    // for what concerns the whole file.
    [[nodiscard]] std::vector<std::uint8_t> SavedBytes(bool allowGuessed) const;
    // SavedBytes through the safe save. Unless `evenIfReadsOtherwise`,
    // throws ReadsOtherwise where the file would not read back as edited.
    // Throws as SavedBytes, and IoError.
    void Save(const std::string& target, bool allowGuessed, bool evenIfReadsOtherwise = false) const;

    // By marker: the scan of the bytes read into `tables` (appending, as the
    // scan does). Throws IoError; the entries before it stay.
    void ScanInto(StringTables& tables, SavingChanges* changes) const;
    // By marker: the strings as the command line translates them, scanned
    // at the first call. Throws IoError.
    [[nodiscard]] ResourceStrings& Markers();
    [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const { return m_read.bytes; }

private:
    [[nodiscard]] std::vector<resource::TextEdit> Edits() const;

    std::string m_path;
    FileBytes m_read;
    ReadBy m_reading = ReadBy::Marker;
    std::optional<ResourceTexts> m_structure;
    std::optional<ResourceStrings> m_markers;
    std::vector<DocumentText> m_texts;
};

} // namespace tavolin
