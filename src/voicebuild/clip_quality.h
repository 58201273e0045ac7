#pragma once
// How well a cut clip will be understood, judged from the take itself: how
// long, loud, bright and voiced the word is, and where a vowel's first two
// formants lie. A take is judged alone when it is cut, and again against
// the speaker's own habits once the other takes are known (a speaker's
// tempo, level and vocal tract), so a higher voice's higher formants or a
// quick speaker's short words are not held against them, only a take out of
// place among the speaker's own. Every low confidence carries a reason in
// the user's words, naming the prompt word and what to do.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vocalith::voicebuild {

struct Cut;

// What is measured of one cut (system rate). 0 stands for "not measured".
struct ClipMeasures {
    int code = -1;
    double wordMs = 0;        // the word as found by loudness
    double expectedMs = 0;    // the usual length of the word said alone
    double levelDb = -120;    // RMS of the word's loudest 50 ms, dBFS
    double floorDb = -120;    // the recording's noise floor, dBFS
    double clippedShare = 0;  // share of the word's samples in runs at full scale
    double brightDb = 0;      // energy above 2.5 kHz against all, over the word's voiced frames
    double voicedShare = 0;   // share of the sound's 10 ms frames that are voiced
    double f1 = 0, f2 = 0;    // vowels: the clip's first two formants, Hz
    double f2Alt = 0;  // the spectral peak after f2 (f1 may be a high voice's first harmonic)
};

// The speaker as all of a take's cuts show it. Scales are log2 of measured
// over the usual figure; `known` is false until enough cuts are in.
struct SpeakerProfile {
    bool known = false;
    double tempo = 0;     // median log2(wordMs / expectedMs)
    double levelDb = 0;   // median word level
    double brightDb = 0;  // median brightness
    bool formantsKnown = false;
    double f1Scale = 0, f2Scale = 0;  // median log2(formant / usual) over the vowels
};

struct Judgement {
    double confidence = 0.95;
    std::string reason;  // empty when nothing is wrong
};

// Measures the cut [start, end) of `recording` holding phoneme `code`, whose
// word spans [wordStart, wordEnd) over a floor of `floorDb`; `clip` is the
// finished clip.
ClipMeasures MeasureCut(std::span<const int16_t> recording, size_t wordStart, size_t wordEnd,
                        double floorDb, double levelDb, size_t start, size_t end, int code,
                        std::span<const int16_t> clip);

// The measures of a finished vowel clip alone (its formants); other codes
// give only `code`.
ClipMeasures MeasureClip(int code, std::span<const int16_t> clip);

// The speaker from the measures of a take's cuts.
SpeakerProfile ProfileOf(std::span<const ClipMeasures> cuts);
// The vocal tract part of it alone (the formant scales), from the vowels.
void FitVocalTract(std::span<const ClipMeasures> cuts, SpeakerProfile& speaker);

// How understandable the cut will be, against `speaker` (or, when not
// known, against what any speaker does).
Judgement JudgeCut(const ClipMeasures& cut, const SpeakerProfile& speaker);

// Sets `cut`'s confidence and problem from the cutter's own (its word
// check and alignment) and the judgement against `speaker`.
void ApplyJudgement(Cut& cut, const SpeakerProfile& speaker);

// How far a vowel's formants lie from the one the prompt asks for, after the
// speaker's scale (log2 units, the larger of F1's and F2's); negative when
// the cut is no measured vowel.
double VowelDistance(const ClipMeasures& cut, const SpeakerProfile& speaker);

// How far a vowel's formants lie from the usual ones, with no regard to the
// speaker (log2 units, the mean of F1's and F2's); negative when unmeasured.
double RawVowelDistance(const ClipMeasures& cut);

// "the vowel in 'bit'", "the 'sh' in 'leash'": the sound as the user knows it.
std::string SoundInWord(int code);

}  // namespace vocalith::voicebuild
