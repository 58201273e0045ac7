// The engine on the real device layer: the null backend (no devices at all)
// and the WAV-file backend in real time, with a microphone file in and the
// rendered output file read back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "device/queue_dispatcher.h"
#include "engine/engine.h"
#include "engine/fakes.h"
#include "engine/pump_fixture.h"
#include "mixer/mixer.h"
#include "session/session.h"
#include "support/heard_speech.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "wave/audio_file.h"
#include "workbuf/work_buffer.h"

namespace vocalith::engine {

using namespace vocalith::mixer;
namespace {

void WriteMonoWav(const std::filesystem::path& path, const std::vector<int16_t>& samples) {
    std::ofstream(path, std::ios::binary)
        << std::string_view(reinterpret_cast<const char*>(
                                vocalith::test::Wave(vocalith::test::SampleBytes(samples)).data()),
                            44 + 2 * samples.size());
}

class EngineOnDevicesTest : public ::testing::Test {
  protected:
    void SetUp() override { engine.recorder = &workBufferRecorder; }
    std::unique_ptr<session::Session> session = std::make_unique<session::Session>();
    Engine& engine = session->engine;
    test::WorkBufferRecorder workBufferRecorder{session->workBuffer};
    testsupport::TempFolder temp{"vocalith-engine-e2e"};
    std::filesystem::path dir = temp.Path();
};

TEST_F(EngineOnDevicesTest, NullBackendRunsTheNoDevicePaths) {
    std::string error;
    auto backend = device::MakeBackend("null", &error);
    ASSERT_NE(backend, nullptr) << error;
    device::QueueDispatcher dispatcher;
    test::RecordingMessages messages;
    CSoundWnd& window = engine.OpenSoundWindow(backend.get(), &dispatcher, &messages);
    ASSERT_TRUE(window.Create());
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{
                  "StartSpeechPlay|CreateSpeechBuffer failed.\nno audio output device"});
    EXPECT_EQ(window.captureOpen, 0);
    EXPECT_EQ(engine.PlayEffectByName("arrow.wav", 1), -1);
    const int16_t clip[4] = {1, 2, 3, 4};
    QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "x", clip, 4);
    for (int i = 0; i < 3; ++i) engine.AudioPump();  // harmless without devices
    engine.CloseSoundWindow();
}

TEST_F(EngineOnDevicesTest, WavBackendRendersSpeechAndRecordsTheMicrophone) {
    const auto in = dir / "mic.wav";
    const auto out = dir / "out.wav";
    std::vector<int16_t> mic(11025);  // a second of loud input: counts as speech
    for (size_t i = 0; i < mic.size(); ++i) mic[i] = i % 2 ? -512 : 512;
    WriteMonoWav(in, mic);

    std::string error;
    auto backend = device::MakeBackend("wav:" + out.string() + "," + in.string(), &error);
    ASSERT_NE(backend, nullptr) << error;
    device::QueueDispatcher dispatcher;
    test::RecordingMessages messages;
    workbuf::WorkBuffer& wb = session->workBuffer;
    wb.recording = 1;
    // Half a second of a rising ramp: every sample tells its place.
    std::vector<int16_t> speech(5512);
    for (size_t i = 0; i < speech.size(); ++i) speech[i] = static_cast<int16_t>(1000 + i);
    {
        CSoundWnd& window = engine.OpenSoundWindow(backend.get(), &dispatcher, &messages);
        ASSERT_TRUE(window.Create());
        ASSERT_EQ(window.speechCreated, 1);
        ASSERT_EQ(window.captureOpen, 1);
        EXPECT_TRUE(messages.shown.empty());
        QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "noOne", speech.data(),
                  static_cast<int32_t>(speech.size()));
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
        while (std::chrono::steady_clock::now() < end) {
            dispatcher.WaitAndRun(std::chrono::milliseconds(10));
            engine.AudioPump();
        }
        window.StopCapture();
        window.StopSpeechPlay();
        engine.CloseSoundWindow();
        dispatcher.RunPending();
    }
    backend.reset();  // closes the output file

    wave::AudioFrames rendered;
    const base::Result read = wave::ReadAudioFile(out, rendered);
    ASSERT_TRUE(read) << read.reason;
    const std::vector<int16_t>& heard = rendered.samples;
    // The device runs on the wall clock, so a busy machine may cost pieces of
    // the speech (see heard_speech.h); what it heard must still be the speech.
    const testsupport::HeardSpeech match = testsupport::MatchHeardSpeech(heard, speech);
    EXPECT_EQ(match.stray, testsupport::HeardSpeech::npos)
        << "a sample heard out of order, twice or altered";
    EXPECT_GE(match.heard, speech.size() / 2) << "the speech did not reach the device";
    if (engine.speechUnderrunEvents == 0) {
        EXPECT_TRUE(match.inPlace) << "without an underrun a skipped period leaves silence in "
                                      "place; nothing is heard late";
    }
    EXPECT_GT(wb.recordedCount, 2500) << "the microphone file reaches the recorder";
    EXPECT_EQ(std::abs(wb.samples[0]), 3072) << "amplified six times";
}

}  // namespace
}  // namespace vocalith::engine
