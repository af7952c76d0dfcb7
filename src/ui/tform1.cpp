#include "ui/tform1.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "document/document.h"
#include "file/errors.h"
#include "file/safesave.h"
#include "codec/format.h"
#include "codec/reader.h"
#include "codec/writer.h"
#include "ui/about.h"
#include "ui/documentmodel.h"
#include "ui/errordisplay.h"
#include "ui/gridheader.h"
#include "ui/messagesink.h"
#include "codec/savingchanges.h"
#include "ui/stringtablemodel.h"
#include "ui/textgrid.h"
#include "ui/valuegrid.h"
#include "ui/windowicon.h"

namespace tavolin {

namespace {

// Room for a folder's names, sizes and dates side by side, and the places.
constexpr int kOpenDialogWidth = 820;
constexpr int kOpenDialogHeight = 480;

// A name typed into the dialog leaves its completion list open when Enter
// accepts the dialog; the list is a popup, so every key would go to it (and to
// the hidden dialog behind it) instead of to the grid. Close it with the dialog.
void ClosePopupsOf(QFileDialog& dialog)
{
    for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
        if (QAbstractItemView* popup = completer->popup(); popup && popup->isVisible())
            popup->hide();
    }
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (popup != &dialog && !dialog.isAncestorOf(popup) && popup->parentWidget() &&
            !dialog.isAncestorOf(popup->parentWidget()))
            break; // someone else's popup
        popup->close();
    }
}

// The credit gives way to the window's width: it is cut short with "…"
// rather than holding the window wide.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    [[nodiscard]] QSize minimumSizeHint() const override
    {
        return {0, QLabel::minimumSizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        painter.drawText(area, static_cast<int>(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
    }
};

// The dialog shows names, sizes, kinds and dates whole: each column as wide
// as its contents once the folder is read, the dialog wide enough for them.
void FitFileColumns(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view || !view->model())
        return;
    // The places on the left ("Computer", the home folder) whole as well.
    auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
    const QAbstractItemView* places = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    if (splitter && places && splitter->count() == 2) {
        const int needed = places->sizeHintForColumn(0) + 2 * places->frameWidth() +
                           places->verticalScrollBar()->sizeHint().width();
        QList<int> sizes = splitter->sizes();
        if (sizes.at(0) < needed) {
            sizes[1] = std::max(0, sizes.at(1) - (needed - sizes.at(0)));
            sizes[0] = needed;
            splitter->setSizes(sizes);
        }
    }
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < header->count(); ++column)
        view->resizeColumnToContents(column);
    const int missing = header->length() - view->viewport()->width();
    if (missing > 0) {
        const QRect screen = dialog.screen() ? dialog.screen()->availableGeometry() : QRect();
        const int width = dialog.width() + missing + view->verticalScrollBar()->sizeHint().width();
        dialog.resize(screen.isValid() ? std::min(width, screen.width()) : width, dialog.height());
    }
}

std::optional<QString> RunFileDialog(QFileDialog& dialog)
{
    const int result = dialog.exec();
    ClosePopupsOf(dialog);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

} // namespace

TForm1::TForm1(MessageSink& messages, QWidget* parent)
    : QMainWindow(parent), m_messages(messages), m_runDialog(RunFileDialog)
{
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setWindowIcon(WindowIcon());
    // 454 x 369 outside on the original system; the client area of that size
    // is what can be kept here, the frame belongs to the window manager.
    resize(446, 335);

    // What the grid shows before any Open.
    m_tables.vle.AppendEntry("-", "- Open RSC File for Edit -");
    m_tables.vle2.AppendEntry("-", "-");
    m_tables.vle3.AppendEntry("-", "-");

    m_model = std::make_unique<StringTableModel>(m_tables.vle, m_tables.vle3);
    m_vle = std::make_unique<ValueGrid>(this);
    m_vle->setObjectName("vle");
    m_vle->setHorizontalHeader(new GridHeader(m_vle.get()));
    m_vle->SetModel(m_model.get());
    m_vle->SetKeyPressHandler([this](char32_t& key) { vleKeyPress(m_vle.get(), key); });
    m_vle->SetEditTextHandler([this](int column, int row, const QString& value) {
        vleSetEditText(m_vle.get(), column, row, value);
    });
    m_vle->SetErrorHandler([this](std::exception_ptr error) { ShowError(std::move(error)); });
    // Only the user's edits of a marker reading, not what an Open or a
    // Save does to the table.
    connect(m_model.get(), &QAbstractItemModel::dataChanged, this, [this] {
        if (!m_busy && !m_isLoading)
            m_markerEdited = true;
    });

    m_textModel = std::make_unique<DocumentModel>();
    m_texts = std::make_unique<TextGrid>();
    m_texts->SetModel(m_textModel.get());
    m_texts->SetKeyPressHandler([this](int row, char32_t& key) { TextKeyPress(row, key); });
    m_texts->SetErrorHandler([this](std::exception_ptr error) { ShowError(std::move(error)); });

    m_grids = new QStackedWidget(this);
    m_grids->setObjectName("Grids");
    m_grids->addWidget(m_vle.get());
    m_grids->addWidget(m_texts.get());
    m_grids->setCurrentWidget(m_vle.get());
    setCentralWidget(m_grids);

    BuildMenu();

    m_statusBar1 = new QStatusBar(this);
    m_statusBar1->setObjectName("StatusBar1");
    m_statusBar1->setSizeGripEnabled(false);
    m_credit = new ElidedLabel(QStringLiteral("Developer by %1 (%2)")
                              .arg(QString::fromLatin1(kDeveloperName),
                                   QString::fromLatin1(kHomePage)),
                          m_statusBar1);
    m_readingLabel = new ElidedLabel(m_statusBar1);
    m_readingLabel->setObjectName("Reading");
    m_statusBar1->addWidget(m_readingLabel);
    m_readingLabel->hide();
    m_statusBar1->addWidget(m_credit, 1);
    setStatusBar(m_statusBar1);

    m_openDialog1 = new QFileDialog(this);
    m_openDialog1->setObjectName("OpenDialog1");
    m_openDialog1->setNameFilter(QStringLiteral("Symbian Resource (*.rsc)"));
    m_openDialog1->setDefaultSuffix(QStringLiteral("rsc"));
    m_openDialog1->setFileMode(QFileDialog::AnyFile); // names of missing files too
    m_openDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    m_openDialog1->setOption(QFileDialog::ReadOnly, false);
    m_openDialog1->setViewMode(QFileDialog::Detail);
    m_openDialog1->resize(kOpenDialogWidth, kOpenDialogHeight);
    if (auto* files = m_openDialog1->findChild<QFileSystemModel*>()) {
        connect(files, &QFileSystemModel::directoryLoaded, m_openDialog1,
                [this] { FitFileColumns(*m_openDialog1); });
    }

    m_vle->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::BuildMenu()
{
    m_mainMenu1 = new QMenu(this);
    m_file1 = m_mainMenu1->addMenu(QStringLiteral("File"));
    m_open1 = m_file1->addAction(QStringLiteral("Open"));
    m_save1 = m_file1->addAction(QStringLiteral("Save"));
    m_n1 = m_file1->addSeparator();
    m_exit1 = m_file1->addAction(QStringLiteral("Exit"));
    m_reading1 = m_mainMenu1->addMenu(QStringLiteral("Reading"));
    m_byResource1 = m_reading1->addAction(QStringLiteral("By resource structure"));
    m_byMarker1 = m_reading1->addAction(QStringLiteral("By markers"));
    m_reading1->addSeparator();
    m_editGuessed1 = m_reading1->addAction(QStringLiteral("Edit guessed texts"));
    m_readings = new QActionGroup(this);
    for (QAction* reading : {m_byResource1, m_byMarker1}) {
        reading->setCheckable(true);
        m_readings->addAction(reading);
    }
    m_editGuessed1->setCheckable(true);
    m_help1 = m_mainMenu1->addMenu(QStringLiteral("Help"));
    m_about1 = m_help1->addAction(QStringLiteral("About"));
    connect(m_byResource1, &QAction::triggered, this, [this] { ReadByClick(ReadBy::Resource); });
    connect(m_byMarker1, &QAction::triggered, this, [this] { ReadByClick(ReadBy::Marker); });
    connect(m_editGuessed1, &QAction::triggered, this, &TForm1::EditGuessedClick);
    connect(m_open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(m_save1, &QAction::triggered, this, &TForm1::Save1Click);
    connect(m_exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(m_about1, &QAction::triggered, this, &TForm1::About1Click);

    m_coolBar1 = new QToolBar(this);
    m_coolBar1->setObjectName("CoolBar1");
    m_coolBar1->setMovable(false);
    m_coolBar1->setFloatable(false);
    m_coolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolBar1 = new QToolBar(m_coolBar1);
    m_toolBar1->setObjectName("ToolBar1");
    m_toolBar1->setMovable(false);
    m_toolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The tool bar stands in for a menu bar: one flat button per top-level
    // entry, dropping its submenu down below it.
    for (QAction* entry : m_mainMenu1->actions()) {
        auto* button = new QToolButton(m_toolBar1);
        button->setText(entry->text());
        button->setMenu(entry->menu());
        button->setPopupMode(QToolButton::InstantPopup);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
        button->setObjectName(entry->text() + QStringLiteral("Button"));
        m_toolBar1->addWidget(button);
    }
    m_coolBar1->addWidget(m_toolBar1);
    addToolBar(Qt::TopToolBarArea, m_coolBar1);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Open lets events through; closing then would pull the tables away
    // from under it.
    if (m_busy)
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void TForm1::ShowError(std::exception_ptr error)
{
    ShowErrorOf(m_messages, std::move(error));
}

void TForm1::RunCommand(const std::function<void()>& command)
{
    // Input handled while Open lets events through must not start another
    // command: a Save then would write the emptied tables over the file.
    if (m_busy)
        return;
    std::exception_ptr error;
    try {
        command();
    } catch (...) {
        error = std::current_exception();
    }
    // A save cut off by a crash was put back before this command read or
    // wrote the file: the user should know which bytes the file now holds.
    for (const std::string& notice : TakeRestoreNotices())
        m_messages.ShowMessage(QString::fromStdString(notice));
    if (error)
        ShowError(error);
}

void TForm1::Open1Click()
{
    RunCommand([this] { Open(); });
}

void TForm1::Save1Click()
{
    RunCommand([this] { Save(); });
}

void TForm1::About1Click()
{
    RunCommand([this] {
        m_messages.ShowMessage(QStringLiteral("%1\r\nDeveloper %2\r\n%3")
                                   .arg(QString::fromLatin1(kProgramVersionLine),
                                        QString::fromLatin1(kDeveloperName),
                                        QString::fromLatin1(kHomePage)));
    });
}

void TForm1::Exit1Click()
{
    RunCommand([this] { close(); });
}

void TForm1::OpenFileClick(const QString& path)
{
    // A path handed over by the desktop or typed in a terminal is taken as
    // the dialog would return it: full, so that Save writes where Open read
    // whatever the working folder is later.
    RunCommand([this, &path] { OpenFile(QFileInfo(path).absoluteFilePath()); });
}

void TForm1::Open()
{
    m_openDialog1->selectFile(QString::fromStdString(m_currentFileName));
    const std::optional<QString> chosen = m_runDialog(*m_openDialog1);
    if (!chosen)
        return;
    OpenFile(*chosen);
}

void TForm1::OpenFile(const QString& path)
{
    struct Busy {
        TForm1& w;
        explicit Busy(TForm1& form) : w(form)
        {
            w.m_busy = true;
            w.m_vle->SetInputBlocked(true);
            w.m_texts->SetInputBlocked(true);
        }
        ~Busy()
        {
            // Whatever stopped the Open, the grid shows what the tables hold.
            w.m_vle->Settle();
            w.m_vle->SetInputBlocked(false);
            w.m_texts->SetInputBlocked(false);
            w.m_busy = false;
            w.m_markerEdited = false;
            w.ShowReading();
            // The user types at once after an Open: the grid takes the keys
            // even when the window is not active again yet (the focus then
            // waits for it), whichever widget held them before the dialog.
            w.activateWindow();
            QWidget* focus = w.focusWidget();
            QWidget* grid = w.m_grids->currentWidget();
            if (focus != grid && !grid->isAncestorOf(focus))
                grid->setFocus(Qt::OtherFocusReason);
        }
    } busy(*this);

    // The document read before goes; the marker grid shows while reading.
    m_textModel->SetDocument(nullptr);
    m_document.reset();
    m_grids->setCurrentWidget(m_vle.get());
    m_vle->hide();
    QCoreApplication::processEvents();
    m_tables.vle.RemoveAllEntries();
    m_tables.vle2.RemoveAllEntries();
    m_tables.vle3.RemoveAllEntries();
    m_vle->show();
    m_vle->setFocus();
    QCoreApplication::processEvents();
    m_isLoading = true;
    m_currentFileName = path.toStdString();
    m_isCaptionFile = IsCaptionPath(m_currentFileName);
    m_model->SetCaptionFile(m_isCaptionFile);
    try {
        m_document = std::make_unique<Document>(m_currentFileName,
                                                Document::Options{.by = m_readingAsked, .access = Access::ReadWrite});
    } catch (const ReadingRefused&) {
        throw ReadingRefused("This file is not of a resource format read by resource structure (old, compressed "
                             "or narrow); choose Reading > By markers");
    }
    if (m_document->Reading() == ReadBy::Resource) {
        RememberSavedTexts(&DocumentText::source);
        m_textModel->SetDocument(m_document.get());
        m_grids->setCurrentWidget(m_texts.get());
        m_texts->Reload();
        m_isLoading = false;
        return;
    }
    // The scan records what a save rewrites; the strings read before an
    // error are marked too.
    SavingChanges changes;
    try {
        m_document->ScanInto(m_tables, &changes);
    } catch (...) {
        m_model->SetSavingChanges(std::move(changes));
        throw;
    }
    m_isLoading = false;
    m_model->SetSavingChanges(std::move(changes));
}

void TForm1::RememberSavedTexts(std::u16string DocumentText::*which)
{
    const std::vector<DocumentText>& texts = m_document->Texts();
    m_savedTexts.resize(texts.size());
    std::transform(texts.begin(), texts.end(), m_savedTexts.begin(),
                   [which](const DocumentText& text) { return text.*which; });
}

void TForm1::SetReading(std::optional<ReadBy> by)
{
    m_readingAsked = by;
    ShowReading();
}

bool TForm1::HasUnsavedEdits() const
{
    if (m_document && m_document->Reading() == ReadBy::Resource) {
        const std::vector<DocumentText>& texts = m_document->Texts();
        return !std::equal(texts.begin(), texts.end(), m_savedTexts.begin(), m_savedTexts.end(),
                           [](const DocumentText& text, const std::u16string& saved) { return text.text == saved; });
    }
    return m_markerEdited;
}

void TForm1::ReadByClick(ReadBy by)
{
    RunCommand([this, by] {
        if (!m_currentFileName.empty() && HasUnsavedEdits()) {
            ShowReading(); // the menu keeps showing the reading in use
            throw SaveRefused("The texts have edits that are not saved; save them before the file is read "
                              "another way");
        }
        m_readingAsked = by;
        if (m_currentFileName.empty()) {
            ShowReading();
            return;
        }
        OpenFile(QString::fromStdString(m_currentFileName));
    });
}

void TForm1::EditGuessedClick(bool on)
{
    RunCommand([this, on] {
        m_editGuessed = on;
        m_textModel->SetEditGuessed(on);
        m_texts->Reload();
        ShowReading();
    });
}

QString TForm1::ReadingText() const
{
    return m_readingLabel->text();
}

void TForm1::ShowReading()
{
    const std::optional<ReadBy> reading =
        m_document ? std::optional<ReadBy>(m_document->Reading()) : m_readingAsked;
    m_byResource1->setChecked(reading == ReadBy::Resource);
    m_byMarker1->setChecked(reading == ReadBy::Marker);
    m_editGuessed1->setChecked(m_editGuessed);
    if (!m_document) {
        m_readingLabel->clear();
        m_readingLabel->hide(); // the credit keeps its place
        return;
    }
    QString text = QString::fromStdString(m_document->Summary());
    if (m_document->Reading() == ReadBy::Marker) {
        const std::size_t strings = m_tables.vle.EntryCount();
        text += strings == 0 ? QStringLiteral(": no texts found")
                             : QStringLiteral(": %1 %2").arg(strings).arg(strings == 1 ? "text" : "texts");
    }
    m_readingLabel->setText(text);
    m_readingLabel->setToolTip(text);
    m_readingLabel->show();
}

void TForm1::Save()
{
    if (m_currentFileName.empty())
        return;
    // Only part of the file (or nothing) was read: writing would cut it short.
    if (m_isLoading)
        throw SaveRefused("The file was not read to its end and is not saved; open it again "
                          "before saving");
    if (m_document && m_document->Reading() == ReadBy::Resource) {
        SaveTexts();
        return;
    }
    if (m_isCaptionFile) {
        RefuseOversizedCaptionFile();
    } else {
        RefuseStringsWithoutLengthByte(m_model->AllSavingChanges(), m_tables.vle);
        if (const auto overlong = FindOverlongTexts(m_tables.vle, m_tables.vle3); !overlong.empty()) {
            // The user goes on with the first text that must shrink.
            const std::size_t entry = m_tables.vle.IndexOf(overlong.front().id);
            if (entry < m_tables.vle.EntryCount())
                m_vle->SetCurrentGridRow(static_cast<int>(entry) + 1);
            throw SaveRefused(OverlongTextsMessage(overlong));
        }
    }
    SaveTables(m_currentFileName, m_tables, m_isCaptionFile);
    // The file now holds what the grid shows: nothing is left to change.
    m_model->SetSavingChanges({});
    m_markerEdited = false;
}

void TForm1::SaveTexts()
{
    try {
        m_document->Save(m_currentFileName, m_editGuessed);
    } catch (const TextRefused& refused) {
        // The user goes on with the text that stops the save.
        m_texts->SetCurrentRow(static_cast<int>(refused.Row()));
        throw;
    } catch (const ReadsOtherwise& otherwise) {
        // The file would be sound, only read otherwise here ("X" in the old
        // format, whose bytes read as well as numbers): the user decides.
        if (otherwise.Row())
            m_texts->SetCurrentRow(static_cast<int>(*otherwise.Row()));
        if (!m_messages.Ask(QString::fromStdString(otherwise.what()) +
                            QStringLiteral("\n\nThe file itself would be sound, but the next Open would show the "
                                           "rows otherwise. Save anyway?")))
            return;
        m_document->Save(m_currentFileName, m_editGuessed, true);
    }
    RememberSavedTexts(&DocumentText::text);
}

void TForm1::RefuseOversizedCaptionFile() const
{
    const int bytes = CaptionFileBytes(m_tables.vle);
    if (bytes <= kCaptionLimit)
        return;
    // Every character takes two bytes.
    const int excess = bytes - kCaptionLimit;
    const int characters = (excess + 1) / 2;
    throw SaveRefused("The texts are too long for a caption file: with its header they take " +
                      std::to_string(bytes) + " bytes, " + std::to_string(excess) + " more than the " +
                      std::to_string(kCaptionLimit) + " that fit; shorten them by " +
                      std::to_string(characters) + (characters == 1 ? " character" : " characters") +
                      " in all");
}

void TForm1::vleSetEditText(QObject*, int, int ARow, const QString&)
{
    m_editRow = ARow;
}

void TForm1::TextKeyPress(int row, char32_t& Key)
{
    if (m_isLoading || !m_document || m_document->Reading() != ReadBy::Resource)
        return;
    const DocumentText& text = m_document->Texts().at(static_cast<std::size_t>(row));
    if (text.text.empty())
        return;
    if (Key == kBackspace)
        return;
    if (!text.limit)
        return; // no limit of its own: the file's 64 KiB are checked on saving
    // A character beyond the Basic Multilingual Plane takes two units.
    const std::size_t units = Key > 0xFFFF ? 2 : 1;
    if (text.text.size() + units > *text.limit) {
        m_messages.ShowMessage(QStringLiteral("Full Field"));
        Key = 0;
    }
}

void TForm1::vleKeyPress(QObject*, char32_t& Key)
{
    if (m_isLoading)
        return;
    if (m_isCaptionFile)
        return;
    if (m_tables.vle.CellText(1, m_editRow).empty())
        return;
    const std::string key = m_tables.vle.CellText(0, m_editRow);
    if (Key == kBackspace)
        return;
    const std::size_t length = m_tables.vle.CellText(1, m_editRow).size();
    // A row without a capacity (the title row, the starting row, an entry
    // typed into an empty table) stops here with the conversion error, and
    // the character has no effect.
    const int capacity = StrToInt(m_tables.vle3.ValueOf(key));
    if (static_cast<long long>(length) + 1 > capacity) {
        m_messages.ShowMessage(QStringLiteral("Full Field"));
        Key = 0;
    }
}

} // namespace tavolin
