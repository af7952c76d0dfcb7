#include "ui/application.h"

#include <cstdio>

#include "ui/errordisplay.h"
#include "ui/messagesink.h"

namespace tavolin {

TavolinApplication::TavolinApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QString TavolinApplication::Title() const
{
    return ApplicationTitle(applicationFilePath());
}

bool TavolinApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (m_sink)
            ShowErrorOf(*m_sink, std::current_exception());
        return false;
    }
}

bool CheckDisplay(const char* programName)
{
    // Qt would abort without a word a user could act on.
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    std::fprintf(stderr,
                 "%s: no display found. Run it under a virtual X server:\n"
                 "  xvfb-run -a %s\n",
                 programName, programName);
    return false;
}

} // namespace tavolin
