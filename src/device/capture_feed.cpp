#include "device/capture_feed.h"

#include <algorithm>
#include <utility>

#include "wave/rate_converter.h"

namespace vocalith::device {

namespace {
// The reader takes this many device frames at a time.
constexpr size_t READ_FRAMES = 4096;
}  // namespace

CaptureFeed::CaptureFeed(std::shared_ptr<CaptureRing> ring, uint32_t rate, int channels,
                         size_t capacityFrames)
    : ring_(std::move(ring)),
      rate_(rate),
      channels_(channels == 2 ? 2 : 1),
      queue_(capacityFrames * (channels == 2 ? 2 : 1)),
      resampler_(rate, wave::SYSTEM_SAMPLE_RATE, channels == 2 ? 2 : 1),
      raw_(READ_FRAMES * (channels == 2 ? 2 : 1)) {
    mono_.reserve(READ_FRAMES);
}

void CaptureFeed::Write(const int16_t* frames, size_t count) {
    // Whole frames only, so the reader never sees a frame split in two.
    const size_t fit = std::min(count, queue_.Room() / channels_);
    const size_t written = queue_.Write(frames, fit * channels_) / channels_;
    if (written < count) lost_.fetch_add(count - written, std::memory_order_relaxed);
}

void CaptureFeed::Drain() {
    std::lock_guard lock(readerMutex_);
    for (;;) {
        const size_t got = queue_.Read(raw_.data(), raw_.size()) / channels_;
        if (got == 0) return;
        if (rate_ == wave::SYSTEM_SAMPLE_RATE && channels_ == 1) {
            ring_->Push(raw_.data(), got);
        } else {
            mono_.clear();
            resampler_.Process(raw_.data(), got, mono_);
            ring_->Push(mono_.data(), mono_.size());
        }
    }
}

}  // namespace vocalith::device
