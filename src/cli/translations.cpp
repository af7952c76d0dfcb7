#include "cli/translations.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "cli/readmode.h"
#include "cli/xlifffile.h"

namespace tavolin {

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

} // namespace tavolin
