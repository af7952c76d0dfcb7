#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <QStringList>
#include <QTimer>

#include "ui/application.h"
#include "ui/messagesink.h"
#include "ui/tform1.h"

int main(int argc, char** argv)
{
    // Answered without a display.
    if (const auto code = tavolin::AnswerCommandLine(std::vector<std::string>(argv, argv + argc), stdout))
        return *code;
    if (!tavolin::CheckDisplay(argv[0]))
        return 1;
    // A file-size limit then fails a save with a message (the old file kept)
    // rather than killing the editor with the user's edits.
    std::signal(SIGXFSZ, SIG_IGN);
    tavolin::TavolinApplication app(argc, argv);
    tavolin::MessageBoxSink messages(app.Title());
    app.SetMessageSink(&messages);
    tavolin::TForm1 Form1(messages);
    Form1.show();
    // `tavolin [--by resource|marker] FILE`, as the desktop entry and the
    // file manager call it. The file is opened once the loop runs, so that an
    // error window stands over the window already on the screen.
    const QStringList given = QCoreApplication::arguments();
    std::vector<std::string> arguments(static_cast<std::size_t>(given.size()));
    std::transform(given.begin(), given.end(), arguments.begin(),
                   [](const QString& argument) { return argument.toStdString(); });
    const tavolin::StartArguments start = tavolin::ParseStartArguments(arguments);
    Form1.SetReading(start.by);
    if (start.file) {
        const QString path = QString::fromStdString(*start.file);
        QTimer::singleShot(0, &Form1, [&Form1, path] { Form1.OpenFileClick(path); });
    }
    return QApplication::exec();
}
