#include "workbuf/raster_canvas.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "workbuf/line_steps.h"

namespace vocalith::workbuf {

namespace {

// The pixels of a span of rows or columns; none when it is empty or inverted.
// At most 2^32 - 1, so the product of two fits in 64 bits.
uint64_t Span(int64_t from, int64_t to) {
    return to > from ? static_cast<uint64_t>(to - from) : 0;
}

}  // namespace

RasterCanvas::RasterCanvas(int32_t width, int32_t height, Colour background)
    : width_(std::max<int32_t>(width, 0)),
      height_(std::max<int32_t>(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), background) {}

bool RasterCanvas::Inside(int64_t x, int64_t y) const {
    return x >= 0 && x < width_ && y >= 0 && y < height_;
}

void RasterCanvas::CountOutside(uint64_t pixels) {
    const uint64_t room = std::numeric_limits<uint64_t>::max() - outside_;
    outside_ += std::min(pixels, room);
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
    const uint64_t whole = Span(rect.left, rect.right) * Span(rect.top, rect.bottom);
    CountOutside(whole - Span(left, right) * Span(top, bottom));
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
    uint64_t inside = 0;
    StepLine(x_, y_, x, y, width_, height_, [this, &inside](int64_t px, int64_t py) {
        pixels_[static_cast<size_t>(py) * width_ + px] = pen_.colour;
        ++inside;
    });
    // Bresenham's line takes one step along its longer axis per pixel, so it
    // has that many pixels without its end point; the ones not plotted fell
    // outside, including those past where stepping stopped.
    const auto dx = static_cast<uint64_t>(std::llabs(int64_t{x} - x_));
    const auto dy = static_cast<uint64_t>(std::llabs(int64_t{y} - y_));
    CountOutside(std::max(dx, dy) - inside);
    x_ = x;
    y_ = y;
}

void RasterCanvas::SetPixel(int32_t x, int32_t y, Colour colour) {
    if (Inside(x, y)) {
        pixels_[static_cast<size_t>(y) * width_ + x] = colour;
    } else {
        CountOutside(1);
    }
}

Colour RasterCanvas::PixelAt(int32_t x, int32_t y, Colour outside) const {
    if (!Inside(x, y)) return outside;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

}  // namespace vocalith::workbuf
