#pragma once
// Every rate conversion of the system, by libsoxr (its "high quality"
// recipe: 20-bit precision, passband flat to 91% of the lower Nyquist
// frequency, images and aliases removed). Equal rates pass samples through
// untouched, bit for bit.
//
// libsoxr works in blocks: an output needs input some way past its own
// position, and starting a stream (soxr_create, soxr_clear) allocates, as
// does any growth of its internal queues, which happens whenever a call
// leaves it more output than the caller takes or hands it input in uneven
// amounts. So the real-time path is built to keep libsoxr's queues at one
// fixed working size:
//  - Pull() always hands libsoxr exactly FEED_FRAMES input frames with room
//    for every output they can make; outputs beyond what the caller asked
//    for wait in a ring of our own, allocated up front;
//  - Warm() (off the audio thread, after Create or Restart) first hands it
//    one large block of silence, so its queues grow well past anything the
//    pattern needs (they never shrink), then runs the pattern on silence and
//    measures how far input runs ahead of output (LookaheadFrames());
//    its outputs are discarded inside Pull(), so a warmed stream's first
//    output is its first input frame, with silence before.
// After Warm(), Pull() does not allocate (tests/wave counts allocations).
// Process() is the plain streaming form for threads that may allocate.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"

namespace vocalith::wave {

// A float sample value rounded and clipped to a 16-bit sample.
int16_t ClipToSample(float value);

class RateConverter {
  public:
    // Input frames handed to libsoxr per call on the real-time path.
    static constexpr size_t FEED_FRAMES = 64;

    RateConverter() = default;
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Frames of `channels` interleaved floats (1 or 2) from `inRate` to
    // `outRate`, starting from silence. Allocates.
    base::Result Create(uint32_t inRate, uint32_t outRate, int channels);
    // Starts a new stream from silence (after Warm(), warmed again).
    // Allocates: never on an audio thread.
    base::Result Restart();
    // Prepares Pull(): see above. Allocates.
    base::Result Warm();

    // Real-time path: writes `frames` output frames, asking `fill(in, n)` for
    // input n = FEED_FRAMES frames at a time. Needs Warm(); never allocates.
    template <class Fill>
    void Pull(float* out, size_t frames, Fill&& fill);

    // Streaming: takes up to `inFrames` frames (`used` taken) and gives up to
    // `outFrames` (`made`). May allocate.
    void Process(const float* in, size_t inFrames, size_t& used, float* out, size_t outFrames,
                 size_t& made);
    // Ends the stream: gives what is still inside, as if silence followed.
    void Drain(float* out, size_t outFrames, size_t& made);

    bool Passthrough() const { return inRate_ == outRate_; }
    int Channels() const { return channels_; }
    // How far Pull() reads input past the position of the output it is
    // making, in input frames (0 for equal rates).
    uint32_t LookaheadFrames() const { return lookahead_; }

  private:
    void Release();
    // One FEED_FRAMES step into the ring; the ring is empty before.
    void Step(const float* in);

    void* soxr_ = nullptr;  // soxr_t; none for equal rates
    uint32_t inRate_ = 0;
    uint32_t outRate_ = 0;
    int channels_ = 1;
    bool warmed_ = false;
    uint32_t lookahead_ = 0;
    uint64_t skip_ = 0;        // warm-up outputs still to discard
    std::vector<float> feed_;  // FEED_FRAMES input frames
    std::vector<float> ring_;  // outputs made but not yet taken
    size_t ringAt_ = 0;        // first waiting output frame
    size_t ringCount_ = 0;     // waiting output frames
};

template <class Fill>
void RateConverter::Pull(float* out, size_t frames, Fill&& fill) {
    const auto ch = static_cast<size_t>(channels_);
    while (frames > 0) {
        if (ringCount_ == 0) {
            fill(feed_.data(), FEED_FRAMES);
            if (Passthrough()) {
                ring_.assign(feed_.begin(), feed_.end());  // no reallocation: same size
                ringAt_ = 0;
                ringCount_ = FEED_FRAMES;
            } else {
                Step(feed_.data());
            }
            continue;
        }
        const size_t take = frames < ringCount_ ? frames : ringCount_;
        for (size_t i = 0; i < take * ch; ++i) out[i] = ring_[ringAt_ * ch + i];
        out += take * ch;
        frames -= take;
        ringAt_ += take;
        ringCount_ -= take;
    }
}

// A whole mono signal from one rate to another: ceil(n × outRate / inRate)
// samples, the last ones taken as if silence followed. Equal rates copy.
std::vector<int16_t> ResampleMono(std::span<const int16_t> samples, uint32_t inRate,
                                  uint32_t outRate);

}  // namespace vocalith::wave
