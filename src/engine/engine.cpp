#include "engine/engine.h"

#include <utility>

#include "base/program_folder.h"

namespace vocalith::engine {

Engine::Engine(mixer::TickClock* clock)
    : clock_(clock != nullptr ? clock : &steadyClock_),
      programFolder(base::ExecutableFolder()),
      mixer(clock_),
      captureBlock_(std::make_unique<std::array<int16_t, CAPTURE_BLOCK_BYTES / 2>>()),
      mixBuffer_(std::make_unique<std::array<int16_t, MIX_BUFFER_SAMPLES>>()),
      preRoll_(std::make_unique<std::array<int16_t, PRE_ROLL_MAX_SAMPLES>>()) {}

Engine::~Engine() {
    CloseSoundWindow();
}

CSoundWnd& Engine::OpenSoundWindow(device::AudioBackend* backend, device::UiDispatcher* dispatcher,
                                   MessageSink* messages) {
    CloseSoundWindow();
    window_.reset(new CSoundWnd(*this, backend, dispatcher, messages));
    return *window_;
}

CSoundWnd& Engine::OpenSoundWindow(std::unique_ptr<device::OutputDevice> output,
                                   std::unique_ptr<device::CaptureDevice> capture,
                                   device::UiDispatcher* dispatcher, MessageSink* messages) {
    CloseSoundWindow();
    window_.reset(
        new CSoundWnd(*this, std::move(output), std::move(capture), dispatcher, messages));
    return *window_;
}

device::CaptureSink* Engine::KeepCaptureSink(std::unique_ptr<device::CaptureSink> sink) {
    captureSinks_.push_back(std::move(sink));
    return captureSinks_.back().get();
}

void Engine::CloseSoundWindow() {
    window_.reset();
}

}  // namespace vocalith::engine
