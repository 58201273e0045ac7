#include "app/engine_audio.h"

#include "audio/audio_pump.h"
#include "audio/effect_slots.h"
#include "audio/sound_window.h"

namespace vocalith::app {

EngineAudio::EngineAudio(audio::device::AudioBackend* backend,
                         audio::device::UiDispatcher* dispatcher, audio::MessageSink* messages)
    : backend_(backend), dispatcher_(dispatcher), messages_(messages) {}

EngineAudio::~EngineAudio() {
    DestroySoundWindow();
}

void EngineAudio::ResetEffectNames() {
    audio::ResetBuiltinEffectIds();
    audio::ResetDynamicNames();
}

bool EngineAudio::CreateSoundWindow() {
    if (!window_) window_ = std::make_unique<audio::CSoundWnd>(backend_, dispatcher_, messages_);
    return true;
}

void EngineAudio::StartDevices() {
    // Opens the output device, starts the speech stream and capture.
    if (window_) window_->Create();
}

void EngineAudio::Pump() {
    audio::AudioPump();
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
}

void EngineAudio::SetMonitorEnabled(bool on) {
    audio::MonitorEnabled = on ? 1 : 0;
}

bool EngineAudio::MonitorEnabled() {
    return audio::MonitorEnabled != 0;
}

int EngineAudio::PlayEffectByName(const char* name, int mode) {
    return audio::PlayEffectByName(name, mode);
}

}  // namespace vocalith::app
