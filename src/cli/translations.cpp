#include "cli/translations.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "cli/readmode.h"
#include "cli/xlifffile.h"

namespace tavolin {

namespace {

// An ID as export writes it: "R.I", a marker's number, either after the
// file's name and ':'.
bool IsIdForm(const std::string& text)
{
    return KindOfId(std::string_view(text).substr(text.rfind(':') + 1)) != IdKind::None;
}

// Tools that lose msgctxt keep the ID export wrote as a reference: xliff2po
// in "#:" (and a msgctxt of its own where two texts are alike), po2xliff in
// a location context.
void TakeIdFromReference(PoEntry& e, const std::vector<std::string>& references)
{
    const auto id = std::find_if(references.begin(), references.end(), IsIdForm);
    if (id != references.end() && std::count_if(references.begin(), references.end(), IsIdForm) == 1)
        e.context = *id;
}

// translate-toolkit writes a control character XML cannot hold as the text
// of its character reference ("&#x1f;" read as those six characters).
std::string ControlReferencesRead(const std::string& text)
{
    std::string read;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "&#x") == 0) {
            const std::size_t end = text.find(';', i);
            if (end != std::string::npos && end > i + 3 && end <= i + 5) {
                const std::string digits = text.substr(i + 3, end - i - 3);
                if (digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
                    const auto c = std::stoul(digits, nullptr, 16);
                    if (c > 0 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                        read += static_cast<char>(c);
                        i = end;
                        continue;
                    }
                }
            }
        }
        read += text[i];
    }
    return read;
}

// A PO of several files names each entry's file in its ID ("app.rsc:4.1"):
// the entries of `name`, by their own IDs.
void TakeEntriesOf(Translations& t, const std::string& path, const std::string& name)
{
    const auto named = [](const PoEntry& e) { return e.context && e.context->find(':') != std::string::npos; };
    if (std::none_of(t.entries.begin(), t.entries.end(), named))
        return;
    std::set<std::string> names;
    std::vector<PoEntry> taken;
    for (auto& e : t.entries) {
        if (!named(e)) {
            taken.push_back(std::move(e)); // counted as without an ID, or for no text
            continue;
        }
        const auto colon = e.context->rfind(':');
        const std::string file = e.context->substr(0, colon);
        names.insert(file);
        if (file != name)
            continue;
        e.context = e.context->substr(colon + 1);
        taken.push_back(std::move(e));
    }
    if (!names.contains(name)) {
        std::string all;
        for (const auto& n : names)
            all += (all.empty() ? "" : ", ") + n;
        throw PoError(path + ": holds no entries for " + name + " (its IDs name " + all + ")");
    }
    t.entries = std::move(taken);
}

} // namespace

Translations ReadTranslations(const std::string& path, const std::string& resourceFile)
{
    std::string bytes = PoFile::ReadBytes(path);
    if (!LooksLikeXml(bytes)) {
        Translations t;
        t.entries = PoFile::Parse(std::move(bytes), path, &t.language);
        for (auto& e : t.entries)
            TakeIdFromReference(e, e.references);
        TakeEntriesOf(t, path, std::filesystem::path(resourceFile).filename().string());
        return t;
    }
    auto units = ReadXliff(bytes, path);
    // A document of several files: the units of the one for this file.
    const std::string name = std::filesystem::path(resourceFile).filename().string();
    const bool several = std::any_of(units.begin(), units.end(),
                                     [&](const XliffEntry& u) { return u.original != units.front().original; });
    Translations t;
    t.xliff = true;
    for (auto& u : units) {
        if (several && u.original != name)
            continue;
        if (t.language.empty())
            t.language = u.targetLanguage;
        PoEntry e;
        e.context = std::move(u.id);
        if (u.location)
            TakeIdFromReference(e, {*u.location});
        e.msgid = ControlReferencesRead(u.source);
        e.msgstr = ControlReferencesRead(u.target.value_or(""));
        e.comment = std::move(u.note);
        static const std::set<std::string> finished = {"translated", "signed-off", "final"};
        e.fuzzy = u.state && !finished.contains(*u.state);
        t.entries.push_back(std::move(e));
    }
    if (several && t.entries.empty())
        throw PoError(path + ": holds no <file> whose original is " + name);
    TakeEntriesOf(t, path, name);
    return t;
}

void CheckTranslationsMode(const Translations& t, ReadBy mode, const std::string& path, const std::string& file)
{
    bool byResource = false;
    bool byMarker = false;
    for (const auto& e : t.entries) {
        if (!e.context)
            continue;
        const IdKind kind = KindOfId(*e.context);
        byResource = byResource || kind == IdKind::Resource;
        byMarker = byMarker || kind == IdKind::Marker;
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

} // namespace tavolin
