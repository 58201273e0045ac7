#include "voicebuild/clip_cutter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voice/phoneme_inventory.h"
#include "voicebuild/prompts.h"
#include "voicebuild/spectrum.h"
#include "voicebuild/speech_span.h"
#include "wave/pcm_format.h"
#include "wave/rate_converter.h"

namespace vocalith::voicebuild {

namespace {

// The alignment looks this far around the word found by loudness, so faint
// sounds at its edges (an "f", an "h") are not lost.
constexpr double ALIGN_MARGIN_S = 0.25;
// How far an edge may move to reach a zero crossing, and the fades.
constexpr size_t CROSSING_REACH = 33;  // 3 ms
constexpr size_t FADE = 22;            // 2 ms
// The largest gain levelling applies (+26 dB): a quieter take is mostly noise.
constexpr double MAX_GAIN = 20;
// A take is another word when the word the prompt list offers in its place
// fits it better by this much per 10 ms (decoder units) than the prompt
// word itself: near-misses between a voiced and unvoiced pair stay below,
// and so do good takes of higher and British voices, which the model hears
// less surely (at 3, one good take in ten of the speaker panel was called
// another word; at 5, one in thirty, and wrong words are still caught).
// Two words said as one need a margin of their own: the second absorbs
// noise and breath around a word well said.
constexpr double WRONG_WORD_MARGIN = 5;
constexpr double TWO_WORDS_MARGIN = 4;
// A sound other than a stop cut shorter than this was squeezed by the
// aligner: the word was said too fast or not said.
constexpr int SQUEEZED_MS = 35;
// What a take found wrong reports: below LOW_CONFIDENCE.
constexpr double WRONG_TAKE_CONFIDENCE = 0.35;
// AX, the schwa: the vowel of a syllable without stress; AH, "but".
constexpr int REDUCED_VOWEL = 11;
constexpr int OPEN_MID_VOWEL = 12;

double DbToAmplitude(double db) {
    return std::pow(10.0, db / 20.0);
}

bool IsVowel(int code) {
    return code >= 0 && code <= 15;
}

bool IsDiphthong(int code) {
    return code == 2 || code == 7 || (code >= 13 && code <= 15);  // EY OW AY AW OY
}

// How a clip of each phoneme is shaped. The engine plays clips back to back,
// so a clip must sound like its phoneme in running speech, not in a word
// said alone: a vowel or sonorant keeps only a steady part of its stretch,
// shorter than a stressed vowel in running speech (a word said alone
// drawls, and its edges carry the neighbours' transitions; a short clip of
// a drawled vowel sounds truer than a long one); a stop or
// affricate is a short silent closure (a longer one breaks the word apart),
// then the recording from its burst to the onset of voicing (its aspiration
// or frication); so are a voiceless fricative and h, without the closure.
// Sounds carried by the voice sit at their own level, as in speech: the open
// vowels loudest, closer ones up to 6 dB below (a close vowel is quieter by
// nature, and one as loud as an open vowel misleads a listener), nasals and
// liquids lower still. The others keep the word's balance but are never
// fainter than their own level, so a weak burst or hiss is not lost under
// noise next to full vowels.
struct Shape {
    enum class Kind { Core, Stop, Other } kind;
    double ms;  // Core: the longest clip; Stop: the closure
    // Relative to VOICED_TARGET_DB: a Core's level, the others' least.
    double levelDb;
    double minMs, maxMs;  // Stop: the shortest and longest release
};

// clang-format off
constexpr std::array<Shape, voice::PHONEME_COUNT> kShapes = {{
    // IY IH EY EH AE AA AO OW
    {Shape::Kind::Core, 68, -6, 0, 0}, {Shape::Kind::Core, 57, -3, 0, 0},
    {Shape::Kind::Core, 80, -2, 0, 0}, {Shape::Kind::Core, 60, -2, 0, 0},
    {Shape::Kind::Core, 83, 0, 0, 0}, {Shape::Kind::Core, 83, 0, 0, 0},
    {Shape::Kind::Core, 83, -1, 0, 0}, {Shape::Kind::Core, 80, -2, 0, 0},
    // UH UW ER AX AH AY AW OY
    {Shape::Kind::Core, 57, -3, 0, 0}, {Shape::Kind::Core, 72, -5, 0, 0},
    {Shape::Kind::Core, 72, -3, 0, 0}, {Shape::Kind::Core, 42, -4, 0, 0},
    {Shape::Kind::Core, 57, -1, 0, 0}, {Shape::Kind::Core, 95, -1, 0, 0},
    {Shape::Kind::Core, 95, -1, 0, 0}, {Shape::Kind::Core, 99, -2, 0, 0},
    // p b t d k g
    {Shape::Kind::Stop, 15, -16, 20, 70}, {Shape::Kind::Stop, 12, -13, 15, 40},
    {Shape::Kind::Stop, 15, -14, 20, 70}, {Shape::Kind::Stop, 12, -13, 15, 40},
    {Shape::Kind::Stop, 14, -14, 25, 70}, {Shape::Kind::Stop, 12, -13, 20, 45},
    // f v TH DH s z SH ZH h
    {Shape::Kind::Stop, 0, -20, 40, 110}, {Shape::Kind::Core, 48, -15, 0, 0},
    {Shape::Kind::Stop, 0, -26, 40, 110}, {Shape::Kind::Core, 42, -18, 0, 0},
    {Shape::Kind::Stop, 0, -14, 40, 110}, {Shape::Kind::Core, 60, -13, 0, 0},
    {Shape::Kind::Other, 0, -8, 0, 0}, {Shape::Kind::Core, 60, -9, 0, 0},
    {Shape::Kind::Stop, 0, -14, 30, 90},
    // m n NG l w y r
    {Shape::Kind::Core, 54, -8, 0, 0}, {Shape::Kind::Core, 48, -8, 0, 0},
    {Shape::Kind::Core, 60, -8, 0, 0}, {Shape::Kind::Core, 54, -3, 0, 0},
    {Shape::Kind::Core, 54, -3, 0, 0}, {Shape::Kind::Core, 48, -3, 0, 0},
    {Shape::Kind::Core, 48, -3, 0, 0},
    // CH j WH silence
    {Shape::Kind::Stop, 11, -11, 40, 110}, {Shape::Kind::Stop, 11, -11, 50, 90},
    {Shape::Kind::Core, 60, -3, 0, 0}, {Shape::Kind::Other, 0, 0, 0, 0},
}};
// clang-format on

const Shape& ShapeOf(int code) {
    return kShapes[static_cast<size_t>(std::clamp(code, 0, voice::PHONEME_COUNT - 1))];
}

size_t MsToSamples(double ms) {
    return static_cast<size_t>(ms * TAKE_RATE / 1000);
}

int Milliseconds(size_t samples) {
    return static_cast<int>(std::lround(double(samples) * 1000.0 / TAKE_RATE));
}

// The RMS level of the loudest 50 ms of [start, end), dBFS.
double LoudestLevel(std::span<const int16_t> recording, size_t start, size_t end) {
    const std::vector<double> levels = FrameLevels(recording.subspan(start, end - start));
    double best = -120;
    for (size_t f = 0; f + 5 <= levels.size(); ++f) {
        double power = 0;
        for (size_t i = f; i < f + 5; ++i) power += std::pow(10.0, levels[i] / 10);
        best = std::max(best, 10 * std::log10(power / 5));
    }
    return best;
}

// A window over which a vowel's level is measured: two periods of a low
// voice, so the pulses of the glottis do not ripple the measure.
constexpr size_t EVEN_WINDOW = 220;  // 20 ms
// Evens out the level of a vowel over its clip. A word said alone swells
// and fades, and its vowel takes on the next sound's fall (the "a" of
// "alone" loses 15 dB into its "l"). In running speech a vowel holds its
// level up to the next sound, and a listener hears a sentence of evened
// vowels better than one whose vowels fade inside their clips.
// The RMS of windows half a window apart, interpolated between their
// centres, is brought to the clip's own RMS; a window far below that (a
// stretch of near silence) is raised by at most 20 dB.
void EvenLevel(std::vector<double>& clip) {
    if (clip.size() < EVEN_WINDOW) return;
    double total = 0;
    for (const double v : clip) total += v * v;
    const double overall = std::sqrt(total / double(clip.size()));
    if (overall <= 0) return;
    std::vector<double> centres, levels;
    for (size_t a = 0; a + EVEN_WINDOW <= clip.size(); a += EVEN_WINDOW / 2) {
        double power = 0;
        for (size_t i = a; i < a + EVEN_WINDOW; ++i) power += clip[i] * clip[i];
        centres.push_back(double(a) + double(EVEN_WINDOW) / 2);
        levels.push_back(std::max(std::sqrt(power / double(EVEN_WINDOW)), overall / 10));
    }
    size_t k = 0;
    for (size_t i = 0; i < clip.size(); ++i) {
        const double t = double(i);
        while (k + 1 < centres.size() && centres[k + 1] <= t) ++k;
        double level = levels[k];
        if (k + 1 < centres.size() && t > centres[k]) {
            const double f = (t - centres[k]) / (centres[k + 1] - centres[k]);
            level += f * (levels[k + 1] - levels[k]);
        }
        clip[i] *= overall / level;
    }
}

// The nearest rising zero crossing to `at` within CROSSING_REACH, else `at`.
size_t NearestCrossing(std::span<const int16_t> x, size_t at) {
    for (size_t d = 0; d <= CROSSING_REACH; ++d) {
        for (const size_t i : {at - std::min(at, d), at + d}) {
            if (i >= 1 && i < x.size() && x[i - 1] < 0 && x[i] >= 0) return i;
        }
    }
    return at;
}

// The level of the `n` samples from `at`, dBFS.
double LevelAt(std::span<const int16_t> x, size_t at, size_t n) {
    double sum = 0;
    for (size_t i = at; i < at + n && i < x.size(); ++i) sum += double(x[i]) * x[i];
    const double rms = std::sqrt(sum / double(n)) / 32768.0;
    return rms > 1e-6 ? 20 * std::log10(rms) : -120.0;
}

// True when the 10 ms from `at` repeat at a voice's period (70 to 400 Hz):
// the best normalised correlation of the stretch with itself a period
// later is high for voicing and low for a burst, hiss or breath.
bool VoicedAt(std::span<const int16_t> x, size_t at) {
    constexpr size_t kWindow = 110, kMinLag = 27, kMaxLag = 158;
    if (at + kWindow + kMaxLag > x.size()) return false;
    double best = 0;
    for (size_t lag = kMinLag; lag <= kMaxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = at; i < at + kWindow; ++i) {
            xy += double(x[i]) * x[i + lag];
            xx += double(x[i]) * x[i];
            yy += double(x[i + lag]) * x[i + lag];
        }
        if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best > 0.8;
}

// A stop's stretch: from just before its burst (the first 2 ms well above
// the noise floor at or after `from`) to the onset of voicing, which ends
// the aspiration or frication, within the shape's release limits. The
// stretch found by alignment is kept when no burst lies in reach.
void FindRelease(std::span<const int16_t> x, const Shape& shape, double floorDb, size_t& start,
                 size_t& end) {
    constexpr size_t kStep = 22;  // 2 ms
    const size_t from = start - std::min(start, MsToSamples(40));
    const size_t to = std::min(x.size(), end + MsToSamples(20));
    size_t burst = to;
    for (size_t at = from; at + kStep <= to; at += kStep) {
        if (LevelAt(x, at, kStep) >= floorDb + 10) {
            burst = at;
            break;
        }
    }
    if (burst >= to) return;
    size_t release = std::min(x.size(), burst + MsToSamples(shape.maxMs));
    for (size_t at = burst + MsToSamples(shape.minMs); at < release; at += kStep) {
        if (LevelAt(x, at, SPAN_FRAME) >= floorDb + 25 && VoicedAt(x, at)) {
            release = at;
            break;
        }
    }
    start = burst - std::min(burst, MsToSamples(5));
    end = release;
}

// How much of the `n` samples from `at` lies in their fast changes: the
// energy of the first difference over the energy, in dB. Hiss is near 0 dB
// or above, voicing 5 to 15 dB below.
double HissAt(std::span<const int16_t> x, size_t at, size_t n) {
    double energy = 0, change = 0;
    for (size_t i = std::max<size_t>(at, 1); i < at + n && i < x.size(); ++i) {
        energy += double(x[i]) * x[i];
        const double d = double(x[i]) - x[i - 1];
        change += d * d;
    }
    return energy > 0 && change > 0 ? 10 * std::log10(change / energy) : -120.0;
}

bool IsFricative(int code) {
    return code >= 22 && code <= 29;  // f v TH DH s z SH ZH
}

// A fricative the aligner gave too few frames (it squeezes a higher voice's
// hiss into the vowel beside it: "leash" from a woman gave SH 30 ms of its
// 100) is grown over the neighbouring stretch that hisses as its own frames
// do (within 5 dB of its hissiest 5 ms) and stands above the noise, up to
// FRICATION_MAX_MS.
constexpr double FRICATION_GROW_BELOW_MS = 60;
constexpr double FRICATION_MAX_MS = 150;
void GrowFrication(std::span<const int16_t> x, int code, double floorDb, size_t& start,
                   size_t& end) {
    if (!IsFricative(code) || end <= start || end - start >= MsToSamples(FRICATION_GROW_BELOW_MS))
        return;
    constexpr size_t kStep = 55;  // 5 ms
    // The stretch's hissiest frame is its own sound; the aligner's frames may
    // hold some of the vowel beside it.
    double own = -120;
    for (size_t at = start; at + kStep <= end; at += kStep)
        own = std::max(own, HissAt(x, at, kStep));
    const auto hisses = [&](size_t at) {
        return LevelAt(x, at, kStep) >= floorDb + 10 && HissAt(x, at, kStep) >= own - 5;
    };
    const size_t most = MsToSamples(FRICATION_MAX_MS);
    bool grew = true;
    while (grew && end - start + kStep <= most) {
        grew = false;
        if (start >= kStep && hisses(start - kStep)) {
            start -= kStep;
            grew = true;
        }
        if (end - start + kStep <= most && end + kStep <= x.size() && hisses(end)) {
            end += kStep;
            grew = true;
        }
    }
}

// A sonorant's stretch without the near silence at its edges. At a word's
// start the aligner may begin the sound up to 20 ms before the voice does
// ("lit", "much"), and a clip that opens on silence puts a gap before every
// l or m of a sentence, heard as a stop. Steps of 5 ms are dropped from
// either edge while they lie more than QUIET_EDGE_DB below the stretch's
// loudest 5 ms; a fade (a word-final nasal) is kept down to that level.
constexpr double QUIET_EDGE_DB = 20;
void TrimQuietEdges(std::span<const int16_t> x, size_t& start, size_t& end) {
    constexpr size_t kStep = 55;  // 5 ms
    constexpr size_t kLeast = 3 * kStep;
    if (end - start < kLeast) return;
    double loudest = -120;
    for (size_t at = start; at + kStep <= end; at += kStep)
        loudest = std::max(loudest, LevelAt(x, at, kStep));
    const double quiet = loudest - QUIET_EDGE_DB;
    while (end - start > kLeast && LevelAt(x, start, kStep) < quiet) start += kStep;
    while (end - start > kLeast && LevelAt(x, end - kStep, kStep) < quiet) end -= kStep;
}

// Narrows [start, end) to what a clip of `code` should hold (see Shape).
void ShapeStretch(std::span<const int16_t> x, int code, double floorDb, size_t& start,
                  size_t& end) {
    const Shape& shape = ShapeOf(code);
    if (shape.kind == Shape::Kind::Core && CarriedByVoice(code) && !IsVowel(code))
        TrimQuietEdges(x, start, end);
    if (shape.kind == Shape::Kind::Core) {
        const size_t keep = MsToSamples(shape.ms);
        if (end - start > keep) {
            // A plain vowel's part lies past the middle of its stretch: in
            // a prompt word it mostly follows a consonant whose release and
            // transition the first part carries, and the listening tests
            // hear the later part as the truer vowel. A diphthong keeps
            // the middle so its glide stays whole, as does every other
            // sound held for its length (sonorants, v, DH, z, ZH, WH).
            const bool late = IsVowel(code) && !IsDiphthong(code);
            start += (end - start - keep) * (late ? 13 : 10) / 20;
            end = start + keep;
        }
    } else if (shape.kind == Shape::Kind::Stop) {
        FindRelease(x, shape, floorDb, start, end);
    }
}

Cut Refuse(Cut cut, Cut::Status status, std::string reason) {
    cut.status = status;
    cut.reason = std::move(reason);
    return cut;
}

// Fades a clip's edges in and out over FADE samples (a quarter of a short
// clip), so clips played back to back do not click.
void FadeEdges(std::vector<double>& clip) {
    const size_t fade = std::min(FADE, clip.size() / 4);
    for (size_t i = 0; i < fade; ++i) {
        const double w = 0.5 - 0.5 * std::cos(M_PI * (double(i) + 0.5) / double(fade));
        clip[i] *= w;
        clip[clip.size() - 1 - i] *= w;
    }
}

// A schwa whose take was judged poor is made from the middle of the same
// speaker's "but", at the schwa's length and level, for the centring that
// follows to make neutral. Many speakers swallow the "a" of "alone" into its
// "l" (a flite voice's took 1 of its 40 ms), and a clip cut from there is
// heard as another vowel or none in every "the" and "a" of a sentence (two
// takes of that voice went from 20.2 and 24.0 errors in 100 words to 17.1
// and 19.2). A poor "but" is no better, and the warning to record "alone"
// again stands either way.
void StandInForPoorSchwa(std::span<Cut* const> vowels, std::span<std::vector<int16_t>> clips) {
    const auto find = [&](int code) -> size_t {
        for (size_t i = 0; i < vowels.size(); ++i)
            if (vowels[i]->code == code) return i;
        return vowels.size();
    };
    const size_t schwa = find(REDUCED_VOWEL), but = find(OPEN_MID_VOWEL);
    if (schwa == vowels.size() || but == vowels.size() ||
        vowels[schwa]->confidence >= LOW_CONFIDENCE || vowels[but]->confidence < LOW_CONFIDENCE)
        return;
    const std::vector<int16_t>& from = clips[but];
    const size_t length = std::min(MsToSamples(ShapeOf(REDUCED_VOWEL).ms), from.size());
    const size_t start = NearestCrossing(from, (from.size() - length) / 2);
    const size_t end = std::min(from.size(), start + length);
    const double gain =
        DbToAmplitude(ShapeOf(REDUCED_VOWEL).levelDb - ShapeOf(OPEN_MID_VOWEL).levelDb);
    std::vector<double> faded(end - start);
    for (size_t i = 0; i < faded.size(); ++i) faded[i] = from[start + i] * gain;
    FadeEdges(faded);
    std::vector<int16_t> clip(faded.size());
    for (size_t i = 0; i < clip.size(); ++i) clip[i] = wave::ClipToSample(float(faded[i]));
    if (!clip.empty()) clips[schwa] = std::move(clip);
}

}  // namespace

int Cut::StartMs() const {
    return Milliseconds(start);
}
int Cut::EndMs() const {
    return Milliseconds(end);
}

bool CarriedByVoice(int code) {
    return IsVowel(code) || (code >= 31 && code <= 37) || code == 40;  // m n NG l w y r, WH
}

std::vector<int> WordPhonemes(const std::string& word) {
    std::vector<char> out(static_cast<size_t>(translate::UncutCapacity(word.size())));
    translate::TranslateText(word.c_str(), out.data(), static_cast<int32_t>(out.size()));
    std::vector<int> codes;
    size_t pos = 0;
    for (int code = -1; voice::NextPhonetic(out.data(), pos, code);) {
        if (code >= 0 && code != voice::SILENCE_CODE) codes.push_back(code);
    }
    return codes;
}

std::vector<int16_t> MakeClip(std::span<const int16_t> recording, size_t start, size_t end,
                              int code, double wordLevelDb) {
    end = std::min(end, recording.size());
    if (start >= end) return {};
    start = NearestCrossing(recording, start);
    end = NearestCrossing(recording, end);
    if (start >= end) return {};
    const auto limit = static_cast<size_t>(voice::PHON_MAX_SAMPLES);
    if (end - start > limit) {  // keep the middle, the steadiest part
        start += (end - start - limit) / 2;
        end = start + limit;
    }
    std::vector<double> clip(recording.begin() + static_cast<ptrdiff_t>(start),
                             recording.begin() + static_cast<ptrdiff_t>(end));
    if (IsVowel(code)) EvenLevel(clip);
    FadeEdges(clip);
    double power = 0, peak = 0;
    for (const double v : clip) {
        power += v * v;
        peak = std::max(peak, std::abs(v));
    }
    const double rms = std::sqrt(power / double(clip.size()));
    // A stop or affricate starts with its closure: silence before the burst.
    const Shape& shape = ShapeOf(code);
    if (shape.kind == Shape::Kind::Stop) {
        const size_t closure = std::min(MsToSamples(shape.ms), limit - clip.size());
        clip.insert(clip.begin(), closure, 0.0);
    }
    const double target = DbToAmplitude(VOICED_TARGET_DB + shape.levelDb) * 32768;
    const double level = CarriedByVoice(code) ? rms : DbToAmplitude(wordLevelDb) * 32768;
    double gain = level > 0 ? target / level : 1;
    if (!CarriedByVoice(code) && rms > 0) gain = std::max(gain, target / rms);
    gain = std::min(gain, MAX_GAIN);
    if (peak > 0) gain = std::min(gain, DbToAmplitude(PEAK_LIMIT_DB) * 32767 / peak);
    std::vector<int16_t> out(clip.size());
    for (size_t i = 0; i < clip.size(); ++i) out[i] = wave::ClipToSample(float(clip[i] * gain));
    return out;
}

bool IsVowelPhoneme(int code) {
    return IsVowel(code);
}

void FinishVowelClips(std::span<Cut> cuts) {
    std::vector<Cut*> vowels;
    std::vector<std::vector<int16_t>> clips;
    for (Cut& cut : cuts) {
        if (!IsVowel(cut.code) || cut.clip.empty()) continue;
        vowels.push_back(&cut);
        clips.push_back(std::move(cut.clip));
    }
    ClearTakeRipple(clips);
    std::vector<int> codes;
    for (const Cut* vowel : vowels) codes.push_back(vowel->code);
    BrightenDarkFrontVowels(clips, codes);
    StandInForPoorSchwa(vowels, clips);
    for (size_t i = 0; i < vowels.size(); ++i) {
        if (vowels[i]->code == REDUCED_VOWEL) CentreReducedVowel(clips[i]);
        vowels[i]->clip = std::move(clips[i]);
    }
}

ClipCutter::ClipCutter() : aligner_(std::make_unique<PhoneAligner>()) {}
ClipCutter::~ClipCutter() = default;

bool ClipCutter::Aligning() const {
    return aligner_->Available();
}
const std::string& ClipCutter::Note() const {
    return aligner_->Note();
}

Cut ClipCutter::CutFile(const std::filesystem::path& path, int code) {
    wave::AudioFrames audio;
    if (const base::Result read = wave::ReadAudioFile(path, audio); !read) {
        Cut cut;
        cut.code = code;
        return Refuse(std::move(cut), Cut::Status::NotAudio, read.reason);
    }
    return CutRecording(audio, code);
}

Cut ClipCutter::CutRecording(const wave::AudioFrames& audio, int code) {
    return Find(wave::ToSystemFormat(audio), code, &audio);
}

Cut ClipCutter::CutSystem(std::vector<int16_t> recording, int code) {
    return Find(std::move(recording), code, nullptr);
}

const std::vector<std::vector<std::string>>& ClipCutter::PromptPhones() {
    if (promptPhones_.empty()) {
        for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
            const Prompt* prompt = PromptFor(code);
            if (!prompt) continue;
            std::vector<std::string> phones;
            for (const int p : WordPhonemes(PromptWord(*prompt)))
                phones.emplace_back(ModelPhone(p));
            promptPhones_.push_back(std::move(phones));
            promptWords_.push_back(PromptWord(*prompt));
        }
    }
    return promptPhones_;
}

const std::vector<std::string>& ClipCutter::PromptWords() {
    PromptPhones();
    return promptWords_;
}

Cut ClipCutter::Find(std::vector<int16_t> recording, int code, const wave::AudioFrames* original) {
    Cut cut;
    cut.code = code;
    cut.recording = std::move(recording);
    const Prompt* prompt = PromptFor(code);
    if (!prompt) return Refuse(std::move(cut), Cut::Status::NoPrompt, "no prompt word for silence");
    const std::string word = PromptWord(*prompt);
    const SpeechSpan span = FindSpeech(cut.recording);
    if (span.kind == SpeechSpan::Kind::NoSpeech)
        return Refuse(std::move(cut), Cut::Status::NoSpeech, "no speech found");
    if (span.kind == SpeechSpan::Kind::TwoWords)
        return Refuse(std::move(cut), Cut::Status::TwoWords,
                      "more than one word (say only \"" + word + "\")");
    cut.wordLevelDb = LoudestLevel(cut.recording, span.start, span.end);

    const std::vector<int> phonemes = WordPhonemes(word);
    const auto target =
        static_cast<size_t>(std::find(phonemes.begin(), phonemes.end(), code) - phonemes.begin());
    const std::span<const int16_t> all(cut.recording);

    bool found = false;
    if (aligner_->Available() && target < phonemes.size()) {
        const auto margin = static_cast<size_t>(ALIGN_MARGIN_S * TAKE_RATE);
        const size_t from = span.start - std::min(span.start, margin);
        const size_t to = std::min(all.size(), span.end + margin);
        // The model hears up to 8 kHz: a recording made at a higher rate is
        // aligned from its own samples, which keep the bursts and hiss that
        // the system rate cuts off.
        std::vector<int16_t> window;
        if (original && original->sampleRate > wave::SYSTEM_SAMPLE_RATE && original->channels > 0) {
            const std::vector<int16_t> mono =
                wave::MixToMono(original->samples, original->channels);
            const double scale = original->sampleRate / TAKE_RATE;
            const size_t a = std::min(mono.size(), static_cast<size_t>(double(from) * scale));
            const size_t b = std::min(mono.size(), static_cast<size_t>(double(to) * scale));
            window = wave::ResampleMono(std::span<const int16_t>(mono).subspan(a, b - a),
                                        original->sampleRate, ALIGN_SAMPLE_RATE);
        } else {
            window = wave::ResampleMono(all.subspan(from, to - from), wave::SYSTEM_SAMPLE_RATE,
                                        ALIGN_SAMPLE_RATE);
        }
        std::vector<std::string> phones;
        for (const int p : phonemes) phones.emplace_back(ModelPhone(p));
        const std::vector<AlignedPhone> aligned = aligner_->Align(window, phones);
        // The word the take sounds like, among the prompt words.
        const std::vector<std::vector<std::string>>& words = PromptPhones();
        // A choice among many words loses paths that a single word keeps,
        // so the words it names are weighed against the prompt word alone.
        const std::vector<int> closest = aligner_->ClosestWords(window, words, true);
        std::vector<std::string> heardPhones;
        for (const int w : closest)
            heardPhones.insert(heardPhones.end(), words[size_t(w)].begin(), words[size_t(w)].end());
        int64_t own = 0, other = 0;
        if (!closest.empty() && heardPhones != phones &&
            aligner_->ClosestWords(window, {phones}, false, &own).size() == 1 &&
            aligner_->ClosestWords(window, {heardPhones}, false, &other).size() == 1) {
            for (const int w : closest)
                cut.heardAs += (cut.heardAs.empty() ? "" : " ") + PromptWords()[size_t(w)];
            cut.mismatch = double(other - own) / std::max<double>(1, double(window.size()) / 160);
        }
        std::vector<const AlignedPhone*> spoken;
        for (const AlignedPhone& a : aligned)
            if (a.phone != "sil") spoken.push_back(&a);
        bool matches = spoken.size() == phones.size();
        for (size_t i = 0; matches && i < phones.size(); ++i)
            matches = spoken[i]->phone == phones[i];
        const auto at = [&](int frame) {
            return std::min(
                all.size(),
                from + static_cast<size_t>(std::lround(frame * ALIGN_FRAME_MS * TAKE_RATE / 1000)));
        };
        // A stretch that rounds to nothing at the recording's end is no cut.
        if (matches && at(spoken[target]->lastFrame + 1) > at(spoken[target]->firstFrame)) {
            const AlignedPhone& hit = *spoken[target];
            cut.start = at(hit.firstFrame);
            cut.end = at(hit.lastFrame + 1);
            cut.aligned = true;
            found = true;
            // Confidence: how much of the stretch lies in the word found by
            // loudness, whether the aligner had to squeeze the sound to its
            // shortest, and whether the aligned word starts and ends where
            // the loudness says it does.
            const auto pad = static_cast<size_t>(0.1 * TAKE_RATE);
            const size_t lo = span.start - std::min(span.start, pad);
            const size_t hi = span.end + pad;
            const size_t inside = std::min(cut.end, hi) > std::max(cut.start, lo)
                                      ? std::min(cut.end, hi) - std::max(cut.start, lo)
                                      : 0;
            double confidence = 0.95 * double(inside) / double(cut.end - cut.start);
            if (hit.lastFrame - hit.firstFrame + 1 <= 3) confidence *= 0.7;
            const auto off = [](size_t a, size_t b) { return (a > b ? a - b : b - a) / TAKE_RATE; };
            const double drift = std::max(off(at(spoken.front()->firstFrame), span.start),
                                          off(at(spoken.back()->lastFrame + 1), span.end));
            if (drift > 0.15) confidence *= std::clamp(1.15 - drift, 0.4, 1.0);
            cut.confidence = confidence;
        }
    }
    if (!found) {
        // Share the word out among its phonemes, vowels taking more time.
        double total = 0, before = 0;
        for (size_t i = 0; i < phonemes.size(); ++i) {
            const double weight = IsVowel(phonemes[i]) ? 2.5 : 1.0;
            if (i < target) before += weight;
            total += weight;
        }
        const double share = target < phonemes.size() ? (IsVowel(code) ? 2.5 : 1.0) : total;
        if (target >= phonemes.size()) before = 0;
        const double length = double(span.end - span.start);
        cut.start = span.start + static_cast<size_t>(length * before / total);
        cut.end = span.start + static_cast<size_t>(length * (before + share) / total);
        cut.confidence = 0.3;
    }
    if (cut.aligned) GrowFrication(all, code, span.floorDb, cut.start, cut.end);
    const size_t stretchStart = cut.start, stretchEnd = cut.end;
    ShapeStretch(all, code, span.floorDb, cut.start, cut.end);
    const std::string symbol = voice::kInventory[static_cast<size_t>(code)].symbol;
    const bool twoWords = cut.heardAs.find(' ') != std::string::npos;
    // A take heard as another prompt word that holds the sound in the same
    // place, counted from the start or the end ("bird" for "back"), still
    // gives the sound where the prompt word's alignment looks for it; the
    // model hears good takes of voices it knows less well (higher, British)
    // so. The same sound elsewhere ("tub" for "back") would be cut from the
    // wrong place.
    const std::vector<int> heard = twoWords ? std::vector<int>{} : WordPhonemes(cut.heardAs);
    bool holdsSound = false;
    for (size_t i = 0; i < heard.size() && i < phonemes.size(); ++i) {
        const bool fromStart = heard[i] == code && phonemes[i] == code;
        const bool fromEnd =
            heard[heard.size() - 1 - i] == code && phonemes[phonemes.size() - 1 - i] == code;
        holdsSound = holdsSound || fromStart || fromEnd;
    }
    if (!cut.heardAs.empty() && !holdsSound &&
        cut.mismatch > (twoWords ? TWO_WORDS_MARGIN : WRONG_WORD_MARGIN)) {
        if (cut.heardAs.rfind(word + " ", 0) == 0) {
            cut.problem = "this take holds more than the word \"" + word + "\"";
        } else if (!twoWords) {
            cut.problem = "this take sounds like \"" + cut.heardAs + "\", not \"" + word + "\"";
        } else {
            cut.problem = "this take does not sound like \"" + word + "\"";
        }
    } else if (const int stretchMs = Milliseconds(stretchEnd) - Milliseconds(stretchStart);
               ShapeOf(code).kind != Shape::Kind::Stop && stretchMs < SQUEEZED_MS) {
        // The aligner's stretch, not the clip: a sonorant's clip also loses
        // the near silence at its edges, which says nothing of the speaking.
        cut.problem = "the " + symbol + " sound lasts only " + std::to_string(stretchMs) +
                      " ms in this take: say \"" + word + "\" a little slower";
    }
    if (!cut.problem.empty()) cut.confidence = std::min(cut.confidence, WRONG_TAKE_CONFIDENCE);
    cut.clip = MakeClip(all, cut.start, cut.end, code, cut.wordLevelDb);
    if (cut.clip.empty()) {
        return Refuse(std::move(cut), Cut::Status::NoSpeech, "the word is too short to cut");
    }
    cut.cutConfidence = cut.confidence;
    cut.cutProblem = cut.problem;
    cut.measures = MeasureCut(all, span.start, span.end, span.floorDb, cut.wordLevelDb,
                              stretchStart, stretchEnd, code, cut.clip);
    ApplyJudgement(cut, SpeakerProfile{});
    return cut;
}

}  // namespace vocalith::voicebuild
