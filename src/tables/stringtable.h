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
// first entry of each key. A gap record that a scan appends is held as the
// bytes it stands for, and its decimal text is made when it is read.
class StringTable {
public:
    StringTable(std::string keyTitle, std::string valueTitle);

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
    [[nodiscard]] std::string KeyAt(std::size_t index) const { return std::string(At(index).Key()); }
    [[nodiscard]] std::string ValueAt(std::size_t index) const;
    // Appends ValueAt(index) to `out`.
    void AppendValueAt(std::string& out, std::size_t index) const;
    // The value as held: its text, or the bytes of a gap record when
    // IsGapRecordAt.
    [[nodiscard]] std::string_view StoredValueAt(std::size_t index) const { return At(index).Value(); }
    [[nodiscard]] bool IsGapRecordAt(std::size_t index) const { return At(index).form != Form::kText; }
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
    // One line "key=value", the value as text or as the bytes of a gap
    // record: one piece of memory per entry, often none beside the entry.
    struct Entry {
        std::string line;
        std::uint32_t keyLength = 0;
        Form form = Form::kText;
        [[nodiscard]] std::string_view Key() const { return std::string_view(line).substr(0, keyLength); }
        [[nodiscard]] std::string_view Value() const { return std::string_view(line).substr(keyLength + 1); }
    };

    void Append(std::string_view key, std::string_view value, Form form);
    void CheckIndex(std::size_t index) const;
    [[nodiscard]] const Entry& At(std::size_t index) const
    {
        CheckIndex(index);
        return m_entries[index];
    }
    // The index: slot of `key` (its entry's position + 1), or of the free
    // slot where it would go.
    [[nodiscard]] std::size_t SlotOf(std::string_view key) const;
    void AddToIndex(std::size_t position);

    std::string m_keyTitle;
    std::string m_valueTitle;
    std::deque<Entry> m_entries;
    // For each key, letters folded, the position + 1 of its first entry, in
    // a hash table with open addressing that is kept at most half full; 0
    // marks a free slot. A scan appends a million keys, and one small slot
    // each costs less than a node of a map.
    std::vector<std::uint32_t> m_firstByKey;
    std::size_t m_indexedKeys = 0;
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
