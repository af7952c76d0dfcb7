#include "ui/valuegrid.h"

#include <algorithm>
#include <optional>

#include <utility>

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QToolTip>

#include "codec/displaytext.h"
#include "ui/celleditor.h"
#include "ui/gridcells.h"
#include "ui/stringtablemodel.h"

namespace tavolin {

namespace {

// Thai letters with the marks that reach farthest above (a vowel with a tone
// mark on it, over a tall letter) and below (a vowel under a letter with a tail).
const QString kThaiReach = QString::fromUtf8("\u0E1F\u0E31\u0E49\u0E1B\u0E34\u0E4A\u0E0E\u0E39\u0E10\u0E38");
// Fonts known to draw Thai with its marks in place, for a default font that
// has no Thai letters of its own; Symbola for the control pictures that
// stand for control characters.
const QStringList kThaiFamilies = {QStringLiteral("Loma"), QStringLiteral("Garuda"),
                                   QStringLiteral("Tlwg Typo"), QStringLiteral("Norasi"),
                                   QStringLiteral("Symbola")};

} // namespace

ValueGrid::ValueGrid(QWidget* parent) : QTableView(parent)
{
    setItemDelegate(new CellEditorDelegate<CellEditor, ValueGrid>(*this));
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setFont(GridFont(font()));
    FitRowHeight();
}

QFont GridFont(const QFont& base)
{
    QFont thai = base;
    QStringList families = thai.families().isEmpty() ? QStringList{thai.family()} : thai.families();
    for (const QString& family : kThaiFamilies) {
        if (!families.contains(family))
            families << family;
    }
    thai.setFamilies(families);
    return thai;
}

int RowHeightFor(const QFont& font)
{
    // The text is centred on the font's line: the row needs the line plus the
    // larger of the overhangs above and below on both sides, plus the cell's
    // margins and the grid line.
    const QFontMetrics fm(font);
    const QRect ink = fm.tightBoundingRect(kThaiReach).united(fm.boundingRect(kThaiReach));
    const int above = std::max(0, -ink.top() - fm.ascent());
    const int below = std::max(0, ink.bottom() + 1 - fm.descent());
    constexpr int kMargins = 4;
    return std::max(ValueGrid::kRowHeight, fm.height() + 2 * std::max(above, below) + kMargins + 1);
}

int ValueGrid::FittingRowHeight() const
{
    return RowHeightFor(font());
}

void ValueGrid::FitRowHeight()
{
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(FittingRowHeight());
}

void ValueGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FitRowHeight();
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
    horizontalHeader()->resizeSection(0, kIdColumnWidth);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    connect(model, &StringTableModel::entriesAboutToChange, this, [this] {
        LeaveCell();
        m_changing = true;
    });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (m_editIndex.isValid() && m_editIndex.row() >= topLeft.row() &&
                    m_editIndex.row() <= bottomRight.row())
                    MarkEditor();
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
    else if (!IsPassingFocus(event->reason())) {
        // Taking the focus places the editor anew: the cell's text, whole
        // selected. Its row was reported when it came to this cell.
        m_originalText = m_lastText = m_editor->text();
        m_editor->selectAll();
    }
    if (m_editor)
        m_editor->setFocus(event->reason());
}

void ValueGrid::mousePressEvent(QMouseEvent* event)
{
    // A key cell never becomes current; clicking one changes nothing.
    if (IsOutsideColumn(*this, event->position().toPoint(), 1)) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ValueGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (IsOutsideColumn(*this, event->position().toPoint(), 1)) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

QModelIndex ValueGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    return InColumn(QTableView::moveCursor(action, modifiers), 1);
}

void ValueGrid::MoveByKey(const QKeyEvent& event)
{
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    const std::optional<int> target =
        KeyTargetRow(event, row, m_model->rowCount() - 1, PageRows(viewport()->height(), rowHeight(0)));
    if (target && *target != row)
        setCurrentIndex(m_model->index(*target, 1));
}

bool ValueGrid::RaiseKeyPress(char32_t& key)
{
    if (!m_onKeyPress)
        return true;
    return RaiseGuarded([&] { m_onKeyPress(key); }, key, m_onError);
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
    const TextFromShown bytes = ShownToText(text.toStdU32String());
    if (!bytes.text) {
        // A pasted character without a byte: the change is refused whole.
        const int cursor = std::min(m_editor->cursorPosition(), static_cast<int>(m_lastText.size()));
        m_editor->setText(m_lastText);
        m_editor->setCursorPosition(cursor);
        RefuseCharacter(bytes.missing);
        return;
    }
    m_lastText = text;
    const QModelIndex index = m_editIndex;
    RaiseSetEditText(index, text);
    m_model->WriteBack(index.row(), *bytes.text); // its dataChanged marks the editor
}

void ValueGrid::RefuseCharacter(char32_t c)
{
    QApplication::beep();
    if (!m_editor)
        return;
    const QString text = QString::fromStdString(CharacterName(c)) +
                         QStringLiteral(" cannot be saved in this file");
    QToolTip::showText(m_editor->mapToGlobal(m_editor->rect().bottomLeft()), text, m_editor);
}

void ValueGrid::MarkEditor()
{
    if (!m_editor || !m_editIndex.isValid())
        return;
    const QVariant tint = m_model->Background(m_editIndex.row());
    const QColor base = tint.isValid() ? tint.value<QColor>() : palette().color(QPalette::Base);
    if (m_editor->palette().color(QPalette::Base) == base)
        return; // a new palette costs the editor a restyle
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, base);
    m_editor->setPalette(palette);
}

QString ValueGrid::EditorToolTip() const
{
    return m_model && m_editIndex.isValid() ? m_model->ToolTip(m_editIndex.row()) : QString();
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
    if (editor != m_editor || m_leaving || IsPassingFocus(reason))
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
    MarkEditor();
    if (hasFocus())
        m_editor->setFocus(Qt::OtherFocusReason);
    RaiseSetEditText(index, m_originalText);
}

} // namespace tavolin
