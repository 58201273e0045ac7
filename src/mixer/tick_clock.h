#pragma once
// Millisecond tick clock. A "tick" is one millisecond; differences of two
// ticks are unsigned 32-bit subtractions, so they survive the counter's wrap.
#include <cstdint>

namespace vocalith::mixer {

class TickClock {
  public:
    virtual ~TickClock() = default;
    // The current tick count in milliseconds.
    virtual uint32_t Now() = 0;
};

// Monotonic milliseconds since an arbitrary origin (wraps after ~49 days).
class SteadyTickClock final : public TickClock {
  public:
    uint32_t Now() override;
};

// A clock that moves only when told to: tests and offline rendering.
class FakeTickClock final : public TickClock {
  public:
    explicit FakeTickClock(uint32_t start = 1) : now_(start) {}
    uint32_t Now() override { return now_; }
    void Set(uint32_t tick) { now_ = tick; }
    void Advance(uint32_t ms) { now_ += ms; }

  private:
    uint32_t now_;
};

}  // namespace vocalith::mixer
