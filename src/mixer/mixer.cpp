#include "mixer/mixer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace vocalith::mixer {

namespace {

// A tick of exactly 0 would read as "channel empty" in startTick, so a clip
// queued at tick 0 records tick 1: its start delay ends one millisecond late,
// which keeps the empty/waiting distinction exact.
uint32_t StartTickFor(uint32_t now) {
    return now == 0 ? 1u : now;
}

bool InDelay(const MixerChannel& channel, uint32_t now, uint32_t lead = 0) {
    const uint32_t delay = START_DELAY_TICKS - std::min(lead, START_DELAY_TICKS);
    return channel.startTick != 0 && now - channel.startTick < delay;
}

void ReleaseClip(ClipNode* clip) {
    clip->~ClipNode();
    std::free(clip);
}

// Unlinks the finished head clip and releases it.
void DropHead(MixerChannel& channel) {
    ClipNode* clip = channel.head;
    channel.head = clip->next;
    channel.clipCount -= 1;
    channel.position = 0;
    channel.queuedSamples -= clip->SampleCount();
    if (channel.tail == clip) channel.tail = nullptr;
    ReleaseClip(clip);
    if (channel.head == nullptr) {
        channel.clipCount = 0;
        channel.queuedSamples = 0;
        channel.startTick = 0;
        channel.tail = nullptr;
    }
}

// Adds up to `n` samples of the channel to sums[0..n) and returns how many
// were taken. The same as calling NextSample n times at the same tick.
int32_t TakeRun(MixerChannel& channel, uint32_t now, uint32_t lead, int32_t* sums, int32_t n) {
    if (channel.head == nullptr) {
        channel.startTick = 0;
        return 0;
    }
    if (InDelay(channel, now, lead)) return 0;
    int32_t taken = 0;
    while (taken < n && channel.head != nullptr) {
        ClipNode* clip = channel.head;
        const int32_t left = clip->SampleCount() - channel.position;
        const int32_t run = std::min(left, n - taken);
        const int16_t* src = clip->Samples() + channel.position;
        int32_t* dst = sums + taken;
        for (int32_t k = 0; k < run; ++k) dst[k] += src[k];
        taken += run;
        channel.position += run;
        if (channel.position >= clip->SampleCount()) DropHead(channel);
    }
    return taken;
}

}  // namespace

Mixer::~Mixer() {
    ClearAllChannels(*this);
}

namespace {

enum class Queued { Yes, Nothing, Refused };

Queued AddClip(Mixer& mixer, int channel, int32_t userValue, const char* tag,
               const int16_t* samples, int32_t count) {
    if (channel < 0 || channel >= MIXER_CHANNEL_COUNT) return Queued::Refused;
    MixerChannel& ch = mixer.channels[static_cast<size_t>(channel)];
    if (count < 0) {
        ClearChannel(ch);
        return Queued::Nothing;
    }
    if (count == 0 || samples == nullptr) return Queued::Nothing;
    // byteCount and queuedSamples are 32-bit; a clip that cannot be counted
    // is refused like one whose memory cannot be had.
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    if (count > kMax / 2 || ch.queuedSamples > kMax - count) return Queued::Refused;
    const size_t bytes = static_cast<size_t>(count) * sizeof(int16_t);
    void* memory = mixer.allocate(sizeof(ClipNode) + bytes);
    if (memory == nullptr) return Queued::Refused;

    const uint32_t now = mixer.Now();
    auto* clip = new (memory) ClipNode{};
    clip->next = nullptr;
    clip->queuedAt = now;
    clip->userValue = userValue;
    if (tag != nullptr) {
        size_t len = 0;
        while (len < sizeof(clip->tag) - 1 && tag[len] != '\0') ++len;
        std::memcpy(clip->tag, tag, len);
        clip->tag[len] = '\0';
    }
    clip->byteCount = count * 2;
    std::memcpy(clip->Samples(), samples, bytes);

    if (ch.head == nullptr) {
        ch.head = clip;
        ch.position = 0;
        ch.clipCount = 0;
        ch.queuedSamples = 0;
        ch.startTick = StartTickFor(now);
    } else {
        ClipNode* last = ch.tail != nullptr ? ch.tail : ch.head;
        while (last->next != nullptr) last = last->next;
        last->next = clip;
    }
    ch.tail = clip;
    ch.clipCount += 1;
    ch.queuedSamples += count;
    return Queued::Yes;
}

}  // namespace

int32_t QueueClip(Mixer& mixer, int channel, int32_t userValue, const char* tag,
                  const int16_t* samples, int32_t count) {
    // A clip that is refused is dropped: the window's callers go on with
    // what the channel holds.
    AddClip(mixer, channel, userValue, tag, samples, count);
    if (channel < 0 || channel >= MIXER_CHANNEL_COUNT) return 0;
    return SamplesLeft(mixer.channels[static_cast<size_t>(channel)]);
}

bool TryQueueClip(Mixer& mixer, int channel, int32_t userValue, const char* tag,
                  const int16_t* samples, int32_t count) {
    return AddClip(mixer, channel, userValue, tag, samples, count) != Queued::Refused;
}

void EndStartDelay(MixerChannel& channel, uint32_t now) {
    if (!InDelay(channel, now)) return;
    // Started a whole delay ago; a start tick of 0 would read as empty.
    channel.startTick = now - START_DELAY_TICKS;
    if (channel.startTick == 0) channel.startTick = now - START_DELAY_TICKS - 1;
}

void ClearChannel(MixerChannel& channel) {
    ClipNode* clip = channel.head;
    while (clip != nullptr) {
        ClipNode* next = clip->next;
        ReleaseClip(clip);
        clip = next;
    }
    channel = MixerChannel{};
}

bool AnyQueued(const Mixer& mixer) {
    for (const MixerChannel& channel : mixer.channels) {
        if (channel.clipCount > 0) return true;
    }
    return false;
}

void ClearAllChannels(Mixer& mixer) {
    for (MixerChannel& channel : mixer.channels) ClearChannel(channel);
}

int16_t NextSample(MixerChannel& channel, uint32_t now, bool& got) {
    got = false;
    if (InDelay(channel, now)) return 0;
    int16_t sample = 0;
    if (channel.head != nullptr) {
        got = true;
        ClipNode* clip = channel.head;
        sample = clip->Samples()[channel.position];
        channel.position += 1;
        if (channel.position >= clip->SampleCount()) DropHead(channel);
    }
    if (channel.head == nullptr) channel.startTick = 0;
    return sample;
}

int32_t MixBlock(Mixer& mixer, int16_t* output, int32_t count, bool clearFirst, bool stopWhenIdle) {
    if (count <= 0 || output == nullptr) return 0;
    if (clearFirst) std::fill(output, output + count, int16_t{0});

    // A block is produced at one instant, so one reading of the clock is what
    // a reading per output sample would give, up to a millisecond.
    const uint32_t now = mixer.Now();

    // Channels are mixed channel by channel over chunks of the block. Within
    // one block each channel gives a sample at every index from the start
    // until it runs out (or none at all while waiting), so the first index at
    // which no channel gave anything is the longest run of any channel.
    constexpr int32_t kChunk = 1024;
    int32_t sums[kChunk];
    int32_t produced = 0;
    while (produced < count) {
        const int32_t n = std::min(kChunk, count - produced);
        std::fill(sums, sums + n, 0);
        int32_t longest = 0;
        for (size_t c = 0; c < mixer.channels.size(); ++c) {
            // Only speech starts early: the monitor and the sound effects
            // keep their whole delay, which the monitor needs as its cushion
            // against a microphone that delivers late.
            const uint32_t lead = c == SPEECH_CHANNEL ? mixer.startLeadTicks : 0;
            longest = std::max(longest, TakeRun(mixer.channels[c], now, lead, sums, n));
        }
        const int32_t keep = stopWhenIdle ? longest : n;
        for (int32_t k = 0; k < keep; ++k) {
            // The limits are +-32760, a little inside the 16-bit range.
            output[produced + k] = static_cast<int16_t>(std::clamp(sums[k], -MIX_LIMIT, MIX_LIMIT));
        }
        produced += keep;
        if (keep < n) break;
    }
    return produced;
}

}  // namespace vocalith::mixer
