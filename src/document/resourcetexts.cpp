#include "document/resourcetexts.h"

#include <algorithm>
#include <utility>

#include "resource/utf.h"

namespace tavolin {

ResourceTexts::ResourceTexts(std::span<const std::uint8_t> bytes) : m_file(resource::ReadResourceFile(bytes)) {}

ReadBy ResourceTexts::DefaultMode() const
{
    return m_file.format == resource::Format::Unknown ? ReadBy::Marker : ReadBy::Resource;
}

std::string ResourceTexts::Summary() const
{
    const auto certain = static_cast<std::size_t>(
        std::count_if(m_file.texts.begin(), m_file.texts.end(), [](const resource::Text& t) { return t.certain; }));
    return std::string(resource::FormatName(m_file.format)) + ", " + std::to_string(m_file.texts.size()) +
           " texts (" + std::to_string(certain) + " certain, " + std::to_string(m_file.texts.size() - certain) +
           " guessed)";
}

std::vector<const resource::Text*> ResourceTexts::Texts(bool includeGuessed) const
{
    std::vector<const resource::Text*> texts;
    for (const auto& t : m_file.texts)
        if (t.certain || includeGuessed)
            texts.push_back(&t);
    return texts;
}

namespace {

// The numbers of `id` when it is an ID as TextId writes them.
bool ParseResourceId(const std::string& id, std::size_t& resource, std::size_t& index)
{
    return resource::ParseTextId(id, resource, index) &&
           id == std::to_string(resource) + "." + std::to_string(index);
}

} // namespace

const resource::Text* ResourceTexts::Find(const std::string& id) const
{
    std::size_t resource = 0;
    std::size_t index = 0;
    if (!ParseResourceId(id, resource, index))
        return nullptr;
    // The texts are in the order of their resource, then index.
    const auto it = std::lower_bound(m_file.texts.begin(), m_file.texts.end(), std::pair(resource, index),
                                     [](const resource::Text& t, const std::pair<std::size_t, std::size_t>& key) {
                                         return std::pair(t.resource, t.index) < key;
                                     });
    return it != m_file.texts.end() && it->resource == resource && it->index == index ? &*it : nullptr;
}

std::optional<std::size_t> TextLimit(const resource::Text& text)
{
    // An LTEXT's length byte; other texts are bounded only by the file's
    // 16-bit offsets, which the rebuild checks.
    if (text.kind == resource::TextKind::Ltext)
        return 255;
    return std::nullopt;
}

std::string TextComment(const resource::Text& text)
{
    std::string comment = resource::KindName(text.kind);
    if (!text.certain)
        comment += ", guessed";
    comment += ", " + std::to_string(text.text.size()) + " characters";
    if (const auto limit = TextLimit(text))
        comment += "; at most " + std::to_string(*limit);
    return comment;
}

// Control characters as their visible pictures, so that one text stays on
// one line.
std::string OneLine(std::u16string_view text)
{
    std::u16string shown;
    for (const char16_t c : text) {
        if (c < 0x20)
            shown += static_cast<char16_t>(0x2400 + c);
        else if (c == 0x7F)
            shown += u'\u2421';
        else if (c == 0x2028)
            shown += u'\u2424';
        else if (c == 0x2029)
            shown += u'\u00B6';
        else
            shown += c;
    }
    return resource::Utf16ToUtf8(shown);
}

bool IsResourceId(const std::string& id)
{
    std::size_t resource = 0;
    std::size_t index = 0;
    return ParseResourceId(id, resource, index);
}

} // namespace tavolin
