#pragma once
// The voice's own check after a build: how well a listener will understand
// the new voice, beside the default voice, and which sounds to record
// again. It needs no recognizer: it measures where each vowel clip's
// formants lie against the vowel it should be, the measure that followed
// how well the speaker panel's built voices were understood (their vowels
// carry most of what a listener mishears). It runs in milliseconds.
#include <string>
#include <vector>

#include "voice/phon_table.h"

namespace vocalith::voicebuild {

struct VoiceCheck {
    bool done = false;      // false: the check was skipped; `text` says why
    double misheard = 0;    // words of 100 a listener is expected to mishear
    double reference = 0;   // the same for the reference voice
    std::vector<int> redo;  // vowels to record again, worst first
    std::string text;       // the finding in plain words
};

// Checks the vowels of `made` against those of `reference` (the default
// voice), which is named `referenceName` in the text.
VoiceCheck CheckVoice(const voice::PhonTable& made, const voice::PhonTable& reference,
                      const std::string& referenceName);

// The expected words of 100 misheard for a voice whose vowels lie `distance`
// (mean log2 units) from their usual place.
double MisheardFor(double distance);

// The measure behind it: the mean distance of the vowels in `table` from
// their usual place; negative when fewer than half of them can be measured.
double VowelSpaceDistance(const voice::PhonTable& table);

}  // namespace vocalith::voicebuild
