#pragma once
// The audio pump: the one periodic step (every 10 ms, on the UI thread) that
// moves sound through the system. It drains captured microphone bytes in
// blocks of 512, amplifies and measures each block, passes blocks heard
// within 800 ms of speech to the recorder it is given (with a pre-roll, first
// the sound heard just before the speech) and, with the monitor on, to mixer
// channel 37; and at most once every 200 ms mixes the 38 channels into the
// speech output stream of the sound window (on a live output also as soon
// as the speech channel's start delay has ended, so that speech is heard on
// time rather than at the next step).
//
// The pump is Engine::AudioPump (engine.h); its settings and state are the
// engine's. Ticks are milliseconds of the engine's clock, read afresh at
// each step.
#include <cstdint>

namespace vocalith::engine {

// Takes the microphone blocks heard within 800 ms of speech (the work
// buffer's recording, in the window). Blocks of 0 samples arrive too: they
// tell a recorder that nothing more was waiting.
class Recorder {
  public:
    virtual ~Recorder() = default;
    virtual void OnRecordedBlock(const int16_t* samples, int32_t count) = 0;
};

inline constexpr int32_t CAPTURE_BLOCK_BYTES = 512;
inline constexpr uint32_t VOICE_HOLD_MS = 800;
inline constexpr uint32_t MIX_PERIOD_MS = 200;
inline constexpr uint32_t MIX_SAMPLES_PER_MS = 12;
inline constexpr int32_t MIX_MAX_SAMPLES = 20000;
inline constexpr int32_t MIX_BUFFER_SAMPLES = 50000;
// The most a pre-roll holds: about 740 ms at 11025 Hz.
inline constexpr int32_t PRE_ROLL_MAX_SAMPLES = 8192;
// How late, on average, the pump's step that finds the speech channel's
// start delay over comes after its end: half a 10 ms pump tick.
inline constexpr uint32_t START_STEP_LATE_MS = 5;
// Silence before the monitor's first block on a freshly anchored stream: one
// mixing period.
inline constexpr uint32_t MONITOR_LEAD_IN_BYTES = MIX_PERIOD_MS * 11025 / 1000 * 2;

// Amplifies the block in place by 2 * inputGain (at least 1), saturating at
// the 16-bit limits, and returns the mean absolute level; `peak` receives the
// largest absolute level. Blocks under 2 bytes give 0 and peak 0.
int32_t MeasureLevel(int16_t* samples, int32_t byteCount, int32_t& peak, int32_t inputGain);

}  // namespace vocalith::engine
