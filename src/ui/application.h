#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>

#include "document/resourcetexts.h"

namespace tavolin {

class MessageSink;

// Catches every error that escapes the handling of an event and shows it by
// the error display rule; the event loop then goes on.
class TavolinApplication : public QApplication {
    Q_OBJECT
public:
    TavolinApplication(int& argc, char** argv);

    // The title of every message window, from the program file's name.
    [[nodiscard]] QString Title() const;
    void SetMessageSink(MessageSink* sink) { m_sink = sink; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    MessageSink* m_sink = nullptr;
};

// Answers `--help` and `--version` (first argument) on `out`, and a call the
// editor does not take on stderr, with the exit code; nothing when the
// program is to start its window.
[[nodiscard]] std::optional<int> AnswerCommandLine(const std::vector<std::string>& arguments, std::FILE* out);

// What the window starts with: `tavolin [--by resource|marker] [FILE]`.
struct StartArguments {
    std::optional<ReadBy> by;
    std::optional<std::string> file;
    std::string error; // not empty: the call the editor does not take
};
[[nodiscard]] StartArguments ParseStartArguments(const std::vector<std::string>& arguments);

// True when a window can be shown; otherwise prints how to run the editor.
[[nodiscard]] bool CheckDisplay(const char* programName);

} // namespace tavolin
