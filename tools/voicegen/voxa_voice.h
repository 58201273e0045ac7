#pragma once
// The built-in default voice "Voxa": one synthesized clip per phoneme code.
//
// Clips are made to be played back to back: each starts and ends at exact
// zero (stops begin with their silent closure), voiced clips share the same
// pitch at both ends, and the silence clip is plain zeros.
#include <array>
#include <cstdint>
#include <vector>

namespace vocalith::voicegen {

inline constexpr int kVoicePhonemeCount = 42;
inline constexpr int kVoiceSilenceCode = 41;

// The clip of one phoneme code (0..41); empty for any other code.
std::vector<int16_t> SynthesizePhoneme(int code);

// All 42 clips, in code order.
std::array<std::vector<int16_t>, kVoicePhonemeCount> SynthesizeVoice();

}  // namespace vocalith::voicegen
