#include "engine/audio_pump.h"

#include <algorithm>
#include <array>

#include "engine/engine.h"

namespace vocalith::engine {

namespace {

int64_t GainFactor(int32_t inputGain) {
    return std::max<int64_t>(1, 2 * static_cast<int64_t>(inputGain));
}

}  // namespace

int32_t MeasureLevel(int16_t* samples, int32_t byteCount, int32_t& peak, int32_t inputGain) {
    const int64_t factor = GainFactor(inputGain);
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

// ServiceSpeech with the underrun statistics kept; same call, same result.
uint32_t Engine::ServiceSpeechCounted(CSoundWnd& window) {
    const bool wasResyncing = window.speechResync != 0;
    const uint32_t silenced = window.ServiceSpeech();
    if (silenced > 0) {
        ++speechUnderrunCalls;
        if (!wasResyncing) ++speechUnderrunEvents;
    }
    return silenced;
}

bool Engine::SpeechStartDue(uint32_t now) const {
    const uint32_t lead = std::min(mixer.startLeadTicks, mixer::START_DELAY_TICKS);
    // A file or no device keeps the mix in its 200 ms steps, sample for
    // sample as it always was.
    if (lead == 0) return false;
    const mixer::MixerChannel& speech = mixer.channels[mixer::SPEECH_CHANNEL];
    if (speech.startTick == 0) return false;
    const auto delay = static_cast<int32_t>(mixer::START_DELAY_TICKS - lead);
    // Still waiting at the last step (or queued after it), and waited out
    // now. The differences are taken signed: a clip queued after the last
    // step lies ahead of it.
    const bool waitingThen = static_cast<int32_t>(lastMixTick - speech.startTick) < delay;
    const bool dueNow = static_cast<int32_t>(now - speech.startTick) >= delay;
    return waitingThen && dueNow;
}

void Engine::AudioPump() {
    CSoundWnd* window = window_.get();
    if (window == nullptr) return;
    window->PollMusic();
    // Speech queued wakes a resting stream now: the device starts while the
    // channel waits out its start delay, unheard. The monitor keeps it
    // running: what the microphone hears arrives in bursts with little lead,
    // which a freshly started device's first bursts could outrun.
    const bool streamWanted = MonitorEnabled != 0 || mixer::AnyQueued(mixer);
    if (StreamEnabled && streamWanted) window->WakeSpeech();
    int16_t* const captureBlock = captureBlock_->data();
    int16_t* const mixBuffer = mixBuffer_->data();

    for (;;) {
        int32_t available = 0;
        const int32_t n = window->ReadCaptureExact(captureBlock, CAPTURE_BLOCK_BYTES, available);
        int32_t peak = 0;
        const int32_t mean = MeasureLevel(captureBlock, n, peak, InputGain);
        inputPeak_ = std::max(inputPeak_, static_cast<int32_t>(peak / GainFactor(InputGain)));

        if (VoiceDetectMode > 2 && mean > VoiceThreshold &&
            static_cast<int64_t>(peak) > 4 * static_cast<int64_t>(VoiceThreshold)) {
            lastVoiceTick = clock_->Now();
        }
        const int32_t preRollLimit = std::clamp(PreRollSamples, 0, PRE_ROLL_MAX_SAMPLES);
        if (clock_->Now() - lastVoiceTick < VOICE_HOLD_MS) {
            if (preRollCount_ > 0 && recorder != nullptr) {
                recorder->OnRecordedBlock(preRoll_->data(), preRollCount_);
            }
            preRollCount_ = 0;
            if (MonitorEnabled && n > 0) {
                mixer::QueueClip(mixer, mixer::MONITOR_CHANNEL, MonitorClipValue, "Echo",
                                 captureBlock, n / 2);
            }
            if (recorder != nullptr) recorder->OnRecordedBlock(captureBlock, n / 2);
        } else if (preRollLimit == 0) {
            preRollCount_ = 0;
        } else if (n > 0) {
            // Kept while the gate is closed: the newest preRollLimit samples.
            const int32_t k = std::min(n / 2, preRollLimit);
            int16_t* const held = preRoll_->data();
            const int32_t keep = std::min(preRollCount_, preRollLimit - k);
            if (keep < preRollCount_) {
                std::copy(held + preRollCount_ - keep, held + preRollCount_, held);
            }
            std::copy(captureBlock + n / 2 - k, captureBlock + n / 2, held + keep);
            preRollCount_ = keep + k;
        }

        if (lastMixTick == 0) lastMixTick = clock_->Now();

        bool mixed = false;
        int32_t m = 0;
        const uint32_t now = clock_->Now();
        const uint32_t elapsed = now - lastMixTick;
        if (MixEnabled && (elapsed >= MIX_PERIOD_MS || SpeechStartDue(now))) {
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
                // The monitor is the exception: its clips arrive as they are
                // heard, and a channel drained empty would wait its 450 ms
                // start delay again on the next clip. Its backlog stays in
                // the channel, taken at twelve per millisecond.
                const mixer::MixerChannel& monitor = mixer.channels[mixer::MONITOR_CHANNEL];
                if (monitor.clipCount == 0) {
                    wanted = MIX_MAX_SAMPLES;
                } else if (MonitorEnabled != 0 && now - lastVoiceTick < VOICE_HOLD_MS) {
                    // While the microphone still feeds it, one block stays
                    // in the channel: the microphone's buffers come every
                    // 227 ms, and a channel drained empty between two of
                    // them would wait out its start delay again, a hole.
                    wanted = std::min<int64_t>(
                        wanted, std::max(0, mixer::SamplesLeft(monitor) - CAPTURE_BLOCK_BYTES / 2));
                }
                wanted = std::min<int64_t>(wanted, limit / 2);
            }
            const bool monitorQueued =
                MonitorEnabled != 0 && mixer.channels[mixer::MONITOR_CHANNEL].clipCount > 0;
            m = mixer::MixBlock(mixer, mixBuffer, static_cast<int32_t>(wanted), true, true);
            if (StreamEnabled && m > 0) {
                // After a pause the device may have passed pos since the last
                // check; written there, the block would land behind the cursor
                // and then be silenced. Deal with the underrun first so the
                // block is anchored ahead of the cursor.
                if (window->SpeechBehind()) ServiceSpeechCounted(*window);
                // The monitor starts with only what the microphone's first
                // buffer or two held; anchored afresh, it starts a mixing
                // period later, so that one buffer handed over late is not a
                // hole before the next.
                if (monitorQueued && window->speechResync != 0 && limit != UINT32_MAX) {
                    window->WriteSpeech(nullptr, MONITOR_LEAD_IN_BYTES);
                }
                window->WriteSpeech(mixBuffer, static_cast<uint32_t>(m) * 2);
            }
            if (StreamEnabled && m < wanted) {
                // The mixer ran out: nothing more to mix for now. A stream
                // still waiting for enough data to start would otherwise hold
                // a short utterance back until more speech follows.
                window->StartPendingSpeech();
            }
            ServiceSpeechCounted(*window);
            // Nothing more to say and everything heard: the stream rests.
            // Asked on every step, so the end of the speech is seen as the
            // play cursor passes it, whatever kept the stream running.
            const bool heard = window->SpeechAllPlayed();
            if (StreamEnabled && heard && MonitorEnabled == 0 && !mixer::AnyQueued(mixer)) {
                window->RestSpeech();
            }
        }
        const int32_t passCount = mixed ? m : n;
        if (passCount <= 0) break;
    }
}

bool Engine::AudioBusy() const {
    const CSoundWnd* window = window_.get();
    if (window == nullptr) return false;
    return mixer::AnyQueued(mixer) || window->SpeechRunning() || window->captureRunning != 0 ||
           window->musicOpen != 0;
}

int32_t Engine::TakeInputPeak() {
    const int32_t peak = inputPeak_;
    inputPeak_ = 0;
    return peak;
}

int32_t Engine::GateInputPeak() const {
    const int64_t factor = GainFactor(InputGain);
    return static_cast<int32_t>((4 * static_cast<int64_t>(VoiceThreshold) + factor) / factor);
}

}  // namespace vocalith::engine
