// The capture path from a device callback to the UI: the callback's frames
// wait in a lock-free feed while the reader is held back, and reach the
// capture buffers whole and in order; what does not fit is counted, and
// the callback never waits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "device/capture_feed.h"
#include "device/capture_ring.h"
#include "device/queue_dispatcher.h"

namespace vocalith::device {
namespace {

constexpr size_t PERIOD = 110;  // 10 ms at 11025 Hz

// Joins every delivered buffer and queues it again at once.
class JoiningSink : public CaptureSink {
  public:
    void OnBufferDone(int index, const uint8_t* data, uint32_t bytes) override {
        for (uint32_t i = 0; i + 1 < bytes; i += 2) {
            got.push_back(static_cast<int16_t>(data[i] | (data[i + 1] << 8)));
        }
        ring->AddBuffer(index);
    }
    CaptureRing* ring = nullptr;
    std::vector<int16_t> got;
};

std::vector<int16_t> Ramp(size_t from, size_t count) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i) s[i] = static_cast<int16_t>((from + i) % 32768);
    return s;
}

std::vector<int16_t> Join(std::vector<int16_t> a, const std::vector<int16_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Path {
    explicit Path(size_t capacityFrames) : feed(ring, 11025, 1, capacityFrames) {
        sink.ring = ring.get();
        // One buffer a period, enough of them for everything a drain pushes.
        EXPECT_TRUE(ring->Open(PcmFormat{}, 1000, PERIOD * 2, &sink, &ui));
        ring->Start();
    }
    std::shared_ptr<CaptureRing> ring = CaptureRing::Create();
    QueueDispatcher ui;
    JoiningSink sink;
    CaptureFeed feed;
};

// A fake clock of 10 ms steps: the callback writes a period at every step;
// then the reader drains, but not while it is held (so the period of the
// step it comes back at waits too).
TEST(CaptureFeedTest, ReaderHeldOnAFakeClockLosesNothingWithinTheFeed) {
    struct Row {
        const char* name;
        size_t capacityFrames;
        size_t steps, holdFrom, holdSteps;
        size_t lostFrom, lost;  // the frames dropped: [lostFrom, lostFrom + lost)
    };
    const Row rows[] = {
        {"held 1.5 s, the feed holds 2 s", 22050, 300, 50, 150, 0, 0},
        {"held 3 s, the feed holds 2 s", 22050, 400, 50, 300, 50 * PERIOD + 22050,
         301 * PERIOD - 22050},
        {"held at the very start", 2 * PERIOD, 10, 0, 4, 2 * PERIOD, 3 * PERIOD},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Path path(row.capacityFrames);
        for (size_t step = 0; step < row.steps; ++step) {
            auto period = Ramp(step * PERIOD, PERIOD);
            path.feed.Write(period.data(), period.size());
            if (step >= row.holdFrom && step < row.holdFrom + row.holdSteps) continue;
            path.feed.Drain();
            path.ui.RunPending();
        }
        path.ring->Stop();  // hands back the partly filled buffer
        path.ui.RunPending();
        const size_t total = row.steps * PERIOD;
        EXPECT_EQ(path.feed.LostFrames(), row.lost);
        EXPECT_EQ(path.sink.got,
                  Join(Ramp(0, row.lostFrom),
                       Ramp(row.lostFrom + row.lost, total - row.lostFrom - row.lost)));
    }
}

// Real threads: the callback writes a stretch of periods as fast as it can
// while the UI side holds the reader, then two more stretches (each within
// the feed) while the UI drains. Between stretches the test waits for the UI.
TEST(CaptureFeedTest, CallbackThreadNeverWaitsForAHeldReader) {
    struct Row {
        const char* name;
        size_t capacityFrames;
    };
    constexpr size_t STRETCH = 200 * PERIOD;
    const Row rows[] = {
        {"the feed holds the stretch", STRETCH},
        {"the feed holds half the stretch", STRETCH / 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Path path(row.capacityFrames);
        const size_t lost = STRETCH - row.capacityFrames;
        const size_t stretches[] = {STRETCH, row.capacityFrames, row.capacityFrames};
        const size_t total = STRETCH + 2 * row.capacityFrames;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        auto late = [&] { return std::chrono::steady_clock::now() > giveUp; };
        std::atomic<size_t> written{0};    // frames the callback has finished writing
        std::atomic<size_t> delivered{0};  // frames the UI has received
        std::thread callback([&] {
            size_t at = 0;
            for (size_t frames : stretches) {
                for (size_t end = at + frames; at < end; at += PERIOD) {
                    auto period = Ramp(at, PERIOD);
                    path.feed.Write(period.data(), period.size());
                }
                written.store(at);
                while (delivered.load() < at - lost && !late()) std::this_thread::yield();
            }
        });
        // Held until the whole first stretch is written: the callback got
        // through it alone.
        while (written.load() < STRETCH && !late()) std::this_thread::yield();
        EXPECT_EQ(written.load(), STRETCH) << "the callback waited for the held reader";
        while (delivered.load() < total - lost && !late()) {
            path.feed.Drain();
            path.ui.RunPending();
            delivered.store(path.sink.got.size());
        }
        callback.join();
        EXPECT_EQ(path.feed.LostFrames(), lost);
        EXPECT_EQ(path.sink.got,
                  Join(Ramp(0, row.capacityFrames), Ramp(STRETCH, 2 * row.capacityFrames)));
    }
}

}  // namespace
}  // namespace vocalith::device
