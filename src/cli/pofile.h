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
    // "#:" references; export writes the ID there too, where other tools
    // keep it when they drop msgctxt.
    std::vector<std::string> references = {};
};

// A PO file the library refused; the message names the file and line.
class PoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reading and writing through GNU gettext's libgettextpo.
class PoFile {
public:
    // Reads a file, pipe or device of at most 64 MiB. Refuses, by line, NUL characters (raw or escaped, which the
    // library would cut the text at) and plural entries; names a file in
    // UTF-16 or not in UTF-8 as such. A UTF-8 byte order mark is skipped.
    // Throws PoError, or IoError when no file can be opened.
    [[nodiscard]] static std::vector<PoEntry> Read(const std::string& fileName);
    // The two halves of Read: the bytes of the file as Read takes them (for
    // an input whose kind is told by its content), and their reading;
    // `fileName` names the file in messages.
    [[nodiscard]] static std::string ReadBytes(const std::string& fileName);
    // `language`, where given, receives the header's Language field.
    [[nodiscard]] static std::vector<PoEntry> Parse(std::string text, const std::string& fileName,
                                                    std::string* language = nullptr);
    // The PO text of the header (msgid "") and the entries, in gettext's
    // form (msgfmt --check takes it).
    // A template's header is fuzzy, as gettext's tools write it.
    [[nodiscard]] static std::string Text(const std::string& headerComment, const std::string& header,
                                          const std::vector<PoEntry>& entries, bool fuzzyHeader = false);
    // That text put in place of `fileName` through the safe save. Throws
    // PoError or IoError.
    static void Write(const std::string& fileName, const std::string& headerComment,
                      const std::string& header, const std::vector<PoEntry>& entries);
};

} // namespace tavolin
