// The compressed-Unicode codec over arbitrary bytes: any bytes decode or
// are refused without harm, and what decodes encodes to bytes that decode
// back to it; the input read as UTF-16 units (little-endian pairs) encodes
// to bytes that decode back to those units, so the encoder never writes a
// reserved tag where a tag stands, and never more than three bytes a unit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fuzzcheck.h"
#include "resource/scsu.h"

using namespace tavolin;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const std::optional<std::u16string> decoded = resource::DecodeScsu(input);
    if (decoded)
        Check(resource::DecodeScsu(resource::EncodeScsu(*decoded)) == decoded,
              "a decoded text does not come back through the encoder");

    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    const auto encoded = resource::EncodeScsu(units);
    Check(encoded.size() <= 3 * units.size(), "the encoding is longer than quoting every unit");
    Check(resource::DecodeScsu(encoded) == std::optional<std::u16string>(units),
          "an encoded text does not decode to itself");
    return 0;
}
