// The WAV-file backend end to end, the null backend and backend selection.
// (The WAV reader and writer themselves are tested in tests/wave.)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/atomic_file.h"
#include "device/backends.h"
#include "device/queue_dispatcher.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "wave/audio_file.h"
#include "wave/wav_writer.h"

namespace vocalith::device {
namespace {

namespace fs = std::filesystem;

class TempDir : public testsupport::TempFolder {
  public:
    TempDir() : TempFolder("vocalith-device") {}
    std::string File(const char* name) const { return (Path() / name).string(); }
};

void WriteWav(const std::string& path, const std::vector<int16_t>& samples) {
    ASSERT_TRUE(wave::WriteWavFile(path, samples));
}

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& samples) {
    return test::SampleBytes(samples);
}

TEST(WavBackendTest, RendersAPlayedClipIntoTheFileSampleForSample) {
    TempDir dir;
    // The named temporary file, as on a file system without unnamed ones,
    // so that the rendering can be looked at while it grows.
    base::AllowUnnamedTempFiles(false);
    std::string out = dir.File("out.wav");
    std::string error;
    auto backend = MakeBackend("wav:" + out, &error);
    ASSERT_TRUE(backend) << error;
    std::vector<uint8_t> clip;
    for (int i = 0; i < 1500; ++i) {
        auto v = static_cast<uint16_t>((i * 2654435761u) >> 16);
        clip.push_back(static_cast<uint8_t>(v));
        clip.push_back(static_cast<uint8_t>(v >> 8));
    }
    {
        auto device = backend->OpenOutput();
        ASSERT_TRUE(device);
        EXPECT_FALSE(backend->OpenOutput()) << "a second device would write the same file";
        auto buffer = device->CreateBuffer(PcmFormat{}, static_cast<uint32_t>(clip.size()));
        ASSERT_TRUE(buffer);
        buffer->Write(0, clip.data(), buffer->Size());
        ASSERT_EQ(buffer->Play(false), DeviceResult::Ok);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        bool playing = true;
        for (int i = 0; i < 100 && playing; ++i) {  // 136 ms of clip; allow for a slow machine
            buffer->GetStatus(playing);
            if (playing) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_FALSE(playing) << "a once buffer never finished";
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        // Until the device closes the rendering grows in a temporary file
        // beside the target, whose header is kept current.
        EXPECT_FALSE(fs::exists(out)) << "the target replaced before the rendering was complete";
        std::vector<fs::path> temps;
        for (const auto& e : fs::directory_iterator(fs::path(out).parent_path())) {
            if (e.path().filename().string().rfind(".out.wav.", 0) == 0) temps.push_back(e.path());
        }
        ASSERT_EQ(temps.size(), 1u);
        wave::AudioFrames partial;
        ASSERT_TRUE(wave::ReadAudioFile(temps[0], partial));
        EXPECT_GT(2 * partial.samples.size(), clip.size());
    }
    wave::AudioFrames wav;
    const base::Result read = wave::ReadAudioFile(out, wav);
    ASSERT_TRUE(read) << read.reason;
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.sampleRate, 11025u);
    const std::vector<uint8_t> bytes = Bytes16(wav.samples);
    EXPECT_GE(bytes.size(), 2 * 11025u * 8 / 10) << "not rendered in real time";
    auto found = std::search(bytes.begin(), bytes.end(), clip.begin(), clip.end());
    ASSERT_NE(found, bytes.end()) << "the clip's samples are not in the rendering";
    EXPECT_EQ((found - bytes.begin()) % 2, 0);
    for (const auto& e : fs::directory_iterator(fs::path(out).parent_path())) {
        EXPECT_EQ(e.path(), fs::path(out)) << "a stray file is left";
    }
    EXPECT_TRUE(backend->OpenOutput()) << "the device stays busy after it was closed";
    base::AllowUnnamedTempFiles(true);
}

TEST(WavBackendTest, BuffersOutliveTheirDevice) {
    TempDir dir;
    auto backend = MakeBackend("wav:" + dir.File("o.wav"), nullptr);
    auto device = backend->OpenOutput();
    auto buffer = device->CreateBuffer(PcmFormat{}, 100);
    buffer->Play(true);
    device.reset();
    uint32_t play, write;
    EXPECT_EQ(buffer->GetCurrentPosition(play, write), DeviceResult::Ok);
    EXPECT_EQ(buffer->Write(0, nullptr, 100), DeviceResult::Ok);
    buffer.reset();
}

class CollectingSink : public CaptureSink {
  public:
    void OnBufferDone(int index, const uint8_t* data, uint32_t bytes) override {
        order.push_back(index);
        got.insert(got.end(), data, data + bytes);
        device->AddBuffer(index);
    }
    CaptureDevice* device = nullptr;
    std::vector<int> order;
    std::vector<uint8_t> got;
};

TEST(WavBackendTest, CaptureDeliversTheInputFileInOrderThenSilence) {
    TempDir dir;
    std::vector<int16_t> samples;
    for (int i = 0; i < 3000; ++i) samples.push_back(static_cast<int16_t>(i * 37 - 20000));
    const std::vector<uint8_t> input = Bytes16(samples);
    WriteWav(dir.File("in.wav"), samples);
    std::string error;
    auto backend = MakeBackend("wav:" + dir.File("out.wav") + "," + dir.File("in.wav"), &error);
    ASSERT_TRUE(backend) << error;
    auto capture = backend->OpenCapture();
    ASSERT_TRUE(capture);
    QueueDispatcher ui;
    CollectingSink sink;
    sink.device = capture.get();
    ASSERT_TRUE(capture->Open(PcmFormat{}, 16, 1000, &sink, &ui));
    capture->Start();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (sink.got.size() < input.size() + 1000 && std::chrono::steady_clock::now() < deadline) {
        ui.WaitAndRun(std::chrono::milliseconds(20));
    }
    capture->Close();
    ASSERT_GE(sink.got.size(), input.size() + 1000);
    EXPECT_TRUE(std::equal(input.begin(), input.end(), sink.got.begin()))
        << "samples lost or reordered";
    EXPECT_TRUE(std::all_of(sink.got.begin() + static_cast<long>(input.size()), sink.got.end(),
                            [](uint8_t b) { return b == 0; }));
    for (size_t i = 0; i < sink.order.size(); ++i)
        EXPECT_EQ(sink.order[i], static_cast<int>(i % 16));
}

TEST(WavBackendTest, CaptureConvertsOtherFormatsToTheSystemFormat) {
    // 8-bit stereo at 22050 Hz, as libsndfile gives it: on the 16-bit scale.
    std::vector<uint8_t> pcm;
    for (int i = 0; i < 22050; ++i) {
        pcm.push_back(128 + 10);  // left +2560
        pcm.push_back(128 + 30);  // right +7680
    }
    wave::AudioFrames audio;
    ASSERT_TRUE(wave::DecodeAudio(test::Wave(pcm, test::Pcm(2, 22050, 8)), audio));
    ASSERT_EQ(audio.channels, 2);
    auto out = ConvertToCaptureFormat(audio);
    EXPECT_EQ(out.size(), 11025u);
    // Converted band-limited from silence and back into it: the level holds
    // but for some milliseconds at each end.
    EXPECT_TRUE(std::all_of(out.begin() + 200, out.end() - 200,
                            [](int16_t v) { return v >= 5119 && v <= 5121; }));
    EXPECT_TRUE(
        std::all_of(out.begin(), out.end(), [](int16_t v) { return v > -800 && v < 5800; }));
}

TEST(BackendTest, NullBackendHasNoDevices) {
    auto backend = MakeBackend("null", nullptr);
    ASSERT_TRUE(backend);
    EXPECT_FALSE(backend->OpenOutput());
    EXPECT_FALSE(backend->OpenCapture());
}

TEST(BackendTest, MakeBackendParsesTheSpec) {
    TempDir dir;
    std::string out = dir.File("o.wav");
    std::string in = dir.File("in.wav");
    WriteWav(in, {0});
    std::ofstream(dir.File("bad.wav")) << "not a wave file";
    const struct {
        const char* fault;
        std::string choice;
        bool ok;
        const char* errorStart;
    } rows[] = {
        {"portaudio refused", "portaudio", true, ""},
        {"null refused", "null", true, ""},
        {"wav output refused", "wav:" + out, true, ""},
        {"wav with input refused", "wav:" + out + "," + in, true, ""},
        {"unknown name accepted", "xyz", false, "unknown audio backend 'xyz' (use portaudio, "},
        {"letter case ignored", "NULL", false, "unknown audio backend 'NULL'"},
        {"wav without a file accepted", "wav:", false, "audio backend 'wav:' names no output file"},
        {"empty input name accepted", "wav:" + out + ",", false, "audio backend"},
        {"output in a missing folder accepted", "wav:" + dir.File("no/such/dir.wav"), false,
         "cannot write output file"},
        {"missing input file accepted", "wav:" + out + "," + dir.File("none.wav"), false,
         "cannot read input file"},
        {"input that is no WAV accepted", "wav:" + out + "," + dir.File("bad.wav"), false,
         "cannot read input file"},
    };
    for (const auto& row : rows) {
        std::string error;
        auto backend = MakeBackend(row.choice, &error);
        EXPECT_EQ(backend != nullptr, row.ok) << row.fault;
        EXPECT_EQ(error.rfind(row.errorStart, 0), 0u) << row.fault << ": " << error;
    }
    EXPECT_FALSE(fs::exists(out)) << "checking the choice created the output file";
}

TEST(BackendTest, EmptySpecReadsTheEnvironment) {
    const char* saved = std::getenv("VOCALITH_AUDIO");
    std::string keep = saved ? saved : "";
    setenv("VOCALITH_AUDIO", "bogus", 1);
    std::string error;
    EXPECT_FALSE(MakeBackend("", &error));
    EXPECT_NE(error.find("'bogus'"), std::string::npos);
    unsetenv("VOCALITH_AUDIO");
    EXPECT_TRUE(MakeBackend("", &error)) << "unset should mean portaudio";
    if (saved) setenv("VOCALITH_AUDIO", keep.c_str(), 1);
}

}  // namespace
}  // namespace vocalith::device
