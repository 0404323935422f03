#include "formcontrols.h"

#include "clicklabel.h"

#include <QPushButton>

#include <algorithm>

namespace varnel
{

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int left,
                        int top, int width, int height)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(px(left), px(top), px(width), px(height));
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

void placeLabel(QLabel *label, int left, int top, int width, int height)
{
    const int h = std::max(px(height), 16);
    const int y = std::min(px(top) - (h - px(height)) / 2, label->parentWidget()->height() - 1 - h);
    label->setGeometry(px(left), y, px(width), h);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, int left, int top,
                  int width, int height)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    placeLabel(l, left, top, width, height);
    return l;
}

ClickLabel *makeClickLabel(QWidget *parent, const char *name, const QString &caption, int left,
                           int top, int width, int height)
{
    auto *l = new ClickLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    placeLabel(l, left, top, width, height);
    return l;
}

} // namespace varnel
