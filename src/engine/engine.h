#pragma once
// The audio engine as one object: the mixer with the clock it reads, the
// capture list, the pump's settings and state, the effect table and the sound
// window. Nothing of it is shared between engines, so two engines in one
// program (the window and a speech service, or two tests) never meet.
//
// Threads: everything here runs on the thread that owns the engine (the UI
// thread in the window); device notifications arrive through its dispatcher.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "device/audio_device.h"
#include "engine/audio_pump.h"
#include "engine/capture_list.h"
#include "engine/effect_slots.h"
#include "engine/message_sink.h"
#include "engine/sound_window.h"
#include "mixer/mixer.h"
#include "mixer/tick_clock.h"

namespace vocalith::engine {

class Engine {
    // The clock comes first: the mixer is built with it.
    mixer::SteadyTickClock steadyClock_;
    mixer::TickClock* clock_;

  public:
    // `clock` null: a steady clock of the engine's own. A given clock must
    // outlive the engine.
    explicit Engine(mixer::TickClock* clock = nullptr);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The clock every part of the engine reads its ticks from.
    mixer::TickClock& Clock() const { return *clock_; }

    // --- the sound window ---
    // Makes the engine's sound window (an earlier one is destroyed first),
    // opening devices from `backend` when asked to. `messages` null means
    // StderrMessageSink. The pointers must outlive the window.
    CSoundWnd& OpenSoundWindow(device::AudioBackend* backend, device::UiDispatcher* dispatcher,
                               MessageSink* messages = nullptr);
    // The same with a fixed pair of devices (either may be null: no device).
    CSoundWnd& OpenSoundWindow(std::unique_ptr<device::OutputDevice> output,
                               std::unique_ptr<device::CaptureDevice> capture,
                               device::UiDispatcher* dispatcher, MessageSink* messages = nullptr);
    // Destroys the window, which shuts its audio down once more.
    void CloseSoundWindow();
    // The window; null before the first open and after a close.
    CSoundWnd* SoundWindow() const { return window_.get(); }
    // Keeps a sink a window gives its capture devices until the engine goes:
    // a device may post a completed buffer that runs after its window is
    // closed. Notifications must not run after the engine is gone.
    device::CaptureSink* KeepCaptureSink(std::unique_ptr<device::CaptureSink> sink);

    // --- the audio pump (audio_pump.h) ---
    // One pump call; does nothing while there is no sound window.
    void AudioPump();
    // Whether the pump has work: speech queued or playing (the stream runs
    // while the monitor is on), the microphone open, music playing.
    // Otherwise it may run seldom (a queued clip waits 450 ms before it
    // sounds, and a resting stream starts meanwhile).
    bool AudioBusy() const;
    // The loudest raw microphone sample (before the gain) since the last
    // TakeInputPeak, for showing the input level while a recording waits.
    int32_t TakeInputPeak();
    // The raw sample peak the speech gate needs (its peak condition, undone of
    // the gain): input quieter than this never counts as speech.
    int32_t GateInputPeak() const;

    // The pump's settings; only MonitorEnabled changes while the program runs.
    int32_t InputGain = 3;         // samples are multiplied by twice this (6)
    int32_t VoiceThreshold = 700;  // speech: mean above it and peak above 4 times it
    int32_t VoiceDetectMode = 3;   // speech detection only while above 2
    int32_t MonitorEnabled = 0;    // the microphone is heard through channel 37
    int32_t MonitorClipValue = 1;  // userValue of each monitor clip
    int32_t MixEnabled = 1;        // the mixing step runs
    int32_t StreamEnabled = 1;     // mixed samples go to the speech stream
    // Up to this many samples heard while the gate was closed are handed to
    // the recorder when it opens, so a take keeps a word's quiet onset (0,
    // the start: none are kept; at most PRE_ROLL_MAX_SAMPLES).
    int32_t PreRollSamples = 0;

    // Where the pump hands recorded blocks; null (the start) drops them.
    Recorder* recorder = nullptr;

    // The pump's state, zero at start.
    uint32_t lastVoiceTick = 0;  // tick of the last block that counted as speech
    uint32_t lastMixTick = 0;    // tick of the last mixing step; 0 until the first call

    // Statistics for measurement runs; only the pump writes them, nothing
    // reads them to decide anything. An underrun is a ServiceSpeech call by
    // the pump that silenced part of the ring because the device's write
    // cursor had overtaken pos.
    uint32_t speechUnderrunCalls = 0;  // pump calls of ServiceSpeech that returned non-zero
    uint32_t speechUnderrunEvents =
        0;  // of those, the ones that found the stream not yet resyncing

    // --- sound effects (effect_slots.h) ---
    // Loads the effect on first use, then plays it in `mode`; the slot, or -1
    // (also with no sound window).
    int PlayEffectById(int id, int mode);
    // RegisterEffectName, then PlayEffectById; the slot, or -1.
    int PlayEffectByName(const char* name, int mode);

    // The folder the program runs from; the sfx folder is looked for there
    // or in the data folders (EffectPath).
    std::filesystem::path programFolder;

    mixer::Mixer mixer;    // channels 36 and 37 are fed by the voice, the work buffer and the pump
    CaptureList captures;  // recorded microphone bytes waiting for the pump
    EffectTable effects;

  private:
    uint32_t ServiceSpeechCounted(CSoundWnd& window);
    // On a live output the speech channel's start delay ends between two
    // mixing steps, and the step after it could come up to a whole period
    // later: speech would be heard anywhere in a 200 ms window around its
    // time. True when the delay has ended since the last step, so the pump
    // mixes at once.
    bool SpeechStartDue(uint32_t now) const;

    int32_t inputPeak_ = 0;  // raw, since the last TakeInputPeak
    // Fixed buffers: the pump allocates nothing itself.
    std::unique_ptr<std::array<int16_t, CAPTURE_BLOCK_BYTES / 2>> captureBlock_;
    std::unique_ptr<std::array<int16_t, MIX_BUFFER_SAMPLES>> mixBuffer_;
    // The latest blocks the gate held back, oldest first; 0 <= preRollCount_
    // <= PreRollSamples.
    std::unique_ptr<std::array<int16_t, PRE_ROLL_MAX_SAMPLES>> preRoll_;
    int32_t preRollCount_ = 0;
    std::vector<std::unique_ptr<device::CaptureSink>> captureSinks_;
    // Last: the window goes before everything it uses.
    std::unique_ptr<CSoundWnd> window_;
};

}  // namespace vocalith::engine
