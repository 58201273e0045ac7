// The PortAudio capture: the chosen (or default) input device's callback
// hands its frames to a CaptureFeed, and a reader thread of ordinary
// priority converts them to 11025 Hz mono for the capture ring.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "device/capture_feed.h"
#include "device/capture_ring.h"
#include "device/pa_devices.h"
#include "device/pacer.h"
#include "device/pcm_convert.h"
#include "device/realtime.h"

namespace vocalith::device::pa {

namespace {

constexpr std::chrono::milliseconds CLOSE_DEADLINE{200};
// How often the reader drains the feed: a callback period (10 ms) or so.
constexpr std::chrono::milliseconds READ_EVERY{10};
// How long the reader may be held back (a loaded machine) before frames
// are dropped.
constexpr double FEED_SECONDS = 2.0;

// What the input callback and the reader reach; shared with the closer, so
// a stream whose close is stuck in a frozen server can still call back.
struct CaptureState {
    CaptureState(std::shared_ptr<Session> s, std::shared_ptr<CaptureRing> ring, uint32_t rate,
                 int channels)
        : session(std::move(s)),
          feed(std::move(ring), rate, channels, static_cast<size_t>(rate * FEED_SECONDS)),
          pacer(rate) {}
    std::shared_ptr<Session> session;
    CaptureFeed feed;
    Pacer pacer;  // callback thread only
};

int Callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
             PaStreamCallbackFlags, void* user) {
    AskRealtimeOnce("input");
    auto* state = static_cast<CaptureState*>(user);
    if (input != nullptr) state->feed.Write(static_cast<const int16_t*>(input), frames);
    state->pacer.Count(frames);
    return paContinue;
}

// Drains a feed every READ_EVERY until stopped, and says in the debug log
// when frames were dropped because it fell behind.
class Reader {
  public:
    explicit Reader(std::shared_ptr<CaptureState> state) : state_(std::move(state)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Reader() {
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

  private:
    void Run() {
        uint64_t reported = 0;
        std::unique_lock lock(m_);
        while (!cv_.wait_for(lock, READ_EVERY, [&] { return stop_; })) {
            lock.unlock();
            state_->feed.Drain();
            const uint64_t lost = state_->feed.LostFrames();
            if (lost != reported) {
                DebugNote("capture fell behind: " + std::to_string(lost - reported) +
                          " frames were dropped");
                reported = lost;
            }
            lock.lock();
        }
    }

    std::shared_ptr<CaptureState> state_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};

class PaCaptureDevice final : public CaptureDevice {
  public:
    PaCaptureDevice(std::string name, std::shared_ptr<Session> session)
        : name_(std::move(name)), session_(std::move(session)) {}
    ~PaCaptureDevice() override { Close(); }

    bool Open(const PcmFormat& format, int bufferCount, uint32_t bufferBytes, CaptureSink* sink,
              UiDispatcher* dispatcher) override {
        if (!ring_->Open(format, bufferCount, bufferBytes, sink, dispatcher)) return false;
        if (!stream_ && !OpenDeviceStream()) {
            ring_->Close();
            return false;
        }
        return true;
    }
    void AddBuffer(int index) override { ring_->AddBuffer(index); }
    void Start() override { ring_->Start(); }
    void Stop() override {
        // What was captured before the stop still reaches the buffers.
        if (state_) state_->feed.Drain();
        ring_->Stop();
    }
    void Reset() override { ring_->Reset(); }
    void Close() override {
        ring_->Close();
        if (stream_) {
            reader_.reset();
            CloseStreamDetached(stream_, state_, CLOSE_DEADLINE);
            stream_ = nullptr;
            state_.reset();
        }
    }

  private:
    bool OpenDeviceStream() {
        const PaDeviceIndex device = FindDevice(name_, DeviceDirection::Input);
        if (device == paNoDevice) return false;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (!info || info->maxInputChannels < 1) return false;
        struct Choice {
            int channels;
            double rate;
        };
        const Choice choices[] = {{1, wave::SYSTEM_SAMPLE_RATE},
                                  {1, info->defaultSampleRate},
                                  {2, info->defaultSampleRate}};
        for (const Choice& c : choices) {
            if (c.channels > info->maxInputChannels || c.rate < MIN_RATE || c.rate > MAX_RATE)
                continue;
            PaStreamParameters in{};
            in.device = device;
            in.channelCount = c.channels;
            in.sampleFormat = paInt16;
            in.suggestedLatency = std::max(info->defaultLowInputLatency, 0.02);
            auto rate = static_cast<uint32_t>(c.rate);
            if (Pa_IsFormatSupported(&in, nullptr, rate) != paFormatIsSupported) continue;
            auto state = std::make_shared<CaptureState>(session_, ring_, rate, c.channels);
            PaStream* stream = nullptr;
            // The callback interface: the library's own thread waits for
            // input, where a blocking read would poll for it.
            if (OpenStream(&stream, &in, nullptr, rate, rate / 100, &Callback, state.get()) !=
                paNoError) {
                continue;
            }
            PrepareRealtime();
            if (Pa_StartStream(stream) != paNoError) {
                CloseStream(stream);
                continue;
            }
            try {
                reader_ = std::make_unique<Reader>(state);
            } catch (const std::system_error&) {
                CloseStreamDetached(stream, state, CLOSE_DEADLINE);
                return false;
            }
            state_ = std::move(state);
            stream_ = stream;
            return true;
        }
        return false;
    }

    std::string name_;  // the device's name; empty for the default
    std::shared_ptr<Session> session_;
    std::shared_ptr<CaptureRing> ring_ = CaptureRing::Create();
    std::shared_ptr<CaptureState> state_;  // while the stream is open
    std::unique_ptr<Reader> reader_;       // while the stream is open
    PaStream* stream_ = nullptr;
};

}  // namespace

std::unique_ptr<CaptureDevice> MakeCapture(std::string name, std::shared_ptr<Session> session) {
    return std::make_unique<PaCaptureDevice>(std::move(name), std::move(session));
}

}  // namespace vocalith::device::pa
