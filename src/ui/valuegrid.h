#pragma once

#include <exception>
#include <functional>

#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTableView>

namespace tavolin {

class StringTableModel;
class ValueGrid;

// The one-line editor that sits on the grid's current cell. It raises the
// grid's key-press notification before each typed character takes effect.
class CellEditor : public QLineEdit {
    Q_OBJECT
public:
    CellEditor(ValueGrid& grid, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Text committed by an input method is typed, one character at a time.
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // One printable character, from a key or an input method: judged, then inserted.
    void Type(char32_t c);

    ValueGrid& m_grid;
};

// The key/value grid: only value cells can be current, the cell editor always
// sits on the current cell, and two notifications tell what the user does:
// OnKeyPress before every typed character (the handler may cancel it by
// setting it to 0), OnSetEditText after every change, when the editor leaves
// a cell, and when it is placed on one (so the row of the first character
// typed in a new cell is known).
class ValueGrid : public QTableView {
    Q_OBJECT
public:
    using KeyPressHandler = std::function<void(char32_t& key)>;
    using EditTextHandler = std::function<void(int column, int row, const QString& value)>;
    using ErrorHandler = std::function<void(std::exception_ptr)>;

    explicit ValueGrid(QWidget* parent = nullptr);
    ~ValueGrid() override;

    void SetModel(StringTableModel* model);
    void SetKeyPressHandler(KeyPressHandler handler) { m_onKeyPress = std::move(handler); }
    void SetEditTextHandler(EditTextHandler handler) { m_onSetEditText = std::move(handler); }
    // Errors of the key-press handler: the character is cancelled, then this.
    void SetErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    // Makes the model tell the views about changed entries and puts the
    // editor back on the current cell, now rather than when events next run.
    void Settle();

    // While set, typed keys are swallowed (a command is running).
    void SetInputBlocked(bool blocked) { m_inputBlocked = blocked; }

    [[nodiscard]] CellEditor* Editor() const { return m_editor; }
    // Current row of the grid, counting the title row as 0.
    [[nodiscard]] int CurrentGridRow() const;
    void SetCurrentGridRow(int row);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    friend class CellEditor;

    // Returns false when the character must have no effect.
    bool RaiseKeyPress(char32_t& key);
    void RaiseSetEditText(const QModelIndex& index, const QString& text);
    void EditorTextEdited(const QString& text);
    void EditorLostFocus(CellEditor* editor, Qt::FocusReason reason);
    void RestoreOriginalText();
    void Navigate(QKeyEvent* event);
    void LeaveCell();
    void PlaceEditor();

    StringTableModel* m_model = nullptr;
    KeyPressHandler m_onKeyPress;
    EditTextHandler m_onSetEditText;
    ErrorHandler m_onError;
    CellEditor* m_editor = nullptr;
    QPersistentModelIndex m_editIndex;
    QString m_originalText; // what the cell held when the editor was placed
    QString m_lastText;     // last text that converted to bytes
    bool m_changing = false; // between "entries about to change" and settling
    bool m_leaving = false;
    bool m_inputBlocked = false;
};

// Makes CellEditors and leaves every key to them.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CellDelegate(ValueGrid& grid) : QStyledItemDelegate(&grid), m_grid(grid) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget*, const QModelIndex&) const override {}
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

protected:
    bool eventFilter(QObject*, QEvent*) override { return false; }

private:
    ValueGrid& m_grid;
};

} // namespace tavolin
