// The speech output stream of the sound window, and the two device-buffer
// operations it shares with the effect slots.
#include <cstdint>

#include "engine/audio_pump.h"
#include "engine/sound_window.h"

namespace vocalith::engine {

namespace {

// The stream has a buffer, plays, and has a size to wrap at.
bool StreamLive(const CSoundWnd& window) {
    return window.speechCreated && window.speechPlaying && window.speechBuffer != nullptr &&
           window.speechBytes != 0;
}

}  // namespace

int CreateDsBuffer(device::OutputDevice* outputDevice,
                   std::unique_ptr<device::OutputBuffer>& buffer, const wave::PcmFormat& format,
                   uint32_t byteCount) {
    buffer.reset();
    if (outputDevice == nullptr || byteCount == 0 || byteCount > device::MAX_BUFFER_BYTES) return 0;
    buffer = outputDevice->CreateBuffer(format, byteCount);
    return buffer != nullptr ? 1 : 0;
}

int WriteDsBuffer(device::OutputBuffer* buffer, uint32_t offset, const void* source,
                  uint32_t byteCount) {
    if (buffer == nullptr) return 0;
    const uint32_t size = buffer->Size();
    // A lock beyond the buffer's bounds is refused, not clipped.
    if (offset >= size || byteCount > size) return 0;
    device::DeviceResult result = buffer->Write(offset, source, byteCount);
    if (result == device::DeviceResult::BufferLost) {
        buffer->Restore();
        result = buffer->Write(offset, source, byteCount);
    }
    return result == device::DeviceResult::Ok ? 1 : 0;
}

int CSoundWnd::CreateSpeechBuffer() {
    speechCreateTried = 1;
    if (device == nullptr || speechCreated) {
        if (device == nullptr) {
            outputFailure_ =
                backend_ != nullptr ? backend_->OutputFailure() : "no audio output device";
        }
        return -1;
    }
    speechBytes = SPEECH_STREAM_BYTES;
    if (!CreateDsBuffer(device.get(), speechBuffer, wave::SystemFormat, speechBytes)) {
        outputFailure_ = "the audio output device refused the speech stream";
        return -7;
    }
    speechCreated = 1;
    return 0;
}

void CSoundWnd::StartSpeechPlay() {
    if (!speechCreateTried) {
        // Tried once only, so the message is shown at most once.
        if (CreateSpeechBuffer() != 0) {
            // The reason goes on a line of its own under the usual text.
            messages_->ShowMessage("CreateSpeechBuffer failed.\n" + outputFailure_,
                                   "StartSpeechPlay");
        }
    }
    if (speechCreated && !speechPlaying && speechBuffer != nullptr) {
        speechWritePos = 0;
        speechStartPending = 1;
        speechPlaying = 1;
        // The device starts only once enough has been written (WriteSpeech).
    }
}

void CSoundWnd::StopSpeechPlay() {
    if (speechCreated && speechPlaying && speechBuffer != nullptr) {
        speechBuffer->Stop();
        speechPlaying = 0;
        speechStartPending = 0;
        speechUnplayed_ = false;
    }
}

uint32_t CSoundWnd::WriteSpeech(const void* samples, uint32_t byteCount) {
    if (!StreamLive(*this)) return 0;
    const uint32_t size = speechBytes;
    uint32_t play = 0;
    uint32_t write = 0;
    speechBuffer->GetCurrentPosition(play, write);
    play %= size;
    write %= size;

    if (speechResync) {
        // The anchor keeps the data clear of what the device may have
        // fetched already; a device that has fetched nothing needs none.
        const bool fetched = device == nullptr || device->Fetched();
        speechWritePos = (write + (fetched ? SPEECH_ANCHOR_BYTES : 0)) % size;
        speechResync = 0;
    }
    const uint32_t lead = (size - play + write) % size;
    const uint32_t base = speechStartPending ? write : speechWritePos;
    // Equal cursors mean a whole ring of room.
    const uint32_t room = play > base ? play - base : play - base + size;
    const uint32_t n = byteCount < room ? byteCount : room;

    WriteDsBuffer(speechBuffer.get(), speechWritePos, samples, n);
    speechWritePos += n;
    if (speechWritePos >= size) speechWritePos -= size;
    if (samples != nullptr && n > 0) {
        speechUnplayed_ = true;
        speechDataEnd_ = speechWritePos;
        speechLastDistance_ = UINT32_MAX;
    }

    // Silence after the data, so a stalled writer lets the device play
    // silence rather than older sound: enough for the device to fetch until
    // the next mixing step finds the cursor past pos and silences the ring.
    // pos stays where the data ended.
    WriteDsBuffer(speechBuffer.get(), speechWritePos, nullptr,
                  2 * lead + SPEECH_ANCHOR_BYTES + MIX_PERIOD_MS * MIX_SAMPLES_PER_MS * 2);

    // A stopped buffer's cursors stand where it will start.
    if (speechStartPending && (speechWritePos + size - write) % size > size / 16) {
        speechBuffer->Play(true);
        speechBuffer->SetVolume(StreamVolume);
        speechStartPending = 0;
    }
    return n;
}

uint32_t CSoundWnd::ServiceSpeech() {
    if (!StreamLive(*this)) return 0;
    const uint32_t size = speechBytes;
    uint32_t play = 0;
    uint32_t write = 0;
    speechBuffer->GetCurrentPosition(play, write);
    write %= size;

    const uint32_t d = (size - write + speechWritePos) % size;
    if (d <= size / 2) return 0;
    // The write cursor has overtaken pos. The first time the whole ring is
    // silenced; while already resyncing only what the cursor passed since.
    const uint32_t amount = speechResync ? (size - d) % size : size;
    speechResync = 1;
    if (amount > 0) {
        WriteDsBuffer(speechBuffer.get(), speechWritePos, nullptr, amount);
        speechWritePos = write % size;
    }
    return amount;
}

uint32_t CSoundWnd::SpeechWriteLimit() {
    if (!StreamLive(*this)) return UINT32_MAX;
    const uint32_t size = speechBytes;
    uint32_t play = 0;
    uint32_t write = 0;
    speechBuffer->GetCurrentPosition(play, write);
    write %= size;
    uint32_t ahead = SPEECH_ANCHOR_BYTES;  // where the next write will anchor
    if (!speechResync) {
        ahead = (size - write + speechWritePos) % size;
        // Behind the cursor: ServiceSpeech silences the ring and the write
        // re-anchors past the cursor.
        if (ahead > size / 2) ahead = SPEECH_ANCHOR_BYTES;
    }
    return ahead >= SPEECH_MAX_LEAD_BYTES ? 0 : SPEECH_MAX_LEAD_BYTES - ahead;
}

void CSoundWnd::StartPendingSpeech() {
    if (!StreamLive(*this) || !speechStartPending || !speechUnplayed_) return;
    speechBuffer->Play(true);
    speechBuffer->SetVolume(StreamVolume);
    speechStartPending = 0;
}

void CSoundWnd::RestSpeech() {
    if (!StreamLive(*this) || speechStartPending || !SpeechAllPlayed()) return;
    // The heard position is an estimate: the rendered position less the
    // sound server's latency as it reports it, which wavers, and a rate
    // converter reads ahead of what it has produced. Stopped the moment the
    // estimate passes the end, the ring could lose the last tens of
    // milliseconds of the speech; it rests only once well past it.
    uint32_t play = 0;
    uint32_t write = 0;
    if (speechBuffer->GetCurrentPosition(play, write) != device::DeviceResult::Ok) return;
    if ((play % speechBytes + speechBytes - speechDataEnd_) % speechBytes <
        SPEECH_REST_MARGIN_BYTES) {
        return;
    }
    speechBuffer->Stop();
    // All silence, so that wherever it starts again it sounds nothing older.
    WriteDsBuffer(speechBuffer.get(), 0, nullptr, speechBytes);
    speechBuffer->GetCurrentPosition(play, write);
    speechWritePos = write % speechBytes;
    speechStartPending = 1;
    speechResync = 1;
    speechUnplayed_ = false;
}

void CSoundWnd::WakeSpeech() {
    if (!StreamLive(*this) || !speechStartPending) return;
    // The next write anchors past the write cursor, as after an underrun.
    speechResync = 1;
    speechBuffer->Play(true);
    speechBuffer->SetVolume(StreamVolume);
    speechStartPending = 0;
}

uint32_t CSoundWnd::StartLeadMs() {
    if (device == nullptr || !speechCreated) return 0;
    const uint32_t deviceMs = device->HeardLeadMs();
    if (deviceMs == 0) return 0;
    const uint32_t anchorMs = SPEECH_ANCHOR_BYTES * 1000 / (wave::SYSTEM_SAMPLE_RATE * 2);
    return deviceMs + anchorMs + START_STEP_LATE_MS;
}

bool CSoundWnd::SpeechRunning() const {
    return StreamLive(*this) && !speechStartPending;
}

bool CSoundWnd::SpeechAllPlayed() {
    if (!speechUnplayed_ || !StreamLive(*this)) return true;
    if (speechStartPending) return false;
    uint32_t play = 0;
    uint32_t write = 0;
    if (speechBuffer->GetCurrentPosition(play, write) != device::DeviceResult::Ok) return true;
    const uint32_t distance = (speechDataEnd_ + speechBytes - play % speechBytes) % speechBytes;
    // The distance shrinks while the device plays towards the end of the
    // data; once the play cursor has passed it, it jumps up by most of the
    // ring. A heard position that steps back a little (a sound server's own
    // latency estimate wavers) is not the end.
    if (distance == 0 || uint64_t{distance} > uint64_t{speechLastDistance_} + speechBytes / 2) {
        speechUnplayed_ = false;
        return true;
    }
    speechLastDistance_ = distance;
    return false;
}

base::Result CSoundWnd::CheckOutput() {
    if (device == nullptr || !speechCreated || speechBuffer == nullptr) {
        return base::Result::Fail(outputFailure_);
    }
    if (base::Result health = device->Check(); !health) return health;
    bool playing = false;
    if (speechBuffer->GetStatus(playing) != device::DeviceResult::Ok ||
        (!playing && speechPlaying && !speechStartPending)) {
        return base::Result::Fail("the sound output stopped");
    }
    return {};
}

bool CSoundWnd::SpeechBehind() {
    if (!StreamLive(*this) || speechStartPending || speechResync) return false;
    uint32_t play = 0;
    uint32_t write = 0;
    speechBuffer->GetCurrentPosition(play, write);
    write %= speechBytes;
    return (speechBytes - write + speechWritePos) % speechBytes > speechBytes / 2;
}

}  // namespace vocalith::engine
