#pragma once
// Holds a callback thread back to real time when the device consumes or
// produces frames without waiting (a null sound device; real hardware never
// does), so it cannot spin a core. The sleep only ever happens on such a
// device, where nothing waits for the thread.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

namespace vocalith::device {

class Pacer {
  public:
    // How far ahead of real time the frames may run before the thread sleeps.
    static constexpr double AHEAD_SECONDS = 0.25;

    explicit Pacer(uint32_t rate = 11025) : rate_(rate) {}
    void Count(uint64_t frames) {
        if (frames_ == 0) start_ = Clock::now();
        frames_ += frames;
        const double ahead = static_cast<double>(frames_) / rate_ -
                             std::chrono::duration<double>(Clock::now() - start_).count();
        if (ahead > AHEAD_SECONDS) {
            std::this_thread::sleep_for(
                std::chrono::duration<double>(std::min(ahead - AHEAD_SECONDS / 2, 0.1)));
        }
    }

  private:
    using Clock = std::chrono::steady_clock;
    uint32_t rate_;
    uint64_t frames_ = 0;
    Clock::time_point start_;
};

}  // namespace vocalith::device
