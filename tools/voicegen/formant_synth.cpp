#include "voicegen/formant_synth.h"

#include <algorithm>
#include <cmath>

#include "voicegen/det_math.h"

namespace vocalith::voicegen {

namespace {

constexpr int kFrameSamples = 55;  // 5 ms: formant coefficients are updated this often
constexpr double kT = 1.0 / kSampleRate;

// Fixed formants above F3 and the nasal pair.
constexpr double kF4 = 3300, kB4 = 250;
constexpr double kF5 = 3750, kB5 = 200;
constexpr double kB6 = 1000;
constexpr double kNasalPole = 270, kNasalZero = 450, kNasalBandwidth = 100;

// Source calibration: these bring each source at 60 dB to about the same
// output level, so the levels of one clip's parts keep their relative dB.
// (Measured once: a vowel at AV 60 has an RMS of about 0.07 before scaling.)
constexpr double kVoiceGain = 1.0;
constexpr double kVoiceBarGain = 2.0;
constexpr double kAspirationGain = 0.046;
constexpr double kFricationGain = 0.07;
// Noise through one peak-normalized parallel formant keeps only a band of the
// spectrum; this restores it to about the level of the flat bypass.
constexpr double kParallelFormantGain = 3.0;

constexpr double kOpenQuotient = 0.6;
// The flow derivative excites the tract as it is, with no extra low-pass:
// damping the top of the spectrum dulled F3 and above, where much of what
// tells one vowel or consonant from another lies.

// Amplitude factor of a level on the 0..80 dB scale; 60 dB is 1, 0 is off.
double Amp(double db) {
    return db <= 0 ? 0.0 : DbToAmp(db - 60.0);
}

// Second-order resonator y[n] = a x[n] + b y[n-1] + c y[n-2].
struct Resonator {
    double a = 0, b = 0, c = 0;
    double y1 = 0, y2 = 0;

    // Unity gain at 0 Hz (the cascade branch and the low-pass filters).
    void Set(double f, double bw) {
        c = -DetExp(-2.0 * kPi * bw * kT);
        b = 2.0 * DetExp(-kPi * bw * kT) * DetCos(2.0 * kPi * f * kT);
        a = 1.0 - b - c;
    }
    // Unity gain at the resonance, so a parallel gain in dB is the level of its peak.
    void SetPeak(double f, double bw) {
        Set(f, bw);
        const double w = 2.0 * kPi * f * kT;
        const double re = 1.0 - b * DetCos(w) - c * DetCos(2.0 * w);
        const double im = b * DetSin(w) + c * DetSin(2.0 * w);
        a = std::sqrt(re * re + im * im);
    }
    double Step(double x) {
        const double y = a * x + b * y1 + c * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Second-order antiresonator (a zero pair), the inverse of a resonator.
struct AntiResonator {
    double a = 1, b = 0, c = 0;
    double x1 = 0, x2 = 0;

    void Set(double f, double bw) {
        Resonator r;
        r.Set(f, bw);
        a = 1.0 / r.a;
        b = -r.b / r.a;
        c = -r.c / r.a;
    }
    double Step(double x) {
        const double y = a * x + b * x1 + c * x2;
        x2 = x1;
        x1 = x;
        return y;
    }
};

// xorshift32; the sum of 16 uniforms approximates a Gaussian of unit variance.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed == 0 ? 1u : seed) {}
    double Uniform() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 4294967296.0;
    }
    double Gaussian() {
        double sum = 0;
        for (int i = 0; i < 16; ++i) sum += Uniform();
        return (sum - 8.0) / 1.1547005383792515;  // sqrt(16/12)
    }
};

// Smooth step from 0 at s = 0 to 1 at s = 1.
double SmoothStep(double s) {
    return s * s * (3.0 - 2.0 * s);
}

// Pitch contour of a clip: 118 Hz at both ends (so clips join without a
// jump), rising to 123 Hz at a quarter of the clip and gently declining
// back over the rest.
double PitchAt(int n, int total) {
    const double u = total > 1 ? static_cast<double>(n) / (total - 1) : 0.0;
    const double shape = u < 0.25 ? SmoothStep(u / 0.25) : SmoothStep((1.0 - u) / 0.75);
    return 118.0 + 5.0 * shape;
}

double Lerp(double from, double to, double u) {
    return from + (to - from) * u;
}

}  // namespace

int MsToSamples(double ms) {
    return static_cast<int>(std::floor(ms * kSampleRate / 1000.0 + 0.5));
}

std::vector<double> SynthesizeRaw(const std::vector<Segment>& plan, const ClipSettings& settings) {
    int total = 0;
    for (const Segment& s : plan) total += s.samples;
    std::vector<double> out;
    out.reserve(static_cast<size_t>(total));

    Resonator cascade[5];
    Resonator nasalPole;
    AntiResonator nasalZero;
    if (settings.nasal) {
        nasalPole.Set(kNasalPole, kNasalBandwidth);
        nasalZero.Set(kNasalZero, kNasalBandwidth);
    }
    cascade[3].Set(kF4, kB4);
    cascade[4].Set(kF5, kB5);
    Resonator voiceBar;  // low-pass for the quasi-sinusoidal voicing
    voiceBar.Set(0.0, 200.0);

    Resonator par2, par3, par4, par5, par6;
    par4.SetPeak(kF4, kB4);
    par5.SetPeak(kF5, kB5);
    par6.SetPeak(settings.f6, kB6);
    const double g2 = Amp(settings.a2), g3 = Amp(settings.a3), g4 = Amp(settings.a4);
    const double g5 = Amp(settings.a5), g6 = Amp(settings.a6), gb = Amp(settings.ab);

    Noise noise(settings.seed);
    double phase = 0;
    double previousFlow = 0;
    int n = 0;
    for (const Segment& seg : plan) {
        const double avFrom = Amp(seg.from.av), avTo = Amp(seg.to.av);
        const double avsFrom = Amp(seg.from.avs), avsTo = Amp(seg.to.avs);
        const double ahFrom = Amp(seg.from.ah), ahTo = Amp(seg.to.ah);
        const double afFrom = Amp(seg.from.af), afTo = Amp(seg.to.af);
        for (int i = 0; i < seg.samples; ++i, ++n) {
            const double u = static_cast<double>(i) / seg.samples;
            if (n % kFrameSamples == 0 || i == 0) {
                const double f1 = Lerp(seg.from.f1, seg.to.f1, u);
                const double f2 = Lerp(seg.from.f2, seg.to.f2, u);
                const double f3 = Lerp(seg.from.f3, seg.to.f3, u);
                const double b1 = Lerp(seg.from.b1, seg.to.b1, u);
                const double b2 = Lerp(seg.from.b2, seg.to.b2, u);
                const double b3 = Lerp(seg.from.b3, seg.to.b3, u);
                cascade[0].Set(f1, b1);
                cascade[1].Set(f2, b2);
                cascade[2].Set(f3, b3);
                par2.SetPeak(f2, b2);
                par3.SetPeak(f3, b3);
            }

            // Glottal flow over the open phase, 27/4 t^2 (1 - t), peak 1.
            phase += PitchAt(n, total) / kSampleRate;
            if (phase >= 1.0) phase -= 1.0;
            double flow = 0;
            if (phase < kOpenQuotient) {
                const double t = phase / kOpenQuotient;
                flow = 6.75 * t * t * (1.0 - t);
            }
            const double source = flow - previousFlow;
            previousFlow = flow;

            double white = noise.Gaussian();
            if (settings.modulateNoise && phase >= 0.5) white *= 0.5;

            const double voicing = kVoiceGain * Lerp(avFrom, avTo, u) * source +
                                   kVoiceBarGain * Lerp(avsFrom, avsTo, u) * voiceBar.Step(source);
            double x = voicing + kAspirationGain * Lerp(ahFrom, ahTo, u) * white;
            if (settings.nasal) x = nasalZero.Step(nasalPole.Step(x));
            for (Resonator& r : cascade) x = r.Step(x);

            // Adjacent parallel formants alternate in sign so their skirts do
            // not cancel into deep notches between the peaks.
            const double fric = kFricationGain * Lerp(afFrom, afTo, u) * white;
            const double formants = -g2 * par2.Step(fric) + g3 * par3.Step(fric) -
                                    g4 * par4.Step(fric) + g5 * par5.Step(fric) -
                                    g6 * par6.Step(fric);
            const double parallel = kParallelFormantGain * formants + gb * fric;
            out.push_back(x + parallel);
        }
    }
    return out;
}

std::vector<int16_t> RenderClip(const std::vector<Segment>& plan, const ClipSettings& settings) {
    std::vector<double> raw = SynthesizeRaw(plan, settings);
    const int total = static_cast<int>(raw.size());

    // Raised-cosine fades: the first and last samples are exactly zero.
    const int fade = std::min(settings.fadeSamples, total / 2);
    for (int i = 0; i < fade; ++i) {
        const double w = 0.5 - 0.5 * DetCos(kPi * i / fade);
        raw[static_cast<size_t>(i)] *= w;
        raw[static_cast<size_t>(total - 1 - i)] *= w;
    }

    double energy = 0;
    int measured = 0;
    int n = 0;
    for (const Segment& seg : plan) {
        for (int i = 0; i < seg.samples; ++i, ++n) {
            if (!seg.measured) continue;
            energy += raw[static_cast<size_t>(n)] * raw[static_cast<size_t>(n)];
            ++measured;
        }
    }
    double peak = 0;
    for (double v : raw) peak = std::max(peak, std::fabs(v));

    double gain = 0;
    if (measured > 0 && energy > 0) {
        const double rms = std::sqrt(energy / measured);
        gain = kReferenceRms * DbToAmp(settings.levelDb) / rms;
        if (peak * gain > kPeakLimit) gain = kPeakLimit / peak;
    }

    std::vector<int16_t> clip(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const double v = raw[i] * gain;
        const double rounded = std::floor(v + 0.5);
        clip[i] = static_cast<int16_t>(std::clamp(rounded, -32767.0, 32767.0));
    }
    return clip;
}

}  // namespace vocalith::voicegen
