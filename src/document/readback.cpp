#include "document/readback.h"

#include <map>
#include <utility>

#include "document/resourcetexts.h"

namespace tavolin {

namespace {

// A text as a message quotes it: a long one by its start.
std::string Quoted(std::u16string_view text)
{
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown)
        return "\"" + OneLine(text) + "\"";
    const bool splitsPair = text[kShown - 1] >= 0xD800 && text[kShown - 1] <= 0xDBFF;
    return "\"" + OneLine(text.substr(0, splitsPair ? kShown - 1 : kShown)) + "…\"";
}

} // namespace

std::vector<ReadBackDifference> ReadBackDifferences(const resource::ResourceFile& before,
                                                    const std::vector<resource::TextEdit>& edits,
                                                    std::span<const std::uint8_t> rebuilt)
{
    const resource::ResourceFile after = resource::ReadResourceFile(rebuilt);
    if (after.format != before.format)
        return {{"", std::string("the file reads as format ") + resource::FormatName(after.format) + ", not " +
                         resource::FormatName(before.format)}};
    std::map<std::pair<std::size_t, std::size_t>, const std::u16string*> edited;
    for (const auto& e : edits)
        edited[{e.resource, e.index}] = &e.text;
    std::map<std::pair<std::size_t, std::size_t>, const resource::Text*> found;
    for (const auto& t : after.texts)
        found[{t.resource, t.index}] = &t;

    std::vector<ReadBackDifference> differences;
    for (const auto& t : before.texts) {
        const auto key = std::make_pair(t.resource, t.index);
        const auto edit = edited.find(key);
        const std::u16string& meant = edit != edited.end() ? *edit->second : t.text;
        const auto at = found.find(key);
        std::string why;
        if (at == found.end()) {
            why = meant.empty() ? "an empty text is not found by the reader, and the IDs after it would change"
                                : "not found (the IDs after it would change)";
        } else {
            const resource::Text& now = *at->second;
            found.erase(at);
            if (now.text != meant)
                why = "reads " + Quoted(now.text) + ", not " + Quoted(meant);
            else if (now.kind != t.kind)
                why = std::string("reads as ") + resource::KindName(now.kind) + ", not " + resource::KindName(t.kind);
            else if (t.certain && !now.certain)
                why = "reads as guessed, no longer certain";
        }
        if (!why.empty())
            differences.push_back({resource::TextId(t), std::move(why)});
    }
    // What is left was not there before.
    for (const auto& [key, t] : found)
        differences.push_back({resource::TextId(*t), "a text that was not there reads " + Quoted(t->text)});
    return differences;
}

std::string DifferencesText(const std::vector<ReadBackDifference>& differences)
{
    constexpr std::size_t kShown = 8;
    std::string text;
    for (std::size_t i = 0; i < differences.size() && i < kShown; ++i) {
        if (i != 0)
            text += "; ";
        if (!differences[i].id.empty())
            text += differences[i].id + ": ";
        text += differences[i].why;
    }
    if (differences.size() > kShown)
        text += "; and " + std::to_string(differences.size() - kShown) + " more";
    return text;
}

} // namespace tavolin
