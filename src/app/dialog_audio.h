#pragma once
// What the main dialog needs from the audio engine: the start-up and
// shut-down steps of the sound window and its devices, the periodic pump,
// the monitor switch and named sound effects. The engine adapter implements
// it for the program; tests use a fake.
#include <cstdint>
#include <string>
#include <vector>

#include "app/status_text.h"

namespace vocalith::app {

// The input gains a user can choose, quietest first.
inline constexpr int INPUT_GAIN_CHOICES[] = {1, 2, 4, 6};

// A sound device a user can choose, as the device dialog lists it.
struct AudioDeviceEntry {
    std::string name;   // what the choice is kept as
    std::string label;  // what the list shows: "pulse (ALSA)"
    bool isDefault = false;
};

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
    // Whether the pump has work now; while it has none it runs seldom.
    virtual bool PumpBusy() { return true; }
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
    virtual StatusNote TakeNotice() { return {}; }
    // The loudest raw microphone sample since the last call, and the peak
    // the speech gate needs; 0 when unknown.
    virtual int32_t TakeInputPeak() { return 0; }
    virtual int32_t GateInputPeak() { return 0; }

    // The input (microphone) or output (speaker) devices there are to choose from.
    virtual std::vector<AudioDeviceEntry> AudioDevices(bool /*input*/) { return {}; }
    // The device in use for input or output by name; empty for the default.
    virtual std::string ChosenDevice(bool /*input*/) { return {}; }
    // Uses these devices (empty names: the defaults) and opens them at once.
    virtual void ChooseDevices(const std::string& /*input*/, const std::string& /*output*/) {}

    // The microphone's gain: every captured sample is multiplied by it.
    virtual int InputGainFactor() { return DEFAULT_INPUT_GAIN; }
    virtual void SetInputGainFactor(int /*factor*/) {}
    static constexpr int DEFAULT_INPUT_GAIN = 6;
};

}  // namespace vocalith::app
