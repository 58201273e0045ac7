#pragma once
// The software mixer: a fixed table of 38 channels.
//
// Glossary: a "channel" is one of the 38 first-in first-out queues of clips,
// never a stereo channel (all sound is 16-bit mono at 11025 samples/s); a
// "clip" is a private copy of a caller's samples; a "tick" is a millisecond
// of the TickClock.
//
// A clip queued onto an empty channel starts to sound 450 ms later; clips
// queued behind it follow with no gap. MixBlock sums all channels per output
// sample and clips the sum to +-32760.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mixer/tick_clock.h"

namespace vocalith::mixer {

inline constexpr int MIXER_CHANNEL_COUNT = 38;
inline constexpr int SPEECH_CHANNEL = 36;   // PHON clips and work-buffer selections
inline constexpr int MONITOR_CHANNEL = 37;  // the microphone monitor
inline constexpr uint32_t START_DELAY_TICKS = 450;
inline constexpr int32_t MIX_LIMIT = 32760;

// One queued clip. Header and samples live in one allocation; the samples
// follow the header directly (see Samples()).
struct ClipNode {
    ClipNode* next;     // the following clip of the same channel, or null
    uint32_t queuedAt;  // tick at which the clip was queued
    int32_t userValue;  // the caller's value, never read by the mixer
    char tag[16];       // the caller's tag cut to 15 characters, NUL-terminated
    int32_t byteCount;  // twice the sample count
    int16_t* Samples() { return reinterpret_cast<int16_t*>(this + 1); }
    const int16_t* Samples() const { return reinterpret_cast<const int16_t*>(this + 1); }
    int32_t SampleCount() const { return byteCount / 2; }
};

// One queue. Invariants: head is null exactly when clipCount is 0;
// queuedSamples - position samples remain to play; startTick is 0 whenever
// the channel is empty. The channel owns its clips.
struct MixerChannel {
    ClipNode* head = nullptr;
    int32_t position = 0;
    int32_t clipCount = 0;
    int32_t queuedSamples = 0;
    uint32_t startTick = 0;
    // The last clip, so that appending does not walk the whole list; kept by
    // QueueClip and the mixer. Null with a non-empty queue is repaired by
    // walking from head.
    ClipNode* tail = nullptr;
};

// The samples the channel still has to play.
inline int32_t SamplesLeft(const MixerChannel& channel) {
    return channel.queuedSamples - channel.position;
}

// The channel table with the clock it reads. Releases its clips on destruction.
struct Mixer {
    std::array<MixerChannel, MIXER_CHANNEL_COUNT> channels{};
    TickClock* clock = nullptr;  // null: a steady clock
    // Where the memory of a clip comes from; released with std::free. Tests
    // put an allocator here that fails.
    void* (*allocate)(size_t) = std::malloc;
    // How much sooner than START_DELAY_TICKS the speech channel starts: the time a
    // live output takes from the mix to the listener, so that a clip is
    // heard, not merely mixed, START_DELAY_TICKS after it was queued. 0 (a
    // file or no device) leaves the mix as it always was.
    uint32_t startLeadTicks = 0;

    Mixer() = default;
    explicit Mixer(TickClock* c) : clock(c) {}
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;
    ~Mixer();
    uint32_t Now() const { return clock ? clock->Now() : SteadyTickClock().Now(); }
};

// Queues a copy of `count` samples on channel `channel` (0..37) of `mixer`.
// count < 0 clears the channel; count == 0 or samples == nullptr does nothing.
// A clip whose memory cannot be had (or whose size would overflow the
// channel's 32-bit counters) is dropped (TryQueueClip says so). A null tag is stored as "".
// Returns the samples still to play on that channel after the call; a channel
// index outside 0..37 does nothing and returns 0.
int32_t QueueClip(Mixer& mixer, int channel, int32_t userValue, const char* tag,
                  const int16_t* samples, int32_t count);

// QueueClip for a caller that must know the clip is there: true when it was
// queued (or there was nothing to queue: count 0, null samples, count < 0
// clears), false when its memory cannot be had or it would overflow the
// channel's 32-bit counters (more than 2^31 samples); the channel is then
// unchanged. A channel index outside 0..37 is false.
bool TryQueueClip(Mixer& mixer, int channel, int32_t userValue, const char* tag,
                  const int16_t* samples, int32_t count);

// Ends the start delay of a waiting channel at tick `now`: its clips sound
// from the next mixing on. An empty or playing channel is left as it is.
void EndStartDelay(MixerChannel& channel, uint32_t now);

// Releases every clip of the channel and zeroes its fields.
void ClearChannel(MixerChannel& channel);

// True when any channel has a clip queued (playing or waiting to start).
bool AnyQueued(const Mixer& mixer);

// Sets every channel of the mixer empty, releasing any queued clips.
void ClearAllChannels(Mixer& mixer);

// Takes one sample from the channel at tick `now`; `got` tells whether a
// queued sample was taken (false during the start delay and when empty).
// The delay lasts while startTick != 0 and now - startTick < 450 (unsigned).
int16_t NextSample(MixerChannel& channel, uint32_t now, bool& got);

// Mixes up to `count` samples of all 38 channels into `output`. With
// clearFirst the block is zeroed first; with stopWhenIdle mixing stops at the
// first index at which no channel gave a sample. Returns the samples produced;
// count <= 0 or a null output produces nothing and returns 0. The clock is
// read once per call. Never allocates; releases clips that run out.
int32_t MixBlock(Mixer& mixer, int16_t* output, int32_t count, bool clearFirst, bool stopWhenIdle);

}  // namespace vocalith::mixer
