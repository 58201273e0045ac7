// The sound server's default output on its own protocol: a threaded main
// loop of libpulse calls for data, the mix fills it, and an OutputMachine
// decides when the stream rests, wakes and counts as lost, as for
// PortAudio's streams.
#include "device/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <utility>

#include "device/mix_core.h"
#include "device/output_machine.h"
#include "device/pa_session.h"
#include "device/realtime.h"

namespace vocalith::device::pulse {

namespace {

constexpr uint32_t RATE = 44100;
constexpr int CHANNELS = 2;
constexpr size_t FRAME_BYTES = CHANNELS * sizeof(int16_t);
// The server's buffer, as for PortAudio's streams (see pa_output.cpp): a
// callback held back on a busy machine must not empty it.
constexpr uint32_t TARGET_MS = 200;
// How much the server asks for at a time, as PortAudio's 40 ms periods.
constexpr uint32_t REQUEST_MS = 40;

constexpr uint32_t MsBytes(uint32_t ms) {
    return RATE * ms / 1000 * static_cast<uint32_t>(FRAME_BYTES);
}

// The main loop and the connection: owned jointly by the device and by a
// wake's job, so a job still opening a stream keeps them alive.
struct Connection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    ~Connection() {
        if (loop != nullptr) pa_threaded_mainloop_stop(loop);
        if (context != nullptr) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop != nullptr) pa_threaded_mainloop_free(loop);
    }
};

// Holds the main loop's lock for a scope (everything that touches libpulse
// outside its callbacks).
class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

struct OutputState;

// One stream of the output; the machine's handle.
struct PulseStream {
    OutputState* state = nullptr;
    pa_stream* stream = nullptr;
    bool started = false;  // main loop's lock: a prepared stream fills only once started
    bool ended = false;    // main loop's lock: came to rest; fills no more
};

struct OutputState {
    std::shared_ptr<Connection> connection;
    std::shared_ptr<MixCore> core;
    bool wakeWanted = false;  // UI thread: a buffer started; Check starts the stream
    std::unique_ptr<OutputMachine> machine;
};

void Signal(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}

// Main loop thread, its lock held: fills what the server asks for from the
// mix, then lets the machine decide whether the stream rests.
void Fill(PulseStream& s, size_t bytes) {
    OutputState& state = *s.state;
    while (bytes >= FRAME_BYTES) {
        void* data = nullptr;
        size_t n = bytes;
        if (pa_stream_begin_write(s.stream, &data, &n) < 0 || data == nullptr) break;
        n -= n % FRAME_BYTES;
        if (n == 0) {
            pa_stream_cancel_write(s.stream);
            break;
        }
        // What the server holds ahead of these frames, and these frames
        // themselves: a buffer's play cursor, counted from the end of what
        // was rendered, is then where the listener is now, not up to a
        // request ahead (that would end a command's speech before its last
        // sounds were heard).
        pa_usec_t latency = 0;
        int negative = 0;
        const double held = pa_stream_get_latency(s.stream, &latency, &negative) == 0 && !negative
                                ? static_cast<double>(latency) / 1e6
                                : TARGET_MS / 1000.0;
        state.core->SetOutputDelay(held + static_cast<double>(n / FRAME_BYTES) / RATE);
        state.core->Render(static_cast<int16_t*>(data), static_cast<uint32_t>(n / FRAME_BYTES));
        if (pa_stream_write(s.stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) break;
        bytes -= n;
    }
    if (!state.machine->OnPeriod()) {
        s.ended = true;
        pa_operation* op = pa_stream_cork(s.stream, 1, nullptr, nullptr);
        if (op != nullptr) pa_operation_unref(op);
    }
}

void OnWrite(pa_stream*, size_t bytes, void* user) {
    auto& s = *static_cast<PulseStream*>(user);
    if (!s.started || s.ended) return;
    // Asked once the stream plays: a prepared stream's early requests come
    // before the priority helper runs.
    AskRealtimeOnce("output");
    Fill(s, bytes);
}

// The server ran out of what was written before it was time to play it: a
// hole is heard. Told when debugging, to tell such a hole from one the
// server makes while it holds what it needs.
void OnUnderflow(pa_stream*, void* user) {
    const auto& s = *static_cast<PulseStream*>(user);
    if (s.started && !s.ended) pa::DebugNote("the sound server ran out of sound to play");
}

void OnStreamState(pa_stream*, void* user) {
    Signal(static_cast<PulseStream*>(user)->state->connection->loop);
}

void OnContextState(pa_context*, void* user) {
    Signal(static_cast<pa_threaded_mainloop*>(user));
}

// The machine's stream operations on libpulse.
class PulseStreamOps final : public OutputMachine::StreamOps {
  public:
    explicit PulseStreamOps(OutputState* state) : state_(state) {}
    int64_t NowMs() override { return pa::NowMs(); }
    OutputMachine::Stream Open() override {
        PulseStream* s = Connect(false);
        if (s != nullptr && !Start(s)) {
            Close(s);
            return nullptr;
        }
        return s;
    }
    // A stream connected to the default output, corked when `prepared`;
    // null when the server refuses it. Waits for the server's answer.
    PulseStream* Connect(bool prepared) {
        const Connection& c = *state_->connection;
        LoopLock lock(c.loop);
        const pa_sample_spec format{PA_SAMPLE_S16LE, RATE, CHANNELS};
        pa_stream* stream = pa_stream_new(c.context, "speech", &format, nullptr);
        if (stream == nullptr) return nullptr;
        auto* s = new PulseStream{state_, stream};
        pa_stream_set_state_callback(stream, OnStreamState, s);
        pa_stream_set_write_callback(stream, OnWrite, s);
        pa_stream_set_underflow_callback(stream, OnUnderflow, s);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = MsBytes(TARGET_MS);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = MsBytes(REQUEST_MS);
        attr.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
            (prepared ? PA_STREAM_START_CORKED : 0));
        if (pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) == 0) {
            for (;;) {
                const pa_stream_state_t now = pa_stream_get_state(stream);
                if (now == PA_STREAM_READY) return s;
                if (!PA_STREAM_IS_GOOD(now)) break;
                pa_threaded_mainloop_wait(c.loop);
            }
        }
        Release(s);
        return nullptr;
    }
    // Fills the server's buffer from the mix and lets it play.
    bool Start(OutputMachine::Stream handle) override {
        auto& s = *static_cast<PulseStream*>(handle);
        PrepareRealtime();
        LoopLock lock(state_->connection->loop);
        if (pa_stream_get_state(s.stream) != PA_STREAM_READY) return false;
        s.started = true;
        const size_t writable = pa_stream_writable_size(s.stream);
        if (writable != static_cast<size_t>(-1)) Fill(s, writable);
        pa_operation* op = pa_stream_cork(s.stream, 0, nullptr, nullptr);
        if (op == nullptr) return false;
        pa_operation_unref(op);
        return true;
    }
    void Close(OutputMachine::Stream handle) override {
        LoopLock lock(state_->connection->loop);
        Release(static_cast<PulseStream*>(handle));
    }
    bool Active(OutputMachine::Stream handle) override {
        const auto& s = *static_cast<PulseStream*>(handle);
        LoopLock lock(state_->connection->loop);
        return pa_stream_get_state(s.stream) == PA_STREAM_READY;
    }
    bool Quiet() override { return state_->core->Quiet(); }

  private:
    // The main loop's lock held: the stream goes, and no callback reaches it.
    static void Release(PulseStream* s) {
        pa_stream_set_write_callback(s->stream, nullptr, nullptr);
        pa_stream_set_state_callback(s->stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream))) pa_stream_disconnect(s->stream);
        pa_stream_unref(s->stream);
        delete s;
    }

    OutputState* state_;
};

class PulseOutputDevice final : public OutputDevice {
  public:
    explicit PulseOutputDevice(std::shared_ptr<OutputState> state) : state_(std::move(state)) {}

    ~PulseOutputDevice() override {
        state_->core->Close();
        // A stream being opened by a wake is closed by the job that opens it.
        if (auto stream = state_->machine->Close()) state_->machine->Ops().Close(stream);
    }

    std::unique_ptr<OutputBuffer> CreateBuffer(const PcmFormat& format, uint32_t bytes) override {
        return state_->core->CreateBuffer(format, bytes);
    }

    uint32_t HeardLeadMs() override {
        const uint32_t frames = state_->core->OutputDelayFrames();
        const uint32_t delayMs = frames > 0 ? frames * 1000 / RATE : TARGET_MS;
        return delayMs + 2 * REQUEST_MS;
    }
    bool Fetched() const override { return !state_->core->NothingFetched(); }

    base::Result Check() override {
        if (std::exchange(state_->wakeWanted, false)) {
            // Everything the buffers have is written by now: the stream
            // takes its first frames from it as it starts.
            state_->core->SetNothingFetched(false);
            pa::DebugNote("sound output starts");
            state_->machine->Wake(state_);
        }
        bool rested = false;
        std::string lost = state_->machine->Check(&rested);
        if (rested) pa::DebugNote("sound output rests");
        if (lost.empty()) return {};
        state_->core->Close();
        return base::Result::Fail(lost);
    }

  private:
    std::shared_ptr<OutputState> state_;
};

// Connects to the server, waiting for its answer; null with `why` when none.
std::shared_ptr<Connection> Connect(std::string* why) {
    auto c = std::make_shared<Connection>();
    c->loop = pa_threaded_mainloop_new();
    if (c->loop == nullptr) {
        *why = "no main loop";
        return nullptr;
    }
    c->context = pa_context_new(pa_threaded_mainloop_get_api(c->loop), "Vocalith");
    if (c->context == nullptr) {
        *why = "no context";
        return nullptr;
    }
    pa_context_set_state_callback(c->context, OnContextState, c->loop);
    // Never starts a server of its own: where none runs, the output takes
    // the long way through PortAudio's devices.
    if (pa_context_connect(c->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(c->loop) < 0) {
        *why = pa_strerror(pa_context_errno(c->context));
        return nullptr;
    }
    LoopLock lock(c->loop);
    for (;;) {
        const pa_context_state_t now = pa_context_get_state(c->context);
        if (now == PA_CONTEXT_READY) return c;
        if (!PA_CONTEXT_IS_GOOD(now)) {
            *why = pa_strerror(pa_context_errno(c->context));
            break;
        }
        pa_threaded_mainloop_wait(c->loop);
    }
    pa_context_set_state_callback(c->context, nullptr, nullptr);
    return nullptr;
}

}  // namespace

std::unique_ptr<OutputDevice> OpenDefaultOutput(std::string* why) {
    auto state = std::make_shared<OutputState>();
    state->connection = Connect(why);
    if (!state->connection) return nullptr;
    // The write cursor runs two requests ahead of the mix.
    state->core = MixCore::Create(RATE, CHANNELS, 2.0 * REQUEST_MS / 1000);
    auto ops = std::make_unique<PulseStreamOps>(state.get());
    PulseStreamOps& pulseOps = *ops;
    state->machine = std::make_unique<OutputMachine>(std::move(ops));
    PulseStream* stream = pulseOps.Connect(true);
    if (stream == nullptr) {
        *why = "the server refused a stream";
        return nullptr;
    }
    state->machine->Prepared(stream);
    state->core->SetNothingFetched(true);
    // The hook holds the state weakly: the core it lives in is the state's.
    state->core->SetWakeHook([weak = std::weak_ptr<OutputState>(state)] {
        if (auto s = weak.lock()) s->wakeWanted = true;
    });
    return std::make_unique<PulseOutputDevice>(std::move(state));
}

}  // namespace vocalith::device::pulse
