#include "resource/scsu.h"

namespace tavolin::resource {

std::optional<std::u16string> DecodeScsu(std::span<const std::uint8_t> /*bytes*/)
{
    return std::nullopt;
}

std::vector<std::uint8_t> EncodeScsu(std::u16string_view /*units*/)
{
    return {};
}

} // namespace tavolin::resource
