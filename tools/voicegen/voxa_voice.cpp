#include "voicegen/voxa_voice.h"

#include <algorithm>
#include <cstddef>

#include "voicegen/formant_synth.h"

namespace vocalith::voicegen {

namespace {

enum class Kind {
    Vowel,               // hold, glide from start to end targets, hold
    Sonorant,            // liquids and glides: hold the consonant target, then open toward a vowel
    Nasal,               // steady murmur through the nasal pole and zero
    VoicelessStop,       // silent closure, burst, aspiration
    VoicedStop,          // voice bar, burst, voiced transition
    VoicelessFricative,  // frication noise only
    VoicedFricative,     // frication noise modulated by voicing, plus voicing
    Aspirate,            // breathy noise through the vocal tract
    BreathyGlide,        // aspirated onset, then voiced glide
    VoicelessAffricate,  // silent closure, burst, frication
    VoicedAffricate,     // voice bar, burst, voiced frication
    Silence,             // exact zeros
};

struct Recipe {
    Kind kind;
    double ms;                         // clip length
    double f1, f2, f3, f1e, f2e, f3e;  // formants at start and end (Hz)
    double b1, b2, b3, b1e, b2e, b3e;  // bandwidths at start and end (Hz)
    double av;                         // voicing level of the voiced part (dB)
    double a2, a3, a4, a5, a6, ab;     // parallel branch gains (dB, 0 = off)
    double closureMs, burstMs;         // stops and affricates
    double levelDb;                    // RMS relative to a strong vowel
    bool nasal;
};

// clang-format off
// Adult male targets at 11025 samples per second. Steady sounds repeat the
// start values as end values. The reduced vowel AX sits a little toward AH
// (F1 520, F2 1400) rather than at the neutral tube's 500/1500, which
// listeners took for EH; r is short, so its low-F3 stretch is not heard as
// a vowel ER of its own. The voiceless stops hold a 52 ms silent closure
// before a short aspiration; with closures as short as the voiced stops'
// (about 40 ms) they were understood less well. Vowels last about as long
// as they do in running speech (50-125 ms); the longer vowels of a word
// said slowly were understood less well, the more so the longer they were.
constexpr Recipe kRecipes[kVoicePhonemeCount] = {
    // 0 IY
    {Kind::Vowel, 86, 310, 2020, 2960, 290, 2070, 2960, 45, 200, 400, 60, 200, 400, 60, 0, 0, 0, 0, 0, 0, 0, 0, -6, false},
    // 1 IH
    {Kind::Vowel, 71, 400, 1800, 2570, 470, 1600, 2600, 50, 100, 140, 50, 100, 140, 60, 0, 0, 0, 0, 0, 0, 0, 0, -3, false},
    // 2 EY
    {Kind::Vowel, 100, 480, 1720, 2520, 330, 2020, 2600, 70, 100, 200, 55, 100, 200, 60, 0, 0, 0, 0, 0, 0, 0, 0, -2, false},
    // 3 EH
    {Kind::Vowel, 76, 530, 1680, 2500, 620, 1530, 2530, 60, 90, 200, 60, 90, 200, 60, 0, 0, 0, 0, 0, 0, 0, 0, -2, false},
    // 4 AE
    {Kind::Vowel, 105, 620, 1660, 2430, 650, 1490, 2470, 70, 150, 320, 70, 100, 320, 60, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
    // 5 AA
    {Kind::Vowel, 105, 700, 1220, 2600, 700, 1220, 2600, 130, 70, 160, 130, 70, 160, 60, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
    // 6 AO
    {Kind::Vowel, 105, 600, 990, 2570, 630, 1040, 2600, 90, 100, 80, 90, 100, 80, 60, 0, 0, 0, 0, 0, 0, 0, 0, -1, false},
    // 7 OW
    {Kind::Vowel, 100, 540, 1100, 2300, 450, 900, 2300, 80, 70, 70, 80, 70, 70, 60, 0, 0, 0, 0, 0, 0, 0, 0, -2, false},
    // 8 UH
    {Kind::Vowel, 71, 450, 1100, 2350, 500, 1180, 2390, 80, 100, 80, 80, 100, 80, 60, 0, 0, 0, 0, 0, 0, 0, 0, -3, false},
    // 9 UW
    {Kind::Vowel, 90, 350, 1250, 2200, 320, 900, 2200, 65, 110, 140, 65, 110, 140, 60, 0, 0, 0, 0, 0, 0, 0, 0, -5, false},
    // 10 ER
    {Kind::Vowel, 90, 470, 1270, 1540, 420, 1310, 1540, 100, 60, 110, 100, 60, 110, 60, 0, 0, 0, 0, 0, 0, 0, 0, -3, false},
    // 11 AX
    {Kind::Vowel, 52, 520, 1400, 2500, 520, 1400, 2500, 80, 60, 120, 80, 60, 120, 56, 0, 0, 0, 0, 0, 0, 0, 0, -4, false},
    // 12 AH
    {Kind::Vowel, 71, 620, 1220, 2550, 620, 1220, 2550, 80, 50, 140, 80, 50, 140, 60, 0, 0, 0, 0, 0, 0, 0, 0, -1, false},
    // 13 AY
    {Kind::Vowel, 119, 660, 1200, 2550, 400, 1880, 2500, 100, 70, 200, 70, 100, 200, 60, 0, 0, 0, 0, 0, 0, 0, 0, -1, false},
    // 14 AW
    {Kind::Vowel, 119, 640, 1230, 2550, 420, 940, 2350, 80, 70, 140, 80, 70, 80, 60, 0, 0, 0, 0, 0, 0, 0, 0, -1, false},
    // 15 OY
    {Kind::Vowel, 124, 550, 960, 2400, 360, 1820, 2450, 80, 50, 130, 60, 50, 160, 60, 0, 0, 0, 0, 0, 0, 0, 0, -2, false},
    // 16 p
    {Kind::VoicelessStop, 79, 400, 1100, 2150, 400, 1100, 2150, 300, 150, 220, 300, 150, 220, 0, 0, 0, 0, 0, 0, 63, 52, 5, -16, false},
    // 17 b
    {Kind::VoicedStop, 55, 200, 1100, 2150, 200, 1100, 2150, 60, 110, 130, 60, 110, 130, 60, 0, 0, 0, 0, 0, 63, 42, 5, -13, false},
    // 18 t
    {Kind::VoicelessStop, 79, 400, 1600, 2600, 400, 1600, 2600, 300, 120, 250, 300, 120, 250, 0, 0, 30, 45, 57, 63, 0, 52, 12, -14, false},
    // 19 d
    {Kind::VoicedStop, 55, 200, 1600, 2600, 200, 1600, 2600, 60, 100, 170, 60, 100, 170, 60, 0, 47, 60, 62, 60, 0, 39, 8, -13, false},
    // 20 k
    {Kind::VoicelessStop, 87, 300, 1990, 2850, 300, 1990, 2850, 250, 160, 330, 250, 160, 330, 0, 0, 53, 43, 45, 45, 0, 52, 20, -14, false},
    // 21 g
    {Kind::VoicedStop, 62, 200, 1990, 2850, 200, 1990, 2850, 60, 150, 280, 60, 150, 280, 60, 0, 53, 43, 45, 45, 0, 39, 15, -13, false},
    // 22 f
    {Kind::VoicelessFricative, 96, 340, 1100, 2080, 340, 1100, 2080, 200, 120, 150, 200, 120, 150, 0, 0, 0, 0, 0, 0, 57, 0, 0, -20, false},
    // 23 v
    {Kind::VoicedFricative, 64, 220, 1100, 2080, 220, 1100, 2080, 60, 90, 120, 60, 90, 120, 47, 0, 0, 0, 0, 0, 57, 0, 0, -15, false},
    // 24 TH
    {Kind::VoicelessFricative, 88, 320, 1290, 2540, 320, 1290, 2540, 200, 90, 200, 200, 90, 200, 0, 0, 0, 0, 0, 28, 48, 0, 0, -26, false},
    // 25 DH
    {Kind::VoicedFricative, 56, 270, 1290, 2540, 270, 1290, 2540, 60, 80, 170, 60, 80, 170, 47, 0, 0, 0, 0, 28, 48, 0, 0, -18, false},
    // 26 s
    {Kind::VoicelessFricative, 104, 320, 1390, 2530, 320, 1390, 2530, 200, 80, 200, 200, 80, 200, 0, 0, 0, 0, 0, 52, 0, 0, 0, -14, false},
    // 27 z
    {Kind::VoicedFricative, 80, 240, 1390, 2530, 240, 1390, 2530, 70, 60, 180, 70, 60, 180, 47, 0, 0, 0, 0, 52, 0, 0, 0, -13, false},
    // 28 SH
    {Kind::VoicelessFricative, 104, 300, 1840, 2750, 300, 1840, 2750, 200, 100, 300, 200, 100, 300, 0, 0, 57, 48, 48, 46, 0, 0, 0, -8, false},
    // 29 ZH
    {Kind::VoicedFricative, 80, 300, 1840, 2750, 300, 1840, 2750, 60, 100, 300, 60, 100, 300, 47, 0, 57, 48, 48, 46, 0, 0, 0, -9, false},
    // 30 h
    {Kind::Aspirate, 64, 500, 1500, 2500, 500, 1500, 2500, 300, 150, 300, 300, 150, 300, 0, 0, 0, 0, 0, 0, 0, 0, 0, -14, false},
    // 31 m
    {Kind::Nasal, 72, 480, 1270, 2130, 480, 1270, 2130, 40, 200, 200, 40, 200, 200, 60, 0, 0, 0, 0, 0, 0, 0, 0, -9, true},
    // 32 n
    {Kind::Nasal, 64, 480, 1340, 2470, 480, 1340, 2470, 40, 300, 300, 40, 300, 300, 60, 0, 0, 0, 0, 0, 0, 0, 0, -9, true},
    // 33 NG
    {Kind::Nasal, 80, 480, 2000, 2800, 480, 2000, 2800, 40, 300, 300, 40, 300, 300, 60, 0, 0, 0, 0, 0, 0, 0, 0, -9, true},
    // 34 l
    {Kind::Sonorant, 72, 310, 1050, 2880, 405, 1275, 2690, 50, 100, 280, 50, 100, 280, 57, 0, 0, 0, 0, 0, 0, 0, 0, -4, false},
    // 35 w
    {Kind::Sonorant, 72, 290, 610, 2150, 395, 1055, 2325, 50, 80, 60, 50, 80, 60, 57, 0, 0, 0, 0, 0, 0, 0, 0, -4, false},
    // 36 y
    {Kind::Sonorant, 64, 260, 2070, 3020, 380, 1785, 2760, 40, 250, 500, 40, 250, 500, 57, 0, 0, 0, 0, 0, 0, 0, 0, -4, false},
    // 37 r
    {Kind::Sonorant, 64, 310, 1060, 1380, 405, 1280, 1940, 70, 100, 120, 70, 100, 120, 57, 0, 0, 0, 0, 0, 0, 0, 0, -4, false},
    // 38 CH
    {Kind::VoicelessAffricate, 107, 350, 1800, 2820, 350, 1800, 2820, 200, 90, 300, 200, 90, 300, 0, 0, 44, 60, 53, 53, 0, 35, 12, -11, false},
    // 39 j
    {Kind::VoicedAffricate, 93, 260, 1800, 2820, 260, 1800, 2820, 60, 80, 270, 60, 80, 270, 47, 0, 44, 60, 53, 53, 0, 35, 8, -11, false},
    // 40 WH
    {Kind::BreathyGlide, 80, 290, 610, 2150, 395, 1055, 2325, 150, 80, 60, 90, 80, 60, 57, 0, 0, 0, 0, 0, 0, 0, 0, -8, false},
    // 41 silence: the gap between words. Connected speech runs its words
    // together; a longer gap was heard as a stop's closure (an extra t, or
    // "the") before the next word.
    {Kind::Silence, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
};
// clang-format on

// Clip ends fade over 3 ms. Every join of two clips dips to zero; a longer
// fade makes that dip long enough to be heard as a stop closure between two
// vowels or sonorants.
constexpr int kClipFadeSamples = 33;

// The neutral vowel that consonant releases open toward.
constexpr double kNeutralF1 = 500, kNeutralF2 = 1500, kNeutralF3 = 2500;

Target StartTarget(const Recipe& r) {
    Target t;
    t.f1 = r.f1;
    t.f2 = r.f2;
    t.f3 = r.f3;
    t.b1 = r.b1;
    t.b2 = r.b2;
    t.b3 = r.b3;
    return t;
}

Target EndTarget(const Recipe& r) {
    Target t;
    t.f1 = r.f1e;
    t.f2 = r.f2e;
    t.f3 = r.f3e;
    t.b1 = r.b1e;
    t.b2 = r.b2e;
    t.b3 = r.b3e;
    return t;
}

// Vowel and approximant bandwidths are narrowed by this factor (but kept at
// 40 Hz or more): sharper peaks and deeper valleys between the formants make
// the vowels easier to tell apart than the wider bandwidths of the table.
constexpr double kBandwidthScale = 0.7;
constexpr double kMinBandwidth = 40;

Target Sharpened(Target t) {
    t.b1 = std::max(kMinBandwidth, t.b1 * kBandwidthScale);
    t.b2 = std::max(kMinBandwidth, t.b2 * kBandwidthScale);
    t.b3 = std::max(kMinBandwidth, t.b3 * kBandwidthScale);
    return t;
}

// Formants halfway from a consonant's locus toward the neutral vowel.
Target TowardNeutral(Target t) {
    t.f2 = (t.f2 + kNeutralF2) / 2;
    t.f3 = (t.f3 + kNeutralF3) / 2;
    return t;
}

Segment Seg(int samples, Target from, Target to, bool measured = true) {
    Segment s;
    s.samples = samples;
    s.from = from;
    s.to = to;
    s.measured = measured;
    return s;
}

// Splits `total` samples into three parts; the middle one takes the rounding.
void ThreeParts(int total, int first, int last, std::vector<Segment>& plan, Target a, Target b,
                Target c, Target d) {
    plan.push_back(Seg(first, a, b));
    plan.push_back(Seg(total - first - last, b, c));
    plan.push_back(Seg(last, c, d));
}

std::vector<Segment> Plan(const Recipe& r, ClipSettings& settings) {
    const int total = MsToSamples(r.ms);
    const Target start = StartTarget(r);
    const Target end = EndTarget(r);
    std::vector<Segment> plan;
    switch (r.kind) {
        case Kind::Vowel: {
            Target s = Sharpened(start), e = Sharpened(end);
            s.av = e.av = r.av;
            const int hold = total / 4;
            ThreeParts(total, hold, hold, plan, s, s, e, e);
            break;
        }
        case Kind::Sonorant: {
            Target s = Sharpened(start), e = Sharpened(end);
            s.av = e.av = r.av;
            const int hold = total * 3 / 10;
            plan.push_back(Seg(hold, s, s));
            plan.push_back(Seg(total - hold, s, e));
            break;
        }
        case Kind::Nasal: {
            Target s = start;
            s.av = r.av;
            plan.push_back(Seg(total, s, s));
            break;
        }
        case Kind::VoicelessStop: {
            const int closure = MsToSamples(r.closureMs);
            const int burst = MsToSamples(r.burstMs);
            Target burstFrom = start, burstTo = start;
            burstFrom.af = 60;
            burstTo.af = 56;
            Target aspFrom = start, aspTo = TowardNeutral(start);
            aspFrom.ah = aspTo.ah = 52;
            plan.push_back(Seg(closure, start, start, false));
            plan.push_back(Seg(burst, burstFrom, burstTo));
            plan.push_back(Seg(total - closure - burst, aspFrom, aspTo));
            break;
        }
        case Kind::VoicedStop: {
            const int closure = MsToSamples(r.closureMs);
            const int burst = MsToSamples(r.burstMs);
            Target bar = start;
            bar.avs = 47;
            Target burstT = bar;
            burstT.af = 55;
            Target voicedFrom = start, voicedTo = TowardNeutral(start);
            voicedFrom.av = r.av - 4;
            voicedTo.av = r.av;
            voicedTo.f1 = kNeutralF1;
            voicedTo.b1 = 80;
            plan.push_back(Seg(closure, bar, bar, false));
            plan.push_back(Seg(burst, burstT, burstT));
            plan.push_back(Seg(total - closure - burst, voicedFrom, voicedTo));
            break;
        }
        case Kind::VoicelessFricative: {
            Target off = start, on = start;
            on.af = 60;
            const int ramp = MsToSamples(20);
            ThreeParts(total, ramp, ramp, plan, off, on, on, off);
            break;
        }
        case Kind::VoicedFricative: {
            Target off = start, on = start;
            on.af = 50;
            on.av = r.av;
            on.avs = 47;
            const int ramp = MsToSamples(15);
            ThreeParts(total, ramp, ramp, plan, off, on, on, off);
            settings.modulateNoise = true;
            break;
        }
        case Kind::Aspirate: {
            Target off = start, on = start;
            on.ah = 55;
            ThreeParts(total, MsToSamples(15), MsToSamples(20), plan, off, on, on, off);
            break;
        }
        case Kind::BreathyGlide: {
            // Breath through the lip rounding for 45 ms, then voicing glides
            // toward the next vowel.
            Target off = start, breath = start;
            breath.ah = 55;
            Target voicedFrom = start, voicedTo = end;
            voicedFrom.av = 50;
            voicedFrom.ah = 40;
            voicedTo.av = r.av;
            const int breathy = MsToSamples(45);
            const int ramp = MsToSamples(10);
            plan.push_back(Seg(ramp, off, breath));
            plan.push_back(Seg(breathy - ramp, breath, breath));
            plan.push_back(Seg(total - breathy, voicedFrom, voicedTo));
            break;
        }
        case Kind::VoicelessAffricate: {
            const int closure = MsToSamples(r.closureMs);
            const int burst = MsToSamples(r.burstMs);
            Target burstT = start, rise = start, on = start, off = start;
            burstT.af = 60;
            rise.af = 55;
            on.af = 60;
            const int fric = total - closure - burst;
            plan.push_back(Seg(closure, start, start, false));
            plan.push_back(Seg(burst, burstT, burstT));
            ThreeParts(fric, MsToSamples(10), MsToSamples(25), plan, rise, on, on, off);
            break;
        }
        case Kind::VoicedAffricate: {
            const int closure = MsToSamples(r.closureMs);
            const int burst = MsToSamples(r.burstMs);
            Target bar = start;
            bar.avs = 47;
            Target burstT = bar;
            burstT.af = 50;
            Target on = burstT, off = start;
            on.av = r.av;
            const int fric = total - closure - burst;
            plan.push_back(Seg(closure, bar, bar, false));
            plan.push_back(Seg(burst, burstT, burstT));
            plan.push_back(Seg(fric - MsToSamples(20), on, on));
            plan.push_back(Seg(MsToSamples(20), on, off));
            settings.modulateNoise = true;
            break;
        }
        case Kind::Silence:
            break;
    }
    return plan;
}

}  // namespace

std::vector<int16_t> SynthesizePhoneme(int code) {
    if (code < 0 || code >= kVoicePhonemeCount) return {};
    const Recipe& r = kRecipes[code];
    if (r.kind == Kind::Silence)
        return std::vector<int16_t>(static_cast<std::size_t>(MsToSamples(r.ms)), 0);

    ClipSettings settings;
    settings.nasal = r.nasal;
    settings.a2 = r.a2;
    settings.a3 = r.a3;
    settings.a4 = r.a4;
    settings.a5 = r.a5;
    settings.a6 = r.a6;
    settings.ab = r.ab;
    settings.levelDb = r.levelDb;
    settings.fadeSamples = kClipFadeSamples;
    // Each clip has its own noise sequence, independent of the order clips are made in.
    settings.seed = 0x9E3779B9u ^ (static_cast<uint32_t>(code + 1) * 2654435761u);
    const std::vector<Segment> plan = Plan(r, settings);
    return RenderClip(plan, settings);
}

std::array<std::vector<int16_t>, kVoicePhonemeCount> SynthesizeVoice() {
    std::array<std::vector<int16_t>, kVoicePhonemeCount> clips;
    for (int code = 0; code < kVoicePhonemeCount; ++code)
        clips[static_cast<std::size_t>(code)] = SynthesizePhoneme(code);
    return clips;
}

}  // namespace vocalith::voicegen
