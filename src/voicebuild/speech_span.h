#pragma once
// Where the speech lies in a recording of one word, by loudness alone: 10 ms
// frames are measured, the noise floor is taken from the quietest of them,
// and frames well above it (and not far below the loudest) are speech.
// Stretches of speech closer than a pause between words are one word, so a
// stop's closure inside a word does not split it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vocalith::voicebuild {

// Samples per 10 ms frame at the system rate.
inline constexpr size_t SPAN_FRAME = 110;

struct SpeechSpan {
    enum class Kind { Word, NoSpeech, TwoWords } kind = Kind::NoSpeech;
    size_t start = 0;       // first sample of the word (system rate)
    size_t end = 0;         // one past its last sample
    double peakDb = -120;   // the loudest frame's level, dBFS
    double floorDb = -120;  // the noise floor, dBFS
};

// Finds the spoken word in `samples` (system format).
SpeechSpan FindSpeech(std::span<const int16_t> samples);

// Level of each 10 ms frame in dBFS (RMS; -120 for digital silence).
std::vector<double> FrameLevels(std::span<const int16_t> samples);

}  // namespace vocalith::voicebuild
