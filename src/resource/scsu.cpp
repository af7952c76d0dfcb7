#include "resource/scsu.h"

#include <array>
#include <cstddef>
#include <deque>

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
        if (b >= kSQ0 && b < kSQ0 + kWindows) {
            if (!Next(arg))
                return false;
            const int n = b - kSQ0;
            Append(out_, arg < 0x80 ? kStaticWindows[n] + arg : windows_[n] + (arg - 0x80));
            return true;
        }
        if (b >= kSC0 && b < kSC0 + kWindows) {
            active_ = b - kSC0;
            return true;
        }
        if (b >= kSD0 && b < kSD0 + kWindows) {
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
        default: // kReservedSingle: the platform refuses it
            return false;
        }
    }

    bool UnicodeStep()
    {
        std::uint8_t b = 0;
        static_cast<void>(Next(b));
        std::uint8_t arg = 0;
        if (b >= kUC0 && b < kUC0 + kWindows) {
            active_ = b - kUC0;
            unicodeMode_ = false;
            return true;
        }
        if (b >= kUD0 && b < kUD0 + kWindows) {
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

} // namespace

std::optional<std::u16string> DecodeScsu(std::span<const std::uint8_t> bytes)
{
    return Decoder(bytes).Run();
}

std::vector<std::uint8_t> EncodeScsu(std::u16string_view /*units*/)
{
    return {};
}

} // namespace tavolin::resource
