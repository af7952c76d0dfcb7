#include "ui/windowicon.h"

#include <QString>

namespace tavolin {

QIcon WindowIcon()
{
    // Rendered from data/tavolin.svg at build time and compiled in, the same
    // pictures the desktop shows in its menu.
    QIcon icon;
    for (const int size : kWindowIconSizes)
        icon.addFile(QStringLiteral(":/icons/%1x%1/tavolin.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace tavolin
