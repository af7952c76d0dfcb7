// A rebuild of any file the structure reader reads, with edits derived from
// the input: it is refused, or it gives a file that reads again, keeps every
// unedited resource's data and holds each edited text where it was put.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzzcheck.h"
#include "resource/resourcefile.h"

using namespace tavolin;
using fuzz::Check;

namespace {

// New texts of every sort the layout treats apart: empty, one character,
// Latin that compresses, ideographs that do not, an emoji, a long run.
std::u16string NewText(std::uint32_t seed, const std::u16string& old)
{
    switch (seed % 8) {
    case 0:
        return u"";
    case 1:
        return u"x";
    case 2:
        return old + u" plus";
    case 3:
        return u"日本語のテキスト";
    case 4:
        return u"Hi \U0001F600 Привет";
    case 5:
        return std::u16string(130 + seed % 200, u'a');
    case 6:
        return old.substr(0, old.size() / 2);
    default:
        return u"Ελληνικά " + old;
    }
}

bool Contains(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& part)
{
    return part.empty() || std::search(data.begin(), data.end(), part.begin(), part.end()) != data.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const resource::ResourceFile file = resource::ReadResourceFile(std::span<const std::uint8_t>(data, size));
    if (file.texts.empty())
        return 0;
    std::uint32_t seed = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        seed = (seed ^ data[i]) * 16777619u;
    std::vector<resource::TextEdit> edits;
    for (std::size_t i = 0; i < file.texts.size(); ++i) {
        const auto& t = file.texts[i];
        if ((seed >> (i % 29)) % 3 == 0)
            edits.push_back({t.resource, t.index, NewText(seed + static_cast<std::uint32_t>(i), t.text)});
    }
    if (edits.empty())
        edits.push_back({file.texts[0].resource, file.texts[0].index, NewText(seed, file.texts[0].text)});
    const bool allowGuessed = seed % 5 != 0;

    std::vector<std::uint8_t> out;
    try {
        out = resource::Rebuild(file, edits, allowGuessed);
    } catch (const resource::RebuildError& e) {
        Check(std::string(e.what()).size() > 0, "a refusal without a message");
        return 0;
    }
    const resource::ResourceFile again = resource::ReadResourceFile(out);
    Check(again.format != resource::Format::Unknown, "the rebuilt file is of no known format");
    Check(again.resources.size() == file.resources.size(), "the rebuild changed the number of resources");
    std::vector<bool> edited(file.resources.size(), false);
    for (const auto& e : edits)
        edited[e.resource - 1] = true;
    for (std::size_t r = 0; r < file.resources.size(); ++r) {
        Check(again.resources[r].readable || !file.resources[r].readable, "a rebuilt resource does not decompress");
        if (!edited[r]) {
            Check(again.resources[r].data == file.resources[r].data, "an unedited resource changed");
            continue;
        }
    }
    for (const auto& e : edits) {
        const auto& t = *std::find_if(file.texts.begin(), file.texts.end(), [&](const resource::Text& x) {
            return x.resource == e.resource && x.index == e.index;
        });
        std::vector<std::uint8_t> bytes;
        if (t.kind == resource::TextKind::Ltext)
            bytes.push_back(static_cast<std::uint8_t>(e.text.size()));
        std::vector<std::uint8_t> chars;
        for (const char16_t c : e.text) {
            chars.push_back(static_cast<std::uint8_t>(c & 0xFF));
            if (t.wide)
                chars.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        const auto& data = again.resources[e.resource - 1].data;
        auto padded = bytes;
        padded.push_back(0xAB);
        padded.insert(padded.end(), chars.begin(), chars.end());
        bytes.insert(bytes.end(), chars.begin(), chars.end());
        if (!t.wide) {
            // Narrow texts are written in Windows-1252: compare what it keeps.
            const bool ascii = std::all_of(e.text.begin(), e.text.end(), [](char16_t c) { return c < 0x80; });
            if (ascii)
                Check(Contains(data, bytes), "an edited 8-bit text is not in its resource");
            continue;
        }
        Check(Contains(data, bytes) || Contains(data, padded), "an edited text is not in its resource");
    }
    return 0;
}
