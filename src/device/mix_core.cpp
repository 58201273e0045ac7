#include "device/mix_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "device/pcm_convert.h"
#include "wave/rate_converter.h"

namespace vocalith::device {

namespace {
// Volumes at or below this are silence, as on a hardware mixer.
constexpr int32_t VOLUME_MIN = -10000;
}  // namespace

// One buffer's state, shared by the UI thread (the OutputBuffer methods) and
// the device thread (Render). Everything but the atomics and the bytes of
// `data` is guarded by `m`.
//
// The bytes are written without the lock, byte by byte as relaxed atomics,
// and read the same way. Writes come every mixing step, and the device
// thread, which never waits, would skip a period whenever one held the lock:
// a few milliseconds of silence in the middle of a sound, now and then. A
// frame written while it is read may mix old and new bytes, as on a device
// that reads its buffer while it is written; the frames a rate converter has
// yet to read behind the write cursor are held apart and not affected.
struct BufferState {
    std::mutex m;
    std::vector<uint8_t> data;  // Size() bytes in the buffer's own format; see above
    uint16_t channels = 1;
    uint16_t bits = 16;
    uint16_t blockAlign = 2;
    uint32_t rate = wave::SYSTEM_SAMPLE_RATE;
    uint32_t frames = 0;        // whole frames in data; >= 1
    uint32_t latencyBytes = 0;  // write cursor lead while playing, whole frames

    bool playing = false;
    bool looping = false;
    float gain = 1.0f;
    uint32_t pos = 0;              // play cursor in frames, < frames
    uint64_t phase = 0;            // past pos, in 1/deviceRate of a frame; < deviceRate
    bool syncPending = false;      // device thread: take the current period as the start
    uint64_t nextDeviceFrame = 0;  // device thread: the first device frame not yet mixed

    // The rate conversion when the buffer's rate differs from the device's
    // (none when they are equal). A conversion runs from a start frame: the
    // cursor when the buffer started playing or was moved. It reads input
    // ahead of the cursor (LookaheadFrames()), which the write cursor stays past.
    std::unique_ptr<wave::RateConverter> conv;
    uint32_t startPos = 0;  // buffer frame where the conversion began
    uint64_t fed = 0;       // input frames handed to it since then
    uint64_t made = 0;      // device frames taken from it since then
    // What lies behind the write cursor belongs to the device, as on a device
    // that has fetched it: the frames there that the conversion has yet to
    // read are copied here as the write cursor passes them, so that a write
    // behind the cursor (an underrun silencing the buffer) cannot reach
    // them. Indices count like LoadFrame's: [heldFrom, heldTo), a ring of
    // heldFrames frames allocated with the conversion.
    std::vector<float> held;
    uint64_t heldFrames = 0;
    uint64_t heldFrom = 0;
    uint64_t heldTo = 0;

    // Mirrors for lock-free reads of the cursor and status from the UI thread.
    std::atomic<uint32_t> playByte{0};
    std::atomic<bool> playingFlag{false};
    // Frames rendered since the buffer started or moved: the heard position
    // never lies before that start.
    uint64_t sinceStart = 0;
    std::atomic<uint64_t> sinceStartMirror{0};

    void Publish() {
        playByte.store(pos * blockAlign, std::memory_order_release);
        playingFlag.store(playing, std::memory_order_release);
        sinceStartMirror.store(sinceStart, std::memory_order_release);
    }

    // Copies `bytes` bytes from `src` (silence when null) into data at `offset`.
    void StoreBytes(size_t offset, const uint8_t* src, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            std::atomic_ref(data[offset + i]).store(src ? src[i] : 0, std::memory_order_relaxed);
        }
    }

    // The frame at buffer frame `at` (< frames) as left and right values.
    void FrameValues(uint64_t at, float& left, float& right) {
        uint8_t bytes[4];  // a frame is at most two 16-bit samples
        const size_t offset = static_cast<size_t>(at) * blockAlign;
        for (size_t i = 0; i < blockAlign; ++i) {
            bytes[i] = std::atomic_ref(data[offset + i]).load(std::memory_order_relaxed);
        }
        ReadFrame(bytes, channels, bits, left, right);
    }

    // Frame `at` frames past the start of the buffer as the conversion takes
    // it: a held copy if there is one, else the buffer's own.
    void LoadFrame(uint64_t at, float* frame) {
        if (at >= heldFrom && at < heldTo) {
            const int ch = conv->Channels();
            const float* from = held.data() + (at % heldFrames) * static_cast<uint64_t>(ch);
            std::copy(from, from + ch, frame);
            return;
        }
        ReadAt(at, frame);
    }

    // Frame `at` of the buffer: past the end a looping buffer starts again
    // and a once buffer is silent.
    void ReadAt(uint64_t at, float* frame) {
        if (at >= frames) {
            if (!looping) {
                frame[0] = 0.0f;
                if (conv->Channels() == 2) frame[1] = 0.0f;  // a mono frame is one value
                return;
            }
            at %= frames;
        }
        float left, right;
        FrameValues(at, left, right);
        if (conv->Channels() == 2) {
            frame[0] = left;
            frame[1] = right;
        } else {
            frame[0] = channels == 2 ? (left + right) * 0.5f : left;
        }
    }

    // UI thread, under `m`: the conversion starts afresh at pos, with
    // silence behind it. Allocates (libsoxr), so never on the device thread.
    void RestartConversion() {
        if (!conv) return;
        conv->Restart();
        startPos = pos;
        fed = 0;
        made = 0;
        heldFrom = heldTo = startPos;
    }

    // Device thread: copies the frames not yet read up to the write cursor.
    void HoldUpTo(uint64_t to) {
        if (heldFrames == 0) return;
        const int ch = conv->Channels();
        heldFrom = std::max(heldFrom, startPos + fed);  // read already: no longer needed
        heldTo = std::max(heldTo, heldFrom);
        to = std::min(to, heldFrom + heldFrames);
        for (; heldTo < to; ++heldTo) {
            ReadAt(heldTo, held.data() + (heldTo % heldFrames) * static_cast<uint64_t>(ch));
        }
    }

    // Device thread: the next `n` device frames of the conversion into
    // `out` (conv->Channels() values each), the cursor moved on with them.
    void Convert(float* out, uint32_t n, uint32_t deviceRate) {
        const int ch = conv->Channels();
        conv->Pull(out, n, [this, ch](float* in, size_t count) {
            for (size_t i = 0; i < count; ++i) LoadFrame(startPos + fed + i, in + i * ch);
            fed += count;
        });
        made += n;
        // The cursor is the input frame under the last output taken.
        const uint64_t cursor = startPos + made * rate / deviceRate;
        MoveTo(cursor);
        HoldUpTo(cursor + latencyBytes / blockAlign);
    }

    // Puts the cursor on frame `at` (counted on past the end): a looping
    // buffer wraps, a once buffer that reaches its end stops at 0.
    void MoveTo(uint64_t at) {
        if (at < frames) {
            pos = static_cast<uint32_t>(at);
        } else if (looping) {
            pos = static_cast<uint32_t>(at % frames);
        } else {
            playing = false;
            pos = 0;
            phase = 0;
        }
    }
};

namespace {

class SoftBuffer final : public OutputBuffer {
  public:
    SoftBuffer(std::shared_ptr<MixCore> core, std::unique_ptr<BufferState> state)
        : core_(std::move(core)), s_(std::move(state)) {
        core_->Register(s_.get());
    }
    ~SoftBuffer() override { core_->Unregister(s_.get()); }

    uint32_t Size() const override { return static_cast<uint32_t>(s_->data.size()); }

    DeviceResult Write(uint32_t offset, const void* data, uint32_t bytes) override {
        uint32_t size = Size();
        if (offset >= size || bytes > size) return DeviceResult::Failed;
        // No lock: see BufferState.
        uint32_t first = std::min(bytes, size - offset);
        const auto* src = static_cast<const uint8_t*>(data);
        s_->StoreBytes(offset, src, first);
        s_->StoreBytes(0, src ? src + first : nullptr, bytes - first);
        return DeviceResult::Ok;
    }

    DeviceResult Restore() override { return DeviceResult::Ok; }

    DeviceResult Play(bool looping) override {
        if (core_->Closed()) return DeviceResult::Failed;
        // A device that renders by the clock catches up to now first, so
        // the buffer starts where it is started.
        if (!s_->playingFlag.load(std::memory_order_acquire)) core_->Woken();
        bool started = false;
        {
            std::lock_guard lock(s_->m);
            s_->looping = looping;
            if (!s_->playing) {
                s_->playing = true;
                s_->syncPending = true;
                s_->sinceStart = 0;
                s_->RestartConversion();
                started = true;
            }
            s_->Publish();
        }
        if (started) core_->Woken();
        return DeviceResult::Ok;
    }

    DeviceResult Stop() override {
        std::lock_guard lock(s_->m);
        s_->playing = false;
        s_->Publish();
        return DeviceResult::Ok;
    }

    DeviceResult SetVolume(int32_t hundredthsOfDb) override {
        if (hundredthsOfDb > 0 || hundredthsOfDb < VOLUME_MIN) return DeviceResult::Failed;
        float gain = hundredthsOfDb == VOLUME_MIN
                         ? 0.0f
                         : static_cast<float>(std::pow(10.0, hundredthsOfDb / 2000.0));
        std::lock_guard lock(s_->m);
        s_->gain = gain;
        return DeviceResult::Ok;
    }

    DeviceResult GetCurrentPosition(uint32_t& play, uint32_t& write) override {
        uint32_t p = s_->playByte.load(std::memory_order_acquire);
        bool playing = s_->playingFlag.load(std::memory_order_acquire);
        const uint64_t span = uint64_t{s_->frames} * s_->blockAlign;
        // A stopped buffer reports both cursors at the same place, and so
        // does one whose device has fetched nothing yet.
        if (!playing || core_->NothingFetched()) {
            play = write = p;
            return DeviceResult::Ok;
        }
        write = static_cast<uint32_t>((uint64_t{p} + s_->latencyBytes) % span);
        // What the device still holds, in this buffer's frames.
        const uint64_t held =
            std::min(uint64_t{core_->OutputDelayFrames()} * s_->rate / core_->DeviceRate(),
                     s_->sinceStartMirror.load(std::memory_order_acquire));
        play = static_cast<uint32_t>((uint64_t{p} + span - (held % s_->frames) * s_->blockAlign) %
                                     span);
        return DeviceResult::Ok;
    }

    DeviceResult SetCurrentPosition(uint32_t offset) override {
        if (offset >= Size()) return DeviceResult::Failed;
        std::lock_guard lock(s_->m);
        uint32_t frame = offset / s_->blockAlign;
        s_->pos = frame < s_->frames ? frame : 0;  // a trailing part-frame wraps to the start
        s_->phase = 0;
        s_->syncPending = true;
        s_->sinceStart = 0;
        // A stopped buffer restarts its conversion when it starts playing.
        if (s_->playing) s_->RestartConversion();
        s_->Publish();
        return DeviceResult::Ok;
    }

    DeviceResult GetStatus(bool& playing) override {
        playing = s_->playingFlag.load(std::memory_order_acquire);
        return DeviceResult::Ok;
    }

  private:
    std::shared_ptr<MixCore> core_;  // keeps the registry alive while the buffer lives
    std::unique_ptr<BufferState> s_;
};

}  // namespace

std::shared_ptr<MixCore> MixCore::Create(uint32_t deviceRate, int deviceChannels,
                                         double latencySeconds) {
    return std::shared_ptr<MixCore>(new MixCore(deviceRate, deviceChannels, latencySeconds));
}

MixCore::MixCore(uint32_t deviceRate, int deviceChannels, double latencySeconds)
    : deviceRate_(deviceRate ? deviceRate : wave::SYSTEM_SAMPLE_RATE),
      deviceChannels_(deviceChannels == 2 ? 2 : 1),
      latencySeconds_(latencySeconds) {
    accum_.resize(CHUNK_FRAMES * static_cast<size_t>(deviceChannels_));
    converted_.resize(CHUNK_FRAMES * 2);
    buffers_.reserve(64);
}

std::unique_ptr<OutputBuffer> MixCore::CreateBuffer(const PcmFormat& format, uint32_t bytes) {
    if (Closed() || !IsSupportedFormat(format)) return nullptr;
    if (bytes < format.blockAlign || bytes > MAX_BUFFER_BYTES) return nullptr;
    auto state = std::make_unique<BufferState>();
    try {
        state->data.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    state->channels = format.channels;
    state->bits = format.bitsPerSample;
    state->blockAlign = format.blockAlign;
    state->rate = format.samplesPerSec;
    state->frames = bytes / format.blockAlign;
    auto leadFrames = static_cast<uint64_t>(std::ceil(latencySeconds_ * state->rate));
    if (state->rate != deviceRate_) {
        const int channels = format.channels == 2 && deviceChannels_ == 2 ? 2 : 1;
        try {
            state->conv = std::make_unique<wave::RateConverter>();
            if (!state->conv->Create(state->rate, deviceRate_, channels) || !state->conv->Warm()) {
                return nullptr;
            }
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        // The look-ahead is read from the buffer before it is heard: the
        // write cursor stays past it.
        leadFrames = std::max<uint64_t>(leadFrames, uint64_t{state->conv->LookaheadFrames()} + 1);
    }
    state->latencyBytes = static_cast<uint32_t>((leadFrames % state->frames) * state->blockAlign);
    if (state->conv) {
        state->heldFrames = leadFrames + 1;
        try {
            state->held.assign(state->heldFrames * static_cast<uint64_t>(state->conv->Channels()),
                               0.0f);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return std::make_unique<SoftBuffer>(shared_from_this(), std::move(state));
}

void MixCore::Register(BufferState* state) {
    std::lock_guard lock(listMutex_);
    buffers_.push_back(state);
}

void MixCore::Unregister(BufferState* state) {
    std::lock_guard lock(listMutex_);
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), state), buffers_.end());
}

void MixCore::SetOutputDelay(double seconds) {
    const double frames = seconds > 0 ? seconds * deviceRate_ : 0.0;
    // A device that claims more than a second is not believed.
    delayFrames_.store(static_cast<uint32_t>(std::min(frames, static_cast<double>(deviceRate_))),
                       std::memory_order_release);
}

bool MixCore::Quiet() {
    std::unique_lock lock(listMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    return std::none_of(buffers_.begin(), buffers_.end(), [](const BufferState* s) {
        return s->playingFlag.load(std::memory_order_acquire);
    });
}

void MixCore::Close() {
    closed_.store(true, std::memory_order_release);
}

void MixCore::Render(int16_t* out, uint32_t frames) {
    const auto channels = static_cast<uint32_t>(deviceChannels_);
    std::unique_lock lock(listMutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
        // A buffer is being created or destroyed: this period is silent and
        // the playing buffers catch up on the next one.
        std::memset(out, 0, sizeof(int16_t) * frames * channels);
        deviceFrame_ += frames;
        return;
    }
    while (frames > 0) {
        uint32_t n = std::min(frames, CHUNK_FRAMES);
        std::fill(accum_.begin(), accum_.begin() + n * channels, 0.0f);
        for (BufferState* s : buffers_) MixBuffer(*s, accum_.data(), n);
        for (uint32_t i = 0; i < n * channels; ++i) out[i] = ClipToSample(accum_[i]);
        out += n * channels;
        frames -= n;
        deviceFrame_ += n;
    }
}

void MixCore::MixBuffer(BufferState& s, float* accum, uint32_t n) {
    std::unique_lock lock(s.m, std::try_to_lock);
    if (!lock.owns_lock()) return;  // the UI thread holds it: catch up next period
    if (!s.playing) return;
    if (s.syncPending) {
        // A start or a move of the cursor: the UI thread has restarted the
        // conversion from silence at the cursor; it plays from this period.
        s.syncPending = false;
        s.nextDeviceFrame = deviceFrame_;
    }
    const uint64_t devRate = deviceRate_;
    const bool stereoOut = deviceChannels_ == 2;
    if (s.nextDeviceFrame < deviceFrame_) {
        // Periods this buffer missed: move its cursor as if they had played.
        uint64_t missed = deviceFrame_ - s.nextDeviceFrame;
        if (s.conv) {
            while (missed > 0 && s.playing) {
                const auto k = static_cast<uint32_t>(std::min<uint64_t>(missed, CHUNK_FRAMES));
                s.Convert(converted_.data(), k, deviceRate_);
                missed -= k;
            }
        } else {
            uint64_t total = s.phase + missed * s.rate;
            s.phase = total % devRate;
            s.MoveTo(s.pos + total / devRate);
        }
    }
    s.nextDeviceFrame = deviceFrame_ + n;
    s.sinceStart += uint64_t{n} * s.rate / devRate;
    if (s.conv) {
        if (!s.playing) {
            s.Publish();
            return;
        }
        // How many device frames remain until a once buffer's end.
        uint32_t heard = n;
        if (!s.looping) {
            const uint64_t end = (uint64_t{s.frames - s.startPos} * devRate + s.rate - 1) / s.rate;
            heard = static_cast<uint32_t>(std::min<uint64_t>(n, end > s.made ? end - s.made : 0));
        }
        s.Convert(converted_.data(), n, deviceRate_);
        const bool twoIn = s.conv->Channels() == 2;
        for (uint32_t i = 0; i < heard; ++i) {
            const float left = twoIn ? converted_[2 * i] : converted_[i];
            const float right = twoIn ? converted_[2 * i + 1] : left;
            if (stereoOut) {
                accum[2 * i] += left * s.gain;
                accum[2 * i + 1] += right * s.gain;
            } else {
                accum[i] += left * s.gain;
            }
        }
        s.Publish();
        return;
    }
    for (uint32_t i = 0; i < n && s.playing; ++i) {
        float left, right;
        s.FrameValues(s.pos, left, right);
        if (!stereoOut && s.channels == 2) left = (left + right) * 0.5f;
        if (stereoOut) {
            accum[2 * i] += left * s.gain;
            accum[2 * i + 1] += right * s.gain;
        } else {
            accum[i] += left * s.gain;
        }
        s.phase += s.rate;
        if (s.phase >= devRate) {
            uint64_t advance = s.phase / devRate;
            s.phase %= devRate;
            s.MoveTo(s.pos + advance);
        }
    }
    s.Publish();
}

}  // namespace vocalith::device
