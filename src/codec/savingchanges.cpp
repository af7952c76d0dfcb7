#include "codec/savingchanges.h"

#include <algorithm>

#include "codec/charconv.h"
#include "codec/errors.h"

namespace tavolin {

namespace {

// How many bytes a gap record stands for: its blank-separated numbers.
std::size_t GapByteCount(const std::string& record)
{
    std::size_t count = 0;
    bool inNumber = false;
    for (char c : record) {
        if (c == ' ') {
            count += inNumber ? 1 : 0;
            inNumber = false;
        } else {
            inNumber = true;
        }
    }
    return count + (inNumber ? 1 : 0);
}

} // namespace

SavingChanges FindSavingChanges(const std::vector<std::uint8_t>& file, const StringTables& tables)
{
    SavingChanges result;
    std::size_t offset = GapByteCount(tables.vle2.ValueOf("0"));
    const std::size_t strings = tables.vle.EntryCount();
    for (std::size_t i = 0; i < strings; ++i) {
        const std::string id = std::to_string(i + 1);
        int capacity = 0;
        try {
            capacity = StrToInt(tables.vle3.ValueOf(id));
        } catch (const ConvertError&) {
            break;
        }
        // The length byte and the marker must be where the walk expects them.
        if (capacity < 0 || offset + 2 + 2 * static_cast<std::size_t>(capacity) > file.size() ||
            file[offset] != static_cast<std::uint8_t>(capacity) || file[offset + 1] != 0xAB)
            break;
        offset += 2;
        std::vector<CharChange> changes;
        for (int k = 0; k < capacity; ++k, offset += 2) {
            const std::uint8_t low = file[offset];
            const std::uint8_t high = file[offset + 1];
            const char32_t code = low + 256u * high;
            if (code == 0)
                continue; // comes back as filler
            const std::uint8_t t = DecodeChar(low, high);
            CharChange change{code, 0};
            if (t != 0) {
                const FileChar back = EncodeChar(t);
                change.to = back.low + 256u * back.high;
            }
            if (change.to != code &&
                std::find(changes.begin(), changes.end(), change) == changes.end())
                changes.push_back(change);
        }
        if (!changes.empty())
            result.emplace(i, std::move(changes));
        offset += GapByteCount(tables.vle2.ValueOf(id));
    }
    return result;
}

} // namespace tavolin
