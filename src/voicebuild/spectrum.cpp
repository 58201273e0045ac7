#include "voicebuild/spectrum.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "wave/pcm_format.h"
#include "wave/rate_converter.h"

namespace vocalith::voicebuild {

namespace {

// 40 ms frames, 10 ms apart: long enough to see three periods of a man's
// voice, so the harmonics do not pose as the envelope.
constexpr size_t FRAME = 441;
constexpr size_t HOP = 110;
constexpr size_t NFFT = 1024;
constexpr size_t BINS = NFFT / 2 + 1;
// The envelope as heard: the cepstrum up to 2.5 ms, which follows any
// ripple wider than 400 Hz but not a voice's harmonics up to 400 Hz.
constexpr size_t LIFTER = 28;
// Six peaks up to 5.5 kHz: the formants a vocal tract gives at this rate,
// with room to keep F1 and F2 of a back vowel apart.
constexpr size_t ORDER = 12;
constexpr double PRE_EMPHASIS = 0.97;
// Ripple beyond the channel from which the envelope is smoothed, and from
// which fully: the vowels of clean voices measured 1.5-2.9 dB (medians over
// a take, a strong reflection included), those of voices whose steady
// vowels were misheard for their ripple 3.7-6.0 dB.
constexpr double RIPPLE_FROM_DB = 3.1;
constexpr double RIPPLE_FULL_DB = 3.6;
// The least vowels that show a take's channel.
constexpr size_t CHANNEL_VOWELS = 8;
// Frames fainter than this against the loudest are not measured.
constexpr double FAINT_FRAME = 1.0 / 30;
// Frames fainter than this against the clip's RMS keep their formants.
constexpr double REDUCED_FAINT_FRAME = 0.05;
// A front vowel's upper formants (UpperBalance) and how far below the
// take's tilt they may lie before they are raised, at most by how much.
// The front vowels of voices heard well lie within 5 dB of their take's
// tilt (a British "bit" 3-4 dB below, and raising it cost a point of
// errors); the dark ones misheard as back vowels lay 5.5-13 dB below.
constexpr double UPPER_FROM_HZ = 1800;
constexpr double UPPER_TO_HZ = 4500;
constexpr double RAMP_FROM_HZ = 1000;  // the raise rises from here to 1.8 kHz
constexpr double FRONT_DARK_DB = 5;
constexpr double MAX_FRONT_RAISE_DB = 24;
constexpr int LAST_FRONT_VOWEL = 2;  // IY IH EY
constexpr double DB_PER_NEPER = 20 / 2.302585092994046;
// UpperBalance of each vowel (IY IH EY EH AE AA AO OW UH UW ER AX AH AY AW
// OY) as the default voice's clips, made from textbook formants and
// bandwidths, have it.
constexpr std::array<double, 16> kUsualBalance = {-13.1, -13.2, -11.7, -14.5, -16.6, -19.2,
                                                  -23.9, -25.1, -24.9, -30.3, -36.5, -18.7,
                                                  -22.0, -15.6, -23.0, -20.9};

using Spectrum = std::array<double, BINS>;

double Hann(size_t i) {
    return 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(FRAME - 1));
}

// One frame's spectrum, its envelope as heard, and its all-pole envelope
// (log magnitudes, natural units, the all-pole one moved to the same mean).
struct FrameEnvelopes {
    std::vector<std::complex<double>> spectrum;
    Spectrum heard{}, allPole{};
    std::array<double, ORDER + 1> prediction{};  // the all-pole filter's coefficients
    double rms = 0;                              // of the windowed frame
    bool fitted = false;
};

double Rms(std::span<const double> x) {
    double power = 0;
    for (const double v : x) power += v * v;
    return x.empty() ? 0 : std::sqrt(power / double(x.size()));
}

FrameEnvelopes Analyse(std::span<const double> frame) {
    FrameEnvelopes f;
    f.spectrum.assign(NFFT, 0.0);
    f.rms = Rms(frame);
    for (size_t i = 0; i < FRAME; ++i) f.spectrum[i] = frame[i];
    Fft(f.spectrum);

    std::vector<std::complex<double>> c(NFFT);
    for (size_t k = 0; k < NFFT; ++k) c[k] = std::log(std::abs(f.spectrum[k]) + 1e-3);
    Fft(c, true);
    std::vector<std::complex<double>> lifted(NFFT, 0.0);
    lifted[0] = c[0].real();
    for (size_t q = 1; q < LIFTER; ++q) lifted[q] = 2 * c[q].real();
    Fft(lifted);
    for (size_t k = 0; k < BINS; ++k) f.heard[k] = lifted[k].real();

    std::vector<double> pre(FRAME);
    for (size_t i = 0; i < FRAME; ++i)
        pre[i] = frame[i] - (i > 0 ? PRE_EMPHASIS * frame[i - 1] : 0);
    std::array<double, ORDER + 1> r{}, a{};
    for (size_t lag = 0; lag <= ORDER; ++lag) {
        for (size_t i = lag; i < FRAME; ++i) r[lag] += pre[i] * pre[i - lag];
    }
    if (!LinearPrediction(r, a)) return f;
    f.prediction = a;
    std::vector<std::complex<double>> poly(NFFT, 0.0), tilt(NFFT, 0.0);
    for (size_t j = 0; j <= ORDER; ++j) poly[j] = a[j];
    tilt[0] = 1;
    tilt[1] = -PRE_EMPHASIS;
    Fft(poly);
    Fft(tilt);
    double shift = 0;
    for (size_t k = 0; k < BINS; ++k) {
        f.allPole[k] = -std::log(std::abs(poly[k]) + 1e-9) - std::log(std::abs(tilt[k]) + 1e-9);
        shift += f.heard[k] - f.allPole[k];
    }
    for (double& v : f.allPole) v += shift / double(BINS);
    f.fitted = true;
    return f;
}

std::vector<double> Windowed(std::span<const double> x, size_t at) {
    std::vector<double> frame(FRAME);
    for (size_t i = 0; i < FRAME; ++i) frame[i] = x[at + i] * Hann(i);
    return frame;
}

// The envelopes of the frames of `clip` loud enough to measure.
std::vector<FrameEnvelopes> MeasuredFrames(std::span<const int16_t> clip) {
    std::vector<FrameEnvelopes> out;
    if (clip.size() <= FRAME) return out;
    const std::vector<double> x(clip.begin(), clip.end());
    std::vector<std::vector<double>> frames;
    double loudest = 0;
    for (size_t at = 0; at + FRAME < x.size(); at += HOP) {
        frames.push_back(Windowed(x, at));
        loudest = std::max(loudest, Rms(frames.back()));
    }
    for (const std::vector<double>& frame : frames) {
        if (loudest <= 0 || Rms(frame) < loudest * FAINT_FRAME) continue;
        FrameEnvelopes f = Analyse(frame);
        if (f.fitted) out.push_back(std::move(f));
    }
    return out;
}

// Reshapes each 40 ms frame of `clip` by the log gain per bin that `change`
// gives for its envelopes (left at 0 to keep the frame), overlap-added over
// the clip padded by a frame of silence each side so its edges are covered
// as fully as its middle; the clip keeps its length and RMS level.
template <typename Change>
void Reshape(std::vector<int16_t>& clip, Change change) {
    std::vector<double> padded(clip.size() + 2 * FRAME, 0.0);
    std::copy(clip.begin(), clip.end(), padded.begin() + FRAME);
    const double level = Rms(padded);
    std::vector<double> out(padded.size(), 0.0), weight(padded.size(), 0.0);
    std::vector<std::complex<double>> y(NFFT);
    for (size_t at = 0; at + FRAME < padded.size(); at += HOP) {
        const FrameEnvelopes f = Analyse(Windowed(padded, at));
        Spectrum gain{};
        if (f.fitted) change(f, gain);
        for (size_t k = 0; k < NFFT; ++k)
            y[k] = f.spectrum[k] * std::exp(gain[k < BINS ? k : NFFT - k]);
        Fft(y, true);
        for (size_t i = 0; i < FRAME; ++i) {
            out[at + i] += y[i].real() * Hann(i);
            weight[at + i] += Hann(i) * Hann(i);
        }
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] = weight[i] > 1e-6 ? out[i] / weight[i] : 0;
    const double now = Rms(out);
    const double gain = now > 0 ? level / now : 1;
    for (size_t i = 0; i < clip.size(); ++i)
        clip[i] = wave::ClipToSample(float(out[FRAME + i] * gain));
}

// The roots of z^n + c[1] z^(n-1) + ... + c[n] (Durand and Kerner's
// iteration, which finds all of a prediction filter's poles at once).
std::vector<std::complex<double>> Roots(std::span<const double> c) {
    const size_t n = c.size() - 1;
    std::vector<std::complex<double>> z(n);
    const std::complex<double> seed(0.4, 0.9);
    for (size_t i = 0; i < n; ++i) z[i] = i == 0 ? seed : z[i - 1] * seed;
    for (int pass = 0; pass < 500; ++pass) {
        double moved = 0;
        for (size_t i = 0; i < n; ++i) {
            std::complex<double> value = 1, apart = 1;
            for (size_t j = 1; j <= n; ++j) value = value * z[i] + c[j];
            for (size_t j = 0; j < n; ++j) {
                if (j != i) apart *= z[i] - z[j];
            }
            if (std::abs(apart) < 1e-300) continue;
            const std::complex<double> step = value / apart;
            z[i] -= step;
            moved = std::max(moved, std::abs(step));
        }
        if (moved < 1e-12) break;
    }
    return z;
}

// A neutral tube (a schwa: no constriction anywhere) resonates at odd
// quarter wavelengths, so its F1 is a third of its F2 whatever its length.
constexpr double NEUTRAL_F1_OF_F2 = 1.0 / 3;
// An F1 this close above it is left: linear prediction leans a formant
// toward the nearest harmonic of the voice by about as much.
constexpr double NEUTRAL_MARGIN = 1.05;

// Sets the log gain per bin that moves one frame's first formant down to a
// third of its second; false (gain left at 0) when the frame's first two
// peaks do not look like a mid vowel's (F2 900-2200 Hz, F1 clear of it) or
// F1 is already about as low.
bool CentreFrame(const FrameEnvelopes& f, Spectrum& change) {
    struct Pole {
        std::complex<double> z;
        double hz;
    };
    std::vector<Pole> peaks;
    for (const std::complex<double>& z : Roots(f.prediction)) {
        const double hz = std::arg(z) * TAKE_RATE / (2 * M_PI);
        const double bandwidth = -std::log(std::abs(z)) * TAKE_RATE / M_PI;
        if (z.imag() > 0 && hz > 150 && bandwidth < 500) peaks.push_back({z, hz});
    }
    if (peaks.size() < 2) return false;
    std::sort(peaks.begin(), peaks.end(), [](const Pole& a, const Pole& b) { return a.hz < b.hz; });
    const Pole f1 = peaks[0];
    const double f2 = peaks[1].hz;
    const double target = f2 * NEUTRAL_F1_OF_F2;
    if (f2 < 900 || f2 > 2200 || f1.hz >= 0.7 * f2 || f1.hz <= target * NEUTRAL_MARGIN)
        return false;
    const std::complex<double> moved = std::polar(std::abs(f1.z), 2 * M_PI * target / TAKE_RATE);
    for (size_t k = 0; k < BINS; ++k) {
        const std::complex<double> back = std::polar(1.0, -2 * M_PI * double(k) / NFFT);
        const auto pair = [&](std::complex<double> z) {
            return std::abs((1.0 - z * back) * (1.0 - std::conj(z) * back));
        };
        change[k] = std::log(pair(f1.z) + 1e-12) - std::log(pair(moved) + 1e-12);
    }
    return true;
}

}  // namespace

void Fft(std::span<std::complex<double>> a, bool inverse) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    const double sign = inverse ? 1 : -1;
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, sign * 2 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    if (inverse) {
        for (auto& v : a) v /= double(n);
    }
}

bool LinearPrediction(std::span<const double> r, std::span<double> a) {
    const size_t order = a.size() - 1;
    if (r.size() <= order || r[0] <= 0) return false;
    std::fill(a.begin(), a.end(), 0.0);
    a[0] = 1;
    double error = r[0];
    std::vector<double> next(a.size());
    for (size_t i = 1; i <= order; ++i) {
        double acc = r[i];
        for (size_t j = 1; j < i; ++j) acc += a[j] * r[i - j];
        const double k = -acc / error;
        std::copy(a.begin(), a.end(), next.begin());
        for (size_t j = 1; j < i; ++j) next[j] = a[j] + k * a[i - j];
        next[i] = k;
        std::copy(next.begin(), next.end(), a.begin());
        error *= 1 - k * k;
        if (error <= 0) return false;
    }
    return true;
}

std::vector<double> VowelChannel(std::span<const std::span<const int16_t>> vowelClips) {
    std::vector<double> channel(BINS, 0.0);
    size_t clips = 0;
    for (const std::span<const int16_t> clip : vowelClips) {
        const std::vector<FrameEnvelopes> frames = MeasuredFrames(clip);
        if (frames.empty()) continue;
        for (const FrameEnvelopes& f : frames) {
            for (size_t k = 0; k < BINS; ++k)
                channel[k] += (f.heard[k] - f.allPole[k]) / double(frames.size());
        }
        ++clips;
    }
    if (clips < CHANNEL_VOWELS) return {};
    double mean = 0;
    for (double& v : channel) {
        v /= double(clips);
        mean += v / double(BINS);
    }
    for (double& v : channel) v -= mean;
    return channel;
}

double EnvelopeRipple(std::span<const int16_t> clip, std::span<const double> channel) {
    if (channel.size() != BINS) return 0;
    const auto lo = static_cast<size_t>(200 * NFFT / TAKE_RATE) + 1;
    const auto hi = static_cast<size_t>(4500 * NFFT / TAKE_RATE);
    constexpr double DB = 20 / 2.302585092994046;
    std::vector<double> ripples;
    for (const FrameEnvelopes& f : MeasuredFrames(clip)) {
        double mean = 0, square = 0;
        for (size_t k = lo; k <= hi; ++k) mean += f.heard[k] - f.allPole[k] - channel[k];
        mean /= double(hi - lo + 1);
        for (size_t k = lo; k <= hi; ++k) {
            const double d = (f.heard[k] - f.allPole[k] - channel[k] - mean) * DB;
            square += d * d;
        }
        ripples.push_back(std::sqrt(square / double(hi - lo + 1)));
    }
    if (ripples.empty()) return 0;
    std::sort(ripples.begin(), ripples.end());
    const size_t m = ripples.size() / 2;
    return ripples.size() % 2 ? ripples[m] : (ripples[m - 1] + ripples[m]) / 2;
}

bool ClearVowelRipple(std::vector<int16_t>& clip, std::span<const double> channel) {
    const double amount = std::clamp(
        (EnvelopeRipple(clip, channel) - RIPPLE_FROM_DB) / (RIPPLE_FULL_DB - RIPPLE_FROM_DB), 0.0,
        1.0);
    if (amount <= 0) return false;
    Reshape(clip, [amount](const FrameEnvelopes& f, Spectrum& change) {
        for (size_t k = 0; k < BINS; ++k) change[k] = amount * (f.allPole[k] - f.heard[k]);
    });
    return true;
}

size_t ClearTakeRipple(std::span<std::vector<int16_t>> vowelClips) {
    std::vector<std::span<const int16_t>> views(vowelClips.begin(), vowelClips.end());
    const std::vector<double> channel = VowelChannel(views);
    size_t changed = 0;
    for (std::vector<int16_t>& clip : vowelClips)
        changed += ClearVowelRipple(clip, channel) ? 1 : 0;
    return changed;
}

double UpperBalance(std::span<const int16_t> clip) {
    size_t n = 1024;
    while (n < clip.size()) n *= 2;
    std::vector<std::complex<double>> x(n, 0.0);
    for (size_t i = 0; i < clip.size(); ++i)
        x[i] = clip[i] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(clip.size())));
    Fft(x);
    double upper = 0, total = 0;
    for (size_t k = 1; k <= n / 2; ++k) {
        const double hz = double(k) * TAKE_RATE / double(n), power = std::norm(x[k]);
        total += power;
        if (hz >= UPPER_FROM_HZ && hz < UPPER_TO_HZ) upper += power;
    }
    return upper > 0 ? 10 * std::log10(upper / total) : -120.0;
}

size_t BrightenDarkFrontVowels(std::span<std::vector<int16_t>> vowelClips,
                               std::span<const int> codes) {
    // A clip too faint to measure stays unmeasured, and is never raised.
    std::vector<double> offsets(vowelClips.size(), HUGE_VAL);
    std::vector<double> measured;
    for (size_t i = 0; i < vowelClips.size() && i < codes.size(); ++i) {
        const double balance = UpperBalance(vowelClips[i]);
        if (codes[i] < 0 || size_t(codes[i]) >= kUsualBalance.size() || balance <= -100) continue;
        offsets[i] = balance - kUsualBalance[size_t(codes[i])];
        measured.push_back(offsets[i]);
    }
    if (measured.size() < CHANNEL_VOWELS) return 0;
    std::nth_element(measured.begin(), measured.begin() + long(measured.size() / 2),
                     measured.end());
    const double tilt = measured[measured.size() / 2];
    size_t changed = 0;
    for (size_t i = 0; i < vowelClips.size() && i < codes.size(); ++i) {
        if (codes[i] < 0 || codes[i] > LAST_FRONT_VOWEL || offsets[i] >= tilt - FRONT_DARK_DB)
            continue;
        // The raise that brings the balance to the voice's tilt: found in a
        // few passes from the clip as it was, since the ramp below 1.8 kHz
        // moves some of the power counted as the rest.
        const std::vector<int16_t> before = vowelClips[i];
        const double target = kUsualBalance[size_t(codes[i])] + tilt;
        double raise = 0;
        for (int pass = 0; pass < 4; ++pass) {
            const double short_of = target - UpperBalance(vowelClips[i]);
            if (std::abs(short_of) < 0.5) break;
            raise = std::clamp(raise + short_of, 0.0, MAX_FRONT_RAISE_DB);
            vowelClips[i] = before;
            Reshape(vowelClips[i], [raise](const FrameEnvelopes&, Spectrum& change) {
                for (size_t k = 0; k < BINS; ++k) {
                    const double hz = double(k) * TAKE_RATE / double(NFFT);
                    const double ramp =
                        std::clamp((hz - RAMP_FROM_HZ) / (UPPER_FROM_HZ - RAMP_FROM_HZ), 0.0, 1.0);
                    change[k] = raise / DB_PER_NEPER * (0.5 - 0.5 * std::cos(M_PI * ramp));
                }
            });
        }
        ++changed;
    }
    return changed;
}

bool CentreReducedVowel(std::vector<int16_t>& clip) {
    const std::vector<int16_t> before = clip;
    // Frames of the edges' fade and the padding are too faint to measure.
    const double faint = REDUCED_FAINT_FRAME * Rms(std::vector<double>(clip.begin(), clip.end()));
    bool moved = false;
    Reshape(clip, [&](const FrameEnvelopes& f, Spectrum& change) {
        if (f.rms >= faint) moved = CentreFrame(f, change) || moved;
    });
    if (!moved) clip = before;  // not even resynthesised
    return moved;
}

}  // namespace vocalith::voicebuild
