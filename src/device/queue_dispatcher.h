#pragma once
// A UiDispatcher for programs and tests without a window toolkit: posted
// functions wait in a thread-safe queue until the UI thread runs them with
// RunPending, in the order posted.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "device/audio_device.h"

namespace vocalith::device {

class QueueDispatcher final : public UiDispatcher {
  public:
    // Any thread.
    void Post(std::function<void()> fn) override;
    // UI thread: runs the functions posted so far; those they post in turn
    // wait for the next call. Returns how many ran.
    size_t RunPending();
    // UI thread: waits up to `timeout` for something to be posted, then runs
    // what is pending. Returns how many ran.
    size_t WaitAndRun(std::chrono::milliseconds timeout);
    size_t PendingCount() const;

  private:
    mutable std::mutex m_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace vocalith::device
