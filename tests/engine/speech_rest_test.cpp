// The speech stream at rest: the ring stops once everything said is heard,
// and speech queued later wakes it in time to be heard whole and on time.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/pump_fixture.h"

namespace vocalith::engine::test {
namespace {

void Say(Engine& engine, int32_t samples, int16_t value) {
    const std::vector<int16_t> clip(static_cast<size_t>(samples), value);
    QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "test", clip.data(), samples);
}

struct RestRow {
    const char* name;
    int32_t samples;     // queued at the start; 0: nothing
    uint32_t monitorMs;  // the monitor on for this long first
    uint32_t runMs;      // then off for this long
    bool ringPlays;
    bool busy;
};

class RingRests : public PumpFixture, public ::testing::WithParamInterface<RestRow> {};

TEST_P(RingRests, OnlyWhenNothingIsLeftToHear) {
    const RestRow& row = GetParam();
    MakeWindow(/*clocked=*/true);
    // The window opens the microphone only while it listens; closed, it
    // counts as stopped.
    window->CloseCapture();
    if (row.samples > 0) Say(engine, row.samples, 500);
    engine.MonitorEnabled = 1;
    PumpFor(engine, clock, row.monitorMs);
    engine.MonitorEnabled = 0;
    PumpFor(engine, clock, row.runMs);
    EXPECT_EQ(devices.Stream().playing, row.ringPlays);
    EXPECT_EQ(engine.AudioBusy(), row.busy);
}

INSTANTIATE_TEST_SUITE_P(
    SpeechRest, RingRests,
    ::testing::Values(RestRow{"NothingEverSaid", 0, 0, 1000, false, false},
                      RestRow{"WaitingOutTheStartDelay", 2000, 0, 100, true, true},
                      RestRow{"SpeechStillPlaying", 20000, 0, 1000, true, true},
                      RestRow{"EverythingHeard", 2000, 0, 2000, false, false},
                      RestRow{"MonitorOn", 0, 1000, 0, true, true},
                      // The end of the speech passed while the monitor kept
                      // the stream running.
                      RestRow{"MonitorOffAfterSpeech", 2000, 3000, 300, false, false}),
    [](const ::testing::TestParamInfo<RestRow>& p) { return std::string(p.param.name); });

struct WakeRow {
    const char* name;
    uint32_t restMs;  // after a first utterance; 0: the first utterance after the window opens
};

class SpeechAfterRest : public PumpFixture, public ::testing::WithParamInterface<WakeRow> {};

TEST_P(SpeechAfterRest, IsHeardWholeAndOnTime) {
    MakeWindow(/*clocked=*/true);
    window->CloseCapture();
    FakeBufferState& stream = devices.Stream();
    // Every sample heard, with the tick at which the play cursor reaches it.
    std::vector<int16_t> heard;
    std::vector<uint32_t> heardAt;
    stream.onHeard = [&](const uint8_t* p, size_t n) {
        for (size_t i = 0; i + 1 < n; i += 2) {
            const uint64_t at = stream.fetchedAbs + i;
            heard.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
            heardAt.push_back(stream.startTick +
                              static_cast<uint32_t>((at - stream.startAbs) * 1000 / 22050));
        }
    };
    if (GetParam().restMs > 0) {
        Say(engine, 3000, 77);
        PumpFor(engine, clock, 1500 + GetParam().restMs);
        ASSERT_FALSE(stream.playing) << "the ring should rest once the speech is heard";
        ASSERT_FALSE(engine.AudioBusy());
        heard.clear();
        heardAt.clear();
    }
    constexpr int32_t kSamples = 6000;
    const uint32_t pressed = clock.Now();
    Say(engine, kSamples, 1234);
    PumpFor(engine, clock, 2000);

    const auto first = std::find(heard.begin(), heard.end(), int16_t{1234});
    ASSERT_NE(first, heard.end()) << "nothing of the speech was heard";
    const auto start = static_cast<size_t>(first - heard.begin());
    ASSERT_GE(heard.size(), start + kSamples + 1);
    EXPECT_EQ(std::count(first, first + kSamples, int16_t{1234}), kSamples) << "a hole";
    EXPECT_EQ(heard[start + kSamples], 0) << "more than was said";
    EXPECT_EQ(std::count(heard.begin(), first, int16_t{77}), 0) << "older speech sounded again";
    // The channel's 450 ms start delay, the wait for the next mixing step
    // (at most 200 ms), the anchor (45 ms) and the device's latency (40 ms).
    const uint32_t delay = heardAt[start] - pressed;
    EXPECT_GE(delay, 450u);
    EXPECT_LE(delay, 450u + 200u + 45u + 40u + 10u);
}

INSTANTIATE_TEST_SUITE_P(SpeechRest, SpeechAfterRest,
                         ::testing::Values(WakeRow{"FirstAfterTheWindowOpens", 0},
                                           WakeRow{"RightAfterARest", 100},
                                           WakeRow{"AfterALongRest", 30000}),
                         [](const ::testing::TestParamInfo<WakeRow>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace vocalith::engine::test
