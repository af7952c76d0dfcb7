#include "document/document.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "codec/reader.h"
#include "document/readback.h"
#include "file/filelock.h"
#include "file/safesave.h"
#include "resource/resourcefile.h"

namespace tavolin {

Document::Document(std::string path, Options options)
    : m_path(std::move(path)), m_read(ReadFileBytes(m_path, options.access, options.resourceOnly))
{
    if (options.by == ReadBy::Marker)
        return;
    // Larger than any resource file: no format read by resource, and not
    // worth looking through.
    if (m_read.bytes.size() > kResourceFileLimit)
        m_structure.emplace(std::span<const std::uint8_t>());
    else
        m_structure.emplace(m_read.bytes);
    // Part of a file: a resource format cannot be read from it, but the
    // marker scan shows the strings before the error, as it always did.
    if (m_read.endError && (options.by == ReadBy::Resource || m_structure->DefaultMode() == ReadBy::Resource))
        std::rethrow_exception(m_read.endError);
    if (m_structure->DefaultMode() != ReadBy::Resource) {
        if (options.by == ReadBy::Resource)
            throw ReadingRefused("not a resource file of a format read by resource (old, compressed or narrow); "
                                 "give --by marker");
        return;
    }
    m_reading = ReadBy::Resource;
    for (const resource::Text& t : m_structure->File().texts) {
        DocumentText row;
        row.id = resource::TextId(t);
        row.source = t.text;
        row.text = t.text;
        row.kind = resource::KindName(t.kind);
        row.certain = t.certain;
        row.limit = TextLimit(t);
        m_texts.push_back(std::move(row));
    }
}

std::string Document::Summary() const
{
    if (m_reading == ReadBy::Marker)
        return "by marker";
    std::string summary = "by resource: " + m_structure->Summary();
    if (m_texts.empty())
        summary += ": no texts found";
    return summary;
}

std::optional<std::size_t> Document::RowOf(std::string_view id) const
{
    if (m_reading != ReadBy::Resource)
        return std::nullopt;
    const resource::Text* t = m_structure->Find(std::string(id));
    if (!t)
        return std::nullopt;
    return static_cast<std::size_t>(t - m_structure->File().texts.data());
}

void Document::SetText(std::size_t row, std::u16string text)
{
    m_texts.at(row).text = std::move(text);
}

bool Document::CanHold(std::size_t row, char32_t c) const
{
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return false;
    if (m_reading != ReadBy::Resource || m_structure->File().texts.at(row).wide)
        return true;
    // What the rebuild can write into an 8-bit text.
    return c <= 0xFFFF && resource::UnicodeToCp1252(static_cast<char16_t>(c)).has_value();
}

bool Document::Edited() const
{
    return std::any_of(m_texts.begin(), m_texts.end(), [](const DocumentText& t) { return t.text != t.source; });
}

std::vector<resource::TextEdit> Document::Edits() const
{
    std::vector<resource::TextEdit> edits;
    for (std::size_t row = 0; row < m_texts.size(); ++row) {
        if (m_texts[row].text == m_texts[row].source)
            continue;
        const resource::Text& t = m_structure->File().texts[row];
        edits.push_back({t.resource, t.index, m_texts[row].text});
    }
    return edits;
}

std::vector<std::uint8_t> Document::SavedBytes(bool allowGuessed) const
{
    const std::vector<resource::TextEdit> edits = Edits();
    // Nothing edited: the file stays byte for byte what was read.
    if (edits.empty())
        return m_read.bytes;
    try {
        return resource::Rebuild(m_structure->File(), edits, allowGuessed);
    } catch (const resource::RebuildError& e) {
        const std::string message = e.what();
        // The rebuild names a text as "R.I: …", or a resource as
        // "resource R …": the row is that text, or the resource's first
        // edited text.
        if (const auto row = RowOf(message.substr(0, message.find(':'))))
            throw TextRefused(message, *row);
        if (message.starts_with("resource ")) {
            const auto resource = static_cast<std::size_t>(std::strtoul(message.c_str() + 9, nullptr, 10));
            const auto first = std::find_if(edits.begin(), edits.end(),
                                            [resource](const resource::TextEdit& edit) { return edit.resource == resource; });
            if (first != edits.end())
                throw TextRefused(message, *RowOf(std::to_string(first->resource) + "." + std::to_string(first->index)));
        }
        throw SaveRefused(message);
    }
}

void Document::Save(const std::string& target, bool allowGuessed, bool evenIfReadsOtherwise) const
{
    const std::vector<std::uint8_t> bytes = SavedBytes(allowGuessed);
    // A file that would open with its texts elsewhere, or one of them only
    // guessed, is saved over only when the caller says so.
    if (const auto differences = evenIfReadsOtherwise || bytes == m_read.bytes
                                     ? std::vector<ReadBackDifference>{}
                                     : ReadBackDifferences(m_structure->File(), Edits(), bytes);
        !differences.empty())
        throw ReadsOtherwise("After the save the file would not read as edited: " + DifferencesText(differences) +
                                 ".",
                             RowOf(differences.front().id));
    // A command line import or apply of the same file finishes first.
    const FileLock lock(target);
    ReplaceFile(target, bytes);
}

void Document::ScanInto(StringTables& tables, SavingChanges* changes) const
{
    ScanResourceBytes(m_read.bytes, tables, changes, m_read.endError);
}

ResourceStrings& Document::Markers()
{
    if (!m_markers)
        m_markers.emplace(m_path, m_read.bytes, m_read.endError);
    return *m_markers;
}

} // namespace tavolin
