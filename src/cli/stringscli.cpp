#include "cli/stringscli.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <fstream>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <ostream>
#include <unistd.h>

#include "cli/clichecks.h"
#include "cli/pofile.h"
#include "cli/resourcestrings.h"
#include "cli/resourcetexts.h"
#include "cli/structurecli.h"
#include "cli/xlifffile.h"
#include "codec/displaytext.h"
#include "codec/errors.h"
#include "codec/filelock.h"
#include "codec/reader.h"
#include "codec/safesave.h"
#include "codec/writer.h"
#include "resource/utf.h"
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

// The options of list, export, import and check that choose how a file is read.
struct ReadOptions {
    std::string by; // "resource", "marker" or empty for the file's default
    bool includeGuessed = false;
};

// `by` that cannot apply to the file, or translations made for the other mode.
class ModeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How `file` is read. By resource, `texts` is left holding its structure;
// `--by marker` needs no look at it.
ReadBy ModeOf(const std::string& file, const ReadOptions& o, std::optional<ResourceTexts>& texts)
{
    if (o.by == "marker")
        return ReadBy::Marker;
    texts.emplace(file);
    if (texts->DefaultMode() == ReadBy::Resource)
        return ReadBy::Resource;
    if (o.by == "resource")
        throw ModeError(file + ": not a resource file of a format read by resource (old, compressed or narrow); "
                               "give --by marker");
    return ReadBy::Marker;
}

int List(const std::string& file, const ReadOptions& o, std::ostream& out, std::ostream& err)
{
    try {
        std::optional<ResourceTexts> texts;
        if (ModeOf(file, o, texts) == ReadBy::Resource) {
            out << "# " << file << ": by resource: " << texts->Summary()
                << (o.includeGuessed ? "; guessed ones included\n" : "; guessed ones left out\n");
            for (const resource::Text* t : texts->Texts(o.includeGuessed)) {
                const auto limit = TextLimit(*t);
                out << resource::TextId(*t) << '\t' << (limit ? std::to_string(*limit) : std::string("-")) << '\t'
                    << OneLine(t->text) << '\n';
            }
            return 0;
        }
        const ResourceStrings strings(file);
        out << "# " << file << ": by marker\n";
        for (const auto& s : strings.Strings())
            out << s.id << '\t' << (s.capacity < 0 ? std::string("-") : std::to_string(s.capacity))
                << '\t' << TextToUtf8(s.text) << '\n';
    } catch (const TavolinError& e) {
        err << file << ": " << e.what() << '\n';
        return 1;
    } catch (const ModeError& e) {
        err << e.what() << '\n';
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

struct ExportOptions {
    ReadOptions read;
    std::string format = "po";
    std::string language;
    std::string sourceLanguage = "en";
};

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
    std::optional<ResourceTexts> texts;
    if (ModeOf(file, o.read, texts) == ReadBy::Resource) {
        const auto chosen = texts->Texts(o.read.includeGuessed);
        std::transform(chosen.begin(), chosen.end(), std::back_inserter(units), [](const resource::Text* t) {
            return Unit{resource::TextId(*t), resource::Utf16ToUtf8(t->text), TextLimit(*t), TextComment(*t)};
        });
        std::string comment = "Texts of " + name + " (" + texts->Summary() +
                              "), exported by tavolin-strings by resource.\n"
                              "A translation may be shorter or longer than its text, but an LTEXT holds at most 255\n"
                              "characters, and an application may read a text into a buffer of the original's size.\n";
        if (o.read.includeGuessed)
            comment += "Texts marked \"guessed\" were found by a heuristic: make sure they are texts before\n"
                       "translating them.\n";
        return comment;
    }
    const ResourceStrings strings(file);
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

// Where export writes each file's PO or XLIFF: "-" for standard output.
// Throws CLI::ValidationError when two would share one, before anything is
// written.
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

struct ImportOptions {
    ReadOptions read;
    std::string file;
    std::string po;
    std::string output;
    bool dryRun = false;
    bool force = false;
    std::optional<unsigned> maxGrowth; // percent
};

// A translation file, PO or XLIFF, as entries of the PO kind; in XLIFF a
// target whose state is not a finished one counts as fuzzy.
struct Translations {
    bool xliff = false;
    std::vector<PoEntry> entries;
};

Translations ReadTranslations(const std::string& path, const std::string& resourceFile)
{
    std::string bytes = PoFile::ReadBytes(path);
    if (!LooksLikeXml(bytes))
        return {false, PoFile::Parse(std::move(bytes), path)};
    auto units = ReadXliff(bytes, path);
    // A document of several files: the units of the one for this file.
    const std::string name = std::filesystem::path(resourceFile).filename().string();
    const bool several = std::any_of(units.begin(), units.end(),
                                     [&](const XliffEntry& u) { return u.original != units.front().original; });
    Translations t{true, {}};
    for (auto& u : units) {
        if (several && u.original != name)
            continue;
        PoEntry e;
        e.context = std::move(u.id);
        e.msgid = std::move(u.source);
        e.msgstr = u.target.value_or("");
        e.comment = std::move(u.note);
        static const std::set<std::string> finished = {"translated", "signed-off", "final"};
        e.fuzzy = u.state && !finished.contains(*u.state);
        t.entries.push_back(std::move(e));
    }
    if (several && t.entries.empty())
        throw PoError(path + ": holds no <file> whose original is " + name);
    return t;
}

// Refuses translations whose IDs were made in the other mode, or in both.
void CheckTranslationsMode(const Translations& t, ReadBy mode, const std::string& path, const std::string& file)
{
    bool byResource = false;
    bool byMarker = false;
    for (const auto& e : t.entries) {
        if (!e.context)
            continue;
        if (IsResourceId(*e.context))
            byResource = true;
        else if (!e.context->empty() && std::all_of(e.context->begin(), e.context->end(),
                                                    [](char c) { return c >= '0' && c <= '9'; }))
            byMarker = true;
    }
    if (byResource && byMarker)
        throw ModeError(path + ": mixes IDs of an export by resource (R.I) and by marker (numbers)");
    if (byResource && mode == ReadBy::Marker)
        throw ModeError(path + ": its IDs (R.I) are of an export by resource, but " + file +
                        " is read by marker");
    if (byMarker && mode == ReadBy::Resource)
        throw ModeError(path + ": its IDs (numbers) are of an export by marker, but " + file +
                        " is read by resource; give --by marker");
}

struct ImportTally {
    std::size_t applied = 0;
    std::size_t unchanged = 0;
    std::size_t fuzzy = 0;
    std::size_t stale = 0;
    std::size_t unknown = 0;
    std::size_t noContext = 0;
    std::size_t refused = 0;

    void Report(std::ostream& out, bool xliff) const
    {
        out << "applied " << applied << ", unchanged " << unchanged << ", skipped "
            << fuzzy + stale + unknown + noContext << " (" << (xliff ? "state not translated " : "fuzzy ") << fuzzy
            << ", changed since export " << stale << ", unknown ID " << unknown
            << (xliff ? ", no id " : ", no msgctxt ") << noContext << "), refused " << refused << '\n';
    }
};

// The translations an import takes, in the order of the file, as ID and
// text: obsolete and fuzzy entries, entries without an ID or for no text of
// the file, empty ones and, without --force, those whose source is no longer
// the file's text are counted and left out. `current` gives the file's text
// of an ID in UTF-8, nothing for an ID it lacks.
std::vector<std::pair<std::string, std::string>> TakenTranslations(
    const Translations& t, const std::function<std::optional<std::string>(const std::string&)>& current,
    bool force, ImportTally& tally, std::ostream& err)
{
    std::vector<std::pair<std::string, std::string>> taken;
    std::map<std::string, std::string> given;
    for (const auto& e : t.entries) {
        if (e.obsolete)
            continue;
        if (e.fuzzy) {
            ++tally.fuzzy;
            continue;
        }
        if (!e.context) {
            err << "skipped: an entry without " << (t.xliff ? "id" : "msgctxt") << " (" << (t.xliff ? "source" : "msgid")
                << " \"" << Shown(e.msgid) << "\")\n";
            ++tally.noContext;
            continue;
        }
        const std::string& id = *e.context;
        const auto text = current(id);
        if (!text) {
            err << "skipped: ID " << Shown(id) << " names no string of the file\n";
            ++tally.unknown;
            continue;
        }
        if (e.msgstr.empty()) {
            ++tally.unchanged;
            continue;
        }
        if (e.msgid != *text && !force) {
            err << "skipped: ID " << Shown(id) << " has changed since the export (use --force to apply it)\n";
            ++tally.stale;
            continue;
        }
        const auto [at, fresh] = given.emplace(id, e.msgstr);
        if (fresh)
            taken.emplace_back(id, e.msgstr);
        else if (at->second != e.msgstr) {
            err << "refused: ID " << Shown(id) << " is translated twice, differently\n";
            ++tally.refused;
        }
    }
    return taken;
}

// Marker mode: the texts go through the editor's code page into their slots.
void ImportByMarker(const ImportOptions& o, const Translations& t, ResourceStrings& strings, ImportTally& tally,
                    std::ostream& err)
{
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < strings.Strings().size(); ++i)
        byId.emplace(strings.Strings()[i].id, i);
    const auto current = [&](const std::string& id) -> std::optional<std::string> {
        const auto it = byId.find(id);
        if (it == byId.end())
            return std::nullopt;
        return TextToUtf8(strings.Strings()[it->second].text);
    };
    for (const auto& [id, translation] : TakenTranslations(t, current, o.force, tally, err)) {
        const std::size_t index = byId.at(id);
        const auto text = Utf8ToText(translation);
        if (!text.text) {
            err << "refused: ID " << id << ": " << CodePointName(text.missing) << " has no byte in the code page\n";
            ++tally.refused;
            continue;
        }
        if (*text.text == strings.Strings()[index].text) {
            ++tally.unchanged;
            continue;
        }
        strings.SetText(index, *text.text);
        ++tally.applied;
    }
    if (tally.refused == 0) {
        for (const auto& line : strings.Overlong()) {
            err << "refused: too long: " << line << '\n';
            ++tally.refused;
        }
    }
}

// A translation longer than its text, which the summary lists.
struct Growth {
    std::string id;
    std::size_t from = 0;
    std::size_t to = 0;
};

// Resource mode: the texts are edited and their resources laid out again.
// Returns the new file's bytes when something is applied.
std::vector<std::uint8_t> ImportByResource(const ImportOptions& o, const ResourceTexts& texts, const Translations& t,
                                           ImportTally& tally, std::vector<Growth>& grown, std::ostream& err)
{
    const auto current = [&](const std::string& id) -> std::optional<std::string> {
        const resource::Text* text = texts.Find(id);
        if (!text)
            return std::nullopt;
        return resource::Utf16ToUtf8(text->text);
    };
    std::vector<resource::TextEdit> edits;
    for (const auto& [id, translation] : TakenTranslations(t, current, o.force, tally, err)) {
        const resource::Text& text = *texts.Find(id);
        if (!text.certain && !o.read.includeGuessed) {
            err << "refused: ID " << id << " was found by a guess; give --include-guessed to translate it\n";
            ++tally.refused;
            continue;
        }
        const auto units = resource::Utf8ToUtf16(translation);
        if (!units) { // both readers take only UTF-8; kept for safety
            err << "refused: ID " << id << ": not valid UTF-8\n";
            ++tally.refused;
            continue;
        }
        if (*units == text.text) {
            ++tally.unchanged;
            continue;
        }
        if (units->size() > text.text.size()) {
            grown.push_back({id, text.text.size(), units->size()});
            if (o.maxGrowth && units->size() * 100 > text.text.size() * (100 + *o.maxGrowth)) {
                err << "refused: ID " << id << " grows from " << text.text.size() << " to " << units->size()
                    << " characters, more than --max-growth " << *o.maxGrowth << "%\n";
                ++tally.refused;
                continue;
            }
        }
        edits.push_back({text.resource, text.index, *units});
        ++tally.applied;
    }
    if (tally.refused > 0 || edits.empty())
        return {};
    try {
        return resource::Rebuild(texts.File(), edits, o.read.includeGuessed);
    } catch (const resource::RebuildError& e) {
        err << "refused: " << e.what() << '\n';
        ++tally.refused;
    }
    return {};
}

int Import(const ImportOptions& o, std::ostream& out, std::ostream& err)
{
    const std::string& target = o.output.empty() ? o.file : o.output;
    // Held from the read to the save: another import waits, and a change by
    // any other program meanwhile refuses the save.
    std::optional<FileLock> lock;
    std::optional<ResourceTexts> texts;
    ReadBy mode = ReadBy::Marker;
    std::optional<ResourceStrings> strings;
    Translations translations;
    try {
        if (o.output.empty() && !o.dryRun)
            if (const std::string why = NotSavableInPlace(o.file); !why.empty())
                throw ModeError(why);
        lock.emplace(o.file);
        mode = ModeOf(o.file, o.read, texts);
        if (mode == ReadBy::Marker)
            strings.emplace(o.file);
        translations = ReadTranslations(o.po, o.file);
        CheckTranslationsMode(translations, mode, o.po, o.file);
    } catch (const TavolinError& e) {
        err << Failure(e, o.file) << '\n';
        return 1;
    } catch (const PoError& e) {
        err << e.what() << "; nothing written\n";
        return 1;
    } catch (const ModeError& e) {
        err << e.what() << "; nothing written\n";
        return 1;
    }
    ImportTally tally;
    std::vector<Growth> grown;
    std::vector<std::uint8_t> rebuilt;
    try {
        if (mode == ReadBy::Marker)
            ImportByMarker(o, translations, *strings, tally, err);
        else
            rebuilt = ImportByResource(o, *texts, translations, tally, grown, err);
    } catch (const TavolinError& e) {
        err << Failure(e, o.file) << '\n';
        return 1;
    }
    if (tally.refused > 0) {
        err << "nothing written\n";
        return 1;
    }
    if (tally.applied > 0 && !o.dryRun) {
        try {
            if (strings)
                strings->Save(target);
            else
                ReplaceFile(target, rebuilt);
        } catch (const TavolinError& e) {
            err << Failure(e, target) << '\n';
            return 1;
        }
    }
    // Only now: "applied" means written (or, with --dry-run, what would be).
    std::ostream& summary = !o.dryRun && IsStandardOutput(target) ? err : out;
    tally.Report(summary, translations.xliff);
    if (!grown.empty()) {
        summary << "longer than the original (an application may read a text into a buffer of the original's size):\n";
        for (const auto& g : grown)
            summary << "  " << g.id << ": " << g.from << " to " << g.to << " characters\n";
    }
    return 0;
}

int CheckByMarker(const std::string& file, std::ostream& out)
{
    const ResourceStrings strings(file);
    if (strings.Strings().empty())
        out << file << ": by marker: no strings found\n";
    if (strings.RoundTrips()) {
        out << file << ": by marker: saves unchanged\n";
        return 0;
    }
    out << file << ": by marker: a save changes it\n";
    for (const auto& s : strings.Strings()) {
        if (s.changes.empty())
            continue;
        out << "  " << s.id << ':';
        for (std::size_t i = 0; i < s.changes.size(); ++i)
            out << (i == 0 ? " " : ", ") << SavingChangeText(s.changes[i], strings.IsCaption(), false);
        out << '\n';
    }
    return 1;
}

int CheckByResource(const std::string& file, const ResourceTexts& texts, std::ostream& out)
{
    out << file << ": by resource: " << texts.Summary();
    try {
        if (resource::Rebuild(texts.File(), {}, false) == texts.File().bytes) {
            out << "; a rebuild keeps its bytes\n";
            return 0;
        }
        out << "; a rebuild without edits changes its bytes\n";
    } catch (const resource::RebuildError& e) {
        out << "; a rebuild is refused: " << e.what() << '\n';
    }
    return 1;
}

int Check(const std::vector<std::string>& files, const ReadOptions& o, std::ostream& out, std::ostream& err)
{
    int code = 0;
    for (const auto& file : files) {
        try {
            std::optional<ResourceTexts> texts;
            const int result = ModeOf(file, o, texts) == ReadBy::Resource ? CheckByResource(file, *texts, out)
                                                                           : CheckByMarker(file, out);
            code = std::max(code, result);
        } catch (const TavolinError& e) {
            err << file << ": " << e.what() << '\n';
            code = 1;
        } catch (const ModeError& e) {
            err << e.what() << '\n';
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
