#pragma once
// The sound window CSoundWnd: the non-visual object that owns the audio
// devices and receives their notifications on the UI thread. It holds the
// output device, the 256 effect slots, the speech output stream (a four-second
// looping ring the audio pump writes into), the microphone capture device and
// the music hooks.
//
// Glossary: "pos" is speechWritePos, the ring offset of the next byte the
// writer puts into the stream; the device's "play" cursor is where it is
// sounding and its "write" cursor the first byte it has not yet fetched.
// All ring arithmetic is unsigned 32-bit.
//
// Names kept from the engine's first home, because the rest of the system
// (the dialog, the pump, the effect slots, the tests) and its messages use
// them: "CSoundWnd" is this object, once a hidden window that received the
// device notifications; "Ds" (InitDirectSound, CreateDsBuffer, WriteDsBuffer)
// marks operations on output buffers of the device layer; "Wim"
// (OnWimData) is a completed microphone capture buffer; "Mci" (OnMciNotify)
// is the end-of-play notification of the music stand-in. The failure text
// "CreateSpeechBuffer failed." is shown to users and keeps its wording.
//
// Threads: everything here runs on the UI thread. Completed capture buffers
// and the music notification arrive through the UiDispatcher.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"
#include "device/audio_device.h"
#include "engine/media_control.h"
#include "engine/message_sink.h"
#include "wave/riff_reader.h"

namespace vocalith::engine {

inline constexpr int EFFECT_SLOT_COUNT = 256;
inline constexpr uint32_t SPEECH_STREAM_BYTES = 4 * 22050;  // four seconds: 88200
inline constexpr uint32_t SPEECH_ANCHOR_BYTES = 1000;       // a fresh anchor past the write cursor
// The lead the writer keeps ahead of the device's write cursor: half a
// second covers the 200 ms mixing period plus 300 ms of UI stalls or of a
// sound server taking audio in bursts, and stays far below the 44100 bytes
// at which the ring counts as overrun (see SpeechWriteLimit).
inline constexpr uint32_t SPEECH_MAX_LEAD_BYTES = 11025;
// How far past the end of the speech its heard position must be before the
// stream rests: 150 ms.
inline constexpr uint32_t SPEECH_REST_MARGIN_BYTES = 3308;
inline constexpr int CAPTURE_BUFFER_COUNT = 16;
inline constexpr uint32_t CAPTURE_BUFFER_BYTES = 5000;
inline constexpr int32_t CAPTURE_DRAIN_BYTES = 4000;

// Volumes in hundredths of a decibel (0 = full level).
inline constexpr int32_t StreamVolume = 0;
inline constexpr int32_t EffectVolume = 0;

// Creates a device buffer of `byteCount` bytes in `format`; 1 on success, 0
// (and `buffer` null) when there is no device or it refuses.
int CreateDsBuffer(device::OutputDevice* outputDevice,
                   std::unique_ptr<device::OutputBuffer>& buffer, const wave::PcmFormat& format,
                   uint32_t byteCount);

// Writes `byteCount` bytes of `source` (zeros when null) at `offset`, wrapping
// at the buffer's end. A lost buffer is restored and written once more.
// 1 on success, 0 on failure.
int WriteDsBuffer(device::OutputBuffer* buffer, uint32_t offset, const void* source,
                  uint32_t byteCount);

class Engine;

// An engine's sound window, made and owned by Engine::OpenSoundWindow. It
// fills the engine's capture list, reads its clock and, when the devices are
// reopened, forgets the effect slots of its effect table.
class CSoundWnd {
    friend class Engine;
    // Opens devices from `backend` when asked to (InitDirectSound, OpenCapture).
    // `messages` null means StderrMessageSink. The pointers must outlive the window.
    CSoundWnd(Engine& engine, device::AudioBackend* backend, device::UiDispatcher* dispatcher,
              MessageSink* messages);
    // The same with a fixed pair of devices (either may be null: no device).
    CSoundWnd(Engine& engine, std::unique_ptr<device::OutputDevice> output,
              std::unique_ptr<device::CaptureDevice> capture, device::UiDispatcher* dispatcher,
              MessageSink* messages);

  public:
    CSoundWnd(const CSoundWnd&) = delete;
    CSoundWnd& operator=(const CSoundWnd&) = delete;
    // Runs ShutdownAudio once more.
    ~CSoundWnd();

    // Window creation, then InitDirectSound, StartSpeechPlay and StartCapture.
    // False (and none of the three) only when creation fails by injection.
    bool Create();
    void InjectCreateFailure(bool fail) { createFails_ = fail; }
    bool IsCreated() const { return created_; }

    // --- output device and speech stream ---
    // Opens the output device; 1, or 0 with `device` null.
    int InitDirectSound();
    // 0 on success, -1 with no device or a buffer already there, -7 when refused.
    int CreateSpeechBuffer();
    void StartSpeechPlay();
    void StopSpeechPlay();
    // Writes up to byteCount bytes (silence when samples is null) into the
    // ring; returns the bytes taken.
    uint32_t WriteSpeech(const void* samples, uint32_t byteCount);
    // Finds an underrun and silences the ring; returns the bytes silenced.
    uint32_t ServiceSpeech();
    // The most bytes a write may add so that pos stays at most
    // SPEECH_MAX_LEAD_BYTES ahead of the device's write cursor (from the
    // anchor while re-anchoring); UINT32_MAX when the stream is not live.
    uint32_t SpeechWriteLimit();
    // True when the stream plays and the device's write cursor has overtaken
    // pos (an underrun that ServiceSpeech has not yet dealt with).
    bool SpeechBehind();
    // A stream still waiting for a quarter second of data starts with what
    // it has (the pump calls this when a mixing step finds nothing more to
    // mix, so a short utterance is heard without waiting for more speech).
    void StartPendingSpeech();
    // While nothing is to be said the stream rests: RestSpeech stops the
    // ring once the device has played every byte of speech written to it,
    // leaving it silent and waiting to start as at creation, and
    // WakeSpeech starts it again (playing silence) when speech is queued,
    // in the 450 ms before the speech begins. A stopped ring lets the device
    // rest. Both do nothing when the stream is not in the state they change.
    void RestSpeech();
    void WakeSpeech();
    // The ring plays (or waits for the speech that woke it).
    bool SpeechRunning() const;
    // How much sooner than their start delay the mixer's channels start, so
    // that speech is heard, not merely written, that delay after it was
    // queued: the device's own lead (its buffer and the mix ahead of the
    // write cursor), the anchor past the cursor, and START_STEP_LATE_MS.
    // 0 with no device or one that is not heard as it plays.
    uint32_t StartLeadMs();
    // True once the device has played every byte of speech written so far
    // (also with nothing written, or no stream). Asked repeatedly while the
    // device plays, at least a few times a second.
    bool SpeechAllPlayed();
    // Whether the output device is there and still takes sound; a failure
    // says why (no device, or what the device layer reports).
    base::Result CheckOutput();
    bool OutputAlive() { return CheckOutput().ok(); }
    // After the output was lost: releases both devices and opens them afresh
    // as at start-up, without the start-up failure box. The effect slots go
    // with the device, so every effect name is forgotten and loads again on
    // use. True when the speech stream plays again.
    bool ReopenDevices();
    // The same with an output device opened elsewhere (null: none); one
    // that a stuck sound server could hold is opened off the UI thread.
    bool ReopenDevices(std::unique_ptr<device::OutputDevice> output);
    // Ends the output device's work (a file is written whole) and says
    // whether everything played reached it; ok with no device.
    base::Result FinishOutput();
    // Stops capture, the stream and music and releases the devices. Harmless
    // when repeated.
    void ShutdownAudio();

    // --- microphone capture ---
    // On demand, creation and a reopen leave the microphone closed: the
    // owner opens it (StartCapture) while something listens and closes it
    // (CloseCapture) when nothing does, so an idle program reads nothing.
    void SetCaptureOnDemand(bool onDemand) { captureOnDemand_ = onDemand; }
    int OpenCapture();
    void StartCapture();
    void StopCapture();
    void CloseCapture();
    // ReadCapture of the capture list in mode 1: byteCount bytes or none;
    // `available` receives the bytes that were waiting.
    int32_t ReadCaptureExact(void* destination, int32_t byteCount, int32_t& available);

    // --- notifications (all answer 0) ---
    int OnWimData(int index, const uint8_t* data, uint32_t bytesRecorded);
    int OnMciNotify(uint32_t code);

    // --- effect slots ---
    // Loads a WAVE file into the first free slot: the slot, or -1..-8.
    int LoadEffect(const std::filesystem::path& path);
    // The same from a WAVE image in memory (nothing to open: -1 is only for
    // no device or no free slot).
    int LoadEffectFromBytes(std::span<const uint8_t> bytes);
    // Mode 0 stop, 1 play once from the start, 2 loop, 3 play once and wait
    // (at most 20000 ms). 1 on success, 0 on failure or another mode.
    int PlayEffect(int slot, int mode);

    // --- music ---
    // Sends a command string for the alias "song" with this window notified.
    int SendMusicCommand(std::string_view command);
    // Opens `file` as "song", sets musicOpen and musicLoop, and plays it.
    int OpenMusic(const std::filesystem::path& file, bool loop);
    // Lets the music stand-in notice the song's end (called by the pump).
    void PollMusic() { media_.Poll(); }

    // The state; all zero or none on construction.
    std::unique_ptr<device::OutputDevice> device;
    std::array<std::unique_ptr<device::OutputBuffer>, EFFECT_SLOT_COUNT> effectBuffers;
    std::unique_ptr<device::OutputBuffer> speechBuffer;
    uint32_t speechBytes = 0;
    uint32_t speechWritePos = 0;
    int32_t speechStartPending = 0;
    int32_t speechPlaying = 0;
    int32_t speechCreateTried = 0;
    int32_t speechCreated = 0;
    // Set at start: the next WriteSpeech anchors pos 1000 bytes past the
    // device's write cursor. Kept per window so each stream starts afresh.
    int32_t speechResync = 1;
    std::unique_ptr<device::CaptureDevice> captureDevice;
    int32_t captureOpenTried = 0;
    int32_t captureOpen = 0;
    int32_t captureRunning = 0;
    int32_t musicOpen = 0;
    int32_t musicLoop = 0;

  private:
    // Speech written but perhaps not yet played: where its last byte ends in
    // the ring, and how far the play cursor was from there when last asked.
    bool speechUnplayed_ = false;
    std::string outputFailure_ = "no audio output device";  // why there is no stream
    uint32_t speechDataEnd_ = 0;
    uint32_t speechLastDistance_ = UINT32_MAX;

    int LoadEffectImage(const wave::RiffSource& source, int slot);
    // The sink this window's capture devices are given, made on first use.
    device::CaptureSink* ForwardingSink();
    int FirstFreeSlot() const;

    Engine& engine_;
    device::AudioBackend* backend_ = nullptr;
    std::unique_ptr<device::AudioBackend> ownedBackend_;  // the fixed pair, when given
    device::UiDispatcher* dispatcher_ = nullptr;
    MessageSink* messages_ = nullptr;
    StderrMessageSink stderrMessages_;
    MediaControl media_;
    bool createFails_ = false;
    bool captureOnDemand_ = false;
    bool created_ = false;
    // Cleared by the destructor: notifications posted before then and run
    // after it find no window and do nothing.
    std::shared_ptr<CSoundWnd*> self_;
    device::CaptureSink* captureSink_ = nullptr;  // kept by the engine
};

}  // namespace vocalith::engine
