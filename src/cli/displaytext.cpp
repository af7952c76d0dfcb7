#include "cli/displaytext.h"

#include <cstdio>

#include "codec/thaicodepage.h"

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

std::u32string DecodeUtf8(const std::string& s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : static_cast<char32_t>(b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            ok = ok && (n >> 6) == 2;
            c = (c << 6) | (n & 0x3F);
        }
        out += ok ? c : U'\uFFFD';
        i += ok ? static_cast<std::size_t>(extra) + 1 : 1;
    }
    return out;
}

} // namespace

std::string TextToUtf8(const std::string& text)
{
    std::string out;
    for (const std::uint8_t b : text)
        AppendUtf8(out, ThaiCodePage::Instance().ToUnicode(b));
    return out;
}

TextFromUtf8 Utf8ToText(const std::string& utf8)
{
    TextFromUtf8 result;
    std::string text;
    for (char32_t c : DecodeUtf8(utf8)) {
        if (c == U'\n')
            c = U'\\';
        const auto b = c == 0 ? std::nullopt : ThaiCodePage::Instance().FromUnicode(c);
        if (!b) {
            result.missing = c;
            return result;
        }
        text += static_cast<char>(*b);
    }
    result.text = std::move(text);
    return result;
}

std::string CodePointName(char32_t c)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

} // namespace tavolin
