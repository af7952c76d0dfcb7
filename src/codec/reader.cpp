#include "codec/reader.h"

#include <algorithm>
#include <vector>

#include "codec/bytefile.h"
#include "codec/charconv.h"
#include "codec/errors.h"
#include "codec/format.h"
#include "codec/scanner.h"

namespace tavolin {

namespace {

// The characters of one string that a save writes otherwise, in the order
// first met; the slow path, taken only for strings that have any.
std::vector<CharChange> ChangesOf(const std::uint8_t* chars, std::size_t length)
{
    std::vector<CharChange> changes;
    const auto add = [&](CharChange c) {
        if (std::find(changes.begin(), changes.end(), c) == changes.end())
            changes.push_back(c);
    };
    bool zeroBefore = false;
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t low = chars[2 * k];
        const std::uint8_t high = chars[2 * k + 1];
        const char32_t code = low + 256u * high;
        const std::uint8_t t = DecodeChar(low, high);
        if (code == 0) {
            zeroBefore = true; // filler, unless text follows
            continue;
        }
        if (t != 0 && zeroBefore)
            add({0, 0});
        const FileChar back = t == 0 ? FileChar{0, 0} : EncodeChar(t);
        const char32_t to = back.low + 256u * back.high;
        if (to != code)
            add({code, to});
    }
    return changes;
}

// The sink that appends what the scan finds to the tables.
class TableSink {
public:
    TableSink(StringTables& tables, SavingChanges* changes)
        : m_tables(tables), m_changes(changes),
          m_batches{StringTable::Batch(tables.vle), StringTable::Batch(tables.vle2), StringTable::Batch(tables.vle3)}
    {
    }

    // Untouched room costs no memory.
    void Reserve(std::size_t markers, std::size_t size)
    {
        m_tables.vle.Reserve(markers, size / 2);
        m_tables.vle2.Reserve(markers + 1, size);
        m_tables.vle3.Reserve(markers, 0); // capacities need no text
    }
    [[gnu::always_inline]] void Gap(std::uint64_t number, const std::uint8_t* bytes, std::size_t n)
    {
        m_tables.vle2.AppendGapEntry(number, {reinterpret_cast<const char*>(bytes), n}, false);
    }
    [[gnu::always_inline]] char* TextRoom(std::uint64_t number) { return m_tables.vle.RoomForNumbered(number, 256); }
    [[gnu::always_inline]] void String(std::uint64_t number, const std::uint8_t* chars, std::uint8_t length,
                                       const char* text, std::size_t textLength, bool rewritten, bool inRoom,
                                       bool ownLengthByte)
    {
        if (m_changes && (rewritten || !ownLengthByte)) {
            std::vector<CharChange> list = rewritten ? ChangesOf(chars, length) : std::vector<CharChange>{};
            if (!ownLengthByte)
                list.insert(list.begin(), CharChange{kNoLengthByte, kNoLengthByte});
            (*m_changes)[m_tables.vle.EntryCount()] = std::move(list);
        }
        m_tables.vle3.AppendDecimalEntry(number, length);
        if (inRoom)
            m_tables.vle.AppendNumberedFromRoom(textLength);
        else
            m_tables.vle.AppendNumberedEntry(number, {text, textLength});
    }
    void End(std::uint64_t number, const std::uint8_t* bytes, std::size_t n)
    {
        m_tables.vle2.AppendGapEntry(number, {reinterpret_cast<const char*>(bytes), n}, true);
    }

private:
    StringTables& m_tables;
    SavingChanges* m_changes;
    StringTable::Batch m_batches[3]; // a grid hears of the file's strings once
};

} // namespace

void ScanResourceBytes(std::span<const std::uint8_t> bytes, StringTables& tables,
                       SavingChanges* changes, const std::exception_ptr& endError)
{
    TableSink sink(tables, changes);
    scan::Scanner scanner(sink);
    scanner.Reserve(scan::CountMarkerBytes(bytes.data(), bytes.size()), bytes.size());
    scanner.Finish(bytes.data(), bytes.size(), endError);
}

void ScanResourceFileInWindows(const std::string& fileName, StringTables& tables,
                               SavingChanges* changes, std::size_t windowBytes)
{
    ByteFile file(fileName);
    TableSink sink(tables, changes);
    scan::ScanInWindows(file, sink, windowBytes);
    file.Close();
}

void ScanResourceFile(const std::string& fileName, StringTables& tables, SavingChanges* changes,
                      std::vector<std::uint8_t>* bytes)
{
    if (bytes == nullptr) {
        ScanResourceFileInWindows(fileName, tables, changes, scan::kScanWindow);
        return;
    }
    ByteFile file(fileName);
    bytes->clear();
    const std::exception_ptr readError = file.ReadAll(*bytes);
    ScanResourceBytes(*bytes, tables, changes, readError);
    file.Close();
}

} // namespace tavolin
