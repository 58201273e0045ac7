#pragma once
// The waveform view: draws the work buffer into a rectangle, one sample per
// pixel column, on a scale of +-8000 around a grey zero axis. The selection
// is bright green against dark green, a running recording is red, and two
// white markers stand at the selection's ends.
#include "workbuf/canvas.h"
#include "workbuf/work_buffer.h"

namespace vocalith::workbuf {

inline constexpr Colour BACKGROUND_COLOUR{0, 0, 0};
inline constexpr Colour AXIS_COLOUR{128, 128, 128};
inline constexpr Colour SELECTED_COLOUR{0, 255, 0};
inline constexpr Colour UNSELECTED_COLOUR{0, 128, 0};
inline constexpr Colour RECORDING_COLOUR{255, 0, 0};
inline constexpr Colour MARKER_COLOUR{255, 255, 255};
inline constexpr Colour TRACE_POINT_COLOUR{0, 255, 0};  // set on each trace point before its line
inline constexpr int32_t WAVE_SCALE = 8000;             // the sample drawn at half the height

// Paints the whole of viewRect with the buffer's waveform, leaves the
// canvas's pen as it found it, and stores in wb.displayLength the number of
// samples spread over the width (the capacity while recording, else the
// length), which SetSelectionFromView uses to map clicks. Nothing is clipped
// to viewRect: samples beyond +-8000 draw above or below it, the axis starts
// on its right edge, and a selection end past the buffer puts its marker
// past that edge.
void DrawWaveform(Canvas& canvas, const Rect& viewRect, WorkBuffer& wb);

// While a recording waits for speech: paints the whole of viewRect with the
// input's peak level as a bar from the left (on a scale of -60 to 0 dBFS)
// and the speech gate's level as a vertical line, so the user sees how far
// the microphone is from being heard. The bar turns green at the gate.
void DrawInputLevel(Canvas& canvas, const Rect& viewRect, int32_t peak, int32_t gatePeak);

inline constexpr Colour LEVEL_COLOUR{255, 0, 0};
inline constexpr Colour LEVEL_HEARD_COLOUR{0, 255, 0};
inline constexpr Colour GATE_COLOUR{255, 255, 255};
inline constexpr double LEVEL_FLOOR_DB = -60.0;

// A raw 16-bit peak in decibels relative to full scale (-inf for 0 is given
// as LEVEL_FLOOR_DB).
double PeakDbfs(int32_t peak);

}  // namespace vocalith::workbuf
