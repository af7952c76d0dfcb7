#pragma once

#include <array>

#include <QIcon>

namespace tavolin {

// The sizes at which the program's icon is compiled into the program.
inline constexpr std::array<int, 5> kWindowIconSizes{16, 32, 48, 128, 256};

// The window's own icon: the program's icon, a two-column grid with one row
// being retyped.
[[nodiscard]] QIcon WindowIcon();

} // namespace tavolin
