#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>

#include "document/resourcetexts.h"
#include "tables/stringtable.h"

class QAction;
class QActionGroup;
class QStackedWidget;
class QFileDialog;
class QLabel;
class QMenu;
class QToolBar;
class QStatusBar;

namespace tavolin {

class Document;
class DocumentModel;
struct DocumentText;
class MessageSink;
class StringTableModel;
class TextGrid;
class ValueGrid;

// The editor's one window: the grid of texts, a tool bar that carries the
// menu, a status bar, and the commands Open, Save, About and Exit. A file is
// opened as a Document: read by markers, its strings go into the three
// string tables and the key/value grid `vle`; read by resource structure,
// its texts show in the grid of ID, Source and Value (TextGrid) and a save
// rebuilds the file. The Reading menu chooses the reading. Every
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
    // The reading of the next Open: nothing for each file's own (by resource
    // for a file of a resource format, by markers otherwise).
    void SetReading(std::optional<ReadBy> by);
    // The Reading menu's commands: the reading changes and the current file
    // is opened again; edits not saved stop them with a message.
    void ReadByClick(ReadBy by);
    void EditGuessedClick(bool on);

    // Shows an error that ended a command or a key.
    void ShowError(std::exception_ptr error);

    // Replaces how OpenDialog1 is run (tests answer it at once).
    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    [[nodiscard]] const StringTables& Tables() const { return m_tables; }
    [[nodiscard]] StringTableModel& Model() const { return *m_model; }
    // The file open now, or nullptr before an Open or after a failed one.
    [[nodiscard]] const Document* CurrentDocument() const { return m_document.get(); }
    [[nodiscard]] DocumentModel& TextModel() const { return *m_textModel; }
    [[nodiscard]] std::optional<ReadBy> ReadingAsked() const { return m_readingAsked; }
    [[nodiscard]] bool EditGuessed() const { return m_editGuessed; }
    // What the status bar tells of the reading.
    [[nodiscard]] QString ReadingText() const;

    // Window state, shared by the commands and the edit length guard.
    [[nodiscard]] const std::string& CurrentFileName() const { return m_currentFileName; }
    [[nodiscard]] bool IsLoading() const { return m_isLoading; }
    [[nodiscard]] bool IsCaptionFile() const { return m_isCaptionFile; }
    [[nodiscard]] int EditRow() const { return m_editRow; }

    // Controls that tests and benchmarks drive.
    [[nodiscard]] ValueGrid* vle() const { return m_vle.get(); }
    [[nodiscard]] TextGrid* Texts() const { return m_texts.get(); }
    [[nodiscard]] QAction* ByResource1() const { return m_byResource1; }
    [[nodiscard]] QAction* ByMarker1() const { return m_byMarker1; }
    [[nodiscard]] QAction* EditGuessed1() const { return m_editGuessed1; }
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
    // The same guard on a text read by resource structure, with the text's
    // own limit (in UTF-16 units) as its capacity.
    void TextKeyPress(int row, char32_t& Key);

    void RunCommand(const std::function<void()>& command);
    void Open();
    void OpenFile(const QString& path);
    void Save();
    // Save of a document read by resource structure.
    void SaveTexts();
    // The texts edited since the Open and not saved.
    [[nodiscard]] bool HasUnsavedEdits() const;
    // By resource: the texts the file holds now, the document's sources
    // after an Open, its texts after a Save.
    void RememberSavedTexts(std::u16string DocumentText::*which);
    void ShowReading();
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
    std::unique_ptr<ValueGrid> m_vle; // in the central widget
    // The file open now, the grid's model over it and the grid; the grid
    // goes first, the document last.
    std::unique_ptr<Document> m_document;
    std::unique_ptr<DocumentModel> m_textModel;
    std::unique_ptr<TextGrid> m_texts; // in the central widget
    std::optional<ReadBy> m_readingAsked;
    bool m_editGuessed = false;
    bool m_markerEdited = false; // a value of `vle` changed since the Open or Save
    std::vector<std::u16string> m_savedTexts; // by resource: the texts the file holds now

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
    QMenu* m_reading1 = nullptr;
    QActionGroup* m_readings = nullptr;
    QAction* m_byResource1 = nullptr;
    QAction* m_byMarker1 = nullptr;
    QAction* m_editGuessed1 = nullptr;
    QStackedWidget* m_grids = nullptr; // the central widget: `vle` or the texts
    QLabel* m_readingLabel = nullptr;
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
