#include "document/resourcestrings.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "file/errors.h"
#include "codec/reader.h"
#include "codec/writer.h"

namespace tavolin {

bool IsCaptionFile(const std::string& file)
{
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(file, ec);
    return IsCaptionPath(ec ? file : absolute.string());
}

ResourceStrings::ResourceStrings(const std::string& file, const std::vector<std::uint8_t>& bytes,
                                 const std::exception_ptr& endError)
    : m_caption(IsCaptionFile(file))
{
    ScanResourceBytes(bytes, m_tables, &m_changes, endError);
    for (std::size_t i = 0; i < m_tables.vle.EntryCount(); ++i) {
        ResourceString s;
        s.id = std::string(m_tables.vle.KeyAt(i));
        s.text = std::string(m_tables.vle.ValueAt(i));
        if (!m_caption) {
            try {
                s.capacity = StrToInt(std::string(m_tables.vle3.ValueOf(s.id)));
            } catch (const ConvertError&) {
                s.capacity = -1;
            }
        }
        if (const auto it = m_changes.find(i); it != m_changes.end())
            s.changes = it->second;
        m_strings.push_back(std::move(s));
    }
    try {
        const auto rebuilt = m_caption ? BuildCaptionFile(m_tables.vle)
                                       : BuildPatchFile(m_tables.vle, m_tables.vle2, m_tables.vle3);
        m_roundTrips = rebuilt == bytes;
    } catch (const TavolinError&) {
        m_roundTrips = false;
    }
}

void ResourceStrings::SetText(std::size_t index, const std::string& text)
{
    m_tables.vle.SetValue(index, text);
    m_strings.at(index).text = text;
}

std::vector<std::string> ResourceStrings::Overlong() const
{
    std::vector<std::string> lines;
    if (m_caption) {
        try {
            (void)BuildCaptionFile(m_tables.vle);
        } catch (const SaveRefused& e) {
            lines.emplace_back(e.what()); // the whole file is the limit, not one string
        }
        return lines;
    }
    const auto overlong = FindOverlongTexts(m_tables.vle, m_tables.vle3);
    std::transform(overlong.begin(), overlong.end(), std::back_inserter(lines), [](const OverlongText& t) {
        return t.id + " (length " + std::to_string(t.length) + ", capacity " + std::to_string(t.capacity) + ")";
    });
    return lines;
}

void ResourceStrings::Save(const std::string& target) const
{
    if (!m_caption)
        RefuseStringsWithoutLengthByte(m_changes, m_tables.vle);
    SaveTables(target, m_tables, m_caption);
}

} // namespace tavolin
