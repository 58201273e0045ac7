#include "workbuf/waveform_view.h"

#include <gtest/gtest.h>

#include <memory>

#include "workbuf/raster_canvas.h"

namespace vocalith::workbuf {
namespace {

constexpr Colour kOutside{0, 0, 255};   // the canvas before drawing, beyond the view
constexpr Rect kView{10, 5, 310, 105};  // 300 wide, 100 high: axis on row 55
constexpr int32_t kAxisY = 55;

std::unique_ptr<WorkBuffer> Filled(int32_t length, int16_t value, int32_t start, int32_t end) {
    auto wb = std::make_unique<WorkBuffer>();
    for (int32_t i = 0; i < length; ++i) wb->samples[i] = value;
    wb->length = length;
    wb->selectionStart = start;
    wb->selectionEnd = end;
    return wb;
}

TEST(DrawWaveform, SelectionColoursEachPointWithNextColumnsPen) {
    // Samples of -4000 put the trace 25 rows below the axis, on row 80.
    auto wb = Filled(300, -4000, 100, 200);
    RasterCanvas canvas(330, 130, kOutside);
    DrawWaveform(canvas, kView, *wb);
    constexpr int32_t y = 80;
    for (int32_t c = 0; c + 1 < 300; ++c) {
        const int32_t x = kView.left + c;
        if (x == 110 || x == 210) {
            EXPECT_EQ(canvas.PixelAt(x, y), MARKER_COLOUR) << "marker column " << x;
            continue;
        }
        // Column c + 1 shows sample (c + 1) * 299 / 300; samples 100..200 are selected.
        const bool selected = c + 1 >= 101 && c + 1 <= 201;
        EXPECT_EQ(canvas.PixelAt(x, y), selected ? SELECTED_COLOUR : UNSELECTED_COLOUR)
            << "column " << c;
    }
    EXPECT_EQ(canvas.PixelAt(309, y), TRACE_POINT_COLOUR) << "last point keeps its green";
    EXPECT_EQ(canvas.PixelAt(110, kView.top), MARKER_COLOUR);
    EXPECT_EQ(canvas.PixelAt(110, kView.bottom - 1), MARKER_COLOUR);
    EXPECT_EQ(canvas.PixelAt(110, kView.bottom), kOutside) << "marker must leave out bottom";
    EXPECT_EQ(canvas.PixelAt(150, kAxisY), AXIS_COLOUR);
    EXPECT_EQ(canvas.PixelAt(310, kAxisY), AXIS_COLOUR) << "axis starts at the right edge";
    EXPECT_EQ(canvas.PixelAt(10, 70), UNSELECTED_COLOUR) << "first column's rise to the trace";
    EXPECT_EQ(canvas.PixelAt(50, 20), BACKGROUND_COLOUR);
    EXPECT_EQ(canvas.PixelAt(9, 20), kOutside) << "fill spilled left of the view";
    EXPECT_EQ(canvas.PixelAt(100, 105), kOutside) << "fill spilled below the view";
    EXPECT_EQ(wb->displayLength, 300);
}

TEST(DrawWaveform, ColumnMapsOntoSampleIndex) {
    // Only sample 3999 is loud; column 150 of 300 over 8000 samples shows it.
    auto wb = Filled(8000, 0, 0, 0);
    wb->samples[3999] = 8000;
    RasterCanvas canvas(330, 130, kOutside);
    DrawWaveform(canvas, kView, *wb);
    EXPECT_NE(canvas.PixelAt(160, kView.top), BACKGROUND_COLOUR);
    EXPECT_EQ(canvas.PixelAt(159, kView.top), BACKGROUND_COLOUR);
    EXPECT_EQ(canvas.PixelAt(161, kView.top), BACKGROUND_COLOUR);
    EXPECT_EQ(wb->displayLength, 8000);
}

TEST(DrawWaveform, VerticalScale) {
    struct Row {
        const char* fault;
        int16_t sample;
        int32_t height;
        int32_t wantY;  // row of the trace below kView.top
    };
    const Row rows[] = {
        {"4000 not 25 rows above the axis", 4000, 100, 25},
        {"+8000 not on the top row", 8000, 100, 0},
        {"-8000 not just below the view", -8000, 100, 100},
        {"odd height does not drop the trace a row", 0, 101, 51},
        {"division by -8000 floored instead of truncated", 159, 100, 50},
    };
    for (const Row& r : rows) {
        auto wb = Filled(20, r.sample, 0, 0);
        RasterCanvas canvas(330, 130, kOutside);
        const Rect view{10, 5, 30, 5 + r.height};
        DrawWaveform(canvas, view, *wb);
        const int32_t y = view.top + r.wantY;
        EXPECT_EQ(canvas.PixelAt(15, y), UNSELECTED_COLOUR) << r.fault;
        EXPECT_NE(canvas.PixelAt(15, y - 1), UNSELECTED_COLOUR) << r.fault;
        EXPECT_NE(canvas.PixelAt(15, y + 1), UNSELECTED_COLOUR) << r.fault;
    }
}

TEST(DrawWaveform, RecordingIsRedOverTheCapacity) {
    auto wb = Filled(8000, 0, 100, 200);
    wb->recording = 1;
    RasterCanvas canvas(330, 130, kOutside);
    DrawWaveform(canvas, kView, *wb);
    // Markers on the 44000 scale: 300 * 100 / 44000 = 0 and 300 * 200 / 44000 = 1.
    for (int32_t x = 12; x < 309; ++x) EXPECT_EQ(canvas.PixelAt(x, kAxisY), RECORDING_COLOUR) << x;
    EXPECT_EQ(canvas.PixelAt(10, kView.top), MARKER_COLOUR);
    EXPECT_EQ(canvas.PixelAt(11, kView.top), MARKER_COLOUR);
    EXPECT_EQ(wb->displayLength, WORK_CAPACITY);
}

TEST(DrawWaveform, EmptyBufferIsFlatLineAtFirstSample) {
    auto wb = Filled(0, 0, 0, 0);
    wb->samples[0] = -8000;
    wb->samples[1] = 8000;
    RasterCanvas canvas(330, 130, kOutside);
    const Pen custom{{7, 7, 7}};
    canvas.SelectPen(custom);
    DrawWaveform(canvas, kView, *wb);
    for (int32_t x = 10; x < 309; ++x) EXPECT_EQ(canvas.PixelAt(x, kView.bottom), SELECTED_COLOUR);
    EXPECT_EQ(canvas.PixelAt(50, kView.top), BACKGROUND_COLOUR) << "no marker without samples";
    EXPECT_EQ(wb->displayLength, 0);
    EXPECT_EQ(canvas.CurrentPen(), custom) << "previous pen not restored";
}

TEST(DrawWaveform, DegenerateViewsDrawOnlyWhereTheirPointsFall) {
    // Nothing is clipped to the view: samples of 32767 lie four times the
    // half-height above the axis, the axis starts on the right edge, and the
    // end marker of a selection past the buffer stands past that edge. `reach`
    // is where those rules put pixels; the canvas holds it with room to
    // spare, so a pixel anywhere else is a fault.
    struct Row {
        const char* fault;
        Rect view;
        Rect reach;
    };
    const Row rows[] = {
        {"zero width drew more than its markers on its left edge",
         {10, 5, 10, 105},
         {10, 5, 11, 105}},
        {"inverted width drew beyond its edges", {10, 5, 5, 105}, {5, 5, 11, 105}},
        {"thin wide view drew beyond its trace and markers", {0, 0, 100000, 3}, {0, -2, 100003, 3}},
    };
    constexpr int32_t kRoom = 8;  // the reach shifted this far from the canvas's edges
    for (const Row& r : rows) {
        auto wb = Filled(43999, 32767, 0, 44000);
        const Rect view{r.view.left + kRoom, r.view.top + kRoom, r.view.right + kRoom,
                        r.view.bottom + kRoom};
        RasterCanvas canvas(r.reach.right + 2 * kRoom, r.reach.bottom + 2 * kRoom, kOutside);
        DrawWaveform(canvas, view, *wb);
        EXPECT_EQ(canvas.OutsideCount(), 0u) << r.fault << ": pixels beyond the canvas";
        int64_t stray = 0;
        for (int32_t y = 0; y < canvas.Height(); ++y) {
            for (int32_t x = 0; x < canvas.Width(); ++x) {
                const bool reached = x >= r.reach.left + kRoom && x < r.reach.right + kRoom &&
                                     y >= r.reach.top + kRoom && y < r.reach.bottom + kRoom;
                if (!reached && canvas.PixelAt(x, y) != kOutside) ++stray;
            }
        }
        EXPECT_EQ(stray, 0) << r.fault;
        EXPECT_EQ(wb->displayLength, 43999) << r.fault;
    }
}

}  // namespace
}  // namespace vocalith::workbuf
