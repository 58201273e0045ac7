// The software mixing core: format conversion, resampling, buffer writes
// with wrap-around, cursors, play once and looping, volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "device/mix_core.h"
#include "device/pcm_convert.h"
#include "support/wav_builder.h"
#include "wave/rate_converter.h"

namespace vocalith::device {
namespace {

PcmFormat Format(uint16_t channels, uint32_t rate, uint16_t bits) {
    return test::Pcm(channels, rate, bits);
}

std::vector<uint8_t> Le16(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) {
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    return out;
}

std::vector<int16_t> Render(MixCore& core, uint32_t frames) {
    std::vector<int16_t> out(frames * static_cast<size_t>(core.DeviceChannels()));
    core.Render(out.data(), frames);
    return out;
}

struct ConvertRow {
    const char* fault;
    PcmFormat format;
    std::vector<uint8_t> bytes;
    int deviceChannels;
    std::vector<int16_t> expected;
};

TEST(MixCoreTest, ConvertsEachFormatToTheDeviceFormat) {
    const ConvertRow rows[] = {
        {"8-bit not centred on 128", Format(1, 11025, 8), {128, 255, 0}, 1, {0, 32512, -32768}},
        {"16-bit read big-endian", Format(1, 11025, 16), {0x34, 0x12, 0xFF, 0xFF}, 1, {0x1234, -1}},
        {"stereo not averaged to mono", Format(2, 11025, 16), Le16({1000, 3000}), 1, {2000}},
        {"mono not copied to both sides", Format(1, 11025, 16), Le16({-700}), 2, {-700, -700}},
        {"stereo sides swapped or mixed", Format(2, 11025, 16), Le16({100, -200}), 2, {100, -200}},
        {"8-bit stereo mixed wrongly", Format(2, 11025, 8), {0, 255}, 1, {-128}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        auto core = MixCore::Create(11025, row.deviceChannels, 0.02);
        auto buffer = core->CreateBuffer(row.format, static_cast<uint32_t>(row.bytes.size()));
        ASSERT_TRUE(buffer);
        ASSERT_EQ(buffer->Write(0, row.bytes.data(), buffer->Size()), DeviceResult::Ok);
        buffer->Play(false);
        auto frames =
            static_cast<uint32_t>(row.expected.size()) / static_cast<uint32_t>(row.deviceChannels);
        EXPECT_EQ(Render(*core, frames), row.expected);
        auto tail = Render(*core, 4);
        EXPECT_EQ(tail, std::vector<int16_t>(tail.size(), 0)) << "a once buffer plays past its end";
    }
}

TEST(MixCoreTest, RefusesFormatsAndSizesItCannotPlay) {
    auto core = MixCore::Create(11025, 1, 0.02);
    PcmFormat notPcm = Format(1, 11025, 16);
    notPcm.formatTag = 3;
    PcmFormat badAlign = Format(1, 11025, 16);
    badAlign.blockAlign = 4;
    const struct {
        const char* fault;
        PcmFormat format;
        uint32_t bytes;
    } rows[] = {
        {"float data taken as PCM", notPcm, 100},
        {"three channels read as stereo", Format(3, 11025, 16), 120},
        {"24-bit read as 16-bit", Format(1, 11025, 24), 120},
        {"block size not matching the sample size", badAlign, 100},
        {"a zero rate divides by zero", Format(1, 0, 16), 100},
        {"an empty buffer", Format(1, 11025, 16), 0},
        {"a buffer smaller than one frame", Format(2, 11025, 16), 3},
    };
    for (const auto& row : rows)
        EXPECT_FALSE(core->CreateBuffer(row.format, row.bytes)) << row.fault;
}

// The dominant frequency by zero crossings and the amplitude by RMS.
void Measure(const std::vector<int16_t>& s, double rate, double& hz, double& amplitude) {
    int crossings = 0;
    double sum = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if ((s[i - 1] < 0) != (s[i] < 0)) ++crossings;
        sum += static_cast<double>(s[i]) * s[i];
    }
    hz = crossings / 2.0 / (static_cast<double>(s.size()) / rate);
    amplitude = std::sqrt(sum / static_cast<double>(s.size())) * std::numbers::sqrt2;
}

TEST(MixCoreTest, ResamplingKeepsFrequencyAmplitudeAndDuration) {
    const struct {
        const char* fault;
        uint32_t sourceRate;
        uint32_t deviceRate;
        double hz;
    } rows[] = {
        {"halving the rate shifts the pitch", 22050, 11025, 1000},
        {"raising the rate shifts the pitch", 8000, 44100, 440},
        {"a non-integer ratio drifts", 11025, 48000, 300},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        const uint32_t frames = row.sourceRate;  // one second
        std::vector<int16_t> sine(frames);
        for (uint32_t i = 0; i < frames; ++i) {
            sine[i] = static_cast<int16_t>(
                std::lround(10000 * std::sin(2 * std::numbers::pi * row.hz * i / row.sourceRate)));
        }
        auto bytes = Le16(sine);
        auto core = MixCore::Create(row.deviceRate, 1, 0.02);
        auto buffer =
            core->CreateBuffer(Format(1, row.sourceRate, 16), static_cast<uint32_t>(bytes.size()));
        ASSERT_TRUE(buffer);
        buffer->Write(0, bytes.data(), buffer->Size());
        buffer->Play(false);
        // Exactly one second of device frames, then the buffer has stopped.
        auto out = Render(*core, row.deviceRate - 1);
        bool playing = false;
        buffer->GetStatus(playing);
        EXPECT_TRUE(playing) << "stopped early";
        Render(*core, 1);
        buffer->GetStatus(playing);
        EXPECT_FALSE(playing) << "played too long";
        double hz = 0, amplitude = 0;
        Measure(out, row.deviceRate, hz, amplitude);
        EXPECT_NEAR(hz, row.hz, row.hz * 0.01);
        EXPECT_NEAR(amplitude, 10000, 300);
    }
}

TEST(MixCoreTest, DcStaysDcThroughRateAndChannelChanges) {
    const struct {
        PcmFormat format;
        std::vector<uint8_t> frame;  // one frame of the constant
        int deviceChannels;
        std::vector<int16_t> expected;  // one device frame
    } rows[] = {
        {Format(1, 8000, 16), Le16({5000}), 2, {5000, 5000}},
        {Format(1, 22050, 16), Le16({-5000}), 1, {-5000}},
        {Format(1, 44100, 8), {128 + 20}, 1, {5120}},
        {Format(2, 44100, 16), Le16({1000, -3000}), 2, {1000, -3000}},
        {Format(2, 22050, 8), {128 + 10, 128 + 30}, 1, {5120}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.format.samplesPerSec << " Hz, " << row.format.channels << " channels, "
                     << row.format.bitsPerSample << " bits");
        auto core = MixCore::Create(11025, row.deviceChannels, 0.02);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 2000; ++i)
            bytes.insert(bytes.end(), row.frame.begin(), row.frame.end());
        auto buffer = core->CreateBuffer(row.format, static_cast<uint32_t>(bytes.size()));
        ASSERT_TRUE(buffer);
        buffer->Write(0, bytes.data(), buffer->Size());
        buffer->Play(true);
        // The first few milliseconds rise from the silence before the start;
        // after that the level holds exactly, across every wrap of the loop.
        Render(*core, 100);
        auto out = Render(*core, 3000);
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], row.expected[i % row.expected.size()]) << "at " << i;
    }
}

// What lies behind the write cursor is the device's: silencing the whole
// buffer (as an underrun does) must not reach the frames a rate converter
// has yet to read, or the last of a sound before it is cut off.
TEST(MixCoreTest, AWriteBehindTheWriteCursorIsNotHeard) {
    auto core = MixCore::Create(44100, 1, 0.02);
    auto buffer = core->CreateBuffer(Format(1, 11025, 16), 8000);
    ASSERT_TRUE(buffer);
    const auto dc = Le16(std::vector<int16_t>(4000, 5000));
    buffer->Write(0, dc.data(), buffer->Size());
    buffer->Play(true);
    Render(*core, 1000);
    uint32_t play = 0, write = 0;
    buffer->GetCurrentPosition(play, write);
    buffer->Write(0, nullptr, buffer->Size());
    // Up to the write cursor (less the converter's rise at its end) it still sounds.
    const auto out = Render(*core, (write - play) / 2 * 4 - 256);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], 5000, 2) << "at " << i;
}

// A device whose stream has not started has fetched nothing: sound written
// at the write cursor it reports is heard from its first rendered frame,
// not a device lead of silence later.
TEST(MixCoreTest, BeforeTheFirstFetchSoundAtTheWriteCursorIsHeardFirst) {
    for (const uint32_t rate : {11025u, 44100u}) {  // copied, then rate-converted
        SCOPED_TRACE(testing::Message() << rate << " Hz");
        auto core = MixCore::Create(rate, 1, 0.08);
        core->SetNothingFetched(true);
        auto buffer = core->CreateBuffer(Format(1, 11025, 16), 8000);
        ASSERT_TRUE(buffer);
        buffer->Play(true);
        uint32_t play = 0, write = 0;
        buffer->GetCurrentPosition(play, write);
        EXPECT_EQ(write, play);
        const auto dc = Le16(std::vector<int16_t>(2000, 5000));
        buffer->Write(write, dc.data(), static_cast<uint32_t>(dc.size()));
        core->SetNothingFetched(false);
        buffer->GetCurrentPosition(play, write);
        EXPECT_GE((write + buffer->Size() - play) % buffer->Size(), 80u * 11025 / 1000 * 2)
            << "the lead comes back once the device may fetch";
        const auto out = Render(*core, rate / 10);
        const auto loud = std::find_if(out.begin(), out.end(), [](int16_t v) { return v > 2500; });
        EXPECT_LT(loud - out.begin(), static_cast<std::ptrdiff_t>(rate / 500)) << "not within 2 ms";
    }
}

// Writes come every mixing step while the device renders: a write under
// way must never cost the device a period of a sound that plays on.
TEST(MixCoreTest, WritesWhileTheDeviceRendersLeaveNoHole) {
    for (const uint32_t rate : {44100u, 11025u}) {  // copied, then rate-converted
        SCOPED_TRACE(testing::Message() << rate << " Hz");
        auto core = MixCore::Create(44100, 1, 0.02);
        auto buffer = core->CreateBuffer(Format(1, rate, 16), 8000);
        ASSERT_TRUE(buffer);
        const auto dc = Le16(std::vector<int16_t>(4000, 5000));
        buffer->Write(0, dc.data(), buffer->Size());
        buffer->Play(true);
        Render(*core, 1000);  // past the converter's rise from silence
        std::atomic<bool> done{false};
        std::thread writer([&] {
            while (!done.load()) buffer->Write(0, dc.data(), buffer->Size());
        });
        std::vector<int16_t> out;
        for (int period = 0; period < 200; ++period) {
            const auto part = Render(*core, 441);
            out.insert(out.end(), part.begin(), part.end());
        }
        done = true;
        writer.join();
        for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], 5000, 2) << "at " << i;
    }
}

class BufferTest : public ::testing::Test {
  protected:
    // Five 16-bit samples at the device's own rate: one byte is one byte.
    std::shared_ptr<MixCore> core = MixCore::Create(11025, 1, 0.02);
    std::unique_ptr<OutputBuffer> buffer = core->CreateBuffer(Format(1, 11025, 16), 10);
    void Fill(const std::vector<int16_t>& s) {
        auto b = Le16(s);
        ASSERT_EQ(buffer->Write(0, b.data(), static_cast<uint32_t>(b.size())), DeviceResult::Ok);
    }
};

TEST_F(BufferTest, WriteWrapsPastTheEnd) {
    Fill({1, 2, 3, 4, 5});
    auto b = Le16({30, 40, 50});
    EXPECT_EQ(buffer->Write(6, b.data(), 6), DeviceResult::Ok);
    buffer->Play(false);
    EXPECT_EQ(Render(*core, 5), (std::vector<int16_t>{50, 2, 3, 30, 40}));
    EXPECT_EQ(buffer->Write(8, nullptr, 4), DeviceResult::Ok);  // zeros, wrapping too
    buffer->Play(false);
    EXPECT_EQ(Render(*core, 5), (std::vector<int16_t>{0, 2, 3, 30, 0}));
    EXPECT_EQ(buffer->Write(10, b.data(), 2), DeviceResult::Failed) << "offset past the end";
    EXPECT_EQ(buffer->Write(0, nullptr, 11), DeviceResult::Failed) << "more than the buffer";
}

TEST_F(BufferTest, PlayOnceStopsAtTheEndAndLoopingWraps) {
    Fill({1, 2, 3, 4, 5});
    buffer->Play(false);
    EXPECT_EQ(Render(*core, 7), (std::vector<int16_t>{1, 2, 3, 4, 5, 0, 0}));
    bool playing = true;
    buffer->GetStatus(playing);
    EXPECT_FALSE(playing);
    uint32_t play = 99, write = 99;
    buffer->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(write, 0u);

    buffer->SetCurrentPosition(6);
    buffer->Play(true);
    EXPECT_EQ(Render(*core, 7), (std::vector<int16_t>{4, 5, 1, 2, 3, 4, 5}));
    buffer->GetStatus(playing);
    EXPECT_TRUE(playing);
    buffer->Stop();
    EXPECT_EQ(Render(*core, 2), (std::vector<int16_t>{0, 0}));
    buffer->Play(false);  // resumes where it stopped
    EXPECT_EQ(Render(*core, 2), (std::vector<int16_t>{1, 2}));
}

TEST_F(BufferTest, SetCurrentPositionAlignsAndRefusesOffsetsPastTheEnd) {
    Fill({1, 2, 3, 4, 5});
    EXPECT_EQ(buffer->SetCurrentPosition(5), DeviceResult::Ok);  // inside sample 2
    buffer->Play(false);
    EXPECT_EQ(Render(*core, 1), (std::vector<int16_t>{3}));
    EXPECT_EQ(buffer->SetCurrentPosition(10), DeviceResult::Failed);
}

TEST(MixCoreTest, CursorsAdvanceInTheBuffersOwnBytes) {
    // 8-bit stereo at 22050 on an 11025 device: two frames (4 bytes) per device frame;
    // 2000 frames in all.
    auto core = MixCore::Create(11025, 1, 0.02);
    auto buffer = core->CreateBuffer(Format(2, 22050, 8), 4000);
    uint32_t play = 1, write = 1;
    buffer->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(write, 0u) << "a buffer that has not played reports both cursors at 0";
    buffer->Play(true);
    Render(*core, 300);
    buffer->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 1200u);
    // 20 ms at 22050 is 441 frames of 2 bytes ahead, unless the rate
    // conversion reads further ahead (it does: libsoxr works in blocks).
    wave::RateConverter probe;
    ASSERT_TRUE(probe.Create(22050, 11025, 1) && probe.Warm());
    const uint32_t lead = std::max<uint32_t>(441, probe.LookaheadFrames() + 1) % 2000 * 2;
    EXPECT_EQ(write, (1200u + lead) % 4000);
    Render(*core, 900);  // 1800 frames: past the end and round again
    buffer->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 800u);
    EXPECT_EQ(write, (800u + lead) % 4000);
}

TEST(MixCoreTest, VolumeAttenuatesInHundredthsOfADecibel) {
    const struct {
        const char* fault;
        int32_t volume;
        DeviceResult result;
        int16_t expected;
    } rows[] = {
        {"full level changes the samples", 0, DeviceResult::Ok, 20000},
        {"6 dB is not half", -602, DeviceResult::Ok, 10000},
        {"20 dB is not a tenth", -2000, DeviceResult::Ok, 2000},
        {"the lowest volume is not silent", -10000, DeviceResult::Ok, 0},
        {"gain above full level accepted", 1, DeviceResult::Failed, 20000},
        {"volume below the range accepted", -10001, DeviceResult::Failed, 20000},
    };
    for (const auto& row : rows) {
        auto core = MixCore::Create(11025, 1, 0.02);
        auto buffer = core->CreateBuffer(Format(1, 11025, 16), 2);
        auto b = Le16({20000});
        buffer->Write(0, b.data(), 2);
        EXPECT_EQ(buffer->SetVolume(row.volume), row.result) << row.fault;
        buffer->Play(false);
        EXPECT_NEAR(Render(*core, 1)[0], row.expected, 3) << row.fault;
    }
}

TEST(MixCoreTest, PlayingBuffersAddUpAndClip) {
    auto core = MixCore::Create(11025, 1, 0.02);
    auto a = core->CreateBuffer(Format(1, 11025, 16), 4);
    auto b = core->CreateBuffer(Format(1, 11025, 16), 4);
    auto da = Le16({30000, -1000});
    auto db = Le16({30000, 500});
    a->Write(0, da.data(), 4);
    b->Write(0, db.data(), 4);
    a->Play(false);
    b->Play(false);
    EXPECT_EQ(Render(*core, 2), (std::vector<int16_t>{32767, -500}));
    b.reset();  // a destroyed buffer leaves the mix
    a->Play(false);
    EXPECT_EQ(Render(*core, 2), (std::vector<int16_t>{30000, -1000}));
    core->Close();  // the device went away: the buffer lives on, silent
    EXPECT_EQ(a->Play(false), DeviceResult::Failed);
}

}  // namespace
}  // namespace vocalith::device
