#include "codec/reader.h"

#include <cstdint>

#include "codec/bytefile.h"
#include "codec/charconv.h"

namespace tavolin {

namespace {

constexpr std::uint8_t kStringMarker = 171;

void AppendDecimal(std::string& text, std::uint8_t value)
{
    if (value >= 100)
        text.push_back(static_cast<char>('0' + value / 100));
    if (value >= 10)
        text.push_back(static_cast<char>('0' + value / 10 % 10));
    text.push_back(static_cast<char>('0' + value % 10));
}

} // namespace

void ScanResourceFile(const std::string& fileName, StringTable& vle, StringTable& vle2,
                      StringTable& vle3)
{
    ByteFile file(fileName);

    std::uint8_t currentByte = 0;
    std::uint8_t lastByte = 0;
    std::uint8_t byteBeforeLast = 0;
    // Bytes read since the start or since the last string, up to 2: the two
    // look-behind bytes before them are no gap bytes.
    std::uint8_t holdBackCount = 0;
    std::uint8_t scanPhase = 1;
    std::int32_t stringNumber = 0;
    std::string accumulator;

    while (!file.Eof()) {
        currentByte = file.ReadByte();
        if (holdBackCount == 2) {
            AppendDecimal(accumulator, byteBeforeLast);
            accumulator.push_back(' ');
        } else {
            ++holdBackCount;
        }
        if (currentByte == kStringMarker) {
            vle2.AppendEntry(scanPhase == 1 ? "0" : std::to_string(stringNumber), accumulator);
            scanPhase = 2;
            accumulator.clear();
            const std::uint8_t length = lastByte;
            for (int i = 0; i < length; ++i) {
                const std::uint8_t low = file.ReadByte();
                const std::uint8_t high = file.ReadByte();
                currentByte = DecodeChar(low, high);
                if (currentByte != 0)
                    accumulator.push_back(static_cast<char>(currentByte));
            }
            ++stringNumber;
            const std::string id = std::to_string(stringNumber);
            vle3.AppendEntry(id, std::to_string(length));
            vle.AppendEntry(id, accumulator);
            accumulator.clear();
            holdBackCount = 0;
        }
        byteBeforeLast = lastByte;
        lastByte = currentByte;
    }

    if (holdBackCount == 2) {
        AppendDecimal(accumulator, byteBeforeLast);
        accumulator.push_back(' ');
    }
    if (holdBackCount >= 1)
        AppendDecimal(accumulator, lastByte);
    vle2.AppendEntry(std::to_string(stringNumber), accumulator);
    file.Close();
}

} // namespace tavolin
