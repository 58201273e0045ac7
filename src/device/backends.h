#pragma once
// The backends behind MakeBackend, and the timing constants of the
// WAV-file backend that tests rely on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/audio_device.h"
#include "wave/audio_file.h"

namespace vocalith::device {

// No output and no capture device: every open answers null.
std::unique_ptr<AudioBackend> MakeNullBackend();

// Renders what would be heard into `outPath` (16-bit mono 11025 Hz) in real
// time; with a non-empty `inPath`, plays that WAV file into capture as if it
// were the microphone, then silence once the file has run out.
std::unique_ptr<AudioBackend> MakeWavBackend(std::string outPath, std::string inPath);

// The default output and input devices through PortAudio.
std::unique_ptr<AudioBackend> MakePortAudioBackend();

// The WAV-file backend's output: its rate and how far the write cursor
// runs ahead of the play cursor.
inline constexpr double WAV_OUTPUT_LATENCY_SECONDS = 0.02;

// The samples of `audio` as 16-bit mono at 11025 Hz: channels averaged, the
// rate converted by libsoxr.
std::vector<int16_t> ConvertToCaptureFormat(const wave::AudioFrames& audio);

// Reads the WAV-file backend's microphone file (any format libsndfile
// reads, at MIN_RATE..MAX_RATE frames per second).
base::Result ReadCaptureFile(const std::string& path, wave::AudioFrames& audio);

}  // namespace vocalith::device
