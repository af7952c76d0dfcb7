#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/stringscli.h"

namespace tavolin::test {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

// Runs the command line in-process, with its streams captured.
inline CliRun Cli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int code = RunStringsCli(args, out, err);
    return {code, out.str(), err.str()};
}

// What `list` prints after its first line, which says how FILE is read.
inline std::string Listed(const std::string& file, const std::string& by = "marker")
{
    const std::string out = Cli({"list", file, "--by", by}).out;
    return out.substr(out.find('\n') + 1);
}

} // namespace tavolin::test
