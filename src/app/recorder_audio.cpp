#include "app/recorder_audio.h"

#include <algorithm>

#include "mixer/mixer.h"
#include "mixer/tick_clock.h"
#include "workbuf/work_buffer.h"

namespace vocalith::app {

void WorkBufferRecorderAudio::StartTake() {
    workbuf::WorkBuffer& wb = workbuf::TheWorkBuffer();
    wb.recording = 1;
    wb.recordedCount = 0;
}

void WorkBufferRecorderAudio::StopTake() {
    workbuf::TheWorkBuffer().recording = 0;
}

bool WorkBufferRecorderAudio::TakeRunning() {
    return workbuf::TheWorkBuffer().recording != 0;
}

std::vector<int16_t> WorkBufferRecorderAudio::TakeSamples() {
    const workbuf::WorkBuffer& wb = workbuf::TheWorkBuffer();
    const int32_t n = std::clamp(wb.recordedCount, 0, wb.length);
    return {wb.samples.begin(), wb.samples.begin() + n};
}

void WorkBufferRecorderAudio::Play(std::span<const int16_t> samples) {
    mixer::QueueClip(mixer::TheMixer(), mixer::SPEECH_CHANNEL, 1, "noOne", samples.data(),
                     static_cast<int32_t>(samples.size()));
}

uint32_t WorkBufferRecorderAudio::Now() {
    return mixer::Clock().Now();
}

}  // namespace vocalith::app
