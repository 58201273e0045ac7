#pragma once
// SilentAudio: a DialogAudio with no sound window; the window then runs
// without sound, as on a machine whose sound window cannot be created. The
// Monitor switch is still remembered.
#include "app/dialog_audio.h"

namespace vocalith::app {

class SilentAudio final : public DialogAudio {
  public:
    void ResetEffectNames() override {}
    bool CreateSoundWindow() override { return false; }
    void StartDevices() override {}
    void Pump() override {}
    void StopCapture() override {}
    void StopSpeechPlay() override {}
    void ShutdownAudio() override {}
    void DestroySoundWindow() override {}
    void SetMonitorEnabled(bool on) override { monitor_ = on; }
    bool MonitorEnabled() override { return monitor_; }
    int PlayEffectByName(const char*, int) override { return -1; }

  private:
    bool monitor_ = false;
};

}  // namespace vocalith::app
