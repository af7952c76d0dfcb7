#pragma once

#include <exception>

#include <QString>

namespace tavolin {

class MessageSink;

// The program's title from its file name: no folder, nothing from the first
// period on, everything after the first character in lower case.
[[nodiscard]] QString ApplicationTitle(const QString& programPath);

// The text the error display shows for a message: a "." is added when the
// last character's code is above that of ".".
[[nodiscard]] QString ErrorDisplayText(const QString& message);

// The message that an escaped exception carries ("Out of memory" for
// std::bad_alloc).
[[nodiscard]] QString MessageOf(std::exception_ptr error);

// Shows an error that ended a command, by the rule above.
void ShowErrorOf(MessageSink& sink, std::exception_ptr error);

} // namespace tavolin
