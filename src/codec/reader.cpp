#include "codec/reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "codec/bytefile.h"
#include "codec/charconv.h"
#include "codec/errors.h"
#include "codec/format.h"

namespace tavolin {

namespace {

// For the characters U+0000..U+00FF: the text byte, and whether a save writes
// the character otherwise (U+0000 is filler, not a change).
struct LatinTable {
    std::uint8_t decoded[256];
    bool changed[256];
};

constexpr LatinTable MakeLatinTable()
{
    LatinTable t{};
    for (int low = 0; low < 256; ++low) {
        const auto l = static_cast<std::uint8_t>(low);
        const std::uint8_t d = DecodeChar(l, 0);
        const FileChar back = EncodeChar(d);
        t.decoded[low] = d;
        t.changed[low] = low != 0 && (d == 0 || back.low != l || back.high != 0);
    }
    return t;
}

constexpr LatinTable kLatin = MakeLatinTable();

// Whether four two-byte characters (little-endian in `word`) are all in
// U+0020..U+007E other than the backslash: each decodes to its low byte and
// saves unchanged. Lanes of 16 bits hold values below 256, so adding to them
// never carries into the next lane.
constexpr bool IsPlainWord(std::uint64_t word)
{
    constexpr std::uint64_t kTop = 0x8000800080008000u;
    const bool highZero = (word & 0xFF00FF00FF00FF00u) == 0;
    const bool atLeastBlank = ((word + 0x7FE07FE07FE07FE0u) & kTop) == kTop;
    const bool belowDelete = ((word + 0x7F817F817F817F81u) & kTop) == 0;
    const bool noBackslash = (((word ^ 0x005C005C005C005Cu) + 0x7FFF7FFF7FFF7FFFu) & kTop) == kTop;
    return highZero && atLeastBlank && belowDelete && noBackslash;
}

// The four low bytes of `word`, in order.
constexpr std::uint32_t PackLowBytes(std::uint64_t word)
{
    std::uint64_t x = word & 0x00FF00FF00FF00FFu;
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFFu;
    x = (x | (x >> 16)) & 0x00000000FFFFFFFFu;
    return static_cast<std::uint32_t>(x);
}

// Position of the next string marker from `pos`, or `size` where none is
// left. Gaps are mostly a few bytes, shorter than a call to memchr costs.
std::size_t FindMarker(const std::uint8_t* data, std::size_t pos, std::size_t size)
{
    const std::size_t near = std::min(size, pos + 16);
    for (std::size_t i = pos; i < near; ++i) {
        if (data[i] == kStringMarker)
            return i;
    }
    if (near == size)
        return size;
    const void* found = std::memchr(data + near, kStringMarker, size - near);
    return found ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data) : size;
}

static_assert(IsPlainWord(0x0041002000690078u) && !IsPlainWord(0x0041005C00690078u) &&
              !IsPlainWord(0x0041001F00690078u) && !IsPlainWord(0x0041007F00690078u) &&
              !IsPlainWord(0x0E41002000690078u) && PackLowBytes(0x0044004300420041u) == 0x44434241u);

// How many bytes are string markers, eight bytes a step: a bound on the
// strings, counted without stopping at each one.
std::size_t CountMarkerBytes(const std::uint8_t* data, std::size_t size)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    std::size_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        const std::uint64_t x = word ^ (0x0101010101010101u * kStringMarker);
        // The top bit of each byte of x that is zero stays clear, of the
        // others it is set: no carries cross bytes.
        const std::uint64_t nonZero = (((x & kLow7) + kLow7) | x) & ~kLow7;
        // One bit a byte found, summed by a multiply into the top byte.
        count += static_cast<std::size_t>((((~nonZero & ~kLow7) >> 7) * 0x0101010101010101u) >> 56);
    }
    for (; i < size; ++i)
        count += data[i] == kStringMarker;
    return count;
}

[[noreturn]] void ThrowAtEnd(const std::exception_ptr& endError)
{
    if (endError)
        std::rethrow_exception(endError);
    throw IoError(kReadBeyondEnd);
}

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

} // namespace

void ScanResourceBytes(std::span<const std::uint8_t> bytes, StringTables& tables,
                       SavingChanges* changes, std::exception_ptr endError)
{
    const std::uint8_t* const data = bytes.data();
    const std::size_t size = bytes.size();

    // One entry per marker at most; untouched room costs no memory.
    const std::size_t markers = CountMarkerBytes(data, size);
    tables.vle.Reserve(markers, size / 2);
    tables.vle2.Reserve(markers + 1, size);
    tables.vle3.Reserve(markers, 4 * markers);

    std::uint64_t stringNumber = 0;
    std::size_t pos = 0;
    // The byte read last, which serves as the length of a marker that follows
    // at once: 0 at the start, else what the string before left.
    std::uint8_t lastByte = 0;
    char textOnStack[256];

    for (;;) {
        const std::size_t marker = FindMarker(data, pos, size);
        if (marker == size)
            break;
        const std::size_t before = marker - pos;
        // The byte before the marker is the length; the gap record holds the
        // bytes before that one.
        const std::uint8_t length = before >= 1 ? data[marker - 1] : lastByte;
        const std::size_t gap = before >= 2 ? before - 1 : 0;
        tables.vle2.AppendGapEntry(stringNumber,
                                   {reinterpret_cast<const char*>(data + pos), gap}, false);
        const std::size_t charsAt = marker + 1;
        if (size - charsAt < 2 * static_cast<std::size_t>(length))
            ThrowAtEnd(endError);
        const std::uint8_t* chars = data + charsAt;
        char* const room = tables.vle.RoomForNumbered(stringNumber + 1, 256);
        char* const text = room ? room : textOnStack;
        std::size_t textLength = 0;
        bool rewritten = false;
        bool zeroBefore = false;
        std::uint8_t decoded = kStringMarker;
        std::size_t k = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Four characters a step while they are plain letters, or all
            // U+0000 (the filler after a text).
            for (; k + 4 <= length; k += 4) {
                std::uint64_t word;
                std::memcpy(&word, chars + 2 * k, sizeof word);
                if (word == 0) {
                    zeroBefore = true;
                    decoded = 0;
                } else if (!zeroBefore && IsPlainWord(word)) {
                    const std::uint32_t packed = PackLowBytes(word);
                    std::memcpy(text + textLength, &packed, sizeof packed);
                    textLength += 4;
                    decoded = static_cast<std::uint8_t>(packed >> 24);
                } else {
                    break;
                }
            }
        }
        for (; k < length; ++k) {
            const std::uint8_t low = chars[2 * k];
            const std::uint8_t high = chars[2 * k + 1];
            bool changed;
            if (high == 0) {
                // Most characters: decoded and judged by one look-up.
                decoded = kLatin.decoded[low];
                changed = kLatin.changed[low];
            } else {
                decoded = DecodeChar(low, high);
                const FileChar back = EncodeChar(decoded);
                changed = decoded == 0 || back.low != low || back.high != high;
            }
            text[textLength] = static_cast<char>(decoded);
            textLength += decoded != 0;
            const bool zero = (low | high) == 0;
            rewritten |= changed || (zeroBefore && decoded != 0);
            zeroBefore |= zero;
        }
        ++stringNumber;
        if (changes && rewritten)
            (*changes)[tables.vle.EntryCount()] = ChangesOf(chars, length);
        char number[4];
        const int digits = length >= 100 ? 3 : length >= 10 ? 2 : 1;
        number[0] = static_cast<char>('0' + length / 100);
        number[1] = static_cast<char>('0' + length / 10 % 10);
        number[2] = static_cast<char>('0' + length % 10);
        tables.vle3.AppendNumberedEntry(stringNumber, {number + 3 - digits, static_cast<std::size_t>(digits)});
        if (room)
            tables.vle.AppendNumberedFromRoom(textLength);
        else
            tables.vle.AppendNumberedEntry(stringNumber, {text, textLength});
        lastByte = decoded;
        pos = charsAt + 2 * static_cast<std::size_t>(length);
    }
    if (endError)
        std::rethrow_exception(endError);
    // The record at the end holds every byte left.
    tables.vle2.AppendGapEntry(stringNumber,
                               {reinterpret_cast<const char*>(data + pos), size - pos}, true);
}

void ScanResourceFile(const std::string& fileName, StringTables& tables, SavingChanges* changes,
                      std::vector<std::uint8_t>* bytes)
{
    ByteFile file(fileName);
    std::vector<std::uint8_t> read;
    std::vector<std::uint8_t>& into = bytes ? *bytes : read;
    into.clear();
    const std::exception_ptr readError = file.ReadAll(into);
    ScanResourceBytes(into, tables, changes, readError);
    file.Close();
}

} // namespace tavolin
