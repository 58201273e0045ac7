#include "workbuf/waveform_view.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vocalith::workbuf {

namespace {

// Canvas coordinates are 32-bit; the arithmetic below runs in 64 bits so
// that no product overflows, and points far off any real view saturate.
int32_t Coord(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

void DrawWaveform(Canvas& canvas, const Rect& viewRect, WorkBuffer& wb) {
    const bool recording = wb.recording != 0;
    const int32_t d = recording ? WORK_CAPACITY : wb.length;
    const int64_t left = viewRect.left;
    const int64_t top = viewRect.top;
    const int64_t bottom = viewRect.bottom;
    const int64_t w = static_cast<int64_t>(viewRect.right) - left;
    const int64_t h = (bottom - top) / 2;

    canvas.FillSolidRect(viewRect, BACKGROUND_COLOUR);

    const Pen previous = canvas.SelectPen(Pen{AXIS_COLOUR});
    canvas.MoveTo(viewRect.right, Coord(top + h));
    canvas.LineTo(viewRect.left, Coord(top + h));

    for (int64_t c = 0; c < w; ++c) {
        // Columns map onto samples 0..D-1; for D of 0 or 1 every column shows
        // sample 0 (-c / W truncates to 0 for c < W). The bound on idx only
        // matters for a length damaged from outside.
        int64_t idx = c * (static_cast<int64_t>(d) - 1) / w;
        idx = std::clamp<int64_t>(idx, 0, WORK_CAPACITY - 1);
        Pen pen{SELECTED_COLOUR};
        if (recording) {
            pen.colour = RECORDING_COLOUR;
        } else if (idx < wb.selectionStart || idx > wb.selectionEnd) {
            pen.colour = UNSELECTED_COLOUR;
        }
        canvas.SelectPen(pen);
        const int64_t y = bottom - h + (wb.samples[idx] * h / -WAVE_SCALE);
        const int32_t x = Coord(left + c);
        canvas.SetPixel(x, Coord(y), TRACE_POINT_COLOUR);
        canvas.LineTo(x, Coord(y));
    }

    canvas.SelectPen(Pen{MARKER_COLOUR});
    if (d > 0) {
        // The stored selection is used unclamped, so an end beyond the buffer
        // draws its marker at or past the right edge.
        const int32_t x1 = Coord(left + w * wb.selectionStart / d);
        canvas.MoveTo(x1, viewRect.top);
        canvas.LineTo(x1, viewRect.bottom);
        const int32_t x2 = Coord(left + w * wb.selectionEnd / d);
        canvas.MoveTo(x2, viewRect.top);
        canvas.LineTo(x2, viewRect.bottom);
    }

    canvas.SelectPen(previous);
    wb.displayLength = d;
}

double PeakDbfs(int32_t peak) {
    if (peak <= 0) return LEVEL_FLOOR_DB;
    return std::max(LEVEL_FLOOR_DB, 20.0 * std::log10(peak / 32768.0));
}

void DrawInputLevel(Canvas& canvas, const Rect& viewRect, int32_t peak, int32_t gatePeak) {
    canvas.FillSolidRect(viewRect, BACKGROUND_COLOUR);
    const int64_t w = static_cast<int64_t>(viewRect.right) - viewRect.left;
    const int64_t h = static_cast<int64_t>(viewRect.bottom) - viewRect.top;
    if (w <= 0 || h <= 0) return;
    auto xFor = [&](double db) {
        const double share = (db - LEVEL_FLOOR_DB) / -LEVEL_FLOOR_DB;
        return Coord(viewRect.left + static_cast<int64_t>(std::lround(share * (w - 1))));
    };
    const int32_t barRight = xFor(PeakDbfs(peak));
    const Rect bar{viewRect.left, Coord(viewRect.top + h / 3), barRight + 1,
                   Coord(viewRect.bottom - h / 3)};
    if (peak > 0) {
        canvas.FillSolidRect(bar, peak >= gatePeak ? LEVEL_HEARD_COLOUR : LEVEL_COLOUR);
    }
    const Pen previous = canvas.SelectPen(Pen{GATE_COLOUR});
    const int32_t gateX = xFor(PeakDbfs(gatePeak));
    canvas.MoveTo(gateX, viewRect.top);
    canvas.LineTo(gateX, viewRect.bottom);
    canvas.SelectPen(previous);
}

}  // namespace vocalith::workbuf
