#include "resource/textrules.h"

#include <algorithm>
#include <array>

namespace tavolin::resource {

namespace {

// Letters count by script: numbers that happen to look like characters
// rarely keep to one or two scripts.
enum class Script : std::uint8_t {
    Bad,       // not in texts people write (or a number's bytes)
    Control,   // tab and line breaks
    Neutral,   // digits, spaces, punctuation, symbols, emoji
    Combining, // a mark that needs a letter before it
    Latin,
    Greek,
    Cyrillic,
    Armenian,
    Hebrew,
    Arabic,
    Indic,
    Thai,
    Lao,
    Georgian,
    Hangul,
    Kana,
    Han,
};

constexpr bool IsLetter(Script s)
{
    return s >= Script::Latin;
}

constexpr bool IsCjk(Script s)
{
    return s == Script::Hangul || s == Script::Kana || s == Script::Han;
}

struct Block {
    // cppcheck-suppress unusedStructMember ; read in ScriptOf through kBlocks
    char16_t first;
    // cppcheck-suppress unusedStructMember ; read in ScriptOf through kBlocks
    char16_t last;
    Script script;
};

// Ordered by `first`; what no block covers is Bad.
constexpr std::array kBlocks{
    Block{0x0009, 0x000A, Script::Control},
    Block{0x000D, 0x000D, Script::Control},
    Block{0x0020, 0x0040, Script::Neutral},
    Block{0x0041, 0x005A, Script::Latin},
    Block{0x005B, 0x0060, Script::Neutral},
    Block{0x0061, 0x007A, Script::Latin},
    Block{0x007B, 0x007E, Script::Neutral},
    Block{0x00A0, 0x00BF, Script::Neutral},
    Block{0x00C0, 0x00D6, Script::Latin},
    Block{0x00D7, 0x00D7, Script::Neutral},
    Block{0x00D8, 0x00F6, Script::Latin},
    Block{0x00F7, 0x00F7, Script::Neutral},
    Block{0x00F8, 0x017F, Script::Latin},
    Block{0x0218, 0x021B, Script::Latin}, // Romanian comma-below letters
    Block{0x0300, 0x036F, Script::Combining},
    Block{0x0386, 0x03CE, Script::Greek},
    Block{0x0400, 0x045F, Script::Cyrillic},
    Block{0x0490, 0x04FF, Script::Cyrillic},
    Block{0x0531, 0x0587, Script::Armenian},
    Block{0x05D0, 0x05EA, Script::Hebrew},
    Block{0x060C, 0x060C, Script::Neutral},
    Block{0x061B, 0x061F, Script::Neutral},
    Block{0x0621, 0x064A, Script::Arabic},
    Block{0x064B, 0x0652, Script::Combining},
    Block{0x0660, 0x06D3, Script::Arabic},
    Block{0x0900, 0x0903, Script::Combining},
    Block{0x0904, 0x0DFF, Script::Indic},
    Block{0x0E01, 0x0E5B, Script::Thai},
    Block{0x0E81, 0x0EDD, Script::Lao},
    Block{0x10A0, 0x10FF, Script::Georgian},
    Block{0x1E00, 0x1EFF, Script::Latin},
    Block{0x1F00, 0x1FFE, Script::Greek},
    Block{0x2000, 0x2027, Script::Neutral},
    Block{0x2028, 0x2029, Script::Control},
    Block{0x202F, 0x205F, Script::Neutral},
    Block{0x20A0, 0x20BF, Script::Neutral},
    Block{0x2100, 0x218F, Script::Neutral},
    Block{0x2190, 0x23FF, Script::Neutral},
    Block{0x2460, 0x27BF, Script::Neutral},
    Block{0x3000, 0x303F, Script::Neutral},
    Block{0x3041, 0x30FF, Script::Kana},
    Block{0x3131, 0x318E, Script::Hangul},
    Block{0x4E00, 0x9FFF, Script::Han},
    Block{0xAC00, 0xD7A3, Script::Hangul},
    Block{0xF900, 0xFAFF, Script::Han},
    Block{0xFE00, 0xFE0F, Script::Neutral}, // variation selectors (emoji)
    Block{0xFE30, 0xFE4F, Script::Neutral},
    Block{0xFF01, 0xFF60, Script::Neutral},
    Block{0xFF61, 0xFF9F, Script::Kana},
    Block{0xFFE0, 0xFFEE, Script::Neutral},
};

Script ScriptOf(char16_t u)
{
    for (const auto& b : kBlocks) {
        if (u < b.first)
            break;
        if (u <= b.last)
            return b.script;
    }
    return Script::Bad;
}

constexpr bool IsHigh(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

constexpr bool IsLow(char16_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The script of the unit at `i`, taking a surrogate pair as one symbol;
// `step` is how many units it takes.
Script ScriptAt(std::u16string_view units, std::size_t i, std::size_t& step)
{
    step = 1;
    if (IsHigh(units[i])) {
        if (i + 1 < units.size() && IsLow(units[i + 1])) {
            step = 2;
            return Script::Neutral;
        }
        return Script::Bad;
    }
    return IsLow(units[i]) ? Script::Bad : ScriptOf(units[i]);
}

// What vouches for a run of units besides their looks: nothing, a pad
// before them, a length byte that counts them, or both where the
// compiler puts them (then any characters will do).
// The letters words are made of, leaving out those that small numbers
// give (ÿ is FF 00, Ā is 00 01).
bool IsWordLetter(char16_t u)
{
    if (u < 0x80)
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
    if (u < 0x100)
        return u >= 0xC0 && u != 0xD7 && u != 0xF7 && u != 0xFF;
    if (u < 0x370)
        return false;
    if (u < 0x400)
        return u >= 0x391 && u <= 0x3CE;
    if (u < 0x530)
        return u == 0x401 || (u >= 0x410 && u <= 0x451);
    return IsLetter(ScriptOf(u));
}

enum class Evidence { None, Pad, Length, PaddedLength };

bool LooksLike(std::u16string_view units, Evidence evidence)
{
    if (units.empty())
        return false;
    std::array<std::size_t, static_cast<std::size_t>(Script::Han) + 1> count{};
    Script previous = Script::Bad;
    for (std::size_t i = 0; i < units.size();) {
        std::size_t step = 1;
        const Script s = ScriptAt(units, i, step);
        if (s == Script::Bad || (s == Script::Control && evidence == Evidence::None) ||
            (s == Script::Combining && !IsLetter(previous) && previous != Script::Combining))
            return false;
        ++count[static_cast<std::size_t>(s)];
        previous = s;
        i += step;
    }
    if (evidence == Evidence::PaddedLength)
        return true;
    std::size_t letters = 0;
    std::size_t scripts = 0;
    std::size_t cjk = 0;
    for (auto s = static_cast<std::size_t>(Script::Latin); s < count.size(); ++s) {
        letters += count[s];
        scripts += count[s] > 0 ? 1 : 0;
        if (IsCjk(static_cast<Script>(s)))
            cjk += count[s];
    }
    if (letters == 0) {
        // Symbols alone (an emoji, a price) with a length byte that counts
        // them: a surrogate pair or a sign beyond Latin-1 is no number.
        const bool symbol = std::any_of(units.begin(), units.end(), [](char16_t u) { return u >= 0x2000; });
        return evidence != Evidence::None && units.size() >= 2 && symbol;
    }
    // Two scripts mix in real texts (a name in Latin letters among Cyrillic
    // words); a third is rare but for Latin, Greek and Han in one line.
    if (scripts > 2 && !(scripts == 3 && count[static_cast<std::size_t>(Script::Latin)] > 0))
        return false;
    if (evidence != Evidence::None)
        return true;
    // Without a length byte or a pad: two letters of a word in a row, as
    // numbers' bytes rarely give them, and ideographs that are not mostly
    // two printable ASCII bytes (8-bit text read as 16-bit).
    bool word = false;
    for (std::size_t i = 0; i + 1 < units.size() && !word; ++i)
        word = IsWordLetter(units[i]) && IsWordLetter(units[i + 1]) && ScriptOf(units[i]) == ScriptOf(units[i + 1]);
    if (!word)
        return false;
    if (cjk == 0)
        return true;
    const auto ascii = std::count_if(units.begin(), units.end(), [](char16_t u) {
        return (u & 0xFF) >= 0x20 && (u & 0xFF) < 0x7F && (u >> 8) >= 0x20 && (u >> 8) < 0x7F;
    });
    return static_cast<std::size_t>(ascii) * 2 < cjk && (cjk >= 3 || letters - cjk >= 3);
}

class RawScan {
public:
    RawScan(std::size_t resource, std::span<const std::uint8_t> data,
            const std::vector<std::pair<std::size_t, std::size_t>>& taken, std::vector<Text>& out)
        : m_resource(resource), m_data(data), m_used(data.size(), false), m_out(out)
    {
        for (const auto& [from, to] : taken)
            Use(from, to);
    }

    void PaddedLtexts()
    {
        for (std::size_t r = 0; r + 1 < m_data.size(); r += 2) {
            const std::size_t n = m_data[r];
            if (n == 0 || m_data[r + 1] != kPad || !Free(r, r + 2 + 2 * n))
                continue;
            const std::u16string units = Units(r + 2, n);
            // One character that text of its script goes on after: rather a
            // BYTE of 1 (the commonest small number) before a padded BUF.
            if (!LooksLike(units, Evidence::PaddedLength) || (n == 1 && Continues(units, r + 2 + 2 * n)))
                continue;
            Add(TextKind::Ltext, true, r, r + 2, units);
            r += 2 * n;
        }
    }

    void Guesses()
    {
        for (std::size_t p = 0; p + 1 < m_data.size(); p += 2) {
            if (!Free(p, p + 2))
                continue;
            const std::size_t next = Ltext(p);
            if (next != 0) {
                p = next - 2;
                continue;
            }
            const bool padded = p >= 1 && Free(p - 1, p) && m_data[p - 1] == kPad;
            if (!padded && p >= 2 && Free(p - 2, p) && ScriptOf(Unit(p - 2)) > Script::Control)
                continue; // inside a run that did not read as text
            if (!padded && SmallNumbers(p))
                continue;
            std::size_t q = p;
            while (q + 2 <= m_data.size() && Free(q, q + 2)) {
                const char16_t u = Unit(q);
                if (IsHigh(u) && q + 4 <= m_data.size() && Free(q + 2, q + 4) && IsLow(Unit(q + 2))) {
                    q += 4;
                    continue;
                }
                const Script s = ScriptOf(u);
                if (s == Script::Bad || s == Script::Control || IsHigh(u) || IsLow(u))
                    break;
                q += 2;
            }
            const std::u16string units = Units(p, (q - p) / 2);
            if (q == p || !LooksLike(units, padded ? Evidence::Pad : Evidence::None))
                continue;
            // The first unit's high byte may be the length byte of an LTEXT
            // that is the better reading.
            if (LtextAt(p + 2, q))
                continue;
            // So may a later unit's, where that LTEXT ends the run and the
            // units before it do not read as text of their own: numbers
            // that happen to read as letters.
            if (LtextEndsRun(p, q))
                continue;
            const bool zeroEnds = q + 2 == m_data.size() && Free(q, q + 2) && Unit(q) == 0;
            Add(zeroEnds ? TextKind::Text : TextKind::Buf, false, padded ? p - 1 : p, p, units);
            p = (zeroEnds ? q + 2 : q) - 2;
        }
    }

private:
    [[nodiscard]] bool Free(std::size_t from, std::size_t to) const
    {
        if (to > m_data.size())
            return false;
        for (std::size_t i = from; i < to; ++i)
            if (m_used[i])
                return false;
        return true;
    }
    void Use(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to && i < m_used.size(); ++i)
            m_used[i] = true;
    }
    [[nodiscard]] char16_t Unit(std::size_t at) const
    {
        return static_cast<char16_t>(m_data[at] | m_data[at + 1] << 8);
    }
    // A run without a length byte or a pad that would start with a unit of
    // two small bytes (Є is 04 04, Ā is 00 01) starts with numbers.
    [[nodiscard]] bool SmallNumbers(std::size_t at) const
    {
        return m_data[at] < 0x10 && m_data[at + 1] < 0x05;
    }
    [[nodiscard]] std::u16string Units(std::size_t at, std::size_t n) const
    {
        std::u16string s;
        s.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            s += Unit(at + 2 * i);
        return s;
    }
    // The text seems to go on past its end: the next unit is a letter of
    // the script of its last letter, so the length byte was a number.
    [[nodiscard]] bool Continues(const std::u16string& units, std::size_t end) const
    {
        if (!Free(end, end + 2))
            return false;
        const Script next = ScriptOf(Unit(end));
        const auto letter = std::find_if(units.rbegin(), units.rend(), [](char16_t u) { return IsLetter(ScriptOf(u)); });
        return letter != units.rend() && next == ScriptOf(*letter);
    }
    // An unpadded LTEXT whose characters start at `p` (its length byte at
    // the odd offset before) that ends at or before `limit`.
    [[nodiscard]] bool LtextAt(std::size_t p, std::size_t limit) const
    {
        if (p < 1 || p + 1 >= m_data.size() || !Free(p - 1, p))
            return false;
        const std::size_t n = m_data[p - 1];
        // One character after a byte of 1 is as often a BYTE and a WORD.
        if (n < 2 || p + 2 * n > limit || !Free(p, p + 2 * n))
            return false;
        const std::u16string units = Units(p, n);
        return LooksLike(units, Evidence::Length) && !Continues(units, p + 2 * n);
    }
    [[nodiscard]] bool LtextEndsRun(std::size_t from, std::size_t end) const
    {
        for (std::size_t k = from + 4; k < end; k += 2)
            if (k + 2 * std::size_t{m_data[k - 1]} == end && LtextAt(k, end) &&
                !LooksLike(Units(from, (k - from) / 2), Evidence::None))
                return true;
        return false;
    }
    // Takes the LTEXT at `p` if there is one; returns its end, else 0.
    std::size_t Ltext(std::size_t p)
    {
        if (!LtextAt(p, m_data.size()))
            return 0;
        const std::size_t n = m_data[p - 1];
        Add(TextKind::Ltext, false, p - 1, p, Units(p, n));
        return p + 2 * n;
    }
    void Add(TextKind kind, bool certain, std::size_t start, std::size_t chars, const std::u16string& units)
    {
        Text t;
        t.resource = m_resource;
        t.kind = kind;
        t.certain = certain;
        t.start = start;
        t.chars = chars;
        t.end = chars + 2 * units.size() + (kind == TextKind::Text ? 2 : 0);
        t.text = units;
        Use(start, t.end);
        m_out.push_back(std::move(t));
    }

    std::size_t m_resource;
    std::span<const std::uint8_t> m_data;
    std::vector<bool> m_used;
    std::vector<Text>& m_out;
};

constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

char16_t Cp1252ToUnicode(std::uint8_t byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return kCp1252High[byte - 0x80];
    return byte;
}

bool LooksLikeText(std::u16string_view units, bool withLength)
{
    return LooksLike(units, withLength ? Evidence::Length : Evidence::None);
}

void FindRawTexts(std::size_t resource, std::span<const std::uint8_t> data,
                  const std::vector<std::pair<std::size_t, std::size_t>>& taken, std::vector<Text>& out)
{
    RawScan scan(resource, data, taken, out);
    scan.PaddedLtexts();
    scan.Guesses();
}

bool MayHoldText(std::span<const std::uint8_t> data, std::size_t from, std::size_t to)
{
    bool previous = false;
    for (std::size_t i = from; i < to; ++i) {
        if (i % 2 != 0) {
            if (data[i] == kPad)
                return true;
            continue;
        }
        if (i + 1 >= to)
            break;
        const Script s = ScriptOf(static_cast<char16_t>(data[i] | data[i + 1] << 8));
        const bool plausible = s > Script::Control;
        if (IsLetter(s) || (plausible && previous))
            return true;
        previous = plausible;
    }
    return false;
}

void FindNarrowTexts(std::size_t resource, std::span<const std::uint8_t> data, std::vector<Text>& out)
{
    for (std::size_t r = 0; r < data.size(); ++r) {
        const std::size_t n = data[r];
        if (n < 2 || r + 1 + n > data.size())
            continue;
        std::u16string text;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t b = data[r + 1 + i];
            const char16_t c = b < 0x20 || b == 0x7F ? 0 : Cp1252ToUnicode(b);
            if (c == 0)
                break;
            text += c;
        }
        if (text.size() != n || !LooksLike(text, Evidence::Length))
            continue;
        // A letter right after it: the length byte was a number.
        if (r + 1 + n < data.size() && LooksLike(std::u16string(1, Cp1252ToUnicode(data[r + 1 + n])), Evidence::Length))
            continue;
        Text t;
        t.resource = resource;
        t.kind = TextKind::Ltext;
        t.wide = false;
        t.start = r;
        t.chars = r + 1;
        t.end = r + 1 + n;
        t.text = std::move(text);
        out.push_back(std::move(t));
        r += n;
    }
}

} // namespace tavolin::resource
