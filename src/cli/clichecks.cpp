#include "cli/clichecks.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "codec/utf8.h"

namespace tavolin {

bool IsStandardOutput(const std::string& path)
{
    struct stat named {};
    struct stat output {};
    return ::fstat(STDOUT_FILENO, &output) == 0 && ::stat(path.c_str(), &named) == 0 &&
           named.st_dev == output.st_dev && named.st_ino == output.st_ino;
}

std::string NotSavableInPlace(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        return ""; // the read says what is wrong with it
    return Shown(file) + ": not a regular file (a pipe or a device), which is not saved over; "
                         "give -o OUT to write the result elsewhere";
}

std::string Shown(std::string_view text)
{
    std::string shown;
    char escape[12];
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const auto c = NextUtf8(text, at);
        if (!c) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[at]));
            shown += escape;
            ++at;
            continue;
        }
        const bool control = *c < 0x20 || (*c >= 0x7F && *c < 0xA0);
        const bool direction = *c == 0x061C || *c == 0x200E || *c == 0x200F || (*c >= 0x2028 && *c <= 0x202E) ||
                               (*c >= 0x2066 && *c <= 0x2069);
        if (*c == '\\') {
            shown += "\\\\";
        } else if (*c == '\n') {
            shown += "\\n";
        } else if (*c == '\t') {
            shown += "\\t";
        } else if (*c == '\r') {
            shown += "\\r";
        } else if (control || direction) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(*c));
            shown += escape;
        } else {
            shown.append(text.substr(start, at - start));
        }
    }
    return shown;
}

} // namespace tavolin
