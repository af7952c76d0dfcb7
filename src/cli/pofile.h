#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavolin {

// One entry of a PO file, as far as an import cares.
struct PoEntry {
    std::optional<std::string> context; // msgctxt
    std::string msgid;
    std::string msgstr;
    std::string comment; // extracted comment, without "#. "
    bool fuzzy = false;
    bool obsolete = false;
};

// A PO file the library refused; the message names the file and line.
class PoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reading and writing through GNU gettext's libgettextpo.
class PoFile {
public:
    // Throws PoError.
    [[nodiscard]] static std::vector<PoEntry> Read(const std::string& fileName);
    // Writes the header (msgid "") and the entries to `fileName`. Throws PoError.
    static void Write(const std::string& fileName, const std::string& headerComment,
                      const std::string& header, const std::vector<PoEntry>& entries);
};

} // namespace tavolin
