#include "app/engine_audio.h"

#include "engine/audio_pump.h"
#include "engine/effect_slots.h"
#include "engine/sound_window.h"
#include "workbuf/work_buffer.h"

namespace vocalith::app {

namespace {

// The window records into its work buffer.
class WorkBufferRecorder final : public engine::Recorder {
  public:
    void OnRecordedBlock(const int16_t* samples, int32_t count) override {
        workbuf::AppendRecording(samples, count);
    }
};

WorkBufferRecorder workBufferRecorder;

}  // namespace

EngineAudio::EngineAudio(device::AudioBackend* backend, device::UiDispatcher* dispatcher,
                         engine::MessageSink* messages)
    : backend_(backend), dispatcher_(dispatcher), messages_(messages) {}

EngineAudio::~EngineAudio() {
    DestroySoundWindow();
}

void EngineAudio::ResetEffectNames() {
    engine::ResetBuiltinEffectIds();
    engine::ResetDynamicNames();
}

bool EngineAudio::CreateSoundWindow() {
    if (!window_) window_ = std::make_unique<engine::CSoundWnd>(backend_, dispatcher_, messages_);
    engine::recorder = &workBufferRecorder;
    return true;
}

void EngineAudio::StartDevices() {
    // Opens the output device, starts the speech stream and capture.
    if (window_) window_->Create();
}

void EngineAudio::Pump() {
    engine::AudioPump();
}

void EngineAudio::StopCapture() {
    if (window_) window_->StopCapture();
}

void EngineAudio::StopSpeechPlay() {
    if (window_) window_->StopSpeechPlay();
}

void EngineAudio::ShutdownAudio() {
    if (window_) window_->ShutdownAudio();
}

void EngineAudio::DestroySoundWindow() {
    // The window's destructor shuts the audio down once more.
    window_.reset();
    engine::recorder = nullptr;
}

void EngineAudio::SetMonitorEnabled(bool on) {
    engine::MonitorEnabled = on ? 1 : 0;
}

bool EngineAudio::MonitorEnabled() {
    return engine::MonitorEnabled != 0;
}

int EngineAudio::PlayEffectByName(const char* name, int mode) {
    return engine::PlayEffectByName(name, mode);
}

}  // namespace vocalith::app
