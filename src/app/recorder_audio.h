#pragma once
// The guided recorder's audio in the program: a take is a recording of the
// work buffer (so the pump's level gate starts it at the first speech, with
// the 400 ms heard before it so that a quiet onset such as "f" or "s" is
// kept, and passes nothing once the word is over), sounds play on the speech channel,
// and the gain is the dialog audio's.
#include "app/dialog_audio.h"
#include "app/voice_recorder.h"
#include "session/session.h"

namespace vocalith::app {

class WorkBufferRecorderAudio final : public RecorderAudio {
  public:
    WorkBufferRecorderAudio(DialogAudio& audio, session::Session& session)
        : audio_(audio), session_(session) {}
    void StartTake() override;
    void StopTake() override;
    bool TakeRunning() override;
    std::vector<int16_t> TakeSamples() override;
    void Play(std::span<const int16_t> samples) override;
    int InputGainFactor() override { return audio_.InputGainFactor(); }
    void SetInputGainFactor(int factor) override { audio_.SetInputGainFactor(factor); }
    uint32_t Now() override;
    int32_t TakeInputPeak() override { return audio_.TakeInputPeak(); }
    int32_t GateInputPeak() override { return audio_.GateInputPeak(); }

    // What a take keeps from before the gate opened: 400 ms.
    static constexpr int32_t PRE_ROLL_SAMPLES = 4410;

  private:
    DialogAudio& audio_;
    session::Session& session_;
};

}  // namespace vocalith::app
