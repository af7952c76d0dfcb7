#pragma once

// The grid of a document read by resource structure: ID, Source and Value.
//
// It follows the marker grid's rules (ValueGrid) where they apply: only
// Value cells can be current, and the current cell starts at the first row;
// Up, Down, PageUp and PageDown move it, Ctrl+Up and Ctrl+Down to the first
// and last row; Tab is left to the window's focus navigation. An editor
// (TextCellEditor) sits on the current cell when its text can be edited (a
// guessed text only while the model allows it) and writes every change back
// at once, so moving to another row keeps the edit. Escape gives the cell
// back the text it had when the editor was placed. Every typed character is
// raised to the key-press handler with its row first; a character the text
// cannot hold is refused with a beep and a tool tip that names it.
// Rows are as tall as their texts' lines.

#include <exception>
#include <functional>

#include <QPersistentModelIndex>
#include <QTableView>

class QKeyEvent;

namespace tavolin {

class DocumentModel;
class TextCellEditor;

class TextGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int kIdColumnWidth = 61;

    // `row` counts from 0, the first text.
    using KeyPressHandler = std::function<void(int row, char32_t& key)>;
    using ErrorHandler = std::function<void(std::exception_ptr)>;

    explicit TextGrid(QWidget* parent = nullptr);
    ~TextGrid() override;

    void SetModel(DocumentModel* model);
    void SetKeyPressHandler(KeyPressHandler handler) { m_onKeyPress = std::move(handler); }
    void SetErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }
    // While set, typed keys are swallowed (a command is running).
    void SetInputBlocked(bool blocked) { m_inputBlocked = blocked; }

    // After the model was given another document or the editable rows
    // changed: rows fitted to their lines, current cell kept or at the first
    // row, editor placed anew.
    void Reload();

    [[nodiscard]] TextCellEditor* Editor() const { return m_editor; }
    // The current row from 0, or -1 when there is none.
    [[nodiscard]] int CurrentRow() const;
    void SetCurrentRow(int row);

    // What the cell editor asks of its grid.
    [[nodiscard]] bool InputBlocked() const { return m_inputBlocked; }
    [[nodiscard]] bool CanHold(char32_t c) const;
    bool RaiseKeyPress(char32_t& key);
    void MoveByKey(const QKeyEvent& event);
    void RestoreOriginalText();
    void EditorTextChanged();
    void EditorLostFocus(TextCellEditor* editor, Qt::FocusReason reason);
    void RefuseCharacter(char32_t c);
    [[nodiscard]] QString EditorToolTip() const;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void LeaveCell();
    void PlaceEditor();
    void FitRow(int row);
    [[nodiscard]] int LineHeight() const;
    [[nodiscard]] int SingleRowHeight() const;

    DocumentModel* m_model = nullptr;
    KeyPressHandler m_onKeyPress;
    ErrorHandler m_onError;
    TextCellEditor* m_editor = nullptr;
    QPersistentModelIndex m_editIndex;
    QString m_originalText; // the cell's text when the editor was placed
    QString m_lastText;     // the last text the document took
    bool m_placing = false;
    bool m_leaving = false;
    bool m_inputBlocked = false;
};

} // namespace tavolin
