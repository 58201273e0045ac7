// The capture ring and the queue dispatcher: buffers filled in queue order,
// delivered on the UI thread, refilled only after AddBuffer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "device/capture_ring.h"
#include "device/queue_dispatcher.h"

namespace vocalith::device {
namespace {

struct Delivery {
    int index;
    std::vector<uint8_t> bytes;
};

class RecordingSink : public CaptureSink {
  public:
    void OnBufferDone(int index, const uint8_t* data, uint32_t bytesRecorded) override {
        got.push_back({index, std::vector<uint8_t>(data, data + bytesRecorded)});
        if (ring && requeue) ring->AddBuffer(index);
    }
    std::vector<Delivery> got;
    CaptureRing* ring = nullptr;
    bool requeue = false;
};

std::vector<int16_t> Ramp(int from, int count) {
    std::vector<int16_t> s;
    for (int i = 0; i < count; ++i) s.push_back(static_cast<int16_t>(from + i));
    return s;
}

std::vector<uint8_t> Bytes(const std::vector<int16_t>& s) {
    std::vector<uint8_t> out;
    for (int16_t v : s) {
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return out;
}

class CaptureRingTest : public ::testing::Test {
  protected:
    std::shared_ptr<CaptureRing> ring = CaptureRing::Create();
    QueueDispatcher ui;
    RecordingSink sink;
};

TEST_F(CaptureRingTest, FillsQueuedBuffersInOrderAndDropsWhenNoneIsQueued) {
    ASSERT_TRUE(ring->Open(PcmFormat{}, 3, 8, &sink, &ui));
    ring->Push(Ramp(0, 4).data(), 4);  // not started: dropped
    ring->Start();
    auto data = Ramp(100, 14);  // 28 bytes: three full buffers, 4 bytes with no room
    ring->Push(data.data(), data.size());
    EXPECT_TRUE(sink.got.empty()) << "delivered off the UI thread";
    EXPECT_EQ(ui.RunPending(), 3u);
    ASSERT_EQ(sink.got.size(), 3u);
    auto all = Bytes(data);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sink.got[i].index, i);
        EXPECT_EQ(sink.got[i].bytes,
                  std::vector<uint8_t>(all.begin() + 8 * i, all.begin() + 8 * i + 8));
    }
    ring->AddBuffer(1);
    ring->AddBuffer(1);  // queued twice is still queued once
    ring->AddBuffer(0);
    ring->Push(Ramp(500, 8).data(), 8);
    ui.RunPending();
    ASSERT_EQ(sink.got.size(), 5u);
    EXPECT_EQ(sink.got[3].index, 1) << "not filled in the order queued";
    EXPECT_EQ(sink.got[4].index, 0);
    EXPECT_EQ(sink.got[3].bytes, Bytes(Ramp(500, 4)));
}

TEST_F(CaptureRingTest, StopAndResetHandBackPartlyFilledAndQueuedBuffers) {
    ASSERT_TRUE(ring->Open(PcmFormat{}, 3, 8, &sink, &ui));
    ring->Start();
    ring->Push(Ramp(1, 3).data(), 3);
    ring->Stop();
    ui.RunPending();
    ASSERT_EQ(sink.got.size(), 1u);
    EXPECT_EQ(sink.got[0].index, 0);
    EXPECT_EQ(sink.got[0].bytes, Bytes(Ramp(1, 3))) << "a stopped buffer lost its bytes";

    ring->Start();
    ring->Push(Ramp(9, 1).data(), 1);
    ring->Reset();
    ring->Push(Ramp(9, 4).data(), 4);  // after a reset nothing is captured
    ui.RunPending();
    ASSERT_EQ(sink.got.size(), 3u);
    EXPECT_EQ(sink.got[1].index, 1);
    EXPECT_EQ(sink.got[1].bytes, Bytes(Ramp(9, 1)));
    EXPECT_EQ(sink.got[2].index, 2);
    EXPECT_TRUE(sink.got[2].bytes.empty());
}

TEST_F(CaptureRingTest, OddBufferSizesSplitSamplesAcrossBuffers) {
    ASSERT_TRUE(ring->Open(PcmFormat{}, 2, 3, &sink, &ui));
    ring->Start();
    ring->Push(Ramp(0x0201, 3).data(), 3);
    ui.RunPending();
    ASSERT_EQ(sink.got.size(), 2u);
    EXPECT_EQ(sink.got[0].bytes, (std::vector<uint8_t>{0x01, 0x02, 0x02}));
    EXPECT_EQ(sink.got[1].bytes, (std::vector<uint8_t>{0x02, 0x03, 0x02}));
}

TEST_F(CaptureRingTest, CloseDropsDeliveriesStillWaiting) {
    ASSERT_TRUE(ring->Open(PcmFormat{}, 2, 4, &sink, &ui));
    ring->Start();
    ring->Push(Ramp(0, 4).data(), 4);
    ring->Close();
    ui.RunPending();
    EXPECT_TRUE(sink.got.empty()) << "a closed device still called its sink";
    ring.reset();
    ui.RunPending();  // the ring is gone: posted work must not touch it
}

TEST_F(CaptureRingTest, RefusesOtherFormatsAndBadCounts) {
    PcmFormat stereo;
    stereo.channels = 2;
    stereo.blockAlign = 4;
    PcmFormat fast;
    fast.samplesPerSec = 44100;
    EXPECT_FALSE(ring->Open(stereo, 16, 5000, &sink, &ui));
    EXPECT_FALSE(ring->Open(fast, 16, 5000, &sink, &ui));
    EXPECT_FALSE(ring->Open(PcmFormat{}, 0, 5000, &sink, &ui));
    EXPECT_FALSE(ring->Open(PcmFormat{}, 16, 0, &sink, &ui));
    EXPECT_FALSE(ring->Open(PcmFormat{}, 16, 5000, nullptr, &ui));
    ring->AddBuffer(3);  // not open: ignored, no crash
}

TEST_F(CaptureRingTest, ProducerThreadDeliversEverySampleInOrder) {
    // 16 buffers of 5000 bytes as the engine uses them, requeued at once.
    ASSERT_TRUE(ring->Open(PcmFormat{}, 16, 5000, &sink, &ui));
    sink.ring = ring.get();
    sink.requeue = true;
    ring->Start();
    constexpr int TOTAL = 2500 * 40;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int at = 0; at < TOTAL; at += 500) {
            auto block = Ramp(at, 500);
            ring->Push(block.data(), block.size());
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        done = true;
    });
    while (!done || ui.PendingCount() > 0) ui.WaitAndRun(std::chrono::milliseconds(5));
    producer.join();
    ui.RunPending();
    std::vector<uint8_t> joined;
    for (const auto& d : sink.got) joined.insert(joined.end(), d.bytes.begin(), d.bytes.end());
    EXPECT_EQ(joined, Bytes(Ramp(0, TOTAL)));
}

}  // namespace
}  // namespace vocalith::device
