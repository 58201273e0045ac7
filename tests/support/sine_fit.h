#pragma once
// A least-squares fit of a sine of known frequency to a stretch of 16-bit
// samples: how loud it came out, and how much else is there. Shared by the
// rate-conversion tests and the resampler benchmark.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace vocalith::test {

struct SineFit {
    double levelDb;  // the fitted sine's amplitude relative to `amplitude`
    double snrDb;    // the energy the fit explains against everything else
    double rmsDb;    // the whole stretch's peak-equivalent level relative to `amplitude`
};

inline SineFit FitSine(const std::vector<int16_t>& s, size_t from, size_t to, double rate,
                       double hz, double amplitude) {
    double cc = 0, cs = 0, ss = 0, yc = 0, ys = 0, yy = 0;
    const double w = 2 * std::numbers::pi * hz / rate;
    for (size_t i = from; i < to; ++i) {
        double c = std::cos(w * static_cast<double>(i)), sn = std::sin(w * static_cast<double>(i));
        cc += c * c;
        cs += c * sn;
        ss += sn * sn;
        yc += s[i] * c;
        ys += s[i] * sn;
        yy += static_cast<double>(s[i]) * s[i];
    }
    double det = cc * ss - cs * cs;
    double a = (yc * ss - ys * cs) / det, b = (ys * cc - yc * cs) / det;
    double fitted = a * yc + b * ys;
    double rest = std::max(yy - fitted, 1e-9);
    auto n = static_cast<double>(to - from);
    return {20 * std::log10(std::hypot(a, b) / amplitude), 10 * std::log10(fitted / rest),
            10 * std::log10(std::max(2 * yy / n, 1e-9) / (amplitude * amplitude))};
}

}  // namespace vocalith::test
