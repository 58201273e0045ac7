#pragma once
// The software core shared by the output backends: output buffers that hold
// their bytes in their own PCM format, and the mix of every playing buffer
// into a device's 16-bit output at the device's rate and channel count.
//
// A buffer at the device's rate is copied sample for sample. Any other rate
// is converted by libsoxr (wave/rate_converter.h), which reads input ahead
// of the play cursor: about 100 to 150 ms at common rates (libsoxr works in
// blocks), and the write cursor always stays past it. Starting to play, or
// moving the cursor, restarts the conversion from silence behind the cursor
// on the UI thread (libsoxr allocates then); the device thread only pulls
// from a warmed conversion, which never allocates. Looping runs on
// seamlessly across the wrap; a once buffer ends when its cursor reaches the
// end, with silence taken for the look-ahead past it.
//
// A buffer's cursors advance in the buffer's own byte units as the device
// renders: a looping buffer wraps, a once buffer stops at its end (its
// cursor then reads 0 and it reports not playing). The write cursor runs the
// given latency ahead of where the device has rendered to. The play cursor
// is what is being heard: the rendered position less what the device still
// holds (SetOutputDelay). A sound server takes a device's audio in bursts of
// 100 ms and more, so the rendered position runs that far ahead of the sound.
//
// Threads: the buffers' methods run on the UI thread; Render runs on the
// device's thread. They share each buffer's bytes, which writes reach
// without a lock, and its guarded state. Render never waits: a buffer whose
// lock is taken (a start, stop, volume or cursor change at that moment) is
// skipped for that period (silence) and its cursor catches up on the next one.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "device/audio_device.h"

namespace vocalith::device {

struct BufferState;

class MixCore : public std::enable_shared_from_this<MixCore> {
  public:
    // `latencySeconds`: how far the write cursor runs ahead of the play cursor.
    static std::shared_ptr<MixCore> Create(uint32_t deviceRate, int deviceChannels,
                                           double latencySeconds);

    uint32_t DeviceRate() const { return deviceRate_; }
    int DeviceChannels() const { return deviceChannels_; }

    // A buffer of `bytes` bytes in `format`, silent at first; null when the
    // format is not supported, the size is below one frame or too large, or
    // the device is closed.
    std::unique_ptr<OutputBuffer> CreateBuffer(const PcmFormat& format, uint32_t bytes);

    // Device thread: mixes every playing buffer into `frames` interleaved
    // frames of `out` and advances their cursors.
    void Render(int16_t* out, uint32_t frames);
    // Device thread: how long until the next rendered frame is heard.
    void SetOutputDelay(double seconds);
    // Device frames between the rendered and the heard position.
    uint32_t OutputDelayFrames() const { return delayFrames_.load(std::memory_order_acquire); }

    // Device thread: true when no buffer plays; false also when that cannot
    // be told without waiting (a buffer is being made or destroyed).
    bool Quiet();
    // Runs `wake` on the UI thread whenever a stopped buffer starts to play,
    // once just before and once after it counts as playing, so a device
    // that rests while nothing plays starts again in time. Set before the
    // first buffer is made.
    void SetWakeHook(std::function<void()> wake) { wake_ = std::move(wake); }
    void Woken() const {
        if (wake_) wake_();
    }

    // UI thread: while set, a playing buffer reports its write cursor at its
    // play cursor. For a device whose stream has not started yet: it has
    // fetched nothing, so sound written at the play cursor is heard from the
    // first frame it renders. Clear it before the stream starts.
    void SetNothingFetched(bool nothing) {
        nothingFetched_.store(nothing, std::memory_order_release);
    }
    bool NothingFetched() const { return nothingFetched_.load(std::memory_order_acquire); }

    // The device is gone: buffers keep their data but no longer play.
    void Close();
    bool Closed() const { return closed_.load(std::memory_order_acquire); }

    // Used by the buffers.
    void Register(BufferState* state);
    void Unregister(BufferState* state);

  private:
    MixCore(uint32_t deviceRate, int deviceChannels, double latencySeconds);
    void MixBuffer(BufferState& s, float* accum, uint32_t frames);

    static constexpr uint32_t CHUNK_FRAMES = 512;

    const uint32_t deviceRate_;
    const int deviceChannels_;
    const double latencySeconds_;
    std::atomic<bool> closed_{false};
    std::atomic<bool> nothingFetched_{false};
    std::atomic<uint32_t> delayFrames_{0};
    std::function<void()> wake_;

    std::mutex listMutex_;               // guards buffers_; the device thread only try_locks it
    std::vector<BufferState*> buffers_;  // every live buffer of this device
    uint64_t deviceFrame_ = 0;           // frames rendered so far; device thread only
    std::vector<float> accum_;      // mix scratch, CHUNK_FRAMES × channels; device thread only
    std::vector<float> converted_;  // one buffer's converted frames, CHUNK_FRAMES × 2; ditto
};

}  // namespace vocalith::device
