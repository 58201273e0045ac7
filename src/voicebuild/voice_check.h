#pragma once
// The voice's own check after a build: how well a listener will understand
// the new voice, beside the default voice, and which sounds to record
// again. Both voices are heard by the recognizer (VoiceHearing), which
// takes some seconds; without it, a measure of the vowel clips alone
// stands in: where each one's formants lie against the vowel it should be.
// That measure ranks voices roughly as listeners do, but misses by 12 words
// of 100 in the mean and calls the best built voices worse than the default
// one, so it is the fallback only. The vowels to record again come from it
// either way.
#include <atomic>
#include <string>
#include <vector>

#include "voice/phon_table.h"
#include "voicebuild/voice_hearing.h"

namespace vocalith::voicebuild {

struct VoiceCheck {
    bool done = false;      // false: the check was skipped; `text` says why
    double misheard = 0;    // words of 100 a listener is expected to mishear
    double reference = 0;   // the same for the reference voice; negative: not known
    bool heard = false;     // the figures are the recognizer's, not the vowel measure's
    std::vector<int> redo;  // vowels to record again, worst first
    std::string text;       // the finding in plain words
};

// Checks the vowels of `made` against those of `reference` (the default
// voice), which is named `referenceName` in the text.
VoiceCheck CheckVoice(const voice::PhonTable& made, const voice::PhonTable& reference,
                      const std::string& referenceName);

// The check by ear: `made` and `reference` are heard side by side. Without
// the recognizer, or when `made` cannot be heard, it is CheckVoice. Setting
// `stop` ends it within a sentence, not done.
VoiceCheck HearVoiceCheck(const VoiceHearing& hearing, const voice::PhonTable& made,
                          const voice::PhonTable& reference, const std::string& referenceName,
                          const std::atomic<bool>* stop = nullptr);

// The expected words of 100 misheard for a voice whose vowels lie `distance`
// (mean log2 units) from their usual place.
double MisheardFor(double distance);

// The measure behind it: the mean distance of the vowels in `table` from
// their usual place; negative when fewer than half of them can be measured.
double VowelSpaceDistance(const voice::PhonTable& table);

}  // namespace vocalith::voicebuild
