#include "ui/gridheader.h"

#include <QPainter>
#include <QStyleOptionHeader>

namespace tavolin {

GridHeader::GridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setHighlightSections(false);
    setSectionsClickable(false);
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid() || model() == nullptr)
        return;
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const int visual = visualIndex(logicalIndex);
    opt.position = count() == 1 ? QStyleOptionHeader::OnlyOneSection
                   : visual == 0 ? QStyleOptionHeader::Beginning
                   : visual == count() - 1 ? QStyleOptionHeader::End
                                           : QStyleOptionHeader::Middle;
    opt.selectedPosition = QStyleOptionHeader::NotAdjacent;
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
}

} // namespace tavolin
