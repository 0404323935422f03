#pragma once

#include <QPixmap>

// The desktop pictures, drawn in code so they scale with nothing and need no
// files beside the program.
namespace varnel
{

// The program icon: a small blue notebook, 24 x 24 for the tray, or drawn at
// another size (the desktop menu's icon).
QPixmap programIcon(int size = 24);

// The face of the reminder pop-up at the pop-up's size (256 x 158): an empty
// message frame with a blue title strip and a red close button in the top
// right corner, whose square (224, 0, 25 x 25) lies under the pop-up's close
// spot. The frame runs along the picture's edges, so it is drawn whole only
// at exactly the size of the window.
QPixmap ringFace(QSize size);

} // namespace varnel
