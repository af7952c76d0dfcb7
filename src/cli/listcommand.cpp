#include <ostream>

#include "cli/commands.h"
#include "document/resourcestrings.h"
#include "document/resourcetexts.h"
#include "codec/displaytext.h"
#include "file/errors.h"

namespace tavolin {

int List(const std::string& file, const ReadOptions& o, std::ostream& out, std::ostream& err)
{
    try {
        Document document = OpenDocument(file, o);
        if (document.Reading() == ReadBy::Resource) {
            const ResourceTexts& texts = document.Structure();
            out << "# " << file << ": by resource: " << texts.Summary()
                << (o.includeGuessed ? "; guessed ones included\n" : "; guessed ones left out\n");
            for (const resource::Text* t : texts.Texts(o.includeGuessed)) {
                const auto limit = TextLimit(*t);
                out << resource::TextId(*t) << '\t' << (limit ? std::to_string(*limit) : std::string("-")) << '\t'
                    << OneLine(t->text) << '\n';
            }
            return 0;
        }
        const ResourceStrings& strings = document.Markers();
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

} // namespace tavolin
