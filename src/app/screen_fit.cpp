#include "app/screen_fit.h"

#include <algorithm>
#include <cmath>

namespace vocalith::app {

ScreenFit FitToScreen(int intendedPixels, int widthUnits, int heightUnits, int roomWidth,
                      int roomHeight, const std::function<DialogUnits(int)>& unitsAt) {
    const auto fits = [&](const DialogUnits& u) {
        return u.X(widthUnits) + FRAME_ALLOWANCE_WIDTH <= roomWidth &&
               u.Y(heightUnits) + FRAME_ALLOWANCE_HEIGHT <= roomHeight;
    };
    const DialogUnits intended = unitsAt(intendedPixels);
    if (fits(intended)) return {intendedPixels, intended, true};

    // The intended layout scaled down to the room, in steps of a
    // sixty-fourth of a pixel so that rounding never oversteps it.
    const double scale =
        std::min((roomWidth - FRAME_ALLOWANCE_WIDTH) * 4.0 / (intended.charWidth * widthUnits),
                 (roomHeight - FRAME_ALLOWANCE_HEIGHT) * 8.0 / (intended.charHeight * heightUnits));
    DialogUnits room{std::floor(intended.charWidth * scale * 64) / 64,
                     std::floor(intended.charHeight * scale * 64) / 64};
    while (!fits(room) && room.charWidth > 0 && room.charHeight > 0) {
        room.charWidth -= 1.0 / 64;
        room.charHeight -= 1.0 / 64;
    }
    for (int px = intendedPixels - 1; px >= MIN_DIALOG_FONT_PIXELS; --px) {
        const DialogUnits needed = unitsAt(px);
        if (needed.charWidth <= room.charWidth && needed.charHeight <= room.charHeight) {
            return {px, room, true};
        }
    }
    const int smallest = std::min(intendedPixels, MIN_DIALOG_FONT_PIXELS);
    return {smallest, unitsAt(smallest), false};
}

}  // namespace vocalith::app
