#include "ui/tform1.h"


#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "codec/errors.h"
#include "codec/reader.h"
#include "codec/writer.h"
#include "ui/about.h"
#include "ui/errordisplay.h"
#include "ui/gridheader.h"
#include "ui/messagesink.h"
#include "codec/savingchanges.h"
#include "ui/stringtablemodel.h"
#include "ui/valuegrid.h"
#include "ui/windowicon.h"

namespace tavolin {

namespace {

constexpr char32_t kBackspace = 8;

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

    vle = new ValueGrid(this);
    vle->setObjectName("vle");
    vle->setHorizontalHeader(new GridHeader(vle));
    m_model = new StringTableModel(m_tables.vle, m_tables.vle3, this);
    vle->SetModel(m_model);
    vle->SetKeyPressHandler([this](char32_t& key) { vleKeyPress(vle, key); });
    vle->SetEditTextHandler([this](int column, int row, const QString& value) {
        vleSetEditText(vle, column, row, value);
    });
    vle->SetErrorHandler([this](std::exception_ptr error) { ShowError(error); });
    setCentralWidget(vle);

    BuildMenu();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    m_credit = new QLabel(QStringLiteral("Developer by %1 (%2)")
                              .arg(QString::fromLatin1(kDeveloperName),
                                   QString::fromLatin1(kHomePage)),
                          StatusBar1);
    StatusBar1->addWidget(m_credit, 1);
    setStatusBar(StatusBar1);

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setNameFilter(QStringLiteral("Symbian Resource (*.rsc)"));
    OpenDialog1->setDefaultSuffix(QStringLiteral("rsc"));
    OpenDialog1->setFileMode(QFileDialog::AnyFile); // names of missing files too
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setOption(QFileDialog::ReadOnly, false);

    vle->setFocus();
}

TForm1::~TForm1()
{
    // The model goes before the tables it observes.
    delete m_model;
    m_model = nullptr;
}

void TForm1::BuildMenu()
{
    MainMenu1 = new QMenu(this);
    File1 = MainMenu1->addMenu(QStringLiteral("File"));
    Open1 = File1->addAction(QStringLiteral("Open"));
    Save1 = File1->addAction(QStringLiteral("Save"));
    N1 = File1->addSeparator();
    Exit1 = File1->addAction(QStringLiteral("Exit"));
    Help1 = MainMenu1->addMenu(QStringLiteral("Help"));
    About1 = Help1->addAction(QStringLiteral("About"));
    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(Save1, &QAction::triggered, this, &TForm1::Save1Click);
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);

    CoolBar1 = new QToolBar(this);
    CoolBar1->setObjectName("CoolBar1");
    CoolBar1->setMovable(false);
    CoolBar1->setFloatable(false);
    CoolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The tool bar stands in for a menu bar: one flat button per top-level
    // entry, dropping its submenu down below it.
    for (QAction* entry : MainMenu1->actions()) {
        auto* button = new QToolButton(ToolBar1);
        button->setText(entry->text());
        button->setMenu(entry->menu());
        button->setPopupMode(QToolButton::InstantPopup);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
        button->setObjectName(entry->text() + QStringLiteral("Button"));
        ToolBar1->addWidget(button);
    }
    CoolBar1->addWidget(ToolBar1);
    addToolBar(Qt::TopToolBarArea, CoolBar1);
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
    ShowErrorOf(m_messages, error);
}

void TForm1::RunCommand(const std::function<void()>& command)
{
    // Input handled while Open lets events through must not start another
    // command: a Save then would write the emptied tables over the file.
    if (m_busy)
        return;
    try {
        command();
    } catch (...) {
        ShowError(std::current_exception());
    }
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
    OpenDialog1->selectFile(QString::fromStdString(CurrentFileName));
    const std::optional<QString> chosen = m_runDialog(*OpenDialog1);
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
            w.vle->SetInputBlocked(true);
        }
        ~Busy()
        {
            // Whatever stopped the Open, the grid shows what the tables hold.
            w.vle->Settle();
            w.vle->SetInputBlocked(false);
            w.m_busy = false;
            // The user types at once after an Open: the grid takes the keys
            // even when the window is not active again yet (the focus then
            // waits for it), whichever widget held them before the dialog.
            w.activateWindow();
            QWidget* focus = w.focusWidget();
            if (focus != w.vle && !w.vle->isAncestorOf(focus))
                w.vle->setFocus(Qt::OtherFocusReason);
        }
    } busy(*this);

    vle->hide();
    QCoreApplication::processEvents();
    m_tables.vle.RemoveAllEntries();
    m_tables.vle2.RemoveAllEntries();
    m_tables.vle3.RemoveAllEntries();
    vle->show();
    vle->setFocus();
    QCoreApplication::processEvents();
    IsLoading = true;
    CurrentFileName = path.toStdString();
    IsCaptionFile = IsCaptionPath(CurrentFileName);
    // The scan records what a save rewrites; the strings read before an
    // error are marked too.
    SavingChanges changes;
    try {
        ScanResourceFile(CurrentFileName, m_tables, &changes);
    } catch (...) {
        m_model->SetSavingChanges(std::move(changes));
        throw;
    }
    IsLoading = false;
    m_model->SetSavingChanges(std::move(changes));
}

void TForm1::Save()
{
    if (CurrentFileName.empty())
        return;
    // Only part of the file (or nothing) was read: writing would cut it short.
    if (IsLoading)
        throw SaveRefused("The file was not read to its end and is not saved; open it again "
                          "before saving");
    SaveTables(CurrentFileName, m_tables, IsCaptionFile);
}

void TForm1::vleSetEditText(QObject*, int, int ARow, const QString&)
{
    EditRow = ARow;
}

void TForm1::vleKeyPress(QObject*, char32_t& Key)
{
    if (IsLoading)
        return;
    if (IsCaptionFile)
        return;
    if (m_tables.vle.CellText(1, EditRow).empty())
        return;
    const std::string key = m_tables.vle.CellText(0, EditRow);
    if (Key == kBackspace)
        return;
    const std::size_t length = m_tables.vle.CellText(1, EditRow).size();
    const std::string capacity = m_tables.vle3.ValueOf(key);
    // Rows without a capacity are not judged: the placeholder row before any
    // Open, the title row, an entry typed into an empty table.
    if (CurrentFileName.empty() || capacity.empty())
        return;
    if (static_cast<long long>(length) + 1 > StrToInt(capacity)) {
        m_messages.ShowMessage(QStringLiteral("Full Field"));
        Key = 0;
    }
}

} // namespace tavolin
