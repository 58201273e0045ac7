#pragma once
// The path from a capture callback to the capture ring. The callback hands
// the device's own frames (its rate, 1 or 2 channels, 16-bit) to a lock-free
// ring and returns: it never locks, allocates or resamples. A reader on an
// ordinary thread drains that ring, converts the frames to the capture format
// (11025 Hz mono) and pushes them into the CaptureRing, which hands full
// buffers to the UI thread.
//
// When the reader falls behind by more than the ring holds, the frames that
// do not fit are dropped whole and counted; the callback never waits.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "device/capture_ring.h"
#include "device/pcm_convert.h"
#include "device/spsc_ring.h"

namespace vocalith::device {

class CaptureFeed {
  public:
    // `capacityFrames` device frames can wait for the reader.
    CaptureFeed(std::shared_ptr<CaptureRing> ring, uint32_t rate, int channels,
                size_t capacityFrames);

    // Callback thread: queues `frames` interleaved frames, or as many whole
    // frames as fit; the rest are counted as lost.
    void Write(const int16_t* frames, size_t count);

    // Reader: converts everything queued so far and pushes it into the ring.
    // Safe from more than one thread (the reader's own and the UI thread's
    // Stop); those take turns on a lock the callback never touches.
    void Drain();

    // Frames dropped because the reader fell behind, since the feed began.
    uint64_t LostFrames() const { return lost_.load(std::memory_order_relaxed); }

  private:
    std::shared_ptr<CaptureRing> ring_;
    uint32_t rate_;
    size_t channels_;
    SpscRing<int16_t> queue_;
    std::atomic<uint64_t> lost_{0};

    std::mutex readerMutex_;  // the reading side below
    StreamResampler resampler_;
    std::vector<int16_t> raw_;
    std::vector<int16_t> mono_;
};

}  // namespace vocalith::device
