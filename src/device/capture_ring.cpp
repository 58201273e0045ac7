#include "device/capture_ring.h"

#include <algorithm>

#include "wave/byte_order.h"

namespace vocalith::device {

namespace {
constexpr int MAX_BUFFERS = 1024;
constexpr uint32_t MAX_CAPTURE_BUFFER_BYTES = 1u << 24;
}  // namespace

bool CaptureRing::IsCaptureFormat(const PcmFormat& f) {
    return f.formatTag == 1 && f.channels == 1 && f.samplesPerSec == 11025 &&
           f.bitsPerSample == 16 && f.blockAlign == 2;
}

bool CaptureRing::Open(const PcmFormat& format, int bufferCount, uint32_t bufferBytes,
                       CaptureSink* sink, UiDispatcher* dispatcher) {
    if (!IsCaptureFormat(format) || bufferCount < 1 || bufferCount > MAX_BUFFERS ||
        bufferBytes == 0 || bufferBytes > MAX_CAPTURE_BUFFER_BYTES || !sink || !dispatcher) {
        return false;
    }
    std::lock_guard lock(m_);
    running_.store(false, std::memory_order_release);
    ++generation_;
    open_ = true;
    sink_ = sink;
    dispatcher_ = dispatcher;
    bufferBytes_ = bufferBytes;
    auto count = static_cast<size_t>(bufferCount);
    area_.assign(count * bufferBytes, 0);
    queue_.resize(count);
    queued_.assign(count, true);
    for (size_t i = 0; i < count; ++i) queue_[i] = static_cast<int>(i);
    head_ = 0;
    queuedCount_ = count;
    fill_ = 0;
    return true;
}

void CaptureRing::AddBuffer(int index) {
    std::lock_guard lock(m_);
    if (!open_ || index < 0 || static_cast<size_t>(index) >= queued_.size()) return;
    auto i = static_cast<size_t>(index);
    if (queued_[i]) return;  // already waiting to be filled
    queued_[i] = true;
    queue_[(head_ + queuedCount_) % queue_.size()] = index;
    ++queuedCount_;
}

void CaptureRing::Start() {
    std::lock_guard lock(m_);
    if (open_) running_.store(true, std::memory_order_release);
}

void CaptureRing::Stop() {
    std::lock_guard lock(m_);
    if (!open_ || !running_.load(std::memory_order_acquire)) return;
    running_.store(false, std::memory_order_release);
    if (fill_ > 0 && queuedCount_ > 0) {
        int index = queue_[head_];
        queued_[static_cast<size_t>(index)] = false;
        head_ = (head_ + 1) % queue_.size();
        --queuedCount_;
        HandBackLocked(index, fill_);
        fill_ = 0;
    }
}

void CaptureRing::Reset() {
    std::lock_guard lock(m_);
    if (!open_) return;
    running_.store(false, std::memory_order_release);
    while (queuedCount_ > 0) {
        int index = queue_[head_];
        queued_[static_cast<size_t>(index)] = false;
        head_ = (head_ + 1) % queue_.size();
        --queuedCount_;
        HandBackLocked(index, fill_);
        fill_ = 0;  // only the head buffer was partly filled
    }
}

void CaptureRing::Close() {
    std::lock_guard lock(m_);
    running_.store(false, std::memory_order_release);
    ++generation_;
    open_ = false;
    sink_ = nullptr;
    dispatcher_ = nullptr;
    queuedCount_ = 0;
    fill_ = 0;
}

void CaptureRing::Push(const int16_t* samples, size_t count) {
    if (!running_.load(std::memory_order_acquire)) return;
    std::lock_guard lock(m_);
    if (!open_ || !running_.load(std::memory_order_relaxed)) return;
    for (size_t i = 0; i < count; ++i) {
        // Little-endian bytes one at a time, so a buffer of an odd size splits
        // a sample across two buffers.
        uint8_t bytes[2];
        wave::WriteLe16(bytes, static_cast<uint16_t>(samples[i]));
        for (uint8_t b : bytes) {
            if (queuedCount_ == 0) return;  // no buffer to fill: the rest is dropped
            int index = queue_[head_];
            area_[static_cast<size_t>(index) * bufferBytes_ + fill_++] = b;
            if (fill_ == bufferBytes_) {
                queued_[static_cast<size_t>(index)] = false;
                head_ = (head_ + 1) % queue_.size();
                --queuedCount_;
                HandBackLocked(index, fill_);
                fill_ = 0;
            }
        }
    }
}

void CaptureRing::HandBackLocked(int index, uint32_t bytes) {
    std::weak_ptr<CaptureRing> self = weak_from_this();
    uint64_t generation = generation_;
    dispatcher_->Post([self, generation, index, bytes] {
        if (auto ring = self.lock()) ring->Deliver(generation, index, bytes);
    });
}

void CaptureRing::Deliver(uint64_t generation, int index, uint32_t bytes) {
    CaptureSink* sink = nullptr;
    const uint8_t* data = nullptr;
    {
        std::lock_guard lock(m_);
        if (generation != generation_ || !sink_) return;
        sink = sink_;
        data = area_.data() + static_cast<size_t>(index) * bufferBytes_;
    }
    // The buffer is not queued, so the producer leaves its bytes alone until
    // the sink hands it back with AddBuffer.
    sink->OnBufferDone(index, data, bytes);
}

}  // namespace vocalith::device
