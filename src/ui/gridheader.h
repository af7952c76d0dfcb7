#pragma once

#include <QHeaderView>

namespace tavolin {

// The grid's column titles. QHeaderView paints a section by asking whether
// its column is selected, and as key cells are not selectable, Qt walks every
// row for that on each repaint: a cursor move in a grid of 800,000 rows would
// cost milliseconds. Titles here never show a selection, so they are painted
// without asking.
class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit GridHeader(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

} // namespace tavolin
