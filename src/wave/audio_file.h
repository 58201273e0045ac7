#pragma once
// Reading audio files of any format libsndfile reads (WAV in its many
// encodings, FLAC, Ogg Vorbis, AIFF, ...) into 16-bit frames. Used wherever
// an outside audio file comes in: the WAV-file backend's microphone file and
// clip import. Files are opened without blocking (base::OpenRegularFile).
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "base/result.h"

namespace vocalith::wave {

// The most samples (frames × channels) a file may give: about 25 minutes of
// stereo at 44.1 kHz; more is refused rather than risk exhausting memory.
inline constexpr uint64_t AUDIO_MAX_SAMPLES = 1ull << 27;

struct AudioFrames {
    uint32_t sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved frames, whole frames only

    size_t Frames() const {
        return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0;
    }
};

// The samples of the audio file at `path`. A file cut short gives what it holds.
base::Result ReadAudioFile(const std::filesystem::path& path, AudioFrames& out,
                           uint64_t maxSamples = AUDIO_MAX_SAMPLES);

// The same from the bytes of a file held in memory.
base::Result DecodeAudio(std::span<const uint8_t> bytes, AudioFrames& out,
                         uint64_t maxSamples = AUDIO_MAX_SAMPLES);

// Interleaved frames of `channels` values averaged to one channel.
std::vector<int16_t> MixToMono(std::span<const int16_t> samples, int channels);

}  // namespace vocalith::wave
