#include "engine/sound_window.h"
#include "base/user_errors.h"

#include <cstdio>
#include <string>
#include <utility>

#include "engine/engine.h"

namespace vocalith::engine {

void StderrMessageSink::ShowMessage(std::string_view text, std::string_view caption) {
    std::fprintf(base::UserErrors(), "%.*s: %.*s\n", static_cast<int>(caption.size()),
                 caption.data(), static_cast<int>(text.size()), text.data());
}

namespace {

// Hands out a fixed pair of devices, each once.
class FixedDeviceBackend final : public device::AudioBackend {
  public:
    FixedDeviceBackend(std::unique_ptr<device::OutputDevice> output,
                       std::unique_ptr<device::CaptureDevice> capture)
        : output_(std::move(output)), capture_(std::move(capture)) {}
    std::unique_ptr<device::OutputDevice> OpenOutput() override { return std::move(output_); }
    std::unique_ptr<device::CaptureDevice> OpenCapture() override { return std::move(capture_); }

  private:
    std::unique_ptr<device::OutputDevice> output_;
    std::unique_ptr<device::CaptureDevice> capture_;
};

// The sink a capture device is given. A device may post completed buffers
// that run after the window is gone; the forwarder, kept by the engine,
// outlives the window and passes buffers on only while its window lives.
class CaptureForwarder final : public device::CaptureSink {
  public:
    explicit CaptureForwarder(std::shared_ptr<CSoundWnd*> window) : window_(std::move(window)) {}
    void OnBufferDone(int index, const uint8_t* data, uint32_t bytesRecorded) override {
        if (*window_ != nullptr) (*window_)->OnWimData(index, data, bytesRecorded);
    }

  private:
    std::shared_ptr<CSoundWnd*> window_;
};

}  // namespace

CSoundWnd::CSoundWnd(Engine& engine, device::AudioBackend* backend,
                     device::UiDispatcher* dispatcher, MessageSink* messages)
    : engine_(engine),
      backend_(backend),
      dispatcher_(dispatcher),
      messages_(messages != nullptr ? messages : &stderrMessages_),
      media_(engine.Clock()),
      self_(std::make_shared<CSoundWnd*>(this)) {}

CSoundWnd::CSoundWnd(Engine& engine, std::unique_ptr<device::OutputDevice> output,
                     std::unique_ptr<device::CaptureDevice> capture,
                     device::UiDispatcher* dispatcher, MessageSink* messages)
    : CSoundWnd(engine, nullptr, dispatcher, messages) {
    ownedBackend_ = std::make_unique<FixedDeviceBackend>(std::move(output), std::move(capture));
    backend_ = ownedBackend_.get();
}

CSoundWnd::~CSoundWnd() {
    ShutdownAudio();
    *self_ = nullptr;
}

bool CSoundWnd::Create() {
    if (createFails_) return false;
    created_ = true;
    InitDirectSound();
    StartSpeechPlay();
    if (!captureOnDemand_) StartCapture();
    return true;
}

base::Result CSoundWnd::FinishOutput() {
    return device != nullptr ? device->Finish() : base::Result{};
}

bool CSoundWnd::ReopenDevices() {
    ShutdownAudio();
    return ReopenDevices(backend_ != nullptr ? backend_->OpenOutput() : nullptr);
}

bool CSoundWnd::ReopenDevices(std::unique_ptr<device::OutputDevice> output) {
    ShutdownAudio();
    engine_.effects.ResetBuiltinEffectIds();
    engine_.effects.ResetDynamicNames();
    speechCreateTried = 0;
    speechCreated = 0;
    speechPlaying = 0;
    speechStartPending = 0;
    speechResync = 1;
    speechUnplayed_ = false;
    device = std::move(output);
    CreateSpeechBuffer();  // tried here, so StartSpeechPlay shows no box
    StartSpeechPlay();
    if (!captureOnDemand_) StartCapture();
    return speechCreated != 0 && OutputAlive();
}

int CSoundWnd::InitDirectSound() {
    device = backend_ != nullptr ? backend_->OpenOutput() : nullptr;
    return device != nullptr ? 1 : 0;
}

void CSoundWnd::ShutdownAudio() {
    StopCapture();
    CloseCapture();
    StopSpeechPlay();
    if (device != nullptr) {
        // Every buffer ends with its device, so none may outlive it: the
        // effect slots, the music buffer and the stream's buffer go first.
        // With speechPlaying clear the stream is not used again.
        media_.ReleaseBuffer();
        for (auto& buffer : effectBuffers) buffer.reset();
        speechBuffer.reset();
        device.reset();
    }
    if (musicOpen) {
        SendMusicCommand("close song");  // an error is of no interest here
        musicOpen = 0;
    }
}

// --- microphone capture ---

device::CaptureSink* CSoundWnd::ForwardingSink() {
    if (captureSink_ == nullptr) {
        captureSink_ = engine_.KeepCaptureSink(std::make_unique<CaptureForwarder>(self_));
    }
    return captureSink_;
}

int CSoundWnd::OpenCapture() {
    captureOpenTried = 1;
    std::unique_ptr<device::CaptureDevice> opened =
        backend_ != nullptr ? backend_->OpenCapture() : nullptr;
    if (opened == nullptr) return 0;
    if (!opened->Open(wave::SystemFormat, CAPTURE_BUFFER_COUNT, CAPTURE_BUFFER_BYTES,
                      ForwardingSink(), dispatcher_)) {
        return 0;
    }
    captureDevice = std::move(opened);
    captureOpen = 1;
    return 1;
}

void CSoundWnd::StartCapture() {
    if (!captureOpenTried) OpenCapture();
    if (captureOpen && !captureRunning && captureDevice != nullptr) {
        captureRunning = 1;
        captureDevice->Start();
    }
}

void CSoundWnd::StopCapture() {
    if (captureOpen && captureRunning) {
        captureRunning = 0;
        if (captureDevice != nullptr) captureDevice->Stop();
    }
}

void CSoundWnd::CloseCapture() {
    if (!captureOpen) return;
    if (captureDevice != nullptr) {
        captureDevice->Stop();
        captureDevice->Reset();
        captureDevice->Close();
        captureDevice.reset();
    }
    captureOpen = 0;
    captureOpenTried = 0;
    // Closed is stopped: the next StartCapture opens and starts it afresh.
    captureRunning = 0;
    uint8_t scratch[CAPTURE_DRAIN_BYTES];
    for (;;) {
        int32_t count = CAPTURE_DRAIN_BYTES;
        if (ReadCapture(scratch, count, CAPTURE_READ_UP_TO, engine_.captures) == 0) break;
    }
}

int32_t CSoundWnd::ReadCaptureExact(void* destination, int32_t byteCount, int32_t& available) {
    int32_t count = byteCount;
    const int32_t copied =
        ReadCapture(destination, count, CAPTURE_READ_ALL_OR_NOTHING, engine_.captures);
    available = count;
    return copied;
}

int CSoundWnd::OnWimData(int index, const uint8_t* data, uint32_t bytesRecorded) {
    // A device never fills more than the buffer it was given.
    if (bytesRecorded > CAPTURE_BUFFER_BYTES) bytesRecorded = CAPTURE_BUFFER_BYTES;
    if (bytesRecorded > 0 && data != nullptr) {
        AppendChunk(data, static_cast<int32_t>(bytesRecorded), engine_.captures);
    }
    // Buffers handed back after StopCapture (or during the close) stay out.
    if (captureRunning && captureDevice != nullptr) captureDevice->AddBuffer(index);
    return 0;
}

// --- music ---

int CSoundWnd::SendMusicCommand(std::string_view command) {
    std::weak_ptr<CSoundWnd*> window = self_;
    // The caller sees the music control's numeric code, as it always has.
    return media_
        .SendString(command, device.get(), dispatcher_,
                    [window](uint32_t code) {
                        if (auto cell = window.lock(); cell && *cell != nullptr) {
                            (*cell)->OnMciNotify(code);
                        }
                    })
        .code;
}

int CSoundWnd::OpenMusic(const std::filesystem::path& file, bool loop) {
    const int opened = SendMusicCommand("open " + file.string() + " alias song");
    if (opened != MEDIA_OK) return opened;
    musicOpen = 1;
    musicLoop = loop ? 1 : 0;
    return SendMusicCommand("play song from 0 notify");
}

int CSoundWnd::OnMciNotify(uint32_t code) {
    if (code != MEDIA_NOTIFY_SUCCESSFUL) return 0;
    if (musicLoop) {
        SendMusicCommand("play song from 0 notify");
    } else {
        SendMusicCommand("close song");
        musicOpen = 0;
    }
    return 0;
}

}  // namespace vocalith::engine
