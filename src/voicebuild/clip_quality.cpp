#include "voicebuild/clip_quality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

#include "voice/phoneme_inventory.h"
#include "voicebuild/clip_cutter.h"
#include "voicebuild/prompts.h"
#include "voicebuild/spectrum.h"
#include "voicebuild/speech_span.h"
#include "wave/pcm_format.h"

namespace vocalith::voicebuild {

namespace {

// The usual length of each phoneme said alone, ms (silence last).
// clang-format off
constexpr std::array<double, voice::PHONEME_COUNT> kUsualMs = {
    180, 150, 210, 160, 220, 220, 220, 210, 150, 190, 190, 110, 150, 250, 250, 260,  // vowels
    125, 85, 130, 90, 140, 95,                                                       // stops
    120, 80, 110, 70, 130, 100, 130, 100, 80,                                        // fricatives, h
    90, 80, 100, 90, 90, 80, 100,                                                    // sonorants
    140, 120, 100, 100,
};
// An adult man's F1 and F2 in each vowel (the mean of its start and end
// targets: a diphthong's clip is its middle).
constexpr std::array<std::array<double, 2>, 16> kUsualFormants = {{
    {300, 2045}, {435, 1700}, {405, 1870}, {575, 1605}, {635, 1575}, {700, 1220},
    {615, 1015}, {495, 1000}, {475, 1140}, {335, 1075}, {445, 1290}, {500, 1500},
    {620, 1220}, {530, 1540}, {530, 1085}, {455, 1390},
}};
// How much brighter (dB) each prompt word is than a speaker's median word,
// in prompt order: a word with a back vowel and no hiss ("coat") is duller
// by nature. The medians of the speaker panel's good takes.
constexpr std::array<double, PROMPT_COUNT> kWordBrightDb = {
    3.6,  0.4,  3.5,  2.1,  1.3,  -2.7, -2.8, -2.8, -4.9, -3.8, -0.2, -3.6, -1.3, 1.1,
    -1.9, -0.3, 1.0,  2.1,  1.6,  1.8,  -6.3, -5.7, -5.1, -4.1, -0.3, 1.9,  -3.9, -1.4,
    4.5,  1.8,  1.4,  -2.5, 1.5,  1.6,  0.5,  0.2,  3.7,  1.5,  -0.2, -2.1, 0.1,
};
// How much longer (log2) each prompt word is said than the usual lengths of
// its phonemes make it, against a speaker's median word, in prompt order: a
// word ending in a held sound ("lawn", "zoo") is drawn out when said alone,
// one ending in a stop ("pack") is clipped short. The medians of the speaker
// panel's good takes; without them a word said quickly but drawn out by
// nature passes for one said at the speaker's pace.
constexpr std::array<double, PROMPT_COUNT> kWordLengthLog2 = {
    -0.16, -0.20, -0.30, -0.30, -0.26, -0.22, 0.43, 0.49, 0.10, 0.22, 0.09, 0.10, -0.19, 0.10,
    0.21, 0.09, -0.44, -0.31, -0.09, 0.11, -0.35, -0.20, -0.23, -0.09, 0.20, 0.47, 0.32, 0.49,
    0.27, -0.18, -0.19, 0.16, 0.24, 0.16, -0.03, -0.04, 0.16, 0.19, 0.00, -0.13, 0.32,
};
// clang-format on

// Where each measure starts to cost confidence and where it has cost it all
// but a little; the warning line lies between. Set on takes of the speaker
// panel: good takes of every speaker stay above the line, the same words
// said 1.6 times faster, muffled below 2 kHz, murmured, or another word's
// vowel fall below it.
struct Ramp {
    double fine, bad;  // confidence 0.95 at `fine`, 0.2 at `bad`
};
constexpr Ramp TOO_FAST{-0.55, -1.05};      // log2 of length against the speaker's
constexpr Ramp TOO_FAST_ALONE{-1.2, -1.8};  // log2 of length against the usual
constexpr Ramp MUFFLED{-6, -11};            // dB of brightness against the speaker's
// A take both quick and dull is mumbled: the sum of its length against the
// speaker's (log2, over MUMBLE_TEMPO) and its brightness (dB, over
// MUMBLE_BRIGHT_DB), each alone too small to tell.
constexpr double MUMBLE_TEMPO = 0.3, MUMBLE_BRIGHT_DB = 2;
constexpr Ramp MUMBLED{-2.5, -4.6};
constexpr Ramp FAINT{-8, -16};            // dB of level against the speaker's
constexpr Ramp NOISY{22, 10};             // dB of the word above the noise floor
constexpr Ramp OUT_OF_PLACE{0.35, 0.80};  // log2 of the vowel's distance
// A diphthong's clip is its glide's middle, which lies less surely.
constexpr Ramp GLIDE_OUT_OF_PLACE{0.50, 0.95};
constexpr Ramp OUT_OF_PLACE_ALONE{0.75, 1.3};
constexpr Ramp UNVOICED{0.6, 0.2};  // share of voiced frames
constexpr double CLIPPED_SHARE = 0.002;
constexpr double HIGH_CONFIDENCE = 0.95;
constexpr double LEAST_CONFIDENCE = 0.2;

// A prompt word's entry in one of the per-word tables; 0 for a code that
// is no prompt word.
double ForWord(const std::array<double, PROMPT_COUNT>& table, int code) {
    return code >= 0 && code < PROMPT_COUNT ? table[static_cast<size_t>(code)] : 0.0;
}

double Rate(const Ramp& ramp, double value) {
    const double f = (value - ramp.fine) / (ramp.bad - ramp.fine);
    return HIGH_CONFIDENCE - std::clamp(f, 0.0, 1.0) * (HIGH_CONFIDENCE - LEAST_CONFIDENCE);
}

bool IsVowelCode(int code) {
    return code >= 0 && code <= 15;
}

bool HeldByVoice(int code) {
    return IsVowelCode(code) || (code >= 31 && code <= 37);
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// True when the frame repeats at a voice's period (70 to 400 Hz).
bool Voiced(std::span<const int16_t> x) {
    constexpr size_t kMinLag = 27, kMaxLag = 158;
    if (x.size() < kMaxLag * 2) return false;
    const size_t n = x.size() - kMaxLag;
    double best = 0;
    for (size_t lag = kMinLag; lag <= kMaxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < n; ++i) {
            xy += double(x[i]) * x[i + lag];
            xx += double(x[i]) * x[i];
            yy += double(x[i + lag]) * x[i + lag];
        }
        if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best > 0.7;
}

// Power spectrum of 256 samples from `x` (Hann window), bins 0..128.
constexpr size_t FFT_SIZE = 256;
std::array<double, FFT_SIZE / 2 + 1> PowerSpectrum(std::span<const int16_t> x) {
    std::array<std::complex<double>, FFT_SIZE> a{};
    for (size_t i = 0; i < FFT_SIZE && i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / FFT_SIZE);
        a[i] = double(x[i]) * w;
    }
    Fft(a);
    std::array<double, FFT_SIZE / 2 + 1> power{};
    for (size_t k = 0; k < power.size(); ++k) power[k] = std::norm(a[k]);
    return power;
}

// The peaks of the clip's spectral envelope below 4 kHz, lowest first, by
// linear prediction over the clip's autocorrelation (pre-emphasised,
// averaged over 30 ms frames, so the harmonics of a high voice do not pose
// as formants).
std::vector<double> EnvelopePeaks(std::span<const int16_t> clip) {
    constexpr size_t kFrame = 330, kHop = 110, kOrder = 12;
    if (clip.size() < kFrame) return {};
    std::array<double, kOrder + 1> r{};
    std::vector<double> frame(kFrame);
    for (size_t at = 0; at + kFrame <= clip.size(); at += kHop) {
        for (size_t i = 0; i < kFrame; ++i) {
            const double prev = at + i > 0 ? clip[at + i - 1] : 0.0;
            const double w = 0.54 - 0.46 * std::cos(2 * M_PI * double(i) / double(kFrame - 1));
            frame[i] = (clip[at + i] - 0.94 * prev) * w;
        }
        for (size_t lag = 0; lag <= kOrder; ++lag) {
            for (size_t i = lag; i < kFrame; ++i) r[lag] += frame[i] * frame[i - lag];
        }
    }
    if (r[0] <= 0) return {};
    r[0] *= 1.0001;  // a little white noise keeps the recursion stable
    std::array<double, kOrder + 1> a{};
    if (!LinearPrediction(r, a)) return {};
    std::vector<double> peaks;
    double before = 0, here = 0;
    for (double hz = 150; hz <= 4000; hz += 10) {
        std::complex<double> sum = 0;
        for (size_t j = 0; j <= kOrder; ++j)
            sum += a[j] * std::polar(1.0, -2 * M_PI * hz * double(j) / TAKE_RATE);
        const double gain = 1 / std::max(1e-12, std::norm(sum));
        if (hz > 160 && here > before && here >= gain) peaks.push_back(hz - 10);
        before = here;
        here = gain;
    }
    return peaks;
}

// The distance of a measured pair from the usual one after the speaker's scale.
double PairDistance(double f1, double f2, int code, const SpeakerProfile& speaker) {
    const auto& usual = kUsualFormants[static_cast<size_t>(code)];
    const double d1 = std::log2(f1 / usual[0]) - speaker.f1Scale;
    const double d2 = std::log2(f2 / usual[1]) - speaker.f2Scale;
    return std::max(std::abs(d1), std::abs(d2));
}

// The measured peaks taken as F1 and F2: the first two, or the second and
// third (a peak below F1 from a high voice's first harmonic), or one peak
// for both (a back vowel's F1 and F2 merged), whichever fits best.
std::array<double, 2> BestPair(const ClipMeasures& cut, const SpeakerProfile& speaker) {
    const std::array<std::array<double, 2>, 3> options = {
        {{cut.f1, cut.f2}, {cut.f2, cut.f2Alt}, {cut.f1, cut.f1}}};
    std::array<double, 2> best = options[0];
    double least = 1e9;
    for (const auto& o : options) {
        if (o[0] <= 0 || o[1] <= 0) continue;
        const double d = PairDistance(o[0], o[1], cut.code, speaker);
        if (d < least) {
            least = d;
            best = o;
        }
    }
    return best;
}

std::string Quoted(const std::string& word) {
    return "'" + word + "'";
}

}  // namespace

std::string SoundInWord(int code) {
    const Prompt* prompt = PromptFor(code);
    if (!prompt) return "the silence";
    const std::string word = Quoted(PromptWord(*prompt));
    if (IsVowelCode(code)) return "the vowel in " + word;
    std::string letters;
    for (const char* c = prompt->marked; *c; ++c)
        if (*c >= 'A' && *c <= 'Z') letters += char(*c - 'A' + 'a');
    return "the " + Quoted(letters) + " in " + word;
}

ClipMeasures MeasureCut(std::span<const int16_t> recording, size_t wordStart, size_t wordEnd,
                        double floorDb, double levelDb, size_t start, size_t end, int code,
                        std::span<const int16_t> clip) {
    ClipMeasures m;
    m.code = code;
    wordEnd = std::min(wordEnd, recording.size());
    end = std::min(end, recording.size());
    if (wordStart >= wordEnd) return m;
    m.wordMs = double(wordEnd - wordStart) * 1000 / TAKE_RATE;
    if (const Prompt* prompt = PromptFor(code)) {
        for (const int p : WordPhonemes(PromptWord(*prompt)))
            m.expectedMs += kUsualMs[static_cast<size_t>(p)];
        m.expectedMs *= std::exp2(ForWord(kWordLengthLog2, code));
    }
    m.levelDb = levelDb;
    m.floorDb = floorDb;
    const std::span<const int16_t> word = recording.subspan(wordStart, wordEnd - wordStart);
    size_t clipped = 0, run = 0;
    for (const int16_t v : word) {
        run = std::abs(int(v)) >= 32700 ? run + 1 : 0;
        if (run >= 3) clipped += run == 3 ? 3 : 1;
    }
    m.clippedShare = double(clipped) / double(word.size());
    // Brightness over the voiced frames: a muffled take loses what lies
    // above its vowels' second formant, whatever the word.
    double high = 0, all = 0;
    const size_t firstHigh = static_cast<size_t>(2500 * FFT_SIZE / TAKE_RATE);
    const size_t firstAll = static_cast<size_t>(100 * FFT_SIZE / TAKE_RATE);
    const double loudEnough = std::max(floorDb + 15, levelDb - 20);
    for (size_t at = 0; at + FFT_SIZE <= word.size(); at += FFT_SIZE / 2) {
        const std::span<const int16_t> frame = word.subspan(at, FFT_SIZE);
        double sum = 0;
        for (const int16_t v : frame) sum += double(v) * v;
        const double db = 10 * std::log10(std::max(1e-12, sum / FFT_SIZE)) - 90.3;
        if (db < loudEnough || !Voiced(word.subspan(at, std::min<size_t>(330, word.size() - at))))
            continue;
        const auto power = PowerSpectrum(frame);
        for (size_t k = firstAll; k < power.size(); ++k) {
            all += power[k];
            if (k >= firstHigh) high += power[k];
        }
    }
    m.brightDb = all > 0 ? 10 * std::log10(std::max(1e-12, high / all)) : 0;
    if (HeldByVoice(code) && start < end) {
        size_t frames = 0, voiced = 0;
        for (size_t at = start; at + 2 * 158 <= end || (frames == 0 && at == start);
             at += SPAN_FRAME) {
            ++frames;
            if (at + 2 * 158 <= recording.size() && Voiced(recording.subspan(at, 2 * 158)))
                ++voiced;
        }
        m.voicedShare = double(voiced) / double(frames);
    }
    const ClipMeasures formants = MeasureClip(code, clip);
    m.f1 = formants.f1;
    m.f2 = formants.f2;
    m.f2Alt = formants.f2Alt;
    return m;
}

SpeakerProfile ProfileOf(std::span<const ClipMeasures> cuts) {
    SpeakerProfile s;
    std::vector<double> tempo, level, bright;
    for (const ClipMeasures& m : cuts) {
        if (m.wordMs <= 0 || m.expectedMs <= 0) continue;
        tempo.push_back(std::log2(m.wordMs / m.expectedMs));
        level.push_back(m.levelDb);
        bright.push_back(m.brightDb - ForWord(kWordBrightDb, m.code));
    }
    // Fewer takes than this say too little about the speaker.
    if (tempo.size() < 6) return s;
    s.known = true;
    s.tempo = Median(tempo);
    s.levelDb = Median(level);
    s.brightDb = Median(bright);
    FitVocalTract(cuts, s);
    return s;
}

void FitVocalTract(std::span<const ClipMeasures> cuts, SpeakerProfile& s) {
    // Each vowel's pair is chosen under the scale found so far, and the
    // scale found again from the choices.
    s.formantsKnown = false;
    s.f1Scale = s.f2Scale = 0;
    for (int round = 0; round < 3; ++round) {
        std::vector<double> f1, f2;
        for (const ClipMeasures& m : cuts) {
            if (!IsVowelCode(m.code) || m.f1 <= 0) continue;
            const auto pair = BestPair(m, s);
            const auto& usual = kUsualFormants[static_cast<size_t>(m.code)];
            f1.push_back(std::log2(pair[0] / usual[0]));
            f2.push_back(std::log2(pair[1] / usual[1]));
        }
        // Fewer vowels than this say too little about the vocal tract.
        if (f1.size() < 5) return;
        s.formantsKnown = true;
        s.f1Scale = Median(f1);
        s.f2Scale = Median(f2);
    }
}

ClipMeasures MeasureClip(int code, std::span<const int16_t> clip) {
    ClipMeasures m;
    m.code = code;
    if (!IsVowelCode(code)) return m;
    const std::vector<double> peaks = EnvelopePeaks(clip);
    if (peaks.size() >= 2) {
        m.f1 = peaks[0];
        m.f2 = peaks[1];
        if (peaks.size() >= 3) m.f2Alt = peaks[2];
    }
    return m;
}

double RawVowelDistance(const ClipMeasures& cut) {
    if (!IsVowelCode(cut.code) || cut.f1 <= 0) return -1;
    const auto pair = BestPair(cut, SpeakerProfile{});
    const auto& usual = kUsualFormants[static_cast<size_t>(cut.code)];
    return (std::abs(std::log2(pair[0] / usual[0])) + std::abs(std::log2(pair[1] / usual[1]))) / 2;
}

double VowelDistance(const ClipMeasures& cut, const SpeakerProfile& speaker) {
    if (!IsVowelCode(cut.code) || cut.f1 <= 0) return -1;
    const auto pair = BestPair(cut, speaker);
    return PairDistance(pair[0], pair[1], cut.code, speaker);
}

Judgement JudgeCut(const ClipMeasures& cut, const SpeakerProfile& speaker) {
    Judgement j;
    const std::string sound = SoundInWord(cut.code);
    const Prompt* prompt = PromptFor(cut.code);
    const std::string word = prompt ? Quoted(PromptWord(*prompt)) : "the word";
    // The worst finding decides; each says what to do about itself.
    const auto consider = [&](double confidence, const std::string& reason) {
        if (confidence < j.confidence) {
            j.confidence = confidence;
            j.reason = reason;
        }
    };
    // A clip measured alone (no word around it) has only its formants.
    if (cut.wordMs > 0) {
        if (cut.clippedShare > CLIPPED_SHARE) {
            consider(0.3, word +
                              " is distorted: it was too loud for the input; lower the input "
                              "gain or move back from the microphone");
        }
        consider(Rate(NOISY, cut.levelDb - cut.floorDb),
                 sound + " is faint against the noise; say it closer to the microphone");
        const double tempo = cut.expectedMs > 0 ? std::log2(cut.wordMs / cut.expectedMs) : 0;
        const std::string fastReason = IsVowelCode(cut.code)
                                           ? sound + " is too short; say it slower"
                                           : word + " was said too fast; say it slower";
        if (speaker.known) {
            consider(Rate(TOO_FAST, tempo - speaker.tempo), fastReason);
            consider(Rate(FAINT, cut.levelDb - speaker.levelDb),
                     sound + " is faint; say it closer to the microphone");
            const double dull = cut.brightDb - ForWord(kWordBrightDb, cut.code) - speaker.brightDb;
            const std::string muffled =
                word + " sounds muffled; say it clearly, facing the microphone";
            consider(Rate(MUFFLED, dull), muffled);
            consider(
                Rate(MUMBLED, (tempo - speaker.tempo) / MUMBLE_TEMPO + dull / MUMBLE_BRIGHT_DB),
                word + " sounds mumbled; say it slower and clearly, facing the microphone");
        } else {
            consider(Rate(TOO_FAST_ALONE, tempo), fastReason);
        }
    }
    if (HeldByVoice(cut.code) && cut.voicedShare > 0) {
        consider(Rate(UNVOICED, cut.voicedShare),
                 sound + " is hardly voiced; say it in your full voice, not whispered");
    }
    const double distance = VowelDistance(cut, speaker);
    if (distance >= 0) {
        const bool glide = cut.code == 2 || cut.code == 7 || cut.code >= 13;
        consider(Rate(!speaker.formantsKnown ? OUT_OF_PLACE_ALONE
                      : glide                ? GLIDE_OUT_OF_PLACE
                                             : OUT_OF_PLACE,
                      distance),
                 sound + " sounds like another vowel; say " + word + " clearly, as in a sentence");
    }
    return j;
}

void ApplyJudgement(Cut& cut, const SpeakerProfile& speaker) {
    const Judgement j = JudgeCut(cut.measures, speaker);
    cut.confidence = std::min(cut.cutConfidence, j.confidence);
    cut.problem = !cut.cutProblem.empty()           ? cut.cutProblem
                  : cut.confidence < LOW_CONFIDENCE ? j.reason
                                                    : std::string();
}

}  // namespace vocalith::voicebuild
