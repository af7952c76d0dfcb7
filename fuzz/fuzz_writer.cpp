// The writer on tables of any content: it builds exactly the file that
// writing each ID's slot in turn gives, or refuses with the system's
// message; a save to a real file leaves those bytes or the old ones.
//
// Input: one change of the tables a line, the first character naming it:
//   a, b, c  key=value   AppendEntry on vle, vle2, vle3
//   n        N=text      vle.AppendEntry(N in decimal, text)
//   d        N=V         vle3.AppendEntry(N, V mod 256), both in decimal
//   g, G     N=bytes     vle2.AppendGapRecord(N in decimal, bytes), G: the record at the end
//   l        key=C:x     AppendEntry on vle of C (up to 999) bytes x
//   e        I=text      vle.SetValue(I mod entries, text)

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/charconv.h"
#include "file/errors.h"
#include "codec/format.h"
#include "codec/writer.h"
#include "fuzzcheck.h"

using namespace tavolin;
using fuzz::Check;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t NumberIn(std::string_view text)
{
    std::uint64_t n = 0;
    for (const char c : text.substr(0, 19)) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

void Apply(StringTables& t, std::string_view line)
{
    if (line.empty())
        return;
    const char op = line.front();
    line.remove_prefix(1);
    const std::size_t eq = line.find('=');
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view{} : line.substr(eq + 1);
    switch (op) {
    case 'a': t.vle.AppendEntry(key, value); break;
    case 'b': t.vle2.AppendEntry(key, value); break;
    case 'c': t.vle3.AppendEntry(key, value); break;
    case 'n': t.vle.AppendEntry(std::to_string(NumberIn(key)), value); break;
    case 'd': t.vle3.AppendEntry(std::to_string(NumberIn(key)), std::to_string(NumberIn(value) % 256)); break;
    case 'g':
    case 'G': t.vle2.AppendGapRecord(std::to_string(NumberIn(key)), value, op == 'G'); break;
    case 'l': {
        const std::size_t colon = value.find(':');
        const std::size_t count = NumberIn(value) % 1000;
        const char c = colon == std::string_view::npos || colon + 1 >= value.size() ? 'x' : value[colon + 1];
        t.vle.AppendEntry(key, std::string(count, c));
        break;
    }
    case 'e':
        if (t.vle.EntryCount() > 0)
            t.vle.SetValue(NumberIn(key) % t.vle.EntryCount(), std::string(value));
        break;
    default: break;
    }
}

// The first entry whose key equals `key`, ASCII letters compared without case.
std::string Lookup(const StringTable& table, const std::string& key)
{
    for (std::size_t i = 0; i < table.EntryCount(); ++i) {
        if (LowerAsciiLetters(table.KeyAt(i)) == LowerAsciiLetters(key))
            return table.ValueAt(i);
    }
    return {};
}

// A decimal integer with an optional sign that fits 32 bits.
std::optional<long long> Integer(std::string_view text)
{
    std::string_view digits = text;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 11)
        return std::nullopt;
    long long v = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (text[0] == '-')
        v = -v;
    if (v < -2147483648LL || v > 2147483647LL)
        return std::nullopt;
    return v;
}

std::string NotAnInteger(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid integer value";
}

// The bytes of a gap record, or the message of its first number that is none.
std::optional<std::string> PutGap(Bytes& out, const std::string& record)
{
    std::string number;
    const auto put = [&]() -> std::optional<std::string> {
        const auto v = Integer(number);
        if (!v)
            return NotAnInteger(number);
        out.push_back(static_cast<std::uint8_t>(*v & 0xFF));
        number.clear();
        return std::nullopt;
    };
    for (const char c : record) {
        if (c != ' ') {
            number += c;
            continue;
        }
        if (auto error = put())
            return error;
    }
    if (!number.empty())
        return put();
    return std::nullopt;
}

void PutText(Bytes& out, const std::string& text)
{
    for (const char c : text) {
        const FileChar fc = EncodeChar(static_cast<std::uint8_t>(c));
        out.push_back(fc.low);
        out.push_back(fc.high);
    }
}

// What a writer gives that writes gap record "0" and then each ID's slot
// and gap record in turn: the bytes, or the message it stops with.
struct Expected {
    Bytes bytes;
    std::string error; // empty when it builds
    bool tooLarge = false;
};

Expected PatchFile(const StringTables& t)
{
    Expected e;
    const std::size_t count = t.vle.EntryCount() == 0 ? 1 : t.vle.EntryCount();
    // No capacity at all: a file without strings, its leading bytes alone.
    if (t.vle3.EntryCount() == 0) {
        if (auto error = PutGap(e.bytes, Lookup(t.vle2, "0")))
            e.error = *error;
        return e;
    }
    std::vector<OverlongText> overlong;
    long long fill = 0;
    for (std::size_t k = 1; k <= count; ++k) {
        const std::string id = std::to_string(k);
        const auto capacity = Integer(Lookup(t.vle3, id));
        const std::size_t length = Lookup(t.vle, id).size();
        if (capacity && static_cast<long long>(length) > *capacity)
            overlong.push_back({id, length, static_cast<int>(*capacity)});
        else if (capacity)
            fill += *capacity;
    }
    if (!overlong.empty()) {
        e.error = OverlongTextsMessage(overlong);
        return e;
    }
    if (fill > (1 << 22)) {
        e.tooLarge = true;
        return e;
    }
    if (auto error = PutGap(e.bytes, Lookup(t.vle2, "0"))) {
        e.error = *error;
        return e;
    }
    for (std::size_t k = 1; k <= count; ++k) {
        const std::string id = std::to_string(k);
        const std::string capacityText = Lookup(t.vle3, id);
        const auto capacity = Integer(capacityText);
        if (!capacity) {
            e.error = NotAnInteger(capacityText);
            return e;
        }
        const std::string text = Lookup(t.vle, id);
        e.bytes.push_back(static_cast<std::uint8_t>(*capacity & 0xFF));
        e.bytes.push_back(kStringMarker);
        PutText(e.bytes, text);
        e.bytes.resize(e.bytes.size() + 2 * static_cast<std::size_t>(*capacity - static_cast<long long>(text.size())), 0);
        if (auto error = PutGap(e.bytes, Lookup(t.vle2, id))) {
            e.error = *error;
            return e;
        }
    }
    return e;
}

Expected CaptionFile(const StringTables& t)
{
    Expected e;
    const std::size_t count = t.vle.EntryCount() == 0 ? 1 : t.vle.EntryCount();
    std::size_t offset = 4;
    for (std::size_t k = 1; k <= count; ++k)
        offset += 2 * Lookup(t.vle, std::to_string(k)).size() + 2;
    if (offset > 255) {
        e.error = "too long"; // the message is the writer's own; only its kind is checked
        return e;
    }
    e.bytes = {static_cast<std::uint8_t>(offset), 0, kCaptionHeaderWord, 0};
    for (std::size_t k = 1; k <= count; ++k) {
        const std::string text = Lookup(t.vle, std::to_string(k));
        e.bytes.push_back(static_cast<std::uint8_t>(text.size()));
        e.bytes.push_back(kStringMarker);
        PutText(e.bytes, text);
    }
    e.bytes.insert(e.bytes.end(), {kCaptionIndexWord, 0, static_cast<std::uint8_t>(offset), 0});
    return e;
}

// Builds with `build`, then saves with `save` over a file of other bytes:
// each matches `expected`, and the save leaves its bytes or the old ones.
template <typename Build, typename Save>
void CheckMode(const char* mode, const Expected& expected, bool exactMessage, Build build, Save save)
{
    const std::string where = std::string(mode) + ": ";
    std::optional<Bytes> built;
    std::string message;
    try {
        built = build();
    } catch (const TavolinError& e) {
        message = e.what();
        Check(!message.empty(), "a refusal without a message");
    }
    if (expected.error.empty()) {
        Check(built.has_value(), (where + "refused a file it can build: " + message));
        Check(*built == expected.bytes, (where + "built other bytes than slot after slot gives"));
    } else {
        Check(!built, (where + "built a file it should refuse with: " + expected.error));
        // what() ends at a NUL byte of the text that was no number.
        const std::string shown = expected.error.substr(0, expected.error.find('\0'));
        Check(!exactMessage || message == shown,
              (where + "refused with \"" + message + "\" instead of \"" + expected.error + "\""));
    }

    const std::string target = fuzz::WorkFolder() + "/target.rsc";
    const Bytes old = {'o', 'l', 'd', 0, kStringMarker, 1};
    fuzz::WriteFile(target, old);
    std::string saveMessage;
    try {
        save(target);
    } catch (const TavolinError& e) {
        saveMessage = e.what();
    }
    const Bytes after = fuzz::ReadFile(target);
    if (built) {
        Check(saveMessage.empty(), (where + "the save failed: " + saveMessage));
        Check(after == *built, (where + "the saved file is not the built one"));
    } else {
        Check(saveMessage == message, (where + "the save failed otherwise than the build"));
        Check(after == old, (where + "a refused save changed the file"));
    }
    Check(fuzz::OtherFiles(fuzz::WorkFolder(), "target.rsc").empty(), "a save left a file behind");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    StringTables t;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos)
            end = input.size();
        Apply(t, input.substr(start, end - start));
        start = end + 1;
    }

    const Expected patch = PatchFile(t);
    if (!patch.tooLarge) {
        CheckMode("patch mode", patch, true,
                  [&] { return BuildPatchFile(t.vle, t.vle2, t.vle3); },
                  [&](const std::string& target) { WritePatchFile(target, t.vle, t.vle2, t.vle3); });
    }
    CheckMode("caption mode", CaptionFile(t), false,
              [&] { return BuildCaptionFile(t.vle); },
              [&](const std::string& target) { WriteCaptionFile(target, t.vle); });
    return 0;
}
