#pragma once
// A fixed ring of samples between exactly one producer thread and one
// consumer thread, with no lock: each side owns one index and publishes it
// with release, and reads the other's with acquire. Neither side ever waits
// or allocates, so a device callback may write into it at real-time priority
// while the reader is held back for as long as the ring's capacity lasts.
// What does not fit is refused, and the producer counts it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vocalith::device {

template <typename T>
class SpscRing {
  public:
    // Allocates here, once; never again.
    explicit SpscRing(size_t capacity) : data_(capacity > 0 ? capacity : 1) {}

    size_t Capacity() const { return data_.size(); }

    // Producer: copies as many of `count` values as fit, oldest first, and
    // returns how many.
    size_t Write(const T* values, size_t count) {
        const uint64_t write = write_.load(std::memory_order_relaxed);
        const uint64_t read = read_.load(std::memory_order_acquire);
        const size_t room = data_.size() - static_cast<size_t>(write - read);
        const size_t n = count < room ? count : room;
        for (size_t i = 0; i < n; ++i) data_[(write + i) % data_.size()] = values[i];
        write_.store(write + n, std::memory_order_release);
        return n;
    }

    // Producer: the room left, never less than what is actually there.
    size_t Room() const {
        return data_.size() - static_cast<size_t>(write_.load(std::memory_order_relaxed) -
                                                  read_.load(std::memory_order_acquire));
    }

    // Consumer: moves up to `max` values into `out` and returns how many.
    size_t Read(T* out, size_t max) {
        const uint64_t read = read_.load(std::memory_order_relaxed);
        const uint64_t write = write_.load(std::memory_order_acquire);
        const auto ready = static_cast<size_t>(write - read);
        const size_t n = max < ready ? max : ready;
        for (size_t i = 0; i < n; ++i) out[i] = data_[(read + i) % data_.size()];
        read_.store(read + n, std::memory_order_release);
        return n;
    }

  private:
    std::vector<T> data_;
    // Values ever written and ever read; a 64-bit count does not wrap.
    alignas(64) std::atomic<uint64_t> write_{0};
    alignas(64) std::atomic<uint64_t> read_{0};
};

}  // namespace vocalith::device
