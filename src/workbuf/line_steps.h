#pragma once
// The pixels of a canvas line: Bresenham's stepping from the current position
// towards the end point, which is left out. Shared by every canvas so that
// the screen and the raster used in tests agree pixel for pixel.
#include <cstdint>
#include <cstdlib>

namespace vocalith::workbuf {

// Calls plot(x, y) for each pixel from (x0, y0) up to but not including
// (x1, y1) that lies inside 0 <= x < width, 0 <= y < height. The arithmetic
// is 64-bit, so far-apart end points cannot overflow; both coordinates move
// monotonically, so stepping stops once the line has left the area in its
// direction of travel.
template <typename Plot>
void StepLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t width, int64_t height,
              Plot&& plot) {
    int64_t cx = x0;
    int64_t cy = y0;
    const int64_t dx = std::llabs(x1 - cx);
    const int64_t dy = -std::llabs(y1 - cy);
    const int64_t sx = cx < x1 ? 1 : (cx > x1 ? -1 : 0);
    const int64_t sy = cy < y1 ? 1 : (cy > y1 ? -1 : 0);
    int64_t err = dx + dy;
    const auto beyond = [](int64_t c, int64_t step, int64_t size) {
        return (step >= 0 && c >= size) || (step <= 0 && c < 0);
    };
    while ((cx != x1 || cy != y1) && !beyond(cx, sx, width) && !beyond(cy, sy, height)) {
        if (cx >= 0 && cx < width && cy >= 0 && cy < height) plot(cx, cy);
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            cx += sx;
        }
        if (e2 <= dx) {
            err += dx;
            cy += sy;
        }
    }
}

}  // namespace vocalith::workbuf
