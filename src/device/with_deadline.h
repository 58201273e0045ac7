#pragma once
// Runs a call that may hang (an open that a frozen sound server holds inside
// the sound library for good) on a thread of its own, and waits for it at
// most a deadline. A result that arrives after the deadline is dropped with
// the call's last holder: whatever it opened is closed by its destructor.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace vocalith::device {

// The call's result, or nullopt when it did not return within `deadline`.
// `call` is moved to the thread, which may outlive the caller: it must own
// everything it uses.
template <typename Call>
auto RunWithDeadline(Call call, std::chrono::milliseconds deadline)
    -> std::optional<decltype(call())> {
    using Result = decltype(call());
    struct Outcome {
        std::mutex m;
        std::condition_variable cv;
        std::optional<Result> result;
    };
    auto outcome = std::make_shared<Outcome>();
    auto shared = std::make_shared<Call>(std::move(call));
    try {
        std::thread([outcome, shared] {
            Result result = (*shared)();
            std::lock_guard lock(outcome->m);
            outcome->result.emplace(std::move(result));
            outcome->cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return (*shared)();  // no thread to spare: run it here
    }
    std::unique_lock lock(outcome->m);
    if (!outcome->cv.wait_for(lock, deadline, [&] { return outcome->result.has_value(); })) {
        return std::nullopt;
    }
    return std::move(outcome->result);
}

}  // namespace vocalith::device
