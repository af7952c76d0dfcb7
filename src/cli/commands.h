#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/readmode.h"

// The commands of tavolin-strings but `texts` and `apply`, one file each;
// each returns its exit code (0 success, 1 a failure of the file).
namespace tavolin {

int Dump(const std::string& file, std::ostream& out);

int Resave(const std::string& file, const std::string& target, std::ostream& err);

int List(const std::string& file, const ReadOptions& o, std::ostream& out, std::ostream& err);

struct ExportOptions {
    ReadOptions read;
    std::string format = "po"; // po, pot (a template) or xliff
    bool eachOwn = false;      // -d: a PO or XLIFF for each file, else one for all
    bool includePaths = false; // file paths and names, marked not for translation
    std::string language;
    std::string sourceLanguage = "en";
};

int Export(const std::vector<std::string>& files, const std::vector<std::string>& targets, const ExportOptions& o,
           std::ostream& out, std::ostream& err);

// Where export writes each file's PO or XLIFF: "-" for standard output.
// Throws CLI::ValidationError when two would share one, before anything is
// written.
[[nodiscard]] std::vector<std::string> ExportTargets(const std::vector<std::string>& files, const std::string& output,
                                                     const std::string& dir, const std::string& extension);

struct ImportOptions {
    ReadOptions read;
    std::vector<std::string> files;
    std::string po;
    std::string output;   // one file only
    std::string dir;      // DIR/NAME for each file
    bool variant = false; // the language variant beside each file
    bool dryRun = false;
    bool includePaths = false;      // let file paths and names be changed
    bool allowPlaceholders = false; // let translations drop, add or move placeholders
    std::optional<unsigned> maxGrowth; // percent
};

int Import(const ImportOptions& o, std::ostream& out, std::ostream& err);

int Check(const std::vector<std::string>& files, const ReadOptions& o, std::ostream& out, std::ostream& err);

} // namespace tavolin
