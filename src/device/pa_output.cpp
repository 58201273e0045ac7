// The PortAudio output: the chosen (or default) output device plays the mix
// of every playing buffer from PortAudio's callback; an OutputMachine
// decides when its stream rests, wakes and counts as lost.
#include <algorithm>
#include <atomic>
#include <utility>

#include "device/mix_core.h"
#include "device/output_machine.h"
#include "device/pa_devices.h"
#include "device/pacer.h"
#include "device/pcm_convert.h"
#include "device/realtime.h"

namespace vocalith::device::pa {

namespace {

// The longest a close waits for a stream that a frozen server holds.
constexpr std::chrono::milliseconds CLOSE_DEADLINE{200};
// The device buffer asked for. PipeWire keeps little more than half of what
// is asked for; with 100 ms that was 60 to 80 ms, and a callback held back
// 160 ms on a busy machine emptied it (a gap heard). The speech stream
// starts 450 ms after speech is queued, so the extra latency is small.
constexpr double OUTPUT_LATENCY_SECONDS = 0.2;

// What the output callback reaches: owned jointly by the device and by
// whoever closes its stream or wakes it, so a stream whose close is stuck in
// a frozen sound server can outlive the device object and still call back
// safely. It keeps PortAudio alive while it lives.
struct OutputState {
    std::shared_ptr<Session> session;
    std::shared_ptr<MixCore> core;
    Pacer pacer;  // callback thread, or the waking thread before a start
    // The stream's own latency, for hosts that give no timing; set by whoever opens it.
    std::atomic<double> fallbackDelay{0};
    PaStreamParameters params{};
    uint32_t rate = 0;
    unsigned long period = 0;
    double writeLead = 0;  // seconds the write cursor runs ahead of the mix
    // The stream starts on the first play, the device's buffer filled from
    // the mix rather than with silence (see OpenOutput).
    bool quickStart = false;
    bool wakeWanted = false;  // UI thread: a buffer started; Check wakes the stream
    std::unique_ptr<OutputMachine> machine;
};

// Milliseconds from the write cursor to the listener: the server's buffer
// as the callback last saw it (kept over a rest), or the stream's own
// latency before the first callback, and the mix ahead of the cursor.
uint32_t HeardLead(const OutputState& state) {
    const uint32_t frames = state.core->OutputDelayFrames();
    const double delay = frames > 0 ? static_cast<double>(frames) / state.rate
                                    : state.fallbackDelay.load(std::memory_order_relaxed);
    return static_cast<uint32_t>((delay + state.writeLead) * 1000);
}

int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* time,
             PaStreamCallbackFlags, void* user) {
    AskRealtimeOnce("output");
    auto* state = static_cast<OutputState*>(user);
    // How long until these frames are heard: the sound server's buffer.
    const double delay = time != nullptr && time->outputBufferDacTime > time->currentTime
                             ? time->outputBufferDacTime - time->currentTime
                             : state->fallbackDelay.load(std::memory_order_relaxed);
    state->core->SetOutputDelay(delay);
    state->core->Render(static_cast<int16_t*>(output), static_cast<uint32_t>(frames));
    state->pacer.Count(frames);
    return state->machine->OnPeriod() ? paContinue : paComplete;
}

// The machine's stream operations on PortAudio.
class PaStreamOps final : public OutputMachine::StreamOps {
  public:
    explicit PaStreamOps(OutputState* state) : state_(state) {}
    int64_t NowMs() override { return pa::NowMs(); }
    OutputMachine::Stream Open() override {
        PaStream* stream = OpenStopped();
        if (stream != nullptr && !Start(stream)) {
            CloseStream(stream);
            return nullptr;
        }
        return stream;
    }
    // Opens a stream without starting it; null when refused.
    PaStream* OpenStopped() {
        PaStream* stream = nullptr;
        // A quick stream's device buffer is filled by the callback before it
        // starts, so what plays first is heard first, not the buffer's
        // length of silence later.
        const PaStreamFlags flags =
            state_->quickStart ? paPrimeOutputBuffersUsingStreamCallback : paNoFlag;
        if (OpenStream(&stream, nullptr, &state_->params, state_->rate, state_->period, &Callback,
                       state_, flags) != paNoError) {
            return nullptr;
        }
        if (const PaStreamInfo* info = Pa_GetStreamInfo(stream)) {
            state_->fallbackDelay.store(info->outputLatency, std::memory_order_relaxed);
        }
        return stream;
    }
    bool Start(OutputMachine::Stream stream) override {
        state_->pacer = Pacer(state_->rate);
        PrepareRealtime();
        return Pa_StartStream(static_cast<PaStream*>(stream)) == paNoError;
    }
    void Close(OutputMachine::Stream stream) override {
        Pa_AbortStream(stream);
        CloseStream(static_cast<PaStream*>(stream));
    }
    bool Active(OutputMachine::Stream stream) override {
        return Pa_IsStreamActive(static_cast<PaStream*>(stream)) == 1;
    }
    bool Quiet() override { return state_->core->Quiet(); }

  private:
    OutputState* state_;
};

class PaOutputDevice final : public OutputDevice {
  public:
    PaOutputDevice(std::shared_ptr<Session> session, bool quickStart)
        : session_(std::move(session)), quickStart_(quickStart) {}

    ~PaOutputDevice() override {
        if (!state_) return;
        state_->core->Close();
        // Nothing waits for a drain: a caller that needs its sound heard
        // waits for the play cursor, which is the heard position. A stream
        // still being opened is closed by the job that opens it.
        if (auto stream = state_->machine->Close()) {
            CloseStreamDetached(static_cast<PaStream*>(stream), state_, CLOSE_DEADLINE);
        }
    }

    bool Open(PaDeviceIndex device) {
        if (device == paNoDevice) return false;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (!info || info->maxOutputChannels < 1) return false;
        const int channels = info->maxOutputChannels >= 2 ? 2 : 1;
        const double rates[] = {44100, 48000, info->defaultSampleRate,
                                double{wave::SYSTEM_SAMPLE_RATE}};
        for (int ch : {channels, 1}) {
            for (double rate : rates) {
                if (rate < MIN_RATE || rate > MAX_RATE) continue;
                if (TryOpen(device, info, ch, static_cast<uint32_t>(rate))) return true;
            }
        }
        return false;
    }

    std::unique_ptr<OutputBuffer> CreateBuffer(const PcmFormat& format, uint32_t bytes) override {
        return state_->core->CreateBuffer(format, bytes);
    }

    uint32_t HeardLeadMs() override { return HeardLead(*state_); }
    bool Fetched() const override { return !state_->core->NothingFetched(); }

    base::Result Check() override {
        if (std::exchange(state_->wakeWanted, false)) {
            // Everything the buffers have is written by now: the stream
            // takes its first periods from it as it starts.
            state_->core->SetNothingFetched(false);
            DebugNote("sound output starts");
            state_->machine->Wake(state_);
        }
        bool rested = false;
        std::string lost = state_->machine->Check(&rested);
        // Said here rather than by the callback, which never writes to a file.
        if (rested) DebugNote("sound output rests");
        if (lost.empty()) return {};
        state_->core->Close();
        return base::Result::Fail(lost);
    }

  private:
    bool TryOpen(PaDeviceIndex device, const PaDeviceInfo* info, int channels, uint32_t rate) {
        PaStreamParameters out{};
        out.device = device;
        out.channelCount = channels;
        out.sampleFormat = paInt16;
        out.suggestedLatency = std::max(info->defaultLowOutputLatency, OUTPUT_LATENCY_SECONDS);
        if (Pa_IsFormatSupported(nullptr, &out, rate) != paFormatIsSupported) return false;
        // The callback renders 40 ms at a time (a quarter of the device
        // buffer: fewer wake-ups for the program and the sound server); the
        // write cursor runs two periods ahead of the mix position.
        const unsigned long period = rate / 25;
        auto state = std::make_shared<OutputState>();
        state->session = session_;
        state->writeLead = 2.0 * static_cast<double>(period) / rate;
        state->core = MixCore::Create(rate, channels, state->writeLead);
        state->params = out;
        state->rate = rate;
        state->period = period;
        state->quickStart = quickStart_;
        auto ops = std::make_unique<PaStreamOps>(state.get());
        PaStreamOps& paOps = *ops;
        state->machine = std::make_unique<OutputMachine>(std::move(ops));
        if (quickStart_) {
            // Opened now, so a refusal is reported now; started by Check
            // once a buffer plays.
            PaStream* stream = paOps.OpenStopped();
            if (stream == nullptr) return false;
            state->machine->Prepared(stream);
            state->core->SetNothingFetched(true);
        } else {
            auto* stream = static_cast<PaStream*>(paOps.Open());
            if (stream == nullptr) return false;
            state->machine->Started(stream);
        }
        // The hook holds the state weakly: the core it lives in is the state's.
        state->core->SetWakeHook([weak = std::weak_ptr<OutputState>(state)] {
            if (auto s = weak.lock()) {
                if (s->quickStart) {
                    s->wakeWanted = true;
                    return;
                }
                // The hook runs twice for each buffer started; the second
                // finds the stream awake already.
                const uint32_t lead = HeardLead(*s);
                if (s->machine->Wake(s)) {
                    DebugNote("sound output wakes (heard " + std::to_string(lead) +
                              " ms after the write cursor)");
                }
            }
        });
        state_ = std::move(state);
        return true;
    }

    std::shared_ptr<Session> session_;
    const bool quickStart_;
    std::shared_ptr<OutputState> state_;
};

}  // namespace

std::unique_ptr<OutputDevice> OpenOutput(PaDeviceIndex device, std::shared_ptr<Session> session,
                                         bool quickStart) {
    auto output = std::make_unique<PaOutputDevice>(std::move(session), quickStart);
    if (!output->Open(device)) return nullptr;
    return output;
}

}  // namespace vocalith::device::pa
