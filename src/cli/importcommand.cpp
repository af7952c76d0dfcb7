#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>

#include "cli/clichecks.h"
#include "cli/commands.h"
#include "cli/languages.h"
#include "cli/pofile.h"
#include "document/readback.h"
#include "cli/textchecks.h"
#include "document/document.h"
#include "cli/translations.h"
#include "codec/displaytext.h"
#include "file/errors.h"
#include "file/filelock.h"
#include "file/safesave.h"
#include "resource/utf.h"

namespace tavolin {

namespace {

struct ImportTally {
    std::size_t applied = 0;
    std::size_t already = 0;      // the file holds the translation already
    std::size_t unchanged = 0;    // a translation equal to its text
    std::size_t untranslated = 0; // an empty translation
    std::size_t fuzzy = 0;
    std::size_t unknown = 0;
    std::size_t noContext = 0;
    std::size_t refused = 0;

    void Report(std::ostream& out, bool xliff) const
    {
        out << "applied " << applied << ", already translated " << already << ", unchanged " << unchanged
            << ", untranslated " << untranslated << ", skipped " << fuzzy + unknown + noContext << " ("
            << (xliff ? "state not translated " : "fuzzy ") << fuzzy << ", unknown ID " << unknown
            << (xliff ? ", no id " : ", no msgctxt ") << noContext << "), refused " << refused << '\n';
    }
};

// A text of the file as an import matches entries against it.
struct FileText {
    std::string id;
    std::string group; // where a text can have moved to: its resource, or "" for every string by marker
    std::string text;  // UTF-8
};

// The group of an entry's ID, as FileText names it.
std::string GroupOf(const std::string& id, ReadBy mode)
{
    return mode == ReadBy::Resource ? id.substr(0, id.find('.')) : std::string();
}

// A translation an import takes: the ID of the text it goes onto.
struct Taken {
    std::string id;
    std::string translation;
};

// The translations an import takes, in the order of the file. An entry goes
// only onto a text whose current text is its msgid: the one at its ID, or
// else the one text of its group that is (an ID that moved since the
// export). Where none is and the file holds the translation there, it is
// already translated; where none is otherwise, or several are, it is
// refused. Obsolete, fuzzy and empty entries and those without an ID are
// counted and left out, as are IDs the file lacks.
std::vector<Taken> TakenTranslations(const Translations& t, const std::vector<FileText>& texts, ReadBy mode,
                                     const ImportOptions& o, ImportTally& tally, std::ostream& err)
{
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < texts.size(); ++i)
        byId.emplace(texts[i].id, i);
    std::vector<Taken> taken;
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
        if (e.msgstr.empty()) {
            ++tally.untranslated;
            continue;
        }
        const std::string& id = *e.context;
        const auto at = byId.find(id);
        const FileText* onto = at != byId.end() && texts[at->second].text == e.msgid ? &texts[at->second] : nullptr;
        if (!onto) {
            const std::string group = GroupOf(id, mode);
            std::vector<const FileText*> same;
            bool holdsTranslation = at != byId.end() && texts[at->second].text == e.msgstr;
            for (const auto& f : texts) {
                if (f.group != group)
                    continue;
                if (f.text == e.msgid)
                    same.push_back(&f);
                else if (f.text == e.msgstr)
                    holdsTranslation = true;
            }
            const std::string where = mode == ReadBy::Resource ? "resource " + group : std::string("the file");
            if (same.size() == 1) {
                onto = same.front();
                err << "moved: ID " << Shown(id) << " is now " << onto->id << " (its msgid found there)\n";
            } else if (same.size() > 1) {
                err << "refused: ID " << Shown(id) << ": its text is not the msgid, and " << same.size() << " texts of "
                    << where << " are (";
                for (std::size_t i = 0; i < same.size(); ++i)
                    err << (i == 0 ? "" : ", ") << same[i]->id;
                err << "); cannot tell which\n";
                ++tally.refused;
                continue;
            } else if (holdsTranslation) {
                ++tally.already;
                continue;
            } else if (at == byId.end()) {
                err << "skipped: ID " << Shown(id) << " names no string of the file\n";
                ++tally.unknown;
                continue;
            } else {
                err << "refused: ID " << Shown(id) << ": the file's text is \"" << Shown(texts[at->second].text)
                    << "\", not the msgid, and no text of " << where
                    << " is; the file changed since the export (export it again, or msgmerge the translations "
                       "into a new export)\n";
                ++tally.refused;
                continue;
            }
        }
        if (e.msgstr != onto->text && IsPathOrFileName(onto->text) && !o.includePaths) {
            err << "refused: ID " << onto->id << " is a file path or name (\"" << Shown(onto->text)
                << "\"), which the application would no longer find translated; give --include-paths to change it\n";
            ++tally.refused;
            continue;
        }
        if (!o.allowPlaceholders) {
            if (const auto change = PlaceholderChange(onto->text, e.msgstr)) {
                err << "refused: ID " << onto->id << ": the translation " << *change
                    << "; give --allow-placeholders to let it through\n";
                ++tally.refused;
                continue;
            }
        }
        const auto [was, fresh] = given.emplace(onto->id, e.msgstr);
        if (fresh)
            taken.push_back({onto->id, e.msgstr});
        else if (was->second != e.msgstr) {
            err << "refused: ID " << onto->id << " is translated twice, differently\n";
            ++tally.refused;
        }
    }
    return taken;
}

// Marker mode: the texts go through the editor's code page into their slots.
void ImportByMarker(const ImportOptions& o, const Translations& t, ResourceStrings& strings, ImportTally& tally,
                    std::ostream& err)
{
    std::vector<FileText> texts;
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < strings.Strings().size(); ++i) {
        const auto& s = strings.Strings()[i];
        texts.push_back({s.id, "", TextToUtf8(s.text)});
        byId.emplace(s.id, i);
    }
    for (const Taken& taken : TakenTranslations(t, texts, ReadBy::Marker, o, tally, err)) {
        const std::string& id = taken.id;
        const std::string& translation = taken.translation;
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

// Resource mode: the texts are edited in the document and their resources
// laid out again. Returns the edits; `rebuilt` gets the new file's bytes
// when there are any.
std::vector<resource::TextEdit> ImportByResource(const ImportOptions& o, Document& document, const Translations& t,
                                                 ImportTally& tally, std::vector<Growth>& grown,
                                                 std::vector<std::uint8_t>& rebuilt, std::ostream& err)
{
    std::vector<FileText> current;
    for (const auto& text : document.Texts()) {
        const std::string group = text.id.substr(0, text.id.find('.'));
        current.push_back({text.id, group, resource::Utf16ToUtf8(text.text)});
    }
    std::vector<resource::TextEdit> edits;
    for (const Taken& taken : TakenTranslations(t, current, ReadBy::Resource, o, tally, err)) {
        const std::string& id = taken.id;
        const std::string& translation = taken.translation;
        const std::size_t row = *document.RowOf(id);
        const DocumentText& text = document.Texts()[row];
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
        const resource::Text& at = document.Structure().File().texts[row];
        edits.push_back({at.resource, at.index, *units});
        document.SetText(row, *units);
        ++tally.applied;
    }
    if (tally.refused > 0 || edits.empty())
        return edits;
    try {
        rebuilt = document.SavedBytes(o.read.includeGuessed);
    } catch (const SaveRefused& e) {
        err << "refused: " << NamingGuessedOption(e.what(), "--include-guessed") << '\n';
        ++tally.refused;
    }
    return edits;
}

// True when both name one file; a target that does not exist yet is
// another file.
bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    return a == b || std::filesystem::equivalent(a, b, error);
}

// Where the import writes `file`: OUT, DIR/NAME, the language variant
// beside it, or the file itself. Throws ModeError for a variant of a
// language the platform does not number.
std::string ImportTarget(const ImportOptions& o, const std::string& file, const Translations& t)
{
    if (!o.output.empty())
        return o.output;
    if (!o.dir.empty())
        return (std::filesystem::path(o.dir) / std::filesystem::path(file).filename()).string();
    if (!o.variant)
        return file;
    if (t.language.empty())
        throw ModeError(Shown(o.po) + ": names no language (PO Language:, XLIFF target-language), so --variant "
                                      "has no name to give; give -o OUT");
    const auto number = PlatformLanguage(t.language);
    if (!number)
        throw ModeError(Shown(o.po) + ": the platform has no language number for \"" + Shown(t.language) +
                        "\", so --variant has no name to give; give -o OUT");
    return VariantPath(file, *number);
}

void ReportGrowth(const std::vector<Growth>& grown, std::ostream& out)
{
    if (grown.empty())
        return;
    // A file near its limits can have hundreds: the first ones tell.
    constexpr std::size_t kShown = 20;
    out << "longer than the original (an application may read a text into a buffer of the original's size):\n";
    for (std::size_t i = 0; i < grown.size() && i < kShown; ++i)
        out << "  " << grown[i].id << ": " << grown[i].from << " to " << grown[i].to << " characters\n";
    if (grown.size() > kShown)
        out << "  and " << grown.size() - kShown << " more\n";
}

// One file of an import, read, translated and laid out, waiting to be
// written once every file of the import is.
struct Prepared {
    std::string file;
    std::string target;
    bool inPlace = true;
    // Held from the read to the save: another import waits, and a change by
    // any other program meanwhile refuses the save.
    std::unique_ptr<FileLock> lock;
    std::optional<Document> document;
    Translations translations;
    ImportTally tally;
    std::vector<Growth> grown;
    std::vector<std::uint8_t> rebuilt;
    std::vector<ReadBackDifference> differences;
};

// Reads `file` and applies the translations to it in memory. False when the
// file or the translations cannot be read, or an entry is refused.
bool Prepare(const ImportOptions& o, Prepared& p, std::ostream& err)
{
    ReadBy mode = ReadBy::Marker;
    try {
        if (o.output.empty() && o.dir.empty() && !o.variant && !o.dryRun)
            if (const std::string why = NotSavableInPlace(p.file); !why.empty())
                throw ModeError(why);
        p.lock = std::make_unique<FileLock>(p.file);
        p.document.emplace(OpenDocument(p.file, o.read));
        mode = p.document->Reading();
        p.translations = ReadTranslations(o.po, p.file);
        CheckTranslationsMode(p.translations, mode, o.po, p.file);
        p.target = ImportTarget(o, p.file, p.translations);
        p.inPlace = SameFile(p.target, p.file);
        // Said as such rather than as the save's "Invalid filename".
        if (const auto folder = std::filesystem::path(p.target).parent_path();
            !p.inPlace && !folder.empty() && !std::filesystem::is_directory(folder))
            throw ModeError(Shown(folder.string()) + ": no such folder");
        if (mode == ReadBy::Marker) {
            ImportByMarker(o, p.translations, p.document->Markers(), p.tally, err);
        } else {
            const auto edits = ImportByResource(o, *p.document, p.translations, p.tally, p.grown, p.rebuilt, err);
            if (!p.rebuilt.empty())
                p.differences = ReadBackDifferences(p.document->Structure().File(), edits, p.rebuilt);
        }
    } catch (const TavolinError& e) {
        err << Failure(e, p.file) << '\n';
        return false;
    } catch (const PoError& e) {
        err << e.what() << "; nothing written\n";
        return false;
    } catch (const ModeError& e) {
        err << e.what() << "; nothing written\n";
        return false;
    }
    if (!p.differences.empty() && p.inPlace) {
        err << "refused: " << Shown(p.file) << " would read differently after the save, and the IDs of a later import "
            << "would name other texts: " << DifferencesText(p.differences)
            << " (-o OUT or --variant writes it elsewhere, with a warning)\n";
        ++p.tally.refused;
    }
    return p.tally.refused == 0;
}

void Write(const ImportOptions& o, Prepared& p)
{
    if (o.dryRun || (p.tally.applied == 0 && p.inPlace))
        return;
    if (p.tally.applied == 0)
        ReplaceFile(p.target, p.document->Bytes());
    else if (p.document->Reading() == ReadBy::Marker)
        p.document->Markers().Save(p.target);
    else
        ReplaceFile(p.target, p.rebuilt);
}

} // namespace

int Import(const ImportOptions& o, std::ostream& out, std::ostream& err)
{
    std::vector<std::unique_ptr<Prepared>> prepared;
    bool refused = false;
    for (const auto& file : o.files) {
        auto& p = *prepared.emplace_back(std::make_unique<Prepared>());
        p.file = file;
        if (!Prepare(o, p, err)) {
            if (p.tally.refused == 0)
                return 1;
            refused = true;
        }
    }
    if (refused) {
        err << "nothing written\n";
        return 1;
    }
    // Only once every file is ready: an import of an application is written
    // whole or not at all (short of a failing disk).
    for (const auto& p : prepared) {
        try {
            Write(o, *p);
        } catch (const TavolinError& e) {
            err << Failure(e, p->target) << '\n';
            return 1;
        }
    }
    // Only now: "applied" means written (or, with --dry-run, what would be).
    for (const auto& p : prepared) {
        // Standard output may hold the file itself, and nothing else.
        std::ostream& summary = !o.dryRun && IsStandardOutput(p->target) ? err : out;
        if (prepared.size() > 1)
            summary << Shown(p->file) << ": ";
        p->tally.Report(summary, p->translations.xliff);
        if (!p->inPlace && !o.dryRun)
            summary << "written to " << Shown(p->target) << '\n';
        ReportGrowth(p->grown, summary);
        if (!p->differences.empty())
            err << "warning: " << Shown(p->target) << " reads differently from what was meant, and the IDs of an import "
                << "into it would name other texts: " << DifferencesText(p->differences) << '\n';
    }
    return 0;
}

} // namespace tavolin
