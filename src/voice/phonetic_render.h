#pragma once
// Offline rendering of a phonetic string: what the window would play, as
// samples, computed on a simulated clock as fast as the machine allows.
//
// The rule: the speech channel is emptied, the text is queued with
// SpeakPhonetic on the mixer as the window does, and the result begins with
// the channel's 450 ms start delay as silence, 450 * 11025 / 1000 rounded
// down = 4961 zero samples, followed by every queued clip back to back; it
// ends with the last sample of the last clip. A text that queues nothing
// gives no samples at all.
#include <cstdint>
#include <vector>

namespace vocalith::voice {

inline constexpr int32_t START_DELAY_SAMPLES = 4961;  // 450 ms at 11025 samples/s

// Renders `phonetic` with ThePhonTable() through TheMixer(), whose channels
// are all emptied first and left empty. The program's clock is replaced by a
// simulated one for the duration and restored afterwards.
std::vector<int16_t> RenderPhoneticToSamples(const char* phonetic);

}  // namespace vocalith::voice
