#pragma once
// Turning a recording of a prompt word into the clip of its phoneme: the
// recording is brought to the system format, the word is found in it
// (FindSpeech), the phoneme's stretch is found by forced alignment (or, with
// no acoustic model or no path through the word, shared out among the
// word's phonemes by loudness alone), narrowed to what a clip of its class
// holds in running speech (a vowel's steady middle, a stop's burst to the
// onset of voicing), and the stretch becomes a clip by MakeClip. Every cut
// carries a confidence between 0 and 1.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "voicebuild/clip_quality.h"
#include "voicebuild/phone_aligner.h"
#include "wave/audio_file.h"

namespace vocalith::voicebuild {

// Cuts below this confidence deserve a listen before they are kept.
inline constexpr double LOW_CONFIDENCE = 0.5;
// The level open vowels are brought to (RMS, dBFS); closer vowels and the
// other classes sit at levels relative to it. The loudest sample of a clip stays at or below
// PEAK_LIMIT_DB.
inline constexpr double VOICED_TARGET_DB = -16;
inline constexpr double PEAK_LIMIT_DB = -1;

struct Cut {
    enum class Status {
        Ok,
        NotAudio,  // the file could not be read as audio
        NoSpeech,  // nothing above the noise
        TwoWords,  // more than one word
        NoPrompt,  // the phoneme has no prompt word (silence)
    };
    Status status = Status::Ok;
    std::string reason;              // a sentence, when status is not Ok
    int code = -1;                   // the phoneme
    std::vector<int16_t> recording;  // the whole recording, system format
    size_t start = 0;                // the cut in `recording`, samples
    size_t end = 0;                  // one past its last sample
    double confidence = 0;
    // Why the take seems not to hold its prompt word (another word, more than
    // the word), in words for the user; empty when nothing is wrong.
    std::string problem;
    // The prompt word (or two, said without a pause) the take sounds like
    // when that is not its own; empty when it sounds like its own.
    std::string heardAs;
    // How much better heardAs fits the take than the prompt word, per 10 ms
    // in the decoder's log units; 0 when heardAs is empty. A problem is
    // reported only when it is clearly better.
    double mismatch = 0;
    bool aligned = false;       // found by alignment (else by loudness)
    double wordLevelDb = -120;  // RMS of the word's loudest 50 ms, dBFS
    std::vector<int16_t> clip;  // the finished clip, at most PHON_MAX_SAMPLES
    // What the take sounds like, and the confidence and problem the cutter
    // found alone (the word check, the alignment): `confidence` and
    // `problem` are these weighed with the measures (ApplyJudgement).
    ClipMeasures measures;
    double cutConfidence = 0;
    std::string cutProblem;

    bool ok() const { return status == Status::Ok; }
    int StartMs() const;
    int EndMs() const;
};

class ClipCutter {
  public:
    ClipCutter();
    ~ClipCutter();
    ClipCutter(const ClipCutter&) = delete;
    ClipCutter& operator=(const ClipCutter&) = delete;

    // True when cuts are found by alignment; Note() says why not otherwise.
    bool Aligning() const;
    const std::string& Note() const;

    // Cuts phoneme `code` out of a recording of its prompt word.
    Cut CutRecording(const wave::AudioFrames& audio, int code);
    // The same for an audio file (NotAudio when it cannot be read).
    Cut CutFile(const std::filesystem::path& path, int code);
    // The same for a recording already in the system format.
    Cut CutSystem(std::vector<int16_t> recording, int code);

  private:
    Cut Find(std::vector<int16_t> recording, int code, const wave::AudioFrames* original);

    // The model phones of every prompt word, in prompt order; made on first use.
    const std::vector<std::vector<std::string>>& PromptPhones();
    const std::vector<std::string>& PromptWords();  // the same words, spelled

    std::unique_ptr<PhoneAligner> aligner_;
    std::vector<std::vector<std::string>> promptPhones_;
    std::vector<std::string> promptWords_;
};

// The clip for the stretch [start, end) of `recording` (system format):
// the edges moved to the nearest zero crossings, a vowel's level made even
// over its length, faded in and out over a few milliseconds, a stop or
// affricate preceded by the silence of its closure, levelled (sounds carried
// by the voice to their own level, open vowels at VOICED_TARGET_DB; others
// by the gain that brings the word's level `wordLevelDb` there, but never
// fainter than their class's least), never beyond PEAK_LIMIT_DB, and at most
// PHON_MAX_SAMPLES long (the middle is kept).
std::vector<int16_t> MakeClip(std::span<const int16_t> recording, size_t start, size_t end,
                              int code, double wordLevelDb);

// True for the 16 vowels and diphthongs.
bool IsVowelPhoneme(int code);

// Finishes the vowel clips among `cuts` once the take is cut (after they are
// measured, so a wrong take is judged as it was spoken): clears them of a
// ripple of their own, against the channel the take's vowels show together
// (ClearTakeRipple), raises the upper formants of a front vowel far darker
// than the take's other vowels (BrightenDarkFrontVowels), makes a schwa
// judged poor (`confidence` below LOW_CONFIDENCE) from the speaker's "but",
// and brings the schwa's to a neutral vowel's formants (CentreReducedVowel).
// The cuts are judged first.
void FinishVowelClips(std::span<Cut> cuts);

// True for the phonemes levelled on their own: vowels, nasals, liquids and
// glides.
bool CarriedByVoice(int code);

// The phonemes of `word` by our own rules, silence left out.
std::vector<int> WordPhonemes(const std::string& word);

}  // namespace vocalith::voicebuild
