#pragma once

#include <string>
#include <string_view>

#include "tables/error.h"

namespace tavolin {

// Codes of the file access itself, beside the system's error numbers.
enum IoCode : int {
    kFileNotFound = 2,
    kInvalidFilename = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kReadBeyondEnd = 100,
    kDiskFull = 101,
};

// A failed file operation, with its code and the message the user sees.
class IoError : public TavolinError {
public:
    // One of the codes above, with its own message.
    explicit IoError(int code);
    // A system error number that means none of the codes above: its message is
    // "I/O error N" even where N happens to equal one of them (EIO is 5).
    [[nodiscard]] static IoError Unmapped(int errnum);
    // `cause`, met while writing `file` in place, after which the old bytes
    // could not all be put back.
    [[nodiscard]] static IoError PartlyWritten(const IoError& cause, const std::string& file);
    [[nodiscard]] int Code() const { return m_code; }
    [[nodiscard]] static std::string MessageFor(int code);
    // The file a save was writing when it failed, as the caller named it;
    // empty for errors of reading. The message itself never names it.
    [[nodiscard]] const std::string& File() const { return m_file; }
    void SetFile(const std::string& file) { m_file = file; }

private:
    IoError(int code, const std::string& message);
    int m_code;
    std::string m_file;
};

// Text that should have been an integer and was not.
class ConvertError : public TavolinError {
public:
    explicit ConvertError(std::string_view text);
};

// A decimal integer with an optional sign that fits 32 bits, as the capacities
// and gap record numbers are; anything else throws ConvertError.
[[nodiscard]] int StrToInt(std::string_view text);

// A save that the writer refuses before it touches the target.
class SaveRefused : public TavolinError {
public:
    using TavolinError::TavolinError;
};

} // namespace tavolin
