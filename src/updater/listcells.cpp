#include "listcells.h"
#include "twips.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace
{
constexpr double kBarInsetTwips = 20.0;
constexpr int kHiddenAboveTop = 3;
} // namespace

bool GetListSubItemRect(const QTreeWidget *list, int item, int subItem, QRect &rect)
{
    const QTreeWidgetItem *row = list->topLevelItem(item);
    if (!row || subItem < 0 || subItem >= list->columnCount())
        return false;
    const QRect inViewport = list->visualItemRect(row);
    const QHeaderView *header = list->header();
    const int x = header->sectionViewportPosition(subItem);
    const QPoint origin = list->viewport()->geometry().topLeft() - list->contentsRect().topLeft();
    rect = QRect(x, inViewport.top(), header->sectionSize(subItem), inViewport.height())
               .translated(origin);
    return true;
}

BarPlacement barPlacement(const QRect &cell)
{
    const double width = cell.width() * kTwipsPerPixel;
    const double height = cell.height() * kTwipsPerPixel;
    const double barHeight = height / 2;
    const double left = cell.left() * kTwipsPerPixel + kBarInsetTwips;
    const double top = (height - barHeight) / 2 + cell.top() * kTwipsPerPixel;
    BarPlacement placement;
    placement.geometry = QRect(px(left), px(top), px(width - kBarInsetTwips), px(barHeight));
    placement.visible = cell.top() > kHiddenAboveTop;
    return placement;
}
