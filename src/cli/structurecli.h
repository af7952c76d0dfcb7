#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace tavolin {

// The subcommands that read and rebuild a file through its resource
// structure: `texts` and `apply`.
struct StructureCommands {
    CLI::App* texts = nullptr;
    CLI::App* apply = nullptr;
    std::string file;
    std::string edits;
    std::string output;
    bool json = false;
    bool allowGuessed = false;
};

void AddStructureCommands(CLI::App& app, StructureCommands& commands);

// Runs the one that was given; -1 when neither was.
int RunStructureCommand(const StructureCommands& commands, std::ostream& out, std::ostream& err);

} // namespace tavolin
