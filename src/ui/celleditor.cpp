#include "ui/celleditor.h"

#include <optional>

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "codec/thaicodepage.h"
#include "ui/gridcells.h"
#include "ui/valuegrid.h"

namespace tavolin {

namespace {

// The character a key sends, or nothing for keys that send none (arrows,
// Delete, Shift+Insert, Tab...).
std::optional<char32_t> TypedCharacter(const QKeyEvent& event)
{
    const int key = event.key();
    const Qt::KeyboardModifiers mods = event.modifiers();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kEnter;
    case Qt::Key_Escape:
        return kEscape;
    case Qt::Key_Backspace:
        return kBackspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return std::nullopt;
    default:
        break;
    }
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return static_cast<char32_t>(key - Qt::Key_A + 1);
        return std::nullopt;
    }
    const QList<uint> text = event.text().toUcs4();
    if (text.isEmpty() || text.front() < 0x20 || text.front() == 0x7F)
        return std::nullopt;
    return static_cast<char32_t>(text.front());
}

} // namespace

CellEditor::CellEditor(ValueGrid& grid, QWidget* parent) : QLineEdit(parent), m_grid(grid)
{
    setFrame(false);
    connect(this, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_grid.EditorTextEdited(text); });
}

void CellEditor::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (m_grid.InputBlocked())
        return;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        m_grid.MoveByKey(*event);
        return;
    case Qt::Key_Escape:
        // Escape gives the cell back its text on the key-down, before the
        // character is judged.
        m_grid.RestoreOriginalText();
        break;
    default:
        break;
    }
    const std::optional<char32_t> typed = TypedCharacter(*event);
    if (!typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (*typed >= 0x20) {
        Type(*typed);
        return;
    }
    char32_t key = *typed;
    if (!m_grid.RaiseKeyPress(key))
        return;
    switch (key) {
    case kEnter:
        if (hasSelectedText() && selectedText() == text()) {
            deselect();
            end(false);
        } else {
            selectAll();
        }
        return;
    case kEscape:
        return;
    case kBackspace:
        backspace();
        return;
    case kCtrlV:
        paste();
        return;
    case kCtrlX:
        cut();
        return;
    case kCtrlC:
        copy();
        return;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event); // Ctrl+A, Ctrl+Z and the like
}

void CellEditor::inputMethodEvent(QInputMethodEvent* event)
{
    const std::optional<QList<uint>> typed = CommittedCharacters(*event, m_grid.InputBlocked());
    if (!typed) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    for (const uint c : *typed)
        Type(c);
}

void CellEditor::Type(char32_t c)
{
    if (c < 0x20)
        return;
    // A character without a byte, or whose byte a save would not give back
    // as it, is refused where the user sees it.
    if (!TextByteOf(c)) {
        m_grid.RefuseCharacter(c);
        return;
    }
    char32_t key = c;
    if (!m_grid.RaiseKeyPress(key))
        return;
    insert(QString::fromUcs4(&key, 1));
}

bool CellEditor::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        setToolTip(m_grid.EditorToolTip());
    return QLineEdit::event(event);
}

void CellEditor::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    m_grid.EditorLostFocus(this, event->reason());
}

} // namespace tavolin
