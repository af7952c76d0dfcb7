#pragma once

#include <QLineEdit>

namespace tavolin {

class ValueGrid;

// The one-line editor that sits on the grid's current cell (see ValueGrid for
// when). It owns no state of the grid: keys and focus changes go to the grid
// through its editor interface, and every typed character is raised as the
// grid's key-press notification before it takes effect.
class CellEditor : public QLineEdit {
    Q_OBJECT
public:
    CellEditor(ValueGrid& grid, QWidget* parent);

protected:
    // The tool tip is its row's, as it is when asked.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Text committed by an input method is typed, one character at a time.
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // One printable character, from a key or an input method: judged, then inserted.
    void Type(char32_t c);

    ValueGrid& m_grid;
};

} // namespace tavolin
