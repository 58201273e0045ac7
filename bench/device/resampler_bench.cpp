// The cost of band-limited rate conversion per second of audio, through the
// capture converter (mono in, mono out) and through a looping output buffer
// mixed into a device. Every iteration converts one second of audio, so the
// time per iteration is the cost per second of audio; the "x_real_time"
// counter is seconds of audio converted per second of CPU.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "device/mix_core.h"
#include "device/pcm_convert.h"

using namespace vocalith::device;

namespace {

std::vector<int16_t> Tone(size_t count) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = static_cast<int16_t>(std::lround(8000 * std::sin(0.05 * static_cast<double>(i))));
    return s;
}

void Report(benchmark::State& state, double audioSecondsPerIteration) {
    auto seconds = audioSecondsPerIteration * static_cast<double>(state.iterations());
    state.counters["x_real_time"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

// One second of input through the capture converter, in 10 ms pieces.
void BM_Capture(benchmark::State& state) {
    const auto inRate = static_cast<uint32_t>(state.range(0));
    const auto outRate = static_cast<uint32_t>(state.range(1));
    auto input = Tone(inRate);
    const size_t piece = inRate / 100;
    StreamResampler resampler(inRate, outRate, 1);
    std::vector<int16_t> out;
    out.reserve(outRate + 16);
    for (auto _ : state) {
        out.clear();
        for (size_t at = 0; at + piece <= input.size(); at += piece)
            resampler.Process(input.data() + at, piece, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Report(state, 1.0);
}
BENCHMARK(BM_Capture)->Args({44100, 11025})->Args({11025, 48000});

// One second of device output from one looping mono buffer, in 10 ms periods.
void BM_MixedBuffer(benchmark::State& state) {
    const auto inRate = static_cast<uint32_t>(state.range(0));
    const auto deviceRate = static_cast<uint32_t>(state.range(1));
    const int deviceChannels = static_cast<int>(state.range(2));
    auto core = MixCore::Create(deviceRate, deviceChannels, 0.02);
    PcmFormat format;
    format.samplesPerSec = inRate;
    format.avgBytesPerSec = inRate * 2;
    auto samples = Tone(inRate);
    auto buffer = core->CreateBuffer(format, static_cast<uint32_t>(samples.size() * 2));
    buffer->Write(0, samples.data(), buffer->Size());
    buffer->Play(true);
    const uint32_t period = deviceRate / 100;
    std::vector<int16_t> out(period * static_cast<size_t>(deviceChannels));
    for (auto _ : state) {
        for (int p = 0; p < 100; ++p) core->Render(out.data(), period);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Report(state, 1.0);
}
BENCHMARK(BM_MixedBuffer)
    ->Args({44100, 11025, 1})
    ->Args({11025, 48000, 2})
    ->Args({11025, 11025, 1});

}  // namespace
