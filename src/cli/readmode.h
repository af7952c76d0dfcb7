#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "document/document.h"

namespace tavolin {

class TavolinError;

// The options of list, export, import and check that choose how a file is read.
struct ReadOptions {
    std::string by; // "resource", "marker" or empty for the file's default
    bool includeGuessed = false;
};

// `by` that cannot apply to the file, or translations made for the other mode.
class ModeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `file` opened as `o.by` asks: by resource, by marker, or the file's
// default. Throws IoError, and ReadingRefused for `--by resource` on a file
// of no resource format.
[[nodiscard]] Document OpenDocument(const std::string& file, const ReadOptions& o);

// A failure as the command line shows it: the file it concerns (the one a
// save was writing, or `file`), then the message.
[[nodiscard]] std::string Failure(const TavolinError& e, const std::string& file);

// How an ID names a text: "R.I" by resource (both numbers from 1), a
// number by marker; None for anything else. The one parser of both.
enum class IdKind { None, Resource, Marker };
[[nodiscard]] IdKind KindOfId(std::string_view id);

// A rebuild's refusal with the option that lets guessed texts through as
// the command at hand calls it (apply: --allow-guessed, import:
// --include-guessed).
[[nodiscard]] std::string NamingGuessedOption(std::string message, const std::string& option);

} // namespace tavolin
