#pragma once
// The start-up sound "arrow.wav": a soft two-note rising chime, and the
// RIFF WAVE encoding it is stored in (16-bit signed mono PCM, 11025/s).
#include <cstdint>
#include <vector>

namespace vocalith::sfxgen {

// The chime's samples: under half a second, peak about 16000, zero at both ends.
std::vector<int16_t> SynthesizeArrowChime();

// A complete RIFF WAVE file ("fmt " PCM mono 16-bit 11025/s, then "data")
// holding `samples`, all integers little-endian.
std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples);

}  // namespace vocalith::sfxgen
