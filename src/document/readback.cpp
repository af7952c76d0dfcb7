#include "document/readback.h"

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
    std::vector<ReadBackDifference> differences;
    for (const auto& m : resource::ReadBackMismatches(before, edits, after)) {
        using What = resource::ReadBackMismatch::What;
        switch (m.what) {
        case What::Missing:
            differences.push_back(
                {resource::TextId(*m.was), m.meant.empty()
                                               ? "an empty text is not found by the reader, and the IDs after it would change"
                                               : "not found (the IDs after it would change)"});
            break;
        case What::OtherText:
            differences.push_back({resource::TextId(*m.was), "reads " + Quoted(m.now->text) + ", not " + Quoted(m.meant)});
            break;
        case What::OtherKind:
            differences.push_back({resource::TextId(*m.was), std::string("reads as ") + resource::KindName(m.now->kind) +
                                                                 ", not " + resource::KindName(m.was->kind)});
            break;
        case What::Guessed:
            differences.push_back({resource::TextId(*m.was), "reads as guessed, no longer certain"});
            break;
        case What::Added:
            differences.push_back({resource::TextId(*m.now), "a text that was not there reads " + Quoted(m.now->text)});
            break;
        }
    }
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
