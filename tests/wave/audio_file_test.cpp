// Reading outside audio files through libsndfile, and the whole-file reader
// of base: both refuse what is not a regular file without blocking on it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "base/file_io.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "wave/audio_file.h"

namespace vocalith::wave {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Chunk;
using test::ChunkClaiming;
using test::FmtBody;
using test::Form;
using test::Pcm;

TEST(AudioFileTest, DecodesWellFormedAndRefusesMalformedFiles) {
    const Bytes pcm = {1, 2, 3, 4};
    const struct {
        const char* fault;
        Bytes bytes;
        bool ok;
        size_t samples;
    } rows[] = {
        {"plain file misread",
         Form({Chunk("fmt ", FmtBody(Pcm(1, 11025, 16))), Chunk("data", pcm)}), true, 2},
        {"odd chunk before fmt not skipped with its pad byte",
         Form({Chunk("LIST", {9, 9, 9}), Chunk("fmt ", FmtBody(Pcm(2, 22050, 8))),
               Chunk("data", pcm)}),
         true, 4},
        {"metadata parsed: a LIST sub-chunk of size -9 looped forever",
         Form({Chunk("LIST", {'I', 'N', 'F', 'O', 'a', 'b', 'c', 0, 0xf7, 0xff, 0xff, 0xff}),
               Chunk("fmt ", FmtBody(Pcm(1, 11025, 16))), Chunk("data", pcm)}),
         true, 2},
        {"data size past the end of file trusted",
         Form({Chunk("fmt ", FmtBody(Pcm(1, 11025, 16))),
               ChunkClaiming("data", {1, 2, 3, 4, 5}, 0xFFFFFFF0u)}),
         true, 2},
        {"24-bit samples refused",
         Form({Chunk("fmt ", FmtBody(Pcm(1, 11025, 24))), Chunk("data", {0, 0, 1, 0, 0, 2})}), true,
         2},
        {"empty input accepted", {}, false, 0},
        {"not RIFF accepted", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, 0},
        {"missing fmt accepted", Form({Chunk("data", pcm)}), false, 0},
        {"short fmt read past its end", Form({Chunk("fmt ", {1, 0, 1, 0})}), false, 0},
        {"zero rate accepted", Form({Chunk("fmt ", FmtBody(Pcm(1, 0, 16))), Chunk("data", pcm)}),
         false, 0},
    };
    for (const auto& row : rows) {
        AudioFrames audio;
        const base::Result r = DecodeAudio(row.bytes, audio);
        EXPECT_EQ(r.ok(), row.ok) << row.fault << ": " << r.reason;
        if (row.ok) {
            EXPECT_EQ(audio.samples.size(), row.samples) << row.fault;
        } else {
            EXPECT_FALSE(r.reason.empty()) << row.fault;
        }
    }
}

TEST(AudioFileTest, SamplesComeOnTheSixteenBitScale) {
    AudioFrames audio;
    ASSERT_TRUE(DecodeAudio(test::Wave({128 + 10, 128 - 2}, Pcm(1, 8000, 8)), audio));
    EXPECT_EQ(audio.samples, (std::vector<int16_t>{2560, -512}));
    EXPECT_EQ(audio.sampleRate, 8000u);
    EXPECT_EQ(MixToMono(std::vector<int16_t>{100, 300, -5, -6}, 2),
              (std::vector<int16_t>{200, -6}));
}

// A tone of amplitude `peak` (1.0 is full scale), 1102 frames at 11025 Hz,
// written by libsndfile in `format`, must read back as the same tone on the
// 16-bit scale: float files once came back as silence.
TEST(AudioFileTest, EveryEncodingReadsOnTheSixteenBitScale) {
    const struct {
        const char* name;
        int format;
        double peak;
        int tolerance;  // the encoding's own rounding
    } rows[] = {
        {"16-bit WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5, 1},
        {"8-bit WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0.5, 256},
        {"24-bit WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.5, 1},
        {"32-bit WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0.5, 1},
        {"float WAV", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.5, 1},
        {"double WAV", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0.5, 1},
        {"float WAV past full scale, clipped", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2.0, 1},
        {"A-law WAV", SF_FORMAT_WAV | SF_FORMAT_ALAW, 0.5, 600},
        {"mu-law WAV", SF_FORMAT_WAV | SF_FORMAT_ULAW, 0.5, 600},
        {"FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0.5, 1},
        {"Ogg Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0.5, 2500},
        {"AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 0.5, 1},
    };
    const testsupport::TempFolder folder("vocalith-tone");
    constexpr int FRAMES = 1102;
    for (const auto& row : rows) {
        std::vector<double> tone(FRAMES);
        std::vector<int16_t> expected(FRAMES);
        for (int i = 0; i < FRAMES; ++i) {
            tone[i] = row.peak * std::sin(2 * M_PI * 440.0 * i / 11025.0);
            expected[i] =
                static_cast<int16_t>(std::clamp(std::lrint(tone[i] * 32768), -32768l, 32767l));
        }
        const fs::path path = folder / "tone";
        SF_INFO info{};
        info.samplerate = 11025;
        info.channels = 1;
        info.format = row.format;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << row.name << ": " << sf_strerror(nullptr);
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        sf_writef_double(file, tone.data(), FRAMES);
        sf_close(file);

        AudioFrames audio;
        ASSERT_TRUE(ReadAudioFile(path, audio)) << row.name;
        ASSERT_EQ(audio.samples.size(), expected.size()) << row.name;
        int worst = 0;
        // Lossy coding starts and ends on its own ramp: the middle counts.
        const int edge = row.tolerance > 1000 ? 200 : 0;
        for (int i = edge; i < FRAMES - edge; ++i) {
            worst = std::max(worst, std::abs(audio.samples[i] - expected[i]));
        }
        EXPECT_LE(worst, row.tolerance) << row.name;
    }
}

// WAVE files whose LIST chunk claims four gigabytes held libsndfile's
// parser for minutes; they are refused at once. 0xFFFFFFFF is no exception
// outside the sound data.
TEST(AudioFileTest, AChunkLargerThanTheFileIsRefusedAtOnce) {
    for (const char* form : {"RIFF", "RIFX"}) {
        SCOPED_TRACE(form);
        const std::string head = std::string(form) + std::string("\x60\0\0\0WAVELIST", 12);
        std::vector<uint8_t> bytes(head.begin(), head.end());
        bytes.resize(164, 0xff);
        AudioFrames audio;
        const auto begin = std::chrono::steady_clock::now();
        const base::Result read = DecodeAudio(bytes, audio);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
        EXPECT_FALSE(read);
        EXPECT_NE(read.reason.find("LIST chunk claims more bytes"), std::string::npos)
            << read.reason;
    }
}

TEST(AudioFileTest, AFifoIsRefusedWithoutWaitingForAWriter) {
    const testsupport::TempFolder folder("vocalith-audio");
    const fs::path fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto begin = std::chrono::steady_clock::now();
    AudioFrames audio;
    const base::Result read = ReadAudioFile(fifo, audio);
    std::vector<uint8_t> bytes;
    const base::Result whole = base::ReadFileBytes(fifo, 1000, bytes);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
    fs::remove(fifo);
    EXPECT_FALSE(read);
    EXPECT_EQ(whole.reason, fifo.string() + " is not a regular file");
    EXPECT_NE(read.reason.find("is not a regular file"), std::string::npos) << read.reason;
}

TEST(AudioFileTest, TheWholeFileReaderKeepsToItsLimit) {
    const testsupport::TempFolder folder("vocalith-whole");
    const fs::path path = folder / "file";
    std::ofstream(path, std::ios::binary) << "0123456789";
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(base::ReadFileBytes(path, 10, bytes));
    EXPECT_EQ(bytes.size(), 10u);
    const base::Result over = base::ReadFileBytes(path, 9, bytes);
    EXPECT_FALSE(over);
    EXPECT_NE(over.reason.find("more than the limit of 9"), std::string::npos) << over.reason;
    EXPECT_TRUE(bytes.empty());
    fs::remove(path);
    EXPECT_FALSE(base::ReadFileBytes(path, 10, bytes));
    EXPECT_FALSE(base::ReadFileBytes(folder.Path(), 10, bytes));
}

}  // namespace
}  // namespace vocalith::wave
