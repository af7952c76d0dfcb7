#pragma once

// The walk over a resource file's bytes that both the reader and the
// streaming resave take: what it finds goes to a sink, the tables or a save.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/bytefile.h"
#include "codec/charconv.h"
#include "codec/errors.h"
#include "codec/format.h"

namespace tavolin::scan {

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

inline constexpr LatinTable kLatin = MakeLatinTable();

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
inline std::size_t FindMarker(const std::uint8_t* data, std::size_t pos, std::size_t size)
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
inline std::size_t CountMarkerBytes(const std::uint8_t* data, std::size_t size)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step where the processor has them for certain.
    const __m128i marker = _mm_set1_epi8(static_cast<char>(kStringMarker));
    while (i + 16 <= size) {
        __m128i lanes = _mm_setzero_si128();
        const std::size_t end = std::min(size - size % 16, i + std::size_t{16} * 255);
        for (; i < end; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, marker));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
    }
#endif
    while (i + 8 <= size) {
        // Each byte of `lanes` counts the markers in its column, up to 255
        // words, then the eight counts are summed by a multiply.
        std::uint64_t lanes = 0;
        const std::size_t end = std::min(size - size % 8, i + std::size_t{8} * 255);
        for (; i < end; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, sizeof word);
            const std::uint64_t x = word ^ (kOnes * kStringMarker);
            // The top bit of each byte of x that is zero stays clear, of the
            // others it is set: no carries cross bytes.
            const std::uint64_t nonZero = (((x & kLow7) + kLow7) | x) & ~kLow7;
            lanes += (~nonZero & ~kLow7) >> 7;
        }
        count += static_cast<std::size_t>(((lanes & 0x00FF00FF00FF00FFu) +
                                           ((lanes >> 8) & 0x00FF00FF00FF00FFu)) * 0x0001000100010001u >> 48);
    }
    for (; i < size; ++i)
        count += data[i] == kStringMarker;
    return count;
}

[[noreturn]] inline void ThrowAtEnd(const std::exception_ptr& endError)
{
    if (endError)
        std::rethrow_exception(endError);
    throw IoError(kReadBeyondEnd);
}

// The scan as a walk that can stop before a string that may go on past
// the bytes at hand and go on when more are there, so that a file is scanned
// through a window of it as well as whole. What it finds goes to `Sink`:
//   Reserve(markers, size)            room for that many strings at most
//   Gap(number, bytes, n)             the gap record before string number+1
//   TextRoom(number)                  256 bytes to decode string `number`
//                                     into, or nullptr for the walk's own
//   String(number, chars, length, text, textLength, rewritten, inRoom,
//          ownLengthByte)                  ownLengthByte: false where the
//                                     marker follows the string before it
//                                     or starts the file at once
//   End(number, bytes, n)             the record after the last string
template <typename Sink>
class Scanner {
public:
    explicit Scanner(Sink& sink) : m_sink(sink) {}

    void Reserve(std::size_t markers, std::size_t size) { m_sink.Reserve(markers, size); }

    // Takes the strings of data[0, size) that lie there whole, and returns
    // where the bytes still to be scanned start.
    std::size_t ScanWhole(const std::uint8_t* data, std::size_t size) { return Scan(data, size, false, nullptr); }

    // Takes everything in data[0, size), the bytes up to the file's end or to
    // `endError`, which is thrown once they are taken.
    void Finish(const std::uint8_t* data, std::size_t size, const std::exception_ptr& endError)
    {
        const std::size_t pos = Scan(data, size, true, endError);
        if (endError)
            std::rethrow_exception(endError);
        // The record at the end holds every byte left.
        m_sink.End(m_stringNumber, data + pos, size - pos);
    }

private:
    std::size_t Scan(const std::uint8_t* data, std::size_t size, bool final, const std::exception_ptr& endError)
    {
        std::size_t pos = 0;
        char textOnStack[256];
        for (;;) {
            const std::size_t marker = FindMarker(data, pos, size);
            if (marker == size)
                break;
            const std::size_t before = marker - pos;
            // The byte before the marker is the length; the gap record holds the
            // bytes before that one.
            const std::uint8_t length = before >= 1 ? data[marker - 1] : m_lastByte;
            const std::size_t gap = before >= 2 ? before - 1 : 0;
            // More bytes may follow: the string is taken only when all of it is here.
            if (!final && size - (marker + 1) < 2 * static_cast<std::size_t>(length))
                return pos;
            m_sink.Gap(m_stringNumber, data + pos, gap);
            const std::size_t charsAt = marker + 1;
            if (size - charsAt < 2 * static_cast<std::size_t>(length))
                ThrowAtEnd(endError);
            const std::uint8_t* chars = data + charsAt;
            char* const room = m_sink.TextRoom(m_stringNumber + 1);
            // cppcheck-suppress legacyUninitvar ; the room the text is written into
            char* const text = room ? room : textOnStack;
            std::size_t textLength = 0;
            bool rewritten = false;
            bool zeroBefore = false;
            std::uint8_t decoded = kStringMarker;
            // One character by the full rules.
            const auto decodeOne = [&](std::size_t k) {
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
            };
            std::size_t k = 0;
            if constexpr (std::endian::native == std::endian::little) {
                // Four characters a step where they are plain letters, or
                // all U+0000 (the filler after a text); the others, such as
                // the four where a text ends, one at a time.
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
                        for (std::size_t j = k; j < k + 4; ++j)
                            decodeOne(j);
                    }
                }
            }
            for (; k < length; ++k)
                decodeOne(k);
            ++m_stringNumber;
            m_sink.String(m_stringNumber, chars, length, text, textLength, rewritten, room != nullptr,
                          before >= 1);
            m_lastByte = decoded;
            pos = charsAt + 2 * static_cast<std::size_t>(length);
        }
        return pos;
    }

    Sink& m_sink;
    std::uint64_t m_stringNumber = 0;
    // The byte read last, which serves as the length of a marker that
    // follows at once: 0 at the start, else what the string before left.
    std::uint8_t m_lastByte = 0;
};

// The window a file is read through: a few MiB, so that the file's bytes
// need never be in memory at once and the window stays in the processor's
// cache.
inline constexpr std::size_t kScanWindow = std::size_t{4} << 20;

// Reads `file` from where it stands through a window of `windowBytes` at
// first (wider where a string or gap needs it) and scans it to its end.
template <typename Sink>
void ScanInWindows(ByteFile& file, Sink& sink, std::size_t windowBytes)
{
    Scanner<Sink> scanner(sink);
    // A file that fits is read in one go, with a byte to spare to see its end.
    std::size_t capacity = std::max<std::size_t>(1, std::min(windowBytes, file.SizeAtOpen() + 1));
    auto window = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::size_t held = 0;
    bool reserved = false;
    for (;;) {
        std::exception_ptr readError;
        bool atEnd = false;
        try {
            while (held < capacity && !atEnd) {
                const std::size_t got = file.Read(window.get() + held, capacity - held);
                atEnd = got == 0;
                held += got;
            }
        } catch (const IoError&) {
            readError = std::current_exception();
            atEnd = true;
        }
        if (!reserved) {
            // The first window's strings tell how many the file may hold;
            // more than that only costs the tables some growing.
            const std::size_t size = std::max(file.SizeAtOpen(), held);
            const std::size_t markers = CountMarkerBytes(window.get(), held);
            const std::size_t scale = atEnd ? 1 : size / held + 1;
            const std::size_t estimate = markers * scale + (atEnd ? 0 : markers * scale / 2 + 16);
            scanner.Reserve(std::min(estimate, size / 2 + 16), size);
            reserved = true;
        }
        if (atEnd) {
            scanner.Finish(window.get(), held, readError);
            break;
        }
        const std::size_t taken = scanner.ScanWhole(window.get(), held);
        std::memmove(window.get(), window.get() + taken, held - taken);
        held -= taken;
        // A gap or string longer than half the window: room for it and more.
        if (held > capacity / 2) {
            auto wider = std::make_unique_for_overwrite<std::uint8_t[]>(2 * capacity);
            std::memcpy(wider.get(), window.get(), held);
            window = std::move(wider);
            capacity *= 2;
        }
    }
}

} // namespace tavolin::scan
