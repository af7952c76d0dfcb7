#include "ui/application.h"
#include "ui/messagesink.h"
#include "ui/tform1.h"

int main(int argc, char** argv)
{
    if (!tavolin::CheckDisplay(argv[0]))
        return 1;
    tavolin::TavolinApplication app(argc, argv);
    tavolin::MessageBoxSink messages(app.Title());
    app.SetMessageSink(&messages);
    tavolin::TForm1 Form1(messages);
    Form1.show();
    return app.exec();
}
