#include "workbuf/raster_canvas.h"

#include <algorithm>

#include "workbuf/line_steps.h"

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
    StepLine(x_, y_, x, y, width_, height_, [this](int64_t px, int64_t py) {
        pixels_[static_cast<size_t>(py) * width_ + px] = pen_.colour;
    });
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
