#include "codec/reader.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "codec/bytefile.h"
#include "codec/charconv.h"
#include "codec/errors.h"
#include "codec/format.h"

namespace tavolin {

namespace {

// The characters of one string that a save writes otherwise, in the order
// first met.
std::vector<CharChange> ChangesOf(std::span<const std::uint8_t> chars)
{
    std::vector<CharChange> changes;
    const auto add = [&](CharChange c) {
        if (std::find(changes.begin(), changes.end(), c) == changes.end())
            changes.push_back(c);
    };
    bool zeroBefore = false;
    for (std::size_t k = 0; k + 1 < chars.size(); k += 2) {
        const std::uint8_t low = chars[k];
        const std::uint8_t high = chars[k + 1];
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

std::string_view AsText(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

void ScanResourceBytes(std::span<const std::uint8_t> bytes, StringTables& tables,
                       SavingChanges* changes, const std::exception_ptr& endError)
{
    std::size_t pos = 0;     // the first byte that no record or string holds yet
    std::size_t strings = 0; // read so far, and the key of the gap record being built
    // What a marker at `pos` takes as its length: the initial 0 at the start,
    // and after a string the value its last character decoded to (the marker
    // itself for a string of no characters).
    std::uint8_t lengthAtPos = 0;
    // The keys and values of a file take about as many characters as its
    // bytes, rarely more.
    tables.vle.Reserve(bytes.size());
    tables.vle2.Reserve(bytes.size());
    tables.vle3.Reserve(bytes.size());
    for (;;) {
        const auto marker = static_cast<std::size_t>(std::find(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                                               bytes.end(), kStringMarker) -
                                                     bytes.begin());
        if (marker == bytes.size())
            break;
        // The byte before the marker is the length byte; the gap record holds
        // the bytes before that one. A marker at `pos` has no length byte of
        // its own.
        const bool ownLengthByte = marker > pos;
        const std::uint8_t length = ownLengthByte ? bytes[marker - 1] : lengthAtPos;
        const std::size_t gapEnd = ownLengthByte ? marker - 1 : marker;
        tables.vle2.AppendGapRecord(std::to_string(strings), AsText(bytes.subspan(pos, gapEnd - pos)), false);

        const std::size_t charsAt = marker + 1;
        if (bytes.size() - charsAt < 2 * std::size_t{length}) {
            if (endError)
                std::rethrow_exception(endError);
            throw IoError(kReadBeyondEnd);
        }
        const auto chars = bytes.subspan(charsAt, 2 * std::size_t{length});
        char text[255];
        std::size_t textLength = 0;
        lengthAtPos = kStringMarker;
        for (std::size_t k = 0; k < chars.size(); k += 2) {
            lengthAtPos = DecodeChar(chars[k], chars[k + 1]);
            if (lengthAtPos != 0)
                text[textLength++] = static_cast<char>(lengthAtPos);
        }
        ++strings;
        const std::string id = std::to_string(strings);
        if (changes) {
            std::vector<CharChange> list = ChangesOf(chars);
            if (!ownLengthByte)
                list.insert(list.begin(), CharChange{kNoLengthByte, kNoLengthByte});
            if (!list.empty())
                (*changes)[tables.vle.EntryCount()] = std::move(list);
        }
        tables.vle3.AppendEntry(id, std::to_string(length));
        tables.vle.AppendEntry(id, std::string_view(text, textLength));
        pos = charsAt + chars.size();
    }
    if (endError)
        std::rethrow_exception(endError);
    // The record at the end holds every byte left.
    tables.vle2.AppendGapRecord(std::to_string(strings), AsText(bytes.subspan(pos)), true);
}

void ScanResourceFile(const std::string& fileName, StringTables& tables, SavingChanges* changes,
                      std::vector<std::uint8_t>* bytes)
{
    ByteFile file(fileName);
    std::vector<std::uint8_t> own;
    std::vector<std::uint8_t>& read = bytes ? *bytes : own;
    read.clear();
    const std::exception_ptr readError = file.ReadAll(read);
    ScanResourceBytes(read, tables, changes, readError);
    file.Close();
}

} // namespace tavolin
