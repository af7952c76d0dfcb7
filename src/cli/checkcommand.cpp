#include <algorithm>
#include <ostream>

#include "cli/commands.h"
#include "document/resourcestrings.h"
#include "document/resourcetexts.h"
#include "codec/displaytext.h"
#include "file/errors.h"

namespace tavolin {

namespace {

int CheckByMarker(const std::string& file, const ResourceStrings& strings, std::ostream& out)
{
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

} // namespace

int Check(const std::vector<std::string>& files, const ReadOptions& o, std::ostream& out, std::ostream& err)
{
    int code = 0;
    for (const auto& file : files) {
        try {
            Document document = OpenDocument(file, o);
            const int result = document.Reading() == ReadBy::Resource
                                   ? CheckByResource(file, document.Structure(), out)
                                   : CheckByMarker(file, document.Markers(), out);
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

} // namespace tavolin
