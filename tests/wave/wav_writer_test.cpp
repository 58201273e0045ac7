// The one WAV writer: exact bytes, streaming, and where the bytes go: a
// regular file is replaced only when complete (a failure leaves the old one
// and no stray file), anything else is written in place and never unlinked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "base/atomic_file.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "wave/audio_file.h"
#include "wave/wav_writer.h"

namespace vocalith::wave {
namespace {

namespace fs = std::filesystem;

class WavWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::make_unique<testsupport::TempFolder>("vocalith-wavw");
        dir_ = folder_->Path();
    }
    void TearDown() override { folder_.reset(); }
    std::unique_ptr<testsupport::TempFolder> folder_;

    static std::vector<uint8_t> Bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Put(const fs::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    // The names in the folder: a stray temporary file shows up here.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

std::vector<int16_t> Ramp(size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(i * 131 - 30000);
    return s;
}

TEST_F(WavWriterTest, WritesTheCanonicalFileInBlocks) {
    const auto samples = Ramp(1001);
    const fs::path path = dir_ / "a.wav";
    WavWriter w;
    ASSERT_TRUE(w.Open(path));
    for (size_t at = 0; at < samples.size(); at += 100) {
        const size_t n = std::min<size_t>(100, samples.size() - at);
        ASSERT_TRUE(w.Append({samples.data() + at, n}));
    }
    EXPECT_FALSE(fs::exists(path)) << "the target appears only when complete";
    ASSERT_TRUE(w.Finish());
    EXPECT_EQ(Bytes(path), test::Wave(test::SampleBytes(samples)));
    EXPECT_EQ(EncodeWav(samples), test::Wave(test::SampleBytes(samples)));
    EXPECT_EQ(Names(), std::vector<std::string>{"a.wav"});
    AudioFrames back;
    ASSERT_TRUE(ReadAudioFile(path, back));
    EXPECT_EQ(back.samples, samples);
    EXPECT_EQ(back.sampleRate, SYSTEM_SAMPLE_RATE);
}

TEST_F(WavWriterTest, TheHeaderClaimsOnlyWhatIsInTheFile) {
    // Where the file system has no unnamed temporary files, a killed
    // process leaves the named one behind.
    base::AllowUnnamedTempFiles(false);
    const auto samples = Ramp(500);
    WavWriter w;
    ASSERT_TRUE(w.Open(dir_ / "live.wav"));
    base::AllowUnnamedTempFiles(true);
    ASSERT_TRUE(w.Append({samples.data(), 300}));
    ASSERT_TRUE(w.UpdateHeader());
    ASSERT_TRUE(w.Append({samples.data() + 300, 200}));
    // A copy taken now is what a killed process would leave.
    const auto names = Names();
    ASSERT_EQ(names.size(), 1u);
    const auto cut = Bytes(dir_ / names[0]);
    ASSERT_GE(cut.size(), 44u + 600);
    EXPECT_EQ(cut[40] | cut[41] << 8, 600) << "the header claims what was there when updated";
    ASSERT_TRUE(w.Finish());
}

TEST_F(WavWriterTest, AFailedWriteKeepsTheOldFileAndLeavesNoStrayFile) {
    const fs::path path = dir_ / "keep.wav";
    Put(path, "the old file");
    // A child whose files may not grow past 2000 bytes writes 20000 bytes.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{2000, 2000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const base::Result r = WriteWavFile(path, Ramp(10000));
        _exit(!r && r.reason.find(path.string()) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported, or not with the path";
    std::vector<uint8_t> old = Bytes(path);
    EXPECT_EQ(std::string(old.begin(), old.end()), "the old file");
    EXPECT_EQ(Names(), std::vector<std::string>{"keep.wav"});
}

TEST_F(WavWriterTest, PastTheWavLimitTheFileBecomesRf64) {
    // The front is made by inserting a range where the file system can
    // (ext4) and by moving every byte where it cannot (tmpfs); a memory
    // image moves its bytes too.
    testsupport::TempFolder shm("/dev/shm/vocalith-rf64");
    const struct {
        const char* name;
        fs::path path;  // empty: memory
    } rows[] = {
        {"file on the temporary folder's file system", dir_ / "big.wav"},
        {"file on tmpfs", fs::exists("/dev/shm") ? shm.Path() / "big.wav" : dir_ / "b.wav"},
        {"memory image", {}},
    };
    const auto samples = Ramp(300000);
    for (const auto& row : rows) {
        std::vector<uint8_t> memory;
        WavWriter w;
        ASSERT_TRUE(row.path.empty() ? w.OpenMemory(&memory) : w.Open(row.path)) << row.name;
        w.SetDataLimit(400000);
        ASSERT_TRUE(w.Append({samples.data(), 150000})) << row.name;
        ASSERT_TRUE(w.Append({samples.data() + 150000, 100000})) << row.name << ": past the limit";
        ASSERT_TRUE(w.Append({samples.data() + 250000, 50000})) << row.name;
        ASSERT_TRUE(w.Finish()) << row.name;
        const std::vector<uint8_t> bytes = row.path.empty() ? memory : Bytes(row.path);
        ASSERT_EQ(bytes.size(), RF64_DATA_OFFSET + 2 * samples.size()) << row.name;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RF64") << row.name;
        AudioFrames back;
        ASSERT_TRUE(DecodeAudio(bytes, back)) << row.name;
        EXPECT_EQ(back.samples, samples) << row.name;
        EXPECT_EQ(back.sampleRate, SYSTEM_SAMPLE_RATE) << row.name;
    }
    EXPECT_EQ(WAV_MAX_DATA_BYTES, 0xFFFFFFDAull) << "36 + data must fit in 32 bits";
}

TEST_F(WavWriterTest, AnUnfinishedWriterLeavesTheOldFile) {
    const fs::path path = dir_ / "x.wav";
    Put(path, "old");
    {
        WavWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Append(Ramp(100)));
    }
    EXPECT_EQ(Bytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(Names(), std::vector<std::string>{"x.wav"});
}

TEST_F(WavWriterTest, ASymlinkKeepsPointingAtTheReplacedFile) {
    const fs::path target = dir_ / "real.wav";
    const fs::path link = dir_ / "link.wav";
    Put(target, "old");
    fs::create_symlink("real.wav", link);
    ASSERT_TRUE(WriteWavFile(link, Ramp(10)));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Bytes(target), test::Wave(test::SampleBytes(Ramp(10))));
    EXPECT_EQ(Names(), (std::vector<std::string>{"link.wav", "real.wav"}));
}

TEST_F(WavWriterTest, DevicesAreWrittenInPlaceAndFailuresNamed) {
    ASSERT_TRUE(WriteWavFile("/dev/null", Ramp(100000)));
    const base::Result full = WriteWavFile("/dev/full", Ramp(100));
    EXPECT_FALSE(full);
    EXPECT_NE(full.reason.find("/dev/full"), std::string::npos) << full.reason;
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/null was replaced";
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/full was replaced";
}

TEST_F(WavWriterTest, AFifoIsWrittenInPlace) {
    const fs::path fifo = dir_ / "pipe.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<uint8_t> got;
    std::thread reader([&] { got = Bytes(fifo); });
    const auto samples = Ramp(3000);
    const base::Result r = WriteWavFile(fifo, samples);
    reader.join();
    ASSERT_TRUE(r) << r.reason;
    EXPECT_EQ(got, test::Wave(test::SampleBytes(samples))) << "a short stream is exact";
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A stream let go before its end says "up to the end" in its sizes, so a
// reader takes every sample of 20 minutes of speech (more than the bytes
// held back) from the file the stream was saved to.
TEST_F(WavWriterTest, ALongStreamIsReadWholeThroughLibsndfile) {
    constexpr size_t kSamples = 20 * 60 * SYSTEM_SAMPLE_RATE;
    static_assert(2 * kSamples > STREAM_HOLD_BYTES);
    const auto sample = [](size_t i) { return static_cast<int16_t>(i * 7919 + i / 1000); };
    const fs::path fifo = dir_ / "speech.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        WavWriter w;
        base::Result r = w.Open(fifo);
        std::vector<int16_t> block(4096);
        for (size_t at = 0; r && at < kSamples; at += block.size()) {
            block.resize(std::min(block.size(), kSamples - at));
            for (size_t k = 0; k < block.size(); ++k) block[k] = sample(at + k);
            r = w.Append(block);
        }
        EXPECT_TRUE(r && w.Finish()) << r.reason;
    });
    const fs::path saved = dir_ / "saved.wav";  // what `> saved.wav` would keep
    {
        std::ifstream in(fifo, std::ios::binary);
        std::ofstream(saved, std::ios::binary) << in.rdbuf();
    }
    writer.join();
    SF_INFO info{};
    SNDFILE* file = sf_open(saved.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    size_t count = 0;
    size_t wrong = 0;
    std::vector<int16_t> got(4096);
    for (sf_count_t n; (n = sf_read_short(file, got.data(), 4096)) > 0;) {
        for (sf_count_t k = 0; k < n; ++k) wrong += got[k] != sample(count++);
    }
    sf_close(file);
    EXPECT_EQ(count, kSamples);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(WavWriterTest, DashIsStandardOutput) {
    const fs::path out = dir_ / "stdout.bin";
    const auto samples = Ramp(777);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        if (::chdir(dir_.c_str()) != 0) _exit(2);
        _exit(WriteWavFile("-", samples) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Bytes(out), test::Wave(test::SampleBytes(samples)));
    EXPECT_FALSE(fs::exists(dir_ / "-")) << "a file named '-' was written";
}

TEST_F(WavWriterTest, AnUnwritableFolderIsReported) {
    const base::Result r = WriteWavFile(dir_ / "no" / "such.wav", Ramp(1));
    EXPECT_FALSE(r);
    EXPECT_NE(r.reason.find("such.wav"), std::string::npos) << r.reason;
}

}  // namespace
}  // namespace vocalith::wave
