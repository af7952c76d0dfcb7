#include "cli/stringscli.h"

#include <CLI/CLI.hpp>
#include <new>
#include <ostream>

#include "cli/commands.h"
#include "cli/structurecli.h"
#include "version.h"

namespace tavolin {

int RunStringsCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    CLI::App app{"Reads and writes the text strings of compiled resource files.", "tavolin-strings"};
    app.set_version_flag("--version", "tavolin-strings " TAVOLIN_VERSION);
    app.require_subcommand(1);

    std::string file;
    std::string output;
    std::string dir;
    std::vector<std::string> files;
    std::vector<std::string> targets;
    ImportOptions import;
    ReadOptions read;
    ExportOptions exportOptions;
    std::string maxGrowth;

    // Every command that translates says how it reads a file.
    const auto addReading = [&](CLI::App* command, bool guessed) {
        command->add_option("--by", read.by,
                            "read FILE by its resource structure (every text, any script) or by the editor's "
                            "marker rule; default: resource for files of the old, compressed or narrow format, "
                            "marker for any other file")
            ->check(CLI::IsMember({"resource", "marker"}))
            ->option_text("resource|marker");
        if (guessed)
            command->add_flag("--include-guessed", read.includeGuessed,
                              "by resource: also the texts found by a heuristic rather than the file's structure");
    };

    auto* dump = app.add_subcommand("dump", "Scan FILE as the editor's Open does and print its tables as JSON; "
                                            "every byte b of a key or value is written as the character U+00bb");
    dump->add_option("FILE", file, "resource file")->required();
    auto* resave = app.add_subcommand("resave", "Scan FILE and write it back as the editor's Save does "
                                                "(caption mode when its full path contains \"caption\")");
    resave->add_option("FILE", file, "resource file")->required();
    resave->add_option("-o", output, "write OUT instead of FILE")->option_text("OUT");
    auto* list = app.add_subcommand("list", "Print a line naming how FILE is read, then ID, limit (capacity, or the "
                                            "255 of an LTEXT; - for none) and text of every string, tab-separated");
    list->add_option("FILE", file, "resource file")->required();
    addReading(list, true);
    auto* exp = app.add_subcommand("export", "Write the strings as a gettext PO file or an XLIFF 1.2 file");
    exp->add_option("FILE", files, "resource files")->required();
    auto* expOut = exp->add_option("-o", output, "write OUT instead of standard output")->option_text("OUT");
    exp->add_option("-d", dir, "write DIR/NAME.po (or .xlf) for each FILE")->option_text("DIR")->excludes(expOut);
    exp->add_option("--format", exportOptions.format, "po (the default) or xliff")
        ->check(CLI::IsMember({"po", "xliff"}))
        ->option_text("po|xliff");
    exp->add_option("--language", exportOptions.language, "the language of the translation (PO Language:, XLIFF "
                                                           "target-language); left empty when not given")
        ->option_text("CODE");
    exp->add_option("--source-language", exportOptions.sourceLanguage, "XLIFF source-language (default en)")
        ->option_text("CODE");
    addReading(exp, true);
    auto* imp = app.add_subcommand("import", "Apply the translations of a PO or XLIFF file (told by its content) "
                                             "to FILE and save it");
    imp->add_option("FILE", import.file, "resource file")->required();
    imp->add_option("PO", import.po, "PO or XLIFF file")->required()->option_text("PO|XLIFF");
    imp->add_option("-o", import.output, "write OUT instead of FILE")->option_text("OUT");
    imp->add_flag("--dry-run", import.dryRun, "report what would be applied, write nothing");
    imp->add_flag("--force", import.force, "apply entries whose msgid no longer matches the file");
    imp->add_option("--max-growth", maxGrowth,
                    "by resource: refuse translations longer than their text by more than PERCENT")
        ->check(CLI::NonNegativeNumber)
        ->option_text("PERCENT");
    addReading(imp, true);
    auto* check = app.add_subcommand("check", "Tell for each FILE how it is read and whether a save (by resource: a "
                                              "rebuild) without edits keeps its bytes");
    check->add_option("FILE", files, "resource files")->required();
    addReading(check, false);
    StructureCommands structure;
    AddStructureCommands(app, structure);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
        if (exp->parsed() && files.size() > 1 && dir.empty())
            throw CLI::ValidationError("export", "several files need -d DIR");
        if (exp->parsed())
            targets = ExportTargets(files, output, dir, exportOptions.format == "xliff" ? ".xlf" : ".po");
        if (!maxGrowth.empty()) {
            if (maxGrowth.find_first_not_of("0123456789") != std::string::npos || maxGrowth.size() > 6)
                throw CLI::ValidationError("--max-growth", "must be a whole number of percent");
            import.maxGrowth = static_cast<unsigned>(std::stoul(maxGrowth));
        }
        // Both go into a header line of the PO or an XML attribute.
        for (const auto* code : {&exportOptions.language, &exportOptions.sourceLanguage})
            if (code->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_@.") !=
                std::string::npos)
                throw CLI::ValidationError("--language", "a language code such as fi, pt_BR or sr@latin");
        import.read = read;
        exportOptions.read = read;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e, out, err);
            return 0;
        }
        err << "tavolin-strings: " << e.what() << "\nusage: see tavolin-strings --help\n";
        return 2;
    }
    try {
        if (const int code = RunStructureCommand(structure, out, err); code >= 0)
            return code;
        if (dump->parsed())
            return Dump(file, out);
        if (resave->parsed())
            return Resave(file, output.empty() ? file : output, err);
        if (list->parsed())
            return List(file, read, out, err);
        if (exp->parsed())
            return Export(files, targets, exportOptions, out, err);
        if (imp->parsed())
            return Import(import, out, err);
        return Check(files, read, out, err);
    } catch (const std::exception& e) {
        // Out of memory, or a file of more text than a table holds (4 GiB).
        // Every file being written was left as it was on the way out.
        const std::string& named = imp->parsed()            ? import.file
                                   : !structure.file.empty() ? structure.file
                                   : !file.empty()           ? file
                                   : !files.empty()          ? files.front()
                                                             : output;
        err << named << ": " << (dynamic_cast<const std::bad_alloc*>(&e) ? "Out of memory" : e.what()) << '\n';
        return 1;
    }
}

} // namespace tavolin
