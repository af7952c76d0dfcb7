#include "ui/windowicon.h"

#include <QPainter>
#include <QPixmap>

namespace tavolin {

QIcon WindowIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Sheet with a title row.
    p.setPen(QColor(40, 60, 110));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(2, 3, 27, 26);
    p.fillRect(3, 4, 26, 5, QColor(70, 110, 180));
    // Key column divider and rows.
    p.setPen(QColor(170, 175, 190));
    p.drawLine(10, 9, 10, 28);
    for (int y = 14; y < 29; y += 5)
        p.drawLine(3, y, 28, y);
    // The row being edited, with its text and caret.
    p.fillRect(11, 15, 18, 4, QColor(255, 214, 120));
    p.setPen(QColor(30, 30, 30));
    p.drawLine(13, 17, 22, 17);
    p.setPen(QColor(200, 40, 40));
    p.drawLine(24, 15, 24, 19);
    // Pencil across the corner.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 160, 40));
    const QPoint pencil[] = {{20, 30}, {31, 19}, {31, 22}, {22, 31}};
    p.drawPolygon(pencil, 4);
    p.setBrush(QColor(60, 60, 60));
    const QPoint tip[] = {{18, 31}, {20, 30}, {22, 31}};
    p.drawPolygon(tip, 3);
    p.end();
    return QIcon(pixmap);
}

} // namespace tavolin
