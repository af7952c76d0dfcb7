#include "tables/stringtable.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "tables/error.h"

namespace tavolin {

namespace {

// The number a key spells in plain decimal (no sign, no leading zero), the
// only keys that match a numbered entry; digits have no case.
bool ParseNumberKey(std::string_view key, std::uint64_t& number)
{
    if (key.empty() || key.size() > 18 || (key.size() > 1 && key[0] == '0'))
        return false;
    std::uint64_t n = 0;
    for (const char c : key) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    number = n;
    return true;
}

std::string_view NumberText(std::uint64_t number, char (&buffer)[24])
{
    auto* const end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
    return {buffer, static_cast<std::size_t>(end - buffer)};
}

std::size_t DecimalLength(std::uint8_t b)
{
    return b >= 100 ? 3 : b >= 10 ? 2 : 1;
}

} // namespace

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
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return folded;
}

StringTable::Span StringTable::Store(std::string_view text)
{
    const bool isLong = text.size() >= Span::kLongLength;
    const std::size_t stored = text.size() + (isLong ? sizeof(std::uint64_t) : 0);
    if (stored >= Span::kOffsetLimit - m_text.size())
        throw std::length_error("text too long for a table");
    const Span span(m_text.size(), isLong ? Span::kLongLength : text.size(), kText);
    if (isLong) {
        const std::uint64_t length = text.size();
        m_text.Append({reinterpret_cast<const char*>(&length), sizeof length});
    }
    m_text.Append(text);
    return span;
}

std::string_view StringTable::LongBytesAt(const char* at)
{
    std::uint64_t length = 0;
    std::memcpy(&length, at, sizeof length);
    return {at + sizeof length, static_cast<std::size_t>(length)};
}

std::string_view StringTable::DecimalText(std::uint8_t value)
{
    struct Texts {
        char text[256][4];
    };
    static constexpr Texts kTexts = [] {
        Texts t{};
        for (int v = 0; v < 256; ++v) {
            char* p = t.text[v];
            if (v >= 100)
                *p++ = static_cast<char>('0' + v / 100);
            if (v >= 10)
                *p++ = static_cast<char>('0' + v / 10 % 10);
            *p = static_cast<char>('0' + v % 10);
        }
        return t;
    }();
    return {kTexts.text[value], value >= 100 ? 3u : value >= 10 ? 2u : 1u};
}

std::size_t StringTable::StoredSize(Span s) const
{
    if (s.KindOf() == kDecimal)
        return 0;
    const std::size_t length = BytesOf(s).size();
    return s.ShortLength() == Span::kLongLength ? length + sizeof(std::uint64_t) : length;
}

void StringTable::Append(std::uint64_t number, bool numbered, std::string_view key, Span value)
{
    if (!m_quiet) {
        m_observer->EntriesAboutToChange();
        // In a batch only the first append is told of; the others may take
        // the inline path.
        m_quiet = m_batches > 0;
    }
    const std::size_t index = m_values.size();
    std::uint64_t n = number;
    if (m_numbered == index && (numbered || ParseNumberKey(key, n)) &&
        (index == 0 || n == m_firstNumber + index)) {
        if (index == 0)
            m_firstNumber = n;
        ++m_numbered;
    } else {
        // cppcheck-suppress variableScope ; key points into it until the key is stored
        char buffer[24];
        if (numbered)
            key = NumberText(number, buffer);
        m_keys.push_back(Store(key));
        m_firstByKey.try_emplace(LowerAsciiLetters(key), index);
    }
    m_values.push_back(value);
    if (m_observer && m_batches == 0)
        m_observer->EntryAppended(index);
}

void StringTable::AppendEntry(std::string_view key, std::string_view value)
{
    if (const auto eq = key.find('='); eq != std::string_view::npos) {
        const std::string joined = std::string(key.substr(eq + 1)) + "=" + std::string(value);
        Append(0, false, key.substr(0, eq), Store(joined));
    } else {
        Append(0, false, key, Store(value));
    }
}

void StringTable::AppendGap(std::uint64_t number, std::string_view bytes, Kind kind)
{
    Span span = Store(bytes);
    span.SetKind(kind);
    Append(number, true, {}, span);
}

void StringTable::Reserve(std::size_t entries, std::size_t textBytes)
{
    ReserveLarge(m_values, entries);
    m_text.Reserve(textBytes);
}

void StringTable::RemoveAllEntries()
{
    if (m_values.empty())
        return;
    if (m_observer)
        m_observer->EntriesAboutToChange();
    const std::size_t count = m_values.size();
    // Fresh containers free the old storage at once, whatever its size.
    m_text.Clear();
    m_values = {};
    m_keys = {};
    m_firstByKey = {};
    m_unusedText = 0;
    m_numbered = 0;
    m_firstNumber = 0;
    if (m_observer)
        m_observer->EntriesRemoved(count);
}

std::size_t StringTable::IndexOfIndexedNumber(std::uint64_t number) const
{
    if (m_firstByKey.empty())
        return kNone;
    char buffer[24];
    const auto it = m_firstByKey.find(std::string(NumberText(number, buffer)));
    return it == m_firstByKey.end() ? kNone : it->second;
}

std::size_t StringTable::IndexOf(std::string_view key) const
{
    std::uint64_t number = 0;
    if (ParseNumberKey(key, number))
        return IndexOfNumber(number);
    if (m_firstByKey.empty())
        return kNone;
    const auto it = m_firstByKey.find(LowerAsciiLetters(key));
    return it == m_firstByKey.end() ? kNone : it->second;
}

std::string StringTable::ValueOf(std::string_view key) const
{
    const std::size_t index = IndexOf(key);
    return index == kNone ? std::string() : ValueAt(index);
}

void StringTable::CheckIndex(std::size_t index) const
{
    if (index >= m_values.size())
        throw std::out_of_range("StringTable entry " + std::to_string(index));
}

std::string StringTable::KeyAt(std::size_t index) const
{
    CheckIndex(index);
    if (index < m_numbered)
        return std::to_string(m_firstNumber + index);
    return std::string(BytesOf(m_keys[index - m_numbered]));
}

std::size_t StringTable::GapRecordLengthAt(std::size_t index) const
{
    CheckIndex(index);
    // cppcheck-suppress containerOutOfBounds ; CheckIndex has thrown for an index out of range
    const Span s = m_values[index]; // a gap record: texts are answered inline
    const std::string_view bytes = BytesOf(s);
    // The blanks and each byte's digits.
    const std::size_t length =
        std::accumulate(bytes.begin(), bytes.end(), bytes.size(), [](std::size_t sum, char c) {
            return sum + DecimalLength(static_cast<std::uint8_t>(c));
        });
    return s.KindOf() == kGapLastWithoutBlank && !bytes.empty() ? length - 1 : length;
}

std::string StringTable::ValueAt(std::size_t index) const
{
    std::string text;
    AppendValueAt(text, index);
    return text;
}

void StringTable::AppendValueAt(std::string& out, std::size_t index) const
{
    CheckIndex(index);
    const Span s = m_values[index];
    const std::string_view stored = BytesOf(s);
    if (s.KindOf() == kText || s.KindOf() == kDecimal) {
        out += stored;
        return;
    }
    // Each byte takes at most three digits and a blank.
    const std::size_t start = out.size();
    out.resize(start + 4 * stored.size());
    char* p = out.data() + start;
    for (const char c : stored) {
        const std::string_view digits = DecimalText(static_cast<std::uint8_t>(c));
        std::memcpy(p, digits.data(), digits.size());
        p += digits.size();
        *p++ = ' ';
    }
    if (s.KindOf() == kGapLastWithoutBlank && !stored.empty())
        --p;
    out.resize(static_cast<std::size_t>(p - out.data()));
}

std::string StringTable::CellText(int column, int row) const
{
    if (row == 0)
        return Title(column);
    if (m_values.empty())
        return {};
    const long long index = static_cast<long long>(row) - 1;
    if (index < 0 || index >= static_cast<long long>(m_values.size()))
        throw ListIndexError(index);
    const auto i = static_cast<std::size_t>(index);
    return column == 0 ? KeyAt(i) : ValueAt(i);
}

int StringTable::GridRowCount() const
{
    return m_values.empty() ? 2 : static_cast<int>(m_values.size()) + 1;
}

const std::string& StringTable::Title(int column) const
{
    return column == 0 ? m_keyTitle : m_valueTitle;
}

void StringTable::SetValue(std::size_t index, const std::string& value)
{
    CheckIndex(index);
    m_unusedText += StoredSize(m_values[index]);
    m_values[index] = Store(value);
    // Each edit leaves its old text behind; pack the buffer before that
    // outweighs what is in use.
    if (m_unusedText > 65536 && m_unusedText > m_text.size() / 2) {
        TextBuffer packed;
        packed.Reserve(m_text.size() - m_unusedText);
        const auto move = [&](Span& s) {
            if (s.KindOf() == kDecimal)
                return; // no text to move
            const std::string_view stored(m_text.data() + s.Offset(), StoredSize(s));
            s.SetOffset(packed.size());
            packed.AppendUnchecked(stored);
        };
        for (Span& s : m_values)
            move(s);
        for (Span& s : m_keys)
            move(s);
        m_text = std::move(packed);
        m_unusedText = 0;
    }
}

StringTable::Batch::Batch(StringTable& table) : m_table(table), m_entriesBefore(table.EntryCount())
{
    ++m_table.m_batches;
}

StringTable::Batch::~Batch()
{
    if (--m_table.m_batches > 0)
        return;
    m_table.m_quiet = m_table.m_observer == nullptr;
    if (m_table.m_observer && m_table.EntryCount() > m_entriesBefore)
        m_table.m_observer->EntryAppended(m_table.EntryCount() - 1);
}

StringTables::StringTables()
    : vle("ID", "Value"), vle2("Key", "Value"), vle3("Key", "Value")
{
}

void StringTables::RemoveAllEntries()
{
    vle.RemoveAllEntries();
    vle2.RemoveAllEntries();
    vle3.RemoveAllEntries();
}

} // namespace tavolin
