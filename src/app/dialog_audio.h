#pragma once
// What the main dialog needs from the audio engine: the start-up and
// shut-down steps of the sound window and its devices, the periodic pump,
// the monitor switch and named sound effects. The engine adapter implements
// it for the program; tests use a fake.
#include <cstdint>
#include <string>

namespace vocalith::app {

class DialogAudio {
  public:
    virtual ~DialogAudio() = default;

    // Every built-in effect name back to not loaded, every dynamic name free.
    virtual void ResetEffectNames() = 0;
    // Creates the hidden sound window; false when it could not be made.
    virtual bool CreateSoundWindow() = 0;
    // Opens the output device, starts the speech stream, starts capture.
    virtual void StartDevices() = 0;
    // One run of the audio pump.
    virtual void Pump() = 0;
    virtual void StopCapture() = 0;
    virtual void StopSpeechPlay() = 0;
    // Closes capture, releases the output device and the effect slots.
    virtual void ShutdownAudio() = 0;
    // Destroys the sound window; its shut-down runs once more.
    virtual void DestroySoundWindow() = 0;

    virtual void SetMonitorEnabled(bool on) = 0;
    virtual bool MonitorEnabled() = 0;
    // Plays a named effect from the sfx folder; its slot, or -1.
    virtual int PlayEffectByName(const char* name, int mode) = 0;
    // A message for the status line that the engine has for the user (the
    // sound output was lost, or is back), once; empty when there is none.
    virtual std::string TakeNotice() { return {}; }
    // The loudest raw microphone sample since the last call, and the peak
    // the speech gate needs; 0 when unknown.
    virtual int32_t TakeInputPeak() { return 0; }
    virtual int32_t GateInputPeak() { return 0; }
};

}  // namespace vocalith::app
