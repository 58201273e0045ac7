#pragma once
// Sample conversion for the device layer: which PCM formats a buffer may
// hold, reading one frame of such a buffer as left/right values on the
// 16-bit scale, and a streaming resampler for captured 16-bit audio.
//
// Rates are converted by libsoxr (wave/rate_converter.h). Equal rates pass
// samples through unchanged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/audio_device.h"
#include "wave/byte_order.h"
#include "wave/rate_converter.h"

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

using wave::ClipToSample;

// Converts a stream of 16-bit frames (1 or 2 channels, interleaved) at one
// rate into 16-bit mono at another, piece by piece. Stereo is averaged to
// mono. The stream starts from silence; output k lies at input position
// k × inRate / outRate. While the stream runs the output trails the input by
// libsoxr's block latency; Flush() ends the stream. Runs on the reader of a
// CaptureFeed, never under an audio callback (libsoxr may allocate).
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
    void Take(const float* values, size_t count, std::vector<int16_t>& out);

    uint32_t inRate_;
    uint32_t outRate_;
    int inChannels_;
    wave::RateConverter converter_;
    uint64_t framesIn_ = 0;   // input frames of this stream
    uint64_t framesOut_ = 0;  // outputs given for it
    std::vector<float> in_;   // one piece of input as floats
    std::vector<float> out_;  // converted output waiting to be rounded
};

}  // namespace vocalith::device
