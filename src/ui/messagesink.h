#pragma once

#include <QString>

class QWidget;

namespace tavolin {

// Room a window manager's title bar takes beside the title itself (icon and
// buttons): a message window is at least this much wider than its title.
inline constexpr int kTitleBarControlsWidth = 200;

// Where the program's message windows go. The window only ever talks to this,
// so tests can read what would be shown without running a modal loop.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Stop icon, one OK button.
    virtual void ShowError(const QString& text) = 0;
    // No icon, one OK button, centred (About, "Full Field").
    virtual void ShowMessage(const QString& text) = 0;
    // Warning icon, Yes and No (the default): whether the user goes on.
    virtual bool Ask(const QString& text) = 0;
};

// The real thing: modal QMessageBoxes headed by the application title, each
// wide enough for the window manager to show that title.
class MessageBoxSink : public MessageSink {
public:
    explicit MessageBoxSink(QString title) : m_title(std::move(title)) {}
    void ShowError(const QString& text) override;
    void ShowMessage(const QString& text) override;
    bool Ask(const QString& text) override;

private:
    QString m_title;
};

} // namespace tavolin
