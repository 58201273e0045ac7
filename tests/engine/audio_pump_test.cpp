// The audio pump: block draining, level measurement, speech gating, the
// monitor, the mixing rhythm and the lead bound of the speech stream.
#include <gtest/gtest.h>

#include <vector>

#include "engine/pump_fixture.h"

namespace vocalith::engine {

using namespace vocalith::mixer;
namespace {

using test::PumpFixture;

// 256 input samples whose amplified (x6) block has mean `mean` (truncated)
// and peak 6 * peakInput; signs alternate.
std::vector<int16_t> LevelBlock(int32_t mean, int16_t peakInput) {
    int32_t target = mean * 256;
    target += (6 - target % 6) % 6;  // a reachable amplified sum
    const int32_t rest = target / 6 - peakInput;
    std::vector<int16_t> block(256);
    block[0] = peakInput;
    for (int i = 1; i < 256; ++i) {
        const int32_t v = rest / 255 + (i - 1 < rest % 255 ? 1 : 0);
        block[static_cast<size_t>(i)] = static_cast<int16_t>(i % 2 ? -v : v);
    }
    return block;
}

TEST(MeasureLevelTest, AmplifiesSaturatesAndMeasures) {
    struct Row {
        const char* fault;
        std::vector<int16_t> in;
        int32_t gain;
        int32_t bytes;
        int32_t mean;
        int32_t peak;
        int16_t first;
    };
    const Row rows[] = {
        {"a loud sample must saturate, not wrap to the other sign",
         {6000},
         3,
         2,
         32767,
         32767,
         32767},
        {"negative saturation counts as 32768", {-6000}, 3, 2, 32768, 32768, -32768},
        {"a gain below 1 uses the factor 1", {-32768}, 0, 2, 32768, 32768, -32768},
        {"an odd trailing byte is ignored", {100, 200}, 3, 3, 600, 600, 600},
        {"a block under two bytes measures nothing", {100}, 3, 1, 0, 0, 100},
        {"the mean truncates", {1, 0, 0}, 3, 6, 2, 6, 6},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        std::vector<int16_t> block = r.in;
        int32_t peak = -1;
        EXPECT_EQ(MeasureLevel(block.data(), r.bytes, peak, r.gain), r.mean);
        EXPECT_EQ(peak, r.peak);
        EXPECT_EQ(block[0], r.first);
    }
}

TEST_F(PumpFixture, DrainsWholeBlocksOnly) {
    MakeWindow();
    std::vector<uint8_t> bytes(1300, 0);
    Capture(bytes.data(), 1300);
    engine.AudioPump();
    EXPECT_EQ(CaptureWaiting(), 276);
}

TEST_F(PumpFixture, MixingStepThatProducesNothingEndsTheCall) {
    MakeWindow();
    engine.AudioPump();  // starts the mixing clock
    clock.Advance(200);
    std::vector<uint8_t> bytes(2048, 0);
    Capture(bytes.data(), 2048);
    engine.AudioPump();
    EXPECT_EQ(CaptureWaiting(), 1536);
    clock.Advance(10);
    engine.AudioPump();
    EXPECT_EQ(CaptureWaiting(), 0);
}

TEST_F(PumpFixture, SpeechNeedsMeanAndPeakAboveTheThresholds) {
    MakeWindow();
    struct Row {
        const char* fault;
        int32_t mean;
        int16_t peakInput;
        bool speech;
    };
    const Row rows[] = {
        {"mean 701 and peak 2802 is speech", 701, 467, true},
        {"a mean of exactly 700 is not speech", 700, 467, false},
        {"a peak of 2796 (not above 2800) is not speech", 701, 466, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        engine.lastVoiceTick = 0;
        clock.Advance(5);
        Capture(LevelBlock(r.mean, r.peakInput));
        engine.AudioPump();
        EXPECT_EQ(engine.lastVoiceTick, r.speech ? clock.Now() : 0u);
    }
}

TEST_F(PumpFixture, VoiceHoldRecordsQuietBlocksFor800Ms) {
    MakeWindow();
    wb.recording = 1;
    const std::vector<int16_t> quiet(256, 1);
    Capture(LevelBlock(701, 467));
    engine.AudioPump();
    EXPECT_EQ(wb.recordedCount, 256);
    clock.Advance(799);
    Capture(quiet);
    engine.AudioPump();
    EXPECT_EQ(wb.recordedCount, 512) << "a quiet block within 800 ms is recorded";
    clock.Advance(1);
    Capture(quiet);
    engine.AudioPump();
    EXPECT_EQ(wb.recordedCount, 512) << "a block 800 ms after speech is dropped";
}

TEST_F(PumpFixture, QuietBlocksAtStartAreDropped) {
    MakeWindow();
    wb.recording = 1;
    engine.MonitorEnabled = 1;
    Capture(std::vector<int16_t>(256, 1));
    engine.AudioPump();
    EXPECT_EQ(wb.recordedCount, 0);
    EXPECT_EQ(engine.mixer.channels[MONITOR_CHANNEL].clipCount, 0);
}

// Quiet blocks numbered 1, 2, ... (each sample its number), then speech:
// what reaches the recorder before the speech block.
TEST_F(PumpFixture, PreRollHandsOverTheNewestQuietSamplesWhenTheGateOpens) {
    MakeWindow();
    struct Row {
        const char* fault;
        int32_t preRoll;
        int quietBlocks;
        int32_t kept;       // samples before the speech block
        int16_t firstKept;  // the block number of the first one kept
    };
    const Row rows[] = {
        {"no pre-roll: quiet blocks are dropped as before", 0, 20, 0, 0},
        {"a short wait is kept whole", 4410, 3, 768, 1},
        {"a long wait keeps only the newest samples", 4410, 20, 4410, 3},
        {"a pre-roll beyond the store is held to it", 100000, 40, PRE_ROLL_MAX_SAMPLES, 9},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        engine.PreRollSamples = r.preRoll;
        engine.lastVoiceTick = 0;
        wb.recording = 1;
        wb.recordedCount = 0;
        for (int b = 1; b <= r.quietBlocks; ++b) {
            clock.Advance(23);
            Capture(std::vector<int16_t>(256, int16_t(b)));
            engine.AudioPump();
        }
        EXPECT_EQ(wb.recordedCount, 0) << "nothing passes while the gate is closed";
        Capture(LevelBlock(701, 467));
        engine.AudioPump();
        ASSERT_EQ(wb.recordedCount, r.kept + 256);
        if (r.kept > 0) {
            EXPECT_EQ(wb.samples[0], r.firstKept * 6);
            EXPECT_EQ(wb.samples[size_t(r.kept - 1)], r.quietBlocks * 6) << "in order, newest last";
        }
        clock.Advance(VOICE_HOLD_MS);
    }
}

TEST_F(PumpFixture, LoudInputIsRecordedSaturated) {
    MakeWindow();
    wb.recording = 1;
    std::vector<int16_t> block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = i % 2 ? -6000 : 6000;
    Capture(block);
    engine.AudioPump();
    ASSERT_EQ(wb.recordedCount, 256);
    EXPECT_EQ(wb.samples[0], 32767);
    EXPECT_EQ(wb.samples[1], -32768);
}

TEST_F(PumpFixture, MonitorQueuesEachBlockAsOneEchoClip) {
    MakeWindow();
    engine.MonitorEnabled = 1;
    Capture(LevelBlock(701, 467));
    Capture(std::vector<int16_t>(256, 1));
    engine.AudioPump();
    const MixerChannel& ch = engine.mixer.channels[MONITOR_CHANNEL];
    ASSERT_EQ(ch.clipCount, 2);
    EXPECT_EQ(ch.head->SampleCount(), 256);
    EXPECT_STREQ(ch.head->tag, "Echo");
    EXPECT_EQ(ch.head->userValue, 1);
    EXPECT_EQ(ch.head->Samples()[0], 2802) << "the monitor hears the amplified block";
}

// A long clip on the speech channel that is never exhausted by one step.
void QueueSpeech(Engine& engine, int32_t samples, int16_t value = 100) {
    std::vector<int16_t> clip(static_cast<size_t>(samples), value);
    QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "test", clip.data(), samples);
}

TEST_F(PumpFixture, FirstMixFillsTheLeadFromTheAnchor) {
    MakeWindow();
    QueueSpeech(engine, 30000);
    engine.AudioPump();
    clock.Advance(2000);
    engine.AudioPump();
    EXPECT_EQ(window->speechWritePos, 1000u + 10024u)
        << "half a second ahead of the write cursor, not 20000 samples";
}

TEST_F(PumpFixture, MixRhythmAndLeadBound) {
    MakeWindow();
    QueueSpeech(engine, 40000);
    engine.AudioPump();
    clock.Advance(200);
    engine.AudioPump();  // inside the 450 ms start delay: nothing mixed
    EXPECT_EQ(window->speechWritePos, 0u);
    clock.Advance(300);
    engine.AudioPump();  // the whole lead from the anchor; the stream starts
    ASSERT_EQ(window->speechWritePos, 1000u + 10024u);
    ASSERT_TRUE(devices.Stream().playing);

    // 3524 bytes ahead of the write cursor: topped up to the lead.
    devices.Stream().play = 7000;
    devices.Stream().write = 7500;
    clock.Advance(250);
    engine.AudioPump();
    ASSERT_EQ(window->speechWritePos, 11024u + 7500u);

    // At the lead: nothing is asked for, and the clip keeps its samples.
    const int32_t before = engine.mixer.channels[SPEECH_CHANNEL].queuedSamples -
                           engine.mixer.channels[SPEECH_CHANNEL].position;
    devices.Stream().write = 18524 - 11025;
    devices.Stream().play = 18524 - 11525;
    clock.Advance(250);
    engine.AudioPump();
    EXPECT_EQ(window->speechWritePos, 18524u);
    EXPECT_EQ(engine.mixer.channels[SPEECH_CHANNEL].queuedSamples -
                  engine.mixer.channels[SPEECH_CHANNEL].position,
              before);
}

TEST_F(PumpFixture, ALiveOutputMixesAsSoonAsTheSpeechDelayEnds) {
    struct Row {
        const char* fault;
        uint32_t lead;
        int channel;
        std::vector<uint32_t> steps;  // ticks of the mixing steps, from the first pump
    };
    // Queued 30 ms after the first pump; the rhythm alone steps at 200, 400, ...
    const Row rows[] = {
        {"a file keeps the rhythm", 0, SPEECH_CHANNEL, {200, 400, 600, 800}},
        {"speech mixes at 480 - 150", 150, SPEECH_CHANNEL, {200, 330, 530, 730}},
        {"a lead past the delay: next pump", 600, SPEECH_CHANNEL, {40, 240, 440, 640}},
        {"the monitor keeps its cushion", 150, MONITOR_CHANNEL, {200, 400, 600, 800}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        engine.CloseSoundWindow();
        MakeWindow();
        engine.lastMixTick = 0;
        engine.mixer.startLeadTicks = row.lead;
        const uint32_t t0 = clock.Now();
        engine.AudioPump();
        test::PumpFor(engine, clock, 30);
        std::vector<int16_t> clip(30000, 100);
        QueueClip(engine.mixer, row.channel, 1, "test", clip.data(), 30000);
        std::vector<uint32_t> steps;
        for (uint32_t last = engine.lastMixTick; clock.Now() - t0 < 800;) {
            test::PumpFor(engine, clock, 10);
            if (engine.lastMixTick != last) steps.push_back(engine.lastMixTick - t0);
            last = engine.lastMixTick;
        }
        EXPECT_EQ(steps, row.steps);
        ClearAllChannels(engine.mixer);
    }
}

TEST_F(PumpFixture, AShortUtteranceStartsTheStreamAndIsPlayedToItsEnd) {
    MakeWindow();
    QueueSpeech(engine, 1000);  // far below the quarter second the stream waits for
    engine.AudioPump();
    clock.Advance(500);
    engine.AudioPump();
    ASSERT_EQ(window->speechWritePos, 1000u + 2000u);
    EXPECT_TRUE(devices.Stream().playing) << "the mixer ran out: the stream must start";
    EXPECT_EQ(window->speechStartPending, 0);

    // Played everything once the play cursor reaches the end of the data,
    // or has passed it (the distance to the end jumps up again).
    struct Step {
        uint32_t play;
        bool allPlayed;
    };
    // 2400 after 2500: a heard position that steps back is not the end.
    const Step steps[] = {{1200, false}, {2500, false}, {2400, false}, {2900, false}, {3100, true}};
    for (const Step& step : steps) {
        devices.Stream().play = step.play;
        EXPECT_EQ(window->SpeechAllPlayed(), step.allPlayed) << "play cursor " << step.play;
    }
    EXPECT_TRUE(window->SpeechAllPlayed()) << "stays true until more speech is written";
    EXPECT_TRUE(window->OutputAlive());
    devices.Stream().playing = false;
    EXPECT_FALSE(window->OutputAlive()) << "a stream that stopped by itself is a lost device";
}

TEST_F(PumpFixture, ALostOutputIsReportedAndReopened) {
    test::FakeBackend backend(devices);
    CSoundWnd& lossy = engine.OpenSoundWindow(&backend, &dispatcher, &messages);
    ASSERT_TRUE(lossy.Create());
    EXPECT_TRUE(lossy.OutputAlive());
    devices.output->lost = "the sound server went away";
    const base::Result health = lossy.CheckOutput();
    EXPECT_FALSE(health);
    EXPECT_EQ(health.reason, "the sound server went away");

    EXPECT_FALSE(lossy.ReopenDevices()) << "still lost: no stream may count as playing";
    devices.output->lost.clear();
    EXPECT_TRUE(lossy.ReopenDevices());
    EXPECT_TRUE(lossy.OutputAlive());
    EXPECT_EQ(devices.output->opened, 3);
    EXPECT_TRUE(messages.shown.empty()) << "reopening shows no start-up box";
}

TEST_F(PumpFixture, ServiceSpeechRunsEvenWhenNothingIsMixed) {
    MakeWindow();
    window->speechStartPending = 0;
    window->speechResync = 0;
    window->speechWritePos = 9000;
    devices.Stream().play = 9500;
    devices.Stream().write = 10000;
    engine.AudioPump();
    clock.Advance(200);
    engine.AudioPump();
    EXPECT_EQ(window->speechResync, 1);
    EXPECT_EQ(window->speechWritePos, 10000u);
}

TEST_F(PumpFixture, NoWindowNoWork) {
    std::vector<uint8_t> bytes(1024, 0);
    Capture(bytes.data(), 1024);
    engine.AudioPump();
    EXPECT_EQ(CaptureWaiting(), 1024);
    EXPECT_EQ(engine.lastMixTick, 0u);
}

// Two engines side by side, each with its own clock, devices and window: what
// one hears, mixes, loads or switches on never reaches the other.
TEST(TwoEngines, InOneProgramWorkIndependently) {
    struct Side {
        FakeTickClock clock{100000};
        test::FakeDevices devices;
        test::TestDispatcher dispatcher;
        Engine engine{&clock};
    };
    Side a;
    Side b;
    for (Side* side : {&a, &b}) {
        side->devices.output->clock = &side->clock;
        CSoundWnd& window = side->engine.OpenSoundWindow(
            side->devices.MakeOutput(), side->devices.MakeCapture(), &side->dispatcher, nullptr);
        ASSERT_TRUE(window.Create());
    }
    a.engine.MonitorEnabled = 1;
    const std::vector<int16_t> loud = LevelBlock(701, 467);
    AppendChunk(loud.data(), 512, a.engine.captures);
    const std::vector<int16_t> speech(3000, 100);
    QueueClip(b.engine.mixer, SPEECH_CHANNEL, 1, "b", speech.data(), 3000);
    a.engine.effects.dynamic[0].slot = 5;
    a.engine.AudioPump();
    b.engine.AudioPump();
    b.clock.Advance(500);  // only b's time moves: its speech is due, a's mixing is not
    a.engine.AudioPump();
    b.engine.AudioPump();
    a.engine.CloseSoundWindow();
    a.engine.AudioPump();
    b.engine.AudioPump();

    struct Row {
        const char* fault;
        int64_t a, b, wantA, wantB;
    };
    const Row rows[] = {
        {"speech heard by a only", a.engine.lastVoiceTick, b.engine.lastVoiceTick, 100000, 0},
        {"monitor clip on a only", a.engine.mixer.channels[MONITOR_CHANNEL].clipCount,
         b.engine.mixer.channels[MONITOR_CHANNEL].clipCount, 1, 0},
        {"b's speech mixed into b's stream only",
         static_cast<int64_t>(a.devices.Stream().writes.size()),
         b.engine.mixer.channels[SPEECH_CHANNEL].clipCount, 0, 0},
        {"each reads its own clock", a.engine.lastMixTick, b.engine.lastMixTick, 100000, 100500},
        {"an effect slot of a stays a's", a.engine.effects.dynamic[0].slot,
         b.engine.effects.dynamic[0].slot, 5, -1},
        {"closing a's window leaves b's", a.engine.SoundWindow() != nullptr,
         b.engine.SoundWindow() != nullptr, 0, 1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.a, r.wantA) << r.fault;
        EXPECT_EQ(r.b, r.wantB) << r.fault;
    }
    EXPECT_TRUE(b.devices.Stream().playing) << "b's stream started with b's speech";
}

}  // namespace
}  // namespace vocalith::engine
