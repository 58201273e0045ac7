#include "wave/rate_converter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>

namespace vocalith::wave {

using base::Result;

namespace {

soxr_t Soxr(void* p) {
    return static_cast<soxr_t>(p);
}

// The warm-up: first one large block of silence, so libsoxr's queues grow
// well past anything FEED_FRAMES steps need (they never shrink), then this
// much silence pulled in sizes from 1 to 1024 frames to measure the look-ahead.
constexpr size_t WARM_BLOCK_FRAMES = 1u << 13;
constexpr double WARM_SECONDS = 0.25;
constexpr size_t WARM_PULL_MAX = 1024;
constexpr size_t WARM_RING_FRAMES = 1u << 16;

}  // namespace

int16_t ClipToSample(float value) {
    if (!(value > -32768.0f)) return -32768;  // also catches NaN
    if (value >= 32767.0f) return 32767;
    return static_cast<int16_t>(std::lrint(value));
}

RateConverter::~RateConverter() {
    Release();
}

void RateConverter::Release() {
    if (soxr_) soxr_delete(Soxr(soxr_));
    soxr_ = nullptr;
}

Result RateConverter::Create(uint32_t inRate, uint32_t outRate, int channels) {
    Release();
    if (inRate == 0 || outRate == 0) return Result::Fail("a sample rate of 0");
    inRate_ = inRate;
    outRate_ = outRate;
    channels_ = channels == 2 ? 2 : 1;
    warmed_ = false;
    lookahead_ = 0;
    skip_ = 0;
    ringAt_ = ringCount_ = 0;
    const auto ch = static_cast<size_t>(channels_);
    feed_.assign(FEED_FRAMES * ch, 0.0f);
    ring_.assign(FEED_FRAMES * ch, 0.0f);
    if (Passthrough()) return Result::Ok();
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: libsoxr must not start worker threads under an audio callback.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_t s = soxr_create(inRate, outRate, static_cast<unsigned>(channels_), &error, &io, &quality,
                           &runtime);
    if (!s || error) {
        if (s) soxr_delete(s);
        return Result::Fail("cannot convert " + std::to_string(inRate) + " Hz to " +
                            std::to_string(outRate) + " Hz: " + (error ? error : "libsoxr"));
    }
    soxr_ = s;
    return Result::Ok();
}

Result RateConverter::Restart() {
    skip_ = 0;
    ringAt_ = ringCount_ = 0;
    if (!soxr_) return Result::Ok();
    if (soxr_error_t error = soxr_clear(Soxr(soxr_)); error) {
        return Result::Fail(std::string("cannot restart the rate conversion: ") + error);
    }
    return warmed_ ? Warm() : Result::Ok();
}

void RateConverter::Step(const float* in) {
    const auto ch = static_cast<size_t>(channels_);
    const size_t capacity = ring_.size() / ch;
    size_t taken = 0;
    ringAt_ = 0;
    ringCount_ = 0;
    while (taken < FEED_FRAMES) {
        size_t used = 0;
        size_t made = 0;
        soxr_process(Soxr(soxr_), in + taken * ch, FEED_FRAMES - taken, &used,
                     ring_.data() + ringCount_ * ch, capacity - ringCount_, &made);
        taken += used;
        ringCount_ += made;
        if (used == 0 && made == 0) break;
    }
    const size_t dropped = static_cast<size_t>(std::min<uint64_t>(skip_, ringCount_));
    skip_ -= dropped;
    ringAt_ += dropped;
    ringCount_ -= dropped;
}

Result RateConverter::Warm() {
    warmed_ = true;
    if (!soxr_) {
        lookahead_ = 0;
        return Result::Ok();
    }
    const auto ch = static_cast<size_t>(channels_);
    skip_ = 0;
    ringAt_ = ringCount_ = 0;
    ring_.assign(WARM_RING_FRAMES * ch, 0.0f);
    std::vector<float> out(WARM_PULL_MAX * ch);
    const auto total = WARM_BLOCK_FRAMES + static_cast<uint64_t>(WARM_SECONDS * inRate_);
    uint64_t fed = 0;
    uint64_t delivered = 0;
    {
        const std::vector<float> block(WARM_BLOCK_FRAMES * ch, 0.0f);
        size_t taken = 0;
        while (taken < WARM_BLOCK_FRAMES) {
            size_t used = 0;
            size_t made = 0;
            soxr_process(Soxr(soxr_), block.data() + taken * ch, WARM_BLOCK_FRAMES - taken, &used,
                         ring_.data(), WARM_RING_FRAMES, &made);
            taken += used;
            delivered += made;
        }
        fed += taken;
    }
    uint64_t lag = 0;
    size_t mostMade = 0;
    uint32_t lcg = 12345;
    while (fed < total) {
        lcg = lcg * 1103515245u + 12345u;
        const size_t want = 1 + (lcg >> 16) % WARM_PULL_MAX;
        Pull(out.data(), want, [&](float* in, size_t n) {
            std::fill(in, in + n * ch, 0.0f);
            fed += n;
        });
        mostMade = std::max(mostMade, ringAt_ + ringCount_);
        delivered += want;
        const uint64_t position = delivered * inRate_ / outRate_;
        lag = std::max(lag, fed > position ? fed - position : 0);
    }
    // The pattern above is not every pattern: half as much again, and a step.
    lookahead_ = static_cast<uint32_t>(lag + lag / 2 + FEED_FRAMES);
    // Every output of the warm-up span is silence to be discarded: those
    // still in the ring now, and those libsoxr has still to make.
    const auto span =
        static_cast<uint64_t>(std::llround(static_cast<double>(fed) * outRate_ / inRate_));
    const uint64_t made = delivered + ringCount_;
    skip_ = span > made ? span - made : 0;
    ringAt_ = ringCount_ = 0;
    // Room for every output one step can make, twice over.
    ring_.assign((2 * mostMade + 256) * ch, 0.0f);
    return Result::Ok();
}

void RateConverter::Process(const float* in, size_t inFrames, size_t& used, float* out,
                            size_t outFrames, size_t& made) {
    used = 0;
    made = 0;
    if (Passthrough()) {
        const size_t n = std::min(inFrames, outFrames);
        std::memcpy(out, in, n * static_cast<size_t>(channels_) * sizeof(float));
        used = made = n;
        return;
    }
    if (soxr_) soxr_process(Soxr(soxr_), in, inFrames, &used, out, outFrames, &made);
}

void RateConverter::Drain(float* out, size_t outFrames, size_t& made) {
    made = 0;
    if (Passthrough() || !soxr_) return;
    soxr_process(Soxr(soxr_), nullptr, 0, nullptr, out, outFrames, &made);
}

std::vector<int16_t> ResampleMono(std::span<const int16_t> samples, uint32_t inRate,
                                  uint32_t outRate) {
    if (inRate == outRate || inRate == 0 || outRate == 0) return {samples.begin(), samples.end()};
    const auto expected =
        static_cast<size_t>((uint64_t{samples.size()} * outRate + inRate - 1) / inRate);
    RateConverter converter;
    if (!converter.Create(inRate, outRate, 1)) return {};
    std::vector<float> in(RateConverter::FEED_FRAMES);
    std::vector<float> out(expected + 64);
    size_t made = 0;
    size_t at = 0;
    while (at < samples.size() && made < out.size()) {
        const size_t n = std::min(in.size(), samples.size() - at);
        for (size_t i = 0; i < n; ++i) in[i] = samples[at + i];
        size_t used = 0;
        size_t got = 0;
        converter.Process(in.data(), n, used, out.data() + made, out.size() - made, got);
        at += used;
        made += got;
    }
    while (made < expected) {
        size_t got = 0;
        converter.Drain(out.data() + made, out.size() - made, got);
        if (got == 0) break;
        made += got;
    }
    std::vector<int16_t> result(expected, 0);
    for (size_t i = 0; i < std::min(made, expected); ++i) result[i] = ClipToSample(out[i]);
    return result;
}

}  // namespace vocalith::wave
