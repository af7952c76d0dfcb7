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
        std::fputs("Usage: tavolin [--by resource|marker] [FILE]\n"
                   "Edit the text strings of a compiled Symbian OS resource file (.rsc).\n"
                   "\n"
                   "  FILE          the resource file to open at start\n"
                   "  --by resource read it by its resource structure (the default for a file\n"
                   "                of a resource format: old, compressed or narrow)\n"
                   "  --by marker   read it by the string markers (the default otherwise)\n"
                   "  --help        print this help and exit\n"
                   "  --version     print the version and exit\n",
                   out);
        return 0;
    }
    if (first == "--version") {
        std::fputs("tavolin " TAVOLIN_VERSION "\n", out);
        return 0;
    }
    if (const StartArguments start = ParseStartArguments(arguments); !start.error.empty()) {
        std::fprintf(stderr, "tavolin: %s\nTry 'tavolin --help'.\n", start.error.c_str());
        return 2;
    }
    return std::nullopt;
}

StartArguments ParseStartArguments(const std::vector<std::string>& arguments)
{
    StartArguments start;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--by" || argument.starts_with("--by=")) {
            const bool joined = argument.size() > 4;
            if (!joined && i + 1 >= arguments.size()) {
                start.error = "--by needs resource or marker";
                return start;
            }
            const std::string value = joined ? argument.substr(5) : arguments[++i];
            if (value == "resource") {
                start.by = ReadBy::Resource;
            } else if (value == "marker") {
                start.by = ReadBy::Marker;
            } else {
                start.error = "--by takes resource or marker, not '" + value + "'";
                return start;
            }
        } else if (!start.file) {
            start.file = argument;
        } else {
            start.error = "one file at a time: '" + argument + "' is one too many";
            return start;
        }
    }
    return start;
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
