#include "ui/application.h"

#include <cstdio>

#include "ui/errordisplay.h"
#include "version.h"
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

std::optional<int> AnswerCommandLine(const std::vector<std::string>& arguments, std::FILE* out)
{
    if (arguments.size() < 2)
        return std::nullopt;
    const std::string& first = arguments[1];
    if (first == "--help" || first == "-h") {
        std::fputs("Usage: tavolin [FILE]\n"
                   "Edit the text strings of a compiled Symbian OS resource file (.rsc).\n"
                   "\n"
                   "  FILE       the resource file to open at start\n"
                   "  --help     print this help and exit\n"
                   "  --version  print the version and exit\n",
                   out);
        return 0;
    }
    if (first == "--version") {
        std::fputs("tavolin " TAVOLIN_VERSION "\n", out);
        return 0;
    }
    return std::nullopt;
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
