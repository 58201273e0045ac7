#pragma once
// The PortAudio output and capture devices, for the backend that opens them.
#include <portaudio.h>

#include <memory>
#include <string>

#include "device/audio_device.h"
#include "device/pa_session.h"

namespace vocalith::device::pa {

// The output on `device`, playing the mix of every playing buffer from
// PortAudio's callback; null when it refuses every format tried. With
// `quickStart` its stream starts only when a buffer first plays, at the next
// Check, with the mix in its first period (AudioBackend::PreferQuickStart).
std::unique_ptr<OutputDevice> OpenOutput(PaDeviceIndex device, std::shared_ptr<Session> session,
                                         bool quickStart = false);

// The capture device called `name` (empty: the default); the device itself
// is reached when the engine opens it with its buffers.
std::unique_ptr<CaptureDevice> MakeCapture(std::string name, std::shared_ptr<Session> session);

}  // namespace vocalith::device::pa
