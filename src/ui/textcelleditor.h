#pragma once

#include <QPlainTextEdit>

namespace tavolin {

class TextGrid;

// The editor on the current Value cell of a document read by resource
// structure. It holds several lines: Shift+Enter types a line feed, Ctrl+Tab
// a tab (Tab itself stays the window's focus navigation). Every typed
// character is raised as the grid's key-press notification before it takes
// effect, as in the marker reading's editor; a carriage return shows as ␍.
class TextCellEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    TextCellEditor(TextGrid& grid, QWidget* parent);

    // The text as the document holds it, and back.
    [[nodiscard]] QString Text() const;
    void SetText(const QString& text);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The lines sit in the middle of the cell, as the grid paints them.
    void CentreText();
    // One character from a key or an input method: judged, then inserted.
    void Type(char32_t c);
    // Selects all, or with all selected, puts the caret at the end.
    void ToggleSelectAll();

    TextGrid& m_grid;
};

} // namespace tavolin
