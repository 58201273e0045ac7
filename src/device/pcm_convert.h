#pragma once
// Sample conversion for the device layer: which PCM formats a buffer may
// hold, reading one frame of such a buffer as left/right values on the
// 16-bit scale, and a streaming resampler for captured 16-bit audio.
//
// Rates are converted by band-limited interpolation (resampler.h) whose
// position is kept as an exact fraction (numerator over the output rate), so
// long runs never drift. Equal rates pass samples through unchanged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/audio_device.h"
#include "device/resampler.h"
#include "wave/byte_order.h"

namespace vocalith::device {

// The frame rates a buffer may use, as an output device accepts them.
inline constexpr uint32_t MIN_RATE = 100;
inline constexpr uint32_t MAX_RATE = 200000;

// True for PCM, 1 or 2 channels, 8 or 16 bits, a consistent block size and
// a rate within MIN_RATE..MAX_RATE. The average byte rate is not checked:
// files get it wrong and nothing depends on it.
bool IsSupportedFormat(const PcmFormat& format);

// The left and right values of the frame at `p` on the 16-bit scale; a mono
// frame gives the same value twice. 8-bit samples are unsigned around 128.
inline void ReadFrame(const uint8_t* p, uint16_t channels, uint16_t bits, float& left,
                      float& right) {
    if (bits == 16) {
        left = static_cast<float>(static_cast<int16_t>(wave::ReadLe16(p)));
        right =
            channels == 2 ? static_cast<float>(static_cast<int16_t>(wave::ReadLe16(p + 2))) : left;
    } else {
        left = static_cast<float>((static_cast<int>(p[0]) - 128) * 256);
        right = channels == 2 ? static_cast<float>((static_cast<int>(p[1]) - 128) * 256) : left;
    }
}

// A float mix value rounded and clipped to a 16-bit sample.
int16_t ClipToSample(float value);

// Converts a stream of 16-bit frames (1 or 2 channels, interleaved) at one
// rate into 16-bit mono at another, piece by piece: the output does not
// depend on how the input is cut into pieces. Stereo is averaged to mono.
//
// The stream starts from silence. Output k lies at input position
// k × inRate / outRate; it is emitted once the kernel's look-ahead past that
// position has arrived, so while the stream runs the output trails the input
// by SincWindow::HalfWidth() input frames. Flush() ends the stream.
class StreamResampler {
  public:
    StreamResampler(uint32_t inRate, uint32_t outRate, int inChannels);
    // Appends the mono output for `frames` input frames to `out`.
    void Process(const int16_t* in, size_t frames, std::vector<int16_t>& out);
    // Ends the stream as if silence followed: appends every output that lies
    // before the end of the input so far, ceil(frames in × outRate / inRate)
    // outputs in all, then starts a new stream.
    void Flush(std::vector<int16_t>& out);

  private:
    void Reset();
    void Step(float value, std::vector<int16_t>& out);

    uint32_t inRate_;
    uint32_t outRate_;
    int inChannels_;
    std::optional<SincWindow> window_;  // none when the rates are equal
    uint64_t phase_ = 0;  // next output's position past its centre frame, in 1/outRate_ of a frame
    uint64_t wait_ = 0;   // input frames still to come before that centre frame is in the middle
};

}  // namespace vocalith::device
