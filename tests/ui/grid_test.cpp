// The grid and its cell editor, driven by key events as a user would.

#include <memory>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>

#include "codec/displaytext.h"
#include "codec/thaicodepage.h"
#include "tables/stringtable.h"
#include "ui/stringtablemodel.h"
#include "ui/celleditor.h"
#include "ui/valuegrid.h"
#include "press.h"

using namespace tavolin;
using tavolin::test::Press;

namespace {

struct EditText {
    int column;
    int row;
    QString value;
};

// A grid over a table of its own, recording both notifications.
using Entries = std::vector<std::pair<std::string, std::string>>;

struct GridFixture {
    StringTable table{"ID", "Value"};
    StringTable capacities{"Key", "Value"};
    std::unique_ptr<StringTableModel> model;
    std::unique_ptr<ValueGrid> grid;
    QList<char32_t> keys;
    QList<EditText> editTexts;
    char32_t cancel = 0xFFFF; // the key the handler turns into 0

    explicit GridFixture(const Entries& entries)
    {
        for (const auto& [key, value] : entries)
            table.AppendEntry(key, value);
        model = std::make_unique<StringTableModel>(table, capacities);
        grid = std::make_unique<ValueGrid>();
        grid->SetModel(model.get());
        grid->SetKeyPressHandler([this](char32_t& key) {
            keys << key;
            if (key == cancel)
                key = 0;
        });
        grid->SetEditTextHandler([this](int column, int row, const QString& value) {
            editTexts << EditText{column, row, value};
        });
        grid->resize(400, 300);
        grid->show();
        grid->activateWindow();
        grid->setFocus();
    }
    CellEditor* Editor() const { return grid->Editor(); }
    std::string Value(int entry) const { return table.ValueAt(static_cast<std::size_t>(entry)); }
};

// Height in pixels of what is drawn darker than mid-grey: the text's ink,
// without backgrounds and grid lines.
int InkHeight(const QImage& image)
{
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 110) {
                top = top < 0 ? y : top;
                bottom = y;
                break;
            }
        }
    }
    return top < 0 ? 0 : bottom - top + 1;
}

// The ink of `text` drawn with room all around.
int FreeInkHeight(const QFont& font, const QString& text, qreal ratio)
{
    QImage image(QSize(1200, 400) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(20, 200, text);
    painter.end();
    return InkHeight(image);
}

} // namespace

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void keyPressComesBeforeEveryCharacterAndCanCancelIt();
    void leavingACellReportsItsRowAndPlacingReportsTheNewOne();
    void enterSelectsThenDeselectsAndIsNotInserted();
    void escapeRestoresTheTextThePlacedEditorTook();
    void focusElsewhereLeavesTheCellTakingItBackPlacesTheEditor();
    void keyCellsNeverBecomeCurrent();
    void thaiMarksAboveAndBelowAreDrawnWhole();
    void everyStandInIsDrawnAsAGlyph();
    void charactersWithoutAByteAreRefusedInputMethodTextIsTyped();
    void everyTextByteSurvivesAnEditOfItsNeighbours();
    void emptyingAndAppendingSettleOnRowOne();
    void modelPassesTheItemModelTester();
};

void GridTest::keyPressComesBeforeEveryCharacterAndCanCancelIt()
{
    GridFixture f(Entries{{"1", "ab"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    std::string valueWhenReported;
    f.grid->SetEditTextHandler([&](int column, int row, const QString& value) {
        f.editTexts << EditText{column, row, value};
        valueWhenReported = f.Value(0);
    });
    Press(f.Editor(), Qt::Key_End);
    f.cancel = U'x';
    QTest::keyClicks(f.Editor(), "cxd");
    QCOMPARE(f.keys, (QList<char32_t>{U'c', U'x', U'd'}));
    QCOMPARE(f.Editor()->text(), QString("abcd"));
    QCOMPARE(f.Value(0), "abcd");
    QCOMPARE(valueWhenReported, "abc"); // reported before the write-back
    QCOMPARE(f.editTexts.back().value, QString("abcd"));
    // Ctrl sends its control character, Backspace 8.
    f.keys.clear();
    f.cancel = 3;
    Press(f.Editor(), Qt::Key_C, Qt::ControlModifier);
    Press(f.Editor(), Qt::Key_Backspace);
    QCOMPARE(f.keys, (QList<char32_t>{3, 8}));
    QCOMPARE(f.Value(0), "abc");
}

void GridTest::leavingACellReportsItsRowAndPlacingReportsTheNewOne()
{
    GridFixture f(Entries{{"1", "ab"}, {"2", "cd"}, {"3", "ef"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    QCOMPARE(f.Editor()->selectedText(), QString("ab"));
    f.editTexts.clear();
    Press(f.Editor(), Qt::Key_Down);
    QCOMPARE(f.grid->CurrentGridRow(), 2);
    QCOMPARE(f.editTexts.size(), 2);
    QCOMPARE(f.editTexts[0].row, 1); // the cell left
    QCOMPARE(f.editTexts[0].value, QString("ab"));
    QCOMPARE(f.editTexts[1].row, 2); // the cell the editor is placed on
    QCOMPARE(f.Editor()->text(), QString("cd"));
    QCOMPARE(f.Editor()->selectedText(), QString("cd"));
    QVERIFY(f.Editor()->hasFocus());
    // Ctrl+Down jumps to the last row and adds none below it.
    Press(f.Editor(), Qt::Key_Down, Qt::ControlModifier);
    Press(f.Editor(), Qt::Key_Down);
    QCOMPARE(f.grid->CurrentGridRow(), 3);
    QCOMPARE(f.table.EntryCount(), 3u);
    Press(f.Editor(), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(f.grid->CurrentGridRow(), 1);
}

void GridTest::enterSelectsThenDeselectsAndIsNotInserted()
{
    GridFixture f(Entries{{"1", "abc"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    QVERIFY(f.Editor()->hasSelectedText());
    Press(f.Editor(), Qt::Key_Return);
    QVERIFY(!f.Editor()->hasSelectedText());
    QCOMPARE(f.Editor()->cursorPosition(), 3);
    Press(f.Editor(), Qt::Key_Return);
    QCOMPARE(f.Editor()->selectedText(), QString("abc"));
    QCOMPARE(f.Value(0), "abc");
    QCOMPARE(f.keys, (QList<char32_t>{13, 13}));
}

void GridTest::escapeRestoresTheTextThePlacedEditorTook()
{
    GridFixture f(Entries{{"1", "abc"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    QTest::keyClicks(f.Editor(), "xy");
    QCOMPARE(f.Value(0), "xy");
    f.editTexts.clear();
    Press(f.Editor(), Qt::Key_Escape);
    QCOMPARE(f.Editor()->text(), QString("abc"));
    QCOMPARE(f.Value(0), "abc");
    QCOMPARE(f.editTexts.size(), 1);
    QCOMPARE(f.editTexts[0].value, QString("abc"));
    QCOMPARE(f.keys.back(), char32_t(27)); // judged after the restoring
}

void GridTest::focusElsewhereLeavesTheCellTakingItBackPlacesTheEditor()
{
    Entries entries;
    for (int i = 1; i <= 60; ++i)
        entries.emplace_back(std::to_string(i), "v" + std::to_string(i));
    GridFixture f(entries);
    // The grid and another control in one window.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(f.grid.release()); // the window owns it now
    layout->addWidget(other);
    ValueGrid* grid = window.findChild<ValueGrid*>();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    grid->setFocus(Qt::OtherFocusReason);

    Press(grid->Editor(), Qt::Key_PageDown);
    const int row = grid->CurrentGridRow();
    QVERIFY2(row > 3, "PageDown moves a page of rows");
    QCOMPARE(grid->Editor()->text(), QString("v%1").arg(row));
    QTest::keyClicks(grid->Editor(), "xy");

    f.editTexts.clear();
    other->setFocus(Qt::TabFocusReason);
    QVERIFY(other->hasFocus());
    QVERIFY(!grid->Editor()); // the editor left its cell
    QCOMPARE(f.editTexts.size(), 1);
    QCOMPARE(f.editTexts[0].row, row);
    QCOMPARE(f.editTexts[0].value, QString("xy"));

    grid->setFocus(Qt::TabFocusReason);
    QVERIFY(grid->Editor() && grid->Editor()->hasFocus());
    QCOMPARE(grid->Editor()->selectedText(), QString("xy"));
    QTest::keyClicks(grid->Editor(), "q");
    Press(grid->Editor(), Qt::Key_Escape);
    QCOMPARE(grid->Editor()->text(), QString("xy"));
    QCOMPARE(f.Value(row - 1), "xy");
    delete grid; // before the model the fixture owns
}

void GridTest::keyCellsNeverBecomeCurrent()
{
    GridFixture f(Entries{{"1", "ab"}, {"2", "cd"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    const QRect keyCell = f.grid->visualRect(f.model->index(1, 0));
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, keyCell.center());
    QCOMPARE(f.grid->CurrentGridRow(), 1);
    QCOMPARE(f.grid->currentIndex().column(), 1);
    const QRect valueCell = f.grid->visualRect(f.model->index(1, 1));
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, valueCell.center());
    QCOMPARE(f.grid->CurrentGridRow(), 2);
}

void GridTest::thaiMarksAboveAndBelowAreDrawnWhole()
{
    const QString thai[] = {QString::fromUtf8("\u0E1B\u0E31\u0E49\u0E19\u0E1D\u0E31\u0E48\u0E07\u0E1F\u0E31\u0E49\u0E19"), // ปั้นฝั่งฟั้น
                            QString::fromUtf8("\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35"),                    // สวัสดี
                            QString::fromUtf8("\u0E0E\u0E39\u0E10\u0E38\u0E1B\u0E39\u0E48")};             // ฎูฐุปู่
    Entries entries;
    for (const QString& text : thai)
        entries.emplace_back(std::to_string(entries.size() + 1), *ShownToText(text.toStdU32String()).text);
    GridFixture f(entries);
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    Press(f.Editor(), Qt::Key_End); // no selection colours over the text
    const qreal ratio = f.grid->devicePixelRatioF();
    for (const int points : {0, 14, 20}) {
        if (points > 0) {
            QFont font = f.grid->font();
            font.setPointSize(points);
            f.grid->setFont(font);
        }
        QCoreApplication::processEvents();
        for (int row = 0; row < 3; ++row) {
            const int free = FreeInkHeight(f.grid->font(), thai[row], ratio);
            QVERIFY(free > 0);
            // Row 0 holds the editor; the others are painted by the grid.
            const QImage shown = row == 0 ? f.Editor()->grab().toImage()
                                          : f.grid->viewport()->grab(f.grid->visualRect(f.model->index(row, 1))).toImage();
            QVERIFY2(InkHeight(shown) >= free - 1,
                     qPrintable(QStringLiteral("%1 pt, row %2: %3 of %4 pixels of ink shown, row %5 high")
                                    .arg(f.grid->font().pointSize()).arg(row + 1).arg(InkHeight(shown))
                                    .arg(free).arg(f.grid->rowHeight(row))));
        }
    }
}

void GridTest::everyStandInIsDrawnAsAGlyph()
{
    // The characters that stand for control bytes and unassigned Thai ones
    // are drawn, not left as empty boxes, as in tavolin-strings list.
    GridFixture f(Entries{{"1", "a"}});
    const QFontMetrics metrics(f.grid->font());
    for (int b = 1; b < 256; ++b) {
        const char32_t shown = ShownChar(static_cast<std::uint8_t>(b));
        if (shown >= 0x2400)
            QVERIFY2(metrics.inFontUcs4(shown), qPrintable(QString("byte %1, U+%2").arg(b).arg(uint(shown), 4, 16)));
    }
}

void GridTest::charactersWithoutAByteAreRefusedInputMethodTextIsTyped()
{
    GridFixture f(Entries{{"1", "ab"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    Press(f.Editor(), Qt::Key_End);
    QTest::sendKeyEvent(QTest::Click, f.Editor(), Qt::Key_unknown, QString(QChar(0x0416)), {});
    QCOMPARE(f.Value(0), "ab");
    QVERIFY(f.keys.isEmpty());
    QCOMPARE(QToolTip::text(), QString::fromUtf8("\u0416 (U+0416) cannot be saved in this file"));
    // Signs that a code page puts at bytes which a save writes as unassigned
    // Thai characters are refused too: the phone would not show them.
    for (const char16_t sign : {u'\u20AC', u'\u2026', u'\u201C'}) {
        QToolTip::hideText();
        QTest::sendKeyEvent(QTest::Click, f.Editor(), Qt::Key_unknown, QString(QChar(sign)), {});
        QCOMPARE(f.Value(0), "ab");
        QVERIFY2(QToolTip::text().endsWith("cannot be saved in this file"), qPrintable(QToolTip::text()));
    }
    // Text an input method commits is typed character by character.
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("\u0E01\u0416c"));
    QCoreApplication::sendEvent(f.Editor(), &commit);
    QCOMPARE(f.keys, (QList<char32_t>{0x0E01, U'c'}));
    QCOMPARE(f.Value(0), "ab\xA1" "c");
    // Pasted, the whole change is refused, and said so.
    QToolTip::hideText();
    QApplication::clipboard()->setText(QString::fromUtf8("x\u00E9"));
    Press(f.Editor(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(f.Value(0), "ab\xA1" "c");
    QCOMPARE(QToolTip::text(), QString::fromUtf8("\u00E9 (U+00E9) cannot be saved in this file"));
}

void GridTest::everyTextByteSurvivesAnEditOfItsNeighbours()
{
    // Every byte but 10, which no file gives a text (its line feed reads as '\\').
    std::string all;
    for (int b = 1; b < 256; ++b) {
        if (b != 10)
            all += static_cast<char>(b);
    }
    GridFixture f(Entries{{"1", all}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    QCOMPARE(f.Editor()->text().toUcs4().size(), 254);
    QCOMPARE(f.Editor()->text().toUcs4().at(0x80 - 2), 0x2880u); // the file's U+0EE0, visible
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "Z");
    QCOMPARE(f.Value(0), all + "Z");
    Press(f.Editor(), Qt::Key_Backspace);
    QCOMPARE(f.Value(0), all);
}

void GridTest::emptyingAndAppendingSettleOnRowOne()
{
    GridFixture f(Entries{{"1", "a"}, {"2", "b"}, {"3", "c"}});
    QVERIFY(QTest::qWaitForWindowActive(f.grid.get()));
    f.grid->SetCurrentGridRow(3);
    f.editTexts.clear();
    f.table.RemoveAllEntries();
    QCOMPARE(f.editTexts.size(), 1); // the editor left row 3
    QCOMPARE(f.editTexts[0].row, 3);
    QVERIFY(!f.Editor());
    for (int i = 1; i <= 1000; ++i)
        f.table.AppendEntry(std::to_string(i), "x");
    QVERIFY(!f.Editor()); // not rebuilt for every entry
    f.grid->Settle();
    QCOMPARE(f.model->rowCount(), 1000);
    QCOMPARE(f.grid->CurrentGridRow(), 1);
    QVERIFY(f.Editor());
    QCOMPARE(f.editTexts.back().row, 1);
    // Appending elsewhere doesn't move the current row.
    f.grid->SetCurrentGridRow(500);
    f.table.AppendEntry("1001", "y");
    QTRY_COMPARE(f.model->rowCount(), 1001); // settles by itself when events run
    QCOMPARE(f.grid->CurrentGridRow(), 500);
    QVERIFY(f.Editor());
}

void GridTest::modelPassesTheItemModelTester()
{
    GridFixture f(Entries{{"1", "a"}});
    QAbstractItemModelTester tester(f.model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.table.RemoveAllEntries();
    f.grid->Settle();
    f.model->WriteBack(0, "typed");
    f.table.RemoveAllEntries();
    for (int i = 1; i <= 50; ++i)
        f.table.AppendEntry(std::to_string(i), "v" + std::to_string(i));
    f.grid->Settle();
    QCOMPARE(f.model->rowCount(), 50);
    QCOMPARE(f.model->data(f.model->index(49, 1), Qt::DisplayRole).toString(), QString("v50"));
    QCOMPARE(f.model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("ID"));
    QVERIFY(!(f.model->flags(f.model->index(0, 0)) & Qt::ItemIsEditable));
}

QTEST_MAIN(GridTest)
#include "grid_test.moc"
