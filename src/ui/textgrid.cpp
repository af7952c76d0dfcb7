#include "ui/textgrid.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <QApplication>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

#include "codec/displaytext.h"
#include "document/document.h"
#include "ui/documentmodel.h"
#include "ui/gridcells.h"
#include "ui/gridheader.h"
#include "ui/textcelleditor.h"
#include "ui/valuegrid.h"

namespace tavolin {

namespace {

constexpr int kValueColumn = DocumentModel::kValueColumn;
} // namespace

TextGrid::TextGrid(QWidget* parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("texts"));
    setItemDelegate(new CellEditorDelegate<TextCellEditor, TextGrid>(*this));
    setHorizontalHeader(new GridHeader(this));
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setHighlightSections(false);
    // The family the default font resolves to leads the list: the alias
    // "Sans Serif" would leave Cyrillic and Greek to the symbol font behind.
    QFont named = font();
    named.setFamilies({QFontInfo(named).family()});
    setFont(GridFont(named));
    verticalHeader()->setDefaultSectionSize(SingleRowHeight());
}

TextGrid::~TextGrid()
{
    m_leaving = true;
    delete std::exchange(m_editor, nullptr);
}

int TextGrid::LineHeight() const
{
    return QFontMetrics(font()).lineSpacing();
}

int TextGrid::SingleRowHeight() const
{
    return RowHeightFor(font());
}

void TextGrid::SetModel(DocumentModel* model)
{
    m_model = model;
    setModel(model);
    // Section modes only after the model is set.
    horizontalHeader()->setSectionResizeMode(DocumentModel::kIdColumn, QHeaderView::Fixed);
    horizontalHeader()->resizeSection(DocumentModel::kIdColumn, kIdColumnWidth);
    horizontalHeader()->setSectionResizeMode(DocumentModel::kSourceColumn, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(DocumentModel::kValueColumn, QHeaderView::Stretch);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { LeaveCell(); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (topLeft.row() == bottomRight.row())
                    FitRow(topLeft.row());
            });
    Reload();
}

void TextGrid::Reload()
{
    if (!m_model)
        return;
    LeaveCell();
    verticalHeader()->setDefaultSectionSize(SingleRowHeight());
    // Only texts of several lines need a row of their own height.
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->LineCount(row) > 1)
            FitRow(row);
    }
    const QModelIndex current = currentIndex();
    if (m_model->rowCount() == 0)
        return;
    if (!current.isValid() || current.column() != kValueColumn)
        setCurrentIndex(m_model->index(0, kValueColumn));
    else
        PlaceEditor();
}

void TextGrid::FitRow(int row)
{
    if (!m_model || row < 0 || row >= m_model->rowCount())
        return;
    const int height = SingleRowHeight() + (m_model->LineCount(row) - 1) * LineHeight();
    if (rowHeight(row) != height)
        setRowHeight(row, height);
}

int TextGrid::CurrentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TextGrid::SetCurrentRow(int row)
{
    if (m_model && row >= 0 && row < m_model->rowCount()) {
        setCurrentIndex(m_model->index(row, kValueColumn));
        scrollTo(currentIndex());
    }
}

void TextGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current == m_editIndex && m_editor)
        return;
    LeaveCell();
    PlaceEditor();
}

void TextGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    if (m_leaving)
        return;
    if (!m_editor || m_editIndex != currentIndex())
        PlaceEditor();
    if (m_editor)
        m_editor->setFocus(event->reason());
}

void TextGrid::keyPressEvent(QKeyEvent* event)
{
    // The grid has the keys only on a row without an editor (a guessed text).
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        MoveByKey(*event);
        event->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        event->ignore();
        return;
    default:
        break;
    }
    event->accept();
    if (!m_inputBlocked && !event->text().isEmpty() && event->text().front() >= u' ') {
        QApplication::beep();
        QToolTip::showText(viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft()),
                           EditorToolTip(), viewport());
    }
}

void TextGrid::mousePressEvent(QMouseEvent* event)
{
    // ID and Source cells never become current; clicking one changes nothing.
    if (IsOutsideColumn(*this, event->position().toPoint(), kValueColumn)) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void TextGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (IsOutsideColumn(*this, event->position().toPoint(), kValueColumn)) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

QModelIndex TextGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    return InColumn(QTableView::moveCursor(action, modifiers), kValueColumn);
}

void TextGrid::MoveByKey(const QKeyEvent& event)
{
    if (!m_model || m_model->rowCount() == 0)
        return;
    const int row = std::max(0, CurrentRow());
    const std::optional<int> target =
        KeyTargetRow(event, row, m_model->rowCount() - 1, PageRows(viewport()->height(), SingleRowHeight()));
    if (target && (*target != row || CurrentRow() < 0))
        SetCurrentRow(*target);
}

bool TextGrid::CanHold(char32_t c) const
{
    const Document* document = m_model ? m_model->CurrentDocument() : nullptr;
    return document && m_editIndex.isValid() && document->CanHold(static_cast<std::size_t>(m_editIndex.row()), c);
}

bool TextGrid::RaiseKeyPress(char32_t& key)
{
    if (!m_onKeyPress || !m_editIndex.isValid())
        return true;
    return RaiseGuarded([&] { m_onKeyPress(m_editIndex.row(), key); }, key, m_onError);
}

void TextGrid::EditorTextChanged()
{
    if (m_placing || !m_editor || !m_editIndex.isValid())
        return;
    const QString text = m_editor->Text();
    if (text == m_lastText)
        return;
    if (const std::optional<char32_t> refused = m_model->RefusedCharacter(m_editIndex.row(), text)) {
        // A pasted character the file cannot hold: the change is refused whole.
        const int position = std::min(m_editor->textCursor().position(), static_cast<int>(m_lastText.size()));
        m_placing = true;
        m_editor->SetText(m_lastText);
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(position);
        m_editor->setTextCursor(cursor);
        m_placing = false;
        RefuseCharacter(*refused);
        return;
    }
    m_lastText = text;
    m_model->WriteBack(m_editIndex.row(), text);
}

void TextGrid::RefuseCharacter(char32_t c)
{
    QApplication::beep();
    QWidget* at = m_editor ? static_cast<QWidget*>(m_editor) : viewport();
    const QString text = QString::fromStdString(CharacterName(c)) + QStringLiteral(" cannot be saved in this file");
    QToolTip::showText(at->mapToGlobal(at->rect().bottomLeft()), text, at);
}

QString TextGrid::EditorToolTip() const
{
    const QModelIndex current = m_editIndex.isValid() ? QModelIndex(m_editIndex) : currentIndex();
    return m_model && current.isValid() ? m_model->ToolTip(current.row()) : QString();
}

void TextGrid::RestoreOriginalText()
{
    if (!m_editor || m_editor->Text() == m_originalText)
        return;
    m_editor->SetText(m_originalText); // written back through EditorTextChanged
    m_editor->selectAll();
}

void TextGrid::EditorLostFocus(TextCellEditor* editor, Qt::FocusReason reason)
{
    if (editor != m_editor || m_leaving || IsPassingFocus(reason))
        return;
    LeaveCell();
}

void TextGrid::LeaveCell()
{
    if (!m_editor)
        return;
    TextCellEditor* editor = m_editor;
    const QModelIndex index = m_editIndex;
    m_leaving = true;
    if (editor->hasFocus())
        setFocus(Qt::OtherFocusReason); // keep the focus in the grid
    m_editor = nullptr;
    m_editIndex = QPersistentModelIndex();
    closePersistentEditor(index);
    m_leaving = false;
}

void TextGrid::PlaceEditor()
{
    const QModelIndex index = currentIndex();
    if (!m_model || !index.isValid() || !m_model->IsEditable(index.row()))
        return;
    if (m_editor)
        LeaveCell();
    openPersistentEditor(index);
    m_editor = qobject_cast<TextCellEditor*>(indexWidget(index));
    if (!m_editor)
        return;
    m_editIndex = index;
    m_originalText = m_lastText = m_model->Text(index.row());
    m_placing = true;
    m_editor->SetText(m_originalText);
    m_placing = false;
    m_editor->selectAll();
    if (hasFocus())
        m_editor->setFocus(Qt::OtherFocusReason);
}

} // namespace tavolin
