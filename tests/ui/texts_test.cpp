// The window on files read by resource structure: rows, editing, the guard,
// the refusals of a save, the Reading menu, and every real file of the
// corpus through the real grid.

#include <filesystem>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QHeaderView>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QToolTip>
#include <QtTest>

#include "document/document.h"
#include "document/readback.h"
#include "file/safesave.h"
#include "resource/resourcefile.h"
#include "resourcefiles.h"
#include "ui/application.h"
#include "ui/documentmodel.h"
#include "ui/textcelleditor.h"
#include "ui/textgrid.h"
#include "windowfixture.h"

using namespace tavolin;
using namespace tavolin::test;
namespace fs = std::filesystem;

namespace {

constexpr int kId = DocumentModel::kIdColumn;
constexpr int kSource = DocumentModel::kSourceColumn;
constexpr int kValue = DocumentModel::kValueColumn;

TextCellEditor* TextEditor(const WindowFixture& f)
{
    return f.window.Texts()->Editor();
}

// Types `text` into `w` one character at a time, as a keyboard would send it.
void Type(QWidget* w, const QString& text)
{
    for (const char32_t c : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString::fromUcs4(&c, 1), {});
}

QString Cell(const WindowFixture& f, int row, int column)
{
    const DocumentModel& model = f.window.TextModel();
    return model.data(model.index(row, column), Qt::EditRole).toString();
}

// Pastes `text` by Shift+Insert, which the guard does not judge.
void PasteUnjudged(QWidget* w, const QString& text)
{
    QApplication::clipboard()->setText(text);
    QTest::keyClick(w, Qt::Key_Insert, Qt::ShiftModifier);
}

// Three certain LTEXTs, the last of two lines.
const Bytes kThreeTexts = OldFile({Ltext(u"abc"), Cat({Ltext(u"def"), Ltext(u"Line\none")})});

} // namespace

class TextsTest : public QObject {
    Q_OBJECT
private slots:
    void rowsShowIdsSourcesAndValuesAndTheCurrentCellStaysInValue();
    void editsAreSavedAsTheRebuildLaysThemOut();
    void lineFeedsAndTabsShowAndCanBeTyped();
    void guardJudgesByTheTextsOwnLimitInUtf16Units();
    void charactersTheFileCannotHoldAreRefused();
    void guessedTextsAreEditableOnlyWhenSwitchedOn();
    void saveRefusalsNameTheRowAndWriteNothing_data();
    void saveRefusalsNameTheRowAndWriteNothing();
    void readingMenuSwitchesAndTheStatusBarTells();
    void startArguments();
    void everyCorpusFileShowsItsTextsAndSavesAsTheRebuild();
};

void TextsTest::rowsShowIdsSourcesAndValuesAndTheCurrentCellStaysInValue()
{
    WindowFixture f;
    f.Open(f.Write("three.rsc", kThreeTexts));
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(f.window.CurrentDocument()->Reading(), ReadBy::Resource);
    TextGrid* grid = f.window.Texts();
    QCOMPARE(f.window.findChild<QStackedWidget*>("Grids")->currentWidget(), grid);
    QCOMPARE(f.window.ReadingText(), QString("by resource: old, 3 texts (3 certain, 0 guessed)"));
    const DocumentModel& model = f.window.TextModel();
    QCOMPARE(model.rowCount(), 3);
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    QCOMPARE(titles, (QStringList{"ID", "Source", "Value"}));
    QCOMPARE(Cell(f, 2, kId), QString("2.2"));
    QCOMPARE(Cell(f, 2, kSource), QString("Line\none"));
    QCOMPARE(model.flags(model.index(0, kSource)) & Qt::ItemIsEditable, Qt::NoItemFlags);

    // Starts at the first row; Ctrl+Down and Ctrl+Up go to the last and first.
    QCOMPARE(grid->currentIndex(), model.index(0, kValue));
    QVERIFY(TextEditor(f) && TextEditor(f)->hasFocus());
    QTest::keyClick(TextEditor(f), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(grid->currentIndex(), model.index(2, kValue));
    QTest::keyClick(TextEditor(f), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(grid->currentIndex(), model.index(0, kValue));
    // Clicking an ID or a Source cell leaves the current cell where it is.
    for (const int column : {kId, kSource}) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(model.index(1, column)).center());
        QCOMPARE(grid->currentIndex(), model.index(0, kValue));
    }
    // Moving keeps the edit; the Source stays as the file held it.
    Type(TextEditor(f), "xyz");
    QTest::keyClick(TextEditor(f), Qt::Key_Down);
    QCOMPARE(grid->currentIndex(), model.index(1, kValue));
    QCOMPARE(Cell(f, 0, kValue), QString("xyz"));
    QCOMPARE(Cell(f, 0, kSource), QString("abc"));
    // Escape gives the cell back its text.
    Type(TextEditor(f), "q");
    QTest::keyClick(TextEditor(f), Qt::Key_Escape);
    QCOMPARE(Cell(f, 1, kValue), QString("def"));
}

void TextsTest::editsAreSavedAsTheRebuildLaysThemOut()
{
    WindowFixture f;
    const std::string path = f.Write("three.rsc", kThreeTexts);
    f.Open(path);
    f.window.Save1Click(); // no edit: every byte stays
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(ReadAll(path), kThreeTexts);

    f.window.Texts()->SetCurrentRow(1);
    Type(TextEditor(f), QString::fromUtf8("Привет 😀"));
    f.window.Save1Click();
    QVERIFY2(f.sink.errors.isEmpty(), qPrintable(f.sink.errors.join('\n')));
    const Bytes expected = resource::Rebuild(resource::ReadResourceFile(kThreeTexts), {{2, 1, u"Привет 😀"}}, false);
    QCOMPARE(ReadAll(path), expected);
}

void TextsTest::lineFeedsAndTabsShowAndCanBeTyped()
{
    WindowFixture f;
    const std::string path = f.Write("three.rsc", kThreeTexts);
    f.Open(path);
    TextGrid* grid = f.window.Texts();
    // A text of two lines gets a row as tall as its lines.
    QVERIFY(grid->rowHeight(2) > grid->rowHeight(0));
    grid->SetCurrentRow(2);
    QCOMPARE(TextEditor(f)->Text(), QString("Line\none"));
    // Up and Down move between the lines of the text before other rows.
    QTest::keyClick(TextEditor(f), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(TextEditor(f), Qt::Key_Up);
    QCOMPARE(grid->CurrentRow(), 2);
    QTest::keyClick(TextEditor(f), Qt::Key_Up);
    QCOMPARE(grid->CurrentRow(), 1);

    grid->SetCurrentRow(0);
    Type(TextEditor(f), "a");
    QTest::keyClick(TextEditor(f), Qt::Key_Return, Qt::ShiftModifier);
    Type(TextEditor(f), "b");
    QTest::keyClick(TextEditor(f), Qt::Key_Tab, Qt::ControlModifier);
    Type(TextEditor(f), "c");
    QCOMPARE(Cell(f, 0, kValue), QString("a\nb\tc"));
    QVERIFY(grid->rowHeight(0) > grid->rowHeight(1));
    // The grid shows the tab as an arrow.
    const DocumentModel& model = f.window.TextModel();
    QCOMPARE(model.data(model.index(0, kValue), Qt::DisplayRole).toString(), QString::fromUtf8("a\nb→c"));
    // Tab itself leaves the grid.
    QTest::keyClick(TextEditor(f), Qt::Key_Tab);
    QCOMPARE(Cell(f, 0, kValue), QString("a\nb\tc"));
    f.window.Save1Click();
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(ReadAll(path), resource::Rebuild(resource::ReadResourceFile(kThreeTexts), {{1, 1, u"a\nb\tc"}}, false));

    // A no-break space and a carriage return stay what they are when the
    // text around them is edited (the return shows as ␍).
    const Bytes odd = OldFile({Ltext(u"a\u00A0b\rc")});
    const std::string oddPath = f.Write("odd.rsc", odd);
    f.Open(oddPath);
    QCOMPARE(TextEditor(f)->toPlainText(), QString::fromUtf8("a b␍c"));
    QTest::keyClick(TextEditor(f), Qt::Key_End, Qt::ControlModifier);
    Type(TextEditor(f), "d");
    QCOMPARE(Cell(f, 0, kValue), QString::fromUtf16(u"a\u00A0b\rcd"));
}

void TextsTest::guardJudgesByTheTextsOwnLimitInUtf16Units()
{
    WindowFixture f;
    const QString full(255, u'x');
    f.Open(f.Write("long.rsc", OldFile({Ltext(std::u16string(254, u'x')), Cat({Ltext(u"abc"), {0xFF, 0xFF}, Utf16(u"xyzzy")})})));
    f.window.Texts()->SetCurrentRow(0);
    QTest::keyClick(TextEditor(f), Qt::Key_End, Qt::ControlModifier);
    QVERIFY(f.window.TextModel().ToolTip(0).contains("254 of at most 255 UTF-16 units"));
    // An emoji takes two units: one too many.
    Type(TextEditor(f), QString::fromUtf8("😀"));
    QCOMPARE(f.sink.messages, QStringList{"Full Field"});
    Type(TextEditor(f), "y");
    QCOMPARE(Cell(f, 0, kValue), full.left(254) + "y");
    // Full: every judged character is refused, Ctrl+C and Enter too.
    f.sink.Clear();
    QTest::keyClick(TextEditor(f), Qt::Key_A);
    QTest::keyClick(TextEditor(f), Qt::Key_Return);
    QTest::keyClick(TextEditor(f), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(f.sink.messages.size(), 3);
    QCOMPARE(Cell(f, 0, kValue), full.left(254) + "y");
    // Backspace is not judged; then one character goes in again.
    f.sink.Clear();
    QTest::keyClick(TextEditor(f), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(TextEditor(f), Qt::Key_Backspace);
    Type(TextEditor(f), "z");
    QVERIFY(f.sink.messages.isEmpty());
    QCOMPARE(Cell(f, 0, kValue), full.left(254) + "z");
    // A paste by Shift+Insert is not judged, the next character is.
    f.window.Texts()->SetCurrentRow(1);
    PasteUnjudged(TextEditor(f), full);
    Type(TextEditor(f), "x");
    QCOMPARE(f.sink.messages, QStringList{"Full Field"});
    // A text of no limit of its own (a BUF) takes any length.
    f.sink.Clear();
    f.window.EditGuessed1()->trigger();
    f.window.Texts()->SetCurrentRow(2);
    QCOMPARE(f.window.CurrentDocument()->Texts()[2].kind, "BUF");
    PasteUnjudged(TextEditor(f), full);
    Type(TextEditor(f), "x");
    QVERIFY(f.sink.messages.isEmpty());
    QCOMPARE(Cell(f, 2, kValue).size(), 256);
}

void TextsTest::charactersTheFileCannotHoldAreRefused()
{
    // A narrow file: 8-bit texts in Windows-1252.
    WindowFixture f;
    const fs::path narrow = CorpusDir() / "compiled" / "torch_caption_8bit.rsc";
    // U+0000 in a Unicode text: typed by an input method or pasted.
    f.Open(f.Write("three.rsc", kThreeTexts));
    const QChar nul(u'\0');
    PasteUnjudged(TextEditor(f), QString("a") + nul);
    QCOMPARE(Cell(f, 0, kValue), QString("abc"));
    QVERIFY(QToolTip::text().contains("U+0000"));
    // Any script goes into a Unicode text.
    QTest::keyClick(TextEditor(f), Qt::Key_A, Qt::ControlModifier);
    Type(TextEditor(f), QString::fromUtf8("ไทย中文"));
    QCOMPARE(Cell(f, 0, kValue), QString::fromUtf8("ไทย中文"));

    if (CorpusDir().empty() || !fs::exists(narrow))
        QSKIP("sample resource files not found at " TAVOLIN_CORPUS_DIR);
    const fs::path copy = f.dir.Path() / "torch_8bit.rsc";
    fs::copy_file(narrow, copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
    f.Open(copy.string());
    QCOMPARE(f.window.CurrentDocument()->Structure().File().format, resource::Format::Narrow);
    f.window.EditGuessed1()->trigger(); // both texts of this file are guessed
    QVERIFY(TextEditor(f));
    Type(TextEditor(f), QString::fromUtf8("Фé€"));
    QVERIFY(QToolTip::text().contains("U+0424"));
    QCOMPARE(Cell(f, 0, kValue), QString::fromUtf8("é€"));
    f.window.Save1Click();
    QVERIFY2(f.sink.errors.isEmpty(), qPrintable(f.sink.errors.join('\n')));
    const Bytes source = ReadAll(narrow);
    QCOMPARE(ReadAll(copy), resource::Rebuild(resource::ReadResourceFile(source), {{1, 1, u"é€"}}, true));
}

void TextsTest::guessedTextsAreEditableOnlyWhenSwitchedOn()
{
    WindowFixture f;
    const Bytes file = OldFile({GuessedText(u"Hello"), Ltext(u"abc")});
    const std::string path = f.Write("guessed.rsc", file);
    f.Open(path);
    const DocumentModel& model = f.window.TextModel();
    QVERIFY(model.ToolTip(0).contains("guessed"));
    QVERIFY(!model.ToolTip(1).contains("guessed"));
    QVERIFY(model.data(model.index(0, kValue), Qt::FontRole).value<QFont>().italic());
    QVERIFY(!(model.flags(model.index(0, kValue)) & Qt::ItemIsEditable));
    // No editor on the guessed row: keys change nothing.
    QCOMPARE(f.window.Texts()->CurrentRow(), 0);
    QVERIFY(!TextEditor(f));
    QTest::keyClicks(f.window.Texts(), "xy");
    QCOMPARE(Cell(f, 0, kValue), QString("Hello"));
    QTest::keyClick(f.window.Texts(), Qt::Key_Down);
    QVERIFY(TextEditor(f));

    f.window.EditGuessed1()->trigger();
    QVERIFY(f.window.EditGuessed());
    f.window.Texts()->SetCurrentRow(0);
    QVERIFY(TextEditor(f));
    Type(TextEditor(f), "Hallo");
    f.window.Save1Click();
    QVERIFY2(f.sink.errors.isEmpty(), qPrintable(f.sink.errors.join('\n')));
    QCOMPARE(ReadAll(path), resource::Rebuild(resource::ReadResourceFile(file), {{1, 1, u"Hallo"}}, true));

    // Switched off again: the row goes read-only and a save of its edit is refused.
    f.window.EditGuessed1()->trigger();
    QVERIFY(!TextEditor(f));
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY(f.sink.errors.front().contains("1.1: a guessed text"));
}

void TextsTest::saveRefusalsNameTheRowAndWriteNothing_data()
{
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("message");
    QTest::newRow("LTEXT over its limit") << OldFile({Ltext(u"abc"), Cat({Ltext(u"def"), Ltext(u"ghi")})}) << 2
                                          << 300 << "2.2: an LTEXT holds at most 255";
    QTest::newRow("past 64 KiB") << OldFile({Ltext(u"abc"), Cat({Ltext(u"abc"), Utf16(u"xyzzy")})}) << 2 << 33000
                                 << "resource 2 would be";
}

void TextsTest::saveRefusalsNameTheRowAndWriteNothing()
{
    QFETCH(Bytes, file);
    QFETCH(int, row);
    QFETCH(int, units);
    QFETCH(QString, message);
    WindowFixture f;
    const std::string path = f.Write("refused.rsc", file);
    f.Open(path);
    f.window.EditGuessed1()->trigger();
    f.window.Texts()->SetCurrentRow(row);
    PasteUnjudged(TextEditor(f), QString(units, u'y'));
    QCOMPARE(Cell(f, row, kValue).size(), units);
    f.window.Texts()->SetCurrentRow(0);
    f.window.Save1Click();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY2(f.sink.errors.front().contains(message), qPrintable(f.sink.errors.front()));
    QCOMPARE(f.window.Texts()->CurrentRow(), row);
    QCOMPARE(ReadAll(path), file);
}

void TextsTest::readingMenuSwitchesAndTheStatusBarTells()
{
    WindowFixture f;
    const std::string path = f.Write("three.rsc", kThreeTexts);
    f.Open(path);
    QVERIFY(f.window.ByResource1()->isChecked());
    // Edits not saved stop a switch.
    Type(TextEditor(f), "new");
    f.window.ByMarker1()->trigger();
    QCOMPARE(f.sink.errors.size(), 1);
    QCOMPARE(f.window.CurrentDocument()->Reading(), ReadBy::Resource);
    QVERIFY(f.window.ByResource1()->isChecked());
    // Saved, they no longer do.
    f.window.Save1Click();
    f.sink.Clear();

    f.window.ByMarker1()->trigger();
    QVERIFY(f.sink.errors.isEmpty());
    QCOMPARE(f.window.CurrentDocument()->Reading(), ReadBy::Marker);
    QCOMPARE(f.window.findChild<QStackedWidget*>("Grids")->currentWidget(), f.window.vle());
    QVERIFY(f.window.ByMarker1()->isChecked());
    QCOMPARE(f.window.ReadingText(), QString("by marker: 3 texts"));
    QCOMPARE(f.Vle().ValueOf("1"), "new");
    // By markers too, edits not saved stop a switch until saved.
    QTest::keyClick(f.Editor(), Qt::Key_End);
    QTest::keyClick(f.Editor(), Qt::Key_Backspace);
    f.window.ByResource1()->trigger();
    QCOMPARE(f.sink.errors.size(), 1);
    QCOMPARE(f.window.CurrentDocument()->Reading(), ReadBy::Marker);
    QVERIFY(f.window.ByMarker1()->isChecked());
    f.window.Save1Click();
    f.window.ByResource1()->trigger();
    QCOMPARE(f.sink.errors.size(), 1);
    QCOMPARE(f.window.CurrentDocument()->Reading(), ReadBy::Resource);
    QCOMPARE(Cell(f, 0, kSource), QString("ne"));
    f.sink.Clear();

    // A file of no resource format reads by markers; asked by resource, it is refused.
    f.window.ByMarker1()->trigger();
    const std::string markers = f.Write("markers.rsc", ResourceFile({{4, u"Text"}}));
    f.window.SetReading(std::nullopt);
    f.Open(markers);
    QCOMPARE(f.window.CurrentDocument()->Reading(), ReadBy::Marker);
    f.window.ByResource1()->trigger();
    QCOMPARE(f.sink.errors.size(), 1);
    QVERIFY(f.sink.errors.front().contains("choose Reading > By markers"));
    QVERIFY(f.window.IsLoading());
    QCOMPARE(f.window.ReadingText(), QString());
    f.window.Save1Click(); // nothing read: nothing written
    QCOMPARE(ReadAll(markers), ResourceFile({{4, u"Text"}}));

    // A resource file without texts says so.
    f.sink.Clear();
    f.window.SetReading(std::nullopt);
    f.Open(f.Write("empty.rsc", OldFile({Bytes{1, 2, 3, 4}})));
    QCOMPARE(f.window.ReadingText(), QString("by resource: old, 0 texts (0 certain, 0 guessed): no texts found"));
    f.window.ByMarker1()->trigger();
    QCOMPARE(f.window.ReadingText(), QString("by marker: no texts found"));
}

void TextsTest::startArguments()
{
    const struct {
        std::vector<std::string> arguments;
        std::optional<ReadBy> by;
        std::optional<std::string> file;
        bool error;
    } cases[] = {
        {{"tavolin"}, std::nullopt, std::nullopt, false},
        {{"tavolin", "a.rsc"}, std::nullopt, "a.rsc", false},
        {{"tavolin", "--by", "marker", "a.rsc"}, ReadBy::Marker, "a.rsc", false},
        {{"tavolin", "a.rsc", "--by=resource"}, ReadBy::Resource, "a.rsc", false},
        {{"tavolin", "--by", "bytes", "a.rsc"}, std::nullopt, std::nullopt, true},
        {{"tavolin", "--by"}, std::nullopt, std::nullopt, true},
        {{"tavolin", "a.rsc", "b.rsc"}, std::nullopt, "a.rsc", true},
    };
    for (const auto& c : cases) {
        const StartArguments start = ParseStartArguments(c.arguments);
        QCOMPARE(start.by, c.by);
        QCOMPARE(start.file, c.file);
        QCOMPARE(!start.error.empty(), c.error);
    }
}

void TextsTest::everyCorpusFileShowsItsTextsAndSavesAsTheRebuild()
{
    if (CorpusDir().empty())
        QSKIP("sample resource files not found at " TAVOLIN_CORPUS_DIR " (a checkout without ../shared/corpus)");
    // One text of each file retyped in one of these scripts (8-bit texts in
    // what Windows-1252 holds).
    const QStringList scripts{QString::fromUtf8("Привет, мир"), QString::fromUtf8("สวัสดีครับ"),
                              QString::fromUtf8("你好，世界")};
    // The sweep saves some 500 times: without flushing each to the disk.
    SetSyncFunctionForTesting([](int) { return 0; });
    const auto restoreSync = qScopeGuard([] { SetSyncFunctionForTesting(nullptr); });
    WindowFixture f;
    int files = 0;
    int edited = 0;
    int symbian9 = 0;
    for (const fs::path& source : CorpusFiles()) {
        const Bytes bytes = ReadAll(source);
        const resource::ResourceFile structure = resource::ReadResourceFile(bytes);
        if (structure.format == resource::Format::Unknown)
            continue;
        const QString name = QString::fromStdString(source.string());
        const fs::path copy = f.dir.Path() / ("f" + std::to_string(files) + ".rsc");
        WriteAll(copy, bytes);
        ++files;
        if (structure.format == resource::Format::Compressed)
            ++symbian9;
        f.sink.Clear();
        // As from the dialog, whose folder view would list the growing folder each time.
        f.window.OpenFileClick(QString::fromStdString(copy.string()));
        QVERIFY2(f.sink.errors.isEmpty(), qPrintable(name + ": " + f.sink.errors.join('\n')));
        const DocumentModel& model = f.window.TextModel();
        QCOMPARE(model.rowCount(), static_cast<int>(structure.texts.size()));
        for (int row = 0; row < model.rowCount(); ++row) {
            const resource::Text& t = structure.texts[static_cast<std::size_t>(row)];
            QCOMPARE(Cell(f, row, kId), QString::fromStdString(resource::TextId(t)));
            QCOMPARE(Cell(f, row, kSource).toStdU16String(), t.text);
            QCOMPARE(Cell(f, row, kValue).toStdU16String(), t.text);
        }
        QVERIFY2(f.window.ReadingText().startsWith("by resource: "), qPrintable(name));
        // Open and Save with no edit keep every byte.
        f.window.Save1Click();
        QVERIFY2(f.sink.errors.isEmpty(), qPrintable(name + ": " + f.sink.errors.join('\n')));
        QVERIFY2(ReadAll(copy) == bytes, qPrintable(name));

        // The first certain text retyped through the grid (one that fills
        // its LTEXT would refuse the first character, as the guard does).
        const auto retypable = [](const resource::Text& t) {
            return t.certain && !(t.kind == resource::TextKind::Ltext && t.text.size() >= 255);
        };
        int row = 0;
        while (row < model.rowCount() && !retypable(structure.texts[static_cast<std::size_t>(row)]))
            ++row;
        if (row == model.rowCount())
            continue;
        const resource::Text& t = structure.texts[static_cast<std::size_t>(row)];
        const QString text = t.wide ? scripts[edited % scripts.size()] : QString::fromUtf8("Grüße");
        f.window.Texts()->SetCurrentRow(row);
        QVERIFY2(TextEditor(f), qPrintable(name));
        Type(TextEditor(f), text);
        QTest::keyClick(TextEditor(f), Qt::Key_Down);
        QCOMPARE(Cell(f, row, kValue), text);
        f.window.Save1Click();
        Bytes expected;
        try {
            expected = resource::Rebuild(structure, {{t.resource, t.index, text.toStdU16String()}}, false);
        } catch (const resource::RebuildError& e) {
            // What the rebuild refuses the window refuses, writing nothing.
            QCOMPARE(f.sink.errors.size(), 1);
            QVERIFY2(f.sink.errors.front().contains(e.what()), qPrintable(name));
            QVERIFY2(ReadAll(copy) == bytes, qPrintable(name));
            continue;
        }
        // A save that would not read back as edited ("X" raw in the old
        // format) is asked about at the first text that would read otherwise:
        // No writes nothing, Yes the rebuild.
        const std::vector<resource::TextEdit> edit{{t.resource, t.index, text.toStdU16String()}};
        if (const auto differences = ReadBackDifferences(structure, edit, expected); !differences.empty()) {
            QCOMPARE(f.sink.questions.size(), 1);
            QVERIFY2(f.sink.questions.front().contains("would not read as edited"), qPrintable(name));
            QVERIFY2(ReadAll(copy) == bytes, qPrintable(name));
            QCOMPARE(Cell(f, f.window.Texts()->CurrentRow(), kId).toStdString(), differences.front().id);
            f.sink.answer = true;
            f.window.Save1Click();
            f.sink.answer = false;
        }
        QVERIFY2(f.sink.errors.isEmpty(), qPrintable(name + ": " + f.sink.errors.join('\n')));
        QVERIFY2(ReadAll(copy) == expected, qPrintable(name));
        ++edited;
    }
    qInfo("%d files read by resource, %d of the compressed format, %d retyped", files, symbian9, edited);
    QVERIFY(symbian9 >= 10);
    QVERIFY(edited >= 10);
}

int main(int argc, char** argv)
{
    TavolinApplication app(argc, argv);
    TextsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "texts_test.moc"
