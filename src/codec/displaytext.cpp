#include "codec/displaytext.h"

#include <cstdio>

#include "codec/thaicodepage.h"
#include "codec/utf8.h"

namespace tavolin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Bytes that are not UTF-8 count as U+FFFD, one for each byte.
std::u32string DecodeUtf8(std::string_view s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = NextUtf8(s, i);
        out += c ? *c : kReplacement;
        if (!c)
            ++i;
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
