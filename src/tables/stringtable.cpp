#include "tables/stringtable.h"

#include "tables/error.h"

namespace tavolin {

ListIndexError::ListIndexError(long long index)
    : TavolinError("List index out of bounds (" + std::to_string(index) + ")")
{
}

StringTable::StringTable(std::string keyTitle, std::string valueTitle)
    : m_keyTitle(std::move(keyTitle)), m_valueTitle(std::move(valueTitle))
{
}

std::string LowerAsciiLetters(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

void StringTable::AppendEntry(std::string_view key, std::string_view value)
{
    Entry entry;
    if (const auto eq = key.find('='); eq != std::string_view::npos) {
        entry.key = key.substr(0, eq);
        entry.value = std::string(key.substr(eq + 1)) + "=" + std::string(value);
    } else {
        entry.key = key;
        entry.value = value;
    }
    if (m_observer)
        m_observer->EntriesAboutToChange();
    const std::size_t index = m_entries.size();
    m_firstByKey.try_emplace(LowerAsciiLetters(entry.key), index);
    m_entries.push_back(std::move(entry));
    if (m_observer)
        m_observer->EntryAppended(index);
}

void StringTable::RemoveAllEntries()
{
    if (m_entries.empty())
        return;
    if (m_observer)
        m_observer->EntriesAboutToChange();
    const std::size_t count = m_entries.size();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_firstByKey.clear();
    if (m_observer)
        m_observer->EntriesRemoved(count);
}

const std::string& StringTable::ValueOf(std::string_view key) const
{
    static const std::string empty;
    const auto it = m_firstByKey.find(LowerAsciiLetters(key));
    return it == m_firstByKey.end() ? empty : m_entries[it->second].value;
}

std::string StringTable::CellText(int column, int row) const
{
    if (row == 0)
        return Title(column);
    if (m_entries.empty())
        return {};
    const long long index = static_cast<long long>(row) - 1;
    if (index < 0 || index >= static_cast<long long>(m_entries.size()))
        throw ListIndexError(index);
    const Entry& entry = m_entries[static_cast<std::size_t>(index)];
    return column == 0 ? entry.key : entry.value;
}

int StringTable::GridRowCount() const
{
    return m_entries.empty() ? 2 : static_cast<int>(m_entries.size()) + 1;
}

const std::string& StringTable::Title(int column) const
{
    return column == 0 ? m_keyTitle : m_valueTitle;
}

void StringTable::SetValue(std::size_t index, std::string value)
{
    m_entries.at(index).value = std::move(value);
}

StringTables::StringTables()
    : vle("ID", "Value"), vle2("Key", "Value"), vle3("Key", "Value")
{
    vle.AppendEntry("-", "- Open RSC File for Edit -");
    vle2.AppendEntry("-", "-");
    vle3.AppendEntry("-", "-");
}

void StringTables::RemoveAllEntries()
{
    vle.RemoveAllEntries();
    vle2.RemoveAllEntries();
    vle3.RemoveAllEntries();
}

} // namespace tavolin
