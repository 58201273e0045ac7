// The waveform is drawn on every 10 ms timer tick while recording, and the
// effects run over a full buffer; both must stay well inside one tick.
#include <benchmark/benchmark.h>

#include <memory>

#include "workbuf/effects_menu.h"
#include "workbuf/raster_canvas.h"
#include "workbuf/waveform_view.h"
#include "workbuf/work_buffer.h"

namespace vw = vocalith::workbuf;

namespace {

std::unique_ptr<vw::WorkBuffer> FullBuffer() {
    auto wb = std::make_unique<vw::WorkBuffer>();
    for (int32_t i = 0; i < vw::RECORD_LIMIT; ++i) {
        wb->samples[i] = static_cast<int16_t>((i * 37) % 16000 - 8000);
    }
    wb->length = vw::RECORD_LIMIT;
    wb->selectionEnd = vw::RECORD_LIMIT;
    return wb;
}

void BM_DrawWaveform(benchmark::State& state) {
    auto wb = FullBuffer();
    wb->recording = 1;
    vw::RasterCanvas canvas(800, 200);
    const vw::Rect view{10, 10, 790, 190};
    for (auto _ : state) {
        vw::DrawWaveform(canvas, view, *wb);
        benchmark::DoNotOptimize(canvas.PixelAt(400, 100));
    }
}
BENCHMARK(BM_DrawWaveform);

void BM_LowerPitchFullBuffer(benchmark::State& state) {
    auto wb = FullBuffer();
    vw::SaveBackup(vw::BACKUP_EFFECT, *wb);
    for (auto _ : state) {
        wb->length = vw::RECORD_LIMIT;
        vw::ApplyEffect(vw::EffectNumber("lower-pitch"), *wb);
        benchmark::DoNotOptimize(wb->samples[100]);
    }
}
BENCHMARK(BM_LowerPitchFullBuffer);

}  // namespace
