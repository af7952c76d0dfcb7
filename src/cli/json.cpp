#include "cli/json.h"

namespace tavolin {

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One character of a JSON string.
void AppendJsonCharacter(std::string& json, char32_t c)
{
    static const char* const hex = "0123456789abcdef";
    switch (c) {
    case '"': json += "\\\""; return;
    case '\\': json += "\\\\"; return;
    case '\n': json += "\\n"; return;
    case '\t': json += "\\t"; return;
    case '\r': json += "\\r"; return;
    default: break;
    }
    if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
        json += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            json += hex[(c >> shift) & 15];
        return;
    }
    AppendUtf8(json, c);
}

} // namespace

void AppendJsonString(std::string& json, std::string_view bytes)
{
    json += '"';
    for (const char b : bytes)
        AppendJsonCharacter(json, static_cast<unsigned char>(b));
    json += '"';
}

void AppendJsonString(std::string& json, std::u16string_view text)
{
    json += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendJsonCharacter(json, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendJsonCharacter(json, c);
        }
    }
    json += '"';
}

} // namespace tavolin
