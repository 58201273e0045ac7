#pragma once
// The size a dialog opens at on a given screen: the dialog font as intended
// where the whole template fits the screen's free area, else the largest
// smaller font with which it does. Pure logic: the caller measures fonts.
#include <functional>

#include "app/dialog_template.h"

namespace vocalith::app {

// The smallest dialog font tried, in pixels.
inline constexpr int MIN_DIALOG_FONT_PIXELS = 5;
// Room kept free around a window for the window manager's frame and title bar.
inline constexpr int FRAME_ALLOWANCE_WIDTH = 8;
inline constexpr int FRAME_ALLOWANCE_HEIGHT = 32;

struct ScreenFit {
    int pixelSize = 0;  // of the dialog font
    DialogUnits units;  // of the dialog
    bool fits = false;  // false: even the smallest font needs more room
};

// Where a dialog of `widthUnits` by `heightUnits` dialog units with the
// font at `intendedPixels`, plus the frame allowance, fits into `roomWidth`
// by `roomHeight` pixels (a screen's free area), that font and its units.
// Otherwise the dialog is scaled down, both ways alike, to the largest
// units that fit, and gets the largest font size whose texts fit their
// controls with those units. `unitsAt(px)` gives the units with which
// every text fits its control in the dialog font at px pixels. When no
// size down to MIN_DIALOG_FONT_PIXELS fits, the smallest is chosen with
// the units it needs.
ScreenFit FitToScreen(int intendedPixels, int widthUnits, int heightUnits, int roomWidth,
                      int roomHeight, const std::function<DialogUnits(int)>& unitsAt);

}  // namespace vocalith::app
