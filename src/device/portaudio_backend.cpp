// The PortAudio backend: the chosen (or default) output device plays the mix
// of every playing buffer from PortAudio's callback; the chosen (or default)
// input device's callback feeds the capture ring at 11025 Hz mono.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/user_errors.h"
#include "device/backends.h"
#include "device/capture_ring.h"
#include "device/mix_core.h"
#include "device/pcm_convert.h"

// PortAudio's log hook; its header is not installed.
extern "C" {
typedef void (*PaUtilLogCallback)(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback callback);
}

namespace vocalith::device {

namespace {

using Clock = std::chrono::steady_clock;
// A sink that takes data faster than real time (a null sound device) is held
// back to real time once it runs this far ahead, so it cannot spin a core.
constexpr double PACE_AHEAD_SECONDS = 0.25;
// A stream whose callback has not run for this long has lost its device:
// long enough for a loaded machine and a server's bursts, short enough that
// a frozen server is reported within two seconds.
constexpr int64_t STALL_LIMIT_MS = 1500;
// The longest a close waits for a stream that a frozen server holds.
constexpr std::chrono::milliseconds CLOSE_DEADLINE{200};
// The longest an open waits for a sound server that does not answer: well
// beyond what an open takes on a loaded machine (a tenth of a second).
constexpr std::chrono::milliseconds OPEN_DEADLINE{5000};
// Starting a stream on a sound server can hold the callback back for more
// than a second after its first few periods; stalls count only after this.
constexpr int64_t STARTUP_GRACE_MS = 3000;
// The device buffer asked for. PipeWire keeps little more than half of what
// is asked for; with 100 ms that was 60 to 80 ms, and a callback held back
// 160 ms on a busy machine emptied it (a gap heard). The speech stream
// starts 450 ms after speech is queued, so the extra latency is small.
constexpr double OUTPUT_LATENCY_SECONDS = 0.2;
// A stream rests after this long with no buffer playing: long enough that
// the last sound has left the sound server's buffer, and that a burst of
// short sounds keeps one stream.
constexpr int64_t REST_AFTER_MS = 500;

// The sound libraries' notes (devices ALSA probed and could not open, a JACK
// server that is not running, underruns) help whoever looks into a problem,
// never the user: they go to the debug log, in the libraries' own format.
void AlsaNote(const char* file, int line, const char* function, int err, const char* format, ...) {
    if (!base::DebugLogShown()) return;
    std::FILE* log = base::UserErrors();
    std::fprintf(log, "ALSA lib %s:%i:(%s) ", file, line, function);
    va_list args;
    va_start(args, format);
    std::vfprintf(log, format, args);
    va_end(args);
    if (err != 0) std::fprintf(log, ": %s", snd_strerror(err));
    std::fputc('\n', log);
}

void JackNote(const char* message) {
    if (base::DebugLogShown()) std::fprintf(base::UserErrors(), "%s\n", message);
}

// PortAudio's own notes ("Expression ... failed in ...", when a device goes
// away) arrive whole, newline included.
void PortAudioNote(const char* message) {
    if (base::DebugLogShown()) std::fputs(message, base::UserErrors());
}

// PortAudio is initialised while any session lives and terminated after the
// last one, so a later session sees the sound configuration as it is then.
class PaSession {
  public:
    static std::shared_ptr<PaSession> Acquire() {
        static std::weak_ptr<PaSession> current;
        std::lock_guard lock(Mutex());
        if (auto session = current.lock()) return session->ok_ ? session : nullptr;
        auto session = std::shared_ptr<PaSession>(new PaSession());
        current = session;
        return session->ok_ ? session : nullptr;
    }
    ~PaSession() {
        // The last holder may be a thread closing a stream while another
        // opens one: the end and a new start take turns.
        std::lock_guard lock(Mutex());
        if (ok_) Pa_Terminate();
    }

  private:
    // Recursive: a session that failed to start ends inside Acquire.
    static std::recursive_mutex& Mutex() {
        static std::recursive_mutex m;
        return m;
    }

    PaSession() {
        // Probing the host APIs gives pages of notes about devices that are
        // not there. PortAudio asks JACK not to start a server for the probe.
        snd_lib_error_set_handler(AlsaNote);
        jack_set_error_function(JackNote);
        jack_set_info_function(JackNote);
        PaUtil_SetDebugPrintFunction(PortAudioNote);
        ok_ = Pa_Initialize() == paNoError;
    }
    bool ok_ = false;
};

// The device called `name` that offers `direction`, the default one for an
// empty name; paNoDevice when there is none. Devices are named rather than
// numbered between a choice and an open, so a choice survives a change in
// PortAudio's numbering.
PaDeviceIndex FindPaDevice(const std::string& name, DeviceDirection direction) {
    const bool input = direction == DeviceDirection::Input;
    if (name.empty()) return input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->name == nullptr || name != info->name) continue;
        if ((input ? info->maxInputChannels : info->maxOutputChannels) > 0) return i;
    }
    return paNoDevice;
}

// Holds a callback or reading thread back to real time when the device
// consumes or produces frames without waiting (it never does on real hardware).
class Pacer {
  public:
    explicit Pacer(uint32_t rate) : rate_(rate) {}
    void Count(uint64_t frames) {
        if (frames_ == 0) start_ = Clock::now();
        frames_ += frames;
        double ahead = static_cast<double>(frames_) / rate_ -
                       std::chrono::duration<double>(Clock::now() - start_).count();
        if (ahead > PACE_AHEAD_SECONDS) {
            std::this_thread::sleep_for(
                std::chrono::duration<double>(std::min(ahead - PACE_AHEAD_SECONDS / 2, 0.1)));
        }
    }

  private:
    uint32_t rate_;
    uint64_t frames_ = 0;
    Clock::time_point start_;
};

// The real-time priority the callback threads ask for: below the sound
// servers' own threads (PipeWire's run at 88, JACK's around 70), so the
// server that takes our data is never held up by us.
constexpr int REALTIME_PRIORITY = 10;

// Asked once by each callback thread, on its first call. A thread at
// ordinary priority on a busy machine waits its turn for tens of
// milliseconds, longer than a sound server waits between asking for data
// and playing it, and the listener hears a hole. Where the system grants no
// real-time priority (no privilege, RLIMIT_RTPRIO 0) the thread keeps its
// ordinary scheduling; a lower limit is used as it is.
void AskRealtimeOnce(const char* which) {
    thread_local bool asked = false;
    if (asked) return;
    asked = true;
    sched_param param{};
    param.sched_priority = REALTIME_PRIORITY;
    int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    rlimit limit{};
    if (error != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 &&
        limit.rlim_cur < static_cast<rlim_t>(REALTIME_PRIORITY)) {
        param.sched_priority = static_cast<int>(limit.rlim_cur);
        error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
    if (!base::DebugLogShown()) return;
    if (error == 0) {
        std::fprintf(base::UserErrors(),
                     "vocalith: the sound %s thread runs at real-time priority %d\n", which,
                     param.sched_priority);
    } else {
        std::fprintf(base::UserErrors(),
                     "vocalith: the sound %s thread has no real-time priority (%s)\n", which,
                     std::strerror(error));
    }
}

// What the output callback reaches: owned jointly by the device and by
// whoever closes its stream, so a stream whose close is stuck in a frozen
// sound server can outlive the device object and still call back safely.
//
// While no buffer plays the stream rests: after REST_AFTER_MS of silence the
// callback ends it, and the sound server has no stream of ours to serve. A
// buffer that starts to play wakes it: a thread of its own closes the ended
// stream and opens a fresh one (a stopped stream started again is held back
// for seconds by PulseAudio; a new one runs at once on it and on PipeWire).
struct PaOutputState {
    enum class Phase { Running, Resting, Waking, Failed };

    std::shared_ptr<MixCore> core;
    Pacer pacer{11025};  // callback thread only, or the waking thread before a start
    // When the callback last ran; set before the stream starts.
    std::atomic<int64_t> lastCallbackMs{0};
    double fallbackDelay = 0;  // the stream's own latency, for hosts that give no timing
    int64_t quietSinceMs = 0;  // callback thread: when nothing started playing; 0 while playing

    // How the stream is opened again after a rest.
    PaStreamParameters params{};
    uint32_t rate = 0;
    unsigned long period = 0;

    std::mutex m;                // guards the four below; the callback only try_locks it
    PaStream* stream = nullptr;  // null while a waking thread opens a new one
    Phase phase = Phase::Running;
    bool closed = false;      // the device is gone: a stream opened late is closed at once
    int64_t wakeStartMs = 0;  // when the last wake began
};

// PortAudio keeps its open streams in one unguarded list: opening and
// closing streams on different threads (a reopen while a stuck close
// finishes) take turns through this lock. Stopping a stream, the call a
// frozen server holds, runs outside it.
std::mutex& StreamListMutex() {
    static std::mutex m;
    return m;
}

PaError OpenStreamLocked(PaStream** stream, const PaStreamParameters* in,
                         const PaStreamParameters* out, uint32_t rate, unsigned long period,
                         PaStreamCallback* callback, void* user) {
    std::lock_guard lock(StreamListMutex());
    return Pa_OpenStream(stream, in, out, rate, period, paClipOff, callback, user);
}

void CloseStreamLocked(PaStream* stream) {
    std::lock_guard lock(StreamListMutex());
    Pa_CloseStream(stream);
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// Stops and closes `stream` on a thread of its own and waits at most
// `deadline` for it: a frozen sound server holds the close inside the sound
// library until the server runs again, and neither the window nor `say` may
// wait for that. The thread keeps the callback's state and PortAudio alive.
void CloseStreamDetached(PaStream* stream, std::shared_ptr<const void> state,
                         std::shared_ptr<PaSession> session, std::chrono::milliseconds deadline) {
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    try {
        std::thread([stream, state = std::move(state), session = std::move(session), done] {
            Pa_AbortStream(stream);
            CloseStreamLocked(stream);
            std::lock_guard lock(done->m);
            done->done = true;
            done->cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        Pa_AbortStream(stream);  // no thread to spare: close here
        CloseStreamLocked(stream);
        return;
    }
    std::unique_lock lock(done->m);
    done->cv.wait_for(lock, deadline, [&] { return done->done; });
}

constexpr const char* kStopped = "the sound output stopped (the sound server or device went away)";

std::string StalledFor(int64_t ms) {
    return "the sound output stopped taking data (for " + std::to_string(ms) +
           " ms; the sound server or device went away)";
}

// A resting stream's note for whoever reads the debug log.
void RestNote(const char* what) {
    if (base::DebugLogShown())
        std::fprintf(base::UserErrors(), "vocalith: sound output %s\n", what);
}

class PaOutputDevice final : public OutputDevice {
  public:
    ~PaOutputDevice() override {
        if (!state_) return;
        if (state_->core) state_->core->Close();
        PaStream* stream = nullptr;
        {
            std::lock_guard lock(state_->m);
            state_->closed = true;
            stream = std::exchange(state_->stream, nullptr);
        }
        // Nothing waits for a drain: a caller that needs its sound heard
        // waits for the play cursor, which is the heard position. A stream
        // still being opened is closed by the thread that opens it.
        if (stream) CloseStreamDetached(stream, state_, session_, CLOSE_DEADLINE);
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

    // A running stream takes a period every 40 ms or so, so a stream that
    // PortAudio reports stopped, or whose callback has not run for
    // STALL_LIMIT_MS, has lost its device (the sound server went away or
    // froze, the card was unplugged); so has a stream that a wake could not
    // open, or has not opened within that time. A busy machine or a server
    // taking audio in bursts holds the callback back for a few hundred
    // milliseconds, not for seconds. A resting stream cannot tell.
    base::Result Check() override {
        if (!lost_.empty()) return base::Result::Fail(lost_);
        const int64_t now = NowMs();
        {
            std::lock_guard lock(state_->m);
            switch (state_->phase) {
                case PaOutputState::Phase::Resting:
                    return {};
                case PaOutputState::Phase::Failed:
                    lost_ = kStopped;
                    break;
                case PaOutputState::Phase::Waking:
                    if (now - state_->wakeStartMs > STALL_LIMIT_MS) {
                        lost_ = StalledFor(now - state_->wakeStartMs);
                    }
                    break;
                case PaOutputState::Phase::Running:
                    if (state_->stream == nullptr) return {};
                    if (Pa_IsStreamActive(state_->stream) != 1) {
                        lost_ = kStopped;
                    } else {
                        const int64_t silentMs =
                            now - state_->lastCallbackMs.load(std::memory_order_acquire);
                        if (now - startedMs_ > STARTUP_GRACE_MS && silentMs > STALL_LIMIT_MS) {
                            lost_ = StalledFor(silentMs);
                        }
                    }
                    break;
            }
        }
        if (lost_.empty()) return {};
        state_->core->Close();
        return base::Result::Fail(lost_);
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
        auto state = std::make_shared<PaOutputState>();
        state->core = MixCore::Create(rate, channels, 2.0 * static_cast<double>(period) / rate);
        state->pacer = Pacer(rate);
        state->params = out;
        state->rate = rate;
        state->period = period;
        PaStream* stream = nullptr;
        if (OpenStreamLocked(&stream, nullptr, &out, rate, period, &Callback, state.get()) !=
            paNoError) {
            return false;
        }
        if (const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream)) {
            state->fallbackDelay = streamInfo->outputLatency;
        }
        startedMs_ = NowMs();
        state->lastCallbackMs.store(startedMs_, std::memory_order_release);
        if (Pa_StartStream(stream) != paNoError) {
            CloseStreamLocked(stream);
            return false;
        }
        state->stream = stream;
        // The hook holds the state weakly: the core it lives in is the state's.
        state->core->SetWakeHook(
            [weak = std::weak_ptr<PaOutputState>(state), session = std::weak_ptr(session_)] {
                if (auto s = weak.lock()) Wake(s, session.lock());
            });
        state_ = std::move(state);
        return true;
    }

    // UI thread, when a buffer starts to play: a resting stream is replaced
    // by a fresh one, opened on a thread of its own (a frozen sound server
    // holds an open for good; Check reports that after STALL_LIMIT_MS).
    static void Wake(const std::shared_ptr<PaOutputState>& state,
                     std::shared_ptr<PaSession> session) {
        PaStream* ended = nullptr;
        {
            std::lock_guard lock(state->m);
            if (state->phase != PaOutputState::Phase::Resting || state->closed) return;
            state->phase = PaOutputState::Phase::Waking;
            state->wakeStartMs = NowMs();
            ended = std::exchange(state->stream, nullptr);
        }
        RestNote("wakes");
        auto reopen = [state, ended, session] {
            if (ended) {
                Pa_AbortStream(ended);
                CloseStreamLocked(ended);
            }
            PaStream* stream = nullptr;
            bool ok = OpenStreamLocked(&stream, nullptr, &state->params, state->rate, state->period,
                                       &Callback, state.get()) == paNoError;
            if (ok) {
                state->pacer = Pacer(state->rate);
                state->quietSinceMs = 0;
                state->lastCallbackMs.store(NowMs(), std::memory_order_release);
                if (Pa_StartStream(stream) != paNoError) {
                    CloseStreamLocked(stream);
                    ok = false;
                }
            }
            std::unique_lock lock(state->m);
            if (state->closed) {
                lock.unlock();
                if (ok) {
                    Pa_AbortStream(stream);
                    CloseStreamLocked(stream);
                }
                return;
            }
            state->stream = ok ? stream : nullptr;
            state->phase = ok ? PaOutputState::Phase::Running : PaOutputState::Phase::Failed;
        };
        try {
            std::thread(reopen).detach();
        } catch (const std::system_error&) {
            reopen();  // no thread to spare: open here
        }
    }

    static int Callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags, void* user) {
        AskRealtimeOnce("output");
        auto* state = static_cast<PaOutputState*>(user);
        const int64_t now = NowMs();
        state->lastCallbackMs.store(now, std::memory_order_release);
        // How long until these frames are heard: the sound server's buffer.
        const double delay = time != nullptr && time->outputBufferDacTime > time->currentTime
                                 ? time->outputBufferDacTime - time->currentTime
                                 : state->fallbackDelay;
        state->core->SetOutputDelay(delay);
        state->core->Render(static_cast<int16_t*>(output), static_cast<uint32_t>(frames));
        state->pacer.Count(frames);
        if (!state->core->Quiet()) {
            state->quietSinceMs = 0;
            return paContinue;
        }
        if (state->quietSinceMs == 0) state->quietSinceMs = now;
        if (now - state->quietSinceMs < REST_AFTER_MS) return paContinue;
        // Decided under the lock a wake takes, and on a fresh look at the
        // buffers: one that starts now either is seen here or wakes the
        // stream after it has ended.
        std::unique_lock lock(state->m, std::try_to_lock);
        if (!lock.owns_lock() || state->phase != PaOutputState::Phase::Running ||
            !state->core->Quiet()) {
            return paContinue;
        }
        state->phase = PaOutputState::Phase::Resting;
        RestNote("rests");
        return paComplete;
    }

    std::shared_ptr<PaSession> session_ = PaSession::Acquire();
    std::shared_ptr<PaOutputState> state_;
    int64_t startedMs_ = 0;
    std::string lost_;  // UI thread only: why the device counts as lost

  public:
    bool HasSession() const { return session_ != nullptr; }
};

// What the input callback reaches; shared with the closer like PaOutputState.
struct PaCaptureState {
    PaCaptureState(std::shared_ptr<CaptureRing> r, uint32_t inRate, int inChannels)
        : ring(std::move(r)),
          rate(inRate),
          channels(inChannels),
          resampler(inRate, wave::SYSTEM_SAMPLE_RATE, inChannels) {
        mono.reserve(inRate / 10);
    }
    std::shared_ptr<CaptureRing> ring;
    uint32_t rate;
    int channels;
    StreamResampler resampler;  // callback thread only, like `mono`
    std::vector<int16_t> mono;
    Pacer pacer{11025};
};

class PaCaptureDevice final : public CaptureDevice {
  public:
    explicit PaCaptureDevice(std::string name) : name_(std::move(name)) {}
    ~PaCaptureDevice() override { Close(); }

    bool HasSession() const { return session_ != nullptr; }

    bool Open(const PcmFormat& format, int bufferCount, uint32_t bufferBytes, CaptureSink* sink,
              UiDispatcher* dispatcher) override {
        if (!ring_->Open(format, bufferCount, bufferBytes, sink, dispatcher)) return false;
        if (!stream_ && !OpenStream()) {
            ring_->Close();
            return false;
        }
        return true;
    }
    void AddBuffer(int index) override { ring_->AddBuffer(index); }
    void Start() override { ring_->Start(); }
    void Stop() override { ring_->Stop(); }
    void Reset() override { ring_->Reset(); }
    void Close() override {
        ring_->Close();
        if (stream_) {
            CloseStreamDetached(stream_, state_, session_, CLOSE_DEADLINE);
            stream_ = nullptr;
            state_.reset();
        }
    }

  private:
    bool OpenStream() {
        const PaDeviceIndex device = FindPaDevice(name_, DeviceDirection::Input);
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
            auto state = std::make_shared<PaCaptureState>(ring_, rate, c.channels);
            state->pacer = Pacer(rate);
            PaStream* stream = nullptr;
            // The callback interface: the library's own thread waits for
            // input, where a blocking read would poll for it.
            if (OpenStreamLocked(&stream, &in, nullptr, rate, rate / 100, &Callback, state.get()) !=
                paNoError) {
                continue;
            }
            if (Pa_StartStream(stream) != paNoError) {
                CloseStreamLocked(stream);
                continue;
            }
            state_ = std::move(state);
            stream_ = stream;
            return true;
        }
        return false;
    }

    // Input callback: the period, at 11025 Hz mono, into the ring.
    static int Callback(const void* input, void*, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
        AskRealtimeOnce("input");
        auto* state = static_cast<PaCaptureState*>(user);
        if (input == nullptr) return paContinue;
        const auto* in = static_cast<const int16_t*>(input);
        if (state->rate == wave::SYSTEM_SAMPLE_RATE && state->channels == 1) {
            state->ring->Push(in, frames);
        } else {
            state->mono.clear();
            state->resampler.Process(in, frames, state->mono);
            state->ring->Push(state->mono.data(), state->mono.size());
        }
        state->pacer.Count(frames);
        return paContinue;
    }

    std::string name_;  // the device's name; empty for the default
    std::shared_ptr<PaSession> session_ = PaSession::Acquire();
    std::shared_ptr<CaptureRing> ring_ = CaptureRing::Create();
    std::shared_ptr<PaCaptureState> state_;  // while the stream is open
    PaStream* stream_ = nullptr;
};

// An output device opened by name (empty: the default), or why not.
struct OpenedOutput {
    std::unique_ptr<OutputDevice> device;
    std::string failure;
};

OpenedOutput OpenOutputNamed(const std::string& name) {
    const std::shared_ptr<PaSession> session = PaSession::Acquire();
    if (!session)
        return {nullptr, "no audio output device (the sound system could not be started)"};
    const PaDeviceIndex index = FindPaDevice(name, DeviceDirection::Output);
    if (index == paNoDevice) {
        return {nullptr, name.empty()
                             ? "no audio output device (none found; is a sound server running?)"
                             : "no audio output device ('" + name + "' is not there)"};
    }
    auto device = std::make_unique<PaOutputDevice>();
    if (!device->HasSession() || !device->Open(index)) {
        return {nullptr, name.empty()
                             ? "no audio output device (the default output refused to open)"
                             : "no audio output device ('" + name + "' refused to open)"};
    }
    return {std::move(device), {}};
}

class PortAudioBackend final : public AudioBackend {
  public:
    // Opening talks to the sound server, and a server that takes the
    // connection but never answers (frozen, or PipeWire without its session
    // manager) holds the call inside the sound library for good. The open
    // runs on a thread of its own, and the caller waits at most
    // OPEN_DEADLINE for it.
    std::unique_ptr<OutputDevice> OpenOutput() override {
        struct Outcome {
            std::mutex m;
            std::condition_variable cv;
            bool done = false;
            OpenedOutput opened;
        };
        auto outcome = std::make_shared<Outcome>();
        try {
            std::thread([outcome, name = outputName_] {
                OpenedOutput opened = OpenOutputNamed(name);
                std::lock_guard lock(outcome->m);
                outcome->opened = std::move(opened);
                outcome->done = true;
                outcome->cv.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            OpenedOutput opened = OpenOutputNamed(outputName_);  // no thread to spare
            failure_ = std::move(opened.failure);
            return std::move(opened.device);
        }
        std::unique_lock lock(outcome->m);
        if (!outcome->cv.wait_for(lock, OPEN_DEADLINE, [&] { return outcome->done; })) {
            // A device that opens after all is closed by the outcome's last holder.
            failure_ = "no audio output device (the sound server does not answer)";
            return nullptr;
        }
        failure_ = std::move(outcome->opened.failure);
        // PortAudio stays initialised while the backend lives; the device
        // holds it already, so this does not reach the server.
        if (outcome->opened.device) Session();
        return std::move(outcome->opened.device);
    }
    std::string OutputFailure() const override { return failure_; }
    std::function<std::unique_ptr<OutputDevice>()> OutputOpener() override {
        // The backend lets go of PortAudio, so that the open starts it
        // afresh when nothing else holds it: a sound server that was not
        // there when PortAudio looked for devices is found then. Everything
        // the open needs is copied: the thread that runs it may outlive
        // this backend.
        session_.reset();
        return [name = outputName_]() -> std::unique_ptr<OutputDevice> {
            return OpenOutputNamed(name).device;
        };
    }
    std::unique_ptr<CaptureDevice> OpenCapture() override {
        if (!Session() || FindPaDevice(inputName_, DeviceDirection::Input) == paNoDevice) {
            return nullptr;
        }
        // The device itself is reached when the engine opens it with its buffers.
        auto device = std::make_unique<PaCaptureDevice>(inputName_);
        if (!device->HasSession()) return nullptr;
        return device;
    }

    std::vector<DeviceInfo> ListDevices() override {
        std::vector<DeviceInfo> devices;
        if (!Session()) return devices;
        const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
        const PaDeviceIndex defaultOutput = Pa_GetDefaultOutputDevice();
        const PaDeviceIndex count = Pa_GetDeviceCount();
        for (PaDeviceIndex i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info == nullptr || info->name == nullptr) continue;
            const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
            DeviceInfo device;
            device.index = i;
            device.name = info->name;
            device.hostApi = api != nullptr && api->name != nullptr ? api->name : "";
            device.input = info->maxInputChannels > 0;
            device.output = info->maxOutputChannels > 0;
            device.defaultInput = i == defaultInput;
            device.defaultOutput = i == defaultOutput;
            devices.push_back(std::move(device));
        }
        return devices;
    }

    void UseDevices(const std::string& input, const std::string& output) override {
        inputName_ = input;
        outputName_ = output;
    }

  private:
    // PortAudio is reached on the first open, not when the backend is chosen,
    // and stays initialised while the backend lives.
    bool Session() {
        if (!session_) session_ = PaSession::Acquire();
        return session_ != nullptr;
    }
    std::shared_ptr<PaSession> session_;
    std::string failure_ = "no audio output device";
    std::string inputName_;   // empty: the default input
    std::string outputName_;  // empty: the default output
};

}  // namespace

std::unique_ptr<AudioBackend> MakePortAudioBackend() {
    return std::make_unique<PortAudioBackend>();
}

}  // namespace vocalith::device
