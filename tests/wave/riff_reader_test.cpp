// The sound-effect loader's RIFF walk: each fault gives its own code, the
// form's declared size bounds the search, and in a file the walk seeks from
// header to header instead of reading what lies between.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "wave/riff_reader.h"

namespace vocalith::wave {
namespace {

using base::RESULT_OK;
using test::FmtBody;
using test::Form;
using test::PutChunk;
using test::Wave;

TEST(RiffReaderTest, EachFaultHasItsCode) {
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> fmtThenJunkThenData;
    PutChunk(fmtThenJunkThenData, "fmt ", FmtBody(SystemFormat, 18), 18);
    PutChunk(fmtThenJunkThenData, "LIST", {9, 9, 9}, 3);  // odd: padded
    PutChunk(fmtThenJunkThenData, "data", data, 6);
    std::vector<uint8_t> dataBeforeFmt;
    PutChunk(dataBeforeFmt, "data", data, 6);
    PutChunk(dataBeforeFmt, "fmt ", FmtBody(), 16);
    std::vector<uint8_t> fmtTooLong;
    PutChunk(fmtTooLong, "fmt ", FmtBody(), 400);
    std::vector<uint8_t> noFmt;
    PutChunk(noFmt, "data", data, 6);
    std::vector<uint8_t> emptyData;
    PutChunk(emptyData, "fmt ", FmtBody(), 16);
    PutChunk(emptyData, "data", {}, 0);
    std::vector<uint8_t> junkFirst;
    PutChunk(junkFirst, "JUNK", {1, 2}, 2);
    const auto wave = Wave(data);
    junkFirst.insert(junkFirst.end(), wave.begin(), wave.end());

    struct Row {
        const char* fault;
        std::vector<uint8_t> bytes;
        int32_t code;
        uint32_t dataSize;
    };
    const Row rows[] = {
        {"a plain file must load", Wave(data), RESULT_OK, 6},
        {"an odd chunk between must be skipped with its pad byte", Form(fmtThenJunkThenData),
         RESULT_OK, 6},
        {"a form after another top-level chunk must be found", junkFirst, RESULT_OK, 6},
        {"empty input is no WAVE form", {}, RIFF_ERR_NOT_WAVE, 0},
        {"a RIFF form of another type is not WAVE", Form(fmtThenJunkThenData, "AVI "),
         RIFF_ERR_NOT_WAVE, 0},
        {"a header cut inside the form type is not WAVE",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W'},
         RIFF_ERR_NOT_WAVE,
         0},
        {"no fmt chunk", Form(noFmt), RIFF_ERR_NO_FORMAT, 0},
        {"a fmt chunk longer than the file", Form(fmtTooLong), RIFF_ERR_FORMAT_SHORT, 0},
        {"data only before fmt is not found", Form(dataBeforeFmt), RIFF_ERR_NO_DATA, 0},
        {"an empty data chunk", Form(emptyData), RIFF_ERR_DATA_EMPTY, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        const WaveView view = ParseWave(r.bytes);
        EXPECT_EQ(view.status.code, r.code);
        if (r.code == RESULT_OK) {
            EXPECT_EQ(view.dataSize, r.dataSize);
            EXPECT_EQ(view.format.samplesPerSec, 11025u);
            EXPECT_EQ(view.format.bitsPerSample, 16);
            ASSERT_EQ(view.data.size(), 6u);
            EXPECT_EQ(view.data[0], 1);
        }
    }
}

// The declared size of the RIFF form bounds where chunks are looked for, but
// a chunk's bytes are read from the file: a form that claims too little still
// gives its chunks whole, and one that claims nothing holds no "fmt ".
TEST(RiffReaderTest, FormSizeBoundsTheSearchNotTheRead) {
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6};
    auto withDeclared = [](std::vector<uint8_t> v, uint32_t declared) {
        for (int i = 0; i < 4; ++i) v[4 + i] = static_cast<uint8_t>(declared >> (8 * i));
        return v;
    };
    const std::vector<uint8_t> wave = Wave(data);  // 12 + 24 + 8 + 6 = 50 bytes
    std::vector<uint8_t> fmtPastForm;
    PutChunk(fmtPastForm, "fmt ", FmtBody(), 16);
    fmtPastForm.insert(fmtPastForm.end(), {'d', 'a', 't', 'a', 6, 0, 0, 0, 1, 2, 3, 4, 5, 6});
    struct Row {
        const char* fault;
        std::vector<uint8_t> bytes;
        int32_t code;
        size_t dataRead;
    };
    const Row rows[] = {
        {"data running past the declared form end must be read whole",
         withDeclared(wave, 4 + 24 + 8 + 2), RESULT_OK, 6},
        {"fmt body past the declared form end must be read from the file (then no data)",
         withDeclared(Form(fmtPastForm), 4 + 8 + 4), RIFF_ERR_NO_DATA, 0},
        {"a form declaring no room for chunks holds no fmt (not: no WAVE form)",
         withDeclared(wave, 0), RIFF_ERR_NO_FORMAT, 0},
        {"data cut by the end of the file is short", {wave.begin(), wave.end() - 2}, RESULT_OK, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        const WaveView view = ParseWave(r.bytes);
        EXPECT_EQ(view.status.code, r.code);
        if (r.code == RESULT_OK) {
            EXPECT_EQ(view.dataSize, 6u);
            EXPECT_EQ(view.format.samplesPerSec, 11025u);
            ASSERT_EQ(view.data.size(), r.dataRead);
            EXPECT_EQ(view.data[0], 1);
        }
    }
}

TEST(RiffReaderTest, AFileIsWalkedBySeekingPastChunks) {
    // A gigabyte of junk (a hole in a sparse file) before the format: found
    // at once, and only the data chunk is read.
    const testsupport::TempFolder folder("vocalith-riff");
    const auto path = folder / "sparse.wav";
    std::vector<uint8_t> head;
    test::PutId(head, "RIFF");
    test::Put32(head, 0xFFFFFFF0u);
    test::PutId(head, "WAVE");
    test::PutId(head, "JUNK");
    test::Put32(head, 1u << 30);
    std::vector<uint8_t> tail;
    PutChunk(tail, "fmt ", FmtBody(), 16);
    PutChunk(tail, "data", {5, 6, 7, 8}, 4);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), static_cast<long>(head.size()));
        out.seekp(static_cast<long>(head.size() + (1u << 30)));
        out.write(reinterpret_cast<const char*>(tail.data()), static_cast<long>(tail.size()));
    }
    const auto begin = std::chrono::steady_clock::now();
    FileSource file;
    ASSERT_TRUE(file.Open(path));
    WaveChunks chunks;
    ASSERT_TRUE(FindWaveChunks(file, chunks));
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadWaveData(file, chunks, data));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
    EXPECT_EQ(data, (std::vector<uint8_t>{5, 6, 7, 8}));
    EXPECT_EQ(chunks.format.samplesPerSec, 11025u);
    std::filesystem::remove(path);
}

TEST(RiffReaderTest, WhatIsNoRegularFileIsNotOpened) {
    const testsupport::TempFolder folder("vocalith-riff");
    const auto fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FileSource file;
    const base::Result opened = file.Open(fifo);  // must not wait for a writer
    EXPECT_EQ(opened.code, RIFF_ERR_OPEN);
    EXPECT_NE(opened.reason.find("is not a regular file"), std::string::npos) << opened.reason;
    std::filesystem::remove(fifo);
    EXPECT_EQ(file.Open(folder.Path()).code, RIFF_ERR_OPEN);
    EXPECT_EQ(file.Open("/no/such/file.wav").code, RIFF_ERR_OPEN);
}

TEST(RiffReaderTest, DeclaredDataIsComparedWithWhatIsPresent) {
    std::vector<uint8_t> lying = Wave(std::vector<uint8_t>(200, 7));
    lying[43] = 0x10;  // the data chunk now claims 256 MiB more
    const WaveView view = ParseWave(lying);
    ASSERT_TRUE(view.status);
    EXPECT_EQ(view.dataSize, 200u + (1u << 28));
    EXPECT_EQ(view.data.size(), 200u);
}

}  // namespace
}  // namespace vocalith::wave
