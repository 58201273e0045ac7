#include "device/queue_dispatcher.h"

#include <utility>

namespace vocalith::device {

void QueueDispatcher::Post(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard lock(m_);
        queue_.push_back(std::move(fn));
    }
    posted_.notify_all();
}

size_t QueueDispatcher::RunPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(m_);
        batch.swap(queue_);
    }
    // Run outside the lock: a function may post again or take other locks.
    for (auto& fn : batch) fn();
    return batch.size();
}

size_t QueueDispatcher::WaitAndRun(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(m_);
        posted_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
    }
    return RunPending();
}

size_t QueueDispatcher::PendingCount() const {
    std::lock_guard lock(m_);
    return queue_.size();
}

}  // namespace vocalith::device
