#pragma once

#include <QtGlobal>

// The window's design measures are in twips; 15 twips make one pixel.
inline constexpr double kTwipsPerPixel = 15.0;

// The nearest whole pixel to a measure in twips.
inline int px(double twips)
{
    return qRound(twips / kTwipsPerPixel);
}
