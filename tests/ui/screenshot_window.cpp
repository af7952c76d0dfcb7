// Shows the editor for the screenshots in docs/ (see screenshot.sh): a small
// file of Latin and Thai strings read by markers, or with `--by-resource` a
// real message editor's resource file of the corpus read by resource
// structure, part of it translated into Russian. Not a test: it runs until
// killed.

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include <QApplication>
#include <QFileDialog>

#include "document/document.h"
#include "ui/application.h"
#include "ui/documentmodel.h"
#include "ui/messagesink.h"
#include "ui/textgrid.h"
#include "ui/tform1.h"
#include "ui/valuegrid.h"
#include "uitestutil.h"

using namespace tavolin;
using namespace tavolin::test;
namespace fs = std::filesystem;

namespace {

// The corpus file, some of its texts translated as a translator would.
int ShowByResource(MessageBoxSink& messages)
{
    const fs::path source = CorpusDir() / "bafl_tsrc" / "MSGEDITOR.RSC";
    if (CorpusDir().empty() || !fs::exists(source)) {
        std::fprintf(stderr, "sample resource files not found at %s\n", TAVOLIN_CORPUS_DIR);
        return 1;
    }
    TempDir dir;
    const fs::path copy = dir.Path() / "msgeditor.rsc";
    fs::copy_file(source, copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
    TForm1 window(messages);
    window.resize(640, 420);
    window.show();
    window.activateWindow();
    window.OpenFileClick(QString::fromStdString(copy.string()));
    const std::vector<std::pair<const char*, const char*>> translations{
        {"5.1", "Сообщение"},          {"5.2", "Правка"},  {"5.3", "Вид"},     {"5.4", "Текст"},
        {"5.5", "Вставка"},            {"6.1", "Сохранить"}, {"6.2", "Сохранить черновик"},
        {"8.1", "Увеличить"},          {"8.2", "Уменьшить"}, {"8.3", "Шрифт…"}, {"8.4", "Выравнивание…"},
        {"11.1", "Сохранить"},         {"11.2", "Сохранить\nчерновик"}, {"11.3", "Закрыть"},
        {"12.1", "Команда недоступна"}, {"13.1", "Неверные параметры командной строки"},
        {"14.1", "Ошибка создания по типу сообщения"},
        {"15.1", "Редактор будет закрыт.\nОшибка загрузки MTM"},
    };
    const Document& document = *window.CurrentDocument();
    for (const auto& [id, text] : translations) {
        if (const auto row = document.RowOf(id))
            window.TextModel().WriteBack(static_cast<int>(*row), QString::fromUtf8(text));
    }
    // From the menu of zoom commands down to the first untranslated message
    // of two lines, which the editor holds.
    window.Texts()->SetCurrentRow(static_cast<int>(document.RowOf("16.1").value_or(0)));
    window.Texts()->setFocus();
    window.Texts()->scrollTo(window.TextModel().index(static_cast<int>(document.RowOf("8.1").value_or(0)), 0),
                             QAbstractItemView::PositionAtTop);
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    TavolinApplication app(argc, argv);
    MessageBoxSink messages(app.Title());
    app.SetMessageSink(&messages);
    if (argc > 1 && std::string(argv[1]) == "--by-resource")
        return ShowByResource(messages);
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
