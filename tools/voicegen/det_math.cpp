#include "voicegen/det_math.h"

#include <cmath>

namespace vocalith::voicegen {

namespace {

constexpr double kLn2 = 0.69314718055994530942;
// ln 2 split so that k * kLn2Hi is exact for |k| < 2^11 (Cody and Waite).
constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr double kLn10 = 2.30258509299404568402;
constexpr double kTwoPi = 2.0 * kPi;

// Reduces x to [-pi, pi]. floor() is exact, so the result is the same everywhere.
double ReduceAngle(double x) {
    const double turns = std::floor(x / kTwoPi + 0.5);
    return x - turns * kTwoPi;
}

}  // namespace

double DetExp(double x) {
    if (x < -700.0) return 0.0;
    if (x > 700.0) x = 700.0;
    const double k = std::floor(x / kLn2 + 0.5);
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    // |r| <= 0.35: 20 terms leave an error far below one ulp.
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 20; ++n) {
        term = term * r / n;
        sum += term;
    }
    // Scaling by a power of two is exact.
    return std::ldexp(sum, static_cast<int>(k));
}

double DetCos(double x) {
    const double r = ReduceAngle(x);
    const double r2 = r * r;
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 14; ++n) {
        term = -term * r2 / ((2.0 * n - 1.0) * (2.0 * n));
        sum += term;
    }
    return sum;
}

double DetSin(double x) {
    const double r = ReduceAngle(x);
    const double r2 = r * r;
    double term = r;
    double sum = r;
    for (int n = 1; n <= 14; ++n) {
        term = -term * r2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

double DbToAmp(double db) {
    return DetExp(db * kLn10 / 20.0);
}

}  // namespace vocalith::voicegen
