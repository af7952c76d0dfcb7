// The edit length guard: "Full Field" at each slot's end, typed through the
// real cell editor.

#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include "windowfixture.h"

using namespace tavolin;
using namespace tavolin::test;

namespace {

const QString kFull = QStringLiteral("Full Field");

// Opens a file of the given slots and puts the caret at the end of row `row`.
void OpenAt(WindowFixture& f, const std::vector<Slot>& strings, int row = 1,
            const std::string& name = "t.rsc")
{
    f.Open(f.Write(name, ResourceFile(strings)));
    f.window.vle()->SetCurrentGridRow(row);
    f.window.vle()->setFocus();
    Press(f.Editor(), Qt::Key_End);
    f.sink.Clear();
}

} // namespace

class GuardTest : public QObject {
    Q_OBJECT
private slots:
    void fullTextRefusesEveryCharacterButBackspace();
    void emptyTextIsNotJudgedEvenWithCapacityZero();
    void enterEscapeAndCopyAreJudgedDeleteAndShiftInsertAreNot();
    void ctrlVIsJudgedAsOneCharacter();
    void captionFilesAndFailedLoadsAreNotGuarded();
    void rightAfterAnOpenEditRowIsOne();
    void theRowTheEditorIsPlacedOnJudgesItsFirstCharacter();
    void rowsWithoutACapacityStopTheCharacterWithTheConversionError();
};

void GuardTest::fullTextRefusesEveryCharacterButBackspace()
{
    WindowFixture f;
    OpenAt(f, {{5, u"Hello"}});
    QTest::keyClicks(f.Editor(), "x1 ");
    QCOMPARE(f.sink.messages, (QStringList{kFull, kFull, kFull}));
    QCOMPARE(f.Vle().ValueOf("1"), "Hello");
    Press(f.Editor(), Qt::Key_Backspace);
    QCOMPARE(f.Vle().ValueOf("1"), "Hell");
    // One short of the capacity: one character goes in, the next is refused.
    QTest::keyClicks(f.Editor(), "pq");
    QCOMPARE(f.Vle().ValueOf("1"), "Hellp");
    QCOMPARE(f.sink.messages.size(), 4);
    QVERIFY(f.sink.errors.isEmpty());
}

void GuardTest::emptyTextIsNotJudgedEvenWithCapacityZero()
{
    WindowFixture f;
    OpenAt(f, {{0, u""}});
    QTest::keyClicks(f.Editor(), "ab");
    QCOMPARE(f.Vle().ValueOf("1"), "a");
    QCOMPARE(f.sink.messages, QStringList{kFull});
}

void GuardTest::enterEscapeAndCopyAreJudgedDeleteAndShiftInsertAreNot()
{
    WindowFixture f;
    OpenAt(f, {{3, u"abc"}});
    Press(f.Editor(), Qt::Key_Return);
    Press(f.Editor(), Qt::Key_Escape);
    QApplication::clipboard()->setText("keep");
    Press(f.Editor(), Qt::Key_Home, Qt::ShiftModifier);
    Press(f.Editor(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(f.sink.messages, (QStringList{kFull, kFull, kFull}));
    QCOMPARE(QApplication::clipboard()->text(), QString("keep")); // the copy was not made
    Press(f.Editor(), Qt::Key_Home);
    Press(f.Editor(), Qt::Key_Delete);
    QCOMPARE(f.Vle().ValueOf("1"), "bc");
    Press(f.Editor(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(f.Vle().ValueOf("1"), "keepbc");
    QCOMPARE(f.sink.messages.size(), 3);
}

void GuardTest::ctrlVIsJudgedAsOneCharacter()
{
    WindowFixture f;
    OpenAt(f, {{5, u"abc"}});
    QApplication::clipboard()->setText("0123456789");
    Press(f.Editor(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f.Vle().ValueOf("1"), "abc0123456789");
    QVERIFY(f.sink.messages.isEmpty());
    QTest::keyClicks(f.Editor(), "z");
    Press(f.Editor(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f.sink.messages, (QStringList{kFull, kFull}));
    QCOMPARE(f.Vle().ValueOf("1"), "abc0123456789");
}

void GuardTest::captionFilesAndFailedLoadsAreNotGuarded()
{
    WindowFixture f;
    QVERIFY(QDir(QString::fromStdString(f.dir.Path().string())).mkdir("App_CAPTION"));
    OpenAt(f, {{2, u"ab"}}, 1, "App_CAPTION/app.rsc");
    QVERIFY(f.window.IsCaptionFile());
    QTest::keyClicks(f.Editor(), "cdef");
    QCOMPARE(f.Vle().ValueOf("1"), "abcdef");
    QVERIFY(f.sink.messages.isEmpty());

    // A string that runs past the end of the file stops the Open midway.
    Bytes cut = ResourceFile({{2, u"ab"}, {9, u"xy"}});
    cut.resize(cut.size() - 10);
    f.Open(f.Write("cut.rsc", cut));
    QCOMPARE(f.sink.errors, QStringList{"Read beyond end of file."});
    QVERIFY(f.window.IsLoading());
    f.window.vle()->setFocus();
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "cd");
    QCOMPARE(f.Vle().ValueOf("1"), "abcd");
    QVERIFY(f.sink.messages.isEmpty());
}

void GuardTest::rightAfterAnOpenEditRowIsOne()
{
    WindowFixture f;
    f.window.vle()->SetCurrentGridRow(1);
    OpenAt(f, {{5, u"a"}, {5, u"b"}, {5, u"c"}}, 3);
    QCOMPARE(f.window.EditRow(), 3);
    f.Open(f.Write("u.rsc", ResourceFile({{4, u"x"}, {4, u"y"}})));
    QCOMPARE(f.window.EditRow(), 1);
    QCOMPARE(f.window.vle()->CurrentGridRow(), 1);
}

void GuardTest::theRowTheEditorIsPlacedOnJudgesItsFirstCharacter()
{
    WindowFixture f;
    OpenAt(f, {{2, u"ab"}, {9, u"cd"}});
    // Row 1 is full, row 2 is not: the first character in row 2 goes in.
    Press(f.Editor(), Qt::Key_Down);
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "e");
    QCOMPARE(f.Vle().ValueOf("2"), "cde");
    QVERIFY(f.sink.messages.isEmpty());
    // And back in the full row, its first character is refused.
    Press(f.Editor(), Qt::Key_Up);
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "c");
    QCOMPARE(f.sink.messages, QStringList{kFull});
    QCOMPARE(f.Vle().ValueOf("1"), "ab");
}

void GuardTest::rowsWithoutACapacityStopTheCharacterWithTheConversionError()
{
    WindowFixture f;
    const QString start = QStringLiteral("- Open RSC File for Edit -");
    // Before any report the guard reads the title row: no capacity for "ID".
    QCOMPARE(f.window.EditRow(), 0);
    Press(f.Editor(), Qt::Key_End);
    QTest::keyClicks(f.Editor(), "x");
    QCOMPARE(f.sink.errors, QStringList{"'' is not a valid integer value."});
    QCOMPARE(f.Editor()->text(), start);
    QCOMPARE(f.Vle().CellText(1, 1), start.toStdString());
    // Backspace is not judged; afterwards the starting row's "-" is read.
    Press(f.Editor(), Qt::Key_Backspace);
    QCOMPARE(f.window.EditRow(), 1);
    QTest::keyClicks(f.Editor(), "y");
    QCOMPARE(f.sink.errors.back(), QString("'-' is not a valid integer value."));
    QCOMPARE(f.Editor()->text(), start.chopped(1));
    // Emptied, the text is not judged and takes the next character.
    Press(f.Editor(), Qt::Key_Home, Qt::ShiftModifier);
    Press(f.Editor(), Qt::Key_Delete);
    QTest::keyClicks(f.Editor(), "z");
    QCOMPARE(f.Vle().CellText(1, 1), "z");
    QCOMPARE(f.sink.errors.size(), 2);

    // An entry typed into the empty table of a file without strings has an
    // empty key: its first character goes in, the next one is stopped.
    f.Open(f.Write("none.rsc", Bytes{1, 2, 3}));
    QCOMPARE(f.Vle().EntryCount(), 0u);
    f.window.vle()->setFocus();
    f.sink.Clear();
    QTest::keyClicks(f.Editor(), "ab");
    QCOMPARE(f.Vle().CellText(1, 1), "a");
    QCOMPARE(f.Vle().KeyAt(0), "");
    QCOMPARE(f.sink.errors, QStringList{"'' is not a valid integer value."});
    QVERIFY(f.sink.messages.isEmpty());
}

QTEST_MAIN(GuardTest)
#include "guard_test.moc"
