// Band-limited rate conversion through both of its users: buffers mixed into
// a device (looping, so every wrap is crossed too) and the capture stream
// converter.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "device/mix_core.h"
#include "device/pcm_convert.h"
#include "support/sine_fit.h"
#include "support/wav_builder.h"
#include "wave/rate_converter.h"

namespace vocalith::device {
namespace {

PcmFormat Format(uint16_t channels, uint32_t rate) {
    return test::Pcm(channels, rate, 16);
}

std::vector<int16_t> Sine(uint32_t rate, double hz, size_t frames) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) {
        s[i] = static_cast<int16_t>(std::lround(
            10000 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    }
    return s;
}

std::vector<int16_t> Noise(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-30000, 30000);
    std::vector<int16_t> s(count);
    for (auto& v : s) v = static_cast<int16_t>(dist(rng));
    return s;
}

// `samples` (interleaved frames) in a looping buffer, rendered as `frames`
// device frames in periods of the given sizes (cycled), or all at once.
std::vector<int16_t> ThroughMixer(const std::vector<int16_t>& samples, PcmFormat format,
                                  uint32_t deviceRate, int deviceChannels, size_t frames,
                                  const std::vector<uint32_t>& periods = {}) {
    auto core = MixCore::Create(deviceRate, deviceChannels, 0.02);
    auto bytes = static_cast<uint32_t>(samples.size() * 2);
    auto buffer = core->CreateBuffer(format, bytes);
    EXPECT_TRUE(buffer);
    if (!buffer) return {};
    buffer->Write(0, samples.data(), bytes);  // the host is little-endian, as the format
    buffer->Play(true);
    std::vector<int16_t> out(frames * static_cast<size_t>(deviceChannels));
    for (size_t done = 0, k = 0; done < frames; ++k) {
        auto n = static_cast<uint32_t>(
            periods.empty() ? frames - done
                            : std::min<size_t>(periods[k % periods.size()], frames - done));
        core->Render(out.data() + done * static_cast<size_t>(deviceChannels), n);
        done += n;
    }
    return out;
}

// The capture converter over the whole input, in pieces of the given sizes
// (cycled) or at once, then flushed.
std::vector<int16_t> ThroughCapture(const std::vector<int16_t>& samples, uint32_t inRate,
                                    uint32_t outRate, int channels,
                                    const std::vector<size_t>& pieces = {}) {
    StreamResampler r(inRate, outRate, channels);
    std::vector<int16_t> out;
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    for (size_t at = 0, k = 0; at < frames; ++k) {
        size_t n = pieces.empty() ? frames : std::min(pieces[k % pieces.size()], frames - at);
        r.Process(samples.data() + at * static_cast<size_t>(channels), n, out);
        at += n;
    }
    r.Flush(out);
    return out;
}

using test::SineFit;
SineFit Fit(const std::vector<int16_t>& s, size_t from, size_t to, double rate, double hz) {
    return test::FitSine(s, from, to, rate, hz, 10000);
}

TEST(ResamplerTest, TonesBelowTheNewNyquistPassAndTonesAboveItAreRemoved) {
    const struct {
        const char* fault;
        uint32_t inRate;
        uint32_t outRate;
        double hz;
        bool passes;
    } rows[] = {
        {"quartering the rate loses level or distorts", 44100, 11025, 1000, true},
        {"8 kHz folds back to 3025 Hz", 44100, 11025, 8000, false},
        {"halving the rate loses level below the band edge", 22050, 11025, 3000, true},
        {"7 kHz folds back to 4025 Hz", 22050, 11025, 7000, false},
        {"9 kHz folds back from 48000 to 2025 Hz", 48000, 11025, 9000, false},
        {"raising 8000 to 11025 distorts", 8000, 11025, 2500, true},
        {"raising 11025 to 48000 leaves images of a low tone", 11025, 48000, 1000, true},
        {"raising 11025 to 48000 loses a high tone", 11025, 48000, 4000, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        // 0.2 s holds whole cycles of each tone, so the loop joins without a step.
        auto loop = Sine(row.inRate, row.hz, row.inRate / 5);
        auto second = Sine(row.inRate, row.hz, row.inRate);
        const struct {
            const char* path;
            std::vector<int16_t> out;
        } paths[] = {
            {"mixer", ThroughMixer(loop, Format(1, row.inRate), row.outRate, 1, row.outRate)},
            {"capture", ThroughCapture(second, row.inRate, row.outRate, 1)},
        };
        for (const auto& p : paths) {
            SCOPED_TRACE(p.path);
            ASSERT_EQ(p.out.size(), row.outRate) << "one second in is one second out";
            // Away from the start (and the flushed end) of the stream.
            SineFit fit =
                Fit(p.out, row.outRate / 20, row.outRate - row.outRate / 20, row.outRate, row.hz);
            if (row.passes) {
                EXPECT_NEAR(fit.levelDb, 0, 0.5);
                EXPECT_GT(fit.snrDb, 60);
            } else {
                EXPECT_LT(fit.rmsDb, -60) << "passed through or folded back";
            }
        }
    }
}

TEST(ResamplerTest, EqualRatesPassSamplesThroughUnchanged) {
    auto mono = Noise(3000, 1);
    auto stereo = Noise(6000, 2);
    std::vector<int16_t> averaged;
    for (size_t i = 0; i < stereo.size(); i += 2) {
        averaged.push_back(static_cast<int16_t>(
            std::lrint((static_cast<float>(stereo[i]) + stereo[i + 1]) * 0.5f)));
    }
    EXPECT_EQ(ThroughMixer(mono, Format(1, 48000), 48000, 1, 3000), mono);
    EXPECT_EQ(ThroughMixer(stereo, Format(2, 44100), 44100, 2, 3000), stereo);
    EXPECT_EQ(ThroughCapture(mono, 22050, 22050, 1), mono);
    EXPECT_EQ(ThroughCapture(stereo, 44100, 44100, 2), averaged);
}

TEST(ResamplerTest, OutputDoesNotDependOnPieceSizes) {
    const struct {
        uint32_t inRate;
        uint32_t outRate;
        uint16_t channels;
        int deviceChannels;
    } rows[] = {
        {44100, 11025, 1, 1}, {8000, 11025, 2, 1},  {11025, 48000, 1, 2},
        {22050, 44100, 2, 2}, {44100, 48000, 2, 2},
    };
    std::mt19937 rng(7);
    std::vector<uint32_t> periods(50);
    std::vector<size_t> pieces(50);
    for (auto& p : periods) p = std::uniform_int_distribution<uint32_t>(1, 700)(rng);
    for (auto& p : pieces) p = std::uniform_int_distribution<size_t>(1, 700)(rng);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.inRate << " -> " << row.outRate << " channels "
                                        << row.channels << " device " << row.deviceChannels);
        // A short buffer, so the loop wraps many times.
        auto samples = Noise(1000 * size_t{row.channels}, row.inRate);
        auto format = Format(row.channels, row.inRate);
        EXPECT_EQ(ThroughMixer(samples, format, row.outRate, row.deviceChannels, 20000, periods),
                  ThroughMixer(samples, format, row.outRate, row.deviceChannels, 20000));
        auto stream = Noise(20000 * size_t{row.channels}, row.outRate);
        EXPECT_EQ(ThroughCapture(stream, row.inRate, row.outRate, row.channels, pieces),
                  ThroughCapture(stream, row.inRate, row.outRate, row.channels));
    }
}

TEST(ResamplerTest, LongRunsDoNotDrift) {
    const struct {
        uint32_t inRate;
        uint32_t outRate;
    } rows[] = {{44100, 11025}, {11025, 48000}, {8000, 11025}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.inRate << " -> " << row.outRate);
        const uint64_t frames = uint64_t{row.inRate} * 120 + 77;  // two minutes and a bit
        const double expected = static_cast<double>(frames) * row.outRate / row.inRate;
        wave::RateConverter probe;
        ASSERT_TRUE(probe.Create(row.inRate, row.outRate, 1) && probe.Warm());
        const double lag = 2.0 * probe.LookaheadFrames() * row.outRate / row.inRate;
        StreamResampler r(row.inRate, row.outRate, 1);
        std::vector<int16_t> block(4410, 100), out;
        uint64_t fed = 0, total = 0;
        while (fed < frames) {
            auto n = static_cast<size_t>(std::min<uint64_t>(block.size(), frames - fed));
            out.clear();
            r.Process(block.data(), n, out);
            fed += n;
            total += out.size();
            // While running, the output trails by the look-ahead and no more.
            double due = static_cast<double>(fed) * row.outRate / row.inRate;
            ASSERT_LE(static_cast<double>(total), due + 1);
            ASSERT_GE(static_cast<double>(total), due - lag - 1);
        }
        out.clear();
        r.Flush(out);
        total += out.size();
        EXPECT_NEAR(static_cast<double>(total), expected, 1);
    }
}

TEST(ResamplerTest, WriteCursorStaysPastTheLookAhead) {
    // 1000 Hz on an 11025 device: the look-ahead is far longer than 1 ms.
    auto core = MixCore::Create(11025, 1, 0.001);
    auto buffer = core->CreateBuffer(Format(1, 1000), 20000);
    buffer->Play(true);
    std::vector<int16_t> out(100);
    core->Render(out.data(), 100);
    uint32_t play = 0, write = 0;
    buffer->GetCurrentPosition(play, write);
    const uint32_t ahead = (write + 20000 - play) % 20000;
    wave::RateConverter probe;
    ASSERT_TRUE(probe.Create(1000, 11025, 1) && probe.Warm());
    EXPECT_GE(ahead, 2 * (probe.LookaheadFrames() + 1))
        << "the host may write frames the mixer has already read";
}

}  // namespace
}  // namespace vocalith::device
