// The PortAudio backend: the chosen (or default) output device plays the mix
// of every playing buffer from PortAudio's callback; the chosen (or default)
// input device is read on a thread of our own and fed into the capture ring
// at 11025 Hz mono.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
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
// A stream whose callback has not run for this long has lost its device.
constexpr int64_t STALL_LIMIT_MS = 1000;
// Starting a stream on a sound server can hold the callback back for more
// than a second after its first few periods; stalls count only after this.
constexpr int64_t STARTUP_GRACE_MS = 3000;
// The longest a closing output waits for sound already handed on to play.
constexpr double MAX_DRAIN_SECONDS = 0.5;
// The device buffer asked for: the speech stream starts 450 ms after speech
// is queued and is written every 200 ms, so a buffer of this size costs the
// user nothing, while the lowest latency a sound server offers (20 to 40 ms)
// gives audible gaps when the machine is busy.
constexpr double OUTPUT_LATENCY_SECONDS = 0.1;

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
        static std::mutex m;
        static std::weak_ptr<PaSession> current;
        std::lock_guard lock(m);
        if (auto session = current.lock()) return session->ok_ ? session : nullptr;
        auto session = std::shared_ptr<PaSession>(new PaSession());
        current = session;
        return session->ok_ ? session : nullptr;
    }
    ~PaSession() {
        if (ok_) Pa_Terminate();
    }

  private:
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

class PaOutputDevice final : public OutputDevice {
  public:
    ~PaOutputDevice() override {
        if (stream_) {
            // What the callback has already handed on is still on its way to
            // the speakers: let it play out (the end of an utterance) before
            // the stream is cut, unless the device is gone.
            const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
            if (lost_.empty() && info != nullptr && Pa_IsStreamActive(stream_) == 1) {
                std::this_thread::sleep_for(std::chrono::duration<double>(
                    std::min(info->outputLatency + 0.05, MAX_DRAIN_SECONDS)));
            }
            Pa_AbortStream(stream_);
            Pa_CloseStream(stream_);
        }
        if (core_) core_->Close();
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
        return core_->CreateBuffer(format, bytes);
    }

    // The stream runs from open to close, taking a period every 10 ms or so
    // whether or not anything plays, so a stream that PortAudio reports
    // stopped, or whose callback has not run for a second, has lost its
    // device (the sound server went away, the card was unplugged).
    base::Result Check() override {
        if (!lost_.empty()) return base::Result::Fail(lost_);
        if (stream_ == nullptr) return {};
        if (Pa_IsStreamActive(stream_) != 1) {
            lost_ = "the sound output stopped (the sound server or device went away)";
        } else {
            const int64_t now = NowMs();
            const int64_t silentMs = now - lastCallbackMs_.load(std::memory_order_acquire);
            if (now - startedMs_ > STARTUP_GRACE_MS && silentMs > STALL_LIMIT_MS) {
                lost_ = "the sound output stopped taking data (for " + std::to_string(silentMs) +
                        " ms; the sound server or device went away)";
            }
        }
        if (lost_.empty()) return {};
        core_->Close();
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
        // The callback renders 10 ms at a time; the write cursor runs two
        // periods ahead of the mix position.
        const unsigned long period = rate / 100;
        core_ = MixCore::Create(rate, channels, 2.0 * static_cast<double>(period) / rate);
        pacer_ = Pacer(rate);
        PaStream* stream = nullptr;
        if (Pa_OpenStream(&stream, nullptr, &out, rate, period, paClipOff, &Callback, this) !=
            paNoError) {
            core_.reset();
            return false;
        }
        startedMs_ = NowMs();
        lastCallbackMs_.store(startedMs_, std::memory_order_release);
        if (Pa_StartStream(stream) != paNoError) {
            Pa_CloseStream(stream);
            core_.reset();
            return false;
        }
        stream_ = stream;
        return true;
    }

    static int64_t NowMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    }

    static int Callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<PaOutputDevice*>(user);
        self->lastCallbackMs_.store(NowMs(), std::memory_order_release);
        self->core_->Render(static_cast<int16_t*>(output), static_cast<uint32_t>(frames));
        self->pacer_.Count(frames);
        return paContinue;
    }

    std::shared_ptr<PaSession> session_ = PaSession::Acquire();
    std::shared_ptr<MixCore> core_;
    Pacer pacer_{11025};  // callback thread only
    PaStream* stream_ = nullptr;
    // When the callback last ran; set before the stream starts.
    std::atomic<int64_t> lastCallbackMs_{0};
    int64_t startedMs_ = 0;
    std::string lost_;  // UI thread only: why the device counts as lost

  public:
    bool HasSession() const { return session_ != nullptr; }
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
        if (reader_.joinable()) {
            stop_.store(true);
            reader_.join();
            stop_.store(false);
        }
        if (stream_) {
            Pa_AbortStream(stream_);
            Pa_CloseStream(stream_);
            stream_ = nullptr;
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
            PaStream* stream = nullptr;
            if (Pa_OpenStream(&stream, &in, nullptr, rate, rate / 100, paClipOff, nullptr,
                              nullptr) != paNoError) {
                continue;
            }
            if (Pa_StartStream(stream) != paNoError) {
                Pa_CloseStream(stream);
                continue;
            }
            stream_ = stream;
            reader_ = std::thread([this, rate, channels = c.channels] { Read(rate, channels); });
            return true;
        }
        return false;
    }

    // Reader thread: 10 ms at a time from the device into the ring.
    void Read(uint32_t rate, int channels) {
        const unsigned long period = rate / 100;
        std::vector<int16_t> in(period * static_cast<size_t>(channels));
        std::vector<int16_t> mono;
        StreamResampler resampler(rate, wave::SYSTEM_SAMPLE_RATE, channels);
        Pacer pacer(rate);
        while (!stop_.load()) {
            PaError err = Pa_ReadStream(stream_, in.data(), period);
            // An overflow lost some input but the data read is good; any other
            // error means the device is gone: capture falls silent.
            if (err != paNoError && err != paInputOverflowed) return;
            mono.clear();
            if (rate == wave::SYSTEM_SAMPLE_RATE && channels == 1) {
                mono.assign(in.begin(), in.end());
            } else {
                resampler.Process(in.data(), period, mono);
            }
            ring_->Push(mono.data(), mono.size());
            pacer.Count(period);
        }
    }

    std::string name_;  // the device's name; empty for the default
    std::shared_ptr<PaSession> session_ = PaSession::Acquire();
    std::shared_ptr<CaptureRing> ring_ = CaptureRing::Create();
    PaStream* stream_ = nullptr;  // set before the reader starts, cleared after it ends
    std::thread reader_;
    std::atomic<bool> stop_{false};
};

class PortAudioBackend final : public AudioBackend {
  public:
    std::unique_ptr<OutputDevice> OpenOutput() override {
        if (!Session()) {
            failure_ = "no audio output device (the sound system could not be started)";
            return nullptr;
        }
        const PaDeviceIndex index = FindPaDevice(outputName_, DeviceDirection::Output);
        if (index == paNoDevice) {
            failure_ = outputName_.empty()
                           ? "no audio output device (none found; is a sound server running?)"
                           : "no audio output device ('" + outputName_ + "' is not there)";
            return nullptr;
        }
        auto device = std::make_unique<PaOutputDevice>();
        if (!device->HasSession() || !device->Open(index)) {
            failure_ = outputName_.empty()
                           ? "no audio output device (the default output refused to open)"
                           : "no audio output device ('" + outputName_ + "' refused to open)";
            return nullptr;
        }
        return device;
    }
    std::string OutputFailure() const override { return failure_; }
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
