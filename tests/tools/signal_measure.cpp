#include "tools/signal_measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>

namespace vocalith::voicegen::test {

namespace {

constexpr double kRate = 11025.0;
constexpr double kPi = 3.14159265358979323846;

std::vector<double> Slice(const std::vector<int16_t>& samples, int start, int length) {
    std::vector<double> out;
    for (int i = start; i < start + length && i < static_cast<int>(samples.size()); ++i) {
        out.push_back(samples[static_cast<std::size_t>(i)]);
    }
    return out;
}

// Power spectrum of a Hann-windowed frame, bins 0..N/2.
std::vector<double> PowerSpectrum(const std::vector<double>& frame) {
    const std::size_t n = frame.size();
    std::vector<double> power(n / 2 + 1, 0.0);
    for (std::size_t k = 0; k < power.size(); ++k) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * kPi * i / (n - 1));
            const double a = 2 * kPi * k * i / n;
            re += w * frame[i] * std::cos(a);
            im -= w * frame[i] * std::sin(a);
        }
        power[k] = re * re + im * im;
    }
    return power;
}

// Roots of z^p + c[1] z^(p-1) + ... + c[p] by simultaneous (Durand-Kerner) iteration.
std::vector<std::complex<double>> PolynomialRoots(const std::vector<double>& c) {
    const int p = static_cast<int>(c.size()) - 1;
    std::vector<std::complex<double>> roots(static_cast<std::size_t>(p));
    const std::complex<double> seed(0.4, 0.9);
    std::complex<double> power(1, 0);
    for (auto& r : roots) {
        r = power;
        power *= seed;
    }
    auto eval = [&](std::complex<double> z) {
        std::complex<double> v(1, 0);
        for (int i = 1; i <= p; ++i) v = v * z + c[static_cast<std::size_t>(i)];
        return v;
    };
    for (int iter = 0; iter < 500; ++iter) {
        for (int i = 0; i < p; ++i) {
            std::complex<double> denom(1, 0);
            for (int j = 0; j < p; ++j) {
                if (j != i)
                    denom *=
                        roots[static_cast<std::size_t>(i)] - roots[static_cast<std::size_t>(j)];
            }
            roots[static_cast<std::size_t>(i)] -= eval(roots[static_cast<std::size_t>(i)]) / denom;
        }
    }
    return roots;
}

}  // namespace

std::vector<Formant> MeasureFormants(const std::vector<int16_t>& samples, int start, int length,
                                     int order) {
    const std::vector<double> raw = Slice(samples, start, length);
    const std::size_t n = raw.size();
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double emphasized = raw[i] - (i > 0 ? 0.97 * raw[i - 1] : 0.0);
        x[i] = emphasized * (0.54 - 0.46 * std::cos(2 * kPi * i / (n - 1)));
    }
    std::vector<double> r(static_cast<std::size_t>(order) + 1, 0.0);
    for (int lag = 0; lag <= order; ++lag) {
        for (std::size_t i = static_cast<std::size_t>(lag); i < n; ++i) {
            r[static_cast<std::size_t>(lag)] += x[i] * x[i - static_cast<std::size_t>(lag)];
        }
    }
    if (r[0] <= 0) return {};
    // Levinson-Durbin: a[0] = 1, prediction error polynomial 1 + a1 z^-1 + ...
    std::vector<double> a(static_cast<std::size_t>(order) + 1, 0.0);
    a[0] = 1;
    double err = r[0];
    for (int i = 1; i <= order; ++i) {
        double acc = r[static_cast<std::size_t>(i)];
        for (int j = 1; j < i; ++j)
            acc += a[static_cast<std::size_t>(j)] * r[static_cast<std::size_t>(i - j)];
        const double k = -acc / err;
        std::vector<double> next = a;
        for (int j = 1; j < i; ++j) {
            next[static_cast<std::size_t>(j)] =
                a[static_cast<std::size_t>(j)] + k * a[static_cast<std::size_t>(i - j)];
        }
        next[static_cast<std::size_t>(i)] = k;
        a = next;
        err *= 1 - k * k;
    }
    std::vector<Formant> formants;
    for (const auto& z : PolynomialRoots(a)) {
        if (z.imag() <= 0) continue;
        const double hz = std::arg(z) * kRate / (2 * kPi);
        const double bw = -std::log(std::abs(z)) * kRate / kPi;
        if (hz > 90 && hz < 5000 && bw < 600) formants.push_back({hz, bw});
    }
    std::sort(formants.begin(), formants.end(),
              [](const Formant& l, const Formant& r2) { return l.hz < r2.hz; });
    return formants;
}

double Periodicity(const std::vector<int16_t>& samples, int start, int length) {
    std::vector<double> x = Slice(samples, start, length);
    double mean = 0;
    for (double v : x) mean += v;
    mean /= static_cast<double>(x.size());
    for (double& v : x) v -= mean;
    double best = 0;
    const std::size_t n = x.size();
    for (std::size_t lag = 55; lag <= 122 && lag < n / 2; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = 0; i + lag < n; ++i) {
            xy += x[i] * x[i + lag];
            xx += x[i] * x[i];
            yy += x[i + lag] * x[i + lag];
        }
        if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best;
}

double EnergyFraction(const std::vector<int16_t>& samples, int start, int length, double lowHz,
                      double highHz) {
    const std::vector<double> power = PowerSpectrum(Slice(samples, start, length));
    const double binHz = kRate / static_cast<double>(2 * (power.size() - 1));
    double total = 0, inside = 0;
    for (std::size_t k = 1; k < power.size(); ++k) {
        total += power[k];
        const double hz = static_cast<double>(k) * binHz;
        if (hz >= lowHz && hz < highHz) inside += power[k];
    }
    return total > 0 ? inside / total : 0.0;
}

double SpectralCentroid(const std::vector<int16_t>& samples, int start, int length) {
    const std::vector<double> power = PowerSpectrum(Slice(samples, start, length));
    const double binHz = kRate / static_cast<double>(2 * (power.size() - 1));
    double total = 0, weighted = 0;
    for (std::size_t k = 1; k < power.size(); ++k) {
        total += power[k];
        weighted += power[k] * static_cast<double>(k) * binHz;
    }
    return total > 0 ? weighted / total : 0.0;
}

double Rms(const std::vector<int16_t>& samples, int start, int length) {
    const std::vector<double> x = Slice(samples, start, length);
    if (x.empty()) return 0;
    double e = 0;
    for (double v : x) e += v * v;
    return std::sqrt(e / static_cast<double>(x.size()));
}

int Peak(const std::vector<int16_t>& samples, int start, int length) {
    int peak = 0;
    for (double v : Slice(samples, start, length))
        peak = std::max(peak, static_cast<int>(std::fabs(v)));
    return peak;
}

}  // namespace vocalith::voicegen::test
