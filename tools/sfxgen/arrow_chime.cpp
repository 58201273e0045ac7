#include "sfxgen/arrow_chime.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "voicegen/det_math.h"

namespace vocalith::sfxgen {

namespace {

using voicegen::DetCos;
using voicegen::DetExp;
using voicegen::DetSin;
using voicegen::kPi;
using voicegen::kSampleRate;

constexpr int kLength = 4520;  // 410 ms
constexpr double kPeak = 16000.0;

struct Note {
    double startMs;
    double hz;
    double decayMs;  // time constant of the exponential decay
};

// A rising fifth, A5 then E6.
constexpr Note kNotes[] = {{0.0, 880.0, 70.0}, {110.0, 1318.51, 110.0}};

// A bell-like tone: the fundamental with two softer partials that die away faster.
double NoteSample(const Note& note, int n) {
    const double start = note.startMs * kSampleRate / 1000.0;
    const double t = n - start;  // samples since the note began
    if (t < 0) return 0.0;
    const double attack = 0.004 * kSampleRate;
    const double rise = t < attack ? 0.5 - 0.5 * DetCos(kPi * t / attack) : 1.0;
    const double decay = note.decayMs * kSampleRate / 1000.0;
    const double w = 2.0 * kPi * note.hz / kSampleRate * t;
    const double tone = DetSin(w) * DetExp(-t / decay) +
                        0.25 * DetSin(2.0 * w) * DetExp(-2.0 * t / decay) +
                        0.08 * DetSin(3.0 * w) * DetExp(-3.0 * t / decay);
    return rise * tone;
}

}  // namespace

std::vector<int16_t> SynthesizeArrowChime() {
    std::vector<double> mix(kLength, 0.0);
    for (int n = 0; n < kLength; ++n) {
        for (const Note& note : kNotes) mix[static_cast<std::size_t>(n)] += NoteSample(note, n);
    }
    // Fade the tail to exact zero over the last 40 ms.
    const int fade = 441;
    for (int i = 0; i < fade; ++i) {
        mix[static_cast<std::size_t>(kLength - 1 - i)] *= 0.5 - 0.5 * DetCos(kPi * i / fade);
    }
    double peak = 0;
    for (double v : mix) peak = std::max(peak, std::fabs(v));
    std::vector<int16_t> out(mix.size());
    for (std::size_t i = 0; i < mix.size(); ++i) {
        out[i] = static_cast<int16_t>(std::floor(mix[i] * kPeak / peak + 0.5));
    }
    return out;
}

}  // namespace vocalith::sfxgen
