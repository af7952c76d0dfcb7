#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tables/largebuffer.h"

namespace tavolin {

// A copy with only the letters A..Z lower-cased.
[[nodiscard]] std::string LowerAsciiLetters(std::string_view text);

// Told before and after every change of a table's entries, so that a grid
// showing the table can leave and re-enter its cell editor. Edits of a value
// (SetValue) are not reported: they come from the grid itself.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void EntriesAboutToChange() = 0;
    // Entry `index` (from 0) has just been appended; after a batch of
    // appends (StringTable::Batch), told once, of the last.
    virtual void EntryAppended(std::size_t index) = 0;
    // The table held `count` entries and now holds none.
    virtual void EntriesRemoved(std::size_t count) = 0;
};

// An ordered list of key/value entries of one-byte text, shown as a grid with a
// title row. Keys need not be unique; a lookup takes the first match, ignoring
// the case of ASCII letters.
//
// Tables of a scanned file hold up to a million entries with the keys
// 0 or 1, 2, 3 ... in order, so the table keeps no node per entry: all text
// sits in one buffer, and as long as every key is the next number after the
// first one, a key is found by its position. Only the entries from the first
// key that breaks the pattern on get a key -> position index. A value can
// also be held as the bytes of a gap record, its decimal text made on demand.
class StringTable {
public:
    StringTable(std::string keyTitle, std::string valueTitle);

    // Adds the entry after the last one. A key holding "=" is split there, as
    // the line "key=value" would be.
    void AppendEntry(std::string_view key, std::string_view value);
    // Adds the entry with the decimal key `number`.
    [[gnu::always_inline]] void AppendNumberedEntry(std::uint64_t number, std::string_view value)
    {
        if (AppendsInPlace(number, value.size())) {
            CopyBytes(m_text.Tail(), value.data(), value.size());
            PutNumbered(value.size(), kText);
        } else
            Append(number, true, {}, Store(value));
    }
    // Adds an entry with the decimal key `number` whose value is the decimal
    // text of `value`, held without text of its own (a slot's capacity).
    [[gnu::always_inline]] void AppendDecimalEntry(std::uint64_t number, std::uint8_t value)
    {
        const std::size_t index = m_values.size();
        if (m_quiet && m_numbered == index && index != 0 && number == m_firstNumber + index &&
            index < m_values.capacity()) {
            m_values.emplace_back(value, value >= 100 ? 3 : value >= 10 ? 2 : 1, kDecimal);
            ++m_numbered;
        } else
            AppendNumberedEntry(number, DecimalText(value));
    }
    // Adds an entry with the decimal key `number` whose value is the gap
    // record of `bytes`: each byte's decimal number followed by a blank, or
    // with `lastWithoutBlank` none after the last one (the record at a
    // file's end).
    [[gnu::always_inline]] void AppendGapEntry(std::uint64_t number, std::string_view bytes,
                                               bool lastWithoutBlank)
    {
        const Kind kind = lastWithoutBlank ? kGapLastWithoutBlank : kGapBlankAfterEach;
        if (AppendsInPlace(number, bytes.size())) {
            CopyBytes(m_text.Tail(), bytes.data(), bytes.size());
            PutNumbered(bytes.size(), kind);
        } else
            AppendGap(number, bytes, kind);
    }
    // For a scan that decodes a text straight into the table: where the
    // entry numbered `number` can be appended in place, room for `length`
    // bytes to write it into, to be followed by AppendNumberedFromRoom; else
    // nullptr, and the text goes through AppendNumberedEntry.
    [[nodiscard]] char* RoomForNumbered(std::uint64_t number, std::size_t length)
    {
        return AppendsInPlace(number, length) ? m_text.Tail() : nullptr;
    }
    // Appends the `length` bytes written at RoomForNumbered.
    [[gnu::always_inline]] void AppendNumberedFromRoom(std::size_t length) { PutNumbered(length, kText); }
    void RemoveAllEntries();
    // Room for `entries` more entries and `textBytes` more bytes of text.
    void Reserve(std::size_t entries, std::size_t textBytes);

    // Value of the first entry whose key matches; the empty text when none.
    [[nodiscard]] std::string ValueOf(std::string_view key) const;
    // Index of the first entry whose key matches, or kNone.
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    [[nodiscard]] std::size_t IndexOf(std::string_view key) const;
    [[nodiscard]] std::size_t IndexOfNumber(std::uint64_t number) const
    {
        // A numbered entry comes before every indexed one, so it is the first match.
        if (number >= m_firstNumber && number - m_firstNumber < m_numbered)
            return static_cast<std::size_t>(number - m_firstNumber);
        return IndexOfIndexedNumber(number);
    }

    // Text of a grid cell: row 0 is the title row, row r >= 1 is entry r, and a
    // table without entries shows one empty row. Throws ListIndexError for a
    // row past the last entry.
    [[nodiscard]] std::string CellText(int column, int row) const;

    // Entries plus the title row; 2 for a table without entries.
    [[nodiscard]] int GridRowCount() const;

    [[nodiscard]] std::size_t EntryCount() const { return m_values.size(); }
    // Throw std::out_of_range past the last entry.
    [[nodiscard]] std::string KeyAt(std::size_t index) const;
    [[nodiscard]] std::string ValueAt(std::size_t index) const;
    // Appends ValueAt(index) to `out`, a gap record's text made in place.
    void AppendValueAt(std::string& out, std::size_t index) const;
    // The value as held: its text, or the bytes of a gap record when
    // IsGapRecordAt. No range check.
    [[nodiscard]] std::string_view StoredValueAt(std::size_t index) const
    {
        return BytesOf(m_values[index]);
    }
    [[nodiscard]] bool IsGapRecordAt(std::size_t index) const
    {
        const Kind kind = m_values[index].KindOf();
        return kind == kGapBlankAfterEach || kind == kGapLastWithoutBlank;
    }
    // Length of ValueAt without making the text.
    [[nodiscard]] std::size_t ValueLengthAt(std::size_t index) const
    {
        if (index < m_values.size() && !IsGapRecordAt(index))
            return BytesOf(m_values[index]).size();
        return GapRecordLengthAt(index);
    }
    [[nodiscard]] const std::string& Title(int column) const;

    // Replaces the value of entry `index` (the write-back of an edit); its key
    // and place stay.
    void SetValue(std::size_t index, const std::string& value);

    // At most one observer; nullptr removes it. Not owned.
    void SetObserver(TableObserver* observer)
    {
        m_observer = observer;
        m_quiet = observer == nullptr;
    }

    // While one lives, appends reach the observer as one change: told
    // before the first and after the last (also when an exception ends the
    // batch). A scan appends a whole file so, instead of telling a grid of
    // each of a million strings.
    class Batch {
    public:
        explicit Batch(StringTable& table);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        StringTable& m_table;
        std::size_t m_entriesBefore;
    };

private:
    // kDecimal: the decimal text of the number in the offset field, from a
    // table of them, not from m_text.
    enum Kind : std::uint8_t { kText, kGapBlankAfterEach, kGapLastWithoutBlank, kDecimal };
    // Where an entry's bytes sit in m_text, in eight bytes: a scan keeps
    // three of these per string, more than the string's own bytes. A length
    // too large for its field is written in eight bytes before the bytes.
    class Span {
    public:
        static constexpr std::uint64_t kLongLength = (std::uint64_t{1} << 24) - 1;
        static constexpr std::uint64_t kOffsetLimit = std::uint64_t{1} << 38;

        Span(std::uint64_t offset, std::uint64_t shortLength, Kind kind)
            : m_bits(offset << 26 | shortLength << 2 | kind)
        {
        }
        [[nodiscard]] std::uint64_t Offset() const { return m_bits >> 26; }
        [[nodiscard]] std::uint64_t ShortLength() const { return (m_bits >> 2) & kLongLength; }
        [[nodiscard]] Kind KindOf() const { return static_cast<Kind>(m_bits & 3); }
        void SetKind(Kind kind) { m_bits = (m_bits & ~std::uint64_t{3}) | kind; }
        void SetOffset(std::uint64_t offset) { m_bits = (m_bits & ((std::uint64_t{1} << 26) - 1)) | offset << 26; }

    private:
        std::uint64_t m_bits;
    };
    static_assert(sizeof(Span) == 8);

    [[nodiscard]] static std::string_view DecimalText(std::uint8_t value);
    [[nodiscard]] std::string_view BytesOf(Span s) const
    {
        if (s.KindOf() == kDecimal)
            return DecimalText(static_cast<std::uint8_t>(s.Offset()));
        const char* at = m_text.data() + s.Offset();
        if (s.ShortLength() != Span::kLongLength) [[likely]]
            return {at, s.ShortLength()};
        return LongBytesAt(at);
    }
    [[nodiscard]] static std::string_view LongBytesAt(const char* at);
    // Bytes taken in m_text, with the length written before long ones.
    [[nodiscard]] std::size_t StoredSize(Span s) const;

    [[nodiscard]] bool AppendsInPlace(std::uint64_t number, std::size_t length) const
    {
        const std::size_t index = m_values.size();
        return m_quiet && m_numbered == index && index != 0 &&
               number == m_firstNumber + index && length <= m_text.Room() &&
               length < Span::kLongLength && m_text.size() + length < Span::kOffsetLimit &&
               index < m_values.capacity();
    }
    // Takes the `length` bytes already written at m_text.Tail() as the value.
    [[gnu::always_inline]] void PutNumbered(std::size_t length, Kind kind)
    {
        m_values.emplace_back(m_text.size(), length, kind);
        m_text.Commit(length);
        ++m_numbered;
    }
    void AppendGap(std::uint64_t number, std::string_view bytes, Kind kind);
    Span Store(std::string_view text);
    void Append(std::uint64_t number, bool numbered, std::string_view key, Span value);
    void CheckIndex(std::size_t index) const;
    [[nodiscard]] std::size_t IndexOfIndexedNumber(std::uint64_t number) const;
    [[nodiscard]] std::size_t GapRecordLengthAt(std::size_t index) const;

    std::string m_keyTitle;
    std::string m_valueTitle;
    TextBuffer m_text;         // every stored key and value, back to back
    std::vector<Span> m_values; // one per entry
    std::size_t m_unusedText = 0; // bytes of values since replaced
    // Entries [0, m_numbered) have the keys m_firstNumber, m_firstNumber + 1, ...
    std::uint64_t m_firstNumber = 0;
    std::size_t m_numbered = 0;
    // Keys of the entries from m_numbered on, and the first of them for each
    // key with its letters lower-cased.
    std::vector<Span> m_keys;
    std::unordered_map<std::string, std::size_t> m_firstByKey;
    TableObserver* m_observer = nullptr;
    std::size_t m_batches = 0;
    bool m_quiet = true; // nobody to tell of appends: no observer, or a batch told already
};

// The three tables that hold one scanned file; they start empty.
struct StringTables {
    StringTables();

    StringTable vle;  // ID -> text
    StringTable vle2; // ID -> gap record
    StringTable vle3; // ID -> capacity

    void RemoveAllEntries();
};

} // namespace tavolin
