// Rate conversion: its cost and its quality, through the capture converter
// (mono in, mono out) and through a looping output buffer mixed into a
// device. Every timed iteration converts one second of audio, so the time per
// iteration is the cost per second of audio; "ns_per_sample" is that cost per
// output sample and "x_real_time" seconds of audio converted per CPU second.
//
// BM_Quality runs once and reports, as counters, the figures a listener would
// hear: the passband ripple (largest minus smallest gain of tones from 50 Hz
// to 4.5 kHz, in dB), the stopband rejection (how far below the input tones
// above the new Nyquist frequency come out, in dB, for 44100 -> 11025), and
// the worst tone-to-residual ratio of passband tones raised from 11025 to
// 48000 (images and noise count as residual).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "device/mix_core.h"
#include "device/pcm_convert.h"
#include "support/sine_fit.h"

using namespace vocalith::device;

namespace {

std::vector<int16_t> Tone(size_t count) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = static_cast<int16_t>(std::lround(8000 * std::sin(0.05 * static_cast<double>(i))));
    return s;
}

constexpr double AMPLITUDE = 30000;

std::vector<int16_t> Sine(uint32_t rate, double hz, size_t frames) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) {
        s[i] = static_cast<int16_t>(std::lround(
            AMPLITUDE * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    }
    return s;
}

using Fit = vocalith::test::SineFit;
Fit FitSine(const std::vector<int16_t>& s, size_t from, size_t to, uint32_t rate, double hz) {
    return vocalith::test::FitSine(s, from, to, rate, hz, AMPLITUDE);
}

using Converter =
    std::function<std::vector<int16_t>(const std::vector<int16_t>&, uint32_t, uint32_t)>;

// One second of input in 10 ms pieces through the capture converter.
std::vector<int16_t> ByCapture(const std::vector<int16_t>& in, uint32_t inRate, uint32_t outRate) {
    StreamResampler r(inRate, outRate, 1);
    std::vector<int16_t> out;
    const size_t piece = inRate / 100;
    for (size_t at = 0; at < in.size(); at += piece)
        r.Process(in.data() + at, std::min(piece, in.size() - at), out);
    r.Flush(out);
    return out;
}

// A looping buffer of `in` mixed into a mono device for one second.
std::vector<int16_t> ByMixer(const std::vector<int16_t>& in, uint32_t inRate, uint32_t outRate) {
    auto core = MixCore::Create(outRate, 1, 0.02);
    PcmFormat format;
    format.samplesPerSec = inRate;
    format.avgBytesPerSec = inRate * 2;
    auto buffer = core->CreateBuffer(format, static_cast<uint32_t>(in.size() * 2));
    buffer->Write(0, in.data(), buffer->Size());
    buffer->Play(true);
    std::vector<int16_t> out(outRate);
    for (uint32_t at = 0; at < outRate; at += outRate / 100)
        core->Render(out.data() + at, std::min(outRate / 100, outRate - at));
    return out;
}

struct Quality {
    double rippleDb = 0;
    double stopbandDb = 0;
    double upSnrDb = 0;
};

Quality Measure(const Converter& convert) {
    Quality q;
    // Whole cycles in 0.2 s (5 Hz steps), so a looping buffer joins cleanly.
    double lo = 1e9, hi = -1e9;
    for (double hz = 50; hz <= 4500; hz += 115) {
        auto in = Sine(44100, hz, 44100 / 5 * 5);
        auto out = convert(in, 44100, 11025);
        Fit f = FitSine(out, 11025 / 10, 11025 - 11025 / 10, 11025, hz);
        lo = std::min(lo, f.levelDb);
        hi = std::max(hi, f.levelDb);
    }
    q.rippleDb = hi - lo;
    double worst = -1e9;
    for (double hz = 5600; hz <= 21000; hz += 245) {
        auto in = Sine(44100, hz, 44100);
        auto out = convert(in, 44100, 11025);
        worst = std::max(worst, FitSine(out, 11025 / 10, 11025 - 11025 / 10, 11025, hz).rmsDb);
    }
    q.stopbandDb = -worst;
    double snr = 1e9;
    for (double hz = 100; hz <= 4500; hz += 220) {
        auto in = Sine(11025, hz, 11025);
        auto out = convert(in, 11025, 48000);
        snr = std::min(snr, FitSine(out, 4800, 48000 - 4800, 48000, hz).snrDb);
    }
    q.upSnrDb = snr;
    return q;
}

void BM_Quality(benchmark::State& state) {
    const Converter convert = state.range(0) == 0 ? Converter(ByCapture) : Converter(ByMixer);
    Quality q;
    for (auto _ : state) q = Measure(convert);
    state.counters["passband_ripple_db"] = q.rippleDb;
    state.counters["stopband_rejection_db"] = q.stopbandDb;
    state.counters["up_tone_to_residual_db"] = q.upSnrDb;
    state.SetLabel(state.range(0) == 0 ? "capture" : "mixer");
}
BENCHMARK(BM_Quality)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

void Report(benchmark::State& state, double outSamplesPerIteration) {
    auto iterations = static_cast<double>(state.iterations());
    state.counters["x_real_time"] = benchmark::Counter(iterations, benchmark::Counter::kIsRate);
    state.counters["ns_per_sample"] =
        benchmark::Counter(outSamplesPerIteration * iterations,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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
    Report(state, outRate);
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
    Report(state, deviceRate);
}
BENCHMARK(BM_MixedBuffer)
    ->Args({44100, 11025, 1})
    ->Args({11025, 48000, 2})
    ->Args({11025, 44100, 2})
    ->Args({11025, 11025, 1});

}  // namespace
