#pragma once

// What the two grids (ValueGrid, TextGrid) and their cell editors do alike:
// one editable column, an editor on its current cell, keys that move by row.

#include <exception>
#include <functional>
#include <optional>

#include <QList>
#include <QModelIndex>
#include <QStyledItemDelegate>

class QInputMethodEvent;
class QKeyEvent;
class QPoint;
class QTableView;

namespace tavolin {

// Makes a grid's cell editors and leaves every key and the text to them: the
// grid gives an editor its text and takes back every change itself.
template <class Editor, class Grid>
class CellEditorDelegate : public QStyledItemDelegate {
public:
    explicit CellEditorDelegate(Grid& grid) : QStyledItemDelegate(&grid), m_grid(grid) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return new Editor(m_grid, parent);
    }
    void setEditorData(QWidget*, const QModelIndex&) const override {}
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

protected:
    bool eventFilter(QObject*, QEvent*) override { return false; }

private:
    Grid& m_grid;
};

// The rows PageUp and PageDown move: one less than a viewport of
// `viewportHeight` shows of rows `rowHeight` high, at least one.
[[nodiscard]] int PageRows(int viewportHeight, int rowHeight);

// The row Up, Down, PageUp or PageDown moves the current cell to from `row`
// (Ctrl+Up and Ctrl+Down to the first and the last), kept within 0..`last`;
// nothing for any other key.
[[nodiscard]] std::optional<int> KeyTargetRow(const QKeyEvent& event, int row, int last, int page);

// Whether `pos` is on a cell outside `column`: such cells never become
// current, so a click there changes nothing.
[[nodiscard]] bool IsOutsideColumn(const QTableView& view, const QPoint& pos, int column);

// `next` on its row, but in `column`.
[[nodiscard]] QModelIndex InColumn(const QModelIndex& next, int column);

// A menu or another window taking the focus for a while: no move to another
// control.
[[nodiscard]] bool IsPassingFocus(Qt::FocusReason reason);

// The characters an input method event commits, to be typed one at a time,
// with the event taken (none while input is blocked); nothing when the event
// is the input method's own business, left to the editor's base class.
[[nodiscard]] std::optional<QList<uint>> CommittedCharacters(QInputMethodEvent& event, bool inputBlocked);

// Calls a key-press handler through `raise`: false when the key must have no
// effect, because the handler set it to 0 or threw; a throw sets it to 0 and
// goes to `onError`.
bool RaiseGuarded(const std::function<void()>& raise, char32_t& key,
                  const std::function<void(std::exception_ptr)>& onError);

} // namespace tavolin
