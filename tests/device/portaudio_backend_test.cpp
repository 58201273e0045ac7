// The PortAudio backend on a machine that may have no sound card: a sound
// configuration of our own makes the default device a null sink, so output
// and capture really run; a configuration without devices exercises the
// no-device path. A path this machine cannot reach is reported as skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "device/backends.h"
#include "device/pa_session.h"
#include "device/queue_dispatcher.h"
#include "support/temp_folder.h"

namespace vocalith::device {
namespace {

namespace fs = std::filesystem;

class PortAudioTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<testsupport::TempFolder>("vocalith-pa");
        dir_ = folder_->Path();
        // Only a default device, nothing of the system's configuration: its
        // plug-in modules would be loaded and unloaded with allocations the
        // leak checker cannot name.
        std::ofstream(dir_ / "null.conf") << "pcm.!default { type null }\n";
        // A default device that cannot open (an empty configuration trips an
        // assertion inside PortAudio's device scan).
        std::ofstream(dir_ / "none.conf") << "pcm.!default { type hw card 99 }\n";
        const char* saved = std::getenv("ALSA_CONFIG_PATH");
        hadConfig_ = saved != nullptr;
        if (saved) savedConfig_ = saved;
    }
    static void TearDownTestSuite() {
        if (hadConfig_) {
            setenv("ALSA_CONFIG_PATH", savedConfig_.c_str(), 1);
        } else {
            unsetenv("ALSA_CONFIG_PATH");
        }
        folder_.reset();
    }
    // Must run before the backend first reaches PortAudio.
    static void UseConfig(const char* name) {
        setenv("ALSA_CONFIG_PATH", (dir_ / name).c_str(), 1);
    }

    static inline std::unique_ptr<testsupport::TempFolder> folder_;
    static inline fs::path dir_;
    static inline bool hadConfig_ = false;
    static inline std::string savedConfig_;
};

class CountingSink : public CaptureSink {
  public:
    void OnBufferDone(int index, const uint8_t*, uint32_t bytes) override {
        ++buffers;
        total += bytes;
        device->AddBuffer(index);
    }
    CaptureDevice* device = nullptr;
    int buffers = 0;
    uint32_t total = 0;
};

TEST_F(PortAudioTest, NullSinkDevicePlaysBuffersAndCaptures) {
    UseConfig("null.conf");
    auto backend = MakeBackend("portaudio", nullptr);
    ASSERT_TRUE(backend);
    auto output = backend->OpenOutput();
    if (!output) {
        EXPECT_FALSE(backend->OpenCapture());
        GTEST_SKIP() << "no output device even with a null sink: playback and capture not run";
    }
    std::cout << "[portaudio] output opened on the null sink\n";
    auto buffer = output->CreateBuffer(PcmFormat{}, 88200);
    ASSERT_TRUE(buffer);
    ASSERT_EQ(buffer->Play(true), DeviceResult::Ok);
    // The stream may start late when the machine is busy: wait for the first
    // callback rather than for a fixed time.
    uint32_t play = 0, write = 0;
    const auto started = std::chrono::steady_clock::now();
    while (play == 0 && std::chrono::steady_clock::now() - started < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        buffer->GetCurrentPosition(play, write);
    }
    EXPECT_GT(play, 0u) << "the callback never advanced the play cursor";
    EXPECT_LT(play, 88200u);
    EXPECT_NE(write, play);
    bool playing = false;
    buffer->GetStatus(playing);
    EXPECT_TRUE(playing);

    auto capture = backend->OpenCapture();
    if (!capture) GTEST_SKIP() << "no capture device on the null sink: capture not run";
    QueueDispatcher ui;
    CountingSink sink;
    sink.device = capture.get();
    ASSERT_TRUE(capture->Open(PcmFormat{}, 16, 5000, &sink, &ui));
    capture->Start();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (sink.buffers < 2 && std::chrono::steady_clock::now() < deadline) {
        ui.WaitAndRun(std::chrono::milliseconds(20));
    }
    capture->Stop();
    capture->Close();
    ui.RunPending();
    EXPECT_GE(sink.buffers, 2) << "captured buffers not delivered";
    std::cout << "[portaudio] captured " << sink.total << " bytes\n";
}

TEST_F(PortAudioTest, NoDeviceGivesNullWithoutCrashOrHang) {
    UseConfig("none.conf");
    auto backend = MakeBackend("portaudio", nullptr);
    ASSERT_TRUE(backend);
    auto start = std::chrono::steady_clock::now();
    auto output = backend->OpenOutput();
    auto capture = backend->OpenCapture();
    if (output || capture) {
        GTEST_SKIP() << "this machine has a sound card: the no-device path not reached";
    }
    std::cout << "[portaudio] no device: output and capture are null\n";
    // Generous: the device scan is slow under the sanitizers.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// A thread that closed a stream late can hold the last session as the
// process exits. Terminating PortAudio there unloads the sound libraries
// while the exit runs their handlers (a `say` crashed so), so it is left
// initialised.
TEST_F(PortAudioTest, SessionLetGoDuringExitLeavesPortAudioAlone) {
    UseConfig("null.conf");
    static std::shared_ptr<pa::Session> held;
    EXPECT_EXIT(
        {
            // Registered before the session's own exit handler: runs after it.
            std::atexit([] {
                held.reset();
                std::_Exit(Pa_GetDeviceCount() >= 0 ? 0 : 1);
            });
            held = pa::Session::Acquire();
            std::exit(held ? 2 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vocalith::device
