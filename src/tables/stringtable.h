#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
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

// An ordered list of key/value entries of one-byte text, shown as a grid with a
// title row. Keys need not be unique; a lookup takes the first match, ignoring
// the case of ASCII letters.
class StringTable {
public:
    struct Entry {
        std::string key;
        std::string value;
    };

    StringTable(std::string keyTitle, std::string valueTitle);

    // Adds the entry after the last one. A key holding "=" is split there, as
    // the line "key=value" would be.
    void AppendEntry(std::string_view key, std::string_view value);
    void RemoveAllEntries();

    // Value of the first entry whose key matches; the empty text when none.
    [[nodiscard]] const std::string& ValueOf(std::string_view key) const;

    // Text of a grid cell: row 0 is the title row, row r >= 1 is entry r, and a
    // table without entries shows one empty row. Throws ListIndexError for a
    // row past the last entry.
    [[nodiscard]] std::string CellText(int column, int row) const;

    // Entries plus the title row; 2 for a table without entries.
    [[nodiscard]] int GridRowCount() const;

    [[nodiscard]] std::size_t EntryCount() const { return m_entries.size(); }
    [[nodiscard]] const Entry& EntryAt(std::size_t index) const { return m_entries.at(index); }
    [[nodiscard]] const std::string& Title(int column) const;

    // Replaces the value of entry `index` (the write-back of an edit); its key
    // and place stay.
    void SetValue(std::size_t index, std::string value);

    // At most one observer; nullptr removes it. Not owned.
    void SetObserver(TableObserver* observer) { m_observer = observer; }

private:
    std::string m_keyTitle;
    std::string m_valueTitle;
    std::vector<Entry> m_entries;
    // Case-folded key -> index of its first entry, so lookups don't depend on
    // the table's size.
    std::unordered_map<std::string, std::size_t> m_firstByKey;
    TableObserver* m_observer = nullptr;
};

// The three tables that hold one scanned file, as the window creates them.
struct StringTables {
    StringTables();

    StringTable vle;  // ID -> text
    StringTable vle2; // ID -> gap record
    StringTable vle3; // ID -> capacity

    void RemoveAllEntries();
};

} // namespace tavolin
