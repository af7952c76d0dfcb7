#pragma once

#include <QIcon>

namespace tavolin {

// The window's own 32 x 32 icon: a small two-column grid with one row being
// retyped.
[[nodiscard]] QIcon WindowIcon();

} // namespace tavolin
