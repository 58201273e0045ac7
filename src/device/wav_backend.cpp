#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/backends.h"
#include "device/capture_ring.h"
#include "device/mix_core.h"
#include "device/pcm_convert.h"
#include "wave/rate_converter.h"
#include "wave/wav_writer.h"

namespace vocalith::device {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto TICK = std::chrono::milliseconds(10);
// The header sizes are rewritten this often, so the file being written (a
// temporary file until the device closes) reads up to about this long
// before its end even if the process is killed.
constexpr auto HEADER_PERIOD = std::chrono::milliseconds(500);
constexpr uint32_t RENDER_CHUNK = 1024;

uint64_t FramesIn(Clock::duration d, uint32_t rate) {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return ns <= 0 ? 0 : static_cast<uint64_t>(ns) * rate / 1000000000u;
}

// A thread that runs a step, then waits for as long as the step answers
// (TICK, say) or until poked, until told to stop.
class Ticker {
  public:
    template <class Fn>
    void Start(Fn fn) {
        thread_ = std::thread([this, fn]() mutable {
            auto next = Clock::now();
            std::unique_lock lock(m_);
            while (!stop_) {
                lock.unlock();
                const Clock::duration wait = fn();
                lock.lock();
                next += wait;
                auto now = Clock::now();
                if (next < now) next = now;  // after a stall, go on from now
                wake_.wait_until(lock, next, [this] { return stop_ || poked_; });
                if (poked_) next = Clock::now();
                poked_ = false;
            }
        });
    }
    // The step runs again at once.
    void Poke() {
        {
            std::lock_guard lock(m_);
            poked_ = true;
        }
        wake_.notify_all();
    }
    void Stop() {
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        stop_ = false;  // ready to start again
    }

  private:
    std::mutex m_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool poked_ = false;
    std::thread thread_;
};

class WavOutputDevice final : public OutputDevice {
  public:
    WavOutputDevice(std::shared_ptr<std::atomic<bool>> inUse)
        : inUse_(std::move(inUse)),
          core_(MixCore::Create(wave::SYSTEM_SAMPLE_RATE, 1, WAV_OUTPUT_LATENCY_SECONDS)) {}

    base::Result Open(const std::string& path) {
        if (base::Result opened = writer_.Open(path); !opened) return opened;
        start_ = Clock::now();
        lastHeader_ = start_;
        opened_ = true;
        // While nothing plays the file takes silence: it is rendered in
        // steps of HEADER_PERIOD instead of TICK, and a buffer that starts
        // has what was due rendered first, so the file is the same.
        core_->SetWakeHook([this] {
            Tick();
            ticker_.Poke();
        });
        ticker_.Start([this] {
            Tick();
            return core_->Quiet() ? Clock::duration(HEADER_PERIOD) : Clock::duration(TICK);
        });
        return {};
    }

    ~WavOutputDevice() override {
        Finish();
        inUse_->store(false);
    }

    // A write that failed (a full disk, a file size limit) stops the sound
    // for good: the file cannot hold what is heard any more.
    base::Result Check() override {
        std::lock_guard lock(failureMutex_);
        return failure_;
    }

    base::Result Finish() override {
        if (opened_) {
            ticker_.Stop();
            Tick();  // what was due up to now
            core_->Close();
            opened_ = false;
            // A failure leaves any old file as it was.
            base::Result finished = writer_.Finish();
            std::lock_guard lock(failureMutex_);
            if (failure_.ok()) failure_ = std::move(finished);
        }
        std::lock_guard lock(failureMutex_);
        return failure_;
    }

    std::unique_ptr<OutputBuffer> CreateBuffer(const PcmFormat& format, uint32_t bytes) override {
        return core_->CreateBuffer(format, bytes);
    }

  private:
    // Renders every frame due by the clock: on the ticker's thread, or on
    // the UI thread when a buffer starts.
    void Tick() {
        std::lock_guard rendering(renderMutex_);
        auto now = Clock::now();
        uint64_t due = FramesIn(now - start_, wave::SYSTEM_SAMPLE_RATE);
        while (rendered_ < due) {
            auto n = static_cast<uint32_t>(std::min<uint64_t>(due - rendered_, RENDER_CHUNK));
            core_->Render(samples_, n);
            // A failed write still lets time run on; the failure is kept.
            if (base::Result written = writer_.Append({samples_, n}); !written) {
                std::lock_guard lock(failureMutex_);
                if (failure_.ok()) failure_ = std::move(written);
            }
            rendered_ += n;
        }
        if (now - lastHeader_ >= HEADER_PERIOD) {
            writer_.UpdateHeader();
            lastHeader_ = now;
        }
    }

    std::shared_ptr<std::atomic<bool>> inUse_;
    std::shared_ptr<MixCore> core_;
    wave::WavWriter writer_;
    bool opened_ = false;
    std::mutex renderMutex_;  // guards what Tick uses, below
    Clock::time_point start_;
    Clock::time_point lastHeader_;
    uint64_t rendered_ = 0;
    int16_t samples_[RENDER_CHUNK] = {};
    std::mutex failureMutex_;
    base::Result failure_;  // the first write failure; guarded by failureMutex_
    Ticker ticker_;         // last: stopped before the members it uses go
};

class WavCaptureDevice final : public CaptureDevice {
  public:
    WavCaptureDevice(std::shared_ptr<std::atomic<bool>> inUse, std::vector<int16_t> samples)
        : inUse_(std::move(inUse)), samples_(std::move(samples)), ring_(CaptureRing::Create()) {}

    ~WavCaptureDevice() override {
        Close();
        inUse_->store(false);
    }

    bool Open(const PcmFormat& format, int bufferCount, uint32_t bufferBytes, CaptureSink* sink,
              UiDispatcher* dispatcher) override {
        if (!ring_->Open(format, bufferCount, bufferBytes, sink, dispatcher)) return false;
        if (!started_) {
            started_ = true;
            last_ = Clock::now();
            ticker_.Start([this] {
                Tick();
                return Clock::duration(TICK);
            });
        }
        return true;
    }
    void AddBuffer(int index) override { ring_->AddBuffer(index); }
    void Start() override { ring_->Start(); }
    void Stop() override { ring_->Stop(); }
    void Reset() override { ring_->Reset(); }
    void Close() override {
        ticker_.Stop();
        started_ = false;
        ring_->Close();
    }

  private:
    // The file advances only while capture runs, so nothing of it is lost
    // between opening and starting.
    void Tick() {
        auto now = Clock::now();
        auto elapsed = now - last_;
        last_ = now;
        if (!ring_->Running()) return;
        runTime_ += elapsed;
        uint64_t due = FramesIn(runTime_, wave::SYSTEM_SAMPLE_RATE);
        while (pushed_ < due) {
            auto n = static_cast<size_t>(std::min<uint64_t>(due - pushed_, 1024));
            if (pushed_ < samples_.size()) {
                n = std::min(n, samples_.size() - static_cast<size_t>(pushed_));
                ring_->Push(samples_.data() + pushed_, n);
            } else {
                ring_->Push(silence_, n);  // past the file's end the room is quiet
            }
            pushed_ += n;
        }
    }

    std::shared_ptr<std::atomic<bool>> inUse_;
    const std::vector<int16_t> samples_;
    std::shared_ptr<CaptureRing> ring_;
    bool started_ = false;
    // Capture thread only.
    Clock::time_point last_;
    Clock::duration runTime_{0};
    uint64_t pushed_ = 0;
    int16_t silence_[1024] = {};
    Ticker ticker_;
};

class WavBackend final : public AudioBackend {
  public:
    WavBackend(std::string outPath, std::string inPath)
        : outPath_(std::move(outPath)), inPath_(std::move(inPath)) {}

    // One output device at a time: two would write the same file.
    std::unique_ptr<OutputDevice> OpenOutput() override {
        if (outputInUse_->exchange(true)) return nullptr;
        auto device = std::make_unique<WavOutputDevice>(outputInUse_);
        if (base::Result opened = device->Open(outPath_); !opened) {
            failure_ = opened.reason;
            return nullptr;  // the destructor frees the slot
        }
        return device;
    }
    std::string OutputFailure() const override { return failure_; }

    std::unique_ptr<CaptureDevice> OpenCapture() override {
        if (inPath_.empty()) return nullptr;
        wave::AudioFrames audio;
        if (!ReadCaptureFile(inPath_, audio)) return nullptr;
        if (captureInUse_->exchange(true)) return nullptr;
        return std::make_unique<WavCaptureDevice>(captureInUse_, ConvertToCaptureFormat(audio));
    }

    // The output file and the microphone file, the only devices there are.
    std::vector<DeviceInfo> ListDevices() override {
        std::vector<DeviceInfo> devices;
        devices.push_back({0, outPath_, "WAV file", false, true, false, true});
        if (!inPath_.empty()) devices.push_back({1, inPath_, "WAV file", true, false, true, false});
        return devices;
    }

  private:
    std::string outPath_;
    std::string inPath_;
    std::string failure_ = "no audio output device";
    std::shared_ptr<std::atomic<bool>> outputInUse_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> captureInUse_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace

std::vector<int16_t> ConvertToCaptureFormat(const wave::AudioFrames& audio) {
    return wave::ToSystemFormat(audio);
}

base::Result ReadCaptureFile(const std::string& path, wave::AudioFrames& audio) {
    if (base::Result read = wave::ReadAudioFile(path, audio); !read) return read;
    if (audio.Frames() == 0) return base::Result::Fail(path + " holds no sound");
    if (audio.sampleRate < MIN_RATE || audio.sampleRate > MAX_RATE) {
        return base::Result::Fail(path + ": a rate of " + std::to_string(audio.sampleRate) +
                                  " Hz, outside " + std::to_string(MIN_RATE) + " to " +
                                  std::to_string(MAX_RATE));
    }
    return base::Result::Ok();
}

std::unique_ptr<AudioBackend> MakeWavBackend(std::string outPath, std::string inPath) {
    return std::make_unique<WavBackend>(std::move(outPath), std::move(inPath));
}

}  // namespace vocalith::device
