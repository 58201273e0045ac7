#include "voicebuild/speech_span.h"

#include <algorithm>
#include <cmath>

namespace vocalith::voicebuild {

namespace {

// A word must reach this level and stand this far above the noise.
constexpr double MIN_PEAK_DB = -50;
constexpr double MIN_RISE_DB = 15;
// The floor is taken no deeper than this below the loudest frame.
constexpr double MAX_FLOOR_DEPTH_DB = 50;
// Silence inside one word (a stop's closure, a pause before a final
// release) stays under this; a longer pause separates words.
constexpr size_t MAX_INNER_PAUSE_FRAMES = 25;
// A stretch counts as a second word only when it lasts this long and comes
// within this much of the loudest frame; shorter or fainter ones are
// clicks, breaths or an echo.
constexpr size_t MIN_WORD_FRAMES = 8;
constexpr double WORD_PEAK_RANGE_DB = 15;

}  // namespace

std::vector<double> FrameLevels(std::span<const int16_t> samples) {
    std::vector<double> levels;
    for (size_t at = 0; at + SPAN_FRAME <= samples.size(); at += SPAN_FRAME) {
        double sum = 0;
        for (size_t i = at; i < at + SPAN_FRAME; ++i) sum += double(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / SPAN_FRAME) / 32768.0;
        levels.push_back(rms > 1e-6 ? 20 * std::log10(rms) : -120.0);
    }
    return levels;
}

SpeechSpan FindSpeech(std::span<const int16_t> samples) {
    SpeechSpan span;
    const std::vector<double> levels = FrameLevels(samples);
    if (levels.empty()) return span;
    std::vector<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    span.peakDb = sorted.back();
    // A clean or gated recording has next to no floor; the levels set above
    // it (here and when cutting) are then kept within reach of the word.
    span.floorDb = std::max(sorted[sorted.size() / 10], span.peakDb - MAX_FLOOR_DEPTH_DB);
    if (span.peakDb < MIN_PEAK_DB || span.peakDb - span.floorDb < MIN_RISE_DB) return span;
    const double threshold = std::max(span.floorDb + 10, span.peakDb - 40);

    struct Run {
        size_t first, last;  // frames, inclusive
        double peak;
    };
    std::vector<Run> runs;
    for (size_t f = 0; f < levels.size(); ++f) {
        if (levels[f] < threshold) continue;
        if (!runs.empty() && f - runs.back().last <= MAX_INNER_PAUSE_FRAMES) {
            runs.back().last = f;
            runs.back().peak = std::max(runs.back().peak, levels[f]);
        } else {
            runs.push_back({f, f, levels[f]});
        }
    }
    std::vector<Run> words;
    for (const Run& run : runs) {
        if (run.last - run.first + 1 >= MIN_WORD_FRAMES &&
            run.peak >= span.peakDb - WORD_PEAK_RANGE_DB)
            words.push_back(run);
    }
    if (words.empty()) return span;
    if (words.size() > 1) {
        span.kind = SpeechSpan::Kind::TwoWords;
        return span;
    }
    // Runs closer than a pause were merged above, so the word's run already
    // holds the faint stretches that touch it (an "h" before the vowel, a
    // final release).
    const size_t first = words[0].first;
    const size_t last = words[0].last;
    span.kind = SpeechSpan::Kind::Word;
    span.start = first * SPAN_FRAME;
    span.end = std::min(samples.size(), (last + 1) * SPAN_FRAME);
    return span;
}

}  // namespace vocalith::voicebuild
