#pragma once
// Offline rendering of a phonetic string: what the window would play, as
// samples, computed on a simulated clock as fast as the machine allows.
//
// The rule: the text is queued with SpeakPhonetic on a mixer as the window
// does, and the result begins with the channel's 450 ms start delay as
// silence, 450 * 11025 / 1000 rounded down = 4961 zero samples, followed by
// every queued clip back to back; it ends with the last sample of the last
// clip. A text that queues nothing gives no samples at all.
//
// A rendering has a mixer and a clock of its own: the program's mixer, its
// clock and whatever the window is speaking are left alone.
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "voice/phon_table.h"

namespace vocalith::voice {

inline constexpr int32_t START_DELAY_SAMPLES = 4961;  // 450 ms at 11025 samples/s

// Takes rendered samples block by block, in order. A failed result stops the
// rendering and is passed back to its caller.
class SampleSink {
  public:
    virtual ~SampleSink() = default;
    virtual base::Result Write(std::span<const int16_t> samples) = 0;
};

// Renders a phonetic string given piece by piece, as if it were given whole:
// a piece may end in the middle of a two-byte symbol, which then continues
// in the next piece. Phonemes are queued a few seconds at a time, so memory
// stays bounded whatever the length of the text.
class PhoneticRenderer {
  public:
    PhoneticRenderer(const PhonTable& table, SampleSink& sink);
    ~PhoneticRenderer();
    PhoneticRenderer(const PhoneticRenderer&) = delete;
    PhoneticRenderer& operator=(const PhoneticRenderer&) = delete;

    // Renders the next piece. A NUL byte ends the string: it and everything
    // after it, in this piece and later ones, are left out.
    base::Result Feed(std::string_view piece);
    // Renders what is left; the rendering is complete afterwards.
    base::Result Finish();

  private:
    struct State;
    base::Result Play(const char* symbols, size_t length, bool atEnd);
    base::Result Mix(int32_t keepQueued);
    std::unique_ptr<State> s_;
};

// Renders the whole of `phonetic` with the clips of `table` into `sink`.
base::Result RenderPhonetic(const char* phonetic, const PhonTable& table, SampleSink& sink);

// The whole rendering in memory.
std::vector<int16_t> RenderPhoneticToSamples(const char* phonetic, const PhonTable& table);

}  // namespace vocalith::voice
