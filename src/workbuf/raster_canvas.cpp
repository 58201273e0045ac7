#include "workbuf/raster_canvas.h"

#include <algorithm>
#include <cstdlib>

namespace vocalith::workbuf {

RasterCanvas::RasterCanvas(int32_t width, int32_t height, Colour background)
    : width_(std::max<int32_t>(width, 0)),
      height_(std::max<int32_t>(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), background) {}

bool RasterCanvas::Inside(int64_t x, int64_t y) const {
    return x >= 0 && x < width_ && y >= 0 && y < height_;
}

void RasterCanvas::FillSolidRect(const Rect& rect, Colour colour) {
    const int32_t left = std::max<int32_t>(rect.left, 0);
    const int32_t top = std::max<int32_t>(rect.top, 0);
    const int32_t right = std::min(rect.right, width_);
    const int32_t bottom = std::min(rect.bottom, height_);
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) {
            pixels_[static_cast<size_t>(y) * width_ + x] = colour;
        }
    }
}

Pen RasterCanvas::SelectPen(const Pen& pen) {
    const Pen previous = pen_;
    pen_ = pen;
    return previous;
}

void RasterCanvas::MoveTo(int32_t x, int32_t y) {
    x_ = x;
    y_ = y;
}

void RasterCanvas::LineTo(int32_t x, int32_t y) {
    // Bresenham in 64 bits so that far-apart end points cannot overflow.
    int64_t cx = x_;
    int64_t cy = y_;
    const int64_t dx = std::llabs(static_cast<int64_t>(x) - cx);
    const int64_t dy = -std::llabs(static_cast<int64_t>(y) - cy);
    const int64_t sx = cx < x ? 1 : (cx > x ? -1 : 0);
    const int64_t sy = cy < y ? 1 : (cy > y ? -1 : 0);
    int64_t err = dx + dy;
    // Both coordinates move monotonically (or not at all), so once the line
    // lies beyond an edge in its direction of travel it sets no more pixels.
    const auto beyond = [](int64_t c, int64_t step, int64_t size) {
        return (step >= 0 && c >= size) || (step <= 0 && c < 0);
    };
    const auto gone = [&] { return beyond(cx, sx, width_) || beyond(cy, sy, height_); };
    while ((cx != x || cy != y) && !gone()) {
        if (Inside(cx, cy)) pixels_[static_cast<size_t>(cy) * width_ + cx] = pen_.colour;
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
    x_ = x;
    y_ = y;
}

void RasterCanvas::SetPixel(int32_t x, int32_t y, Colour colour) {
    if (Inside(x, y)) pixels_[static_cast<size_t>(y) * width_ + x] = colour;
}

Colour RasterCanvas::PixelAt(int32_t x, int32_t y, Colour outside) const {
    if (!Inside(x, y)) return outside;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

}  // namespace vocalith::workbuf
