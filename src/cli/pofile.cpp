#include "cli/pofile.h"

#include <cctype>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <gettext-po.h>

namespace tavolin {

namespace {

// The library's handler may not return from a fatal error, so a read or
// write jumps back here; nothing between the jump and its target owns memory.
thread_local std::jmp_buf* t_fatal = nullptr;
thread_local std::string* t_errors = nullptr;

void Report(int severity, const char* filename, size_t lineno, const char* text)
{
    if (severity != PO_SEVERITY_WARNING && t_errors && t_errors->empty()) {
        std::string where = filename ? filename : "";
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

po_file_t ReadRaw(const char* fileName, std::string& errors)
{
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

bool WriteRaw(po_file_t file, const char* fileName, std::string& errors)
{
    std::jmp_buf jump;
    t_fatal = &jump;
    t_errors = &errors;
    bool ok = false;
    if (setjmp(jump) == 0)
        ok = po_file_write(file, fileName, &kHandler) != nullptr;
    t_fatal = nullptr;
    t_errors = nullptr;
    return ok;
}

struct FileFree {
    void operator()(po_file_t f) const { po_file_free(f); }
};
struct IteratorFree {
    void operator()(po_message_iterator_t i) const { po_message_iterator_free(i); }
};

} // namespace

std::vector<PoEntry> PoFile::Read(const std::string& fileName)
{
    std::string errors;
    std::unique_ptr<std::remove_pointer_t<po_file_t>, FileFree> file(ReadRaw(fileName.c_str(), errors));
    // cppcheck-suppress knownConditionTrueFalse ; the library's handler fills it through t_errors
    if (!errors.empty() || !file)
        throw PoError(errors.empty() ? fileName + ": cannot be read" : errors);
    // The texts are taken as UTF-8; a file in another charset would be misread.
    if (const char* header = po_file_domain_header(file.get(), nullptr)) {
        if (char* type = po_header_field(header, "Content-Type")) {
            std::string lower = type;
            std::free(type);
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const auto at = lower.find("charset=");
            if (at != std::string::npos && lower.compare(at + 8, 5, "utf-8") != 0)
                throw PoError(fileName + ": not in UTF-8 (" + lower.substr(at) + ")");
        }
    }
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
        e.fuzzy = po_message_is_fuzzy(m) != 0;
        e.obsolete = po_message_is_obsolete(m) != 0;
        entries.push_back(std::move(e));
    }
    return entries;
}

void PoFile::Write(const std::string& fileName, const std::string& headerComment,
                   const std::string& header, const std::vector<PoEntry>& entries)
{
    std::unique_ptr<std::remove_pointer_t<po_file_t>, FileFree> file(po_file_create());
    {
        std::unique_ptr<std::remove_pointer_t<po_message_iterator_t>, IteratorFree> it(
            po_message_iterator(file.get(), nullptr));
        po_message_t head = po_message_create();
        po_message_set_msgid(head, "");
        po_message_set_msgstr(head, header.c_str());
        po_message_set_comments(head, headerComment.c_str());
        po_message_insert(it.get(), head);
        for (const auto& e : entries) {
            po_message_t m = po_message_create();
            if (e.context)
                po_message_set_msgctxt(m, e.context->c_str());
            po_message_set_msgid(m, e.msgid.c_str());
            po_message_set_msgstr(m, e.msgstr.c_str());
            if (!e.comment.empty())
                po_message_set_extracted_comments(m, e.comment.c_str());
            po_message_insert(it.get(), m);
        }
    }
    std::string errors;
    if (!WriteRaw(file.get(), fileName.c_str(), errors) || !errors.empty())
        throw PoError(errors.empty() ? fileName + ": cannot be written" : errors);
}

} // namespace tavolin
