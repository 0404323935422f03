#pragma once

#include <QPoint>
#include <QRect>

// The reminder pop-up's geometry, kept in twips (15 per pixel) so the
// slide-in stops by the same rule on every screen: the pop-up starts just
// below the screen's bottom edge, flush with its right edge, rises 100 twips a
// step and stops at the first step where its bottom edge is more than 300
// twips above the screen's bottom (so at most 400).
namespace varnel::ring
{

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kStepTwips = 100;
inline constexpr int kClearanceTwips = 300;

constexpr int toTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}
// Rounded to the nearest pixel, halves away from zero.
constexpr int toPixels(int twips)
{
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

struct Step {
    int top;   // twips
    bool done; // high enough: the slide-in ends here
};

// Where the pop-up loads: Left, Top in twips, for a screen given in pixels.
constexpr QPoint startPosition(const QRect &screen, int widthTwips)
{
    return {toTwips(screen.x() + screen.width()) - widthTwips,
            toTwips(screen.y() + screen.height())};
}

// One tick of the slide-in from the current Top.
constexpr Step nextStep(int top, const QRect &screen, int heightTwips)
{
    const int newTop = top - kStepTwips;
    const int stopLine = toTwips(screen.y() + screen.height()) - heightTwips - kClearanceTwips;
    return {newTop, stopLine > newTop};
}

} // namespace varnel::ring
