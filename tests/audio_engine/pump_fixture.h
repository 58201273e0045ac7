#pragma once
// A sound window on fake devices and a fake clock, with the program's mixer,
// capture list, work buffer and pump reset around each test.
#include <gtest/gtest.h>

#include <memory>

#include "audio/audio_pump.h"
#include "audio/capture_list.h"
#include "audio/mixer.h"
#include "audio/sound_window.h"
#include "audio/tick_clock.h"
#include "audio_engine/fakes.h"
#include "workbuf/work_buffer.h"

namespace vocalith::audio::test {

class PumpFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock);
        ResetPump();
        ClearAllChannels(TheMixer());
        ClearCaptureList(TheCaptureList());
        auto& wb = workbuf::TheWorkBuffer();
        wb.recording = 0;
        wb.recordedCount = 0;
        wb.length = 0;
    }
    void TearDown() override {
        window.reset();
        dispatcher.RunPending();
        ClearAllChannels(TheMixer());
        ClearCaptureList(TheCaptureList());
        ResetPump();
        workbuf::TheWorkBuffer().recording = 0;
        SetClock(nullptr);
    }
    // Creates the window; `clocked` makes the stream's cursors follow the clock.
    void MakeWindow(bool clocked = false) {
        if (clocked) devices.output->clock = &clock;
        window = std::make_unique<CSoundWnd>(devices.MakeOutput(), devices.MakeCapture(),
                                             &dispatcher, &messages);
        ASSERT_TRUE(window->Create());
    }
    FakeTickClock clock{100000};
    FakeDevices devices;
    TestDispatcher dispatcher;
    RecordingMessages messages;
    std::unique_ptr<CSoundWnd> window;
};

}  // namespace vocalith::audio::test
