#include "cli/stringscli.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <new>
#include <set>
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
    auto* exp = app.add_subcommand("export", "Write the strings as a gettext PO file or an XLIFF 1.2 file; of "
                                             "several FILEs one file for all (an application), IDs naming each "
                                             "FILE, or with -d one for each");
    exp->add_option("FILE", files, "resource files")->required();
    auto* expOut = exp->add_option("-o", output, "write OUT instead of standard output")->option_text("OUT");
    exp->add_option("-d", dir, "write DIR/NAME.po (or .xlf) for each FILE")->option_text("DIR")->excludes(expOut);
    exp->add_option("--format", exportOptions.format,
                    "po (the default), pot (a template without a language; the default for -o NAME.pot) or xliff "
                    "(the default for -o NAME.xlf)")
        ->check(CLI::IsMember({"po", "pot", "xliff"}))
        ->option_text("po|pot|xliff");
    exp->add_flag("--include-paths", exportOptions.includePaths,
                  "also file paths and names, marked not for translation (left out by default)");
    exp->add_option("--language", exportOptions.language, "the language of the translation (PO Language:, XLIFF "
                                                           "target-language); left empty when not given")
        ->option_text("CODE");
    exp->add_option("--source-language", exportOptions.sourceLanguage, "XLIFF source-language (default en)")
        ->option_text("CODE");
    addReading(exp, true);
    auto* imp = app.add_subcommand("import", "Apply the translations of a PO or XLIFF file (told by its content) "
                                             "to each FILE and save it; every FILE or none is written");
    std::vector<std::string> operands;
    imp->add_option("FILE... PO", operands, "resource files, then the PO or XLIFF file")
        ->required()
        ->expected(2, 1000)
        ->option_text("FILE... PO|XLIFF");
    auto* impOut = imp->add_option("-o", import.output, "write OUT instead of FILE (also when nothing is applied)")
                       ->option_text("OUT");
    auto* impDir = imp->add_option("-d", import.dir, "write DIR/NAME for each FILE")->option_text("DIR")->excludes(impOut);
    imp->add_flag("--variant", import.variant,
                  "write the language variant beside each FILE, named from the translations' language as the "
                  "platform names it (app.rsc and Language: ru: app.r16)")
        ->excludes(impOut)
        ->excludes(impDir);
    imp->add_flag("--include-paths", import.includePaths, "let translations change file paths and names");
    imp->add_flag("--allow-placeholders", import.allowPlaceholders,
                  "let translations drop, add or reorder placeholders (%U, %0N, %d ...)");
    imp->add_flag("--dry-run", import.dryRun, "report what would be applied, write nothing");
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
        if (exp->parsed()) {
            // -o NAME.pot or NAME.xlf without --format says which.
            if (exp->count("--format") == 0 && output.ends_with(".pot"))
                exportOptions.format = "pot";
            if (exp->count("--format") == 0 && (output.ends_with(".xlf") || output.ends_with(".xliff")))
                exportOptions.format = "xliff";
            exportOptions.eachOwn = !dir.empty();
            targets = ExportTargets(files, output, dir,
                                    exportOptions.format == "xliff" ? ".xlf" : "." + exportOptions.format);
        }
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
        if (imp->parsed()) {
            import.po = operands.back();
            import.files.assign(operands.begin(), operands.end() - 1);
            if (import.files.size() > 1 && !import.output.empty())
                throw CLI::ValidationError("import", "-o takes one FILE; give -d DIR or --variant for several");
            std::set<std::string> names;
            for (const auto& f : import.files)
                if (!names.insert(std::filesystem::path(f).filename().string()).second)
                    throw CLI::ValidationError("import", "two FILEs named " + std::filesystem::path(f).filename().string() +
                                                             ": the translations' IDs would not tell them apart");
        }
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
        const std::string& named = imp->parsed()            ? operands.front()
                                   : !structure.file.empty() ? structure.file
                                   : !file.empty()           ? file
                                   : !files.empty()          ? files.front()
                                                             : output;
        err << named << ": " << (dynamic_cast<const std::bad_alloc*>(&e) ? "Out of memory" : e.what()) << '\n';
        return 1;
    }
}

} // namespace tavolin
