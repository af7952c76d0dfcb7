#pragma once

#include <exception>
#include <functional>
#include <memory>
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
    [[nodiscard]] const std::string& CurrentFileName() const { return m_currentFileName; }
    [[nodiscard]] bool IsLoading() const { return m_isLoading; }
    [[nodiscard]] bool IsCaptionFile() const { return m_isCaptionFile; }
    [[nodiscard]] int EditRow() const { return m_editRow; }

    // Controls that tests and benchmarks drive.
    [[nodiscard]] ValueGrid* vle() const { return m_vle.get(); }
    [[nodiscard]] QToolBar* ToolBar1() const { return m_toolBar1; }
    [[nodiscard]] QAction* Save1() const { return m_save1; }
    [[nodiscard]] QAction* Exit1() const { return m_exit1; }
    [[nodiscard]] QAction* About1() const { return m_about1; }
    [[nodiscard]] QFileDialog* OpenDialog1() const { return m_openDialog1; }

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
    // Throws SaveRefused when the texts outgrow a caption file's 255 bytes.
    void RefuseOversizedCaptionFile() const;
    void BuildMenu();

    MessageSink& m_messages;
    DialogRunner m_runDialog;

    // Members go in reverse order of declaration, before QObject deletes
    // the window's other children: the grid (a child too, which leaves the
    // window when it goes) before the model it shows, the model before the
    // tables it observes.
    StringTables m_tables;
    std::unique_ptr<StringTableModel> m_model;
    std::unique_ptr<ValueGrid> m_vle; // the central widget

    std::string m_currentFileName;
    bool m_isLoading = false;
    bool m_isCaptionFile = false;
    int m_editRow = 0;

    // Children of the window.
    QToolBar* m_coolBar1 = nullptr;
    QToolBar* m_toolBar1 = nullptr;
    QMenu* m_mainMenu1 = nullptr;
    QMenu* m_file1 = nullptr;
    QMenu* m_help1 = nullptr;
    QAction* m_about1 = nullptr;
    QAction* m_open1 = nullptr;
    QAction* m_save1 = nullptr;
    QAction* m_n1 = nullptr;
    QAction* m_exit1 = nullptr;
    QFileDialog* m_openDialog1 = nullptr;
    QStatusBar* m_statusBar1 = nullptr;
    QLabel* m_credit = nullptr;

    bool m_busy = false; // Open is running and lets events through
    bool m_centred = false;
};

} // namespace tavolin
