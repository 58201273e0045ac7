#pragma once
// The ring of capture buffers shared by the capture backends. A producer
// thread pushes 16-bit mono samples; they fill the queued buffers in the
// order they were queued, and each full buffer is handed to the sink on the
// UI thread through the dispatcher. A buffer is filled again only after
// AddBuffer; while no buffer is queued, pushed samples are dropped, as a
// real device drops them.
//
// Threads: Push runs on the producer's thread, everything else on the UI
// thread. Push locks and posts, so the producer is never a device callback:
// PortAudio's capture reaches it through a CaptureFeed's reader. Deliveries posted before a Close
// are dropped, never delivered to a sink that may be gone.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "device/audio_device.h"

namespace vocalith::device {

class CaptureRing : public std::enable_shared_from_this<CaptureRing> {
  public:
    static std::shared_ptr<CaptureRing> Create() {
        return std::shared_ptr<CaptureRing>(new CaptureRing());
    }

    // The only format captured: the system's own (PCM, mono, 11025, 16-bit).
    static bool IsCaptureFormat(const PcmFormat& format);

    // False when the format is refused, the counts are out of range or the
    // sink or dispatcher is missing. Re-opening drops the previous ring.
    bool Open(const PcmFormat& format, int bufferCount, uint32_t bufferBytes, CaptureSink* sink,
              UiDispatcher* dispatcher);
    void AddBuffer(int index);
    void Start();
    // Stops filling; a partly filled buffer is handed back with its bytes.
    void Stop();
    // Stops and hands back every queued buffer in queue order.
    void Reset();
    // Forgets the ring; pending deliveries are dropped.
    void Close();

    bool Running() const { return running_.load(std::memory_order_acquire); }

    // Producer thread: appends samples to the buffer being filled.
    void Push(const int16_t* samples, size_t count);

  private:
    CaptureRing() = default;
    void HandBackLocked(int index, uint32_t bytes);  // posts a delivery; m_ held
    void Deliver(uint64_t generation, int index, uint32_t bytes);

    std::mutex m_;  // guards everything below but running_
    bool open_ = false;
    uint64_t generation_ = 0;  // bumped on Open and Close; stale deliveries are dropped
    CaptureSink* sink_ = nullptr;
    UiDispatcher* dispatcher_ = nullptr;
    uint32_t bufferBytes_ = 0;
    std::vector<uint8_t> area_;  // bufferCount × bufferBytes
    std::vector<int> queue_;     // ring of queued indices, oldest at head_
    std::vector<bool> queued_;   // per buffer: in queue_
    size_t head_ = 0;
    size_t queuedCount_ = 0;
    uint32_t fill_ = 0;  // bytes in the buffer at the head of the queue
    std::atomic<bool> running_{false};
};

}  // namespace vocalith::device
