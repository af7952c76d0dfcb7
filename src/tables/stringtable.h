#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin {

// A copy with only the letters A..Z lower-cased.
[[nodiscard]] std::string LowerAsciiLetters(std::string_view text);

// Adds one to the decimal number `digits`: the next of the keys 0, 1, 2 ...
// that a scan gives its entries.
void CountUp(std::string& digits);

// Told before and after every change of a table's entries, so that a grid
// showing the table can leave and re-enter its cell editor. Edits of a value
// (SetValue) are not reported: they come from the grid itself.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void EntriesAboutToChange() = 0;
    // Entry `index` (from 0) has just been appended.
    virtual void EntryAppended(std::size_t index) = 0;
    // The table held `count` entries and now holds none.
    virtual void EntriesRemoved(std::size_t count) = 0;
};

// An ordered list of key/value entries of one-byte text, shown as a grid with
// a title row. Keys need not be unique; a lookup takes the first entry whose
// key matches, ignoring the case of ASCII letters, through one index of the
// first entry of each key, built at the first lookup. A gap record that a
// scan appends is held as the bytes it stands for, and its decimal text is
// made when it is read.
class StringTable {
public:
    StringTable(std::string keyTitle, std::string valueTitle);

    // Room for `characters` more of keys and values, so that the appends of
    // a scan need not move the ones before.
    void Reserve(std::size_t characters) { m_text.reserve(m_text.size() + characters); }
    // Adds the entry after the last one. A key holding "=" is split there, as
    // the line "key=value" would be.
    void AppendEntry(std::string_view key, std::string_view value);
    // Adds the entry whose value is the gap record of `bytes`: each byte's
    // decimal number followed by a blank, or with `lastWithoutBlank` none
    // after the last one (the record at a file's end).
    void AppendGapRecord(std::string_view key, std::string_view bytes, bool lastWithoutBlank);
    void RemoveAllEntries();

    // Value of the first entry whose key matches; the empty text when none.
    [[nodiscard]] std::string ValueOf(std::string_view key) const;
    // Index of the first entry whose key matches, or kNone.
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    [[nodiscard]] std::size_t IndexOf(std::string_view key) const;

    // Text of a grid cell: row 0 is the title row, row r >= 1 is entry r, and a
    // table without entries shows one empty row. Throws ListIndexError for a
    // row past the last entry.
    [[nodiscard]] std::string CellText(int column, int row) const;

    // Entries plus the title row; 2 for a table without entries.
    [[nodiscard]] int GridRowCount() const;

    [[nodiscard]] std::size_t EntryCount() const { return m_entries.size(); }
    // These throw std::out_of_range past the last entry.
    [[nodiscard]] std::string KeyAt(std::size_t index) const { return std::string(KeyOf(At(index))); }
    [[nodiscard]] std::string ValueAt(std::size_t index) const;
    // Appends ValueAt(index) to `out`.
    void AppendValueAt(std::string& out, std::size_t index) const;
    // The value as held: its text, or the bytes of a gap record when
    // IsGapRecordAt.
    [[nodiscard]] std::string_view StoredValueAt(std::size_t index) const { return ValueOf(At(index)); }
    [[nodiscard]] bool IsGapRecordAt(std::size_t index) const { return FormAt(index) != Form::kText; }
    // Entry `index` as held, in one look: its key and its value, the bytes
    // of a gap record when `gapRecord`.
    struct StoredEntry {
        std::string_view key;
        std::string_view value;
        bool gapRecord = false;
    };
    [[nodiscard]] StoredEntry StoredEntryAt(std::size_t index) const;
    // Length of ValueAt without making the text.
    [[nodiscard]] std::size_t ValueLengthAt(std::size_t index) const;
    [[nodiscard]] const std::string& Title(int column) const;

    // Replaces the value of entry `index` (the write-back of an edit); its key
    // and place stay.
    void SetValue(std::size_t index, const std::string& value);

    // At most one observer; nullptr removes it. Not owned.
    void SetObserver(TableObserver* observer) { m_observer = observer; }

private:
    enum class Form : std::uint8_t { kText, kGapBlankAfterEach, kGapLastWithoutBlank };
    // Where an entry's line "key=value" stands in m_text; keys hold no "=".
    // All lines in one piece of memory and 8 bytes beside each keep a
    // million-entry scan to a few large allocations: on some machines it is
    // the first touch of fresh memory that takes the time. A table holds at
    // most 4 GiB of lines.
    struct Entry {
        std::uint32_t at = 0;
        std::uint32_t length = 0;
    };

    [[nodiscard]] std::string_view LineOf(const Entry& e) const
    {
        return {m_text.data() + e.at, e.length}; // lines lie within m_text
    }
    // The length of the key: where the line's first "=" stands. A loop, as
    // keys are short.
    [[nodiscard]] static std::size_t KeyLengthOf(std::string_view line)
    {
        std::size_t n = 0;
        while (line[n] != '=')
            ++n;
        return n;
    }
    [[nodiscard]] std::string_view KeyOf(const Entry& e) const
    {
        const std::string_view line = LineOf(e);
        return line.substr(0, KeyLengthOf(line));
    }
    [[nodiscard]] std::string_view ValueOf(const Entry& e) const
    {
        const std::string_view line = LineOf(e);
        return line.substr(KeyLengthOf(line) + 1);
    }
    // Puts the line "key=value" after the last one and returns its entry.
    Entry AppendLine(std::string_view key, std::string_view value);
    void Append(std::string_view key, std::string_view value, Form form);
    void CheckIndex(std::size_t index) const;
    [[nodiscard]] const Entry& At(std::size_t index) const
    {
        CheckIndex(index);
        return m_entries[index];
    }
    [[nodiscard]] Form FormAt(std::size_t index) const
    {
        CheckIndex(index);
        return m_forms[index];
    }
    // The index: slot of `key` (its entry's position + 1), or of the free
    // slot where it would go.
    [[nodiscard]] std::size_t SlotOf(std::string_view key) const;
    // Adds the entries appended since the last lookup.
    void UpdateIndex() const;

    std::string m_keyTitle;
    std::string m_valueTitle;
    std::deque<Entry> m_entries;
    std::deque<Form> m_forms; // of each entry
    std::string m_text; // the lines
    // For each key of the first m_indexedEntries entries, letters folded, the
    // position + 1 of its first entry, in a hash table with open addressing
    // that is kept at most half full; 0 marks a free slot. A scan appends a
    // million keys, and one small slot each costs less than a node of a map.
    // Built by the lookups, which a save of scanned tables never needs.
    mutable std::vector<std::uint32_t> m_firstByKey;
    mutable std::size_t m_indexedEntries = 0;
    mutable std::size_t m_indexedKeys = 0;
    TableObserver* m_observer = nullptr;
};

// The three tables that hold one scanned file; they start empty.
struct StringTables {
    StringTables();

    StringTable vle;  // ID -> text
    StringTable vle2; // ID -> gap record
    StringTable vle3; // ID -> capacity
};

} // namespace tavolin
