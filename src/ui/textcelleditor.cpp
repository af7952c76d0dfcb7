#include "ui/textcelleditor.h"

#include <algorithm>
#include <optional>

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/gridcells.h"
#include "ui/textgrid.h"
#include "ui/valuegrid.h"

namespace tavolin {

namespace {

// A carriage return would become a line break in the editor's document and
// come back as a line feed: it is shown as its picture instead.
constexpr char16_t kCarriageReturn = u'\r';
constexpr char16_t kCarriageReturnPicture = 0x240D;

} // namespace

TextCellEditor::TextCellEditor(TextGrid& grid, QWidget* parent) : QPlainTextEdit(parent), m_grid(grid)
{
    setFrameShape(QFrame::NoFrame);
    // The margins around the lines hide the cell's own painting too.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 4);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        CentreText();
        m_grid.EditorTextChanged();
    });
}

void TextCellEditor::CentreText()
{
    const int lines = document()->blockCount();
    const auto margins = static_cast<int>(2 * document()->documentMargin());
    const int top = std::max(0, (height() - lines * fontMetrics().lineSpacing() - margins) / 2);
    if (viewportMargins().top() != top)
        setViewportMargins(0, top, 0, 0);
}

void TextCellEditor::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    CentreText();
}

QString TextCellEditor::Text() const
{
    // The raw text: toPlainText would turn no-break spaces into spaces.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(kCarriageReturnPicture, kCarriageReturn);
    return text;
}

void TextCellEditor::SetText(const QString& text)
{
    QString shown = text;
    shown.replace(kCarriageReturn, kCarriageReturnPicture);
    setPlainText(shown);
}

void TextCellEditor::ToggleSelectAll()
{
    QTextCursor cursor = textCursor();
    const bool allSelected = cursor.hasSelection() && cursor.selectionStart() == 0 &&
                             cursor.selectionEnd() == document()->characterCount() - 1;
    if (allSelected) {
        cursor.clearSelection();
        cursor.movePosition(QTextCursor::End);
        setTextCursor(cursor);
    } else {
        selectAll();
    }
}

void TextCellEditor::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (m_grid.InputBlocked())
        return;
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        // Within a text of several lines the arrows move between its lines
        // first; from its first or last line, and with Ctrl, to other rows.
        QTextCursor cursor = textCursor();
        if (!ctrl && cursor.movePosition(event->key() == Qt::Key_Up ? QTextCursor::Up : QTextCursor::Down)) {
            setTextCursor(cursor);
            return;
        }
        m_grid.MoveByKey(*event);
        return;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        m_grid.MoveByKey(*event);
        return;
    case Qt::Key_Escape: {
        // The text comes back on the key-down, before the key is judged.
        m_grid.RestoreOriginalText();
        char32_t key = kEscape;
        (void)m_grid.RaiseKeyPress(key);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (mods & Qt::ShiftModifier) {
            Type(U'\n');
            return;
        }
        char32_t key = kEnter;
        if (m_grid.RaiseKeyPress(key))
            ToggleSelectAll();
        return;
    }
    case Qt::Key_Tab:
        if (ctrl) {
            Type(U'\t');
            return;
        }
        event->ignore(); // the window's focus navigation
        return;
    case Qt::Key_Backtab:
        event->ignore();
        return;
    case Qt::Key_Backspace: {
        char32_t key = kBackspace;
        if (m_grid.RaiseKeyPress(key))
            QPlainTextEdit::keyPressEvent(event);
        return;
    }
    default:
        break;
    }
    if (ctrl) {
        if (event->key() < Qt::Key_A || event->key() > Qt::Key_Z) {
            QPlainTextEdit::keyPressEvent(event);
            return;
        }
        auto key = static_cast<char32_t>(event->key() - Qt::Key_A + 1);
        if (!m_grid.RaiseKeyPress(key))
            return;
        switch (key) {
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
            QPlainTextEdit::keyPressEvent(event); // Ctrl+A, Ctrl+Z and the like
            return;
        }
    }
    const QList<uint> text = event->text().toUcs4();
    if (text.isEmpty() || text.front() < 0x20 || text.front() == 0x7F) {
        QPlainTextEdit::keyPressEvent(event); // Delete, Home, End, Shift+Insert…
        return;
    }
    for (const uint c : text)
        Type(c);
}

void TextCellEditor::inputMethodEvent(QInputMethodEvent* event)
{
    const std::optional<QList<uint>> typed = CommittedCharacters(*event, m_grid.InputBlocked());
    if (!typed) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    for (const uint c : *typed)
        Type(c);
}

void TextCellEditor::Type(char32_t c)
{
    if (!m_grid.CanHold(c)) {
        m_grid.RefuseCharacter(c);
        return;
    }
    char32_t key = c;
    if (!m_grid.RaiseKeyPress(key))
        return;
    insertPlainText(QString::fromUcs4(&key, 1).replace(kCarriageReturn, kCarriageReturnPicture));
}

bool TextCellEditor::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        setToolTip(m_grid.EditorToolTip());
    return QPlainTextEdit::event(event);
}

void TextCellEditor::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    m_grid.EditorLostFocus(this, event->reason());
}

} // namespace tavolin
