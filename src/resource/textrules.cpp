#include "resource/textrules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

#include "resource/scsu.h"

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

// Ideographic space, commas, stops and brackets.
constexpr bool IsCjkSign(char16_t u)
{
    return u >= 0x3000 && u <= 0x303F;
}

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

// What a unit adds to a text around it, and what a text costs: a parse of
// a resource's bytes takes a run of units as text only where its letters
// outweigh the cost, so that numbers whose bytes happen to be characters
// stay numbers.
constexpr double kTextCost = 2.5;
constexpr double kLengthEvidence = 3.5; // a length byte that counts the units
constexpr double kPadEvidence = 1.6;    // a pad where the compiler puts one
constexpr double kScriptChange = 3.0;   // letters of two scripts side by side
constexpr double kCaseChange = 1.5;     // a capital right after a small letter
constexpr double kCountedItems = 4.0;   // a WORD before the run that counts it
constexpr double kWholeResource = 2.0;  // a run that is all of its resource
constexpr double kInsideText = 4.0;     // a length byte that reads as part of the text around it
constexpr double kIntoText = 3.0;       // a BUF that runs into a text that starts for sure
constexpr double kArrayEnd = 1.0;       // a text where a counted array of WORDs ends
constexpr double kNone = -1e9;
constexpr std::size_t kMostEnds = 256;  // ends of one run of text weighed

// Han, kana and hangul mix in one text; other scripts keep apart.
Script Group(Script s)
{
    return IsCjk(s) ? Script::Han : s;
}

bool IsAsciiCapital(char16_t u)
{
    return u >= 'A' && u <= 'Z';
}

bool IsAsciiLetter(char16_t u)
{
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

bool IsSmallLatin(char16_t u)
{
    return (u >= 'a' && u <= 'z') || (u >= 0xDF && u <= 0xFF && u != 0xF7);
}

bool IsCapitalLatin(char16_t u)
{
    return (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
}

// Capitals and small letters of the cased scripts: Latin, Greek, Cyrillic.
bool IsCapital(char16_t u)
{
    return IsCapitalLatin(u) || (u >= 0x391 && u <= 0x3A9) || (u >= 0x400 && u <= 0x42F);
}

bool IsSmall(char16_t u)
{
    return IsSmallLatin(u) || (u >= 0x3B1 && u <= 0x3C9) || (u >= 0x430 && u <= 0x45F);
}

// Characters that only a length byte makes text: control characters and
// private-use signs (icons of the platform's fonts), whose bytes are as
// often numbers (ESC, -3000).
bool InLtextOnly(char16_t u)
{
    return u == 0x7F || (u > 0 && u < 0x20) || (u >= 0xE000 && u <= 0xF8FF);
}

// The texts of one resource's data, found as the best reading of its bytes
// as numbers and text values. `width` is the bytes of a character: 2 for
// 16-bit text (characters at even offsets, the 0xAB pad before those that
// would start at an odd one), 1 for an 8-bit build (no alignment).
class TextParse {
public:
    TextParse(std::size_t resource, std::span<const std::uint8_t> data, std::size_t width,
              const std::vector<std::pair<std::size_t, std::size_t>>& taken)
        : m_resource(resource), m_data(data), m_width(width), m_used(data.size(), false),
          m_certainStart(data.size() + 1, false)
    {
        for (const auto& [from, to] : taken)
            for (std::size_t i = from; i < to && i < m_used.size(); ++i)
                m_used[i] = true;
        const std::size_t n = data.size() / width;
        m_units.resize(n);
        m_scripts.resize(n);
        m_worth.assign(n, 0);
        m_join.assign(n, 0);
        m_cut.assign(n + 1, true);
        for (std::size_t k = 0; k < n; ++k)
            m_units[k] =
                width == 2 ? static_cast<char16_t>(data[2 * k] | data[2 * k + 1] << 8) : Cp1252ToUnicode(data[k]);
        for (std::size_t k = 0; k < n; ++k) {
            const char16_t u = m_units[k];
            Script s = ScriptOf(u);
            if (IsHigh(u) || IsLow(u)) {
                const bool pair = IsHigh(u) ? k + 1 < n && IsLow(m_units[k + 1]) : k > 0 && IsHigh(m_units[k - 1]);
                s = pair ? Script::Neutral : Script::Bad;
                m_worth[k] = IsHigh(u) ? 0.8 : 0;
                m_cut[k] = !(pair && IsLow(u)); // never between the two units of a pair
            } else if (u == 0x00FF || (u >= 0x0100 && u < 0x2000 && (u & 0xFF) == 0)) {
                m_worth[k] = -1; // 255 and multiples of 256, rarely letters
            } else if (IsLetter(s)) {
                m_worth[k] = 1;
            } else if (s == Script::Neutral || s == Script::Combining) {
                m_worth[k] = 0.6;
            } else if (s == Script::Control) {
                m_worth[k] = 0.3;
            }
            // In an 8-bit build two bytes of 255 in a row are a number
            // (-1, 0xFFFF), never text.
            if (width == 1 && u == 0xFF && ((k > 0 && data[k - 1] == 0xFF) || (k + 1 < n && data[k + 1] == 0xFF)))
                s = Script::Bad;
            m_scripts[k] = s;
            // Other control characters and private-use signs stand only in
            // LTEXTs, whose length byte vouches for them.
            m_control.push_back(s == Script::Bad && InLtextOnly(u));
            if (m_control.back())
                m_worth[k] = -0.3;
            // In an 8-bit build a d (100) or a capital after capitals
            // before a zero byte is as often the low byte of a WORD or LONG;
            // in a 16-bit one a d before a zero unit the low word of a LONG.
            if (width == 1 && k + 1 < n && data[k + 1] == 0 &&
                (u == 'd' || (k > 0 && IsCapitalLatin(u) && IsCapitalLatin(m_units[k - 1]) && GluedCapitals(k))))
                m_worth[k] = -0.2;
            if (width == 2 && k + 1 < n && u == 'd' && m_units[k + 1] == 0)
                m_worth[k] = -0.2;
            // Two capitals before two zero bytes: as often the low half of
            // a LONG ("BM" of 0x4D42) as the end of a text.
            if (LongLowHalf(k)) {
                m_worth[k] = -0.2;
                m_worth[k - 1] = std::min(m_worth[k - 1], -0.2);
            }
            if (k == 0)
                continue;
            const Script before = m_scripts[k - 1];
            if (IsLetter(before) && IsLetter(s) && Group(before) != Group(s))
                m_join[k] -= kScriptChange;
            // (A capital that ends its word after small letters is a
            // unit's sign: kB, dB.)
            const bool unitSign = m_units[k - 1] < 0x80 && u < 0x80 &&
                                  (k + 1 == n || !IsLetter(ScriptOf(m_units[k + 1])) || LongLowHalf(k + 2));
            if (IsSmallLatin(m_units[k - 1]) && IsCapitalLatin(u) && !unitSign)
                m_join[k] -= kCaseChange;
            // Capitals of an identifier glued to small letters on either
            // side ("HeNOTEPAD_HLP_SYNCello"): numbers' bytes beside it.
            if (k >= 2 && IsLetter(ScriptOf(m_units[k - 2])) && IsSmallLatin(m_units[k - 1]) && IsCapitalLatin(u) &&
                k + 1 < n && (IsCapitalLatin(m_units[k + 1]) || m_units[k + 1] == '_'))
                m_join[k] -= kScriptChange;
            // WORD 100 between a word and one that starts with a capital
            // ("Meet", 100, "Meeting").
            if (k >= 2 && m_units[k - 1] == 'd' && IsSmall(m_units[k - 2]) && IsCapital(u) && k + 1 < n &&
                IsSmall(m_units[k + 1])) {
                m_worth[k - 1] = -1;
                m_join[k] -= kCaseChange;
            }
            // A lone capital before a word that starts with one
            // ("ИЧерновики"): a WORD's bytes before a text.
            if (k + 1 < n && IsCapital(m_units[k - 1]) && IsCapital(u) && IsSmall(m_units[k + 1]) &&
                (k < 2 || !IsLetter(ScriptOf(m_units[k - 2]))))
                m_join[k] -= kScriptChange;
            if (k >= 3 && k + 1 < n && IsSmallLatin(u) && IsSmallLatin(m_units[k + 1]) &&
                std::all_of(m_units.begin() + static_cast<std::ptrdiff_t>(k - 3),
                            m_units.begin() + static_cast<std::ptrdiff_t>(k), IsCapitalLatin))
                m_join[k] -= kScriptChange;
            // 200 is as common a WORD as È is rare inside a word or right
            // before a sign.
            if ((u == 0xC8 && IsLetter(before)) ||
                (m_units[k - 1] == 0xC8 && (IsLetter(s) || (s == Script::Neutral && u != u' '))))
                m_join[k] -= kScriptChange;
            // CJK punctuation stands beside CJK letters, not Latin ones.
            if ((IsCjkSign(u) && IsLetter(before) && !IsCjk(before)) ||
                (IsCjkSign(m_units[k - 1]) && IsLetter(s) && !IsCjk(s)))
                m_join[k] -= kScriptChange;
            if (s == Script::Combining) {
                m_cut[k] = false;
                if (!IsLetter(before) && before != Script::Combining)
                    m_scripts[k] = Script::Bad;
            }
        }
        Recount();
    }

    // Takes LTEXTs whose pad stands where the compiler puts one, or of two
    // characters or more whose length byte is no part of a character, and
    // whose characters are not followed by more text: nothing but an LTEXT
    // lays out those bytes (a BYTE then a BUF would go on as text).
    void CertainLtexts(std::vector<Text>& out)
    {
        if (m_width != 2)
            return;
        for (std::size_t r = 0; r + 1 < m_data.size(); ++r) {
            const std::size_t n = m_data[r];
            const bool padded = r % 2 == 0;
            if (n == 0 || (padded && m_data[r + 1] != kPad) || r + 2 + 2 * n > m_data.size() + (padded ? 0 : 1) ||
                m_used[r] || (padded && m_used[r + 1]))
                continue;
            const std::size_t a = r / 2 + 1;
            if (!Counted(a, a + n) || GoesOn(a, a + n) ||
                std::any_of(m_worth.begin() + static_cast<std::ptrdiff_t>(a),
                            m_worth.begin() + static_cast<std::ptrdiff_t>(a + n), [](double w) { return w <= -1; }))
                continue;
            // Without a pad: two characters at least that read well as
            // text, and the length byte not the high byte of a character
            // that the text could follow (a BUF that started before).
            if (!padded && (n < 2 || Worth(a, a + n) < 0.3 * static_cast<double>(n) ||
                            (!m_used[r - 1] && m_worth[a - 1] > 0 && m_scripts[a - 1] != Script::Combining &&
                             m_join[a] == 0 && !LoneLetterBefore(a, a + n))))
                continue;
            const std::u16string units(m_units.begin() + static_cast<std::ptrdiff_t>(a),
                                       m_units.begin() + static_cast<std::ptrdiff_t>(a + n));
            if (!Acceptable(units, TextKind::Ltext, padded))
                continue;
            Emit(out, TextKind::Ltext, true, r, a, a + n);
            r = 2 * (a + n) - 1;
        }
        Recount();
    }

    // The best reading of what is left as numbers and text values: a run
    // of units is text where its worth beats what a text costs.
    double Guesses(std::vector<Text>& out)
    {
        const std::size_t size = m_data.size();
        const std::size_t n = m_units.size();
        CountedIds();
        struct Step {
            double score = kNone;
            std::size_t from = 0;
            bool text = false;
            TextKind kind = TextKind::Buf;
            std::size_t first = 0; // unit
            std::size_t last = 0;  // one past
        };
        std::vector<Step> best(size + 1);
        best[0].score = 0;
        // A value that does not score is rather numbers: ties go to them.
        const auto relax = [&](std::size_t to, double score, const Step& how) {
            if (how.text && score <= best[how.from].score + 1e-9)
                return;
            if (to <= size && score > best[to].score) {
                best[to] = how;
                best[to].score = score;
            }
        };
        // Units where a text starts for sure or an LTEXT has its pad where
        // the compiler puts one: no BUF runs into them.
        std::vector<bool> textAt(n + 1, false);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = k * m_width;
            const std::size_t count = m_data[i];
            textAt[k] = m_certainStart[i] ||
                        (m_width == 2 && Free(k) && count > 0 && m_data[i + 1] == kPad && k + 1 + count <= n &&
                         Counted(k + 1, k + 1 + count) && m_cut[k + 1] && m_cut[k + 1 + count]);
        }
        const auto wordOrLongBefore = [&](std::size_t k) {
            return (k + 1 < n && textAt[k + 1]) || (k + 2 < n && textAt[k + 2]);
        };
        // Where a run of text may end: before a unit no text holds, before
        // a join that costs or a unit that is rather a number, before a WORD
        // or a LONG before such a text, at the end.
        std::vector<std::size_t> nextEnd(n + 1, n);
        for (std::size_t k = n; k-- > 0;)
            nextEnd[k] = (k + 1 == n || m_bad[k + 2] != m_bad[k + 1] ||
                          ((m_join[k + 1] < 0 || m_worth[k + 1] < 0 || wordOrLongBefore(k + 1)) && m_cut[k + 1]))
                             ? k + 1
                             : nextEnd[k + 1];
        for (std::size_t i = 0; i < size; ++i) {
            if (best[i].score == kNone)
                continue;
            const double here = best[i].score;
            relax(i + 1, here, Step{kNone, i});
            if (m_used[i])
                continue;
            // LTEXT: a length byte, the pad where the characters would start
            // at an odd offset, the characters.
            const std::size_t count = m_data[i];
            std::size_t c = i + 1;
            bool padded = false;
            if (m_width == 2 && c % 2 != 0) {
                padded = c < size && m_data[c] == kPad && !m_used[c];
                ++c;
            }
            if (count > 0 && (m_width == 1 || padded || c == i + 1) && c + m_width * count <= size) {
                const std::size_t a = c / m_width;
                if (Counted(a, a + count) && m_cut[a] && m_cut[a + count]) {
                    // A byte of one before a byte of a letter is the commonest
                    // pair of small numbers in an 8-bit build.
                    double length = count == 1 && m_width == 1 ? kLengthEvidence / 3 : kLengthEvidence;
                    // ...unless it follows a text, or a text and an empty
                    // LTEXT, or a letter of it comes before another count
                    // and as many letters: LTEXTs of a struct in a row.
                    if (count == 1 && m_width == 1 &&
                        (best[i].text || (i > 0 && m_data[i - 1] == 0 && best[i - 1].text) ||
                         (IsLetter(m_scripts[i + 1]) && CountedLetters(i + 2))))
                        length += 1;
                    // (Latin letters beyond Latin-1 are as often a count of
                    // one after a byte of a number.)
                    if (m_width == 2 && !padded && m_worth[a - 1] > 0 && m_units[a - 1] >= 0x250 &&
                        SameScript(m_units[a - 1], m_units[a]))
                        length -= kInsideText; // the high byte of a letter: more of the text before
                    if (m_width == 1 && IsLetter(m_scripts[a - 1]) &&
                        (IsSmallLatin(m_units[a]) ||
                         (i > 0 && Free(i - 1) && m_join[i] == 0 && SameScript(m_units[i - 1], m_units[i]))))
                        length -= kInsideText; // a letter of a word, then the rest of it
                    if (count == 1 && GoesOn(a, a + 1))
                        length -= kInsideText; // a BYTE of 1 before a BUF
                    // A padded count that is the high byte of a letter of the
                    // text's script at an odd offset, and a word that goes on
                    // after the count: a WORD, then a BUF ("Отпр" of "т"
                    // and "Отправленные").
                    if (padded && i > 0 && !m_used[i - 1] && a + count < n && m_join[a + count] == 0 &&
                        IsLetter(m_scripts[a + count]) && GoesOn(a, a + count) &&
                        SameScript(static_cast<char16_t>(m_data[i - 1] | m_data[i] << 8), m_units[a]))
                        length -= kInsideText;
                    // A BYTE before a BUF whose text goes on where the
                    // count ends, for as many units again and no more ("Sh"
                    // of "Shop"): an LTEXT before a BUF or numbers rarely
                    // leaves such a stub of a word.
                    if (count > 1 && a + count < n && m_join[a + count] == 0 && GoesOn(a, a + count) &&
                        Stub(a + count) >= count)
                        length -= kInsideText;
                    const double score = Worth(a, a + count) + length + (padded ? kPadEvidence : 0) - kTextCost;
                    relax(c + m_width * count, here + score, Step{kNone, i, true, TextKind::Ltext, a, a + count});
                }
            }
            // BUF or TEXT: the characters at once, or after a pad.
            std::size_t b = i;
            bool bufPad = false;
            if (m_width == 2 && i % 2 != 0) {
                if (m_data[i] != kPad)
                    continue;
                bufPad = true;
                ++b;
            }
            const std::size_t a = b / m_width;
            if (a >= n || !Plausible(a, a + 1) || !m_cut[a])
                continue;
            double lead = (bufPad ? kPadEvidence : 0) - kTextCost;
            if (m_scripts[a] == Script::Control || m_units[a] == u' ')
                lead -= 1;
            const bool arrayEnd = !bufPad && AfterCountedArray(a);
            // A run across hundreds of costly joins is no text: the bound
            // keeps a resource's reading linear in its size.
            std::size_t ends = 0;
            for (std::size_t e = nextEnd[a]; e <= n && ends < kMostEnds; e = e < n ? nextEnd[e] : n + 1, ++ends) {
                if (!m_cut[e] || m_bad[e] != m_bad[a])
                    break;
                double score = Worth(a, e) + lead - (InCountedArray(a, e, bufPad) ? kCountedItems : 0);
                // Where a counted array ends, a word (of letters that are
                // no WORDs' bytes) starts a text.
                if (arrayEnd && LooksLike(std::u16string_view(&m_units[a], e - a), Evidence::None))
                    score += kArrayEnd;
                // A number stands between a BUF and a text after it.
                if (e < n && textAt[e])
                    score -= kIntoText;
                // Where the text would end in an ASCII letter and the unit
                // before that text is one too, the two are rather a LONG (an
                // id, flags: "BA" of 0x00410042) than a letter and a WORD,
                // unless the unit is 100 (d), the commonest such WORD.
                if (e + 1 < n && textAt[e + 1] && IsAsciiLetter(m_units[e - 1]) && IsAsciiLetter(m_units[e]) &&
                    m_units[e] != u'd')
                    score -= kCaseChange;
                // The whole resource: a resource of one value.
                if (i == 0 && e * m_width == size)
                    score += kWholeResource;
                relax(e * m_width, here + score, Step{kNone, i, true, TextKind::Buf, a, e});
                // A zero unit that ends the data: a TEXT's terminator; the
                // whole resource with it, a resource of one value.
                if (e + 1 == n && m_units[e] == 0 && Free(e))
                    relax(size, here + score + 0.5 + (i == 0 ? kWholeResource : 0),
                          Step{kNone, i, true, TextKind::Text, a, e});
                if (e == n || !Plausible(e, e + 1))
                    break;
            }
        }
        std::vector<Step> chosen;
        for (std::size_t at = size; at > 0; at = best[at].from)
            if (best[at].text)
                chosen.push_back(best[at]);
        std::reverse(chosen.begin(), chosen.end());
        const Step* previous = nullptr;
        for (const Step& step : chosen) {
            const std::u16string units(m_units.begin() + static_cast<std::ptrdiff_t>(step.first),
                                       m_units.begin() + static_cast<std::ptrdiff_t>(step.last));
            // A BUF right after another that only a costly join parts from
            // it: a number's bytes glued to a text, not a text of its own.
            const bool glued = previous != nullptr && previous->kind == TextKind::Buf && step.kind == TextKind::Buf &&
                               previous->last == step.first && step.from == step.first * m_width &&
                               m_join[step.first] < 0;
            if (!glued && Acceptable(units, step.kind, false))
                Emit(out, step.kind, false, step.from, step.first, step.last);
            previous = &step;
        }
        return best[size].score;
    }

private:
    // In an 8-bit build: units k-1 and k are ASCII capitals before two
    // zero bytes, glued to what goes before them ("59BM", "kBMB").
    [[nodiscard]] bool LongLowHalf(std::size_t k) const
    {
        return m_width == 1 && k > 0 && k + 2 < m_data.size() && m_data[k + 1] == 0 && m_data[k + 2] == 0 &&
               IsAsciiCapital(m_data[k - 1]) && GluedCapitals(k);
    }
    // In an 8-bit build: unit k is an ASCII capital that ends a run of them
    // glued to a digit, a letter or an identifier's underscore before it,
    // not a word of capitals of its own ("Send SMS").
    [[nodiscard]] bool GluedCapitals(std::size_t k) const
    {
        if (!IsAsciiCapital(m_data[k]))
            return false;
        std::size_t j = k;
        while (j > 0 && IsAsciiCapital(m_data[j - 1]))
            --j;
        return j > 0 && (std::isalnum(m_data[j - 1]) != 0 || m_data[j - 1] == '_' || m_data[j - 1] >= 0xC0);
    }
    // In an 8-bit build: byte i counts the letters after it (and no more
    // than the data holds).
    [[nodiscard]] bool CountedLetters(std::size_t i) const
    {
        const std::size_t count = i < m_data.size() ? m_data[i] : 0;
        return count > 0 && i + count < m_data.size() &&
               std::all_of(m_scripts.begin() + static_cast<std::ptrdiff_t>(i + 1),
                           m_scripts.begin() + static_cast<std::ptrdiff_t>(i + 1 + count), IsLetter);
    }
    [[nodiscard]] bool Free(std::size_t k) const
    {
        return !m_used[k * m_width] && !m_used[k * m_width + m_width - 1];
    }
    [[nodiscard]] bool Plausible(std::size_t a, std::size_t b) const
    {
        return b <= m_units.size() && m_bad[b] == m_bad[a];
    }
    // The text of units [a, k) goes on at unit k: two more characters, the
    // first a letter of its script or a space or sign; after one character
    // (a BYTE of 1 is the commonest small number), a letter of its script.
    [[nodiscard]] bool GoesOn(std::size_t a, std::size_t k) const
    {
        if (k == a + 1 && k < m_units.size() && m_worth[k] > 0 && IsLetter(m_scripts[k]) &&
            Group(m_scripts[k]) == Group(m_scripts[a]))
            return true;
        if (k + 1 >= m_units.size() || m_worth[k] <= 0 || m_worth[k + 1] <= 0 || m_scripts[k] <= Script::Control ||
            m_scripts[k + 1] <= Script::Control)
            return false;
        if (!IsLetter(m_scripts[k]))
            return m_scripts[k] == Script::Neutral;
        for (std::size_t j = k; j-- > a;)
            if (IsLetter(m_scripts[j]))
                return Group(m_scripts[j]) == Group(m_scripts[k]);
        return false;
    }
    // A WORD just before units [a, e) counts them, or one a few units
    // before that is no character (a control code) counts the units up to
    // e: they end an array of WORDs.
    [[nodiscard]] bool InCountedArray(std::size_t a, std::size_t e, bool padded) const
    {
        if (m_width == 1)
            return InCountedBytes(a, e);
        if (padded)
            return false;
        for (std::size_t p = a; p-- > 0 && p + 8 >= a;) {
            if (!Free(p))
                return false;
            // (Or the items go on to a certain text after the guess.)
            const std::size_t end = p + 1 + m_units[p];
            const bool counted = end == e || (end > e && end < m_units.size() && m_certainStart[end * m_width]);
            if (counted && (p + 1 == a || m_units[p] < 0x20))
                return true;
        }
        return false;
    }
    // Unit a is where the items of an array end that a WORD before them
    // counts (a text after WORDs of a struct: "px" after 4, 100, 200,
    // 0x41, 0x42); the count is no character, the items are free.
    [[nodiscard]] bool AfterCountedArray(std::size_t a) const
    {
        const std::size_t item = m_width == 2 ? 1 : 2; // units of a WORD
        for (std::size_t c = 1; c <= 8 && (c + 1) * item <= a; ++c) {
            const std::size_t p = a - (c + 1) * item;
            const std::size_t count = m_width == 2 ? m_units[p] : m_data[p] | m_data[p + 1] << 8;
            if (count == c && std::all_of(m_used.begin() + static_cast<std::ptrdiff_t>(p * m_width),
                                          m_used.begin() + static_cast<std::ptrdiff_t>(a * m_width),
                                          [](bool used) { return !used; }))
                return true;
        }
        return false;
    }
    // Ids in an array: three units or more that count up by one after a
    // WORD that counts them (0x61, 0x62, 0x63 read as "abc") are numbers.
    void CountedIds()
    {
        if (m_width != 2)
            return;
        for (std::size_t p = 0; p + 1 < m_units.size(); ++p) {
            const std::size_t c = m_units[p];
            if (c < 3 || c >= 0x20 || p + 1 + c > m_units.size() || !Free(p))
                continue;
            bool ids = true;
            for (std::size_t k = p + 1; k < p + 1 + c && ids; ++k)
                ids = Free(k) && (k == p + 1 || m_units[k] == m_units[k - 1] + 1);
            if (ids)
                std::fill(m_worth.begin() + static_cast<std::ptrdiff_t>(p + 1),
                          m_worth.begin() + static_cast<std::ptrdiff_t>(p + 1 + c), -1.0);
        }
        Recount();
    }
    // In an 8-bit build: a WORD a few bytes before [a, e) counts WORDs or
    // LONGs that end after zero bytes after it (the high bytes of the last
    // item; items that end with the text may as well be a BUF).
    [[nodiscard]] bool InCountedBytes(std::size_t a, std::size_t e) const
    {
        for (std::size_t p = a >= 2 ? a - 2 : 0; p + 16 >= a && p + 2 <= a; --p) {
            if (!Free(p) || !Free(p + 1))
                return false;
            const std::size_t items = m_data[p];
            const auto zero = [](std::uint8_t b) { return b == 0; };
            for (const std::size_t width : {2, 4}) {
                const std::size_t end = p + 2 + items * width;
                if (m_data[p + 1] == 0 && items > 0 && items < 0x20 && end > e && end <= m_data.size() &&
                    std::all_of(m_data.begin() + static_cast<std::ptrdiff_t>(e),
                                m_data.begin() + static_cast<std::ptrdiff_t>(end), zero))
                    return true;
            }
            if (p == 0)
                break;
        }
        return false;
    }
    // How many units from k text may hold where at most three do, before
    // one no text holds or the end; 0 where more do.
    [[nodiscard]] std::size_t Stub(std::size_t k) const
    {
        for (std::size_t j = k; j < k + 4; ++j)
            if (j >= m_units.size() || m_scripts[j] == Script::Bad || !Free(j))
                return j - k;
        return 0;
    }
    // Unit a-1, whose high byte would be the length byte, is a letter after
    // no text, of a script that [a, e) does not hold: a BUF that started
    // there would be that one letter before other scripts ("Ё😀😀").
    [[nodiscard]] bool LoneLetterBefore(std::size_t a, std::size_t e) const
    {
        if (a < 1 || !IsLetter(m_scripts[a - 1]) || (a >= 2 && Free(a - 2) && m_worth[a - 2] > 0))
            return false;
        const Script s = Group(m_scripts[a - 1]);
        return std::none_of(m_scripts.begin() + static_cast<std::ptrdiff_t>(a),
                            m_scripts.begin() + static_cast<std::ptrdiff_t>(e), [&](Script x) { return Group(x) == s; });
    }
    // The units may be an LTEXT's: control characters allowed.
    [[nodiscard]] bool Counted(std::size_t a, std::size_t b) const
    {
        return b <= m_units.size() && m_hard[b] == m_hard[a];
    }
    [[nodiscard]] static bool SameScript(char16_t x, char16_t y)
    {
        const Script s = ScriptOf(x);
        return IsLetter(s) && Group(s) == Group(ScriptOf(y));
    }
    // What a value found must be besides its score: control characters
    // and private-use signs only in an LTEXT; where not certain, letters of few scripts and not
    // 8-bit text read as 16-bit.
    static bool Acceptable(const std::u16string& units, TextKind kind, bool certain)
    {
        std::u16string shown;
        for (const char16_t u : units)
            if (kind != TextKind::Ltext || ScriptOf(u) != Script::Bad || !InLtextOnly(u))
                shown += u;
        if (shown.empty() || !LooksLike(shown, Evidence::PaddedLength))
            return false;
        if (certain)
            return true;
        // Without a length byte, only ideographs all of ASCII pairs; with
        // one, three in four.
        if (kind != TextKind::Ltext && CountingLongs(units))
            return false;
        const auto [ideographs, pairs] = AsciiPairs(shown);
        const bool ascii = kind == TextKind::Ltext ? 4 * pairs >= 3 * ideographs : pairs == ideographs;
        return ScriptsIn(shown) <= 2 && !(ideographs >= 3 && ascii);
    }
    // LONGs of one high word whose low words count up (ids in a row):
    // "【嵸】嵸" is 0x5D783010, 0x5D783011.
    static bool CountingLongs(const std::u16string& units)
    {
        if (units.size() < 4 || units.size() % 2 != 0)
            return false;
        for (std::size_t k = 2; k < units.size(); k += 2)
            if (units[k + 1] != units[1] || units[k] != units[k - 2] + 1)
                return false;
        return true;
    }
    // The units' worth as text: their values and the joins between them.
    [[nodiscard]] double Worth(std::size_t a, std::size_t b) const
    {
        return m_worthSum[b] - m_worthSum[a] + (b > a + 1 ? m_joinSum[b] - m_joinSum[a + 1] : 0);
    }
    // The prefix sums, after taken bytes changed.
    void Recount()
    {
        const std::size_t n = m_units.size();
        m_bad.assign(n + 1, 0);
        m_hard.assign(n + 1, 0);
        m_worthSum.assign(n + 1, 0);
        m_joinSum.assign(n + 1, 0);
        for (std::size_t k = 0; k < n; ++k) {
            if (!Free(k))
                m_cut[k] = true; // a taken unit joins nothing
            m_bad[k + 1] = m_bad[k] + (m_scripts[k] == Script::Bad || !Free(k) ? 1 : 0);
            m_hard[k + 1] = m_hard[k] + ((m_scripts[k] == Script::Bad && !m_control[k]) || !Free(k) ? 1 : 0);
            m_worthSum[k + 1] = m_worthSum[k] + m_worth[k];
            m_joinSum[k + 1] = m_joinSum[k] + m_join[k];
        }
    }
    // Ideographs, and how many of them have two printable ASCII bytes: in
    // 8-bit text read as 16-bit all do, in Chinese and Japanese many.
public:
    static std::pair<std::size_t, std::size_t> AsciiPairs(const std::u16string& units)
    {
        std::size_t ideographs = 0;
        std::size_t pairs = 0;
        for (const char16_t u : units) {
            if (ScriptOf(u) != Script::Han)
                continue; // kana are mostly such pairs anyway
            ++ideographs;
            if ((u & 0xFF) >= 0x20 && (u & 0xFF) < 0x7F && (u >> 8) >= 0x20 && (u >> 8) < 0x7F)
                ++pairs;
        }
        return {ideographs, pairs};
    }

private:
    // Letter scripts in the units, Latin not counted where there are three.
    static std::size_t ScriptsIn(const std::u16string& units)
    {
        std::vector<Script> seen;
        for (const char16_t u : units) {
            const Script s = ScriptOf(u);
            if (IsLetter(s) && std::find(seen.begin(), seen.end(), Group(s)) == seen.end())
                seen.push_back(Group(s));
        }
        const bool latin = std::find(seen.begin(), seen.end(), Script::Latin) != seen.end();
        return seen.size() > 2 && latin ? seen.size() - 1 : seen.size();
    }
    void Emit(std::vector<Text>& out, TextKind kind, bool certain, std::size_t start, std::size_t a, std::size_t b)
    {
        Text t;
        t.resource = m_resource;
        t.kind = kind;
        t.certain = certain;
        t.wide = m_width == 2;
        t.start = start;
        t.chars = a * m_width;
        t.text.assign(m_units.begin() + static_cast<std::ptrdiff_t>(a),
                      m_units.begin() + static_cast<std::ptrdiff_t>(b));
        t.end = b * m_width + (kind == TextKind::Text ? m_width : 0);
        for (std::size_t i = t.start; i < t.end; ++i)
            m_used[i] = true;
        if (certain)
            m_certainStart[t.start] = true;
        out.push_back(std::move(t));
    }

    std::size_t m_resource;
    std::span<const std::uint8_t> m_data;
    std::size_t m_width;
    std::vector<bool> m_used;
    std::vector<bool> m_certainStart; // [i]: a certain raw text starts at byte i
    std::vector<char16_t> m_units;
    std::vector<Script> m_scripts;
    std::vector<double> m_worth;      // each unit's worth as text
    std::vector<double> m_join;       // [k]: what joining unit k to the one before costs
    std::vector<bool> m_cut;          // [k]: a text may start or end before unit k
    std::vector<bool> m_control;      // [k]: a control character an LTEXT may hold
    std::vector<std::size_t> m_bad;   // prefix counts of units that no text holds
    std::vector<std::size_t> m_hard;  // the same, where LTEXTs may hold control characters
    std::vector<double> m_worthSum;   // prefix sums
    std::vector<double> m_joinSum;    // prefix sums
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

std::optional<std::uint8_t> UnicodeToCp1252(char16_t c)
{
    // An 8-bit build writes control characters (and a TEXT's terminator)
    // as the bytes they are; the code page's five unassigned bytes stand
    // for no character.
    if (c < 0x20 || c == 0x7F)
        return static_cast<std::uint8_t>(c);
    for (unsigned b = 0x20; b < 0x100; ++b)
        if (b != 0x7F && Cp1252ToUnicode(static_cast<std::uint8_t>(b)) == c)
            return static_cast<std::uint8_t>(b);
    return std::nullopt;
}

bool LooksLikeText(std::u16string_view units, bool withLength)
{
    return LooksLike(units, withLength ? Evidence::Length : Evidence::None);
}

double FindRawTexts(std::size_t resource, std::span<const std::uint8_t> data,
                    const std::vector<std::pair<std::size_t, std::size_t>>& taken, std::vector<Text>& out)
{
    TextParse parse(resource, data, 2, taken);
    parse.CertainLtexts(out);
    return parse.Guesses(out);
}

namespace {

// Characters of one script (besides signs and spaces) that the compiler of a
// Unicode build keeps raw: compressing them would not make them shorter.
bool KeptRaw(std::u16string_view units)
{
    if (units.size() < 2)
        return false;
    Script script = Script::Bad;
    for (const char16_t u : units) {
        const Script s = Group(ScriptOf(u));
        if (!IsLetter(s))
            continue;
        if (script != Script::Bad && s != script)
            return false;
        script = s;
    }
    const auto [ideographs, pairs] = TextParse::AsciiPairs(std::u16string(units));
    return !(ideographs >= 2 && 4 * pairs >= 3 * ideographs) && EncodeScsu(units).size() >= 2 * units.size();
}

} // namespace

bool WouldBeCompressed(const Text& t, const Resource& r,
                       const std::vector<std::pair<std::size_t, std::size_t>>& runs)
{
    if (!t.wide || t.text.empty())
        return false;
    const auto scsu = EncodeScsu(t.text);
    if (scsu.size() >= 2 * t.text.size())
        return false;
    const auto back = DecodeScsu(scsu);
    if (!back || *back != t.text)
        return false;
    const auto runLength = [](std::size_t n) -> std::size_t { return n < 0x80 ? 1 : 2; };
    // The raw bytes after it up to the next compressed run or the end.
    std::size_t next = r.data.size();
    for (const auto& [from, to] : runs)
        if (from >= t.end)
            next = std::min(next, from);
    std::size_t cost = runLength(scsu.size()) + scsu.size();
    if (next > t.end || next < r.data.size())
        cost += runLength(next - t.end);
    const std::size_t raw = 2 * t.text.size() + (t.chars - t.start) - (t.kind == TextKind::Ltext ? 1 : 0);
    return cost < raw;
}

bool ShowsUnicodeBuild(const Text& t)
{
    return t.certain || (t.wide && t.kind == TextKind::Ltext && KeptRaw(t.text));
}

void VouchForWholeResources(const std::vector<Resource>& resources, std::vector<Text>& texts)
{
    // A resource with compressed runs shows a Unicode build: no 8-bit reading.
    const bool unicodeBuild =
        std::any_of(resources.begin(), resources.end(), [](const Resource& r) { return r.compressedBit; });
    for (auto& t : texts) {
        const Resource& r = resources[t.resource - 1];
        const bool alone = std::count_if(texts.begin(), texts.end(),
                                         [&](const Text& x) { return x.resource == t.resource; }) == 1;
        if (t.certain || !t.wide || r.compressedBit || !alone || t.kind != TextKind::Buf || t.start != 0 ||
            t.end != r.data.size() || !KeptRaw(t.text))
            continue;
        // Nor do its bytes read better as 8-bit text (a narrow build's
        // LTEXTs): a character of a 16-bit text is worth one.
        std::vector<Text> narrow;
        t.certain = unicodeBuild || FindNarrowTexts(t.resource, r.data, narrow) < static_cast<double>(t.text.size());
    }
}

void GuessLastLettersLikeSiblings(const std::vector<Resource>& resources, std::vector<Text>& texts)
{
    std::vector<std::vector<const Text*>> of(resources.size());
    for (const auto& t : texts)
        if (t.wide)
            of[t.resource - 1].push_back(&t);
    for (auto& list : of)
        std::sort(list.begin(), list.end(), [](const Text* x, const Text* y) { return x->start < y->start; });
    // How the first n texts of a resource stand: where the first starts,
    // then each one's kind and the distance to the next.
    const auto layout = [](const std::vector<const Text*>& list, std::size_t n) {
        std::vector<std::size_t> out{list[0]->start};
        for (std::size_t k = 0; k < n; ++k) {
            out.push_back(static_cast<std::size_t>(list[k]->kind));
            out.push_back(k + 1 < n ? list[k + 1]->start - list[k]->end : 0);
        }
        return out;
    };
    // The layouts before a BUF that follows the last text but one right
    // away and ends its resource.
    std::set<std::vector<std::size_t>> beforeLastBuf;
    for (std::size_t r = 0; r < resources.size(); ++r) {
        const auto& theirs = of[r];
        if (theirs.size() >= 2 && theirs.back()->kind == TextKind::Buf &&
            theirs.back()->start == theirs[theirs.size() - 2]->end && theirs.back()->end == resources[r].data.size())
            beforeLastBuf.insert(layout(theirs, theirs.size() - 1));
    }
    std::vector<Text> found;
    for (std::size_t r = 0; r < resources.size(); ++r) {
        const auto& data = resources[r].data;
        const auto& mine = of[r];
        if (mine.empty() || resources[r].compressedBit || mine.back()->end % 2 != 0 ||
            mine.back()->end + 2 != data.size())
            continue;
        const auto unit = static_cast<char16_t>(data[data.size() - 2] | data[data.size() - 1] << 8);
        if (!IsLetter(ScriptOf(unit)) || !beforeLastBuf.contains(layout(mine, mine.size())))
            continue;
        Text t;
        t.resource = r + 1;
        t.start = t.chars = mine.back()->end;
        t.end = data.size();
        t.text = std::u16string(1, unit);
        found.push_back(std::move(t));
    }
    texts.insert(texts.end(), found.begin(), found.end());
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

double FindNarrowTexts(std::size_t resource, std::span<const std::uint8_t> data, std::vector<Text>& out)
{
    TextParse parse(resource, data, 1, {});
    return parse.Guesses(out);
}

} // namespace tavolin::resource
