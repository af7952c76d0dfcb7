#include "codec/writer.h"

#include <cstring>

#include "codec/charconv.h"
#include "codec/format.h"
#include "codec/errors.h"
#include "codec/safesave.h"

namespace tavolin {

namespace {

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

// The value of the first entry keyed `id` as text, made in `scratch` only
// where the table holds no text for it; empty when no entry has the key.
std::string_view TextOf(const StringTable& table, std::uint64_t id, std::string& scratch)
{
    const std::size_t i = table.IndexOfNumber(id);
    if (i == StringTable::kNone)
        return {};
    if (!table.IsGapRecordAt(i))
        return table.StoredValueAt(i);
    scratch = table.ValueAt(i);
    return scratch;
}

// The bytes the gap record keyed `id` stands for: held as bytes after a scan,
// else read from its text into `scratch`. Throws ConvertError.
std::string_view GapBytesOf(const StringTable& vle2, std::uint64_t id,
                            std::vector<std::uint8_t>& scratch)
{
    const std::size_t i = vle2.IndexOfNumber(id);
    if (i == StringTable::kNone)
        return {};
    if (vle2.IsGapRecordAt(i))
        return vle2.StoredValueAt(i);
    scratch.clear();
    WriteGapRecord(scratch, vle2.StoredValueAt(i));
    return {reinterpret_cast<const char*>(scratch.data()), scratch.size()};
}

std::uint8_t* PutText(std::uint8_t* out, std::string_view text)
{
    for (const char c : text) {
        const FileChar fc = EncodeChar(static_cast<std::uint8_t>(c));
        *out++ = fc.low;
        *out++ = fc.high;
    }
    return out;
}

std::uint8_t* PutBytes(std::uint8_t* out, std::string_view bytes)
{
    if (!bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
    return out + bytes.size();
}

} // namespace

std::vector<OverlongText> FindOverlongTexts(const StringTable& vle, const StringTable& vle3)
{
    std::vector<OverlongText> found;
    if (vle3.EntryCount() == 0)
        return found; // nothing but the leading gap record is written
    const int count = VisitedIds(vle);
    std::string scratch;
    for (int k = 1; k <= count; ++k) {
        const auto id = static_cast<std::uint64_t>(k);
        int capacity = 0;
        try {
            capacity = StrToInt(TextOf(vle3, id, scratch));
        } catch (const ConvertError&) {
            continue;
        }
        const std::size_t i = vle.IndexOfNumber(id);
        const std::size_t length = i == StringTable::kNone ? 0 : vle.ValueLengthAt(i);
        if (static_cast<long long>(length) > capacity)
            found.push_back({std::to_string(k), length, capacity});
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
    std::vector<std::uint8_t> gapScratch;
    std::string scratch;
    // A file without strings is its leading gap record alone.
    const std::string_view leading = GapBytesOf(vle2, 0, gapScratch);
    if (vle3.EntryCount() == 0)
        return {leading.begin(), leading.end()};

    // The size first, in the order the bytes are written, so that a text that
    // is no number fails where it always did and the output is one buffer.
    const int count = VisitedIds(vle);
    std::size_t size = leading.size();
    for (int k = 1; k <= count; ++k) {
        const auto id = static_cast<std::uint64_t>(k);
        const int capacity = StrToInt(TextOf(vle3, id, scratch));
        size += 2 + 2 * static_cast<std::size_t>(capacity);
        size += GapBytesOf(vle2, id, gapScratch).size();
    }

    std::vector<std::uint8_t> out(size);
    std::uint8_t* p = PutBytes(out.data(), GapBytesOf(vle2, 0, gapScratch));
    for (int k = 1; k <= count; ++k) {
        const auto id = static_cast<std::uint64_t>(k);
        const int capacity = StrToInt(TextOf(vle3, id, scratch));
        const std::size_t i = vle.IndexOfNumber(id);
        const std::string_view text = i == StringTable::kNone ? std::string_view()
                                                              : TextOf(vle, id, scratch);
        *p++ = static_cast<std::uint8_t>(capacity);
        *p++ = kStringMarker;
        p = PutText(p, text);
        // The rest of the slot is U+0000: the buffer starts zeroed.
        p += 2 * (static_cast<std::size_t>(capacity) - text.size());
        p = PutBytes(p, GapBytesOf(vle2, id, gapScratch));
    }
    return out;
}

std::vector<std::uint8_t> BuildCaptionFile(const StringTable& vle)
{
    const int count = VisitedIds(vle);
    std::string scratch;
    long long indexOffset = 4;
    for (int k = 1; k <= count; ++k) {
        const std::size_t i = vle.IndexOfNumber(static_cast<std::uint64_t>(k));
        indexOffset += 2 * static_cast<long long>(i == StringTable::kNone ? 0 : vle.ValueLengthAt(i)) + 2;
    }
    if (indexOffset > kCaptionLimit)
        throw SaveRefused("The texts are too long for a caption file: with its header they take " +
                          std::to_string(indexOffset) + " bytes, " +
                          std::to_string(indexOffset - kCaptionLimit) + " more than the " +
                          std::to_string(kCaptionLimit) + " that fit");
    const auto offset = static_cast<std::uint8_t>(indexOffset);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(indexOffset) + 4);
    std::uint8_t* p = out.data();
    for (const std::uint8_t b : {offset, std::uint8_t{0}, kCaptionHeaderWord, std::uint8_t{0}})
        *p++ = b;
    for (int k = 1; k <= count; ++k) {
        const std::string_view text = TextOf(vle, static_cast<std::uint64_t>(k), scratch);
        *p++ = static_cast<std::uint8_t>(text.size());
        *p++ = kStringMarker;
        p = PutText(p, text);
    }
    for (const std::uint8_t b : {kCaptionIndexWord, std::uint8_t{0}, offset, std::uint8_t{0}})
        *p++ = b;
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
