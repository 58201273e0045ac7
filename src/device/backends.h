#pragma once
// The backends behind MakeBackend, and the timing constants of the
// WAV-file backend that tests rely on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/audio_device.h"
#include "device/wav_io.h"

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

// The samples of `wav` as 16-bit mono at 11025 Hz, through the same
// conversion the output devices use.
std::vector<int16_t> ConvertToCaptureFormat(const WavData& wav);

}  // namespace vocalith::device
