#include "tables/stringtable.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "tables/error.h"

namespace tavolin {

namespace {

char FoldLetter(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldLetter(x) == FoldLetter(y); });
}

std::size_t HashOfLetters(std::string_view key)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(FoldLetter(c));
        hash *= 0x100000001b3u;
    }
    return static_cast<std::size_t>(hash ^ (hash >> 32));
}

// Keys are mostly the numbers 0, 1, 2 ... in order: such a key hashes to its
// number, so that a scan's keys take neighbouring slots. Other keys hash by
// FNV-1a over their letters folded.
std::size_t HashOf(std::string_view key)
{
    std::size_t number = 0;
    for (const char c : key) {
        if (c < '0' || c > '9' || key.size() >= 20)
            return HashOfLetters(key);
        number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    return key.empty() ? HashOfLetters(key) : number;
}

} // namespace

ListIndexError::ListIndexError(long long index)
    : TavolinError("List index out of bounds (" + std::to_string(index) + ")")
{
}

std::string LowerAsciiLetters(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldLetter);
    return folded;
}

void CountUp(std::string& digits)
{
    // The last digit that is not 9 goes up by one, and the 9s after it turn
    // to 0s; with no such digit, a 1 goes in front.
    const auto last = std::find_if(digits.rbegin(), digits.rend(), [](char d) { return d != '9'; });
    std::fill(digits.rbegin(), last, '0');
    if (last == digits.rend())
        digits.insert(digits.begin(), '1');
    else
        ++*last;
}

StringTable::StringTable(std::string keyTitle, std::string valueTitle)
    : m_keyTitle(std::move(keyTitle)), m_valueTitle(std::move(valueTitle))
{
}

std::size_t StringTable::SlotOf(std::string_view key) const
{
    const std::size_t mask = m_firstByKey.size() - 1; // a power of two
    for (std::size_t slot = HashOf(key) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = m_firstByKey[slot];
        if (held == 0 || EqualIgnoringCase(KeyOf(m_entries[held - 1]), key))
            return slot;
    }
}

void StringTable::UpdateIndex() const
{
    for (; m_indexedEntries < m_entries.size(); ++m_indexedEntries) {
        if (m_indexedEntries >= std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("too many entries for a table");
        if (2 * (m_indexedKeys + 1) > m_firstByKey.size()) {
            // Twice the slots, and every key's first entry placed again.
            std::vector<std::uint32_t> old(std::max<std::size_t>(16, 2 * m_firstByKey.size()), 0);
            old.swap(m_firstByKey);
            for (const std::uint32_t held : old) {
                if (held != 0)
                    m_firstByKey[SlotOf(KeyOf(m_entries[held - 1]))] = held;
            }
        }
        const std::size_t slot = SlotOf(KeyOf(m_entries[m_indexedEntries]));
        if (m_firstByKey[slot] == 0) {
            m_firstByKey[slot] = static_cast<std::uint32_t>(m_indexedEntries + 1);
            ++m_indexedKeys;
        }
    }
}

StringTable::Entry StringTable::AppendLine(std::string_view key, std::string_view value)
{
    const std::size_t length = key.size() + 1 + value.size();
    if (m_text.size() + length > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too much text for a table");
    const Entry e{static_cast<std::uint32_t>(m_text.size()), static_cast<std::uint32_t>(length)};
    m_text.append(key).append(1, '=').append(value);
    return e;
}

void StringTable::Append(std::string_view key, std::string_view value, Form form)
{
    if (m_observer)
        m_observer->EntriesAboutToChange();
    m_entries.push_back(AppendLine(key, value));
    m_forms.push_back(form);
    if (m_observer)
        m_observer->EntryAppended(m_entries.size() - 1);
}

void StringTable::AppendEntry(std::string_view key, std::string_view value)
{
    const auto eq = key.find('=');
    if (eq == std::string_view::npos)
        Append(key, value, Form::kText);
    else
        Append(key.substr(0, eq), std::string(key.substr(eq + 1)) + "=" + std::string(value), Form::kText);
}

void StringTable::AppendGapRecord(std::string_view key, std::string_view bytes, bool lastWithoutBlank)
{
    if (key.find('=') != std::string_view::npos)
        throw std::invalid_argument("a gap record's key holds \"=\"");
    Append(key, bytes, lastWithoutBlank ? Form::kGapLastWithoutBlank : Form::kGapBlankAfterEach);
}

void StringTable::RemoveAllEntries()
{
    if (m_entries.empty())
        return;
    if (m_observer)
        m_observer->EntriesAboutToChange();
    const std::size_t count = m_entries.size();
    // Fresh containers free the old storage at once, whatever its size.
    m_entries = {};
    m_forms = {};
    m_text = {};
    m_firstByKey = {};
    m_indexedEntries = 0;
    m_indexedKeys = 0;
    if (m_observer)
        m_observer->EntriesRemoved(count);
}

std::size_t StringTable::IndexOf(std::string_view key) const
{
    UpdateIndex();
    if (m_firstByKey.empty())
        return kNone;
    const std::uint32_t held = m_firstByKey[SlotOf(key)];
    return held == 0 ? kNone : held - 1;
}

std::string StringTable::ValueOf(std::string_view key) const
{
    const std::size_t index = IndexOf(key);
    return index == kNone ? std::string() : ValueAt(index);
}

void StringTable::CheckIndex(std::size_t index) const
{
    if (index >= m_entries.size())
        throw std::out_of_range("StringTable entry " + std::to_string(index));
}

std::string StringTable::ValueAt(std::size_t index) const
{
    std::string text;
    AppendValueAt(text, index);
    return text;
}

void StringTable::AppendValueAt(std::string& out, std::size_t index) const
{
    const Entry& e = At(index);
    const Form form = m_forms[index];
    if (form == Form::kText) {
        out += ValueOf(e);
        return;
    }
    const std::size_t start = out.size();
    for (const char c : ValueOf(e)) {
        out += std::to_string(static_cast<unsigned char>(c));
        out += ' ';
    }
    if (form == Form::kGapLastWithoutBlank && out.size() > start)
        out.pop_back();
}

StringTable::StoredEntry StringTable::StoredEntryAt(std::size_t index) const
{
    const std::string_view line = LineOf(At(index));
    const std::size_t eq = KeyLengthOf(line);
    return {line.substr(0, eq), line.substr(eq + 1), m_forms[index] != Form::kText};
}

std::size_t StringTable::ValueLengthAt(std::size_t index) const
{
    const Entry& e = At(index);
    const Form form = m_forms[index];
    if (form == Form::kText)
        return ValueOf(e).size();
    // Each byte's digits and a blank.
    std::size_t length = 0;
    for (const char c : ValueOf(e)) {
        const auto b = static_cast<unsigned char>(c);
        length += (b >= 100 ? 3 : b >= 10 ? 2 : 1) + 1;
    }
    return form == Form::kGapLastWithoutBlank && length > 0 ? length - 1 : length;
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
    const auto i = static_cast<std::size_t>(index);
    return column == 0 ? KeyAt(i) : ValueAt(i);
}

int StringTable::GridRowCount() const
{
    return m_entries.empty() ? 2 : static_cast<int>(m_entries.size()) + 1;
}

const std::string& StringTable::Title(int column) const
{
    return column == 0 ? m_keyTitle : m_valueTitle;
}

void StringTable::SetValue(std::size_t index, const std::string& value)
{
    CheckIndex(index);
    Entry& e = m_entries[index];
    const std::size_t keyLength = KeyOf(e).size();
    if (value.size() > e.length - keyLength - 1) {
        // Too long for its place: the line goes to the end, and the old one
        // stays unused until the table is emptied.
        e = AppendLine(std::string(KeyOf(e)), value);
    } else {
        std::copy(value.begin(), value.end(), m_text.begin() + static_cast<std::ptrdiff_t>(e.at + keyLength + 1));
        e.length = static_cast<std::uint32_t>(keyLength + 1 + value.size());
    }
    m_forms[index] = Form::kText;
}

StringTables::StringTables()
    : vle("ID", "Value"), vle2("Key", "Value"), vle3("Key", "Value")
{
}

} // namespace tavolin
