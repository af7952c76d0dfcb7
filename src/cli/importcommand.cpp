#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <utility>

#include "cli/clichecks.h"
#include "cli/commands.h"
#include "cli/pofile.h"
#include "document/resourcestrings.h"
#include "document/resourcetexts.h"
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

} // namespace

int Import(const ImportOptions& o, std::ostream& out, std::ostream& err)
{
    const std::string& target = o.output.empty() ? o.file : o.output;
    // Held from the read to the save: another import waits, and a change by
    // any other program meanwhile refuses the save.
    std::optional<FileLock> lock;
    std::optional<Document> document;
    ReadBy mode = ReadBy::Marker;
    ResourceStrings* strings = nullptr;
    Translations translations;
    try {
        if (o.output.empty() && !o.dryRun)
            if (const std::string why = NotSavableInPlace(o.file); !why.empty())
                throw ModeError(why);
        lock.emplace(o.file);
        document.emplace(OpenDocument(o.file, o.read));
        mode = document->Reading();
        if (mode == ReadBy::Marker)
            strings = &document->Markers();
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
            rebuilt = ImportByResource(o, document->Structure(), translations, tally, grown, err);
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

} // namespace tavolin
