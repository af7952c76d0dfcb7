#include "ui/valuegrid.h"

#include <utility>

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/displaytext.h"
#include "ui/stringtablemodel.h"

namespace tavolin {

namespace {

constexpr char32_t kBackspace = 8;
constexpr char32_t kEnter = 13;
constexpr char32_t kEscape = 27;
constexpr char32_t kCtrlC = 3;
constexpr char32_t kCtrlV = 22;
constexpr char32_t kCtrlX = 24;

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
    if (m_grid.m_inputBlocked)
        return;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        m_grid.Navigate(event);
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
    if (event->commitString().isEmpty() || !event->preeditString().isEmpty() ||
        event->replacementLength() != 0) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    event->accept();
    if (m_grid.m_inputBlocked)
        return;
    for (const uint c : event->commitString().toUcs4())
        Type(c);
}

void CellEditor::Type(char32_t c)
{
    // A character the code page has no byte for changes nothing.
    if (c < 0x20 || !ByteOf(c))
        return;
    char32_t key = c;
    if (!m_grid.RaiseKeyPress(key))
        return;
    insert(QString::fromUcs4(&key, 1));
}

void CellEditor::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    m_grid.EditorLostFocus(this, event->reason());
}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                    const QModelIndex&) const
{
    return new CellEditor(m_grid, parent);
}

ValueGrid::ValueGrid(QWidget* parent) : QTableView(parent)
{
    setItemDelegate(new CellDelegate(*this));
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(18);
    horizontalHeader()->setHighlightSections(false);
}

ValueGrid::~ValueGrid()
{
    // The editor goes while the grid is still whole: losing the focus, it
    // reports to the grid.
    m_leaving = true;
    delete std::exchange(m_editor, nullptr);
}

void ValueGrid::SetModel(StringTableModel* model)
{
    m_model = model;
    setModel(model);
    // Section modes only after the model is set.
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    horizontalHeader()->resizeSection(0, 61);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    connect(model, &StringTableModel::entriesAboutToChange, this, [this] {
        LeaveCell();
        m_changing = true;
    });
    connect(model, &StringTableModel::flushNeeded, this, &ValueGrid::Settle, Qt::QueuedConnection);
    connect(model, &StringTableModel::entriesSettled, this, [this] {
        m_changing = false;
        const QModelIndex current = currentIndex();
        if (!current.isValid() || current.column() != 1)
            setCurrentIndex(m_model->index(0, 1));
        PlaceEditor();
    });
    setCurrentIndex(model->index(0, 1));
    PlaceEditor();
}

void ValueGrid::Settle()
{
    if (m_model)
        m_model->Flush();
}

int ValueGrid::CurrentGridRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void ValueGrid::SetCurrentGridRow(int row)
{
    if (m_model && row >= 1 && row <= m_model->rowCount())
        setCurrentIndex(m_model->index(row - 1, 1));
}

void ValueGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_changing || current == m_editIndex)
        return;
    LeaveCell();
    PlaceEditor();
}

void ValueGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    if (m_leaving || m_changing)
        return;
    if (!m_editor || m_editIndex != currentIndex())
        PlaceEditor();
    else if (event->reason() != Qt::PopupFocusReason &&
             event->reason() != Qt::ActiveWindowFocusReason) {
        // Taking the focus places the editor anew: the cell's text, whole selected.
        m_originalText = m_lastText = m_editor->text();
        m_editor->selectAll();
        RaiseSetEditText(m_editIndex, m_editor->text());
    }
    if (m_editor)
        m_editor->setFocus(event->reason());
}

void ValueGrid::mousePressEvent(QMouseEvent* event)
{
    // A key cell never becomes current; clicking one changes nothing.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() != 1) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ValueGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() != 1) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

QModelIndex ValueGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (next.isValid() && next.column() != 1)
        next = m_model->index(next.row(), 1);
    return next;
}

void ValueGrid::Navigate(QKeyEvent* event)
{
    const int last = m_model->rowCount() - 1;
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    const int page = std::max(1, viewport()->height() / std::max(1, rowHeight(0)) - 1);
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int target = row;
    switch (event->key()) {
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
        return;
    }
    target = std::clamp(target, 0, last);
    if (target != row)
        setCurrentIndex(m_model->index(target, 1));
}

bool ValueGrid::RaiseKeyPress(char32_t& key)
{
    if (!m_onKeyPress)
        return true;
    try {
        m_onKeyPress(key);
    } catch (...) {
        // The character has no effect; the error is shown as any command's.
        key = 0;
        if (m_onError)
            m_onError(std::current_exception());
        return false;
    }
    return key != 0;
}

void ValueGrid::RaiseSetEditText(const QModelIndex& index, const QString& text)
{
    if (m_onSetEditText && index.isValid())
        m_onSetEditText(index.column(), index.row() + 1, text);
}

void ValueGrid::EditorTextEdited(const QString& text)
{
    if (!m_editor || !m_editIndex.isValid())
        return;
    const auto bytes = FromDisplay(text);
    if (!bytes) {
        // A pasted character without a byte: the change is refused whole.
        const int cursor = std::min<int>(m_editor->cursorPosition(), m_lastText.size());
        m_editor->setText(m_lastText);
        m_editor->setCursorPosition(cursor);
        return;
    }
    m_lastText = text;
    const QModelIndex index = m_editIndex;
    RaiseSetEditText(index, text);
    m_model->WriteBack(index.row(), *bytes);
}

void ValueGrid::RestoreOriginalText()
{
    if (!m_editor || m_editor->text() == m_originalText)
        return;
    m_editor->setText(m_originalText);
    m_editor->selectAll();
    EditorTextEdited(m_originalText);
}

void ValueGrid::EditorLostFocus(CellEditor* editor, Qt::FocusReason reason)
{
    // A menu or a message box taking the focus for a while is no move to
    // another control.
    if (editor != m_editor || m_leaving || reason == Qt::PopupFocusReason ||
        reason == Qt::ActiveWindowFocusReason)
        return;
    LeaveCell();
}

void ValueGrid::LeaveCell()
{
    if (!m_editor)
        return;
    CellEditor* editor = m_editor;
    const QModelIndex index = m_editIndex;
    const QString text = editor->text();
    m_leaving = true;
    if (editor->hasFocus())
        setFocus(Qt::OtherFocusReason); // keep the focus in the grid, not elsewhere
    m_editor = nullptr;
    m_editIndex = QPersistentModelIndex();
    closePersistentEditor(index);
    m_leaving = false;
    RaiseSetEditText(index, text);
}

void ValueGrid::PlaceEditor()
{
    const QModelIndex index = currentIndex();
    if (!m_model || !index.isValid() || m_changing)
        return;
    if (m_editor)
        LeaveCell();
    openPersistentEditor(index);
    m_editor = qobject_cast<CellEditor*>(indexWidget(index));
    if (!m_editor)
        return;
    m_editIndex = index;
    m_originalText = m_lastText = m_model->data(index, Qt::EditRole).toString();
    m_editor->setText(m_originalText);
    m_editor->selectAll();
    if (hasFocus())
        m_editor->setFocus(Qt::OtherFocusReason);
    RaiseSetEditText(index, m_originalText);
}

} // namespace tavolin
