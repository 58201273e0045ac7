#pragma once
// Speech output straight to a sound server that speaks the PulseAudio
// protocol (PulseAudio itself, or PipeWire's pulse service), for a command
// asked to speak at once.
//
// PortAudio reaches the same server through ALSA, but only after it has
// probed every device that ALSA's configuration defines (plug-ins that load
// codec libraries, OSS device files, a JACK server): 30 to 80 ms before
// anything can play, where a connection of our own takes a few.
#include <memory>
#include <string>

#include "device/audio_device.h"

namespace vocalith::device::pulse {

// The sound server's default output, opened but not started: its stream
// starts when a buffer first plays, at the next Check, with the mix in its
// first frames. Null when no server answers the connection (the caller then
// takes the long way), with `why` set for the debug log.
std::unique_ptr<OutputDevice> OpenDefaultOutput(std::string* why);

}  // namespace vocalith::device::pulse
