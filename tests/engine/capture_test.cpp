// The capture list and the sound window's capture device handling.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "engine/capture_list.h"
#include "engine/engine.h"
#include "engine/fakes.h"

namespace vocalith::engine {

using namespace vocalith::mixer;
namespace {

using test::FakeDevices;
using test::TestDispatcher;

std::vector<uint8_t> Ramp(int n, int start = 0) {
    std::vector<uint8_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<uint8_t>(start + i);
    return v;
}

TEST(CaptureListTest, ReadCrossesChunksAndReleasesTheUsedOneInTheSameRead) {
    CaptureList list;
    const auto a = Ramp(5000);
    const auto b = Ramp(5000, 100);
    AppendChunk(a.data(), 5000, list);
    AppendChunk(b.data(), 5000, list);
    std::vector<uint8_t> scratch(4800);
    int32_t count = 4800;
    ASSERT_EQ(ReadCapture(scratch.data(), count, 0, list), 4800);
    ASSERT_EQ(CaptureAvailable(list), 5200);

    std::vector<uint8_t> out(512);
    count = 512;
    EXPECT_EQ(ReadCapture(out.data(), count, 1, list), 512);
    EXPECT_EQ(count, 5200);
    EXPECT_EQ(list.captureReadOffset, 312);
    EXPECT_EQ(CaptureChunkCount(list), 1);
    EXPECT_EQ(CaptureAvailable(list), 4688);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 200, a.begin() + 4800));
    EXPECT_TRUE(std::equal(out.begin() + 200, out.end(), b.begin()));
}

TEST(CaptureListTest, ModesDecideHowMuchIsTaken) {
    struct Row {
        const char* fault;
        int32_t waiting;
        int mode;
        int32_t ask;
        int32_t copied;
        int32_t countAfter;
    };
    const Row rows[] = {
        {"all-or-nothing must not take a partial block", 300, 1, 512, 0, 300},
        {"up-to must take what is there", 300, 0, 512, 300, 512},
        {"up-to must not take more than asked", 600, 0, 512, 512, 512},
        {"an unknown mode must take nothing and keep count", 600, 2, 512, 0, 512},
        {"an empty list gives nothing and reports 0 waiting", 0, 1, 512, 0, 0},
        {"an empty list in mode 0 leaves count", 0, 0, 512, 0, 512},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        CaptureList list;
        const auto data = Ramp(r.waiting);
        AppendChunk(data.data(), r.waiting, list);
        std::vector<uint8_t> out(1024);
        int32_t count = r.ask;
        EXPECT_EQ(ReadCapture(out.data(), count, r.mode, list), r.copied);
        EXPECT_EQ(count, r.countAfter);
        EXPECT_EQ(CaptureAvailable(list), r.waiting - r.copied);
    }
}

TEST(CaptureListTest, UsedUpHeadChunkWaitsForTheNextRead) {
    CaptureList list;
    const auto a = Ramp(512);
    AppendChunk(a.data(), 512, list);
    std::vector<uint8_t> out(512);
    int32_t count = 512;
    ASSERT_EQ(ReadCapture(out.data(), count, 1, list), 512);
    EXPECT_EQ(CaptureChunkCount(list), 1) << "released only by a later read that wants bytes";
    EXPECT_EQ(CaptureAvailable(list), 0);
    const auto b = Ramp(10, 50);
    AppendChunk(b.data(), 10, list);
    count = 10;
    EXPECT_EQ(ReadCapture(out.data(), count, 1, list), 10);
    EXPECT_EQ(out[0], 50);
    EXPECT_EQ(CaptureChunkCount(list), 1);
    EXPECT_EQ(list.captureHead, list.captureTail);
}

TEST(CaptureListTest, EmptyChunksAreNotAdded) {
    CaptureList list;
    AppendChunk(nullptr, 10, list);
    const uint8_t x = 1;
    AppendChunk(&x, 0, list);
    AppendChunk(&x, -5, list);
    EXPECT_EQ(CaptureChunkCount(list), 0);
}

class CaptureWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = &engine.OpenSoundWindow(devices.MakeOutput(), devices.MakeCapture(), &dispatcher,
                                         nullptr);
        window->Create();
    }
    void TearDown() override {
        engine.CloseSoundWindow();
        dispatcher.RunPending();
    }
    FakeDevices devices;
    TestDispatcher dispatcher;
    Engine engine;
    CSoundWnd* window = nullptr;
};

TEST_F(CaptureWindowTest, OpensSixteenBuffersOfFiveThousandAndStarts) {
    EXPECT_EQ(devices.capture->bufferCount, 16);
    EXPECT_EQ(devices.capture->bufferBytes, 5000u);
    EXPECT_EQ(devices.capture->calls, (std::vector<std::string>{"Open", "Start"}));
    EXPECT_EQ(window->captureRunning, 1);
    window->StartCapture();  // already running: nothing more
    EXPECT_EQ(devices.capture->calls.size(), 2u);
}

TEST_F(CaptureWindowTest, DoneBuffersAreListedAndRequeuedWhileRunning) {
    test::DeliverCapture(*devices.capture, 3, Ramp(5000));
    test::DeliverCapture(*devices.capture, 4, {});
    dispatcher.RunPending();
    EXPECT_EQ(CaptureAvailable(engine.captures), 5000);
    EXPECT_EQ(CaptureChunkCount(engine.captures), 1) << "an empty buffer adds no chunk";
    EXPECT_EQ(devices.capture->added, (std::vector<int>{3, 4}));

    window->StopCapture();
    test::DeliverCapture(*devices.capture, 5, Ramp(100));
    dispatcher.RunPending();
    EXPECT_EQ(CaptureAvailable(engine.captures), 5100) << "data still counts after stop";
    EXPECT_EQ(devices.capture->added.size(), 2u) << "not queued again after StopCapture";
}

TEST_F(CaptureWindowTest, CloseStopsResetsClosesAndDrains) {
    test::DeliverCapture(*devices.capture, 0, Ramp(5000));
    test::DeliverCapture(*devices.capture, 1, Ramp(5000));
    dispatcher.RunPending();
    window->StopCapture();
    window->CloseCapture();
    EXPECT_EQ(devices.capture->calls,
              (std::vector<std::string>{"Open", "Start", "Stop", "Stop", "Reset", "Close"}));
    EXPECT_EQ(CaptureAvailable(engine.captures), 0);
    EXPECT_LE(CaptureChunkCount(engine.captures), 1);
    EXPECT_EQ(window->captureOpen, 0);
    EXPECT_EQ(window->captureOpenTried, 0);
}

TEST_F(CaptureWindowTest, BuffersPostedAfterTheWindowIsGoneAreIgnored) {
    test::DeliverCapture(*devices.capture, 0, Ramp(100));
    engine.CloseSoundWindow();
    dispatcher.RunPending();  // must not touch the destroyed window
    EXPECT_EQ(CaptureAvailable(engine.captures), 0);
}

TEST(CaptureOpenTest, RefusedDeviceIsNotRetried) {
    FakeDevices devices;
    devices.capture->refuseOpen = true;
    TestDispatcher dispatcher;
    Engine engine;
    CSoundWnd& window =
        engine.OpenSoundWindow(devices.MakeOutput(), devices.MakeCapture(), &dispatcher, nullptr);
    EXPECT_EQ(window.OpenCapture(), 0);
    EXPECT_EQ(window.captureOpenTried, 1);
    window.StartCapture();
    EXPECT_EQ(devices.capture->calls, std::vector<std::string>{"Open"});
    EXPECT_EQ(window.captureRunning, 0);
    int32_t available = -1;
    uint8_t block[512];
    EXPECT_EQ(window.ReadCaptureExact(block, 512, available), 0);
}

}  // namespace
}  // namespace vocalith::engine
