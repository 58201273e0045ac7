#pragma once
// Forced alignment of a spoken word's phones with pocketsphinx's US English
// acoustic model: the decoder's dictionary holds one word per model phone
// and its grammar is the word's phones in order, optionally framed by
// silence, so the best path through the recording gives each phone's frames
// (10 ms each). The model is looked for at run time; without it Available()
// is false and callers fall back to cutting by energy.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vocalith::voicebuild {

// The rate the acoustic model was trained at; recordings are converted to it.
inline constexpr uint32_t ALIGN_SAMPLE_RATE = 16000;
// One frame of the alignment, in milliseconds.
inline constexpr int ALIGN_FRAME_MS = 10;

// The model phone ("aa", "sh") for phoneme `code`; nullptr for silence.
const char* ModelPhone(int code);

struct AlignedPhone {
    std::string phone;  // a model phone, or "sil" for silence
    int firstFrame = 0;
    int lastFrame = 0;  // inclusive
};

class PhoneAligner {
  public:
    // Tries the model found by FindAcousticModel(); see Available().
    PhoneAligner();
    PhoneAligner(const PhoneAligner&) = delete;
    PhoneAligner& operator=(const PhoneAligner&) = delete;

    // True when the model was found and the decoder started.
    bool Available() const { return !model_.empty(); }
    // Why the aligner is not available (empty when it is).
    const std::string& Note() const { return note_; }

    // Aligns `phones` (model phones, in order) with `samples`, 16-bit mono at
    // ALIGN_SAMPLE_RATE. The result lists the phones in order with any
    // silences between; empty when no path through the grammar was found.
    std::vector<AlignedPhone> Align(std::span<const int16_t> samples,
                                    const std::vector<std::string>& phones);
    // Which of `words` (each its model phones in order) `samples` sounds
    // most like, as indexes into `words`: one, or with `two` one or two said
    // without a pause between; empty when nothing could be decoded.
    // `score`, when given, receives the decoder's score for them (log
    // likelihood in its units; comparable between grammars of one word).
    std::vector<int> ClosestWords(std::span<const int16_t> samples,
                                  const std::vector<std::vector<std::string>>& words, bool two,
                                  int64_t* score = nullptr);

  private:
    // A new ps_decoder_t, or nullptr; `wide` keeps far more paths alive,
    // for a choice among many words.
    void* Start(bool wide = false) const;
    // Runs the search named "word" of `ps` (a ps_decoder_t) over `samples`;
    // false when it could not be started.
    static bool Run(void* ps, std::span<const int16_t> samples);

    std::filesystem::path model_;  // empty when not available
    std::string note_;
};

// The folder of the US English acoustic model: VOCALITH_ACOUSTIC_MODEL if
// set, else Debian's install place; empty when neither holds a model.
std::filesystem::path FindAcousticModel();

}  // namespace vocalith::voicebuild
