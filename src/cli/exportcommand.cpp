#include <CLI/CLI.hpp>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <map>
#include <ostream>
#include <utility>

#include "cli/commands.h"
#include "cli/pofile.h"
#include "cli/textchecks.h"
#include "cli/xlifffile.h"
#include "codec/displaytext.h"
#include "document/resourcestrings.h"
#include "document/resourcetexts.h"
#include "file/errors.h"
#include "file/safesave.h"
#include "resource/utf.h"
#include "version.h"

namespace tavolin {

namespace {

std::string Now()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M+0000", &tm);
    return buffer;
}

// One text to translate, in either mode.
struct Unit {
    std::string id;
    std::string source; // UTF-8
    std::optional<std::size_t> limit;
    std::string comment;
    bool translate = true; // false: a path or file name, exported on request
};

// What export writes of one resource file.
struct ExportedFile {
    std::string name;    // the file's name, as IDs and <file original> give it
    std::string comment; // for translators
    std::vector<Unit> units;
};

constexpr char kPathComment[] =
    "do not translate: a file path or name; the application would no longer find its file";

// Paths and file names are left out, or with --include-paths marked.
void MarkPaths(ExportedFile& exported, bool include)
{
    const auto isPath = [](const Unit& u) { return IsPathOrFileName(u.source); };
    const auto paths = static_cast<std::size_t>(std::count_if(exported.units.begin(), exported.units.end(), isPath));
    if (paths == 0)
        return;
    if (!include) {
        std::erase_if(exported.units, isPath);
        exported.comment += std::to_string(paths) + " file path(s) and name(s) left out: they must not be translated.\n";
        return;
    }
    for (auto& u : exported.units) {
        if (!isPath(u))
            continue;
        u.translate = false;
        u.comment = u.comment.empty() ? kPathComment : u.comment + "\n" + kPathComment;
    }
}

ExportedFile ExportUnits(const std::string& file, const ExportOptions& o, std::ostream& err)
{
    ExportedFile exported;
    exported.name = std::filesystem::path(file).filename().string();
    const std::string& name = exported.name;
    Document document = OpenDocument(file, o.read);
    if (document.Reading() == ReadBy::Resource) {
        const ResourceTexts& texts = document.Structure();
        const auto chosen = texts.Texts(o.read.includeGuessed);
        std::transform(chosen.begin(), chosen.end(), std::back_inserter(exported.units), [](const resource::Text* t) {
            return Unit{resource::TextId(*t), resource::Utf16ToUtf8(t->text), TextLimit(*t), TextComment(*t)};
        });
        exported.comment = "Texts of " + name + " (" + texts.Summary() +
                           "), exported by tavolin-strings by resource.\n"
                           "A translation may be shorter or longer than its text, but an LTEXT holds at most 255\n"
                           "characters, and an application may read a text into a buffer of the original's size.\n"
                           "Keep the placeholders (%U, %0N, %d ...); numbered ones may change their order.\n";
        if (o.read.includeGuessed)
            exported.comment += "Texts marked \"guessed\" were found by a heuristic: make sure they are texts before\n"
                                "translating them.\n";
        const std::size_t guessed = texts.Texts(true).size() - chosen.size();
        if (chosen.empty() && guessed > 0)
            err << file << ": all " << guessed << " texts were found by a guess and are left out; give "
                << "--include-guessed to export them\n";
    } else {
        const ResourceStrings& strings = document.Markers();
        for (const auto& s : strings.Strings()) {
            Unit u{s.id, TextToUtf8(s.text), std::nullopt, "", true};
            if (s.capacity >= 0) {
                u.limit = static_cast<std::size_t>(s.capacity);
                u.comment = "capacity: " + std::to_string(s.capacity) + " characters";
            }
            exported.units.push_back(std::move(u));
        }
        exported.comment = "Strings of " + name + ", exported by tavolin-strings by marker.\n" +
                           (strings.IsCaption()
                                ? "Caption file: its strings have no capacity of their own; together they must fit\n"
                                  "the whole file's 255 bytes.\n"
                                : "Each translation must fit the capacity in characters given in its comment.\n");
    }
    if (exported.units.empty() && !exported.comment.empty() && exported.comment.find("guess") == std::string::npos)
        err << file << ": no texts to translate\n";
    MarkPaths(exported, o.includePaths);
    return exported;
}

std::string PoHeader(const std::vector<ExportedFile>& files, const ExportOptions& o)
{
    std::string names;
    for (const auto& f : files)
        names += (names.empty() ? "" : ", ") + f.name;
    // A template's header as gettext's tools write one, to be filled in by
    // msginit or a translation tool.
    if (o.format == "pot")
        return "Project-Id-Version: " + names + "\nPOT-Creation-Date: " + Now() +
               "\nPO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\nLast-Translator: FULL NAME <EMAIL@ADDRESS>\n"
               "Language-Team: LANGUAGE <LL@li.org>\nLanguage: \nMIME-Version: 1.0\n"
               "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\nX-Source-File: " +
               names + "\nX-Generator: tavolin-strings " TAVOLIN_VERSION "\n";
    return "Project-Id-Version: " + names + "\nPO-Revision-Date: " + Now() +
           "\nLast-Translator: none\nLanguage-Team: none\nLanguage: " + o.language +
           "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n"
           "X-Source-File: " + names + "\nX-Generator: tavolin-strings " TAVOLIN_VERSION "\n";
}

// The PO or XLIFF text of `files`. A PO of several files names each entry's
// file in its ID ("app.rsc:4.1"); an XLIFF holds a <file> for each.
std::string ExportText(std::vector<ExportedFile>& files, const ExportOptions& o)
{
    const bool several = files.size() > 1;
    if (o.format == "xliff") {
        // IDs name their file there too, for tools that make one PO of all
        // <file>s (xliff2po).
        std::vector<XliffDocument> documents;
        for (auto& f : files) {
            XliffDocument& document = documents.emplace_back();
            document.original = f.name;
            document.sourceLanguage = o.sourceLanguage;
            document.targetLanguage = o.language;
            for (auto& u : f.units)
                document.units.push_back({several ? f.name + ":" + u.id : std::move(u.id), std::move(u.source),
                                          u.limit, std::move(u.comment), u.translate});
        }
        return XliffText(documents, TAVOLIN_VERSION);
    }
    std::string comment;
    std::vector<PoEntry> entries;
    for (auto& f : files) {
        comment += f.comment;
        for (auto& u : f.units) {
            PoEntry e;
            e.context = several ? f.name + ":" + u.id : std::move(u.id);
            // Kept where other tools drop msgctxt (po2xliff).
            e.references = {*e.context};
            e.msgid = std::move(u.source);
            e.comment = std::move(u.comment);
            entries.push_back(std::move(e));
        }
    }
    if (several)
        comment += "Each ID names its file: \"NAME:ID\".\n";
    return PoFile::Text(comment, PoHeader(files, o), entries, o.format == "pot");
}

// Writes the PO or XLIFF file of `files` to `target`, "-" for `out`.
void ExportTo(const std::vector<std::string>& files, const std::string& target, const ExportOptions& o,
              std::ostream& out, std::ostream& err)
{
    std::vector<ExportedFile> exported;
    std::map<std::string, std::string> names;
    for (const auto& file : files) {
        exported.push_back(ExportUnits(file, o, err));
        const auto [at, fresh] = names.emplace(exported.back().name, file);
        if (!fresh)
            throw ModeError(at->second + " and " + file + " have the same name, which the IDs of one file of both "
                                                          "would not tell apart; nothing written");
    }
    const std::string text = ExportText(exported, o);
    if (target != "-") {
        // A missing folder said as such rather than as the save's
        // "Invalid filename".
        const auto folder = std::filesystem::path(target).parent_path();
        if (!folder.empty() && !std::filesystem::is_directory(folder))
            throw ModeError(folder.string() + ": no such folder; nothing written");
        ReplaceFile(target, std::vector<std::uint8_t>(text.begin(), text.end()));
        return;
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out)
        throw PoError("standard output: cannot be written");
}

} // namespace

int Export(const std::vector<std::string>& files, const std::vector<std::string>& targets, const ExportOptions& o,
           std::ostream& out, std::ostream& err)
{
    // One file for all of them, unless each has its own (-d).
    std::vector<std::pair<std::vector<std::string>, std::string>> jobs;
    if (!o.eachOwn)
        jobs.emplace_back(files, targets.front());
    else
        for (std::size_t i = 0; i < files.size(); ++i)
            jobs.push_back({{files[i]}, targets[i]});
    int code = 0;
    for (const auto& [sources, target] : jobs) {
        const std::string& named = sources.front();
        try {
            ExportTo(sources, target, o, out, err);
        } catch (const TavolinError& e) {
            err << Failure(e, named) << '\n';
            code = 1;
        } catch (const PoError& e) {
            err << e.what() << '\n';
            code = 1;
        } catch (const ModeError& e) {
            err << e.what() << '\n';
            code = 1;
        } catch (const std::invalid_argument& e) {
            err << named << ": cannot be written as XLIFF: " << e.what() << '\n';
            code = 1;
        }
    }
    return code;
}

std::vector<std::string> ExportTargets(const std::vector<std::string>& files, const std::string& output,
                                       const std::string& dir, const std::string& extension)
{
    std::vector<std::string> targets;
    std::map<std::string, std::string> taken;
    for (const auto& file : files) {
        std::string target = output.empty() ? "-" : output;
        if (!dir.empty()) {
            target = (std::filesystem::path(dir) / std::filesystem::path(file).stem()).string() + extension;
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

} // namespace tavolin
