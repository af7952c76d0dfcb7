#include "codec/displaytext.h"

#include <cstdio>

#include "codec/thaicodepage.h"

namespace tavolin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c)
{
    const auto put = [&](unsigned v) { out += static_cast<char>(v); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | c >> 6);
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | c >> 12);
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | c >> 18);
        put(0x80 | (c >> 12 & 0x3F));
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

// The standard library has no UTF-8 decoder that is not deprecated.
std::u32string DecodeUtf8(std::string_view s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t extra = b < 0x80 ? 0 : b >> 5 == 6 ? 1 : b >> 4 == 14 ? 2 : b >> 3 == 30 ? 3 : 4;
        char32_t c = extra == 0 ? b : static_cast<char32_t>(b & (0x3F >> extra));
        bool ok = extra < 4 && i + extra < s.size();
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(s[i + k]);
            ok = n >> 6 == 2;
            c = c << 6 | (n & 0x3F);
        }
        out += ok ? c : kReplacement;
        i += ok ? extra + 1 : 1;
    }
    return out;
}

// A character that a font shows as nothing, or as an empty box.
bool ShowsNothing(char32_t c)
{
    const bool thaiUnassigned = c >= 0x0E00 && c <= 0x0EFF && (c == 0x0E00 || (c >= 0x0E3B && c <= 0x0E3E) || c >= 0x0E5C);
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || thaiUnassigned;
}

} // namespace

std::u32string TextToShown(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (const char b : text)
        out += ShownChar(static_cast<std::uint8_t>(b));
    return out;
}

std::string TextToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char b : text)
        AppendUtf8(out, ShownChar(static_cast<std::uint8_t>(b)));
    return out;
}

TextFromShown ShownToText(std::u32string_view shown)
{
    TextFromShown result;
    std::string text;
    text.reserve(shown.size());
    for (char32_t c : shown) {
        if (c == U'\n')
            c = U'\\';
        const auto b = TextByteOf(c);
        if (!b) {
            result.missing = c;
            return result;
        }
        text += static_cast<char>(*b);
    }
    result.text = std::move(text);
    return result;
}

TextFromShown Utf8ToText(std::string_view utf8)
{
    return ShownToText(DecodeUtf8(utf8));
}

std::string CodePointName(char32_t c)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

std::string CharacterName(char32_t c)
{
    if (ShowsNothing(c))
        return CodePointName(c);
    std::string name;
    AppendUtf8(name, c);
    return name + " (" + CodePointName(c) + ')';
}

std::string SavingChangeText(const CharChange& change, bool captionFile, bool named)
{
    const auto name = [named](char32_t c) { return named ? CharacterName(c) : CodePointName(c); };
    if (change.from == kNoLengthByte)
        return captionFile ? "no length byte of its own" : "no length byte of its own: the file is not saved";
    if (change.from == 0)
        return CodePointName(0) + (captionFile ? " is dropped" : " moves to the end");
    if (change.to == 0)
        return name(change.from) + " is dropped";
    return name(change.from) + " becomes " + name(change.to);
}

} // namespace tavolin
