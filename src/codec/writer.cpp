#include "codec/writer.h"

#include "codec/charconv.h"
#include "codec/errors.h"
#include "codec/safesave.h"

namespace tavolin {

namespace {

constexpr std::uint8_t kStringMarker = 171;
// Caption files state their offsets in one byte.
constexpr int kCaptionLimit = 255;

void WriteText(std::vector<std::uint8_t>& out, const std::string& text)
{
    for (const char c : text) {
        const FileChar fc = EncodeChar(static_cast<std::uint8_t>(c));
        out.push_back(fc.low);
        out.push_back(fc.high);
    }
}

// Visits IDs 1 .. GridRowCount - 1: a table without entries still has its
// empty row, ID 1.
int VisitedIds(const StringTable& vle)
{
    return vle.GridRowCount() - 1;
}

std::string Characters(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " character" : " characters");
}

} // namespace

std::vector<OverlongText> FindOverlongTexts(const StringTable& vle, const StringTable& vle3)
{
    std::vector<OverlongText> found;
    if (vle3.EntryCount() == 0)
        return found; // nothing but the leading gap record is written
    const int count = VisitedIds(vle);
    for (int k = 1; k <= count; ++k) {
        const std::string id = std::to_string(k);
        int capacity = 0;
        try {
            capacity = StrToInt(vle3.ValueOf(id));
        } catch (const ConvertError&) {
            continue;
        }
        const std::size_t length = vle.ValueOf(id).size();
        if (static_cast<long long>(length) > capacity)
            found.push_back({id, length, capacity});
    }
    return found;
}

std::string OverlongTextsMessage(const std::vector<OverlongText>& texts)
{
    constexpr std::size_t kNamed = 10;
    if (texts.size() == 1) {
        const OverlongText& t = texts.front();
        return "The text of ID " + t.id + " has " + Characters(t.length) +
               ", but its slot holds " + std::to_string(t.capacity);
    }
    std::string message = std::to_string(texts.size()) + " texts are longer than their slots: ";
    for (std::size_t i = 0; i < texts.size() && i < kNamed; ++i) {
        const OverlongText& t = texts[i];
        message += (i == 0 ? "" : "; ") + ("ID " + t.id + " has " + Characters(t.length) +
                                           ", its slot holds " + std::to_string(t.capacity));
    }
    if (texts.size() > kNamed)
        message += "; and " + std::to_string(texts.size() - kNamed) + " more";
    return message;
}

bool IsCaptionPath(std::string_view path)
{
    return LowerAsciiLetters(path).find("caption") != std::string::npos;
}

void WriteGapRecord(std::vector<std::uint8_t>& out, std::string_view gapRecord)
{
    std::size_t start = 0;
    while (start < gapRecord.size()) {
        const std::size_t blank = gapRecord.find(' ', start);
        const std::size_t end = blank == std::string_view::npos ? gapRecord.size() : blank;
        out.push_back(static_cast<std::uint8_t>(StrToInt(gapRecord.substr(start, end - start))));
        start = end + 1;
    }
}

std::vector<std::uint8_t> BuildPatchFile(const StringTable& vle, const StringTable& vle2,
                                         const StringTable& vle3)
{
    // A longer text would spill over the bytes behind its slot.
    if (const auto overlong = FindOverlongTexts(vle, vle3); !overlong.empty())
        throw SaveRefused(OverlongTextsMessage(overlong));
    std::vector<std::uint8_t> out;
    WriteGapRecord(out, vle2.ValueOf("0"));
    // A file without strings is its leading gap record alone.
    if (vle3.EntryCount() == 0)
        return out;
    const int count = VisitedIds(vle);
    for (int k = 1; k <= count; ++k) {
        const std::string id = std::to_string(k);
        const int capacity = StrToInt(vle3.ValueOf(id));
        const std::string& text = vle.ValueOf(id);
        const auto length = static_cast<long long>(text.size());
        out.push_back(static_cast<std::uint8_t>(capacity));
        out.push_back(kStringMarker);
        WriteText(out, text);
        out.insert(out.end(), 2 * static_cast<std::size_t>(capacity - length), 0);
        WriteGapRecord(out, vle2.ValueOf(id));
    }
    return out;
}

std::vector<std::uint8_t> BuildCaptionFile(const StringTable& vle)
{
    const int count = VisitedIds(vle);
    long long indexOffset = 4;
    for (int k = 1; k <= count; ++k)
        indexOffset += 2 * static_cast<long long>(vle.ValueOf(std::to_string(k)).size()) + 2;
    if (indexOffset > kCaptionLimit)
        throw SaveRefused("The texts are too long for a caption file: with its header they take " +
                          std::to_string(indexOffset) + " bytes, " +
                          std::to_string(indexOffset - kCaptionLimit) + " more than the " +
                          std::to_string(kCaptionLimit) + " that fit");
    const auto p = static_cast<std::uint8_t>(indexOffset);
    std::vector<std::uint8_t> out = {p, 0, 5, 0};
    for (int k = 1; k <= count; ++k) {
        const std::string& text = vle.ValueOf(std::to_string(k));
        out.push_back(static_cast<std::uint8_t>(text.size()));
        out.push_back(kStringMarker);
        WriteText(out, text);
    }
    out.insert(out.end(), {4, 0, p, 0});
    return out;
}

void WritePatchFile(const std::string& target, const StringTable& vle, const StringTable& vle2,
                    const StringTable& vle3)
{
    ReplaceFile(target, BuildPatchFile(vle, vle2, vle3));
}

void WriteCaptionFile(const std::string& target, const StringTable& vle)
{
    ReplaceFile(target, BuildCaptionFile(vle));
}

void SaveTables(const std::string& target, const StringTables& tables, bool isCaptionFile)
{
    if (isCaptionFile)
        WriteCaptionFile(target, tables.vle);
    else
        WritePatchFile(target, tables.vle, tables.vle2, tables.vle3);
}

} // namespace tavolin
