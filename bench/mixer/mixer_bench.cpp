// MixBlock of 20000 samples over the 38 channels with the speech and monitor
// channels busy. The "x_real_time" counter is seconds of audio mixed per
// second of CPU (11025 samples per second of audio).
#include <benchmark/benchmark.h>

#include <vector>

#include "mixer/mixer.h"

using namespace vocalith::mixer;

static void BM_MixBlock20000(benchmark::State& state) {
    FakeTickClock clock(1);
    Mixer mixer(&clock);
    std::vector<int16_t> clip(2500);
    for (size_t i = 0; i < clip.size(); ++i) clip[i] = static_cast<int16_t>(i * 13);
    std::vector<int16_t> out(20000);
    clock.Advance(1000);
    for (auto _ : state) {
        state.PauseTiming();
        // Refill so both channels hold more than a block (8 clips = 20000 samples).
        for (int k = 0; k < 8; ++k) {
            QueueClip(mixer, SPEECH_CHANNEL, 1, "noOne", clip.data(), 2500);
            QueueClip(mixer, MONITOR_CHANNEL, 1, "Echo", clip.data(), 2500);
        }
        clock.Advance(1000);
        state.ResumeTiming();
        benchmark::DoNotOptimize(MixBlock(mixer, out.data(), 20000, true, false));
        benchmark::ClobberMemory();
    }
    state.counters["x_real_time"] = benchmark::Counter(
        20000.0 / 11025.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MixBlock20000);
