#pragma once
// The drawing surface the waveform view paints on: a solid rectangle fill,
// 1-pixel pens, lines from a current position, and single pixels. A screen
// adapter draws with the windowing toolkit; RasterCanvas records pixels.
#include <cstdint>

namespace vocalith::workbuf {

struct Colour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// A solid pen, one pixel wide.
struct Pen {
    Colour colour;
    friend bool operator==(const Pen&, const Pen&) = default;
};

// left and top inclusive, right and bottom exclusive.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class Canvas {
  public:
    virtual ~Canvas() = default;
    // Fills the rectangle with the colour; the pen and current position stay.
    virtual void FillSolidRect(const Rect& rect, Colour colour) = 0;
    // Makes `pen` the pen of later lines; returns the one it replaces.
    virtual Pen SelectPen(const Pen& pen) = 0;
    // Moves the current position without drawing.
    virtual void MoveTo(int32_t x, int32_t y) = 0;
    // Draws with the current pen from the current position to (x, y), leaving
    // out (x, y) itself, which becomes the current position.
    virtual void LineTo(int32_t x, int32_t y) = 0;
    // Sets one pixel, whatever the pen.
    virtual void SetPixel(int32_t x, int32_t y, Colour colour) = 0;
};

}  // namespace vocalith::workbuf
