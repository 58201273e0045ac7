#pragma once
// The audio pump: the one periodic step (every 10 ms, on the UI thread) that
// moves sound through the system. It drains captured microphone bytes in
// blocks of 512, amplifies and measures each block, passes blocks heard
// within 800 ms of speech to the recorder it is given and, with the monitor on, to mixer
// channel 37; and at most once every 200 ms mixes the 38 channels into the
// speech output stream of the sound window.
//
// Ticks are milliseconds of Clock(), read afresh at each step.
#include <cstdint>

namespace vocalith::engine {

// The pump's settings; only MonitorEnabled changes while the program runs.
extern int32_t InputGain;         // samples are multiplied by twice this (6)
extern int32_t VoiceThreshold;    // speech: mean above it and peak above 4 times it
extern int32_t VoiceDetectMode;   // speech detection only while above 2
extern int32_t MonitorEnabled;    // the microphone is heard through channel 37
extern int32_t MonitorClipValue;  // userValue of each monitor clip
extern int32_t MixEnabled;        // the mixing step runs
extern int32_t StreamEnabled;     // mixed samples go to the speech stream

// Takes the microphone blocks heard within 800 ms of speech (the work
// buffer's recording, in the window). Blocks of 0 samples arrive too: they
// tell a recorder that nothing more was waiting.
class Recorder {
  public:
    virtual ~Recorder() = default;
    virtual void OnRecordedBlock(const int16_t* samples, int32_t count) = 0;
};

// Where the pump hands recorded blocks; null (the start) drops them.
// ResetPump leaves it as it is.
extern Recorder* recorder;

// The pump's state, zero at start.
extern uint32_t lastVoiceTick;  // tick of the last block that counted as speech
extern uint32_t lastMixTick;    // tick of the last mixing step; 0 until the first call

// Statistics for measurement runs; only the pump writes them, nothing reads
// them to decide anything, and ResetPump leaves them alone. An underrun is a
// ServiceSpeech call by the pump that silenced part of the ring because the
// device's write cursor had overtaken pos.
extern uint32_t speechUnderrunCalls;   // pump calls of ServiceSpeech that returned non-zero
extern uint32_t speechUnderrunEvents;  // of those, the ones that found the stream not yet resyncing

// The loudest raw microphone sample (before the gain) since the last
// TakeInputPeak, for showing the input level while a recording waits.
int32_t TakeInputPeak();
// The raw sample peak the speech gate needs (its peak condition, undone of
// the gain): input quieter than this never counts as speech.
int32_t GateInputPeak();

inline constexpr int32_t CAPTURE_BLOCK_BYTES = 512;
inline constexpr uint32_t VOICE_HOLD_MS = 800;
inline constexpr uint32_t MIX_PERIOD_MS = 200;
inline constexpr uint32_t MIX_SAMPLES_PER_MS = 12;
inline constexpr int32_t MIX_MAX_SAMPLES = 20000;
inline constexpr int32_t MIX_BUFFER_SAMPLES = 50000;

// Amplifies the block in place by 2 * InputGain (at least 1), saturating at
// the 16-bit limits, and returns the mean absolute level; `peak` receives the
// largest absolute level. Blocks under 2 bytes give 0 and peak 0.
int32_t MeasureLevel(int16_t* samples, int32_t byteCount, int32_t& peak);

// One pump call; does nothing while there is no sound window.
void AudioPump();

// Back to the start-up settings and state (for a new run and for tests).
void ResetPump();

}  // namespace vocalith::engine
