// Shows the editor with a small file of Latin and Thai strings open, for the
// screenshot in docs/ (see screenshot.sh). Not a test: it runs until killed.

#include <filesystem>

#include <QApplication>
#include <QFileDialog>

#include "ui/application.h"
#include "ui/messagesink.h"
#include "ui/tform1.h"
#include "ui/valuegrid.h"
#include "uitestutil.h"

using namespace tavolin;
using namespace tavolin::test;

int main(int argc, char** argv)
{
    TavolinApplication app(argc, argv);
    MessageBoxSink messages(app.Title());
    app.SetMessageSink(&messages);
    TempDir dir;
    const std::string path = dir.Write(
        "notes.rsc", ResourceFile({
                         {12, u"Notes"},
                         {16, u"\u0E1B\u0E31\u0E49\u0E19\u0E1D\u0E31\u0E48\u0E07\u0E1F\u0E31\u0E49\u0E19"}, // ปั้นฝั่งฟั้น
                         {20, u"\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35\u0E04\u0E23\u0E31\u0E1A"}, // สวัสดีครับ
                         {16, u"Open file"},
                         {16, u"\u0E40\u0E1B\u0E34\u0E14\u0E44\u0E1F\u0E25\u0E4C"},    // เปิดไฟล์
                         {16, u"\u0E1A\u0E31\u0E19\u0E17\u0E36\u0E01\u0E44\u0E1F\u0E25\u0E4C"}, // บันทึกไฟล์
                         {24, u"C:\\Data\\Notes"},
                         {12, u"\u0E15\u0E31\u0E27\u0E40\u0E25\u0E37\u0E2D\u0E01"},    // ตัวเลือก
                         {8, u"\u0E2D\u0E2D\u0E01"},                                  // ออก
                         {30, u"\u0E20\u0E32\u0E29\u0E32\u0E44\u0E17\u0E22"},         // ภาษาไทย
                         {20, u"Delete note?"},
                     }));
    TForm1 window(messages);
    window.SetDialogRunner([&](QFileDialog&) { return QString::fromStdString(path); });
    window.show();
    window.activateWindow();
    window.Open1Click();
    window.vle()->SetCurrentGridRow(3);
    window.vle()->setFocus();
    return app.exec();
}
