#pragma once
// A sound window on fake devices and a fake clock, with the program's mixer,
// capture list, work buffer and pump reset around each test.
#include <gtest/gtest.h>

#include <memory>

#include "engine/audio_pump.h"
#include "engine/capture_list.h"
#include "engine/fakes.h"
#include "engine/sound_window.h"
#include "mixer/mixer.h"
#include "mixer/tick_clock.h"
#include "workbuf/work_buffer.h"

namespace vocalith::engine::test {

using namespace vocalith::mixer;

// Records into the program's work buffer, as the window does.
class WorkBufferRecorder final : public Recorder {
  public:
    void OnRecordedBlock(const int16_t* samples, int32_t count) override {
        workbuf::AppendRecording(samples, count);
    }
};

class PumpFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock);
        ResetPump();
        recorder = &workBufferRecorder;
        ClearAllChannels(TheMixer());
        ClearCaptureList(TheCaptureList());
        workbuf::ResetWorkBuffer();
    }
    void TearDown() override {
        window.reset();
        dispatcher.RunPending();
        ClearAllChannels(TheMixer());
        ClearCaptureList(TheCaptureList());
        ResetPump();
        recorder = nullptr;
        workbuf::ResetWorkBuffer();
        SetClock(nullptr);
    }
    // Creates the window; `clocked` makes the stream's cursors follow the clock.
    void MakeWindow(bool clocked = false) {
        if (clocked) devices.output->clock = &clock;
        window = std::make_unique<CSoundWnd>(devices.MakeOutput(), devices.MakeCapture(),
                                             &dispatcher, &messages);
        ASSERT_TRUE(window->Create());
    }
    WorkBufferRecorder workBufferRecorder;
    FakeTickClock clock{100000};
    FakeDevices devices;
    TestDispatcher dispatcher;
    RecordingMessages messages;
    std::unique_ptr<CSoundWnd> window;
};

}  // namespace vocalith::engine::test
