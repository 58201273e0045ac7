#pragma once
// The start-up sound "arrow.wav": a soft two-note rising chime, stored by the
// WAV writer of src/wave (16-bit signed mono PCM, 11025/s).
#include <cstdint>
#include <vector>

namespace vocalith::sfxgen {

// The chime's samples: under half a second, peak about 16000, zero at both ends.
std::vector<int16_t> SynthesizeArrowChime();

}  // namespace vocalith::sfxgen
