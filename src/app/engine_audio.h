#pragma once
// EngineAudio: the dialog's audio operations on the real engine: the sound
// window CSoundWnd with its devices from a backend, the audio pump, the
// monitor switch and the named sound effects.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/dialog_audio.h"
#include "device/audio_device.h"
#include "engine/audio_pump.h"
#include "engine/message_sink.h"
#include "session/session.h"

namespace vocalith::app {

class EngineAudio final : public DialogAudio {
  public:
    // Runs the engine of `session`, recording into its work buffer. The
    // session and the pointers must outlive this object; `messages` null
    // writes the sound window's messages to the standard error stream.
    EngineAudio(session::Session& session, device::AudioBackend* backend,
                device::UiDispatcher* dispatcher, engine::MessageSink* messages);
    ~EngineAudio() override;

    void ResetEffectNames() override;
    bool CreateSoundWindow() override;
    void StartDevices() override;
    void Pump() override;
    bool PumpBusy() override;
    void StopCapture() override;
    void StopSpeechPlay() override;
    void ShutdownAudio() override;
    void DestroySoundWindow() override;
    void SetMonitorEnabled(bool on) override;
    bool MonitorEnabled() override;
    int PlayEffectByName(const char* name, int mode) override;
    StatusNote TakeNotice() override;
    int32_t TakeInputPeak() override;
    int32_t GateInputPeak() override;
    std::vector<AudioDeviceEntry> AudioDevices(bool input) override;
    std::string ChosenDevice(bool input) override;
    // Reopens both devices at once when the sound window is open.
    void ChooseDevices(const std::string& input, const std::string& output) override;
    int InputGainFactor() override;
    void SetInputGainFactor(int factor) override;
    // The devices to open at start, by name (empty: the default), before the
    // sound window opens: chosen on the command line or in an earlier run. A
    // device that is no longer there gives way to the default, and the
    // status line says so.
    void UseDevicesAtStart(const std::string& input, const std::string& output);
    // Why the output failed when the audio was shut down (the WAV backend's
    // file could not be completed); empty when it did not.
    const std::string& OutputFailure() const { return outputFailure_; }

    // How often a lost output device is tried again, in ticks.
    static constexpr uint32_t REOPEN_INTERVAL_MS = 3000;

    // How long the microphone stays open after nothing listens, in ticks.
    static constexpr uint32_t CAPTURE_LINGER_MS = 2000;

  private:
    // Opens the microphone while a recording or the monitor listens and
    // closes it when neither has for a while.
    void ServeCapture();
    // Notices a lost output device and tries to reopen it every few seconds.
    void WatchOutput();
    void LogNotice() const;

    // The window records into the session's work buffer.
    class WorkBufferRecorder final : public engine::Recorder {
      public:
        explicit WorkBufferRecorder(workbuf::WorkBuffer& wb) : wb_(wb) {}
        void OnRecordedBlock(const int16_t* samples, int32_t count) override;

      private:
        workbuf::WorkBuffer& wb_;
    };

    engine::Engine& engine_;
    WorkBufferRecorder recorder_;
    workbuf::WorkBuffer& workBuffer_;  // whose recording wants the microphone
    device::AudioBackend* backend_;
    device::UiDispatcher* dispatcher_;
    engine::MessageSink* messages_;
    // An output device being opened on a thread of its own; the thread
    // fills it in and sets `done`, the pump takes the device.
    struct OutputOpening {
        std::mutex m;
        bool done = false;
        std::unique_ptr<device::OutputDevice> device;
    };
    std::shared_ptr<OutputOpening> opening_;  // while a reopen runs
    bool outputLost_ = false;
    uint32_t lastReopenTick_ = 0;
    uint32_t lastListenTick_ = 0;  // the last tick a recording or the monitor listened
    StatusNote notice_;
    std::string outputFailure_;
    std::string inputName_;  // the chosen devices; empty for the defaults
    std::string outputName_;
};

}  // namespace vocalith::app
