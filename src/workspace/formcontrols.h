#pragma once

#include <QString>

class ClickLabel;
class QLabel;
class QPushButton;
class QWidget;

namespace varnel
{

// Design measures of the notes window are in twips; 15 twips make a pixel.
inline int px(int twips)
{
    return (twips + 7) / 15;
}

// Controls of the notes window at their design places (twips), named for
// lookup by their control names.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int left,
                        int top, int width, int height);
// Labels keep their design place; they are at least one text line high and
// stay inside the window.
void placeLabel(QLabel *label, int left, int top, int width, int height);
QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, int left, int top,
                  int width, int height);
ClickLabel *makeClickLabel(QWidget *parent, const char *name, const QString &caption, int left,
                           int top, int width, int height);

} // namespace varnel
