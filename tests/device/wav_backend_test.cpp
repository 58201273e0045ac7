// The WAV reader and writer, the WAV-file backend end to end, the null
// backend and backend selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device/backends.h"
#include "device/queue_dispatcher.h"
#include "device/wav_io.h"
#include "support/temp_folder.h"

namespace vocalith::device {
namespace {

namespace fs = std::filesystem;

class TempDir : public testsupport::TempFolder {
  public:
    TempDir() : TempFolder("vocalith-device") {}
    std::string File(const char* name) const { return (Path() / name).string(); }
};

void Put(std::vector<uint8_t>& b, const char* text) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(text[i]));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
std::vector<uint8_t> FmtChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::vector<uint8_t> b;
    Put(b, "fmt ");
    Put32(b, 16);
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    Put16(b, static_cast<uint16_t>(channels * bits / 8));
    Put16(b, bits);
    return b;
}
std::vector<uint8_t> Riff(std::initializer_list<std::vector<uint8_t>> chunks) {
    std::vector<uint8_t> b;
    Put(b, "RIFF");
    Put32(b, 0);
    Put(b, "WAVE");
    for (const auto& c : chunks) b.insert(b.end(), c.begin(), c.end());
    return b;
}
std::vector<uint8_t> Chunk(const char* id, std::vector<uint8_t> body, uint32_t claimed = 0) {
    std::vector<uint8_t> b;
    Put(b, id);
    Put32(b, claimed ? claimed : static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (!claimed && (body.size() & 1)) b.push_back(0);
    return b;
}

TEST(WavIoTest, ParsesWellFormedAndRejectsMalformedFiles) {
    const std::vector<uint8_t> pcm = {1, 2, 3, 4};
    const struct {
        const char* fault;
        std::vector<uint8_t> bytes;
        bool ok;
        size_t dataBytes;
    } rows[] = {
        {"plain file misread", Riff({FmtChunk(1, 1, 11025, 16), Chunk("data", pcm)}), true, 4},
        {"odd chunk before fmt not skipped with its pad byte",
         Riff({Chunk("LIST", {9, 9, 9}), FmtChunk(1, 2, 22050, 8), Chunk("data", pcm)}), true, 4},
        {"data size past the end of file trusted",
         Riff({FmtChunk(1, 1, 11025, 16), Chunk("data", {1, 2, 3, 4, 5}, 0xFFFFFFF0u)}), true, 4},
        {"empty input accepted", {}, false, 0},
        {"not RIFF accepted", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, 0},
        {"missing fmt accepted", Riff({Chunk("data", pcm)}), false, 0},
        {"short fmt read past its end", Riff({Chunk("fmt ", {1, 0, 1, 0})}), false, 0},
        {"float samples taken as PCM", Riff({FmtChunk(3, 1, 11025, 16), Chunk("data", pcm)}), false,
         0},
        {"24-bit taken as 16-bit", Riff({FmtChunk(1, 1, 11025, 24), Chunk("data", pcm)}), false, 0},
        {"zero rate accepted", Riff({FmtChunk(1, 1, 0, 16), Chunk("data", pcm)}), false, 0},
        {"missing data accepted", Riff({FmtChunk(1, 1, 11025, 16)}), false, 0},
        {"huge chunk size wraps the offset",
         Riff({Chunk("junk", {}, 0xFFFFFFFFu), FmtChunk(1, 1, 11025, 16)}), false, 0},
    };
    for (const auto& row : rows) {
        WavData wav;
        std::string error;
        EXPECT_EQ(ParseWav(row.bytes, wav, &error), row.ok) << row.fault << ": " << error;
        if (row.ok) {
            EXPECT_EQ(wav.data.size(), row.dataBytes) << row.fault;
        } else {
            EXPECT_FALSE(error.empty()) << row.fault;
        }
    }
}

TEST(WavIoTest, WriterOutputReadsBackAndSurvivesBeingCutShort) {
    TempDir dir;
    std::string path = dir.File("w.wav");
    std::vector<uint8_t> samples = {1, 0, 2, 0, 0xFF, 0x7F};
    {
        WavWriter w;
        ASSERT_TRUE(w.Open(path, PcmFormat{}, nullptr));
        w.Append(samples.data(), samples.size());
        ASSERT_TRUE(w.UpdateHeader());
        w.Append(samples.data(), 2);
        // A copy taken now is what a killed process would leave.
        fs::copy_file(path, dir.File("cut.wav"));
    }
    WavData wav;
    ASSERT_TRUE(ReadWavFile(path, wav, nullptr));
    EXPECT_EQ(wav.format.samplesPerSec, 11025u);
    EXPECT_EQ(wav.data, (std::vector<uint8_t>{1, 0, 2, 0, 0xFF, 0x7F, 1, 0}));
    ASSERT_TRUE(ReadWavFile(dir.File("cut.wav"), wav, nullptr));
    EXPECT_EQ(wav.data, samples);
    std::string error;
    EXPECT_FALSE(ReadWavFile(dir.File("missing.wav"), wav, &error));
    EXPECT_FALSE(error.empty());
}

void WriteWav(const std::string& path, const PcmFormat& format, const std::vector<uint8_t>& data) {
    WavWriter w;
    ASSERT_TRUE(w.Open(path, format, nullptr));
    w.Append(data.data(), data.size());
}

TEST(WavBackendTest, RendersAPlayedClipIntoTheFileSampleForSample) {
    TempDir dir;
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
        WavData partial;  // the header is kept current while the device runs
        ASSERT_TRUE(ReadWavFile(out, partial, nullptr));
        EXPECT_GT(partial.data.size(), clip.size());
    }
    WavData wav;
    ASSERT_TRUE(ReadWavFile(out, wav, &error)) << error;
    EXPECT_EQ(wav.format.channels, 1);
    EXPECT_EQ(wav.format.samplesPerSec, 11025u);
    EXPECT_GE(wav.data.size(), 2 * 11025u * 8 / 10) << "not rendered in real time";
    auto found = std::search(wav.data.begin(), wav.data.end(), clip.begin(), clip.end());
    ASSERT_NE(found, wav.data.end()) << "the clip's samples are not in the rendering";
    EXPECT_EQ((found - wav.data.begin()) % 2, 0);
    EXPECT_TRUE(backend->OpenOutput()) << "the device stays busy after it was closed";
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
    std::vector<uint8_t> input;
    for (int i = 0; i < 3000; ++i) {
        auto v = static_cast<uint16_t>(i * 37 - 20000);
        input.push_back(static_cast<uint8_t>(v));
        input.push_back(static_cast<uint8_t>(v >> 8));
    }
    WriteWav(dir.File("in.wav"), PcmFormat{}, input);
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
    WavData wav;
    wav.format.channels = 2;
    wav.format.samplesPerSec = 22050;
    wav.format.bitsPerSample = 8;
    wav.format.blockAlign = 2;
    wav.data.assign(2 * 22050, 0);
    for (size_t i = 0; i < wav.data.size(); i += 2) {
        wav.data[i] = 128 + 10;      // left +2560
        wav.data[i + 1] = 128 + 30;  // right +7680
    }
    auto out = ConvertToCaptureFormat(wav);
    EXPECT_EQ(out.size(), 11025u);
    // Converted band-limited from silence and back into it: the level holds
    // exactly but for a few milliseconds at each end.
    EXPECT_TRUE(
        std::all_of(out.begin() + 100, out.end() - 100, [](int16_t v) { return v == 5120; }));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v >= 0 && v < 5800; }));
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
    WriteWav(in, PcmFormat{}, {0, 0});
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
        {"unknown name accepted", "xyz", false,
         "unknown audio backend 'xyz' (use portaudio, null or wav:OUT.wav[,IN.wav])"},
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
