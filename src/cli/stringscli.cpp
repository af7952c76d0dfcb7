#include "cli/stringscli.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <ostream>
#include <unistd.h>

#include "cli/pofile.h"
#include "cli/resourcestrings.h"
#include "cli/structurecli.h"
#include "codec/displaytext.h"
#include "codec/errors.h"
#include "codec/filelock.h"
#include "codec/reader.h"
#include "codec/safesave.h"
#include "codec/writer.h"
#include "tables/stringtable.h"
#include "version.h"

namespace tavolin {

namespace {

void AppendJson(std::string& json, std::string_view bytes)
{
    static const char* const hex = "0123456789abcdef";
    json += '"';
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Runs of printable ASCII go in whole: most texts are nothing else.
        std::size_t plain = i;
        while (plain < bytes.size()) {
            const auto b = static_cast<unsigned char>(bytes[plain]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\')
                break;
            ++plain;
        }
        json.append(bytes.data() + i, plain - i);
        if (plain == bytes.size())
            break;
        const auto b = static_cast<unsigned char>(bytes[plain]);
        if (b == '"' || b == '\\') {
            json += '\\';
            json += static_cast<char>(b);
        } else if (b < 0x20) {
            json += "\\u00";
            json += hex[b >> 4];
            json += hex[b & 15];
        } else {
            json += static_cast<char>(0xC0 | b >> 6);
            json += static_cast<char>(0x80 | (b & 0x3F));
        }
        i = plain + 1;
    }
    json += '"';
}

// The JSON goes out in large pieces: a million entries are tens of megabytes.
void WriteTable(std::ostream& out, std::string& json, const char* name, const StringTable& table)
{
    constexpr std::size_t kPiece = 1 << 20;
    json += '"';
    json += name;
    json += "\": [";
    for (std::size_t i = 0; i < table.EntryCount(); ++i) {
        if (i != 0)
            json += ", ";
        json += '[';
        AppendJson(json, table.KeyAt(i));
        json += ", ";
        // Gap records are digits and blanks, nothing to escape.
        if (table.IsGapRecordAt(i)) {
            json += '"';
            table.AppendValueAt(json, i);
            json += '"';
        } else {
            AppendJson(json, table.StoredValueAt(i));
        }
        json += ']';
        if (json.size() >= kPiece) {
            out.write(json.data(), static_cast<std::streamsize>(json.size()));
            json.clear();
        }
    }
    json += ']';
}

int Dump(const std::string& file, std::ostream& out)
{
    StringTables tables;
    std::string error;
    bool failed = false;
    try {
        ScanResourceFile(file, tables);
    } catch (const TavolinError& e) {
        failed = true;
        error = e.what();
    }
    std::string json = "{";
    WriteTable(out, json, "vle", tables.vle);
    json += ", ";
    WriteTable(out, json, "vle2", tables.vle2);
    json += ", ";
    WriteTable(out, json, "vle3", tables.vle3);
    json += ", \"error\": ";
    json += failed ? JsonString(error) : "null";
    json += "}\n";
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    return failed ? 1 : 0;
}

// A failure as the command line shows it: the file it concerns (the one a
// save was writing, or `file`), then the message.
std::string Failure(const TavolinError& e, const std::string& file)
{
    if (dynamic_cast<const FileChanged*>(&e))
        return e.what(); // names the file itself
    const auto* io = dynamic_cast<const IoError*>(&e);
    return (io && !io->File().empty() ? io->File() : file) + ": " + e.what();
}

int Resave(const std::string& file, const std::string& target, std::ostream& err)
{
    try {
        const FileLock lock(file);
        if (!IsCaptionFile(file)) {
            ResavePatchFile(file, target);
            return 0;
        }
        StringTables tables;
        ScanResourceFile(file, tables);
        SaveTables(target, tables, true);
    } catch (const TavolinError& e) {
        err << Failure(e, file) << '\n';
        return 1;
    }
    return 0;
}

int List(const std::string& file, std::ostream& out, std::ostream& err)
{
    try {
        const ResourceStrings strings(file);
        for (const auto& s : strings.Strings())
            out << s.id << '\t' << (s.capacity < 0 ? std::string("-") : std::to_string(s.capacity))
                << '\t' << TextToUtf8(s.text) << '\n';
    } catch (const TavolinError& e) {
        err << file << ": " << e.what() << '\n';
        return 1;
    }
    return 0;
}

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M+0000", &tm);
    return buffer;
}

// Writes the PO file of `file` to `target`, "-" for `out`.
void ExportOne(const std::string& file, const std::string& target, std::ostream& out)
{
    const ResourceStrings strings(file);
    const std::string name = std::filesystem::path(file).filename().string();
    std::string comment = "Strings of " + name + ", exported by tavolin-strings.\n";
    comment += strings.IsCaption()
                   ? "Caption file: its strings have no capacity of their own; together they must fit\n"
                     "the whole file's 255 bytes.\n"
                   : "Each translation must fit the capacity in characters given in its comment.\n";
    const std::string header = "Project-Id-Version: " + name +
                               "\n"
                               "PO-Revision-Date: " + Today() +
                               "\n"
                               "Last-Translator: none\n"
                               "Language-Team: none\n"
                               "Language: th\n"
                               "MIME-Version: 1.0\n"
                               "Content-Type: text/plain; charset=UTF-8\n"
                               "Content-Transfer-Encoding: 8bit\n"
                               "X-Source-File: " + name +
                               "\n"
                               "X-Generator: tavolin-strings " TAVOLIN_VERSION "\n";
    std::vector<PoEntry> entries;
    for (const auto& s : strings.Strings()) {
        PoEntry e;
        e.context = s.id;
        e.msgid = TextToUtf8(s.text);
        if (s.capacity >= 0)
            e.comment = "capacity: " + std::to_string(s.capacity) + " characters";
        entries.push_back(std::move(e));
    }
    const std::string text = PoFile::Text(comment, header, entries);
    if (target != "-") {
        ReplaceFile(target, std::vector<std::uint8_t>(text.begin(), text.end()));
        return;
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out)
        throw PoError("standard output: cannot be written");
}

int Export(const std::vector<std::string>& files, const std::vector<std::string>& targets,
           std::ostream& out, std::ostream& err)
{
    int code = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        try {
            ExportOne(files[i], targets[i], out);
        } catch (const TavolinError& e) {
            err << Failure(e, files[i]) << '\n';
            code = 1;
        } catch (const PoError& e) {
            err << e.what() << '\n';
            code = 1;
        }
    }
    return code;
}

// Where export writes each file's PO: "-" for standard output. Throws
// CLI::ValidationError when two would share one, before anything is written.
std::vector<std::string> ExportTargets(const std::vector<std::string>& files, const std::string& output,
                                       const std::string& dir)
{
    std::vector<std::string> targets;
    std::map<std::string, std::string> taken;
    for (const auto& file : files) {
        std::string target = output.empty() ? "-" : output;
        if (!dir.empty()) {
            target = (std::filesystem::path(dir) / std::filesystem::path(file).stem()).string() + ".po";
            const auto [at, fresh] = taken.emplace(target, file);
            if (!fresh) {
                std::string message = at->second;
                message += " and ";
                message += file;
                message += " would both be written to ";
                message += target;
                message += "; nothing written";
                throw CLI::ValidationError("export", message);
            }
        }
        targets.push_back(std::move(target));
    }
    return targets;
}

struct ImportOptions {
    std::string file;
    std::string po;
    std::string output;
    bool dryRun = false;
    bool force = false;
};

int Import(const ImportOptions& o, std::ostream& out, std::ostream& err)
{
    const std::string& target = o.output.empty() ? o.file : o.output;
    // Held from the scan to the save: another import waits, and a change by
    // any other program meanwhile refuses the save.
    std::optional<FileLock> lock;
    std::optional<ResourceStrings> strings;
    std::vector<PoEntry> entries;
    try {
        lock.emplace(o.file);
        strings.emplace(o.file);
        entries = PoFile::Read(o.po);
    } catch (const TavolinError& e) {
        err << Failure(e, o.file) << '\n';
        return 1;
    } catch (const PoError& e) {
        err << e.what() << "; nothing written\n";
        return 1;
    }
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < strings->Strings().size(); ++i)
        byId.emplace(strings->Strings()[i].id, i);

    std::size_t unchanged = 0;
    std::size_t fuzzy = 0;
    std::size_t stale = 0;
    std::size_t unknown = 0;
    std::size_t noContext = 0;
    std::size_t refused = 0;
    // The text each string gets; an ID given twice counts once, and is
    // refused when its translations differ.
    std::map<std::size_t, std::string> texts;
    for (const auto& e : entries) {
        if (e.obsolete)
            continue;
        if (e.fuzzy) {
            ++fuzzy;
            continue;
        }
        if (!e.context) {
            err << "skipped: an entry without msgctxt (msgid \"" << e.msgid << "\")\n";
            ++noContext;
            continue;
        }
        const auto it = byId.find(*e.context);
        if (it == byId.end()) {
            err << "skipped: ID " << *e.context << " names no string of the file\n";
            ++unknown;
            continue;
        }
        if (e.msgstr.empty()) {
            ++unchanged;
            continue;
        }
        const ResourceString& s = strings->Strings()[it->second];
        if (e.msgid != TextToUtf8(s.text) && !o.force) {
            err << "skipped: ID " << s.id << " has changed since the export (use --force to apply it)\n";
            ++stale;
            continue;
        }
        const auto text = Utf8ToText(e.msgstr);
        if (!text.text) {
            err << "refused: ID " << s.id << ": " << CodePointName(text.missing)
                << " has no byte in the code page\n";
            ++refused;
            continue;
        }
        const auto [given, fresh] = texts.emplace(it->second, *text.text);
        if (!fresh && given->second != *text.text) {
            err << "refused: ID " << s.id << " is translated twice, differently\n";
            ++refused;
        }
    }
    std::size_t applied = 0;
    for (const auto& [index, text] : texts) {
        if (text == strings->Strings()[index].text) {
            ++unchanged;
            continue;
        }
        strings->SetText(index, text);
        ++applied;
    }
    if (refused == 0) {
        for (const auto& line : strings->Overlong()) {
            err << "refused: too long: " << line << '\n';
            ++refused;
        }
    }
    const auto report = [&] {
        out << "applied " << applied << ", unchanged " << unchanged << ", skipped "
            << fuzzy + stale + unknown + noContext << " (fuzzy " << fuzzy << ", changed since export "
            << stale << ", unknown ID " << unknown << ", no msgctxt " << noContext << "), refused "
            << refused << '\n';
    };
    if (refused > 0) {
        err << "nothing written\n";
        return 1;
    }
    if (applied > 0 && !o.dryRun) {
        try {
            strings->Save(target);
        } catch (const TavolinError& e) {
            err << Failure(e, target) << '\n';
            return 1;
        }
    }
    // Only now: "applied" means written (or, with --dry-run, what would be).
    report();
    return 0;
}

int Check(const std::vector<std::string>& files, std::ostream& out, std::ostream& err)
{
    int code = 0;
    for (const auto& file : files) {
        try {
            const ResourceStrings strings(file);
            if (strings.Strings().empty())
                out << file << ": no strings found\n";
            if (strings.RoundTrips()) {
                out << file << ": saves unchanged\n";
                continue;
            }
            code = 1;
            out << file << ": a save changes it\n";
            for (const auto& s : strings.Strings()) {
                if (s.changes.empty())
                    continue;
                out << "  " << s.id << ':';
                for (std::size_t i = 0; i < s.changes.size(); ++i)
                    out << (i == 0 ? " " : ", ") << SavingChangeText(s.changes[i], strings.IsCaption(), false);
                out << '\n';
            }
        } catch (const TavolinError& e) {
            err << file << ": " << e.what() << '\n';
            code = 1;
        }
    }
    return code;
}

} // namespace

std::string JsonString(const std::string& bytes)
{
    std::string json;
    AppendJson(json, bytes);
    return json;
}

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

    auto* dump = app.add_subcommand("dump", "Scan FILE as the editor's Open does and print its tables as JSON; "
                                            "every byte b of a key or value is written as the character U+00bb");
    dump->add_option("FILE", file, "resource file")->required();
    auto* resave = app.add_subcommand("resave", "Scan FILE and write it back as the editor's Save does "
                                                "(caption mode when its full path contains \"caption\")");
    resave->add_option("FILE", file, "resource file")->required();
    resave->add_option("-o", output, "write OUT instead of FILE")->option_text("OUT");
    auto* list = app.add_subcommand("list", "Print ID, capacity and text of every string, tab-separated");
    list->add_option("FILE", file, "resource file")->required();
    auto* exp = app.add_subcommand("export", "Write the strings as a gettext PO file");
    exp->add_option("FILE", files, "resource files")->required();
    auto* expOut = exp->add_option("-o", output, "write OUT.po instead of standard output")->option_text("OUT.po");
    exp->add_option("-d", dir, "write DIR/NAME.po for each FILE")->option_text("DIR")->excludes(expOut);
    auto* imp = app.add_subcommand("import", "Apply the translations of PO to FILE and save it");
    imp->add_option("FILE", import.file, "resource file")->required();
    imp->add_option("PO", import.po, "PO file")->required();
    imp->add_option("-o", import.output, "write OUT instead of FILE")->option_text("OUT");
    imp->add_flag("--dry-run", import.dryRun, "report what would be applied, write nothing");
    imp->add_flag("--force", import.force, "apply entries whose msgid no longer matches the file");
    auto* check = app.add_subcommand("check", "Tell for each FILE whether a save without edits keeps its bytes");
    check->add_option("FILE", files, "resource files")->required();
    StructureCommands structure;
    AddStructureCommands(app, structure);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
        if (exp->parsed() && files.size() > 1 && dir.empty())
            throw CLI::ValidationError("export", "several files need -d DIR");
        if (exp->parsed())
            targets = ExportTargets(files, output, dir);
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
            return List(file, out, err);
        if (exp->parsed())
            return Export(files, targets, out, err);
        if (imp->parsed())
            return Import(import, out, err);
        return Check(files, out, err);
    } catch (const std::bad_alloc&) {
        // Every file being written was left as it was on the way out.
        const std::string& named = imp->parsed()            ? import.file
                                   : !structure.file.empty() ? structure.file
                                   : !file.empty()           ? file
                                   : !files.empty()          ? files.front()
                                                             : output;
        err << named << ": Out of memory\n";
        return 1;
    }
}

} // namespace tavolin
