#include "codec/utf8.h"

namespace tavolin {

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

std::optional<char32_t> NextUtf8(std::string_view s, std::size_t& at)
{
    const auto b = static_cast<unsigned char>(s[at]);
    const std::size_t extra = b < 0x80 ? 0 : b >> 5 == 6 ? 1 : b >> 4 == 14 ? 2 : b >> 3 == 30 ? 3 : 4;
    if (extra == 4 || s.size() - at <= extra)
        return std::nullopt;
    char32_t c = extra == 0 ? b : static_cast<char32_t>(b & (0x3F >> extra));
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto n = static_cast<unsigned char>(s[at + k]);
        if (n >> 6 != 2)
            return std::nullopt;
        c = c << 6 | (n & 0x3F);
    }
    // The shortest form only: each length starts where the one before ends.
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    at += extra + 1;
    return c;
}

} // namespace tavolin
