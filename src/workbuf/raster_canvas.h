#pragma once
// RasterCanvas: a Canvas that records what is drawn into a width x height RGB
// image held in memory, for checking drawings pixel by pixel. Pixels outside
// the image are not stored but counted, so a test can tell a drawing that
// stayed inside from one that spilled; lines are stepped with Bresenham's
// method and leave out their end point, like the screen's.
#include <cstdint>
#include <vector>

#include "workbuf/canvas.h"

namespace vocalith::workbuf {

class RasterCanvas : public Canvas {
  public:
    // An image of width x height pixels (negative sizes count as 0), all
    // `background`; the pen starts black and the position at (0, 0).
    RasterCanvas(int32_t width, int32_t height, Colour background = {});

    void FillSolidRect(const Rect& rect, Colour colour) override;
    Pen SelectPen(const Pen& pen) override;
    void MoveTo(int32_t x, int32_t y) override;
    void LineTo(int32_t x, int32_t y) override;
    void SetPixel(int32_t x, int32_t y, Colour colour) override;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // The colour at (x, y); `outside` for a point beyond the image.
    Colour PixelAt(int32_t x, int32_t y, Colour outside = {}) const;
    // Pixels drawn beyond the image so far (fills, lines and single pixels),
    // saturating at the largest uint64_t.
    uint64_t OutsideCount() const { return outside_; }
    Pen CurrentPen() const { return pen_; }
    int32_t CurrentX() const { return x_; }
    int32_t CurrentY() const { return y_; }

  private:
    bool Inside(int64_t x, int64_t y) const;
    void CountOutside(uint64_t pixels);

    int32_t width_;
    int32_t height_;
    std::vector<Colour> pixels_;  // row after row, width_ * height_
    Pen pen_{};
    int32_t x_ = 0;
    int32_t y_ = 0;
    uint64_t outside_ = 0;  // see OutsideCount
};

}  // namespace vocalith::workbuf
