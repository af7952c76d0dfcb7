#include "file/errors.h"

#include <cerrno>
#include <charconv>
#include <limits>

namespace tavolin {

std::string IoError::MessageFor(int code)
{
    switch (code) {
    case kFileNotFound: return "File not found";
    case kInvalidFilename: return "Invalid filename";
    case kTooManyOpenFiles: return "Too many open files";
    case kAccessDenied: return "File access denied";
    case kReadBeyondEnd: return "Read beyond end of file";
    case kDiskFull: return "Disk full";
    default: return "I/O error " + std::to_string(code);
    }
}

IoError::IoError(int code) : TavolinError(MessageFor(code)), m_code(code) {}

IoError::IoError(int code, const std::string& message) : TavolinError(message), m_code(code) {}

IoError IoError::Unmapped(int errnum)
{
    // Two causes a user can act on get words of their own.
    switch (errnum) {
    case EFBIG: return {errnum, "File size limit reached"};
    case ELOOP: return {errnum, "Too many symbolic links (a link loop)"};
    case EISDIR: return {errnum, "Is a folder, not a file"};
    default: return {errnum, "I/O error " + std::to_string(errnum)};
    }
}

IoError IoError::PartlyWritten(const IoError& cause, const std::string& file)
{
    return {cause.Code(), std::string(cause.what()) + "; " + file + " was written only in part"};
}

ConvertError::ConvertError(std::string_view text)
    : TavolinError("'" + std::string(text) + "' is not a valid integer value")
{
}

int StrToInt(std::string_view text)
{
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        throw ConvertError(text);
    long long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            throw ConvertError(text);
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            throw ConvertError(text);
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        throw ConvertError(text);
    return static_cast<int>(value);
}

} // namespace tavolin
