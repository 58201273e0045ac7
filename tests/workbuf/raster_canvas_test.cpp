#include "workbuf/raster_canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vocalith::workbuf {
namespace {

constexpr Colour kBlank{0, 0, 255};
constexpr Colour kInk{255, 255, 0};
constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 30;

struct Draw {
    const char* fault;
    char kind;  // 'f' fill a..d, 'l' line from (a, b) to (c, d), 'p' pixel (a, b)
    int32_t a, b, c, d;
};

void Apply(Canvas& canvas, const Draw& op, int32_t shift) {
    switch (op.kind) {
        case 'f':
            canvas.FillSolidRect({op.a + shift, op.b + shift, op.c + shift, op.d + shift}, kInk);
            break;
        case 'l':
            canvas.SelectPen(Pen{kInk});
            canvas.MoveTo(op.a + shift, op.b + shift);
            canvas.LineTo(op.c + shift, op.d + shift);
            break;
        default:
            canvas.SetPixel(op.a + shift, op.b + shift, kInk);
    }
}

uint64_t Inked(const RasterCanvas& canvas, int32_t left, int32_t top, int32_t right,
               int32_t bottom) {
    uint64_t n = 0;
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) n += canvas.PixelAt(x, y) == kInk;
    }
    return n;
}

// The count of pixels beyond the image agrees with the same drawing made on
// a canvas roomy enough to hold all of it: whatever the roomy canvas inked
// outside the small one's area is what the small one must have counted.
TEST(RasterCanvas, CountsEveryPixelDrawnBeyondTheImage) {
    const Draw rows[] = {
        {"fill across the top-left corner", 'f', -5, -3, 10, 8},
        {"fill wholly outside", 'f', 50, 2, 60, 12},
        {"fill covering the image", 'f', -10, -10, 50, 40},
        {"inverted fill counted", 'f', 20, 20, 10, 10},
        {"fill inside counted", 'f', 2, 2, 38, 28},
        {"line leaving right: pixels after stepping stopped missed", 'l', 30, 10, 90, 12},
        {"line entering from the left", 'l', -60, 5, 10, 25},
        {"steep line through the image", 'l', 15, -40, 25, 70},
        {"line wholly above", 'l', -20, -7, 70, -3},
        {"line inside counted", 'l', 1, 1, 38, 27},
        {"zero-length line counted", 'l', 90, 90, 90, 90},
        {"pixel left of the image", 'p', -1, 0, 0, 0},
        {"pixel on the bottom edge", 'p', 5, kHeight, 0, 0},
        {"pixel inside counted", 'p', kWidth - 1, kHeight - 1, 0, 0},
    };
    constexpr int32_t kShift = 100;  // every row stays within 100 pixels of the image
    for (const Draw& r : rows) {
        RasterCanvas small(kWidth, kHeight, kBlank);
        Apply(small, r, 0);
        RasterCanvas roomy(kWidth + 2 * kShift, kHeight + 2 * kShift, kBlank);
        Apply(roomy, r, kShift);
        ASSERT_EQ(roomy.OutsideCount(), 0u) << r.fault << ": the reference spilled";
        const uint64_t all = Inked(roomy, 0, 0, roomy.Width(), roomy.Height());
        const uint64_t inside = Inked(roomy, kShift, kShift, kShift + kWidth, kShift + kHeight);
        EXPECT_EQ(small.OutsideCount(), all - inside) << r.fault;
        EXPECT_EQ(Inked(small, 0, 0, kWidth, kHeight), inside) << r.fault;
    }
}

TEST(RasterCanvas, CountsFarOffDrawingWithoutOverflow) {
    constexpr int32_t lo = std::numeric_limits<int32_t>::min();
    constexpr int32_t hi = std::numeric_limits<int32_t>::max();
    constexpr uint64_t span = (uint64_t{1} << 32) - 1;  // pixels from lo to hi
    constexpr uint64_t image = uint64_t{kWidth} * kHeight;
    struct Row {
        const char* fault;
        Draw draw;
        int times;
        uint64_t want;
    };
    const Row rows[] = {
        {"line to the far right", {"", 'l', 0, 5, hi, 5}, 1, uint64_t{hi} - kWidth},
        {"line to the far left", {"", 'l', 5, 5, lo, 5}, 1, uint64_t{hi}},
        {"diagonal to the far corner", {"", 'l', 0, 0, hi, hi}, 1, uint64_t{hi} - kHeight},
        {"largest fill", {"", 'f', lo, lo, hi, hi}, 1, span * span - image},
        {"count wrapped instead of saturating",
         {"", 'f', lo, lo, hi, hi},
         2,
         std::numeric_limits<uint64_t>::max()},
    };
    for (const Row& r : rows) {
        RasterCanvas canvas(kWidth, kHeight, kBlank);
        for (int i = 0; i < r.times; ++i) Apply(canvas, r.draw, 0);
        EXPECT_EQ(canvas.OutsideCount(), r.want) << r.fault;
    }
}

}  // namespace
}  // namespace vocalith::workbuf
