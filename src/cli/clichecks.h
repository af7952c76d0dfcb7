#pragma once

#include <string>
#include <string_view>

namespace tavolin {

// Whether `path` is the file, pipe or terminal standard output writes to
// (/dev/stdout, or the very file standard output was sent to). A command
// that saves its file there sends its summary to standard error, so that
// standard output holds the file's bytes and nothing else.
[[nodiscard]] bool IsStandardOutput(const std::string& path);

// Why FILE cannot be saved over in place, empty when it can: a pipe or a
// device would take the result as a stream, into what the command itself
// may be reading.
[[nodiscard]] std::string NotSavableInPlace(const std::string& file);

// `text` as a message shows it: control characters, characters that turn
// the direction of text, and bytes that are not UTF-8 as escapes (\n,
// \u202e, \xff), a backslash doubled; a terminal takes nothing of it as a
// command.
[[nodiscard]] std::string Shown(std::string_view text);

} // namespace tavolin
