#include "codec/writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>

#include "codec/charconv.h"
#include "codec/format.h"
#include "codec/errors.h"
#include "codec/safesave.h"
#include "codec/scanner.h"
#include "tables/largebuffer.h"

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

// Whether any of four bytes is `b`: a byte of `four ^ b...` is zero there.
constexpr bool HasByte(std::uint32_t four, std::uint8_t b)
{
    const std::uint32_t x = four ^ (0x01010101u * b);
    return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

// Four text bytes that each stand for themselves: below U+007F and no
// backslash (which stands for a line feed).
constexpr bool IsPlainText(std::uint32_t four)
{
    return (four & 0x80808080u) == 0 && !HasByte(four, 0x7F) && !HasByte(four, 0x5C);
}

static_assert(IsPlainText(0x41424344u) && !IsPlainText(0x41425C44u) && !IsPlainText(0x7F424344u) &&
              !IsPlainText(0x414243C4u) && IsPlainText(0x00010203u));

std::uint8_t* PutText(std::uint8_t* out, std::string_view text)
{
    std::size_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; k + 4 <= text.size(); k += 4) {
            std::uint32_t four;
            std::memcpy(&four, text.data() + k, sizeof four);
            if (!IsPlainText(four))
                break;
            std::uint64_t x = four;
            x = (x | (x << 16)) & 0x0000FFFF0000FFFFu;
            x = (x | (x << 8)) & 0x00FF00FF00FF00FFu;
            std::memcpy(out, &x, sizeof x);
            out += sizeof x;
        }
    }
    for (; k < text.size(); ++k) {
        const FileChar fc = EncodeChar(static_cast<std::uint8_t>(text[k]));
        *out++ = fc.low;
        *out++ = fc.high;
    }
    return out;
}

std::uint8_t* PutBytes(std::uint8_t* out, std::string_view bytes)
{
    CopyBytes(out, bytes.data(), bytes.size());
    return out + bytes.size();
}

} // namespace

namespace {

// One pass over the slots patch mode writes: each capacity, the texts too
// long for theirs, the size of the file, and the first value that is no
// number in the order the bytes would be written.
struct Slots {
    std::vector<int> capacities; // for IDs 1, 2, ...; 0 where no number
    std::vector<OverlongText> overlong;
    std::size_t size = 0;
    std::exception_ptr notANumber;
};

// Gap records are read only with `vle2`.
Slots MeasureSlots(const StringTable& vle, const StringTable* vle2, const StringTable& vle3)
{
    Slots slots;
    const int count = VisitedIds(vle);
    slots.capacities.resize(static_cast<std::size_t>(count));
    std::string scratch;
    std::vector<std::uint8_t> gapScratch;
    const auto note = [&] {
        if (!slots.notANumber)
            slots.notANumber = std::current_exception();
    };
    for (int k = 1; k <= count; ++k) {
        const auto id = static_cast<std::uint64_t>(k);
        try {
            const int capacity = StrToInt(TextOf(vle3, id, scratch));
            slots.capacities[static_cast<std::size_t>(k - 1)] = capacity;
            const std::size_t i = vle.IndexOfNumber(id);
            const std::size_t length = i == StringTable::kNone ? 0 : vle.ValueLengthAt(i);
            if (static_cast<long long>(length) > capacity)
                slots.overlong.push_back({std::to_string(k), length, capacity});
            else
                slots.size += 2 + 2 * static_cast<std::size_t>(capacity);
        } catch (const ConvertError&) {
            note();
        }
        if (vle2) {
            try {
                slots.size += GapBytesOf(*vle2, id, gapScratch).size();
            } catch (const ConvertError&) {
                note();
            }
        }
    }
    return slots;
}

} // namespace

std::vector<OverlongText> FindOverlongTexts(const StringTable& vle, const StringTable& vle3)
{
    if (vle3.EntryCount() == 0)
        return {}; // nothing but the leading gap record is written
    return MeasureSlots(vle, nullptr, vle3).overlong;
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

std::string NoLengthByteMessage(std::string_view id)
{
    return "ID " + std::string(id) +
           " has no length byte of its own (its marker directly follows the string before it or starts "
           "the file): a save would shift the rest of the file, so it is not saved";
}

void RefuseStringsWithoutLengthByte(const SavingChanges& changes, const StringTable& vle)
{
    std::size_t first = StringTable::kNone;
    for (const auto& [index, list] : changes) {
        if (index < first && LacksLengthByte(list))
            first = index;
    }
    if (first != StringTable::kNone && first < vle.EntryCount())
        throw SaveRefused(NoLengthByteMessage(vle.KeyAt(first)));
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

namespace {

// Gap records up to this size are copied beside their slot; larger ones
// are handed on whole.
constexpr std::size_t kInlineGap = 4096;

// Every slot a scan finds (a length byte holds 255 at most) is made in one
// piece of room; a capacity beyond that, which only tables filled otherwise
// hold, could outgrow the room of a save's stream.
constexpr std::size_t kInlineSlot = 255;

// One slot of at most kInlineSlot characters: length byte, marker, the
// text, and U+0000 for the rest of the slot.
std::uint8_t* PutSlot(std::uint8_t* p, std::size_t capacity, std::string_view text)
{
    *p++ = static_cast<std::uint8_t>(capacity);
    *p++ = kStringMarker;
    p = PutText(p, text);
    const std::size_t fill = 2 * (capacity - text.size());
    std::memset(p, 0, fill);
    return p + fill;
}

// Such a slot in pieces of a few KiB: length byte, marker, text, filler.
template <typename Out>
void PutLargeSlot(Out& out, std::size_t capacity, std::string_view text)
{
    constexpr std::size_t kPiece = 4096; // characters
    std::uint8_t* p = out.Room(2);
    *p++ = static_cast<std::uint8_t>(capacity);
    *p++ = kStringMarker;
    out.Commit(p);
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
        const std::string_view piece = text.substr(at, kPiece);
        out.Commit(PutText(out.Room(2 * piece.size()), piece));
    }
    for (std::size_t left = capacity - text.size(); left > 0;) {
        const std::size_t n = std::min(left, kPiece);
        p = out.Room(2 * n);
        std::memset(p, 0, 2 * n);
        out.Commit(p + 2 * n);
        left -= n;
    }
}

// Patch mode's bytes, the leading gap record and then the slots, into
// `out`: a buffer sized in advance, or the stream of a save. `slots` holds
// no refusal.
template <typename Out>
void PutPatchFile(Out& out, std::string_view leading, const Slots& slots, const StringTable& vle,
                  const StringTable& vle2)
{
    out.Put(reinterpret_cast<const std::uint8_t*>(leading.data()), leading.size());
    std::vector<std::uint8_t> gapScratch;
    std::string scratch;
    for (std::size_t k = 1; k <= slots.capacities.size(); ++k) {
        const auto id = static_cast<std::uint64_t>(k);
        const auto capacity = static_cast<std::size_t>(slots.capacities[k - 1]);
        const std::string_view text = TextOf(vle, id, scratch);
        const std::string_view gap = GapBytesOf(vle2, id, gapScratch);
        if (capacity > kInlineSlot) {
            PutLargeSlot(out, capacity, text);
            out.Put(reinterpret_cast<const std::uint8_t*>(gap.data()), gap.size());
            continue;
        }
        const bool gapBeside = gap.size() <= kInlineGap;
        std::uint8_t* p = PutSlot(out.Room(2 + 2 * capacity + (gapBeside ? gap.size() : 0)), capacity, text);
        if (gapBeside)
            p = PutBytes(p, gap);
        out.Commit(p);
        if (!gapBeside)
            out.Put(reinterpret_cast<const std::uint8_t*>(gap.data()), gap.size());
    }
}

// Room in a buffer that was sized for every byte.
class SizedBuffer {
public:
    explicit SizedBuffer(std::uint8_t* start) : m_p(start) {}
    [[nodiscard]] std::uint8_t* Room(std::size_t) const { return m_p; }
    void Commit(std::uint8_t* end) { m_p = end; }
    void Put(const std::uint8_t* bytes, std::size_t size)
    {
        CopyBytes(m_p, bytes, size);
        m_p += size;
    }

private:
    std::uint8_t* m_p;
};

// The slots of a patch-mode save and its leading gap record. A refusal
// names every text too long, then a value that is no number fails where its
// bytes would have been written. Throws SaveRefused, ConvertError.
Slots MeasurePatchFile(const StringTable& vle, const StringTable& vle2, const StringTable& vle3,
                       std::string_view& leading, std::vector<std::uint8_t>& leadingScratch)
{
    // A file without strings is its leading gap record alone.
    if (vle3.EntryCount() == 0) {
        leading = GapBytesOf(vle2, 0, leadingScratch);
        return {};
    }
    Slots slots = MeasureSlots(vle, &vle2, vle3);
    if (!slots.overlong.empty())
        throw SaveRefused(OverlongTextsMessage(slots.overlong));
    leading = GapBytesOf(vle2, 0, leadingScratch);
    if (slots.notANumber)
        std::rethrow_exception(slots.notANumber);
    return slots;
}

} // namespace

std::vector<std::uint8_t> BuildPatchFile(const StringTable& vle, const StringTable& vle2,
                                         const StringTable& vle3)
{
    std::vector<std::uint8_t> leadingScratch;
    std::string_view leading;
    const Slots slots = MeasurePatchFile(vle, vle2, vle3, leading, leadingScratch);
    std::vector<std::uint8_t> out;
    ReserveLarge(out, leading.size() + slots.size);
    out.resize(leading.size() + slots.size);
    SizedBuffer buffer(out.data());
    PutPatchFile(buffer, leading, slots, vle, vle2);
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
    std::vector<std::uint8_t> leadingScratch;
    std::string_view leading;
    const Slots slots = MeasurePatchFile(vle, vle2, vle3, leading, leadingScratch);
    // Streamed: a file of any size is saved without a second copy in memory.
    ReplaceFile(target, [&](SaveStream& out) { PutPatchFile(out, leading, slots, vle, vle2); });
}

namespace {

// The sink that writes each string's slot as the scan finds it, exactly as
// PutPatchFile writes the tables the scan would have filled.
class PatchSink {
public:
    explicit PatchSink(SaveStream& out) : m_out(out) {}

    void Reserve(std::size_t, std::size_t) {}
    void Gap(std::uint64_t, const std::uint8_t* bytes, std::size_t n) { m_out.Put(bytes, n); }
    char* TextRoom(std::uint64_t) { return nullptr; }
    void String(std::uint64_t number, const std::uint8_t*, std::uint8_t length, const char* text,
                std::size_t textLength, bool, bool, bool ownLengthByte)
    {
        if (!ownLengthByte && m_withoutLengthByte == 0)
            m_withoutLengthByte = number;
        m_out.Commit(PutSlot(m_out.Room(2 + 2 * static_cast<std::size_t>(length)), length, {text, textLength}));
    }
    void End(std::uint64_t, const std::uint8_t* bytes, std::size_t n) { m_out.Put(bytes, n); }
    // The first string without a length byte of its own, or 0.
    [[nodiscard]] std::uint64_t WithoutLengthByte() const { return m_withoutLengthByte; }

private:
    SaveStream& m_out;
    std::uint64_t m_withoutLengthByte = 0;
};

// Takes what the scan finds and keeps nothing.
struct NullSink {
    void Reserve(std::size_t, std::size_t) {}
    void Gap(std::uint64_t, const std::uint8_t*, std::size_t) {}
    char* TextRoom(std::uint64_t) { return nullptr; }
    void String(std::uint64_t, const std::uint8_t*, std::uint8_t, const char*, std::size_t, bool, bool, bool) {}
    void End(std::uint64_t, const std::uint8_t*, std::size_t) {}
};

} // namespace

void ResavePatchFile(const std::string& source, const std::string& target)
{
    // Opened first, so that a source that cannot be read fails as a scan does.
    ByteFile file(source);
    bool scanning = false;
    try {
        ReplaceFile(target, [&](SaveStream& out) {
            scanning = true;
            PatchSink sink(out);
            scan::ScanInWindows(file, sink, scan::kScanWindow);
            file.Close();
            // Refused once the scan is through, so that its errors come first.
            if (sink.WithoutLengthByte() != 0)
                throw SaveRefused(NoLengthByteMessage(std::to_string(sink.WithoutLengthByte())));
        });
    } catch (const IoError&) {
        // cppcheck-suppress knownConditionTrueFalse ; the save's lambda sets it
        if (scanning)
            throw;
        // The target was refused before the scan began: an error of the
        // scan comes first, as when the whole file is scanned before saving.
        NullSink sink;
        scan::ScanInWindows(file, sink, scan::kScanWindow);
        throw;
    }
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
