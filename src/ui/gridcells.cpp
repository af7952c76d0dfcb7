#include "ui/gridcells.h"

#include <algorithm>

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTableView>

namespace tavolin {

int PageRows(int viewportHeight, int rowHeight)
{
    return std::max(1, viewportHeight / std::max(1, rowHeight) - 1);
}

std::optional<int> KeyTargetRow(const QKeyEvent& event, int row, int last, int page)
{
    const bool ctrl = event.modifiers() & Qt::ControlModifier;
    int target; // every key below sets it or returns
    switch (event.key()) {
    case Qt::Key_Up:
        target = ctrl ? 0 : row - 1;
        break;
    case Qt::Key_Down:
        target = ctrl ? last : row + 1;
        break;
    case Qt::Key_PageUp:
        target = row - page;
        break;
    case Qt::Key_PageDown:
        target = row + page;
        break;
    default:
        return std::nullopt;
    }
    return std::clamp(target, 0, last);
}

bool IsOutsideColumn(const QTableView& view, const QPoint& pos, int column)
{
    const QModelIndex index = view.indexAt(pos);
    return index.isValid() && index.column() != column;
}

QModelIndex InColumn(const QModelIndex& next, int column)
{
    if (next.isValid() && next.column() != column)
        return next.model()->index(next.row(), column);
    return next;
}

bool IsPassingFocus(Qt::FocusReason reason)
{
    return reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason;
}

std::optional<QList<uint>> CommittedCharacters(QInputMethodEvent& event, bool inputBlocked)
{
    if (event.commitString().isEmpty() || !event.preeditString().isEmpty() || event.replacementLength() != 0)
        return std::nullopt;
    event.accept();
    if (inputBlocked)
        return QList<uint>();
    return event.commitString().toUcs4();
}

bool RaiseGuarded(const std::function<void()>& raise, char32_t& key,
                  const std::function<void(std::exception_ptr)>& onError)
{
    try {
        raise();
    } catch (...) {
        // The character has no effect; the error is shown as any command's.
        key = 0;
        if (onError)
            onError(std::current_exception());
        return false;
    }
    return key != 0;
}

} // namespace tavolin
