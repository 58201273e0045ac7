#include "voicebuild/clip_cutter.h"

#include <algorithm>
#include <cmath>

#include "translate/translate.h"
#include "voice/phon_table.h"
#include "voicebuild/prompts.h"
#include "voicebuild/speech_span.h"
#include "wave/pcm_format.h"
#include "wave/rate_converter.h"

namespace vocalith::voicebuild {

namespace {

constexpr double RATE = wave::SYSTEM_SAMPLE_RATE;
// The alignment looks this far around the word found by loudness, so faint
// sounds at its edges (an "f", an "h") are not lost.
constexpr double ALIGN_MARGIN_S = 0.25;
// How far an edge may move to reach a zero crossing, and the fades.
constexpr size_t CROSSING_REACH = 33;  // 3 ms
constexpr size_t FADE = 44;            // 4 ms
// The largest gain levelling applies (+26 dB): a quieter take is mostly noise.
constexpr double MAX_GAIN = 20;

double DbToAmplitude(double db) {
    return std::pow(10.0, db / 20.0);
}

bool IsVowel(int code) {
    return code >= 0 && code <= 15;
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

// The nearest rising zero crossing to `at` within CROSSING_REACH, else `at`.
size_t NearestCrossing(std::span<const int16_t> x, size_t at) {
    for (size_t d = 0; d <= CROSSING_REACH; ++d) {
        for (const size_t i : {at - std::min(at, d), at + d}) {
            if (i >= 1 && i < x.size() && x[i - 1] < 0 && x[i] >= 0) return i;
        }
    }
    return at;
}

Cut Refuse(Cut cut, Cut::Status status, std::string reason) {
    cut.status = status;
    cut.reason = std::move(reason);
    return cut;
}

}  // namespace

int Cut::StartMs() const {
    return static_cast<int>(std::lround(start * 1000.0 / RATE));
}
int Cut::EndMs() const {
    return static_cast<int>(std::lround(end * 1000.0 / RATE));
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
    const size_t fade = std::min(FADE, clip.size() / 4);
    for (size_t i = 0; i < fade; ++i) {
        const double w = 0.5 - 0.5 * std::cos(M_PI * (i + 0.5) / fade);
        clip[i] *= w;
        clip[clip.size() - 1 - i] *= w;
    }
    double power = 0, peak = 0;
    for (const double v : clip) {
        power += v * v;
        peak = std::max(peak, std::abs(v));
    }
    const double target = DbToAmplitude(VOICED_TARGET_DB) * 32768;
    const double rms = std::sqrt(power / clip.size());
    const double level = CarriedByVoice(code) ? rms : DbToAmplitude(wordLevelDb) * 32768;
    double gain = level > 0 ? target / level : 1;
    gain = std::min(gain, MAX_GAIN);
    if (peak > 0) gain = std::min(gain, DbToAmplitude(PEAK_LIMIT_DB) * 32767 / peak);
    std::vector<int16_t> out(clip.size());
    for (size_t i = 0; i < clip.size(); ++i) out[i] = wave::ClipToSample(float(clip[i] * gain));
    return out;
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
        const auto margin = static_cast<size_t>(ALIGN_MARGIN_S * RATE);
        const size_t from = span.start - std::min(span.start, margin);
        const size_t to = std::min(all.size(), span.end + margin);
        // The model hears up to 8 kHz: a recording made at a higher rate is
        // aligned from its own samples, which keep the bursts and hiss that
        // the system rate cuts off.
        std::vector<int16_t> window;
        if (original && original->sampleRate > wave::SYSTEM_SAMPLE_RATE && original->channels > 0) {
            const std::vector<int16_t> mono =
                wave::MixToMono(original->samples, original->channels);
            const double scale = original->sampleRate / RATE;
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
        std::vector<const AlignedPhone*> spoken;
        for (const AlignedPhone& a : aligned)
            if (a.phone != "sil") spoken.push_back(&a);
        bool matches = spoken.size() == phones.size();
        for (size_t i = 0; matches && i < phones.size(); ++i)
            matches = spoken[i]->phone == phones[i];
        const auto at = [&](int frame) {
            return std::min(
                all.size(),
                from + static_cast<size_t>(std::lround(frame * ALIGN_FRAME_MS * RATE / 1000)));
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
            const auto pad = static_cast<size_t>(0.1 * RATE);
            const size_t lo = span.start - std::min(span.start, pad);
            const size_t hi = span.end + pad;
            const size_t inside = std::min(cut.end, hi) > std::max(cut.start, lo)
                                      ? std::min(cut.end, hi) - std::max(cut.start, lo)
                                      : 0;
            double confidence = 0.95 * double(inside) / double(cut.end - cut.start);
            if (hit.lastFrame - hit.firstFrame + 1 <= 3) confidence *= 0.7;
            const auto off = [](size_t a, size_t b) { return (a > b ? a - b : b - a) / RATE; };
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
    cut.clip = MakeClip(all, cut.start, cut.end, code, cut.wordLevelDb);
    if (cut.clip.empty()) {
        return Refuse(std::move(cut), Cut::Status::NoSpeech, "the word is too short to cut");
    }
    return cut;
}

}  // namespace vocalith::voicebuild
