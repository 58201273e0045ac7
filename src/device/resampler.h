#pragma once
// Band-limited rate conversion for the device layer.
//
// An output sample at a fractional input position is the weighted sum of the
// input frames around that position. The weights come from a low-pass
// kernel: a sinc whose cutoff is 0.45 of the lower of the two rates, shaped
// by a Kaiser window (beta 8.6, about 85 dB of stopband) and cut off after 32
// zero crossings to each side. Downsampling therefore removes what lies above
// the new Nyquist frequency instead of folding it back into the audible band,
// and upsampling removes the images of the source spectrum. The passband is
// flat to about 0.41 of the lower rate (4.5 kHz at 11025).
//
// The kernel is tabulated once for the whole process at 512 points per sample
// of the lower rate; a position between two points is interpolated linearly.
// Each output is divided by the sum of the weights it used, so a constant
// input comes out unchanged whatever the fraction.
//
// SincWindow keeps the input frames one output needs: a run of history
// behind a centre frame and the same number of frames ahead of it. The
// callers keep the position itself as an exact fraction (a numerator over
// the output rate), so long runs never drift.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vocalith::device {

class SincWindow {
  public:
    // Conversion of frames of `channels` values (1 or 2) from `inRate` to
    // `outRate`. The constructor allocates; nothing else does.
    SincWindow(uint32_t inRate, uint32_t outRate, int channels);

    int Channels() const { return channels_; }
    // Input frames held on each side of the centre: the centre frame and
    // HalfWidth() - 1 frames of history, HalfWidth() frames of look-ahead.
    uint32_t HalfWidth() const { return half_; }

    // Every frame becomes silence.
    void Clear();
    // Appends the newest frame (Channels() values); the centre moves on by one.
    void Push(const float* frame) {
        const size_t span = 2 * static_cast<size_t>(half_);
        float* a = buf_.data() + write_ * static_cast<size_t>(channels_);
        float* b = a + span * static_cast<size_t>(channels_);
        for (int c = 0; c < channels_; ++c) a[c] = b[c] = frame[c];
        if (++write_ == span) write_ = 0;
    }
    // Writes Channels() values: the signal at `phase` / outRate of a frame
    // past the centre frame. phase < outRate.
    void Evaluate(uint64_t phase, float* out) const;

  private:
    template <int CHANNELS>
    void EvaluateN(uint64_t phase, float* out) const;

    uint32_t outRate_;
    int channels_;
    uint32_t half_;
    double step_;             // kernel table steps per input frame, in 1/65536
    uint64_t stepFixed_;      // the same, rounded
    std::vector<float> buf_;  // 2 × 2·half_ frames: each frame stored twice, half_·2 apart
    size_t write_ = 0;        // where the next frame goes; the oldest frame is there
};

}  // namespace vocalith::device
