#include "mixer/tick_clock.h"

#include <chrono>

namespace vocalith::mixer {

uint32_t SteadyTickClock::Now() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    // Only the low 32 bits count: tick differences are unsigned subtractions.
    return static_cast<uint32_t>(static_cast<uint64_t>(ms.count()));
}

}  // namespace vocalith::mixer
