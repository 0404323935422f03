#pragma once

#include <QRect>

class QTreeWidget;

// The rectangle of one cell (row item, column subItem) of a report-view list
// in the list's client coordinates, where the header starts at the top: the
// first row's top is the header's height. False when there is no such cell.
bool GetListSubItemRect(const QTreeWidget *list, int item, int subItem, QRect &rect);

// Where a row's progress bar lies over its cell: 20 twips in from the cell's
// left edge, flush with its right edge, half the row's height, centred
// vertically. Shown only while the cell's top is more than 3 pixels down.
struct BarPlacement {
    QRect geometry;
    bool visible = false;
};
BarPlacement barPlacement(const QRect &cell);
