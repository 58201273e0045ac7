// Long runs of the pump on a fake clock against a device whose cursors move
// at exactly 11025 samples/s: every mixed sample must be heard once, in
// order, and nothing may pile up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/pump_fixture.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VOCALITH_SLOW_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VOCALITH_SLOW_BUILD 1
#endif
#endif

namespace vocalith::engine {

using namespace vocalith::mixer;
namespace {

using test::PumpFixture;

void ForEachSample(const uint8_t* p, size_t n, const auto& fn) {
    for (size_t i = 0; i + 1 < n; i += 2) {
        int16_t v;
        std::memcpy(&v, p + i, 2);
        fn(v);
    }
}

int32_t Pending(const Engine& engine, int channel) {
    const MixerChannel& ch = engine.mixer.channels[channel];
    return ch.queuedSamples - ch.position;
}

TEST_F(PumpFixture, AMinuteOfSpeechArrivesWholeAndInOrderWithoutUnderrun) {
    MakeWindow(/*clocked=*/true);
    auto& stream = devices.Stream();
    std::vector<int16_t> heard;
    stream.onHeard = [&](const uint8_t* p, size_t n) {
        ForEachSample(p, n, [&](int16_t v) {
            if (v != 0) heard.push_back(v);
        });
    };
    std::vector<int16_t> expected;
    constexpr int32_t CLIP = 1000;
    for (int32_t c = 0; c < 60 * 11025 / CLIP; ++c) {
        std::vector<int16_t> clip(CLIP);
        for (int16_t& s : clip) {
            s = static_cast<int16_t>(1 + expected.size() % 30000);
            expected.push_back(s);
        }
        QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "noOne", clip.data(), CLIP);
    }

    bool started = false;
    uint32_t maxAhead = 0;
    int ticks = 0;
    for (; Pending(engine, SPEECH_CHANNEL) > 0 && ticks < 90000; ++ticks) {
        clock.Advance(10);
        engine.AudioPump();
        if (!heard.empty()) started = true;
        if (started) {
            ASSERT_EQ(engine.speechUnderrunEvents, 0u) << "underrun at tick " << ticks;
            uint32_t play = 0, write = 0;
            device::OutputBuffer* b = window->speechBuffer.get();
            b->GetCurrentPosition(play, write);
            maxAhead = std::max(maxAhead, (88200 - write + window->speechWritePos) % 88200);
        }
    }
    EXPECT_GE(ticks, 6000) << "a minute of speech cannot play faster than real time";
    EXPECT_LE(ticks, 6200) << "nor fall behind it";
    EXPECT_LE(maxAhead, SPEECH_MAX_LEAD_BYTES);
    test::PumpFor(engine, clock, 1000);  // let the device play out the ring
    stream.Fetch();
    ASSERT_EQ(heard.size(), expected.size());
    EXPECT_TRUE(heard == expected);
}

// An hour (ten minutes under sanitizers) of microphone input with speech
// gating, the monitor on, and phonetic playback every seven seconds.
// Channel 36 carries values 1..63 and the monitor only multiples of 64, so
// the mixed stream can be taken apart again.
TEST_F(PumpFixture, SoakKeepsEverySampleAndNothingPilesUp) {
#ifdef VOCALITH_SLOW_BUILD
    constexpr int TICKS = 60000;
#else
    constexpr int TICKS = 360000;
#endif
    constexpr int QUIET_TAIL = 1500;  // last ticks: no input, let everything drain
    MakeWindow(/*clocked=*/true);
    engine.MonitorEnabled = 1;
    wb.recording = 1;
    auto& stream = devices.Stream();

    int64_t speechHeard = 0;
    int64_t monitorHeard = 0;
    int64_t outOfOrder = 0;
    stream.onHeard = [&](const uint8_t* p, size_t n) {
        ForEachSample(p, n, [&](int16_t v) {
            const int s36 = ((v % 64) + 64) % 64;
            if (s36 != 0) {
                if (s36 != 1 + speechHeard % 63) ++outOfOrder;
                ++speechHeard;
            }
            if (v - s36 != 0) ++monitorHeard;
        });
    };

    int64_t speechQueued = 0;
    int64_t recorded = 0;
    int64_t micSamples = 0;
    std::vector<int16_t> micBuffer;
    int nextIndex = 0;
    int32_t maxClips36 = 0, maxClips37 = 0, maxChunks = 0;
    for (int tick = 0; tick < TICKS; ++tick) {
        clock.Advance(10);
        const bool feeding = tick < TICKS - QUIET_TAIL;
        if (feeding) {
            // The microphone: 2 s loud out of every 10, otherwise a low hum.
            const int64_t due = (int64_t{tick} + 1) * 11025 / 100;
            for (; micSamples < due; ++micSamples) {
                const bool loud = (micSamples / 11025) % 10 < 2;
                micBuffer.push_back(loud ? (micSamples % 2 ? 512 : -512) : 32);
                if (micBuffer.size() == 2500) {
                    std::vector<uint8_t> bytes(5000);
                    std::memcpy(bytes.data(), micBuffer.data(), 5000);
                    test::DeliverCapture(*devices.capture, nextIndex, std::move(bytes));
                    nextIndex = (nextIndex + 1) % 16;
                    micBuffer.clear();
                }
            }
            if (tick % 700 == 0) {  // a second of phonetic playback
                for (int c = 0; c < 11; ++c) {
                    std::vector<int16_t> clip(1000);
                    for (int16_t& s : clip) s = static_cast<int16_t>(1 + speechQueued++ % 63);
                    QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "noOne", clip.data(), 1000);
                }
            }
        }
        dispatcher.RunPending();
        engine.AudioPump();
        if (wb.recordedCount > 30000 || !feeding) {
            recorded += wb.recordedCount;
            wb.recordedCount = 0;
            wb.recording = 1;
        }
        maxClips36 = std::max(maxClips36, engine.mixer.channels[SPEECH_CHANNEL].clipCount);
        maxClips37 = std::max(maxClips37, engine.mixer.channels[MONITOR_CHANNEL].clipCount);
        maxChunks = std::max(maxChunks, CaptureChunkCount(engine.captures));
    }
    stream.Fetch();
    recorded += wb.recordedCount;

    EXPECT_EQ(Pending(engine, SPEECH_CHANNEL), 0);
    EXPECT_EQ(Pending(engine, MONITOR_CHANNEL), 0);
    EXPECT_LE(maxClips36, 22);
    EXPECT_LE(maxClips37, 64);
    EXPECT_LE(maxChunks, 3);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(speechHeard, speechQueued);
    EXPECT_GT(recorded, 0);
    EXPECT_EQ(monitorHeard, recorded) << "every monitored sample is heard once";
    EXPECT_EQ(devices.capture->added.size(), static_cast<size_t>(micSamples / 2500))
        << "every buffer goes back";
}

// The microphone's buffers arrive every 227 ms while the mixing step takes
// 200 ms at a time: the monitor must never run its channel dry in between,
// or each time it waits out its start delay again, a hole in what is heard.
TEST_F(PumpFixture, TheMonitorPlaysOnWithoutHoleWhileTheMicrophoneFeedsIt) {
    MakeWindow(/*clocked=*/true);
    engine.MonitorEnabled = 1;
    auto& stream = devices.Stream();
    stream.latencyBytes = 8820;  // a sound server holds 200 ms past the play cursor
    std::vector<int16_t> heard;
    stream.onHeard = [&](const uint8_t* p, size_t n) {
        ForEachSample(p, n, [&](int16_t v) { heard.push_back(v); });
    };
    int64_t micSamples = 0;
    int nextIndex = 0;
    // Ten seconds of speech, then quiet: the microphone goes on delivering.
    // The speech starts late in the first buffer, so the monitor starts with
    // one block in hand.
    constexpr int64_t START = 2048, SPOKEN = 10 * 11025;
    for (int tick = 0; tick < 1200; ++tick) {
        clock.Advance(10);
        // A sound server hands over the microphone's buffers a little late
        // now and then: every fifth one, the second first, 250 ms after it
        // was filled.
        for (int64_t k = micSamples / 2500;
             (k + 1) * 2500 * 100 / 11025 + (k % 5 == 1 ? 25 : 0) <= tick;
             ++k, micSamples += 2500) {
            std::vector<uint8_t> bytes(5000);
            for (size_t i = 0; i < bytes.size(); i += 2) {
                const int64_t at = micSamples + int64_t(i / 2);
                if (at >= START && at < START + SPOKEN) bytes[i + 1] = at % 2 ? 0x02 : 0xfe;
            }
            test::DeliverCapture(*devices.capture, nextIndex, std::move(bytes));
            nextIndex = (nextIndex + 1) % 16;
        }
        dispatcher.RunPending();
        engine.AudioPump();
    }
    stream.Fetch();
    const auto first = std::find_if(heard.begin(), heard.end(), [](int16_t v) { return v != 0; });
    const auto last = std::find_if(heard.rbegin(), heard.rend(), [](int16_t v) { return v != 0; });
    ASSERT_NE(first, heard.end());
    const auto silent = std::count(first, last.base(), int16_t{0});
    EXPECT_EQ(silent, 0) << "samples of silence inside what the microphone heard";
    EXPECT_EQ(last.base() - first, SPOKEN);
}

}  // namespace
}  // namespace vocalith::engine
