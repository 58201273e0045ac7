// The audio pump's cost on the UI thread: one idle 10 ms tick (nothing
// captured, no mixing due), and one mixing step of 20000 samples into the
// speech stream. Devices are minimal in-memory doubles; the clock is fake.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "mixer/mixer.h"
#include "mixer/tick_clock.h"

namespace {

using namespace vocalith::engine;
using namespace vocalith::mixer;
namespace device = vocalith::device;
namespace wave = vocalith::wave;
using device::DeviceResult;

class MemoryBuffer final : public device::OutputBuffer {
  public:
    explicit MemoryBuffer(uint32_t n) : bytes_(n) {}
    uint32_t Size() const override { return static_cast<uint32_t>(bytes_.size()); }
    DeviceResult Write(uint32_t offset, const void* data, uint32_t n) override {
        const uint32_t first = std::min(n, Size() - offset);
        if (data != nullptr) {
            std::memcpy(bytes_.data() + offset, data, first);
            std::memcpy(bytes_.data(), static_cast<const uint8_t*>(data) + first, n - first);
        } else {
            std::memset(bytes_.data() + offset, 0, first);
            std::memset(bytes_.data(), 0, n - first);
        }
        return DeviceResult::Ok;
    }
    DeviceResult Restore() override { return DeviceResult::Ok; }
    DeviceResult Play(bool) override { return DeviceResult::Ok; }
    DeviceResult Stop() override { return DeviceResult::Ok; }
    DeviceResult SetVolume(int32_t) override { return DeviceResult::Ok; }
    DeviceResult GetCurrentPosition(uint32_t& play, uint32_t& write) override {
        play = write = 0;
        return DeviceResult::Ok;
    }
    DeviceResult SetCurrentPosition(uint32_t) override { return DeviceResult::Ok; }
    DeviceResult GetStatus(bool& playing) override {
        playing = false;
        return DeviceResult::Ok;
    }

  private:
    std::vector<uint8_t> bytes_;
};

class MemoryDevice final : public device::OutputDevice {
  public:
    std::unique_ptr<device::OutputBuffer> CreateBuffer(const wave::PcmFormat&,
                                                       uint32_t n) override {
        return std::make_unique<MemoryBuffer>(n);
    }
};

void BM_PumpIdleTick(benchmark::State& state) {
    FakeTickClock clock(100000);
    Engine engine(&clock);
    CSoundWnd& window =
        engine.OpenSoundWindow(std::make_unique<MemoryDevice>(), nullptr, nullptr, nullptr);
    window.Create();
    engine.AudioPump();
    for (auto _ : state) {
        clock.Advance(1);  // stays inside one mixing period most of the time
        if (clock.Now() - engine.lastMixTick >= 190) engine.lastMixTick = clock.Now();
        engine.AudioPump();
    }
}
BENCHMARK(BM_PumpIdleTick)->Unit(benchmark::kMicrosecond);

void BM_PumpMixStep20000(benchmark::State& state) {
    FakeTickClock clock(100000);
    Engine engine(&clock);
    CSoundWnd& window =
        engine.OpenSoundWindow(std::make_unique<MemoryDevice>(), nullptr, nullptr, nullptr);
    window.Create();
    std::vector<int16_t> clip(20000, 1000);
    engine.AudioPump();
    for (auto _ : state) {
        state.PauseTiming();
        QueueClip(engine.mixer, SPEECH_CHANNEL, 1, "bench", clip.data(), 20000);
        QueueClip(engine.mixer, MONITOR_CHANNEL, 1, "bench", clip.data(), 20000);
        clock.Advance(2000);            // past the start delay; the step asks for 20000
        window.speechStartPending = 1;  // pending: no lead bound, a full step
        window.speechWritePos = 0;
        state.ResumeTiming();
        engine.AudioPump();
    }
}
BENCHMARK(BM_PumpMixStep20000)->Unit(benchmark::kMicrosecond);

}  // namespace
