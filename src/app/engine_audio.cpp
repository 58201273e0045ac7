#include "app/engine_audio.h"

#include <utility>

#include <cstdio>
#include <system_error>
#include <thread>

#include "base/user_errors.h"
#include "device/device_list.h"
#include "engine/engine.h"
#include "workbuf/work_buffer.h"

namespace vocalith::app {

void EngineAudio::WorkBufferRecorder::OnRecordedBlock(const int16_t* samples, int32_t count) {
    workbuf::AppendRecording(samples, count, wb_);
}

EngineAudio::EngineAudio(session::Session& session, device::AudioBackend* backend,
                         device::UiDispatcher* dispatcher, engine::MessageSink* messages)
    : engine_(session.engine),
      recorder_(session.workBuffer),
      workBuffer_(session.workBuffer),
      backend_(backend),
      dispatcher_(dispatcher),
      messages_(messages) {}

EngineAudio::~EngineAudio() {
    DestroySoundWindow();
}

void EngineAudio::ResetEffectNames() {
    engine_.effects.ResetBuiltinEffectIds();
    engine_.effects.ResetDynamicNames();
}

bool EngineAudio::CreateSoundWindow() {
    if (engine_.SoundWindow() == nullptr) engine_.OpenSoundWindow(backend_, dispatcher_, messages_);
    engine_.recorder = &recorder_;
    return true;
}

void EngineAudio::StartDevices() {
    // Opens the output device and starts the speech stream; the microphone
    // opens while a recording or the monitor listens (ServeCapture).
    engine::CSoundWnd* window = engine_.SoundWindow();
    if (window == nullptr) return;
    window->SetCaptureOnDemand(true);
    window->Create();
}

void EngineAudio::Pump() {
    ServeCapture();
    // A clip is heard its start delay after it was queued, the output's own
    // path included (the speech stream wakes as the clip is queued).
    engine::CSoundWnd* window = engine_.SoundWindow();
    engine_.mixer.startLeadTicks =
        window != nullptr && window->IsCreated() ? window->StartLeadMs() : 0;
    engine_.AudioPump();
    WatchOutput();
}

bool EngineAudio::PumpBusy() {
    return engine_.AudioBusy();
}

void EngineAudio::ServeCapture() {
    engine::CSoundWnd* window = engine_.SoundWindow();
    if (window == nullptr || !window->IsCreated()) return;
    const uint32_t now = engine_.Clock().Now();
    if (engine_.MonitorEnabled != 0 || workBuffer_.recording != 0) {
        lastListenTick_ = now;
        // Tried once while it stays wanted: a missing microphone is not
        // looked for again on every tick.
        if (window->captureRunning == 0 && window->captureOpenTried == 0) window->StartCapture();
        return;
    }
    // Kept open a little after the last use, so a Rec right after another
    // does not wait for the device.
    if (window->captureOpenTried != 0 && now - lastListenTick_ >= CAPTURE_LINGER_MS) {
        window->CloseCapture();
        window->captureOpenTried = 0;  // the next listener tries again
    }
}

void EngineAudio::WatchOutput() {
    engine::CSoundWnd* window = engine_.SoundWindow();
    if (window == nullptr || !window->IsCreated()) return;
    const uint32_t now = engine_.Clock().Now();
    if (!outputLost_) {
        if (window->speechCreated == 0) {
            // The output did not open at start (the start-up box said so):
            // it is tried again every few seconds, as a lost one is, so a
            // sound server that starts later is found.
            outputLost_ = true;
            lastReopenTick_ = now;
            return;
        }
        const base::Result health = window->CheckOutput();
        if (health) return;
        outputLost_ = true;
        lastReopenTick_ = now;
        notice_ = SoundLost(health.reason);
        LogNotice();
        // Released at once: the stream's close does not wait for a server
        // that no longer answers.
        window->ShutdownAudio();
        return;
    }
    if (opening_) {
        std::unique_ptr<device::OutputDevice> opened;
        {
            std::lock_guard lock(opening_->m);
            if (!opening_->done) return;  // still opening; the UI goes on meanwhile
            opened = std::move(opening_->device);
        }
        opening_.reset();
        lastReopenTick_ = now;
        if (opened == nullptr) return;
        if (window->ReopenDevices(std::move(opened))) {
            outputLost_ = false;
            notice_ = {kSoundBackText};
            LogNotice();
        }
        return;
    }
    if (now - lastReopenTick_ < REOPEN_INTERVAL_MS) return;
    lastReopenTick_ = now;
    // A sound server that is frozen, or only starting, can hold an open for
    // a long time: it runs on a thread of its own and the pump picks up the
    // device once it is there.
    window->ShutdownAudio();
    auto opening = std::make_shared<OutputOpening>();
    try {
        std::thread([opening, open = backend_->OutputOpener()] {
            std::unique_ptr<device::OutputDevice> device = open();
            std::lock_guard lock(opening->m);
            opening->device = std::move(device);
            opening->done = true;
        }).detach();
        opening_ = std::move(opening);
    } catch (const std::system_error&) {
        // No thread to spare: try again later.
    }
}

int32_t EngineAudio::TakeInputPeak() {
    return engine_.TakeInputPeak();
}

int32_t EngineAudio::GateInputPeak() {
    return engine_.GateInputPeak();
}

// The pump multiplies by twice its InputGain, and by 1 when that is 0.
int EngineAudio::InputGainFactor() {
    return std::max(1, 2 * static_cast<int>(engine_.InputGain));
}

void EngineAudio::SetInputGainFactor(int factor) {
    engine_.InputGain = std::clamp(factor, 1, DEFAULT_INPUT_GAIN) / 2;
}

std::vector<AudioDeviceEntry> EngineAudio::AudioDevices(bool input) {
    const auto direction = input ? device::DeviceDirection::Input : device::DeviceDirection::Output;
    std::vector<AudioDeviceEntry> entries;
    for (const device::DeviceInfo& d : backend_->ListDevices()) {
        if (device::Offers(d, direction)) {
            entries.push_back({d.name, device::DeviceLabel(d), device::IsDefault(d, direction)});
        }
    }
    return entries;
}

std::string EngineAudio::ChosenDevice(bool input) {
    return input ? inputName_ : outputName_;
}

void EngineAudio::UseDevicesAtStart(const std::string& input, const std::string& output) {
    inputName_ = input;
    outputName_ = output;
    if (!input.empty() || !output.empty()) {
        const std::vector<device::DeviceInfo> devices = backend_->ListDevices();
        std::string gone[2];  // input, output
        for (std::string* name : {&inputName_, &outputName_}) {
            const bool isInput = name == &inputName_;
            const auto direction =
                isInput ? device::DeviceDirection::Input : device::DeviceDirection::Output;
            if (name->empty() || device::DeviceNamed(devices, direction, *name)) continue;
            gone[isInput ? 0 : 1] = *name;
            name->clear();
        }
        if (!gone[0].empty() || !gone[1].empty()) {
            notice_ = DevicesGone(gone[0], gone[1]);
            LogNotice();
        }
    }
    backend_->UseDevices(inputName_, outputName_);
}

void EngineAudio::ChooseDevices(const std::string& input, const std::string& output) {
    inputName_ = input;
    outputName_ = output;
    backend_->UseDevices(input, output);
    engine::CSoundWnd* window = engine_.SoundWindow();
    if (window == nullptr || !window->IsCreated()) return;
    const bool playing = window->ReopenDevices();
    // The microphone opens only while something listens; it is tried once
    // here so the status can say whether the chosen one works, and closes
    // again after the usual linger.
    if (!input.empty() && window->captureRunning == 0) {
        window->captureOpenTried = 0;
        window->StartCapture();
        lastListenTick_ = engine_.Clock().Now();
    }
    // A device that would not open is tried again every few seconds, as a
    // lost one is.
    outputLost_ = !playing;
    lastReopenTick_ = engine_.Clock().Now();
    if (!playing) {
        notice_ = OutputFailed(output, backend_->OutputFailure());
    } else if (!input.empty() && window->captureOpen == 0) {
        notice_ = InputFailed(input, output);
    } else {
        notice_ = NowUsing(input, output);
    }
    LogNotice();
}

void EngineAudio::LogNotice() const {
    // The debug log keeps the device's story for whoever looks into it.
    if (base::DebugLogShown())
        std::fprintf(base::UserErrors(), "vocalith: %s\n", notice_.text.c_str());
}

StatusNote EngineAudio::TakeNotice() {
    return std::exchange(notice_, {});
}

void EngineAudio::StopCapture() {
    if (engine::CSoundWnd* window = engine_.SoundWindow()) window->StopCapture();
}

void EngineAudio::StopSpeechPlay() {
    if (engine::CSoundWnd* window = engine_.SoundWindow()) window->StopSpeechPlay();
}

void EngineAudio::ShutdownAudio() {
    engine::CSoundWnd* window = engine_.SoundWindow();
    if (!window) return;
    // Completes the output (the WAV backend's file) and keeps its verdict.
    if (const base::Result finished = window->FinishOutput(); !finished) {
        outputFailure_ = finished.reason;
    }
    window->ShutdownAudio();
}

void EngineAudio::DestroySoundWindow() {
    // The window's destructor shuts the audio down once more.
    engine_.CloseSoundWindow();
    engine_.recorder = nullptr;
}

void EngineAudio::SetMonitorEnabled(bool on) {
    engine_.MonitorEnabled = on ? 1 : 0;
}

bool EngineAudio::MonitorEnabled() {
    return engine_.MonitorEnabled != 0;
}

int EngineAudio::PlayEffectByName(const char* name, int mode) {
    return engine_.PlayEffectByName(name, mode);
}

}  // namespace vocalith::app
