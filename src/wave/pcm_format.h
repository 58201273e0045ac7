#pragma once
// Linear PCM formats, and the system's one sample format: 16-bit mono at
// 11025 samples/s. Every clip, recording, voice and rendering is in it; other
// formats appear only at the edges (sound-effect files, audio devices, WAV
// files read or written).
#include <cstdint>

namespace vocalith::wave {

inline constexpr uint32_t SYSTEM_SAMPLE_RATE = 11025;
inline constexpr uint32_t SYSTEM_BYTES_PER_SAMPLE = 2;

struct PcmFormat {
    uint16_t formatTag = 1;  // 1 = PCM; other tags are refused
    uint16_t channels = 1;
    uint32_t samplesPerSec = SYSTEM_SAMPLE_RATE;
    uint32_t avgBytesPerSec = SYSTEM_SAMPLE_RATE * SYSTEM_BYTES_PER_SAMPLE;
    uint16_t blockAlign = 2;
    uint16_t bitsPerSample = 16;
};

// The system format: PCM, mono, 11025 samples/s, 16 bits.
inline constexpr PcmFormat SystemFormat{};

}  // namespace vocalith::wave
