// The speech output stream: ring arithmetic, start-up, underrun handling,
// the device-buffer helpers and shut-down.
#include <gtest/gtest.h>

#include <vector>

#include "engine/engine.h"
#include "engine/fakes.h"

namespace vocalith::engine {

using namespace vocalith::mixer;
namespace {

using test::FakeDevices;
using test::RecordingMessages;
using test::TestDispatcher;

class SpeechStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = &engine.OpenSoundWindow(devices.MakeOutput(), devices.MakeCapture(), &dispatcher,
                                         &messages);
        ASSERT_TRUE(window->Create());
        ASSERT_EQ(window->speechCreated, 1);
    }
    // A stream in steady play: not pending, no resync, the given cursors.
    void Steady(uint32_t pos, uint32_t play, uint32_t write) {
        window->speechStartPending = 0;
        window->speechResync = 0;
        window->speechWritePos = pos;
        devices.Stream().play = play;
        devices.Stream().write = write;
    }
    FakeDevices devices;
    TestDispatcher dispatcher;
    RecordingMessages messages;
    Engine engine;
    CSoundWnd* window = nullptr;
};

TEST_F(SpeechStreamTest, StartWaitsForAQuarterSecondAnchoredPastTheWriteCursor) {
    std::vector<uint8_t> data(4000, 7);
    auto& stream = devices.Stream();
    EXPECT_EQ(stream.Size(), 88200u);
    // The first write anchors at write cursor 0 + 1000.
    EXPECT_EQ(window->WriteSpeech(data.data(), 4000), 4000u);
    ASSERT_FALSE(stream.writes.empty());
    EXPECT_EQ(stream.writes[0].offset, 1000u);
    EXPECT_EQ(window->speechWritePos, 5000u);
    EXPECT_FALSE(stream.playing) << "5000 is not past 5512: still silent";
    EXPECT_EQ(window->WriteSpeech(data.data(), 1000), 1000u);
    EXPECT_EQ(window->speechWritePos, 6000u);
    EXPECT_TRUE(stream.playing);
    EXPECT_TRUE(stream.looping);
    EXPECT_EQ(stream.calls, (std::vector<std::string>{"Play(loop)", "SetVolume(0)"}));
    EXPECT_EQ(window->speechStartPending, 0);
    EXPECT_EQ(stream.bytes[999], 0);
    EXPECT_EQ(stream.bytes[1000], 7);
    EXPECT_EQ(stream.bytes[5999], 7);
}

TEST_F(SpeechStreamTest, WriteIsBoundedByTheRoomBeforeThePlayCursor) {
    Steady(80000, 1000, 2000);
    std::vector<uint8_t> data(40000, 1);
    EXPECT_EQ(window->WriteSpeech(data.data(), 40000), 9200u);
    EXPECT_EQ(window->speechWritePos, 1000u);
}

TEST_F(SpeechStreamTest, WriteWrapsAtTheRingEnd) {
    Steady(88000, 1000, 2000);
    std::vector<uint8_t> data(400, 9);
    EXPECT_EQ(window->WriteSpeech(data.data(), 400), 400u);
    EXPECT_EQ(window->speechWritePos, 200u);
    auto& bytes = devices.Stream().bytes;
    EXPECT_EQ(bytes[88000], 9);
    EXPECT_EQ(bytes[88199], 9);
    EXPECT_EQ(bytes[0], 9);
    EXPECT_EQ(bytes[199], 9);
}

TEST_F(SpeechStreamTest, SilenceFollowsTheDataAndPosStays) {
    // Lead 1000: 3000 bytes of silence follow, and a mixing period's 4800.
    Steady(10000, 3000, 4000);
    auto& bytes = devices.Stream().bytes;
    std::fill(bytes.begin(), bytes.end(), 5);
    std::vector<uint8_t> data(100, 9);
    window->WriteSpeech(data.data(), 100);
    EXPECT_EQ(window->speechWritePos, 10100u);
    EXPECT_EQ(bytes[10099], 9);
    EXPECT_EQ(bytes[10100], 0);
    EXPECT_EQ(bytes[17899], 0);
    EXPECT_EQ(bytes[17900], 5);
}

TEST_F(SpeechStreamTest, NullSamplesWriteSilence) {
    Steady(10000, 3000, 4000);
    auto& bytes = devices.Stream().bytes;
    std::fill(bytes.begin(), bytes.end(), 5);
    EXPECT_EQ(window->WriteSpeech(nullptr, 50), 50u);
    EXPECT_EQ(bytes[10000], 0);
    EXPECT_EQ(bytes[10049], 0);
}

TEST_F(SpeechStreamTest, ServiceSpeechFindsUnderruns) {
    struct Row {
        const char* fault;
        uint32_t pos, write;
        int32_t resync;
        uint32_t silenced, posAfter;
    };
    const Row rows[] = {
        {"first underrun must silence the whole ring", 9000, 10000, 0, 88200, 10000},
        {"later checks silence only what the cursor passed", 9000, 10000, 1, 1000, 10000},
        {"pos ahead of the cursor is healthy", 20000, 10000, 0, 0, 20000},
        {"exactly half a ring ahead is still healthy", 54100, 10000, 0, 0, 54100},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        Steady(r.pos, r.write - 500, r.write);
        window->speechResync = r.resync;
        auto& stream = devices.Stream();
        stream.writes.clear();
        EXPECT_EQ(window->ServiceSpeech(), r.silenced);
        EXPECT_EQ(window->speechWritePos, r.posAfter);
        if (r.silenced > 0) {
            EXPECT_EQ(window->speechResync, 1);
            ASSERT_EQ(stream.writes.size(), 1u);
            EXPECT_EQ(stream.writes[0].offset, r.pos);
            EXPECT_EQ(stream.writes[0].count, r.silenced);
            EXPECT_TRUE(stream.writes[0].silence);
        } else {
            EXPECT_TRUE(stream.writes.empty());
        }
    }
}

TEST_F(SpeechStreamTest, WriteAfterUnderrunReanchors) {
    Steady(9000, 9500, 10000);
    ASSERT_EQ(window->ServiceSpeech(), 88200u);
    std::vector<uint8_t> data(10, 3);
    devices.Stream().play = 12000;
    devices.Stream().write = 12500;
    window->WriteSpeech(data.data(), 10);
    EXPECT_EQ(window->speechWritePos, 13510u);
    EXPECT_EQ(window->speechResync, 0);
}

TEST_F(SpeechStreamTest, StoppedOrStoppedStreamCallsDoNothing) {
    window->StopSpeechPlay();
    EXPECT_EQ(devices.Stream().calls.back(), "Stop");
    std::vector<uint8_t> data(10, 3);
    devices.Stream().writes.clear();
    EXPECT_EQ(window->WriteSpeech(data.data(), 10), 0u);
    EXPECT_EQ(window->ServiceSpeech(), 0u);
    EXPECT_TRUE(devices.Stream().writes.empty());
    // A restart begins pending at 0 again.
    window->StartSpeechPlay();
    EXPECT_EQ(window->speechStartPending, 1);
    EXPECT_EQ(window->speechWritePos, 0u);
}

TEST(SpeechStreamStartTest, FailureIsReportedOnceWithItsCaption) {
    struct Row {
        const char* fault;
        bool haveDevice;
        bool refuse;
        int code;
        const char* reason;  // the second line of the message
    };
    const Row rows[] = {
        {"no device must still tell the user", false, false, -1, "no audio output device"},
        {"a refused buffer must tell the user", true, true, -7,
         "the audio output device refused the speech stream"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        FakeDevices devices;
        devices.output->refuse = r.refuse;
        TestDispatcher dispatcher;
        RecordingMessages messages;
        Engine engine;
        CSoundWnd& window = engine.OpenSoundWindow(r.haveDevice ? devices.MakeOutput() : nullptr,
                                                   nullptr, &dispatcher, &messages);
        window.InitDirectSound();
        window.StartSpeechPlay();
        window.StartSpeechPlay();
        EXPECT_EQ(messages.shown,
                  std::vector<std::string>{
                      std::string("StartSpeechPlay|CreateSpeechBuffer failed.\n") + r.reason});
        EXPECT_EQ(window.CheckOutput().reason, r.reason);
        EXPECT_EQ(window.speechPlaying, 0);
        // The code itself, on a fresh attempt.
        window.speechCreateTried = 0;
        EXPECT_EQ(window.CreateSpeechBuffer(), r.code);
    }
}

TEST(SpeechStreamStartTest, SecondCreateIsRefused) {
    FakeDevices devices;
    Engine engine;
    CSoundWnd& window = engine.OpenSoundWindow(devices.MakeOutput(), nullptr, nullptr, nullptr);
    window.InitDirectSound();
    EXPECT_EQ(window.CreateSpeechBuffer(), 0);
    EXPECT_EQ(window.CreateSpeechBuffer(), -1);
    EXPECT_EQ(devices.output->buffers.size(), 1u);
}

TEST(DeviceBufferTest, LostBufferIsRestoredAndWrittenOnce) {
    struct Row {
        const char* fault;
        int lost;
        int result;
        int restores;
    };
    const Row rows[] = {
        {"a lost buffer must be restored and written", 1, 1, 1},
        {"a second loss must fail, not loop", 2, 0, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        auto state = std::make_shared<test::FakeBufferState>();
        state->bytes.assign(100, 0);
        state->lostWrites = r.lost;
        test::FakeOutputBuffer buffer(state);
        const uint8_t data[4] = {1, 2, 3, 4};
        EXPECT_EQ(WriteDsBuffer(&buffer, 98, data, 4), r.result);
        EXPECT_EQ(state->restores, r.restores);
        if (r.result == 1) {
            EXPECT_EQ(state->bytes[99], 2);
            EXPECT_EQ(state->bytes[0], 3);  // wrapped
        }
    }
}

TEST(DeviceBufferTest, OversizedWriteIsRefused) {
    auto state = std::make_shared<test::FakeBufferState>();
    state->bytes.assign(100, 0);
    test::FakeOutputBuffer buffer(state);
    EXPECT_EQ(WriteDsBuffer(&buffer, 0, nullptr, 101), 0);
    EXPECT_EQ(WriteDsBuffer(nullptr, 0, nullptr, 1), 0);
    EXPECT_TRUE(state->writes.empty());
}

TEST(SoundWindowLifetimeTest, ShutdownReleasesEverythingAndRepeatsHarmlessly) {
    FakeDevices devices;
    TestDispatcher dispatcher;
    Engine engine;
    {
        CSoundWnd& window = engine.OpenSoundWindow(devices.MakeOutput(), devices.MakeCapture(),
                                                   &dispatcher, nullptr);
        EXPECT_EQ(engine.SoundWindow(), &window);
        ASSERT_TRUE(window.Create());
        window.ShutdownAudio();
        EXPECT_EQ(window.device, nullptr);
        EXPECT_TRUE(devices.Stream().destroyed);
        EXPECT_EQ(window.speechPlaying, 0);
        EXPECT_EQ(window.captureOpen, 0);
        EXPECT_TRUE(devices.capture->destroyed);
        const auto calls = devices.capture->calls;
        window.ShutdownAudio();
        EXPECT_EQ(devices.capture->calls, calls);
        // Nothing left to start on.
        window.StartSpeechPlay();
        EXPECT_EQ(window.speechPlaying, 0);
    }
    engine.CloseSoundWindow();
    EXPECT_EQ(engine.SoundWindow(), nullptr);
}

TEST(SoundWindowLifetimeTest, FailedCreationSkipsTheDevices) {
    FakeDevices devices;
    Engine engine;
    CSoundWnd& window =
        engine.OpenSoundWindow(devices.MakeOutput(), devices.MakeCapture(), nullptr, nullptr);
    window.InjectCreateFailure(true);
    EXPECT_FALSE(window.Create());
    EXPECT_EQ(window.device, nullptr);
    EXPECT_EQ(window.speechCreateTried, 0);
    EXPECT_EQ(window.captureOpenTried, 0);
}

}  // namespace
}  // namespace vocalith::engine
