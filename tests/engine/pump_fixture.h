#pragma once
// A session of its own for each test: its engine on a fake clock, with a sound
// window on fake devices that records into the session's work buffer.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/engine.h"
#include "engine/fakes.h"
#include "mixer/tick_clock.h"
#include "session/session.h"
#include "workbuf/work_buffer.h"

namespace vocalith::engine::test {

using namespace vocalith::mixer;

// Records into a work buffer, as the window does.
class WorkBufferRecorder final : public Recorder {
  public:
    explicit WorkBufferRecorder(workbuf::WorkBuffer& wb) : wb_(wb) {}
    void OnRecordedBlock(const int16_t* samples, int32_t count) override {
        workbuf::AppendRecording(samples, count, wb_);
    }

  private:
    workbuf::WorkBuffer& wb_;
};

// Pumps every 10 ms for `ms` milliseconds, as the window's timer does.
inline void PumpFor(Engine& engine, FakeTickClock& clock, uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 10) {
        clock.Advance(10);
        engine.AudioPump();
    }
}

class PumpFixture : public ::testing::Test {
  protected:
    void SetUp() override { engine.recorder = &workBufferRecorder; }
    void TearDown() override {
        engine.CloseSoundWindow();
        dispatcher.RunPending();
    }
    // Creates the window; `clocked` makes the stream's cursors follow the clock.
    void MakeWindow(bool clocked = false) {
        if (clocked) devices.output->clock = &clock;
        window = &engine.OpenSoundWindow(devices.MakeOutput(), devices.MakeCapture(), &dispatcher,
                                         &messages);
        ASSERT_TRUE(window->Create());
    }
    // Captured bytes as a device delivers them.
    void Capture(const void* bytes, int32_t count) { AppendChunk(bytes, count, engine.captures); }
    void Capture(const std::vector<int16_t>& samples) {
        Capture(samples.data(), static_cast<int32_t>(samples.size() * 2));
    }
    int32_t CaptureWaiting() const { return CaptureAvailable(engine.captures); }

    FakeTickClock clock{100000};
    FakeDevices devices;
    TestDispatcher dispatcher;
    RecordingMessages messages;
    std::unique_ptr<session::Session> session = std::make_unique<session::Session>(&clock);
    Engine& engine = session->engine;
    workbuf::WorkBuffer& wb = session->workBuffer;
    WorkBufferRecorder workBufferRecorder{wb};
    CSoundWnd* window = nullptr;
};

}  // namespace vocalith::engine::test
