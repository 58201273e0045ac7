#include "engine/audio_pump.h"

#include <algorithm>
#include <array>

#include "engine/capture_list.h"
#include "engine/sound_window.h"
#include "mixer/mixer.h"
#include "mixer/tick_clock.h"

namespace vocalith::engine {

int32_t InputGain = 3;
int32_t VoiceThreshold = 700;
int32_t VoiceDetectMode = 3;
int32_t MonitorEnabled = 0;
int32_t MonitorClipValue = 1;
int32_t MixEnabled = 1;
int32_t StreamEnabled = 1;

uint32_t lastVoiceTick = 0;
uint32_t lastMixTick = 0;

Recorder* recorder = nullptr;

uint32_t speechUnderrunCalls = 0;
uint32_t speechUnderrunEvents = 0;

namespace {

int32_t inputPeak = 0;  // raw, since the last TakeInputPeak

int64_t GainFactor() {
    return std::max<int64_t>(1, 2 * static_cast<int64_t>(InputGain));
}

// Fixed buffers: the pump allocates nothing itself.
std::array<int16_t, CAPTURE_BLOCK_BYTES / 2> captureBlock{};
std::array<int16_t, MIX_BUFFER_SAMPLES> mixBuffer{};

}  // namespace

int32_t MeasureLevel(int16_t* samples, int32_t byteCount, int32_t& peak) {
    int64_t factor = 2 * static_cast<int64_t>(InputGain);
    if (factor < 1) factor = 1;
    peak = 0;
    if (byteCount < 2 || samples == nullptr) return 0;
    const int32_t k = byteCount / 2;
    int64_t sum = 0;
    for (int32_t i = 0; i < k; ++i) {
        // Loud input saturates at the 16-bit limits instead of wrapping
        // around to the opposite sign.
        const int64_t product = std::clamp<int64_t>(samples[i] * factor, -32768, 32767);
        samples[i] = static_cast<int16_t>(product);
        const int32_t level = static_cast<int32_t>(product < 0 ? -product : product);
        sum += level;
        if (level > peak) peak = level;
    }
    return static_cast<int32_t>(sum / k);
}

namespace {

// ServiceSpeech with the underrun statistics kept; same call, same result.
uint32_t ServiceSpeechCounted(CSoundWnd& window) {
    const bool wasResyncing = window.speechResync != 0;
    const uint32_t silenced = window.ServiceSpeech();
    if (silenced > 0) {
        ++speechUnderrunCalls;
        if (!wasResyncing) ++speechUnderrunEvents;
    }
    return silenced;
}

}  // namespace

void AudioPump() {
    CSoundWnd* window = theSoundWnd;
    if (window == nullptr) return;
    window->PollMusic();
    mixer::Mixer& mixer = mixer::TheMixer();

    for (;;) {
        int32_t available = 0;
        const int32_t n =
            window->ReadCaptureExact(captureBlock.data(), CAPTURE_BLOCK_BYTES, available);
        int32_t peak = 0;
        const int32_t mean = MeasureLevel(captureBlock.data(), n, peak);
        inputPeak = std::max(inputPeak, static_cast<int32_t>(peak / GainFactor()));

        if (VoiceDetectMode > 2 && mean > VoiceThreshold &&
            static_cast<int64_t>(peak) > 4 * static_cast<int64_t>(VoiceThreshold)) {
            lastVoiceTick = mixer::Clock().Now();
        }
        if (mixer::Clock().Now() - lastVoiceTick < VOICE_HOLD_MS) {
            if (MonitorEnabled && n > 0) {
                mixer::QueueClip(mixer, mixer::MONITOR_CHANNEL, MonitorClipValue, "Echo",
                                 captureBlock.data(), n / 2);
            }
            if (recorder != nullptr) recorder->OnRecordedBlock(captureBlock.data(), n / 2);
        }

        if (lastMixTick == 0) lastMixTick = mixer::Clock().Now();

        bool mixed = false;
        int32_t m = 0;
        const uint32_t now = mixer::Clock().Now();
        const uint32_t elapsed = now - lastMixTick;
        if (elapsed >= MIX_PERIOD_MS && MixEnabled) {
            lastMixTick = now;
            mixed = true;
            int64_t wanted =
                std::min<int64_t>(int64_t{MIX_SAMPLES_PER_MS} * elapsed, MIX_MAX_SAMPLES);
            const uint32_t limit = window->SpeechWriteLimit();
            if (StreamEnabled && limit != UINT32_MAX) {
                // A live stream is topped up to its full lead. Twelve samples
                // per millisecond would only just outpace the device's
                // 11.025: after a start or a re-anchor the stream would hold
                // little more than one period, and a sound server taking
                // audio in bursts would pass the data before the next write
                // (a hole right after the first sound). What is not asked
                // for stays queued in the mixer for later.
                wanted = std::min<int64_t>(limit / 2, MIX_MAX_SAMPLES);
            }
            m = mixer::MixBlock(mixer, mixBuffer.data(), static_cast<int32_t>(wanted), true, true);
            if (StreamEnabled && m > 0) {
                // After a pause the device may have passed pos since the last
                // check; written there, the block would land behind the cursor
                // and then be silenced. Deal with the underrun first so the
                // block is anchored ahead of the cursor.
                if (window->SpeechBehind()) ServiceSpeechCounted(*window);
                window->WriteSpeech(mixBuffer.data(), static_cast<uint32_t>(m) * 2);
            }
            if (StreamEnabled && m < wanted) {
                // The mixer ran out: nothing more to mix for now. A stream
                // still waiting for enough data to start would otherwise hold
                // a short utterance back until more speech follows.
                window->StartPendingSpeech();
            }
            ServiceSpeechCounted(*window);
        }
        const int32_t passCount = mixed ? m : n;
        if (passCount <= 0) break;
    }
}

int32_t TakeInputPeak() {
    const int32_t peak = inputPeak;
    inputPeak = 0;
    return peak;
}

int32_t GateInputPeak() {
    const int64_t factor = GainFactor();
    return static_cast<int32_t>((4 * static_cast<int64_t>(VoiceThreshold) + factor) / factor);
}

void ResetPump() {
    InputGain = 3;
    VoiceThreshold = 700;
    VoiceDetectMode = 3;
    MonitorEnabled = 0;
    MonitorClipValue = 1;
    MixEnabled = 1;
    StreamEnabled = 1;
    lastVoiceTick = 0;
    lastMixTick = 0;
}

}  // namespace vocalith::engine
