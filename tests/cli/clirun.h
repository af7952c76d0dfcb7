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

} // namespace tavolin::test
