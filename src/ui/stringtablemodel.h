#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include <QAbstractTableModel>

#include "tables/stringtable.h"
#include "codec/savingchanges.h"

namespace tavolin {

// The grid's view of a string table: row r is grid row r + 1 (the grid's
// title row is the header), column 0 the key, column 1 the value. It reads and
// writes the table itself and keeps no rows of its own, only how many rows
// the views have been told about: appends are told in one batch (Flush), so
// an Open of 100,000 strings costs one insertion, not 100,000.
class StringTableModel : public QAbstractTableModel, public TableObserver {
    Q_OBJECT
public:
    // `capacities` gives each row's tool tip its capacity.
    StringTableModel(StringTable& table, const StringTable& capacities, QObject* parent = nullptr);
    ~StringTableModel() override;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The write-back of an edit in `row`. In the empty row of an empty table
    // a text creates an entry with an empty key. Not a change of entries: the
    // grid's editor stays where it is.
    void WriteBack(int row, const std::string& text);

    // Tells the views about appends not yet told, then emits entriesSettled.
    void Flush();

    // Rows whose file characters change on saving, as the scan found them;
    // empty until set. The texts at that moment are kept with them.
    void SetSavingChanges(SavingChanges changes);
    [[nodiscard]] const SavingChanges& AllSavingChanges() const { return m_savingChanges; }
    // What a save changes in `row` now: the scan's findings that its text
    // still holds. A change with a text byte lasts while the text holds that
    // byte; one without (a dropped character, a U+0000 before text) while
    // the text is the one scanned. The missing length byte always lasts.
    [[nodiscard]] std::vector<CharChange> SavingChangesOf(int row) const;
    // A text longer than its slot, which a save in patch mode refuses.
    [[nodiscard]] bool IsOverlong(int row) const;
    // Caption files: no slot limits, the texts share the file's bytes.
    void SetCaptionFile(bool caption) { m_captionFile = caption; }

    // What the grid shows behind a row's value, and over it.
    [[nodiscard]] QVariant Background(int row) const;
    [[nodiscard]] QString ToolTip(int row) const;

signals:
    // Before any append or removal that is not a write-back.
    void entriesAboutToChange();
    // After entries changed and the views know it.
    void entriesSettled();
    // Emitted once when changes wait for a Flush.
    void flushNeeded();

private:
    void EntriesAboutToChange() override;
    void EntryAppended(std::size_t index) override;
    void EntriesRemoved(std::size_t count) override;
    void MarkPending();
    [[nodiscard]] bool IsShown(const QModelIndex& index) const;

    StringTable& m_table;
    const StringTable& m_capacities;
    SavingChanges m_savingChanges;
    std::unordered_map<std::size_t, std::string> m_scannedTexts; // of the rows in m_savingChanges
    bool m_captionFile = false;
    int m_shownRows = 1;
    bool m_shownEmptyRow = false; // row 0 was told as the empty row
    bool m_pending = false;
    bool m_writingBack = false;
};

} // namespace tavolin
