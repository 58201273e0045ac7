#include "device/output_machine.h"

#include <system_error>
#include <thread>
#include <utility>

namespace vocalith::device {

namespace {

constexpr const char* kStopped = "the sound output stopped (the sound server or device went away)";

std::string StalledFor(int64_t ms) {
    return "the sound output stopped taking data (for " + std::to_string(ms) +
           " ms; the sound server or device went away)";
}

}  // namespace

void OutputMachine::StreamOps::Spawn(std::function<void()> job) {
    try {
        std::thread(job).detach();
    } catch (const std::system_error&) {
        job();  // no thread to spare: run it here
    }
}

void OutputMachine::Started(Stream stream) {
    startedMs_ = ops_->NowMs();
    lastCallbackMs_.store(startedMs_, std::memory_order_release);
    std::lock_guard lock(m_);
    stream_ = stream;
    phase_ = Phase::Running;
}

void OutputMachine::Prepared(Stream stream) {
    std::lock_guard lock(m_);
    stream_ = stream;
    prepared_ = stream != nullptr;
    phase_ = Phase::Resting;
    restSeen_ = true;  // not a rest after sound: nothing to note
}

bool OutputMachine::OnPeriod() {
    const int64_t now = ops_->NowMs();
    lastCallbackMs_.store(now, std::memory_order_release);
    if (!ops_->Quiet()) {
        quietSinceMs_ = 0;
        return true;
    }
    if (quietSinceMs_ == 0) quietSinceMs_ = now;
    if (now - quietSinceMs_ < REST_AFTER_MS) return true;
    // Decided under the lock a wake takes, and on a fresh look at the
    // buffers: one that starts now either is seen here or wakes the stream
    // after it has ended.
    std::unique_lock lock(m_, std::try_to_lock);
    if (!lock.owns_lock() || phase_ != Phase::Running || !ops_->Quiet()) return true;
    phase_ = Phase::Resting;
    return false;
}

bool OutputMachine::Wake(std::shared_ptr<const void> keep) {
    Stream ended = nullptr;
    bool prepared = false;
    const int64_t now = ops_->NowMs();
    {
        std::lock_guard lock(m_);
        if (phase_ != Phase::Resting) return false;
        phase_ = Phase::Waking;
        wakeStartMs_ = now;
        ended = std::exchange(stream_, nullptr);
        prepared = std::exchange(prepared_, false);
    }
    // A prepared stream's start-up grace counts from its first start.
    if (prepared) startedMs_ = now;
    ops_->Spawn([this, ended, prepared, keep = std::move(keep)]() mutable {
        // The new callback must not count the rest as quiet or as a stall.
        quietSinceMs_ = 0;
        lastCallbackMs_.store(ops_->NowMs(), std::memory_order_release);
        // A prepared stream starts as it is; else the fresh stream first:
        // closing the ended one takes a sound server as long again, and the
        // listener waits for the fresh one. A device that takes one stream
        // at a time gets the ended one closed first.
        Stream stream = nullptr;
        if (prepared && ops_->Start(ended)) std::swap(stream, ended);
        if (!stream) stream = ops_->Open();
        if (ended) ops_->Close(ended);
        if (!stream && ended) stream = ops_->Open();
        std::unique_lock lock(m_);
        if (phase_ == Phase::Closed) {
            lock.unlock();
            if (stream) ops_->Close(stream);
            return;
        }
        stream_ = stream;
        phase_ = stream ? Phase::Running : Phase::Failed;
    });
    return true;
}

std::string OutputMachine::Check(bool* rested) {
    if (!lost_.empty()) return lost_;
    const int64_t now = ops_->NowMs();
    std::lock_guard lock(m_);
    if (phase_ != Phase::Resting) restSeen_ = false;
    switch (phase_) {
        case Phase::Resting:
            if (rested) *rested = !restSeen_;
            restSeen_ = true;
            break;
        case Phase::Closed:
            break;
        case Phase::Failed:
            lost_ = kStopped;
            break;
        case Phase::Waking:
            if (now - wakeStartMs_ > STALL_LIMIT_MS) lost_ = StalledFor(now - wakeStartMs_);
            break;
        case Phase::Running: {
            if (stream_ == nullptr) break;
            if (!ops_->Active(stream_)) {
                lost_ = kStopped;
                break;
            }
            const int64_t silentMs = now - lastCallbackMs_.load(std::memory_order_acquire);
            if (now - startedMs_ > STARTUP_GRACE_MS && silentMs > STALL_LIMIT_MS) {
                lost_ = StalledFor(silentMs);
            }
            break;
        }
    }
    return lost_;
}

OutputMachine::Stream OutputMachine::Close() {
    std::lock_guard lock(m_);
    phase_ = Phase::Closed;
    return std::exchange(stream_, nullptr);
}

OutputMachine::Phase OutputMachine::CurrentPhase() {
    std::lock_guard lock(m_);
    return phase_;
}

}  // namespace vocalith::device
