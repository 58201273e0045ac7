#include "device/mix_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "device/pcm_convert.h"
#include "device/resampler.h"

namespace vocalith::device {

namespace {
// Volumes at or below this are silence, as on a hardware mixer.
constexpr int32_t VOLUME_MIN = -10000;
}  // namespace

// One buffer's state, shared by the UI thread (the OutputBuffer methods) and
// the device thread (Render). Everything but the atomics is guarded by `m`.
struct BufferState {
    std::mutex m;
    std::vector<uint8_t> data;  // Size() bytes in the buffer's own format
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

    // The frames around the play cursor when the buffer's rate differs from
    // the device's: centred on pos, with history behind and look-ahead read
    // from the buffer in front. None when the rates are equal.
    std::optional<SincWindow> window;

    // Mirrors for lock-free reads of the cursor and status from the UI thread.
    std::atomic<uint32_t> playByte{0};
    std::atomic<bool> playingFlag{false};

    void Publish() {
        playByte.store(pos * blockAlign, std::memory_order_release);
        playingFlag.store(playing, std::memory_order_release);
    }

    // Frame `at` frames past the start of the buffer as the window takes it:
    // past the end a looping buffer starts again and a once buffer is silent.
    void LoadFrame(uint64_t at, float* frame) const {
        if (at >= frames) {
            if (!looping) {
                frame[0] = frame[1] = 0.0f;
                return;
            }
            at %= frames;
        }
        float left, right;
        ReadFrame(data.data() + static_cast<size_t>(at) * blockAlign, channels, bits, left, right);
        if (window->Channels() == 2) {
            frame[0] = left;
            frame[1] = right;
        } else {
            frame[0] = channels == 2 ? (left + right) * 0.5f : left;
        }
    }

    // Starts the window afresh at pos: silence behind it, the buffer ahead.
    void FillWindow() {
        window->Clear();
        float frame[2];
        for (uint32_t i = 0; i <= window->HalfWidth(); ++i) {
            LoadFrame(uint64_t{pos} + i, frame);
            window->Push(frame);
        }
    }

    // Moves the cursor on by `advance` frames, the window with it; a once
    // buffer that reaches its end stops with its cursor at 0.
    void Advance(uint64_t advance) {
        if (window && advance > 0) {
            // The frames entering the look-ahead; older ones than a full
            // window would be pushed out again at once.
            const uint64_t span = 2 * uint64_t{window->HalfWidth()};
            const uint64_t ahead = uint64_t{pos} + window->HalfWidth() + 1;
            float frame[2];
            for (uint64_t i = advance > span ? advance - span : 0; i < advance; ++i) {
                LoadFrame(ahead + i, frame);
                window->Push(frame);
            }
        }
        uint64_t next = pos + advance;
        if (next < frames) {
            pos = static_cast<uint32_t>(next);
        } else if (looping) {
            pos = static_cast<uint32_t>(next % frames);
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
        std::lock_guard lock(s_->m);
        uint32_t first = std::min(bytes, size - offset);
        const auto* src = static_cast<const uint8_t*>(data);
        if (src) {
            std::memcpy(s_->data.data() + offset, src, first);
            std::memcpy(s_->data.data(), src + first, bytes - first);
        } else {
            std::memset(s_->data.data() + offset, 0, first);
            std::memset(s_->data.data(), 0, bytes - first);
        }
        return DeviceResult::Ok;
    }

    DeviceResult Restore() override { return DeviceResult::Ok; }

    DeviceResult Play(bool looping) override {
        if (core_->Closed()) return DeviceResult::Failed;
        std::lock_guard lock(s_->m);
        s_->looping = looping;
        if (!s_->playing) {
            s_->playing = true;
            s_->syncPending = true;
        }
        s_->Publish();
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
        uint32_t span = s_->frames * s_->blockAlign;
        play = p;
        // A stopped buffer reports both cursors at the same place.
        write = playing ? static_cast<uint32_t>((uint64_t{p} + s_->latencyBytes) % span) : p;
        return DeviceResult::Ok;
    }

    DeviceResult SetCurrentPosition(uint32_t offset) override {
        if (offset >= Size()) return DeviceResult::Failed;
        std::lock_guard lock(s_->m);
        uint32_t frame = offset / s_->blockAlign;
        s_->pos = frame < s_->frames ? frame : 0;  // a trailing part-frame wraps to the start
        s_->phase = 0;
        s_->syncPending = true;
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
            state->window.emplace(state->rate, deviceRate_, channels);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        // The look-ahead is read from the buffer before it plays: the write
        // cursor stays past it.
        leadFrames = std::max<uint64_t>(leadFrames, uint64_t{state->window->HalfWidth()} + 1);
    }
    state->latencyBytes = static_cast<uint32_t>((leadFrames % state->frames) * state->blockAlign);
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
        // A start or a move of the cursor: what played before does not lead
        // into what plays now, so the window starts from silence.
        s.syncPending = false;
        s.nextDeviceFrame = deviceFrame_;
        if (s.window) s.FillWindow();
    }
    const uint64_t devRate = deviceRate_;
    if (s.nextDeviceFrame < deviceFrame_) {
        // Periods this buffer missed: move its cursor as if they had played.
        uint64_t total = s.phase + (deviceFrame_ - s.nextDeviceFrame) * s.rate;
        s.phase = total % devRate;
        s.Advance(total / devRate);
    }
    s.nextDeviceFrame = deviceFrame_ + n;
    const bool stereoOut = deviceChannels_ == 2;
    for (uint32_t i = 0; i < n && s.playing; ++i) {
        float left, right;
        if (s.window) {
            float frame[2];
            s.window->Evaluate(s.phase, frame);
            left = frame[0];
            // A mono window holds a stereo buffer already averaged.
            right = s.window->Channels() == 2 ? frame[1] : left;
        } else {
            ReadFrame(s.data.data() + static_cast<size_t>(s.pos) * s.blockAlign, s.channels, s.bits,
                      left, right);
            if (!stereoOut && s.channels == 2) left = (left + right) * 0.5f;
        }
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
            s.Advance(advance);
        }
    }
    s.Publish();
}

}  // namespace vocalith::device
