#include "app/recorder_audio.h"

#include <algorithm>

namespace vocalith::app {

void WorkBufferRecorderAudio::StartTake() {
    workbuf::WorkBuffer& wb = session_.workBuffer;
    wb.recording = 1;
    wb.recordedCount = 0;
    session_.engine.PreRollSamples = PRE_ROLL_SAMPLES;
}

void WorkBufferRecorderAudio::StopTake() {
    session_.workBuffer.recording = 0;
    session_.engine.PreRollSamples = 0;
}

bool WorkBufferRecorderAudio::TakeRunning() {
    return session_.workBuffer.recording != 0;
}

std::vector<int16_t> WorkBufferRecorderAudio::TakeSamples() {
    const workbuf::WorkBuffer& wb = session_.workBuffer;
    const int32_t n = std::clamp(wb.recordedCount, 0, wb.length);
    return {wb.samples.begin(), wb.samples.begin() + n};
}

void WorkBufferRecorderAudio::Play(std::span<const int16_t> samples) {
    mixer::QueueClip(session_.engine.mixer, mixer::SPEECH_CHANNEL, 1, "noOne", samples.data(),
                     static_cast<int32_t>(samples.size()));
}

uint32_t WorkBufferRecorderAudio::Now() {
    return session_.engine.Clock().Now();
}

}  // namespace vocalith::app
