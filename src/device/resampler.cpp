#include "device/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vocalith::device {

namespace {

constexpr double CUTOFF = 0.45;  // of the lower rate
constexpr int ZERO_CROSSINGS = 32;
constexpr double BETA = 8.6;
constexpr int RESOLUTION = 512;  // table points per sample of the lower rate
// The kernel's reach to each side, in samples of the lower rate.
constexpr double REACH = ZERO_CROSSINGS / (2.0 * CUTOFF);
constexpr int FRACTION_BITS = 16;
constexpr uint64_t FRACTION_MASK = (uint64_t{1} << FRACTION_BITS) - 1;
constexpr float FRACTION_SCALE = 1.0f / static_cast<float>(uint64_t{1} << FRACTION_BITS);

// The modified Bessel function of the first kind, order 0, by its series.
double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200 && term > 1e-17 * sum; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// The kernel's right half as pairs (value, slope to the next point), one pair
// per table point. It runs a sample of the lower rate past the reach, in
// zeros, so a look-up just past the reach needs no bounds check.
const float* Kernel() {
    static const std::vector<float> table = [] {
        const auto points = static_cast<size_t>((REACH + 2.0) * RESOLUTION) + 2;
        std::vector<double> h(points + 1, 0.0);
        const double i0Beta = BesselI0(BETA);
        for (size_t k = 0; k < points; ++k) {
            double t = static_cast<double>(k) / RESOLUTION;
            if (t >= REACH) break;
            double x = std::numbers::pi * 2.0 * CUTOFF * t;
            double sinc = k == 0 ? 1.0 : std::sin(x) / x;
            double r = t / REACH;
            h[k] = sinc * BesselI0(BETA * std::sqrt(1.0 - r * r)) / i0Beta;
        }
        std::vector<float> pairs(2 * points);
        for (size_t k = 0; k < points; ++k) {
            pairs[2 * k] = static_cast<float>(h[k]);
            pairs[2 * k + 1] = static_cast<float>(h[k + 1] - h[k]);
        }
        return pairs;
    }();
    return table.data();
}

}  // namespace

SincWindow::SincWindow(uint32_t inRate, uint32_t outRate, int channels)
    : outRate_(outRate ? outRate : 1), channels_(channels == 2 ? 2 : 1) {
    inRate = inRate ? inRate : 1;
    // Kernel positions are in samples of the lower rate: one input frame is
    // `scale` of them.
    const double scale = std::min(1.0, static_cast<double>(outRate_) / inRate);
    half_ = static_cast<uint32_t>(std::ceil(REACH / scale));
    step_ = scale * RESOLUTION * static_cast<double>(uint64_t{1} << FRACTION_BITS);
    stepFixed_ = static_cast<uint64_t>(std::llround(step_));
    buf_.assign(4 * static_cast<size_t>(half_) * static_cast<size_t>(channels_), 0.0f);
    Kernel();  // built here, never on an audio thread
}

void SincWindow::Clear() {
    std::fill(buf_.begin(), buf_.end(), 0.0f);
    write_ = 0;
}

void SincWindow::Evaluate(uint64_t phase, float* out) const {
    if (channels_ == 2) {
        EvaluateN<2>(phase, out);
    } else {
        EvaluateN<1>(phase, out);
    }
}

template <int CHANNELS>
void SincWindow::EvaluateN(uint64_t phase, float* out) const {
    const float* kernel = Kernel();
    // The window from its oldest frame; the centre frame is half_ - 1 on.
    const float* oldest = buf_.data() + write_ * CHANNELS;
    const double fraction = static_cast<double>(phase) / outRate_;
    // Table positions of the nearest frame on each side, in 1/65536 of a point.
    auto left = static_cast<uint64_t>(std::llround(fraction * step_));
    auto right = static_cast<uint64_t>(std::llround((1.0 - fraction) * step_));
    float acc[CHANNELS] = {};
    float sum = 0.0f;
    // The centre frame and the history behind it.
    for (uint32_t m = 0; m < half_; ++m, left += stepFixed_) {
        const float* p = oldest + static_cast<size_t>(half_ - 1 - m) * CHANNELS;
        const float* k = kernel + 2 * (left >> FRACTION_BITS);
        float c = k[0] + k[1] * static_cast<float>(left & FRACTION_MASK) * FRACTION_SCALE;
        sum += c;
        for (int ch = 0; ch < CHANNELS; ++ch) acc[ch] += c * p[ch];
    }
    // The look-ahead.
    const float* p = oldest + static_cast<size_t>(half_) * CHANNELS;
    for (uint32_t m = 0; m < half_; ++m, right += stepFixed_, p += CHANNELS) {
        const float* k = kernel + 2 * (right >> FRACTION_BITS);
        float c = k[0] + k[1] * static_cast<float>(right & FRACTION_MASK) * FRACTION_SCALE;
        sum += c;
        for (int ch = 0; ch < CHANNELS; ++ch) acc[ch] += c * p[ch];
    }
    for (int ch = 0; ch < CHANNELS; ++ch) out[ch] = acc[ch] / sum;
}

}  // namespace vocalith::device
