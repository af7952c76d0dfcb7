#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include <QMainWindow>

#include "tables/stringtable.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QToolBar;
class QStatusBar;

namespace tavolin {

class MessageSink;
class StringTableModel;
class ValueGrid;

// The editor's one window: the grid of texts, a tool bar that carries the
// menu, a status bar, and the commands Open, Save, About and Exit. Every
// command catches what escapes it and shows it by the error display rule, so
// commands can be called directly as well as from the menu.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Runs the open-file dialog; returns the chosen path, or nothing on cancel.
    using DialogRunner = std::function<std::optional<QString>(QFileDialog& dialog)>;

    explicit TForm1(MessageSink& messages, QWidget* parent = nullptr);
    ~TForm1() override;

    // The commands.
    void Open1Click();
    void Save1Click();
    void About1Click();
    void Exit1Click();
    // Open without the dialog, for a file named on the command line: `path`
    // is made absolute, then everything goes on as if the dialog had
    // returned it.
    void OpenFileClick(const QString& path);

    // Shows an error that ended a command or a key.
    void ShowError(std::exception_ptr error);

    // Replaces how OpenDialog1 is run (tests answer it at once).
    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    [[nodiscard]] const StringTables& Tables() const { return m_tables; }
    [[nodiscard]] StringTableModel& Model() const { return *m_model; }

    // Window state, shared by the commands and the edit length guard.
    std::string CurrentFileName;
    bool IsLoading = false;
    bool IsCaptionFile = false;
    int EditRow = 0;

    ValueGrid* vle = nullptr;
    QToolBar* CoolBar1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QMenu* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* About1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Exit1 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The edit length guard.
    void vleKeyPress(QObject* Sender, char32_t& Key);
    void vleSetEditText(QObject* Sender, int ACol, int ARow, const QString& Value);

    void RunCommand(const std::function<void()>& command);
    void Open();
    void OpenFile(const QString& path);
    void Save();
    void BuildMenu();

    MessageSink& m_messages;
    StringTables m_tables;
    StringTableModel* m_model = nullptr;
    QLabel* m_credit = nullptr;
    DialogRunner m_runDialog;
    bool m_busy = false;       // Open is running and lets events through
    bool m_centred = false;
};

} // namespace tavolin
