#include "resource/scsu.h"

#include <array>
#include <cstddef>
#include <deque>
#include <utility>

namespace tavolin::resource {

namespace {

// Tag bytes of single-byte mode.
constexpr std::uint8_t kSQ0 = 0x01; // SQ0..SQ7: quote one character from window n
constexpr std::uint8_t kSDX = 0x0B; // define an extended (supplementary) window
constexpr std::uint8_t kReservedSingle = 0x0C;
constexpr std::uint8_t kSQU = 0x0E; // quote one UTF-16 unit
constexpr std::uint8_t kSCU = 0x0F; // change to Unicode mode
constexpr std::uint8_t kSC0 = 0x10; // SC0..SC7: change to dynamic window n
constexpr std::uint8_t kSD0 = 0x18; // SD0..SD7: define dynamic window n and change to it

// Tag bytes of Unicode mode: any other high byte starts a big-endian unit.
constexpr std::uint8_t kUC0 = 0xE0; // UC0..UC7: change to window n, single-byte mode
constexpr std::uint8_t kUD0 = 0xE8; // UD0..UD7: define window n, single-byte mode
constexpr std::uint8_t kUQU = 0xF0; // quote one UTF-16 unit
constexpr std::uint8_t kUDX = 0xF1; // define an extended window, single-byte mode
constexpr std::uint8_t kReservedUnicode = 0xF2;

constexpr int kWindows = 8;
constexpr std::array<char32_t, kWindows> kStaticWindows{0x0000, 0x0080, 0x0100, 0x0300,
                                                        0x2000, 0x2080, 0x2100, 0x3000};
constexpr std::array<char32_t, kWindows> kDefaultWindows{0x0080, 0x00C0, 0x0400, 0x0600,
                                                         0x0900, 0x3040, 0x30A0, 0xFF00};
// Window offsets F9..FF name these bases instead of a multiple of 0x80.
constexpr std::uint8_t kFirstSpecialOffset = 0xF9;
constexpr std::array<char32_t, 7> kSpecialBases{0x00C0, 0x0250, 0x0370, 0x0530, 0x3040, 0x30A0, 0xFF60};
constexpr char32_t kWindowSize = 0x80;

// One of the eight tags first..first+7 (one per window).
bool Among(std::uint8_t b, std::uint8_t first)
{
    return b >= first && b < first + kWindows;
}

// The base a window offset byte names. The reserved offsets (00, A8..F8)
// name base 0, as the platform's expander reads them: no error.
char32_t WindowBase(std::uint8_t offset)
{
    if (offset >= kFirstSpecialOffset)
        return kSpecialBases[offset - kFirstSpecialOffset];
    if (offset >= 0x01 && offset <= 0x67)
        return offset * kWindowSize;
    if (offset >= 0x68 && offset <= 0xA7)
        return offset * kWindowSize + 0xAC00;
    return 0;
}

// The base of an extended window from the two argument bytes of SDX/UDX
// (the top three bits of the first name the window).
char32_t ExtendedBase(std::uint8_t high, std::uint8_t low)
{
    return 0x10000 + (((static_cast<char32_t>(high & 0x1F) << 8) | low) * kWindowSize);
}

void Append(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

class Decoder {
public:
    explicit Decoder(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::optional<std::u16string> Run()
    {
        while (pos_ < bytes_.size()) {
            const bool ok = unicodeMode_ ? UnicodeStep() : SingleByteStep();
            if (!ok)
                return std::nullopt;
        }
        return out_;
    }

private:
    bool Next(std::uint8_t& b)
    {
        if (pos_ >= bytes_.size())
            return false;
        b = bytes_[pos_++];
        return true;
    }

    bool SingleByteStep()
    {
        std::uint8_t b = 0;
        static_cast<void>(Next(b));
        if (b >= 0x80) {
            Append(out_, windows_[active_] + (b - 0x80));
            return true;
        }
        // NUL, TAB, LF, CR and the printable range stand for themselves;
        // every other byte below 0x20 is a tag.
        if (b >= 0x20 || b == 0x00 || b == 0x09 || b == 0x0A || b == 0x0D) {
            out_ += static_cast<char16_t>(b);
            return true;
        }
        std::uint8_t arg = 0;
        if (Among(b, kSQ0)) {
            if (!Next(arg))
                return false;
            const int n = b - kSQ0;
            Append(out_, arg < 0x80 ? kStaticWindows[n] + arg : windows_[n] + (arg - 0x80));
            return true;
        }
        if (Among(b, kSC0)) {
            active_ = b - kSC0;
            return true;
        }
        if (Among(b, kSD0)) {
            if (!Next(arg))
                return false;
            active_ = b - kSD0;
            windows_[active_] = WindowBase(arg);
            return true;
        }
        switch (b) {
        case kSDX:
            return DefineExtended();
        case kSQU:
            return Quote();
        case kSCU:
            unicodeMode_ = true;
            return true;
        case kReservedSingle: // the platform refuses it
        default:
            return false;
        }
    }

    bool UnicodeStep()
    {
        std::uint8_t b = 0;
        static_cast<void>(Next(b));
        std::uint8_t arg = 0;
        if (Among(b, kUC0)) {
            active_ = b - kUC0;
            unicodeMode_ = false;
            return true;
        }
        if (Among(b, kUD0)) {
            if (!Next(arg))
                return false;
            active_ = b - kUD0;
            windows_[active_] = WindowBase(arg);
            unicodeMode_ = false;
            return true;
        }
        switch (b) {
        case kUQU:
            return Quote();
        case kUDX:
            unicodeMode_ = false;
            return DefineExtended();
        case kReservedUnicode:
            return false;
        default:
            if (!Next(arg))
                return false;
            out_ += static_cast<char16_t>((b << 8) | arg);
            return true;
        }
    }

    bool Quote()
    {
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        if (!Next(high) || !Next(low))
            return false;
        out_ += static_cast<char16_t>((high << 8) | low);
        return true;
    }

    bool DefineExtended()
    {
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        if (!Next(high) || !Next(low))
            return false;
        active_ = high >> 5;
        windows_[active_] = ExtendedBase(high, low);
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    std::array<char32_t, kWindows> windows_ = kDefaultWindows;
    int active_ = 0;
    bool unicodeMode_ = false;
    std::u16string out_;
};

// How the compiler's compressor would write a character, its "treatment".
// Values 0x01..0xFF are the window offset byte of the half-block that holds
// the character; the others are these.
constexpr int kAscii = 0x100;   // stands for itself in single-byte mode
constexpr int kStatic0 = 0x200; // kStatic0 + k: inside static window k
constexpr int kPlain = kStatic0 + kWindows; // no window fits: Unicode mode, or quoted

bool IsPassThrough(char16_t c)
{
    return c == 0x00 || c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c < 0x80);
}

bool Inside(char32_t c, char32_t base)
{
    return c >= base && c < base + kWindowSize;
}

int TreatmentOf(char16_t c)
{
    if (IsPassThrough(c))
        return kAscii;
    // Ideographs, Hangul and surrogates are left to Unicode mode: a window
    // of 128 would hold too few of them to pay.
    const bool windowable = c >= 0x80 && (c < 0x3400 || c >= 0xE000);
    if (windowable) {
        // The special bases first and in order: katakana 30A0..30BF goes to
        // the hiragana window 3040, as the compiler chooses.
        for (std::size_t i = 0; i < kSpecialBases.size(); ++i) {
            if (Inside(c, kSpecialBases[i]))
                return kFirstSpecialOffset + static_cast<int>(i);
        }
        return static_cast<int>((c < 0x3400 ? c : c - 0xAC00) / kWindowSize);
    }
    // Only controls can be left in a static window (window 0).
    for (int k = 0; k < kWindows; ++k) {
        if (Inside(c, kStaticWindows[k]))
            return kStatic0 + k;
    }
    return kPlain;
}

// The compiler's compressor: characters wait in a queue of four, so that a
// mode or window change is made only for a run of at least two characters
// that need it; a lone character is quoted instead.
class Encoder {
public:
    void Add(char16_t c)
    {
        queue_.push_back(c);
        if (queue_.size() == kQueueSize)
            Step();
    }

    std::vector<std::uint8_t> Finish()
    {
        while (!queue_.empty())
            Step();
        return std::move(out_);
    }

private:
    static constexpr std::size_t kQueueSize = 4;

    void Step()
    {
        if (!unicodeMode_) {
            while (!queue_.empty() &&
                   (TreatmentOf(queue_.front()) == kAscii || Inside(queue_.front(), windows_[active_])))
                WriteFront();
        }
        if (queue_.empty())
            return;
        const int treatment = TreatmentOf(queue_.front());
        std::size_t run = 1;
        while (run < queue_.size() && TreatmentOf(queue_[run]) == treatment)
            ++run;
        if (run > 1)
            Select(treatment);
        for (std::size_t i = 0; i < run; ++i)
            WriteFront();
    }

    void Select(int treatment)
    {
        if (treatment == kPlain) {
            if (!unicodeMode_)
                Put(kSCU);
            unicodeMode_ = true;
            return;
        }
        if (treatment == kAscii) {
            if (unicodeMode_)
                Put(kUC0 + active_);
            unicodeMode_ = false;
            return;
        }
        if (treatment >= kStatic0)
            return;
        const auto offset = static_cast<std::uint8_t>(treatment);
        const char32_t base = WindowBase(offset);
        for (int k = 0; k < kWindows; ++k) {
            if (windows_[k] != base)
                continue;
            // Never the active window in single-byte mode: its characters
            // were written before the run was taken.
            Put((unicodeMode_ ? kUC0 : kSC0) + k);
            active_ = k;
            unicodeMode_ = false;
            return;
        }
        // The compiler always takes window 4 for a new base.
        constexpr int kRedefined = 4;
        Put((unicodeMode_ ? kUD0 : kSD0) + kRedefined);
        Put(offset);
        windows_[kRedefined] = base;
        active_ = kRedefined;
        unicodeMode_ = false;
    }

    void WriteFront()
    {
        Write(queue_.front());
        queue_.pop_front();
    }

    void Write(char16_t c)
    {
        if (unicodeMode_) {
            // A high byte of E0..F2 would read as a tag.
            if (c >= 0xE000 && c <= 0xF2FF)
                Put(kUQU);
            PutUnit(c);
            return;
        }
        const int treatment = TreatmentOf(c);
        if (treatment == kAscii) {
            Put(static_cast<int>(c));
            return;
        }
        if (treatment >= kStatic0 && treatment < kPlain) {
            const int k = treatment - kStatic0;
            Put(kSQ0 + k);
            Put(static_cast<int>(c - kStaticWindows[k]));
            return;
        }
        if (Inside(c, windows_[active_])) {
            Put(static_cast<int>(0x80 + (c - windows_[active_])));
            return;
        }
        for (int k = 0; k < kWindows; ++k) {
            if (Inside(c, windows_[k])) {
                Put(kSQ0 + k);
                Put(static_cast<int>(0x80 + (c - windows_[k])));
                return;
            }
        }
        Put(kSQU);
        PutUnit(c);
    }

    void Put(int byte) { out_.push_back(static_cast<std::uint8_t>(byte)); }
    void PutUnit(char16_t c)
    {
        Put(c >> 8);
        Put(c & 0xFF);
    }

    std::deque<char16_t> queue_;
    std::array<char32_t, kWindows> windows_ = kDefaultWindows;
    int active_ = 0;
    bool unicodeMode_ = false;
    std::vector<std::uint8_t> out_;
};

} // namespace

std::optional<std::u16string> DecodeScsu(std::span<const std::uint8_t> bytes)
{
    return Decoder(bytes).Run();
}

std::vector<std::uint8_t> EncodeScsu(std::u16string_view units)
{
    Encoder encoder;
    for (const char16_t c : units)
        encoder.Add(c);
    return encoder.Finish();
}

} // namespace tavolin::resource
