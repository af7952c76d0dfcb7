#include "codec/reader.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "file/bytefile.h"
#include "codec/charconv.h"
#include "file/errors.h"
#include "codec/format.h"

namespace tavolin {

namespace {

// The characters of one string that a save writes otherwise, in the order
// first met, noted one character at a time.
class StringChanges {
public:
    // The next character and the text byte it decoded to.
    void Note(std::uint8_t low, std::uint8_t high, std::uint8_t decoded)
    {
        const char32_t code = low + 256u * high;
        if (code == 0) {
            m_zeroBefore = true; // filler, unless text follows
            return;
        }
        if (decoded != 0 && m_zeroBefore)
            Add({0, 0});
        const FileChar back = decoded == 0 ? FileChar{0, 0} : EncodeChar(decoded);
        const char32_t to = back.low + 256u * back.high;
        if (to != code)
            Add({code, to});
    }
    std::vector<CharChange> list;

private:
    void Add(CharChange c)
    {
        if (std::find(list.begin(), list.end(), c) == list.end())
            list.push_back(c);
    }
    bool m_zeroBefore = false;
};

std::string_view AsText(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The bytes from the first one that no record holds yet, and the error
// that ended reading them, if one did.
class Window {
public:
    Window(std::span<const std::uint8_t> bytes, std::exception_ptr endError)
        : m_bytes(bytes), m_error(std::move(endError)) // NOLINT(bugprone-throw-keyword-missing): thrown later
    {
    }

    [[nodiscard]] std::span<const std::uint8_t> Bytes() const { return m_bytes.subspan(m_start); }
    // The scan is done with the first `count` bytes.
    void Drop(std::size_t count) { m_start += count; }
    // Throws what ended the bytes, if anything did.
    void ThrowEndError() const
    {
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_start = 0;
    std::exception_ptr m_error;
};

// The scan over the bytes of `window`, of which there are `size`.
void Scan(Window& window, std::size_t size, StringTables& tables, SavingChanges* changes)
{
    // The number of strings read so far: the key of the gap record being
    // built, and one less than the ID of the next string.
    std::string key = "0";
    // What a marker at the window's start takes as its length: the initial 0
    // at the start of the file, and after a string the value its last
    // character decoded to (the marker itself for a string of no characters).
    std::uint8_t lengthAtStart = 0;
    // Room in each table for as many characters as the file has bytes: more
    // than a table takes unless the strings are nearly empty, and room not
    // taken is never touched.
    tables.vle.Reserve(size);
    tables.vle2.Reserve(size);
    tables.vle3.Reserve(size);
    for (;;) {
        const std::span<const std::uint8_t> bytes = window.Bytes();
        const auto marker = static_cast<std::size_t>(
            std::find(bytes.begin(), bytes.end(), kStringMarker) -
            bytes.begin());
        if (marker == bytes.size())
            break;
        // The byte before the marker is the length byte; the gap record holds
        // the bytes before that one. A marker at the window's start has no
        // length byte of its own.
        const bool ownLengthByte = marker > 0;
        const std::uint8_t length = ownLengthByte ? bytes[marker - 1] : lengthAtStart;
        const std::size_t gapEnd = ownLengthByte ? marker - 1 : marker;
        tables.vle2.AppendGapRecord(key, AsText(bytes.first(gapEnd)), false);

        const std::size_t charsAt = marker + 1;
        if (bytes.size() - charsAt < 2 * std::size_t{length}) {
            window.ThrowEndError();
            throw IoError(kReadBeyondEnd);
        }

        const auto chars = bytes.subspan(charsAt, 2 * std::size_t{length});
        char text[255];
        std::size_t textLength = 0;
        StringChanges saved;
        if (changes && !ownLengthByte)
            saved.list.push_back({kNoLengthByte, kNoLengthByte});
        // The U+0000 filler that ends most slots gives no text and saves as
        // itself, so only the characters before it are looked at one by one.
        std::size_t used = chars.size();
        while (used > 0 && chars[used - 2] == 0 && chars[used - 1] == 0)
            used -= 2;
        lengthAtStart = kStringMarker;
        for (std::size_t k = 0; k < used; k += 2) {
            lengthAtStart = DecodeChar(chars[k], chars[k + 1]);
            if (lengthAtStart != 0)
                text[textLength++] = static_cast<char>(lengthAtStart);
            if (changes)
                saved.Note(chars[k], chars[k + 1], lengthAtStart);
        }
        if (used < chars.size())
            lengthAtStart = 0; // what the last character, U+0000, decodes to
        CountUp(key);
        if (changes && !saved.list.empty())
            (*changes)[tables.vle.EntryCount()] = std::move(saved.list);
        tables.vle3.AppendEntry(key, std::to_string(length));
        tables.vle.AppendEntry(key, std::string_view(text, textLength));
        window.Drop(charsAt + chars.size());
    }
    window.ThrowEndError();
    // The record at the end holds every byte left.
    tables.vle2.AppendGapRecord(key, AsText(window.Bytes()), true);
}

} // namespace

void ScanResourceBytes(std::span<const std::uint8_t> bytes, StringTables& tables,
                       SavingChanges* changes, const std::exception_ptr& endError)
{
    Window window(bytes, endError);
    Scan(window, bytes.size(), tables, changes);
}

void ScanResourceFile(const std::string& fileName, StringTables& tables, SavingChanges* changes)
{
    const FileBytes read = ReadFileBytes(fileName, Access::ReadWrite);
    ScanResourceBytes(read.bytes, tables, changes, read.endError);
}

} // namespace tavolin
