#pragma once
// The guided recorder's audio in the program: a take is a recording of the
// work buffer (so the pump's level gate starts it at the first speech and
// passes nothing once the word is over), sounds play on the speech channel,
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

  private:
    DialogAudio& audio_;
    session::Session& session_;
};

}  // namespace vocalith::app
