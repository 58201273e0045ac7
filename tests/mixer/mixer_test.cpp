// The mixer on a simulated clock: start delay, queue order, clipping,
// release of clips, the tick counter's wrap-around, and that MixBlock gives
// exactly what a sample-by-sample pull through NextSample gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mixer/mixer.h"

namespace vocalith::mixer {
namespace {

std::vector<int16_t> Ramp(int16_t first, int n) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<int16_t>(first + i);
    return v;
}

int32_t Queue(Mixer& m, int channel, const std::vector<int16_t>& s) {
    return QueueClip(m, channel, 1, "noOne", s.data(), static_cast<int32_t>(s.size()));
}

TEST(MixerStartDelay, ClipWaits450TicksThenPlaysAndIsReleased) {
    FakeTickClock clock(1000);
    Mixer m(&clock);
    const std::vector<int16_t> clip = {7, -8, 9};
    EXPECT_EQ(Queue(m, SPEECH_CHANNEL, clip), 3);
    EXPECT_EQ(m.channels[SPEECH_CHANNEL].startTick, 1000u);

    int16_t out[10];
    clock.Set(1449);  // one tick short of the delay
    EXPECT_EQ(MixBlock(m, out, 10, true, true), 0);
    EXPECT_EQ(m.channels[SPEECH_CHANNEL].clipCount, 1);

    clock.Set(1450);
    EXPECT_EQ(MixBlock(m, out, 10, true, true), 3);
    EXPECT_EQ(std::vector<int16_t>(out, out + 3), clip);
    for (int i = 3; i < 10; ++i) EXPECT_EQ(out[i], 0) << "clearFirst leaves the rest silent";
    const MixerChannel& ch = m.channels[SPEECH_CHANNEL];
    EXPECT_EQ(ch.head, nullptr);
    EXPECT_EQ(ch.clipCount, 0);
    EXPECT_EQ(ch.queuedSamples, 0);
    EXPECT_EQ(ch.position, 0);
    EXPECT_EQ(ch.startTick, 0u);
}

// A live output's lead starts speech that much sooner, never before it was
// queued; no lead keeps the whole delay, and so does every other channel (the
// monitor needs its delay as a cushion against a late microphone).
TEST(MixerStartDelay, LeadOfALiveOutputShortensTheSpeechDelay) {
    struct Row {
        int channel;
        uint32_t lead;
        uint32_t firstTick;  // ticks after the queueing at which the clip plays
    };
    for (const Row& row :
         {Row{SPEECH_CHANNEL, 0, 450}, Row{SPEECH_CHANNEL, 300, 150}, Row{SPEECH_CHANNEL, 450, 0},
          Row{SPEECH_CHANNEL, 900, 0}, Row{MONITOR_CHANNEL, 300, 450}, Row{5, 300, 450}}) {
        SCOPED_TRACE(std::to_string(row.channel) + " " + std::to_string(row.lead));
        FakeTickClock clock(1000);
        Mixer m(&clock);
        m.startLeadTicks = row.lead;
        Queue(m, row.channel, {7, -8, 9});
        int16_t out[3];
        if (row.firstTick > 0) {
            clock.Set(1000 + row.firstTick - 1);
            EXPECT_EQ(MixBlock(m, out, 3, true, true), 0);
        }
        clock.Set(1000 + row.firstTick);
        EXPECT_EQ(MixBlock(m, out, 3, true, true), 3);
    }
}

TEST(MixerStartDelay, TickDifferencesSurviveWrapAround) {
    FakeTickClock clock(0xFFFFFF00u);
    Mixer m(&clock);
    Queue(m, 5, {1, 2});
    int16_t out[4];
    clock.Set(0xFFFFFF00u + 449);  // wraps past zero: still waiting
    EXPECT_EQ(MixBlock(m, out, 4, true, true), 0);
    clock.Set(0xFFFFFF00u + 450);
    EXPECT_EQ(MixBlock(m, out, 4, true, true), 2);
}

TEST(MixerStartDelay, QueuedAtTickZeroStillWaits) {
    // A start tick of 0 would mean "empty": the delay must not be skipped.
    FakeTickClock clock(0);
    Mixer m(&clock);
    Queue(m, SPEECH_CHANNEL, {5});
    EXPECT_NE(m.channels[SPEECH_CHANNEL].startTick, 0u);
    int16_t out[2];
    clock.Set(100);
    EXPECT_EQ(MixBlock(m, out, 2, true, true), 0);
    clock.Set(451);
    EXPECT_EQ(MixBlock(m, out, 2, true, true), 1);
}

TEST(MixerStartDelay, QueueingBehindAWaitingClipDoesNotRestartTheDelay) {
    FakeTickClock clock(10);
    Mixer m(&clock);
    Queue(m, SPEECH_CHANNEL, {1});
    clock.Set(300);
    Queue(m, SPEECH_CHANNEL, {2});
    clock.Set(460);
    int16_t out[4];
    ASSERT_EQ(MixBlock(m, out, 4, true, true), 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
}

TEST(MixerQueue, BackToBackClipsPlayWithoutGap) {
    FakeTickClock clock(1);
    Mixer m(&clock);
    const auto a = Ramp(100, 5), b = Ramp(200, 7);
    Queue(m, SPEECH_CHANNEL, a);
    Queue(m, SPEECH_CHANNEL, b);
    clock.Advance(450);
    int16_t out[20];
    ASSERT_EQ(MixBlock(m, out, 20, false, true), 12);
    std::vector<int16_t> want = a;
    want.insert(want.end(), b.begin(), b.end());
    EXPECT_EQ(std::vector<int16_t>(out, out + 12), want);
}

TEST(MixerQueue, ResultIsSamplesStillToPlay) {
    FakeTickClock clock(1);
    Mixer m(&clock);
    EXPECT_EQ(Queue(m, 3, Ramp(1, 5)), 5);
    clock.Advance(450);
    int16_t out[2];
    ASSERT_EQ(MixBlock(m, out, 2, true, false), 2);
    EXPECT_EQ(Queue(m, 3, Ramp(1, 4)), 7);
    // Zero count and a null pointer queue nothing and still report.
    EXPECT_EQ(QueueClip(m, 3, 1, "x", out, 0), 7);
    EXPECT_EQ(QueueClip(m, 3, 1, "x", nullptr, 4), 7);
    EXPECT_EQ(m.channels[3].clipCount, 2);
    // A negative count clears the channel.
    EXPECT_EQ(QueueClip(m, 3, 1, "x", nullptr, -1), 0);
    const MixerChannel& ch = m.channels[3];
    EXPECT_EQ(ch.head, nullptr);
    EXPECT_EQ(ch.clipCount, 0);
    EXPECT_EQ(ch.startTick, 0u);
    EXPECT_EQ(ch.queuedSamples - ch.position, 0);
}

TEST(MixerQueue, ChannelOutsideTableIsIgnored) {
    Mixer m;
    const int16_t s[1] = {1};
    for (int channel : {-1, MIXER_CHANNEL_COUNT, 1000}) {
        EXPECT_EQ(QueueClip(m, channel, 1, "x", s, 1), 0) << channel;
    }
    for (const MixerChannel& ch : m.channels) EXPECT_EQ(ch.head, nullptr);
}

// A clip that cannot be queued leaves the channel as it was; QueueClip
// still answers the samples left, and TryQueueClip says it failed.
TEST(MixerQueue, RefusedClipLeavesTheChannelAndIsReported) {
    struct Row {
        const char* fault;
        bool noMemory;
        int32_t count;
        int32_t alreadyQueued;  // queuedSamples forced before the call
    };
    const Row rows[] = {
        {"memory that cannot be had", true, 5, 0},
        {"a clip past 2^30 samples (its byte count overflows)", false, 0x40000000, 0},
        {"a channel past 2^31 samples", false, 10, 0x7FFFFFFF - 5},
    };
    const std::vector<int16_t> clip = Ramp(1, 16);
    for (const Row& r : rows) {
        FakeTickClock clock(100);
        Mixer m(&clock);
        Queue(m, SPEECH_CHANNEL, {1, 2, 3});
        MixerChannel& ch = m.channels[SPEECH_CHANNEL];
        if (r.alreadyQueued > 0) ch.queuedSamples = r.alreadyQueued;
        if (r.noMemory) m.allocate = [](size_t) -> void* { return nullptr; };
        const int32_t left = SamplesLeft(ch);
        EXPECT_FALSE(TryQueueClip(m, SPEECH_CHANNEL, 1, "noOne", clip.data(), r.count)) << r.fault;
        EXPECT_EQ(QueueClip(m, SPEECH_CHANNEL, 1, "noOne", clip.data(), r.count), left) << r.fault;
        EXPECT_EQ(ch.clipCount, 1) << r.fault;
        EXPECT_EQ(ch.head, ch.tail) << r.fault;
        m.allocate = std::malloc;
        EXPECT_TRUE(TryQueueClip(m, SPEECH_CHANNEL, 1, "noOne", clip.data(), 0)) << r.fault;
    }
}

// A waiting channel whose delay is ended plays at the next mixing; a channel
// already playing keeps its place.
TEST(MixerStartDelay, EndedDelayPlaysAtOnce) {
    FakeTickClock clock(0x1000);
    Mixer m(&clock);
    Queue(m, SPEECH_CHANNEL, {4, 5});
    EndStartDelay(m.channels[SPEECH_CHANNEL], clock.Now());
    int16_t out[4];
    EXPECT_EQ(MixBlock(m, out, 1, true, true), 1);
    Queue(m, SPEECH_CHANNEL, {6});
    EndStartDelay(m.channels[SPEECH_CHANNEL], clock.Now());
    EXPECT_EQ(MixBlock(m, out, 4, true, true), 2);
    EXPECT_EQ(std::vector<int16_t>(out, out + 2), (std::vector<int16_t>{5, 6}));
}

TEST(MixerQueue, ClipKeepsCopyValueAndCutTag) {
    FakeTickClock clock(77);
    Mixer m(&clock);
    std::vector<int16_t> s = {1, 2, 3};
    QueueClip(m, 0, -5, "abcdefghijklmnopqrstuvwxyz", s.data(), 3);
    QueueClip(m, 0, 9, nullptr, s.data(), 3);
    s[0] = 99;  // the caller's buffer is free for reuse at once
    const ClipNode* clip = m.channels[0].head;
    ASSERT_NE(clip, nullptr);
    EXPECT_STREQ(clip->tag, "abcdefghijklmno");
    EXPECT_EQ(clip->userValue, -5);
    EXPECT_EQ(clip->queuedAt, 77u);
    EXPECT_EQ(clip->byteCount, 6);
    EXPECT_EQ(clip->Samples()[0], 1);
    ASSERT_NE(clip->next, nullptr);
    EXPECT_STREQ(clip->next->tag, "");
}

TEST(MixerBlock, SumsAreClippedAt32760) {
    struct Row {
        const char* fault;
        int16_t a, b;
        int16_t want;
    };
    const Row rows[] = {
        {"positive overflow not clipped", 20000, 20000, 32760},
        {"clipped at 32767 instead of 32760", 32760, 1, 32760},
        {"value just inside the limit altered", 32759, 0, 32759},
        {"negative limit wrong", -32760, 0, -32760},
        {"negative overflow not clipped", -20000, -20000, -32760},
        {"clipped at -32768 instead of -32760", -32768, 0, -32760},
        {"channels not summed", 100, -40, 60},
    };
    for (const Row& r : rows) {
        FakeTickClock clock(1);
        Mixer m(&clock);
        Queue(m, SPEECH_CHANNEL, {r.a});
        Queue(m, MONITOR_CHANNEL, {r.b});
        clock.Advance(450);
        int16_t out[1];
        ASSERT_EQ(MixBlock(m, out, 1, true, true), 1) << r.fault;
        EXPECT_EQ(out[0], r.want) << r.fault;
    }
}

TEST(MixerBlock, CountAndIdleRules) {
    FakeTickClock clock(1);
    Mixer m(&clock);
    int16_t out[8];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(MixBlock(m, out, 0, true, false), 0);
    EXPECT_EQ(MixBlock(m, out, -3, true, false), 0);
    EXPECT_EQ(out[0], 0x5555) << "count <= 0 must write nothing";

    // Without stopWhenIdle an idle mixer fills the whole block with silence.
    EXPECT_EQ(MixBlock(m, out, 8, false, false), 8);
    for (int16_t s : out) EXPECT_EQ(s, 0);

    // stopWhenIdle without clearFirst leaves the tail untouched.
    std::memset(out, 0x55, sizeof out);
    Queue(m, 1, {4, 4});
    clock.Advance(450);
    EXPECT_EQ(MixBlock(m, out, 8, false, true), 2);
    EXPECT_EQ(out[2], 0x5555);
}

// A reference mixer: the per-sample rule, one NextSample per channel per index.
int32_t ReferenceMix(Mixer& m, uint32_t now, int16_t* out, int32_t count, bool stopWhenIdle) {
    for (int32_t i = 0; i < count; ++i) {
        int32_t sum = 0;
        bool idle = true;
        for (MixerChannel& ch : m.channels) {
            bool got = false;
            sum += NextSample(ch, now, got);
            if (got) idle = false;
        }
        if (stopWhenIdle && idle) return i;
        out[i] = static_cast<int16_t>(sum >= MIX_LIMIT    ? MIX_LIMIT
                                      : sum <= -MIX_LIMIT ? -MIX_LIMIT
                                                          : sum);
    }
    return count;
}

TEST(MixerBlock, MatchesSampleBySamplePull) {
    std::mt19937 rng(12345);
    FakeTickClock clockA(1), clockB(1);
    Mixer a(&clockA), b(&clockB);
    std::vector<int16_t> outA(3000), outB(3000);
    for (int step = 0; step < 400; ++step) {
        const int what = static_cast<int>(rng() % 4);
        if (what == 0) {
            const int channel = static_cast<int>(rng() % MIXER_CHANNEL_COUNT);
            std::vector<int16_t> clip(1 + rng() % 1500);
            for (auto& s : clip) s = static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768);
            ASSERT_EQ(Queue(a, channel, clip), Queue(b, channel, clip));
        } else if (what == 1) {
            const uint32_t ms = rng() % 300;
            clockA.Advance(ms);
            clockB.Advance(ms);
        } else {
            const int32_t n = static_cast<int32_t>(rng() % 3000);
            const bool stop = rng() % 2 == 0;
            const int32_t gotA = MixBlock(a, outA.data(), n, true, stop);
            std::fill(outB.begin(), outB.end(), int16_t{0});
            const int32_t gotB = ReferenceMix(b, clockB.Now(), outB.data(), n, stop);
            ASSERT_EQ(gotA, gotB) << "step " << step;
            ASSERT_TRUE(std::equal(outA.begin(), outA.begin() + gotA, outB.begin())) << step;
            for (int c = 0; c < MIXER_CHANNEL_COUNT; ++c) {
                ASSERT_EQ(a.channels[c].queuedSamples - a.channels[c].position,
                          b.channels[c].queuedSamples - b.channels[c].position);
                ASSERT_EQ(a.channels[c].startTick, b.channels[c].startTick);
            }
        }
    }
}

TEST(MixerClock, EachMixerReadsTheClockItIsGiven) {
    FakeTickClock fake(1234);
    Mixer m(&fake);
    Mixer other;  // a steady clock
    Queue(m, 0, {1});
    Queue(other, 0, {1});
    EXPECT_EQ(m.channels[0].startTick, 1234u);
    EXPECT_NE(other.channels[0].startTick, 1234u);
}

}  // namespace
}  // namespace vocalith::mixer
