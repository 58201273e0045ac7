#pragma once
// A small cascade/parallel formant synthesizer for one clip at a time.
//
// A clip is planned as a list of segments. Each segment has a length and the
// synthesis targets at its start and end; targets are interpolated linearly
// across it (formants once per 5 ms frame, amplitudes per sample). Sources:
// a polynomial glottal flow pulse (its first difference excites the tract, so
// lip radiation is included), a low-passed copy of it for voice bars, and a
// Gaussian-like noise from a fixed-seed xorshift generator. The voicing and
// aspiration go through the cascade branch (optional nasal pole and zero, then
// F1..F5 in series); frication goes through the parallel branch (F2..F6, each
// with its own gain, plus a flat bypass). Everything is deterministic: see
// det_math.h.
#include <cstdint>
#include <vector>

namespace vocalith::voicegen {

// Levels are on the 0..80 dB scale of formant synthesis; 0 means off.
struct Target {
    double f1 = 500, f2 = 1500, f3 = 2500;  // Hz
    double b1 = 60, b2 = 90, b3 = 150;      // Hz
    double av = 0;                          // voicing into the cascade
    double avs = 0;                         // quasi-sinusoidal voicing (voice bar)
    double ah = 0;                          // aspiration noise into the cascade
    double af = 0;                          // frication noise into the parallel branch
};

struct Segment {
    int samples = 0;
    Target from;
    Target to;
    bool measured = true;  // counts towards the clip's level (closures do not)
};

// Settings that hold for a whole clip.
struct ClipSettings {
    bool nasal = false;  // nasal pole 270 Hz and zero 450 Hz in the cascade
    // Parallel branch gains in dB (0 = off): F2..F6 and the flat bypass.
    double a2 = 0, a3 = 0, a4 = 0, a5 = 0, a6 = 0, ab = 0;
    double f6 = 4900;            // Hz, the highest parallel formant
    bool modulateNoise = false;  // halve the noise in the second half of each glottal period
    double levelDb = 0;          // RMS of the measured segments, relative to a strong vowel
    int fadeSamples = 55;        // raised-cosine fade at both ends
    uint32_t seed = 1;           // noise generator seed (not 0)
};

// The clip as synthesized, before fades, scaling and rounding.
std::vector<double> SynthesizeRaw(const std::vector<Segment>& plan, const ClipSettings& settings);

// Synthesizes the planned clip, fades both ends to exact zero, scales it to
// its level (never peaking above kPeakLimit) and rounds to 16-bit samples.
std::vector<int16_t> RenderClip(const std::vector<Segment>& plan, const ClipSettings& settings);

// The RMS a strong vowel (level 0 dB) is scaled to, and the highest peak any clip may reach.
inline constexpr double kReferenceRms = 5500.0;
inline constexpr double kPeakLimit = 22000.0;

// Milliseconds to samples at 11025 samples per second, rounded.
int MsToSamples(double ms);

}  // namespace vocalith::voicegen
