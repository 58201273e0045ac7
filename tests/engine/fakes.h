#pragma once
// Test doubles for the audio engine: an output device whose buffers keep
// their bytes and report cursors the test sets (or that advance with a fake
// clock at 11025 samples/s), a capture device whose buffers the test
// completes, a dispatcher the test drains, and a message recorder.
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/audio_device.h"
#include "engine/message_sink.h"
#include "mixer/tick_clock.h"

namespace vocalith::engine::test {

using namespace vocalith::mixer;

using device::DeviceResult;

struct FakeBufferState {
    wave::PcmFormat format;
    std::vector<uint8_t> bytes;
    std::vector<std::string> calls;  // "Play(loop)", "Stop", "SetVolume(0)", ...
    struct WriteRecord {
        uint32_t offset;
        uint32_t count;
        bool silence;
    };
    std::vector<WriteRecord> writes;
    uint32_t play = 0;   // set by the test (unless clocked)
    uint32_t write = 0;  // set by the test (unless clocked)
    bool playing = false;
    bool looping = false;
    int lostWrites = 0;  // the next N writes answer BufferLost
    int restores = 0;
    int positionReads = 0;
    int statusPolls = 0;
    bool destroyed = false;
    uint32_t stopAfterPolls = 0;  // GetStatus reports "stopped" from this poll on (0: never)
    uint32_t advancePerPoll = 0;  // ms the clock moves on each GetStatus

    // Clocked mode: the play cursor advances 22050 bytes/s from Play(); the
    // write cursor runs latencyBytes ahead. Bytes count as heard when the
    // write cursor passes them (the device has fetched them by then).
    FakeTickClock* clock = nullptr;
    uint32_t latencyBytes = 882;
    uint32_t startTick = 0;
    uint64_t startAbs = 0;    // absolute play position at Play()
    uint64_t frozenAbs = 0;   // absolute play position while stopped
    uint64_t fetchedAbs = 0;  // absolute position up to which bytes were heard
    std::function<void(const uint8_t*, size_t)> onHeard;

    uint32_t Size() const { return static_cast<uint32_t>(bytes.size()); }
    uint64_t PlayAbs() const {
        if (clock == nullptr || !playing) return frozenAbs;
        const uint64_t ms = clock->Now() - startTick;
        return startAbs + ((ms * 22050 / 1000) & ~uint64_t{1});
    }
    void Fetch() {
        if (clock == nullptr || !playing) return;
        const uint64_t upTo = PlayAbs() + latencyBytes;
        while (fetchedAbs < upTo) {
            const size_t at = static_cast<size_t>(fetchedAbs % Size());
            size_t n = static_cast<size_t>(upTo - fetchedAbs);
            if (n > Size() - at) n = Size() - at;
            if (onHeard) onHeard(bytes.data() + at, n);
            fetchedAbs += n;
        }
    }
};

class FakeOutputBuffer final : public device::OutputBuffer {
  public:
    explicit FakeOutputBuffer(std::shared_ptr<FakeBufferState> s) : s_(std::move(s)) {}
    ~FakeOutputBuffer() override { s_->destroyed = true; }
    uint32_t Size() const override { return s_->Size(); }
    DeviceResult Write(uint32_t offset, const void* data, uint32_t count) override {
        if (s_->lostWrites > 0) {
            --s_->lostWrites;
            return DeviceResult::BufferLost;
        }
        if (count > Size() || offset >= Size()) return DeviceResult::Failed;
        s_->Fetch();
        s_->writes.push_back({offset, count, data == nullptr});
        const auto* src = static_cast<const uint8_t*>(data);
        for (uint32_t i = 0; i < count; ++i) {
            s_->bytes[(offset + i) % Size()] = src != nullptr ? src[i] : 0;
        }
        return DeviceResult::Ok;
    }
    DeviceResult Restore() override {
        ++s_->restores;
        return DeviceResult::Ok;
    }
    DeviceResult Play(bool looping) override {
        s_->calls.push_back(looping ? "Play(loop)" : "Play(once)");
        if (!s_->playing && s_->clock != nullptr) {
            s_->startTick = s_->clock->Now();
            s_->startAbs = s_->frozenAbs;
            s_->fetchedAbs = s_->frozenAbs;
        }
        s_->playing = true;
        s_->looping = looping;
        return DeviceResult::Ok;
    }
    DeviceResult Stop() override {
        s_->calls.push_back("Stop");
        s_->frozenAbs = s_->PlayAbs();
        s_->playing = false;
        return DeviceResult::Ok;
    }
    DeviceResult SetVolume(int32_t v) override {
        s_->calls.push_back("SetVolume(" + std::to_string(v) + ")");
        return DeviceResult::Ok;
    }
    DeviceResult GetCurrentPosition(uint32_t& play, uint32_t& write) override {
        ++s_->positionReads;
        if (s_->clock != nullptr) {
            s_->Fetch();
            const uint64_t p = s_->PlayAbs();
            play = static_cast<uint32_t>(p % Size());
            write = static_cast<uint32_t>((p + (s_->playing ? s_->latencyBytes : 0)) % Size());
        } else {
            play = s_->play;
            write = s_->write;
        }
        return DeviceResult::Ok;
    }
    DeviceResult SetCurrentPosition(uint32_t offset) override {
        s_->calls.push_back("SetCurrentPosition(" + std::to_string(offset) + ")");
        s_->frozenAbs = offset;
        return DeviceResult::Ok;
    }
    DeviceResult GetStatus(bool& playing) override {
        ++s_->statusPolls;
        if (s_->clock != nullptr && s_->advancePerPoll > 0) s_->clock->Advance(s_->advancePerPoll);
        if (s_->stopAfterPolls > 0 &&
            static_cast<uint32_t>(s_->statusPolls) >= s_->stopAfterPolls) {
            s_->playing = false;
        }
        playing = s_->playing;
        return DeviceResult::Ok;
    }

  private:
    std::shared_ptr<FakeBufferState> s_;
};

struct FakeOutputState {
    bool refuse = false;             // CreateBuffer answers null
    FakeTickClock* clock = nullptr;  // clocked buffers when set
    std::string lost;                // Check() fails with this reason when set
    int opened = 0;                  // devices handed out by FakeBackend
    std::vector<std::shared_ptr<FakeBufferState>> buffers;
};

class FakeOutputDevice final : public device::OutputDevice {
  public:
    explicit FakeOutputDevice(std::shared_ptr<FakeOutputState> s) : s_(std::move(s)) {}
    std::unique_ptr<device::OutputBuffer> CreateBuffer(const wave::PcmFormat& format,
                                                       uint32_t count) override {
        if (s_->refuse) return nullptr;
        auto state = std::make_shared<FakeBufferState>();
        state->format = format;
        state->bytes.assign(count, 0);
        state->clock = s_->clock;
        s_->buffers.push_back(state);
        return std::make_unique<FakeOutputBuffer>(state);
    }
    base::Result Check() override {
        return s_->lost.empty() ? base::Result{} : base::Result::Fail(s_->lost);
    }

  private:
    std::shared_ptr<FakeOutputState> s_;
};

struct FakeCaptureState {
    bool refuseOpen = false;
    int bufferCount = 0;
    uint32_t bufferBytes = 0;
    device::CaptureSink* sink = nullptr;
    device::UiDispatcher* dispatcher = nullptr;
    std::vector<std::string> calls;
    std::vector<int> added;  // AddBuffer indices, in order
    bool destroyed = false;
};

class FakeCaptureDevice final : public device::CaptureDevice {
  public:
    explicit FakeCaptureDevice(std::shared_ptr<FakeCaptureState> s) : s_(std::move(s)) {}
    ~FakeCaptureDevice() override { s_->destroyed = true; }
    bool Open(const wave::PcmFormat&, int count, uint32_t bytes, device::CaptureSink* sink,
              device::UiDispatcher* dispatcher) override {
        s_->calls.push_back("Open");
        if (s_->refuseOpen) return false;
        s_->bufferCount = count;
        s_->bufferBytes = bytes;
        s_->sink = sink;
        s_->dispatcher = dispatcher;
        return true;
    }
    void AddBuffer(int index) override { s_->added.push_back(index); }
    void Start() override { s_->calls.push_back("Start"); }
    void Stop() override { s_->calls.push_back("Stop"); }
    void Reset() override { s_->calls.push_back("Reset"); }
    void Close() override { s_->calls.push_back("Close"); }

  private:
    std::shared_ptr<FakeCaptureState> s_;
};

// Completes capture buffer `index` with `data`, delivered through the
// dispatcher as a real device would.
inline void DeliverCapture(FakeCaptureState& s, int index, std::vector<uint8_t> data) {
    device::CaptureSink* sink = s.sink;
    s.dispatcher->Post([sink, index, d = std::move(data)] {
        sink->OnBufferDone(index, d.data(), static_cast<uint32_t>(d.size()));
    });
}

class TestDispatcher final : public device::UiDispatcher {
  public:
    void Post(std::function<void()> fn) override {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back(std::move(fn));
    }
    size_t RunPending() {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard<std::mutex> lock(m_);
            now.swap(queue_);
        }
        for (auto& fn : now) fn();
        return now.size();
    }

  private:
    std::mutex m_;
    std::deque<std::function<void()>> queue_;
};

class RecordingMessages final : public MessageSink {
  public:
    void ShowMessage(std::string_view text, std::string_view caption) override {
        shown.push_back(std::string(caption) + "|" + std::string(text));
    }
    std::vector<std::string> shown;
};

// Devices for one sound window, with handles on their state.
struct FakeDevices {
    std::shared_ptr<FakeOutputState> output = std::make_shared<FakeOutputState>();
    std::shared_ptr<FakeCaptureState> capture = std::make_shared<FakeCaptureState>();
    std::unique_ptr<device::OutputDevice> MakeOutput() {
        return std::make_unique<FakeOutputDevice>(output);
    }
    std::unique_ptr<device::CaptureDevice> MakeCapture() {
        return std::make_unique<FakeCaptureDevice>(capture);
    }
    FakeBufferState& Stream() { return *output->buffers.at(0); }
};

// A backend that hands out a fresh fake device pair on every open, as a real
// one does when the sound server comes back.
class FakeBackend final : public device::AudioBackend {
  public:
    explicit FakeBackend(FakeDevices& devices) : devices_(devices) {}
    std::unique_ptr<device::OutputDevice> OpenOutput() override {
        ++devices_.output->opened;
        return devices_.MakeOutput();
    }
    std::unique_ptr<device::CaptureDevice> OpenCapture() override { return devices_.MakeCapture(); }

  private:
    FakeDevices& devices_;
};

}  // namespace vocalith::engine::test
