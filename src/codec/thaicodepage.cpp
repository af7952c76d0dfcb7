#include "codec/thaicodepage.h"

#include <algorithm>
#include <iterator>

#include <iconv.h>

namespace tavolin {

namespace {

constexpr char32_t kUndefinedBase = 0xF700;

// The character the system's converter gives for one byte, or nothing when it
// leaves the byte undefined.
std::optional<char32_t> ConvertByte(iconv_t cd, std::uint8_t b)
{
    char in[1] = {static_cast<char>(b)};
    unsigned char out[8] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        sizeof out - outLeft != 4)
        return std::nullopt;
    return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

} // namespace

const ThaiCodePage& ThaiCodePage::Instance()
{
    static const ThaiCodePage page;
    return page;
}

ThaiCodePage::ThaiCodePage()
{
    const iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-874");
    m_hasConverter = cd != reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr): iconv_open's failure value
    for (int b = 1; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        std::optional<char32_t> c;
        if (m_hasConverter)
            c = ConvertByte(cd, byte);
        else if (b < 0x80)
            c = static_cast<char32_t>(b);
        if (c && *c < 0x20)
            c = 0x2400 + *c;
        else if (c && *c == 0x7F)
            c = 0x2421;
        // A byte the code page leaves undefined, or one whose character is
        // already taken, keeps a stand-in of its own so that it survives edits.
        if (!c || m_fromUnicode.contains(*c))
            c = kUndefinedBase + b;
        m_toUnicode[byte] = *c;
        m_fromUnicode.emplace(*c, byte);
    }
    if (m_hasConverter)
        iconv_close(cd);
}

std::optional<std::uint8_t> ThaiCodePage::FromUnicode(char32_t c) const
{
    const auto it = m_fromUnicode.find(c);
    if (it == m_fromUnicode.end())
        return std::nullopt;
    return it->second;
}

std::u32string ThaiCodePage::ToUnicode(std::string_view text) const
{
    std::u32string out;
    out.reserve(text.size());
    std::transform(text.begin(), text.end(), std::back_inserter(out),
                   [this](char c) { return m_toUnicode[static_cast<std::uint8_t>(c)]; });
    return out;
}

std::optional<std::string> ThaiCodePage::FromUnicode(std::u32string_view text) const
{
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        const auto b = FromUnicode(c);
        if (!b)
            return std::nullopt;
        out.push_back(static_cast<char>(*b));
    }
    return out;
}

} // namespace tavolin
