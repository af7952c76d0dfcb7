#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tavolin {

// The command-line companion; `args` excludes the program name. Returns the
// exit code: 0 success, 1 a failure of the file, 2 a wrong call.
int RunStringsCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A one-byte text as a JSON string in which byte b is the character U+00bb.
[[nodiscard]] std::string JsonString(const std::string& bytes);

} // namespace tavolin
