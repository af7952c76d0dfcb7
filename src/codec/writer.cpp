#include "codec/writer.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

#include "codec/charconv.h"
#include "file/errors.h"
#include "codec/format.h"
#include "codec/reader.h"
#include "file/safesave.h"

namespace tavolin {

namespace {

// Visits IDs 1 .. GridRowCount - 1: a table without entries still has its
// empty row, ID 1.
std::size_t VisitedIds(const StringTable& vle)
{
    return static_cast<std::size_t>(vle.GridRowCount() - 1);
}

std::string Characters(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " character" : " characters");
}

// Finds the first entry keyed by each ID in turn, 1, 2, 3 ... (0 first for
// the gap records). While a table's entries so far were keyed by those IDs
// in order, as after a scan, no entry before holds the next ID, so the next
// entry is its first when keyed by it; past the first entry that is not,
// the table's index answers.
class EntriesById {
public:
    EntriesById(const StringTable& table, std::size_t firstId)
        : m_table(table), m_next(firstId), m_nextKey(std::to_string(firstId))
    {
    }

    // The first entry keyed `id`, as held; index kNone when there is none.
    struct Found {
        std::size_t index = StringTable::kNone;
        StringTable::StoredEntry entry;
    };
    [[nodiscard]] const StringTable& Table() const { return m_table; }
    [[nodiscard]] Found Find(std::size_t id)
    {
        if (m_inOrder && id == m_next && m_position < m_table.EntryCount()) {
            const StringTable::StoredEntry next = m_table.StoredEntryAt(m_position);
            if (next.key == m_nextKey) {
                ++m_next;
                CountUp(m_nextKey);
                return {m_position++, next};
            }
        }
        m_inOrder = false;
        const std::size_t i = m_table.IndexOf(std::to_string(id));
        return i == StringTable::kNone ? Found{} : Found{i, m_table.StoredEntryAt(i)};
    }

private:
    const StringTable& m_table;
    bool m_inOrder = true;
    std::size_t m_next;         // the ID the next entry has when in order
    std::string m_nextKey;      // and its text
    std::size_t m_position = 0; // of that entry
};

// The text of the first entry keyed `id`, as held where it is text; made in
// `scratch` otherwise. Empty when no entry has the key.
std::string_view TextOf(EntriesById& entries, std::size_t id, std::string& scratch)
{
    const EntriesById::Found found = entries.Find(id);
    if (found.index == StringTable::kNone)
        return {};
    if (!found.entry.gapRecord)
        return found.entry.value;
    scratch = entries.Table().ValueAt(found.index);
    return scratch;
}

// The bytes that the gap record keyed `id` stands for: held as bytes after a
// scan, else read from its text into `scratch`. Throws ConvertError.
std::span<const std::uint8_t> GapBytesOf(EntriesById& entries, std::size_t id, std::vector<std::uint8_t>& scratch)
{
    const EntriesById::Found found = entries.Find(id);
    if (found.index == StringTable::kNone)
        return {};
    const std::string_view stored = found.entry.value;
    if (found.entry.gapRecord)
        return {reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size()};
    scratch.clear();
    WriteGapRecord(scratch, stored);
    return scratch;
}

void PutText(std::uint8_t* out, std::string_view text)
{
    for (const char c : text) {
        const FileChar fc = EncodeChar(static_cast<std::uint8_t>(c));
        *out++ = fc.low;
        *out++ = fc.high;
    }
}

} // namespace

namespace {

// One pass over what patch mode writes: the texts too long for their
// slots, and the first capacity or gap record, in the order of the file,
// that is no number.
struct SlotCheck {
    std::vector<OverlongText> overlong;
    std::exception_ptr notANumber;
};

SlotCheck CheckSlots(const StringTable& vle, const StringTable* vle2, const StringTable& vle3)
{
    SlotCheck check;
    std::vector<std::uint8_t> gapScratch;
    std::string scratch;
    EntriesById texts(vle, 1);
    EntriesById capacities(vle3, 1);
    std::optional<EntriesById> gaps;
    const auto note = [&] {
        if (!check.notANumber)
            check.notANumber = std::current_exception();
    };
    if (vle2) {
        gaps.emplace(*vle2, 0);
        try {
            (void)GapBytesOf(*gaps, 0, gapScratch);
        } catch (const ConvertError&) {
            note();
        }
    }
    if (vle3.EntryCount() == 0)
        return check; // nothing but the leading gap record is written
    for (std::size_t k = 1; k <= VisitedIds(vle); ++k) {
        try {
            const int capacity = StrToInt(TextOf(capacities, k, scratch));
            const std::size_t i = texts.Find(k).index;
            const std::size_t length = i == StringTable::kNone ? 0 : vle.ValueLengthAt(i);
            if (static_cast<long long>(length) > capacity)
                check.overlong.push_back({std::to_string(k), length, capacity});
        } catch (const ConvertError&) {
            note();
        }
        if (gaps) {
            try {
                (void)GapBytesOf(*gaps, k, gapScratch);
            } catch (const ConvertError&) {
                note();
            }
        }
    }
    return check;
}

} // namespace

std::vector<OverlongText> FindOverlongTexts(const StringTable& vle, const StringTable& vle3)
{
    return CheckSlots(vle, nullptr, vle3).overlong;
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

void CheckPatchFile(const StringTable& vle, const StringTable& vle2, const StringTable& vle3)
{
    const SlotCheck check = CheckSlots(vle, &vle2, vle3);
    if (!check.overlong.empty())
        throw SaveRefused(OverlongTextsMessage(check.overlong));
    if (check.notANumber)
        std::rethrow_exception(check.notANumber);
}

void PutPatchFile(const StringTable& vle, const StringTable& vle2, const StringTable& vle3, const PutBytes& put)
{
    std::vector<std::uint8_t> gapScratch;
    std::string scratch;
    EntriesById texts(vle, 1);
    EntriesById gaps(vle2, 0);
    EntriesById capacities(vle3, 1);
    put(GapBytesOf(gaps, 0, gapScratch));
    if (vle3.EntryCount() == 0)
        return;
    std::vector<std::uint8_t> slot;
    for (std::size_t k = 1; k <= VisitedIds(vle); ++k) {
        const auto capacity = static_cast<std::size_t>(StrToInt(TextOf(capacities, k, scratch)));
        const std::string_view text = TextOf(texts, k, scratch);
        slot.assign(2 + 2 * capacity, 0); // the filler after the text
        slot[0] = static_cast<std::uint8_t>(capacity);
        slot[1] = kStringMarker;
        PutText(slot.data() + 2, text);
        put(slot);
        put(GapBytesOf(gaps, k, gapScratch));
    }
}

std::vector<std::uint8_t> BuildPatchFile(const StringTable& vle, const StringTable& vle2,
                                         const StringTable& vle3)
{
    CheckPatchFile(vle, vle2, vle3);
    std::vector<std::uint8_t> out;
    PutPatchFile(vle, vle2, vle3, [&](std::span<const std::uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
    });
    return out;
}

namespace {

void ReplaceWithPatchFile(const std::string& target, const StringTable& vle, const StringTable& vle2,
                          const StringTable& vle3)
{
    ReplaceFile(target, [&](SaveStream& out) {
        PutPatchFile(vle, vle2, vle3, [&](std::span<const std::uint8_t> bytes) { out.Put(bytes.data(), bytes.size()); });
    });
}

} // namespace

void WritePatchFile(const std::string& target, const StringTable& vle, const StringTable& vle2,
                    const StringTable& vle3)
{
    // Checked before the target is touched, so that a refusal comes first.
    CheckPatchFile(vle, vle2, vle3);
    ReplaceWithPatchFile(target, vle, vle2, vle3);
}

int CaptionFileBytes(const StringTable& vle)
{
    std::string scratch;
    EntriesById texts(vle, 1);
    long long bytes = 4;
    for (std::size_t k = 1; k <= VisitedIds(vle); ++k)
        bytes += 2 * static_cast<long long>(TextOf(texts, k, scratch).size()) + 2;
    return static_cast<int>(std::min<long long>(bytes, std::numeric_limits<int>::max()));
}

std::vector<std::uint8_t> BuildCaptionFile(const StringTable& vle)
{
    const std::size_t count = VisitedIds(vle);
    std::string scratch;
    EntriesById texts(vle, 1);
    const int indexOffset = CaptionFileBytes(vle);
    if (indexOffset > kCaptionLimit)
        throw SaveRefused("The texts are too long for a caption file: with its header they take " +
                          std::to_string(indexOffset) + " bytes, " +
                          std::to_string(indexOffset - kCaptionLimit) + " more than the " +
                          std::to_string(kCaptionLimit) + " that fit");
    const auto offset = static_cast<std::uint8_t>(indexOffset);
    std::vector<std::uint8_t> out = {offset, 0, kCaptionHeaderWord, 0};
    for (std::size_t k = 1; k <= count; ++k) {
        const std::string_view text = TextOf(texts, k, scratch);
        out.push_back(static_cast<std::uint8_t>(text.size()));
        out.push_back(kStringMarker);
        out.resize(out.size() + 2 * text.size());
        PutText(out.data() + out.size() - 2 * text.size(), text);
    }
    out.insert(out.end(), {kCaptionIndexWord, 0, offset, 0});
    return out;
}

void WriteCaptionFile(const std::string& target, const StringTable& vle)
{
    ReplaceFile(target, BuildCaptionFile(vle));
}

void ResavePatchFile(const std::string& source, const std::string& target)
{
    StringTables tables;
    SavingChanges changes;
    ScanResourceFile(source, tables, &changes);
    ResaveScannedTables(tables, changes, target);
}

void ResaveScannedTables(const StringTables& tables, const SavingChanges& changes, const std::string& target)
{
    RefuseStringsWithoutLengthByte(changes, tables.vle);
    // No need for CheckPatchFile: a scan's tables always pass it. Each
    // capacity is the length byte itself, no text holds more characters than
    // that, and the gap records are held as the bytes themselves.
    ReplaceWithPatchFile(target, tables.vle, tables.vle2, tables.vle3);
}

void SaveTables(const std::string& target, const StringTables& tables, bool isCaptionFile)
{
    if (isCaptionFile)
        WriteCaptionFile(target, tables.vle);
    else
        WritePatchFile(target, tables.vle, tables.vle2, tables.vle3);
}

} // namespace tavolin
