#pragma once
// PortAudio for the device layer: one session while anything uses it, the
// sound libraries' own messages kept for the debug log, device lookup by
// name, and the stream calls that must take turns or may hang.
#include <portaudio.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "device/audio_device.h"

namespace vocalith::device::pa {

// PortAudio is initialised while any session lives and terminated after the
// last one, so a later session sees the sound configuration as it is then.
// Once the process has begun to exit, it is no longer terminated.
class Session {
  public:
    // Null when PortAudio could not start.
    static std::shared_ptr<Session> Acquire();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

  private:
    Session();
    bool ok_ = false;
};

// Sends the notes of ALSA, JACK and PortAudio to the debug log
// (VOCALITH_DEBUG=1) instead of the terminal. Session does it before and
// after PortAudio starts.
void QuietLibraryNotes();

// The device called `name` that offers `direction`, the default one for an
// empty name; paNoDevice when there is none.
PaDeviceIndex FindDevice(const std::string& name, DeviceDirection direction);

// Pa_OpenStream and Pa_CloseStream, taking turns: PortAudio keeps its open
// streams in one unguarded list. paClipOff is always among the flags.
PaError OpenStream(PaStream** stream, const PaStreamParameters* in, const PaStreamParameters* out,
                   uint32_t rate, unsigned long period, PaStreamCallback* callback, void* user,
                   PaStreamFlags flags = paNoFlag);
void CloseStream(PaStream* stream);

// Stops and closes `stream` on a thread of its own and waits at most
// `deadline` for it: a frozen sound server holds the close inside the sound
// library until the server runs again. The thread keeps `keep` alive.
void CloseStreamDetached(PaStream* stream, std::shared_ptr<const void> keep,
                         std::chrono::milliseconds deadline);

// Milliseconds on the steady clock.
int64_t NowMs();

// A note for whoever reads the debug log: "vocalith: " and `what`.
void DebugNote(const std::string& what);

}  // namespace vocalith::device::pa
