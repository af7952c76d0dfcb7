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
#include "document/resourcestrings.h"
#include "document/resourcetexts.h"
#include "cli/xlifffile.h"
#include "codec/displaytext.h"
#include "file/errors.h"
#include "file/safesave.h"
#include "resource/utf.h"
#include "version.h"

namespace tavolin {

namespace {

std::string Today()
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
};

// What export writes for `file`: a comment for translators and the units.
std::string ExportUnits(const std::string& file, const ExportOptions& o, std::vector<Unit>& units)
{
    const std::string name = std::filesystem::path(file).filename().string();
    Document document = OpenDocument(file, o.read);
    if (document.Reading() == ReadBy::Resource) {
        const ResourceTexts& texts = document.Structure();
        const auto chosen = texts.Texts(o.read.includeGuessed);
        std::transform(chosen.begin(), chosen.end(), std::back_inserter(units), [](const resource::Text* t) {
            return Unit{resource::TextId(*t), resource::Utf16ToUtf8(t->text), TextLimit(*t), TextComment(*t)};
        });
        std::string comment = "Texts of " + name + " (" + texts.Summary() +
                              "), exported by tavolin-strings by resource.\n"
                              "A translation may be shorter or longer than its text, but an LTEXT holds at most 255\n"
                              "characters, and an application may read a text into a buffer of the original's size.\n";
        if (o.read.includeGuessed)
            comment += "Texts marked \"guessed\" were found by a heuristic: make sure they are texts before\n"
                       "translating them.\n";
        return comment;
    }
    const ResourceStrings& strings = document.Markers();
    for (const auto& s : strings.Strings()) {
        Unit u{s.id, TextToUtf8(s.text), std::nullopt, ""};
        if (s.capacity >= 0) {
            u.limit = static_cast<std::size_t>(s.capacity);
            u.comment = "capacity: " + std::to_string(s.capacity) + " characters";
        }
        units.push_back(std::move(u));
    }
    return "Strings of " + name + ", exported by tavolin-strings by marker.\n" +
           (strings.IsCaption()
                ? "Caption file: its strings have no capacity of their own; together they must fit\n"
                  "the whole file's 255 bytes.\n"
                : "Each translation must fit the capacity in characters given in its comment.\n");
}

// Writes the PO or XLIFF file of `file` to `target`, "-" for `out`.
void ExportOne(const std::string& file, const std::string& target, const ExportOptions& o, std::ostream& out)
{
    const std::string name = std::filesystem::path(file).filename().string();
    std::vector<Unit> units;
    const std::string comment = ExportUnits(file, o, units);
    std::string text;
    if (o.format == "xliff") {
        XliffDocument document;
        document.original = name;
        document.sourceLanguage = o.sourceLanguage;
        document.targetLanguage = o.language;
        for (auto& u : units)
            document.units.push_back({std::move(u.id), std::move(u.source), u.limit, std::move(u.comment)});
        text = XliffText(document, TAVOLIN_VERSION);
    } else {
        const std::string header = "Project-Id-Version: " + name +
                                   "\n"
                                   "PO-Revision-Date: " + Today() +
                                   "\n"
                                   "Last-Translator: none\n"
                                   "Language-Team: none\n"
                                   "Language: " + o.language +
                                   "\n"
                                   "MIME-Version: 1.0\n"
                                   "Content-Type: text/plain; charset=UTF-8\n"
                                   "Content-Transfer-Encoding: 8bit\n"
                                   "X-Source-File: " + name +
                                   "\n"
                                   "X-Generator: tavolin-strings " TAVOLIN_VERSION "\n";
        std::vector<PoEntry> entries;
        for (auto& u : units) {
            PoEntry e;
            e.context = std::move(u.id);
            e.msgid = std::move(u.source);
            e.comment = std::move(u.comment);
            entries.push_back(std::move(e));
        }
        text = PoFile::Text(comment, header, entries);
    }
    if (target != "-") {
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
    int code = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        try {
            ExportOne(files[i], targets[i], o, out);
        } catch (const TavolinError& e) {
            err << Failure(e, files[i]) << '\n';
            code = 1;
        } catch (const PoError& e) {
            err << e.what() << '\n';
            code = 1;
        } catch (const ModeError& e) {
            err << e.what() << '\n';
            code = 1;
        } catch (const std::invalid_argument& e) {
            err << files[i] << ": cannot be written as XLIFF: " << e.what() << '\n';
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
