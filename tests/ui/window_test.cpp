// The main window and its commands on real files in a temporary folder.

#include <filesystem>
#include <functional>
#include <new>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QHeaderView>
#include <QClipboard>
#include <QtTest>

#include <cstdio>

#include "file/errors.h"
#include "file/safesave.h"
#include "ui/application.h"
#include "ui/errordisplay.h"
#include "ui/stringtablemodel.h"
#include "version.h"
#include "windowfixture.h"

using namespace tavolin;
using namespace tavolin::test;
namespace fs = std::filesystem;

namespace {

// Takes every write bit away: the file is read-only, also for root.
void MakeReadOnly(const std::string& path)
{
    ::chmod(path.c_str(), 0444);
}

// An object whose events throw, as a command's handler might.
class Thrower : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw IoError(kAccessDenied);
        return QObject::event(e);
    }
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void layoutMenuStatusAndDialog();
    void titleAndErrorDisplayRules();
    void messageWindowsAreWideEnoughForTheirTitle();
    void errorsEscapingEventsAreShownAndTheLoopGoesOn();
    void aboutShowsThreeLinesExitCloses();
    void openThenSaveInPatchModeAndCancel();
    void captionPathsSaveInCaptionMode();
    void missingFileEmptiesTheGridThenTellsAndSaveIsRefused();
    void fileNamedOnTheCommandLineOpensAsFromTheDialog();
    void readOnlyFileIsDeniedAndLeftAlone();
    void aSaveCutOffByACrashIsPutBackAndTold();
    void saveBeforeAnyOpenDoesNothing();
    void commandsDuringOpensPendingEventsAreIgnored();
    void openingAfterALargerFileShowsOnlyTheNewRows();
    void thaiTypedIsSavedInTheThaiBlock();
    void rowsThatChangeOnSavingAreMarked();
    void marksAndToolTipsFollowEveryEdit();
    void textsPastTheirSlotAreMarkedAndSaveGoesToTheFirst();
    void captionTextsShareTheFilesBytes();
    void openDialogShowsNamesSizesAndDatesWhole();
    void creditElidesHelpAndVersionAreAnswered();
    void corpusCaptionFileComesBackByteForByte();
    void typingRightAfterTheRealOpenDialogReachesTheGrid();
};

void WindowTest::layoutMenuStatusAndDialog()
{
    // The tool bar stands in for the menu bar: its buttons drop the menus.
    WindowFixture f;
    QVERIFY(!f.window.menuWidget());
    QStringList captions;
    for (QAction* action : f.window.ToolBar1()->actions()) {
        const auto* button = qobject_cast<QToolButton*>(f.window.ToolBar1()->widgetForAction(action));
        QVERIFY2(button && button->menu() && button->autoRaise(), qPrintable(action->text()));
        captions << button->text();
    }
    QCOMPARE(captions, (QStringList{"File", "Reading", "Help"}));
    QCOMPARE(f.Editor()->text(), QString("- Open RSC File for Edit -"));
}

void WindowTest::titleAndErrorDisplayRules()
{
    QCOMPARE(ApplicationTitle("C:/Tools/EDITOR.EXE"), QString("Editor"));
    QCOMPARE(ApplicationTitle("/usr/bin/tavolin"), QString("tavolin"));
    QCOMPARE(ApplicationTitle("/opt/my.dir/TaVoLin.bin.old"), QString("Tavolin"));
    QCOMPARE(ErrorDisplayText("File not found"), QString("File not found."));
    QCOMPARE(ErrorDisplayText("I/O error 32"), QString("I/O error 32."));
    QCOMPARE(ErrorDisplayText("Done."), QString("Done."));
    QCOMPARE(ErrorDisplayText("Stop!"), QString("Stop!"));
    QCOMPARE(ErrorDisplayText("List index out of bounds (3)"),
             QString("List index out of bounds (3)"));
    QCOMPARE(ErrorDisplayText(""), QString(""));
    QCOMPARE(MessageOf(std::make_exception_ptr(std::bad_alloc())), QString("Out of memory"));
    QCOMPARE(MessageOf(std::make_exception_ptr(ConvertError("-"))),
             QString("'-' is not a valid integer value"));
}

void WindowTest::messageWindowsAreWideEnoughForTheirTitle()
{
    MessageBoxSink sink("Tavolin");
    const std::pair<const char*, std::function<void()>> shows[] = {
        {"message", [&] { sink.ShowMessage("Full Field"); }},
        {"error", [&] { sink.ShowError("Disk full."); }}};
    for (const auto& [kind, show] : shows) {
        int width = 0, needed = 0;
        Qt::WindowFlags flags;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            flags = box->windowFlags();
            width = box->width();
            needed = box->fontMetrics().horizontalAdvance("Tavolin") + kTitleBarControlsWidth;
            box->close();
        });
        show();
        QVERIFY2(width >= needed && needed > 0, qPrintable(QString("%1: %2 < %3").arg(kind).arg(width).arg(needed)));
        // A dialog with a title and a close button only: the window manager
        // is told not to offer minimise and maximise.
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY2(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), kind);
        QVERIFY2(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)), kind);
    }
}

void WindowTest::errorsEscapingEventsAreShownAndTheLoopGoesOn()
{
    RecordingSink sink;
    auto* app = qobject_cast<TavolinApplication*>(QCoreApplication::instance());
    QVERIFY(app);
    app->SetMessageSink(&sink);
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTRY_COMPARE(sink.errors, (QStringList{"File access denied.", "File access denied."}));
    app->SetMessageSink(nullptr);
}

void WindowTest::aboutShowsThreeLinesExitCloses()
{
    WindowFixture f;
    f.window.About1()->trigger();
    QCOMPARE(f.sink.messages,
             QStringList{"Tavolin Version 1.0\r\nDeveloper Tavolin developers\r\n"
                         "https://tavolin.example.org"});
    f.window.Exit1()->trigger();
    QVERIFY(!f.window.isVisible());
    QVERIFY(f.sink.errors.isEmpty());
}

void WindowTest::openThenSaveInPatchModeAndCancel()
{
    WindowFixture f;
    const std::string path = f.Write("app.rsc", ResourceFile({{5, u"Hi"}, {3, u"abc"}}));
    f.Open(path);
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(f.window.CurrentFileName(), path);
    QVERIFY(!f.window.IsLoading());
    QVERIFY(!f.window.IsCaptionFile());
    QCOMPARE(f.window.Model().rowCount(), 2);
    QCOMPARE(f.Vle().ValueOf("2"), "abc");
    QCOMPARE(f.window.EditRow(), 1);
    f.window.vle()->setFocus();
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "!");
    f.window.Save1()->trigger();
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(ReadAll(path), ResourceFile({{5, u"Hi!"}, {3, u"abc"}}));
    // A cancelled dialog, opened with the previous path, changes nothing:
    // Save still writes the file opened before.
    f.Open(std::nullopt);
    QCOMPARE(f.dialogStartPath, QString::fromStdString(path));
    QCOMPARE(f.window.CurrentFileName(), path);
    QTest::keyClicks(f.Editor(), "?");
    f.window.Save1Click();
    QCOMPARE(ReadAll(path), ResourceFile({{5, u"Hi!?"}, {3, u"abc"}}));
    QVERIFY(f.sink.errors.isEmpty());
}

void WindowTest::captionPathsSaveInCaptionMode()
{
    WindowFixture f;
    const std::string caption = f.Write("MyCaption.rsc", ResourceFile({{3, u"Abc"}, {3, u"Abc"}}));
    f.Open(caption);
    QVERIFY(f.window.IsCaptionFile());
    f.window.Save1Click();
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(ReadAll(caption), (Bytes{0x14, 0, 5, 0, 3, 0xAB, 0x41, 0, 0x62, 0, 0x63, 0, 3, 0xAB,
                                      0x41, 0, 0x62, 0, 0x63, 0, 4, 0, 0x14, 0}));
    // The next file, without "caption" in its path, goes back to patch mode.
    const Bytes plain = ResourceFile({{4, u"Abc"}});
    const std::string other = f.Write("other.rsc", plain);
    f.Open(other);
    QVERIFY(!f.window.IsCaptionFile());
    f.window.Save1Click();
    QCOMPARE(ReadAll(other), plain);
}

void WindowTest::missingFileEmptiesTheGridThenTellsAndSaveIsRefused()
{
    WindowFixture f;
    const std::string missing = (f.dir.Path() / "gone.rsc").string();
    f.Open(missing);
    QCOMPARE(f.sink.errors, QStringList{"File not found."});
    QCOMPARE(f.Vle().EntryCount(), 0u);
    QCOMPARE(f.window.Model().rowCount(), 1);
    QCOMPARE(f.window.CurrentFileName(), missing);
    QVERIFY(f.window.IsLoading());
    f.sink.Clear();
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY(f.sink.errors[0].contains("not read to its end"));
    QVERIFY(!fs::exists(missing));
}

void WindowTest::fileNamedOnTheCommandLineOpensAsFromTheDialog()
{
    // `tavolin FILE` with FILE relative to the folder it was started in.
    WindowFixture f;
    f.Write("strings.rsc", ResourceFile({{8, u"Open"}, {6, u"Save"}}));
    const fs::path before = fs::current_path();
    fs::current_path(f.dir.Path());
    f.window.OpenFileClick("strings.rsc");
    f.window.OpenFileClick("gone.rsc");
    const std::string gone = f.window.CurrentFileName();
    f.window.OpenFileClick("strings.rsc");
    fs::current_path(before);

    const std::string opened = (f.dir.Path() / "strings.rsc").string();
    QCOMPARE(gone, (f.dir.Path() / "gone.rsc").string());
    QCOMPARE(f.sink.errors, QStringList{"File not found."});
    QVERIFY(f.window.isVisible());
    QCOMPARE(f.window.CurrentFileName(), opened);
    QVERIFY(!f.window.IsLoading());
    QCOMPARE(EntriesOf(f.Vle()), (Entries{{"1", "Open"}, {"2", "Save"}}));
    QCOMPARE(f.window.EditRow(), 1);

    // The dialog starts at that file, and Save writes it where it was read.
    f.Open(std::nullopt);
    QCOMPARE(f.dialogStartPath, QString::fromStdString(opened));
    f.window.vle()->setFocus();
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "!");
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QCOMPARE(ReadAll(opened), ResourceFile({{8, u"Open!"}, {6, u"Save"}}));
}

namespace {
int g_stepsLeft = 0; // steps until a save in a child process is killed
} // namespace

void WindowTest::aSaveCutOffByACrashIsPutBackAndTold()
{
    // A file with a second name is saved in place; a save of a shorter file
    // killed part-way leaves it part old, part new.
    WindowFixture f;
    const Bytes old(20000, 7);
    const Bytes fresh(15000, 9);
    const std::string path = f.Write("linked.rsc", old);
    QCOMPARE(::link(path.c_str(), (f.dir.Path() / "other.rsc").c_str()), 0);
    bool torn = false;
    for (int step = 1; !torn && step < 100; ++step) {
        const pid_t child = ::fork();
        if (child == 0) {
            g_stepsLeft = step;
            SetInPlaceStepForTesting([] {
                if (--g_stepsLeft == 0)
                    ::raise(SIGKILL);
            });
            ReplaceFile(path, fresh);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        const Bytes now = ReadAll(path);
        torn = now != old && now != fresh;
    }
    QVERIFY(torn);
    f.Open(path);
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(f.sink.messages, QStringList{QString::fromStdString(
                                  path + ": an earlier save was cut off before the file was whole; its bytes from "
                                         "before that save were put back")});
}

void WindowTest::readOnlyFileIsDeniedAndLeftAlone()
{
    WindowFixture f;
    const Bytes content = ResourceFile({{4, u"ab"}});
    const std::string path = f.Write("ro.rsc", content);
    MakeReadOnly(path);
    f.Open(path);
    QCOMPARE(f.sink.errors, QStringList{"File access denied."});
    QCOMPARE(f.Vle().EntryCount(), 0u);
    f.window.Save1Click();
    QCOMPARE(ReadAll(path), content);
}

void WindowTest::saveBeforeAnyOpenDoesNothing()
{
    WindowFixture f;
    const fs::path before = fs::current_path();
    fs::current_path(f.dir.Path());
    f.window.Save1Click();
    fs::current_path(before);
    QVERIFY(f.sink.errors.isEmpty());
    QVERIFY(f.sink.messages.isEmpty());
    QVERIFY(fs::is_empty(f.dir.Path()));
}

void WindowTest::commandsDuringOpensPendingEventsAreIgnored()
{
    WindowFixture f;
    const Bytes first = ResourceFile({{4, u"ab"}});
    const std::string a = f.Write("a.rsc", first);
    f.Open(a);
    const std::string b = f.Write("b.rsc", ResourceFile({{4, u"cd"}}));
    // A Save, an About and a key already queued when Open lets events through.
    QMetaObject::invokeMethod(f.window.Save1(), &QAction::trigger, Qt::QueuedConnection);
    QMetaObject::invokeMethod(f.window.About1(), &QAction::trigger, Qt::QueuedConnection);
    QCoreApplication::postEvent(f.Editor(), new QKeyEvent(QEvent::KeyPress, Qt::Key_X, {}, "x"));
    f.Open(b);
    QCoreApplication::processEvents();
    QCOMPARE(ReadAll(a), first);
    QVERIFY(f.sink.messages.isEmpty());
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(f.Vle().ValueOf("1"), "cd");
    QCOMPARE(f.Vle().EntryCount(), 1u);
}

void WindowTest::openingAfterALargerFileShowsOnlyTheNewRows()
{
    WindowFixture f;
    std::vector<Slot> many(300, Slot{3, u"xyz"});
    f.Open(f.Write("big.rsc", ResourceFile(many)));
    QCOMPARE(f.window.Model().rowCount(), 300);
    f.window.vle()->SetCurrentGridRow(300);
    // Other gap bytes than the first file's: a save must not take the old ones.
    Bytes small = ResourceFile({{2, u"ab"}, {2, u"cd"}});
    for (const std::size_t gap : {0, 1, 8, 15})
        small[gap] = static_cast<std::uint8_t>(0x30 + gap);
    const std::string path = f.Write("small.rsc", small);
    f.Open(path);
    QCOMPARE(f.window.Model().rowCount(), 2);
    QCOMPARE(f.window.vle()->CurrentGridRow(), 1);
    f.window.Save1Click();
    QCOMPARE(ReadAll(path), small);
}

void WindowTest::thaiTypedIsSavedInTheThaiBlock()
{
    WindowFixture f;
    const std::string path = f.Write("thai.rsc", ResourceFile({{4, u"\u0E01"}}));
    f.Open(path);
    QCOMPARE(f.Editor()->text(), QString::fromUtf8("\u0E01"));
    f.window.vle()->setFocus();
    Press(f.Editor(), Qt::Key_End);
    QTest::sendKeyEvent(QTest::Click, f.Editor(), Qt::Key_unknown, QString(QChar(0x0E32)), {});
    QTest::keyClicks(f.Editor(), "A");
    f.window.Save1Click();
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(ReadAll(path), ResourceFile({{4, u"\u0E01\u0E32A"}}));
}

void WindowTest::rowsThatChangeOnSavingAreMarked()
{
    WindowFixture f;
    f.Open(f.Write("mix.rsc", ResourceFile({{8, u"C:\\x"},
                                            {12, u"plain text"},
                                            {4, u"\u0419\u0100"},
                                            {3, std::u16string(u"A\0B", 3)}})));
    const StringTableModel& model = f.window.Model();
    const auto tip = [&](int row) { return model.data(model.index(row, 1), Qt::ToolTipRole).toString(); };
    const auto marked = [&](int row) { return model.data(model.index(row, 1), Qt::BackgroundRole).isValid(); };
    QCOMPARE(tip(1), QString("10 of 12 characters"));
    QVERIFY(!marked(1));
    QVERIFY(marked(0));
    QVERIFY(tip(0).startsWith("4 of 8 characters\n"));
    QVERIFY(tip(0).contains("\\ (U+005C) becomes U+000A"));
    QVERIFY(marked(2));
    QVERIFY(tip(2).contains(QString::fromUtf8("\u0419 (U+0419) becomes U+0019")));
    QVERIFY(tip(2).contains(QString::fromUtf8("\u0100 (U+0100) is dropped")));
    // A U+0000 before text moves behind it.
    QVERIFY(marked(3));
    QVERIFY(tip(3).endsWith("On saving:\nU+0000 moves to the end"));
    QVERIFY(f.sink.messages.isEmpty());
    QVERIFY(f.sink.errors.isEmpty());

    // A marker right behind a string has no length byte of its own: a save
    // would shift the rest of the file, so Save refuses and says why.
    const Bytes shared = {3, 0, 1, 0xAB, 1, 0, 0xAB, 'x', 0, 9};
    const std::string path = f.Write("shared.rsc", shared);
    f.Open(path);
    QVERIFY(marked(1) && !marked(0));
    QVERIFY(tip(1).endsWith("On saving:\nno length byte of its own: the file is not saved"));
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY(f.sink.errors[0].startsWith("ID 2 has no length byte of its own"));
    QCOMPARE(ReadAll(path), shared);
}

void WindowTest::marksAndToolTipsFollowEveryEdit()
{
    WindowFixture f;
    const std::u16string many = u"\u0410\u0411\u0412\u0413\u0414\u0415\u0416\u0417\u0418\u0419\u041A\u041B\u041C";
    f.Open(f.Write("ru.rsc", ResourceFile({{8, u"\u041F\u0440\u0438\u0432\u0435\u0442"}, // Привет
                                           {8, u"C:\\x"},
                                           {13, many}})));
    const StringTableModel& model = f.window.Model();
    const auto tip = [&](int row) { return model.data(model.index(row, 1), Qt::ToolTipRole).toString(); };
    const auto tint = [&](int row) { return model.data(model.index(row, 1), Qt::BackgroundRole); };
    const auto editorTip = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), f.Editor()->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(f.Editor(), &help);
        return QToolTip::text();
    };
    const QVariant amber = tint(0);
    QVERIFY(amber.isValid());
    // The editor on a marked row shows its tint and tool tip.
    QCOMPARE(f.window.vle()->CurrentGridRow(), 1);
    QCOMPARE(f.Editor()->palette().color(QPalette::Base), amber.value<QColor>());
    QCOMPARE(editorTip(), tip(0));
    // Retyped in Latin letters, nothing of the file's Cyrillic is left.
    f.window.vle()->setFocus();
    QTest::keyClicks(f.Editor(), "Privet");
    QCOMPARE(f.Vle().ValueOf("1"), "Privet");
    QVERIFY(!tint(0).isValid());
    QCOMPARE(tip(0), QString("6 of 8 characters"));
    QVERIFY(f.Editor()->palette().color(QPalette::Base) != amber.value<QColor>());
    QCOMPARE(editorTip(), QString("6 of 8 characters"));
    // The backslash that a save writes as a line feed: gone, and back again.
    Press(f.Editor(), Qt::Key_Down);
    QVERIFY(tint(1).isValid());
    Press(f.Editor(), Qt::Key_End);
    Press(f.Editor(), Qt::Key_Left);
    Press(f.Editor(), Qt::Key_Backspace);
    QCOMPARE(f.Vle().ValueOf("2"), "C:x");
    QVERIFY(!tint(1).isValid());
    QTest::keyClicks(f.Editor(), "\\");
    QVERIFY(tint(1).isValid());
    QCOMPARE(f.Editor()->palette().color(QPalette::Base), amber.value<QColor>());
    // Thirteen changes: ten are listed, then how many more.
    const QStringList lines = tip(2).split(u'\n');
    QCOMPARE(lines.size(), 1 + 1 + 10 + 1);
    QCOMPARE(lines.back(), QString("and 3 more"));
    // Once saved, the file holds what the grid shows.
    f.window.Save1Click();
    QVERIFY(f.sink.errors.isEmpty());
    for (int row = 0; row < 3; ++row)
        QVERIFY(!tint(row).isValid());
    QCOMPARE(f.Editor()->palette().color(QPalette::Base), f.window.vle()->palette().color(QPalette::Base));
}

void WindowTest::textsPastTheirSlotAreMarkedAndSaveGoesToTheFirst()
{
    WindowFixture f;
    const Bytes content = ResourceFile({{4, u"abc"}, {3, u"xy"}, {6, std::u16string(u"A\0B", 3)}, {4, u"q"}});
    const std::string path = f.Write("long.rsc", content);
    f.Open(path);
    const StringTableModel& model = f.window.Model();
    const auto tint = [&](int row) { return model.data(model.index(row, 1), Qt::BackgroundRole); };
    const QVariant amber = tint(2);
    QVERIFY(amber.isValid());
    // A paste by Shift+Insert passes the guard and outgrows the slot.
    f.window.vle()->setFocus();
    Press(f.Editor(), Qt::Key_Down);
    Press(f.Editor(), Qt::Key_End);
    QApplication::clipboard()->setText("0123456789");
    Press(f.Editor(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(f.Vle().ValueOf("2"), "xy0123456789");
    QVERIFY(tint(1).isValid());
    QVERIFY(tint(1) != amber);
    QCOMPARE(f.Editor()->palette().color(QPalette::Base), tint(1).value<QColor>());
    QVERIFY(model.data(model.index(1, 1), Qt::ToolTipRole).toString().startsWith("12 of 3 characters\n"));
    // Save refuses and puts the user on that text.
    Press(f.Editor(), Qt::Key_Down, Qt::ControlModifier);
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY2(f.sink.errors[0].contains("ID 2"), qPrintable(f.sink.errors[0]));
    QCOMPARE(f.window.vle()->CurrentGridRow(), 2);
    QCOMPARE(ReadAll(path), content);
}

void WindowTest::captionTextsShareTheFilesBytes()
{
    WindowFixture f;
    const Bytes content = ResourceFile({{5, u"Hello"}, {3, u"abc"}});
    const std::string path = f.Write("App_caption.rsc", content);
    f.Open(path);
    const StringTableModel& model = f.window.Model();
    // 4 + (2 x 5 + 2) + (2 x 3 + 2) bytes
    QCOMPARE(model.data(model.index(0, 1), Qt::ToolTipRole).toString(),
             QString("5 characters; the texts of a caption file share its 255 bytes, 24 of them in use"));
    // Grown past the 255 bytes: 4 + 2 + 2 x 240 + 8 = 494, 239 bytes too many.
    f.window.vle()->setFocus();
    QTest::keyClicks(f.Editor(), QString(240, u'x'));
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY2(f.sink.errors[0].contains("494 bytes, 239 more than the 255 that fit; shorten them by 120 characters"),
             qPrintable(f.sink.errors[0]));
    QCOMPARE(ReadAll(path), content);
}

void WindowTest::openDialogShowsNamesSizesAndDatesWhole()
{
    WindowFixture f;
    f.Write("a_rather_long_resource_file_name_of_an_application.rsc", Bytes(140000, 7));
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = f.window.OpenDialog1();
        const auto close = qScopeGuard([dialog] { dialog->reject(); });
        QTRY_VERIFY(dialog->isVisible());
        dialog->setDirectory(QString::fromStdString(f.dir.Path().string()));
        auto* view = dialog->findChild<QTreeView*>("treeView");
        QVERIFY(view && view->isVisible());
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
        QHeaderView* header = view->header();
        const QAbstractItemView* items = view; // its size hints are public
        for (int column = 0; column < 4; ++column) {
            QTRY_VERIFY2(header->sectionSize(column) >= items->sizeHintForColumn(column),
                         qPrintable(QString("column %1: %2 < %3").arg(column).arg(header->sectionSize(column))
                                        .arg(items->sizeHintForColumn(column))));
        }
        const QAbstractItemView* places = dialog->findChild<QListView*>("sidebar");
        QVERIFY(places);
        QVERIFY(places->viewport()->width() >= places->sizeHintForColumn(0));
        QVERIFY2(header->length() <= view->viewport()->width(),
                 qPrintable(QString("%1 > %2").arg(header->length()).arg(view->viewport()->width())));
        checked = true;
    });
    f.window.Open1Click();
    QVERIFY(checked);
}

void WindowTest::creditElidesHelpAndVersionAreAnswered()
{
    WindowFixture f;
    auto* credit = f.window.findChild<QStatusBar*>("StatusBar1")->findChild<QLabel*>();
    QVERIFY(credit);
    const int creditWidth = credit->fontMetrics().horizontalAdvance(credit->text());
    QVERIFY2(f.window.minimumSizeHint().width() < creditWidth,
             qPrintable(QString("%1 >= %2").arg(f.window.minimumSizeHint().width()).arg(creditWidth)));

    struct Case {
        std::vector<std::string> arguments;
        std::optional<int> code;
        std::string out;
    };
    const Case cases[] = {
        {{"tavolin", "--help"}, 0, "Usage: tavolin [--by resource|marker] [FILE]\n"},
        {{"tavolin", "--version"}, 0, "tavolin " TAVOLIN_VERSION "\n"},
        {{"tavolin", "app.rsc"}, std::nullopt, ""},
        {{"tavolin"}, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        std::FILE* out = std::tmpfile();
        QVERIFY(out);
        const std::optional<int> code = AnswerCommandLine(c.arguments, out);
        std::rewind(out);
        char line[256] = {};
        const bool any = std::fgets(line, sizeof line, out) != nullptr;
        std::fclose(out);
        QCOMPARE(code, c.code);
        QCOMPARE(std::string(any ? line : ""), c.out);
    }
}

void WindowTest::corpusCaptionFileComesBackByteForByte()
{
    const fs::path source = CorpusDir() / "compiled" / "torch_caption_v6.rsc";
    if (CorpusDir().empty() || !fs::exists(source))
        QSKIP("sample resource files not found at " TAVOLIN_CORPUS_DIR);
    WindowFixture f;
    const fs::path copy = f.dir.Path() / "torch_caption_v6.rsc";
    fs::copy_file(source, copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
    // Caption mode is the marker reading's; by default the file reads by resource.
    f.window.SetReading(ReadBy::Marker);
    f.Open(copy.string());
    QVERIFY(f.window.IsCaptionFile());
    QVERIFY(f.Vle().EntryCount() > 0);
    f.window.Save1Click();
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(ReadAll(copy), ReadAll(source));
}

int main(int argc, char** argv)
{
    TavolinApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"

// The real modal dialog, answered by keys from a timer; afterwards the keys go
// to whatever has the focus, as the user's would.
void WindowTest::typingRightAfterTheRealOpenDialogReachesTheGrid()
{
    WindowFixture f;
    // No runner set: the window runs its real dialog modally.
    const std::string path = f.Write("strings.rsc", ResourceFile({{6, u"abcd"}, {6, u"efgh"}, {6, u"ijkl"}}));
    f.Write("strings-other.rsc", ResourceFile({{1, u"z"}}));
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = f.window.findChild<QFileDialog*>("OpenDialog1");
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        const auto closeOnFailure = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->reject();
        });
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setFocus();
        dialog->setDirectory(f.dir.Path().string().c_str());
        name->clear();
        QTest::keyClicks(name, "strings");
        QTRY_VERIFY(name->completer() && name->completer()->popup()->isVisible());
        // Enter while the completion list is open; the default suffix makes the name whole.
        QTest::keyClick(name, Qt::Key_Return);
        answered = true;
    });
    f.window.Open1Click();
    QVERIFY(answered);
    QCOMPARE(f.window.CurrentFileName(), path);
    QVERIFY(QTest::qWaitForWindowActive(&f.window)); // as the window manager gives it back
    QVERIFY(!QApplication::activePopupWidget());
    for (const QCompleter* completer : f.window.OpenDialog1()->findChildren<QCompleter*>())
        QVERIFY(!completer->popup() || !completer->popup()->isVisible());

    const auto type = [](Qt::Key key, const QString& text = {}) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        if (text.isEmpty())
            QTest::keyClick(focus, key);
        else
            QTest::keyClicks(focus, text);
    };
    type(Qt::Key_unknown, "!");
    QCOMPARE(f.Editor()->text(), QString("!"));
    type(Qt::Key_Down);
    type(Qt::Key_unknown, "x");
    QCOMPARE(f.Editor()->text(), QString("x"));
    QCOMPARE(f.window.EditRow(), 2);
    type(Qt::Key_Up);
    type(Qt::Key_Backspace);
    QCOMPARE(f.Editor()->text(), QString(""));
    QCOMPARE(f.window.EditRow(), 1);
    type(Qt::Key_PageDown);
    type(Qt::Key_unknown, "p");
    QCOMPARE(f.Editor()->text(), QString("p"));
    QCOMPARE(f.window.EditRow(), 3);
}
