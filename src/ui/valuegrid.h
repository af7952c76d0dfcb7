#pragma once

// The key/value grid and the protocol of its cell editor.
//
// Only value cells (column 1) can be current, and a CellEditor sits on the
// current cell whenever the grid has a model and is not between "entries
// about to change" and "entries settled".
//
// Placed: on row 1 when a model is set; on the new cell when the current cell
// changes; back on the current cell (row 1 if there is none) when the model's
// entries settle; when the grid takes the focus and the editor is missing or
// elsewhere. Placing shows the cell's text with all of it selected, moves the
// focus into the editor if the grid has it, and remembers that text for
// Escape. The grid taking the focus (other than back from a menu or from
// another window) while the editor is in place counts as placing anew, but
// reports no row: the editor's row was reported when it came to that cell.
//
// Leaves: before the current cell changes to another one; when the model says
// its entries are about to change; when the focus goes to another control
// (not to a menu or another window). Leaving keeps the focus in the grid if
// the editor had it.
//
// Notifications: OnKeyPress before every typed character (printable ones,
// Enter, Escape, Backspace, Ctrl+letter); the handler may cancel it by setting
// it to 0, and an error it throws cancels it too and goes to the error
// handler. OnSetEditText(column, row, text) after every change of the text,
// when the editor is placed (so the row of the first character typed in a new
// cell is known) and when it leaves. Rows count the title row as 0.
//
// Keys: Up, Down, PageUp, PageDown move the current cell (Ctrl+Up and
// Ctrl+Down to the first and last row); Escape gives the cell back the text it
// had when the editor was placed, before it is judged; a change bringing a
// character that has no byte is refused whole, with a beep and a tool tip at
// the cell that names it; while input is blocked every key is swallowed.
//
// Sizes: rows are as high as the font needs for Thai letters with their marks
// stacked above and below, and the editor takes the row's tint and tool tip.

#include <exception>
#include <functional>

#include <QPersistentModelIndex>
#include <QTableView>

class QKeyEvent;

namespace tavolin {

class CellEditor;
class StringTableModel;

// The characters the key-press notification carries for keys that send one.
inline constexpr char32_t kBackspace = 8;
inline constexpr char32_t kEnter = 13;
inline constexpr char32_t kEscape = 27;
inline constexpr char32_t kCtrlC = 3;
inline constexpr char32_t kCtrlV = 22;
inline constexpr char32_t kCtrlX = 24;

// The grid font: the given one with fonts that draw Thai with its marks in
// place (and control pictures) behind it.
[[nodiscard]] QFont GridFont(const QFont& base);
// The height of a one-line row in `font`, Thai marks above and below
// included.
[[nodiscard]] int RowHeightFor(const QFont& font);

// The key/value grid; its editor follows the protocol above.
class ValueGrid : public QTableView {
    Q_OBJECT
public:
    // The least height of a row (the font may ask for more), and the fixed
    // width of the ID column.
    static constexpr int kRowHeight = 18;
    static constexpr int kIdColumnWidth = 61;

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

    // What the cell editor asks of its grid.
    [[nodiscard]] bool InputBlocked() const { return m_inputBlocked; }
    // Raises OnKeyPress; false when the character must have no effect.
    bool RaiseKeyPress(char32_t& key);
    // An arrow or page key: moves the current cell.
    void MoveByKey(const QKeyEvent& event);
    // Escape: the text the cell had when the editor was placed.
    void RestoreOriginalText();
    // The user changed the editor's text.
    void EditorTextEdited(const QString& text);
    void EditorLostFocus(CellEditor* editor, Qt::FocusReason reason);
    // A typed or pasted character that has no byte, or whose byte would not
    // come back as it: a beep and a tool tip at the cell.
    void RefuseCharacter(char32_t c);
    // The tool tip of the row the editor sits on, made when it is asked for.
    [[nodiscard]] QString EditorToolTip() const;
    // The height rows get from the current font.
    [[nodiscard]] int FittingRowHeight() const;

protected:
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void RaiseSetEditText(const QModelIndex& index, const QString& text);
    void LeaveCell();
    void PlaceEditor();
    void FitRowHeight();
    // The editor shows its row's tint.
    void MarkEditor();

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

} // namespace tavolin
