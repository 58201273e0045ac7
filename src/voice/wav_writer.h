#pragma once
// Writing 16-bit mono PCM as a RIFF WAVE file (the system's one sample
// format, 11025 samples/s by default). All fields are written little-endian
// byte by byte.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "voice/voice_file.h"
#include "wave/pcm_format.h"

namespace vocalith::voice {

inline constexpr size_t WAV_HEADER_BYTES = 44;

// The whole file: a 44-byte RIFF header ("fmt " PCM, 1 channel, 16 bits)
// followed by the samples.
std::vector<uint8_t> EncodeWav(std::span<const int16_t> samples,
                               uint32_t sampleRate = wave::SYSTEM_SAMPLE_RATE);

// Writes EncodeWav(samples) to `path`, replacing it; on failure the reason
// names the path and the system's error, and no partial file is left.
VoiceResult WriteWavFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                         uint32_t sampleRate = wave::SYSTEM_SAMPLE_RATE);

}  // namespace vocalith::voice
