#include "app/screen_fit.h"

#include <algorithm>

namespace vocalith::app {

ScreenFit FitToScreen(int intendedPixels, int widthUnits, int heightUnits, int roomWidth,
                      int roomHeight, const std::function<DialogUnits(int)>& unitsAt) {
    ScreenFit fit;
    const int smallest = std::min(intendedPixels, MIN_DIALOG_FONT_PIXELS);
    for (int px = intendedPixels; px >= smallest; --px) {
        fit.pixelSize = px;
        fit.units = unitsAt(px);
        fit.fits = fit.units.X(widthUnits) + FRAME_ALLOWANCE_WIDTH <= roomWidth &&
                   fit.units.Y(heightUnits) + FRAME_ALLOWANCE_HEIGHT <= roomHeight;
        if (fit.fits) break;
    }
    return fit;
}

}  // namespace vocalith::app
