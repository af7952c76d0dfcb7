#include "cli/pofile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <dlfcn.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <utility>
#include <sys/mman.h>
#include <unistd.h>

#include <gettext-po.h>

#include "file/bytefile.h"
#include "file/errors.h"
#include "file/safesave.h"
#include "codec/utf8.h"

namespace tavolin {

namespace {

// The library's handler may not return from a fatal error, so a read or
// write jumps back here; nothing between the jump and its target owns memory.
thread_local std::jmp_buf* t_fatal = nullptr;
thread_local std::string* t_errors = nullptr;
// The library reads a copy through its descriptor's path; its messages name
// the file as the user gave it.
thread_local const std::string* t_copyPath = nullptr;
thread_local const std::string* t_shownName = nullptr;

void Report(int severity, const char* filename, size_t lineno, const char* text)
{
    if (severity != PO_SEVERITY_WARNING && t_errors && t_errors->empty()) {
        std::string where = filename ? filename : "";
        if (t_copyPath && t_shownName && where == *t_copyPath)
            where = *t_shownName;
        if (filename && lineno != static_cast<size_t>(-1))
            where += ":" + std::to_string(lineno);
        std::string message = text ? text : "";
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        *t_errors = where.empty() ? message : where + ": " + message;
    }
    if (severity == PO_SEVERITY_FATAL_ERROR && t_fatal)
        std::longjmp(*t_fatal, 1);
}

void XError(int severity, po_message_t, const char* filename, size_t lineno, size_t, int,
            const char* text)
{
    Report(severity, filename, lineno, text);
}

void XError2(int severity, po_message_t, const char* filename1, size_t lineno1, size_t, int,
             const char* text1, po_message_t, const char*, size_t, size_t, int, const char*)
{
    Report(severity, filename1, lineno1, text1);
}

const po_xerror_handler kHandler = {XError, XError2};

// The library refuses an entry given twice even where both are alike; the
// import judges that itself (alike counts once, different is refused).
// The switch is the library's own (msgcat's), not in its header: it is set
// where the library has it.
struct DuplicatesAllowed {
    bool* flag = static_cast<bool*>(::dlsym(RTLD_DEFAULT, "libgettextpo_allow_duplicates"));
    bool was = flag != nullptr && *flag;
    DuplicatesAllowed()
    {
        if (flag)
            *flag = true;
    }
    ~DuplicatesAllowed()
    {
        if (flag)
            *flag = was;
    }
    DuplicatesAllowed(const DuplicatesAllowed&) = delete;
    DuplicatesAllowed& operator=(const DuplicatesAllowed&) = delete;
};

po_file_t ReadRaw(const char* fileName, std::string& errors)
{
    const DuplicatesAllowed duplicates;
    std::jmp_buf jump;
    t_fatal = &jump;
    t_errors = &errors;
    po_file_t file = nullptr;
    if (setjmp(jump) == 0)
        file = po_file_read(fileName, &kHandler);
    t_fatal = nullptr;
    t_errors = nullptr;
    return file;
}


// A file in memory the library can open by name; one descriptor is made
// sure to be free for it to open it.
class MemoryFile {
public:
    MemoryFile() : m_fd(::memfd_create("tavolin-po", MFD_CLOEXEC))
    {
        if (m_fd < 0 && errno == ENOMEM)
            throw std::bad_alloc();
        if (m_fd < 0)
            throw IoErrorFor(errno, "");
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    [[nodiscard]] std::string Path() const { return "/proc/self/fd/" + std::to_string(m_fd); }
    void EnsureSpareDescriptor() const
    {
        const int spare = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        if (spare < 0)
            throw IoErrorFor(errno, "");
        ::close(spare);
    }
    void Put(const std::string& bytes) const
    {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw IoErrorFor(n < 0 ? errno : ENOSPC, "");
            done += static_cast<std::size_t>(n);
        }
    }
private:
    int m_fd;
};

// The bytes of a PO or XLIFF file, up to the limit of translations.
std::string ReadPoBytes(const std::string& fileName)
{
    try {
        const auto bytes = ReadWholeInput(fileName, kTranslationsLimit, "a PO or XLIFF file");
        return {bytes.begin(), bytes.end()};
    } catch (const TavolinError& e) {
        throw PoError(fileName + ": " + e.what());
    }
}

// What is wrong with an escape in a quoted string of `line`, nullptr for
// none. The library reads up to three octal digits and every hex digit
// into one byte, keeping the low eight bits: an escape of zero (\0, \x00)
// or of more than a byte (\400, \x100) would cut the text or stand for
// a byte other than the one written.
const char* BadEscape(std::string_view line)
{
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted || line[i] != '\\' || i + 1 == line.size())
            continue;
        const char e = line[++i];
        unsigned value = 1;
        if (e >= '0' && e <= '7') {
            value = 0;
            for (int n = 0; n < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++n, ++i)
                value = value * 8 + static_cast<unsigned>(line[i] - '0');
            --i;
        } else if (e == 'x' && i + 1 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i + 1]))) {
            value = 0;
            while (i + 1 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i + 1]))) {
                const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(line[++i])));
                value = std::min(value * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : h - 'a' + 10), 0x100u);
            }
        }
        if (value == 0)
            return "an escaped NUL character (\\0), which would cut the text";
        if (value > 0xFF)
            return "an escape of more than one byte (over \\377 or \\xff), which would be cut to another";
    }
    return nullptr;
}

// What the library would take wrongly or not name: returns the bytes to
// read (a UTF-8 byte order mark dropped) and the first line that is not
// UTF-8 (0 for none). Throws PoError listing every refused line.
std::string CheckPoBytes(const std::string& fileName, std::string bytes, std::size_t& badUtf8Line)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF) ||
                              ((at(0) == 0) != (at(1) == 0))))
        throw PoError(fileName + ": in UTF-16; save it as UTF-8");
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    std::string refused;
    std::size_t count = 0;
    const auto refuse = [&](std::size_t line, const char* what) {
        if (++count <= 10)
            refused += (refused.empty() ? "" : "\n") + fileName + ":" + std::to_string(line) + ": " + what;
    };
    badUtf8Line = 0;
    std::size_t lineNo = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        ++lineNo;
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        start = end + 1;
        if (line.find('\0') != std::string_view::npos) {
            refuse(lineNo, "a NUL byte");
            continue;
        }
        for (std::size_t i = 0; badUtf8Line == 0 && i < line.size();) {
            if (!NextUtf8(line, i))
                badUtf8Line = lineNo;
        }
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        // Comments are text; obsolete (#~) and previous (#|) entries hold strings.
        const bool old = line.starts_with("#~") || line.starts_with("#|");
        if (line.starts_with('#') && !old)
            continue;
        if (const char* bad = BadEscape(line))
            refuse(lineNo, bad);
        if (!old && line.starts_with("msgid_plural"))
            refuse(lineNo, "a plural entry, which has no place in a resource file");
    }
    if (count > 10)
        refused += "\n" + fileName + ": " + std::to_string(count - 10) + " more";
    if (!refused.empty())
        throw PoError(refused);
    return bytes;
}

struct FileFree {
    void operator()(po_file_t f) const { po_file_free(f); }
};
struct IteratorFree {
    void operator()(po_message_iterator_t i) const { po_message_iterator_free(i); }
};

} // namespace

std::string PoFile::ReadBytes(const std::string& fileName)
{
    return ReadPoBytes(fileName);
}

std::vector<PoEntry> PoFile::Read(const std::string& fileName)
{
    return Parse(ReadPoBytes(fileName), fileName);
}

std::vector<PoEntry> PoFile::Parse(std::string text, const std::string& fileName, std::string* language)
{
    std::size_t badUtf8Line = 0;
    const std::string bytes = CheckPoBytes(fileName, std::move(text), badUtf8Line);
    const MemoryFile copy;
    copy.Put(bytes);
    copy.EnsureSpareDescriptor();
    const std::string copyPath = copy.Path();
    t_copyPath = &copyPath;
    t_shownName = &fileName;
    std::string errors;
    std::unique_ptr<std::remove_pointer_t<po_file_t>, FileFree> file(ReadRaw(copyPath.c_str(), errors));
    t_copyPath = nullptr;
    t_shownName = nullptr;
    // cppcheck-suppress knownConditionTrueFalse ; the library's handler fills it through t_errors
    if (!errors.empty() || !file)
        throw PoError(errors.empty() ? fileName + ": cannot be read" : errors);
    // The texts are taken as UTF-8; a file in another charset would be misread.
    bool charsetNamed = false;
    if (const char* header = po_file_domain_header(file.get(), nullptr)) {
        if (char* field = po_header_field(header, "Language"); field && language) {
            *language = field;
            std::free(field);
        } else {
            std::free(field);
        }
        if (char* type = po_header_field(header, "Content-Type")) {
            std::string lower = type;
            std::free(type);
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const auto at = lower.find("charset=");
            if (at != std::string::npos && lower.compare(at + 8, 5, "utf-8") != 0)
                throw PoError(fileName + ": not in UTF-8 (" + lower.substr(at) + ")");
            charsetNamed = at != std::string::npos;
        }
    }
    if (badUtf8Line != 0)
        throw PoError(fileName + ":" + std::to_string(badUtf8Line) + ": not valid UTF-8" +
                      (charsetNamed ? "" : " (a PO file whose header names no charset is read as UTF-8)"));
    std::vector<PoEntry> entries;
    std::unique_ptr<std::remove_pointer_t<po_message_iterator_t>, IteratorFree> it(
        po_message_iterator(file.get(), nullptr));
    while (po_message_t m = po_next_message(it.get())) {
        PoEntry e;
        if (const char* c = po_message_msgctxt(m))
            e.context = c;
        e.msgid = po_message_msgid(m);
        if (e.msgid.empty() && !e.context)
            continue; // the header
        e.msgstr = po_message_msgstr(m);
        if (const char* c = po_message_extracted_comments(m))
            e.comment = c;
        for (int i = 0; const po_filepos_t at = po_message_filepos(m, i); ++i) {
            std::string reference = po_filepos_file(at);
            if (const std::size_t line = po_filepos_start_line(at); line != static_cast<std::size_t>(-1))
                reference += ":" + std::to_string(line);
            e.references.push_back(std::move(reference));
        }
        e.fuzzy = po_message_is_fuzzy(m) != 0;
        e.obsolete = po_message_is_obsolete(m) != 0;
        if (po_message_msgid_plural(m) && !e.obsolete)
            throw PoError(fileName + ": a plural entry (msgid \"" + e.msgid + "\"), which has no place in a resource file");
        entries.push_back(std::move(e));
    }
    return entries;
}

namespace {

// One string of a PO file, quoted and escaped; split after each line feed
// where there are several lines, as gettext writes them.
void AppendPoString(std::string& po, const char* keyword, std::string_view text)
{
    po += keyword;
    const auto feed = text.find('\n');
    const bool lines = feed != std::string_view::npos && feed + 1 < text.size();
    po += lines ? " \"\"\n\"" : " \"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\\': po += "\\\\"; break;
        case '"': po += "\\\""; break;
        case '\t': po += "\\t"; break;
        case '\r': po += "\\r"; break;
        case '\n':
            po += "\\n";
            if (lines && i + 1 < text.size())
                po += "\"\n\"";
            break;
        default:
            // Any other control character goes as it is: gettext reads it
            // so, and translate-toolkit's tools (podebug, Pootle, Weblate)
            // know no escape but the ones above.
            po += static_cast<char>(c);
        }
    }
    po += "\"\n";
}

void AppendComment(std::string& po, const char* mark, std::string_view text)
{
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        po += mark;
        if (!line.empty()) {
            po += ' ';
            po += line;
        }
        po += '\n';
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

} // namespace

std::string PoFile::Text(const std::string& headerComment, const std::string& header,
                         const std::vector<PoEntry>& entries, bool fuzzyHeader)
{
    // Made here rather than by the library, whose writing needs files of its
    // own and, where it cannot open them, writes through a null FILE.
    std::string po;
    AppendComment(po, "#", headerComment);
    if (fuzzyHeader)
        po += "#, fuzzy\n";
    AppendPoString(po, "msgid", "");
    AppendPoString(po, "msgstr", header);
    for (const auto& e : entries) {
        po += '\n';
        AppendComment(po, "#.", e.comment);
        for (const auto& reference : e.references)
            AppendComment(po, "#:", reference);
        if (e.fuzzy)
            po += "#, fuzzy\n";
        if (e.context)
            AppendPoString(po, "msgctxt", *e.context);
        AppendPoString(po, "msgid", e.msgid);
        AppendPoString(po, "msgstr", e.msgstr);
    }
    return po;
}

void PoFile::Write(const std::string& fileName, const std::string& headerComment,
                   const std::string& header, const std::vector<PoEntry>& entries)
{
    const std::string text = Text(headerComment, header, entries);
    ReplaceFile(fileName, std::vector<std::uint8_t>(text.begin(), text.end()));
}

} // namespace tavolin
