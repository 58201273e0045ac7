// vocalith-tts voice, run as a program: export then import gives the same
// voice file byte for byte; foreign WAV files are converted and long ones cut
// with a warning; set replaces one clip only; bad input is one error line.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "voice/voice_file.h"

namespace vocalith::voice {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class VoiceCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        // Clips of different lengths; k (20) and silence stay empty.
        for (int code = 0; code < PHONEME_COUNT; ++code) {
            if (code == 20 || code == SILENCE_CODE) continue;
            PhonSlot& slot = table_->slots[static_cast<size_t>(code)];
            slot.count = 37 * code + 1;
            for (int i = 0; i < slot.count; ++i)
                slot.samples[static_cast<size_t>(i)] = static_cast<int16_t>(i * 97 - code * 500);
        }
        table_->slots[0].count = PHON_MAX_SAMPLES;  // a full clip
        ASSERT_TRUE(SaveVoice(voice_, *table_).ok());
    }

    Outcome Voice(const std::string& args) {
        const fs::path out = dir_ / "stdout.txt";
        const fs::path err = dir_ / "stderr.txt";
        const std::string cmd = std::string("'") + VOCALITH_BIN_DIR + "/vocalith-tts' voice " +
                                args + " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
    }
    void WriteWav(const fs::path& path, const std::vector<int16_t>& samples,
                  const wave::PcmFormat& format = wave::SystemFormat) {
        const test::Bytes bytes = test::Wave(test::SampleBytes(samples), format);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::unique_ptr<PhonTable> Load(const fs::path& path) {
        auto table = std::make_unique<PhonTable>();
        EXPECT_TRUE(LoadVoice(path, *table).ok()) << path;
        return table;
    }

    testsupport::TempFolder temp_{"vocalith-voice"};
    fs::path dir_ = temp_.Path();
    fs::path voice_ = dir_ / "test.voc";
    std::unique_ptr<PhonTable> table_ = std::make_unique<PhonTable>();
};

TEST_F(VoiceCommand, ExportThenImportGivesTheSameFileByteForByte) {
    const fs::path clips = dir_ / "clips";
    Outcome r = Voice("export '" + voice_.string() + "' '" + clips.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(clips), {}), PHONEME_COUNT);
    EXPECT_TRUE(fs::exists(clips / "silence.wav"));
    EXPECT_TRUE(fs::exists(clips / "NG.wav"));
    const fs::path copy = dir_ / "copy.voc";
    r = Voice("import '" + copy.string() + "' '" + clips.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadText(copy), ReadText(voice_));

    // info: one row per phoneme and the total, which the file's length bears out.
    r = Voice("info '" + voice_.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nNG       suNG"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(" + std::to_string(fs::file_size(voice_)) + " bytes)"),
              std::string::npos)
        << r.out;
}

// A stereo file at 44100 Hz is averaged and resampled; a clip longer than
// 10000 samples is cut with a warning; phonemes without a file come from
// --base, or stay empty without one.
TEST_F(VoiceCommand, ImportConvertsCutsAndFillsFromTheBase) {
    const fs::path clips = dir_ / "clips";
    fs::create_directories(clips);
    std::vector<int16_t> stereo;
    for (int i = 0; i < 22050; ++i) stereo.insert(stereo.end(), {1000, 3000});  // 0.5 s
    WriteWav(clips / "aa.WAV", stereo, test::Pcm(2, 44100, 16));
    std::vector<int16_t> tooLong(12000);
    for (size_t i = 0; i < tooLong.size(); ++i) tooLong[i] = static_cast<int16_t>(i % 1000);
    WriteWav(clips / "p.wav", tooLong);
    WriteWav(clips / "notes.wav", {1, 2, 3});

    struct Case {
        const char* base;
        int32_t otherCount;  // the count of slot 1 (IH), which has no file
    };
    for (const Case c : {Case{"", 0}, Case{" --base '", table_->slots[1].count}}) {
        SCOPED_TRACE(c.base);
        const fs::path made = dir_ / "made.voc";
        std::string args = "import '" + made.string() + "' '" + clips.string() + "'";
        if (*c.base) args += c.base + voice_.string() + "'";
        const Outcome r = Voice(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("warning: " + (clips / "p.wav").string() + " is longer"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("ignored " + (clips / "notes.wav").string()), std::string::npos);
        auto got = Load(made);
        const PhonSlot& aa = got->slots[5];
        EXPECT_EQ(aa.count, 5513);  // ceil(22050 * 11025 / 44100)
        EXPECT_NEAR(aa.samples[2000], 2000, 2);
        EXPECT_EQ(got->slots[16].count, PHON_MAX_SAMPLES);
        EXPECT_EQ(got->slots[16].samples[9999], 9999 % 1000);
        EXPECT_EQ(got->slots[1].count, c.otherCount);
    }
}

TEST_F(VoiceCommand, SetReplacesOneClipAndLeavesTheRest) {
    const fs::path clip = dir_ / "clip.wav";
    WriteWav(clip, {5, -5, 7});
    const Outcome r = Voice("set '" + voice_.string() + "' Silence '" + clip.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    auto got = Load(voice_);
    table_->slots[SILENCE_CODE].count = 3;
    table_->slots[SILENCE_CODE].samples[0] = 5;
    table_->slots[SILENCE_CODE].samples[1] = -5;
    table_->slots[SILENCE_CODE].samples[2] = 7;
    EXPECT_EQ(EncodeVoice(*got), EncodeVoice(*table_));
}

TEST_F(VoiceCommand, PromptsAndBuildFromRecordedWords) {
    const Outcome prompts = Voice("prompts");
    ASSERT_EQ(prompts.status, 0) << prompts.err;
    EXPECT_EQ(std::count(prompts.out.begin(), prompts.out.end(), '\n'), PHONEME_COUNT - 1);
    EXPECT_EQ(prompts.out.rfind("IY\tbeet\nIH\tbit\n", 0), 0u) << prompts.out;
    // A "word": 0.3 s of a buzz between quiet stretches, at 22050 Hz.
    std::vector<int16_t> word(22050 / 2, 0);
    for (int i = 0; i < 6615; ++i)
        word.push_back(static_cast<int16_t>(i % 147 < 20 ? 12000 : -800));
    word.resize(word.size() + 22050 / 2, 0);
    fs::create_directories(dir_ / "words");
    WriteWav(dir_ / "words" / "AA.wav", word, test::Pcm(1, 22050, 16));
    const fs::path built = dir_ / "built.voc";
    const Outcome r = Voice("build '" + built.string() + "' '" + (dir_ / "words").string() +
                            "' --base '" + voice_.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("AA  hot ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" ms  confidence "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nvoice check: "), std::string::npos) << r.out;  // saved, then checked
    EXPECT_NE(r.err.find("40 phonemes have no recording and keep"), std::string::npos) << r.err;
    const Outcome unchecked = Voice("build '" + built.string() + "' '" + (dir_ / "words").string() +
                                    "' --base '" + voice_.string() + "' --no-check");
    ASSERT_EQ(unchecked.status, 0) << unchecked.err;
    EXPECT_EQ(unchecked.out.find("voice check"), std::string::npos) << unchecked.out;
    auto got = Load(built);
    EXPECT_GT(got->slots[5].count, 0);
    EXPECT_LT(got->slots[5].count, 6615 / 2);  // the vowel's share, not the whole word
    got->slots[5] = table_->slots[5];          // every other clip is the base's
    EXPECT_EQ(EncodeVoice(*got), EncodeVoice(*table_));
}

// Edits of one voice run at once (each of another phoneme) end as the same
// edits run one after the other: every change is there.
TEST_F(VoiceCommand, ConcurrentEditsAllArrive) {
    WriteWav(dir_ / "a.wav", {5, -5, 7});
    WriteWav(dir_ / "b.wav", {1, 2, 3, 4});
    fs::create_directories(dir_ / "clips");
    WriteWav(dir_ / "clips" / "IH.wav", {9, 8, 7, 6, 5});
    std::vector<int16_t> word(11025 / 2, 0);  // a buzz between quiet stretches
    for (int i = 0; i < 3300; ++i) word.push_back(static_cast<int16_t>(i % 73 < 10 ? 12000 : -800));
    word.resize(word.size() + 11025 / 2, 0);
    fs::create_directories(dir_ / "words");
    WriteWav(dir_ / "words" / "AA.wav", word);
    const struct {
        const char* name;
        std::vector<std::string> edits;  // V stands for the voice file
    } rows[] = {
        {"two sets", {"set V AA a.wav", "set V p b.wav"}},
        {"three sets", {"set V AA a.wav", "set V p b.wav", "set V silence a.wav"}},
        {"import onto itself and a set", {"import V clips --base V", "set V p b.wav"}},
        {"build onto itself and a set", {"build V words --base V --no-check", "set V p b.wav"}},
    };
    const std::string original = ReadText(voice_);
    const auto run = [&](const std::vector<std::string>& edits, const fs::path& voice,
                         bool together) {
        std::string line = "cd '" + dir_.string() + "' || exit 1; ";
        for (size_t i = 0; i < edits.size(); ++i) {
            std::string args = edits[i] + ' ';
            for (size_t at; (at = args.find(" V ")) != std::string::npos;)
                args.replace(at, 3, " '" + voice.string() + "' ");
            line += std::string("'") + VOCALITH_BIN_DIR + "/vocalith-tts' voice " + args +
                    " >/dev/null" + (together ? " & p" + std::to_string(i) + "=$!; " : " && ");
        }
        for (size_t i = 0; together && i < edits.size(); ++i)
            line += "wait $p" + std::to_string(i) + " && ";
        return std::system((line + "true").c_str()) == 0;
    };
    for (const auto& row : rows) {
        const fs::path alone = dir_ / "alone.voc";
        std::ofstream(alone, std::ios::binary) << original;
        ASSERT_TRUE(run(row.edits, alone, false)) << row.name;
        const std::string expected = ReadText(alone);
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::ofstream(voice_, std::ios::binary) << original;
            ASSERT_TRUE(run(row.edits, voice_, true)) << row.name;
            ASSERT_TRUE(ReadText(voice_) == expected) << row.name << ": a change was lost";
        }
    }
}

// A 1 GB WAV file (sparse) is refused from its header, before its samples
// take memory (it was read to the limit first: half a gigabyte).
TEST_F(VoiceCommand, AnOversizedWavIsRefusedUnread) {
    test::Bytes bytes = test::Wave({0, 0});
    for (const auto& [at, v] : {std::pair{4, (1u << 30) - 8}, std::pair{40, (1u << 30) - 44}}) {
        for (int k = 0; k < 4; ++k)
            bytes[static_cast<size_t>(at + k)] = static_cast<uint8_t>(v >> (8 * k));
    }
    const fs::path big = dir_ / "big.wav";
    std::ofstream(big, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    fs::resize_file(big, 1u << 30);
    const std::string program = std::string(VOCALITH_BIN_DIR) + "/vocalith-tts";
    const std::string voice = voice_.string(), wav = big.string();
    const char* argv[] = {program.c_str(), "voice", "set", voice.c_str(), "AA",
                          wav.c_str(),     nullptr};
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_LT(usage.ru_maxrss, 150 * 1024) << "peak kB";
}

TEST_F(VoiceCommand, BadInputIsOneErrorLineAndWritesNothing) {
    const std::string v = "'" + voice_.string() + "' ";
    const std::string missing = "'" + (dir_ / "nowhere").string() + "'";
    fs::create_directories(dir_ / "in");
    WriteWav(dir_ / "in" / "x.wav", {1});
    const std::string wav = " '" + (dir_ / "in" / "x.wav").string() + "'";
    // Recordings for voice build that hold no word, two words, or no audio.
    const auto recording = [&](const std::string& folder, const std::vector<int16_t>& samples) {
        fs::create_directories(dir_ / folder);
        WriteWav(dir_ / folder / "AA.wav", samples);
        return " '" + (dir_ / folder).string() + "' --base " + v;
    };
    std::vector<int16_t> twoWords(11025 * 2);
    for (size_t i = 0; i < twoWords.size(); ++i)
        twoWords[i] = (i / 3300) % 2 ? static_cast<int16_t>(i % 40 < 20 ? 9000 : -9000) : 0;
    const std::string silent = recording("silent", std::vector<int16_t>(11025));
    const std::string two = recording("two", twoWords);
    fs::create_directories(dir_ / "text");
    std::ofstream(dir_ / "text" / "AA.wav") << "not a sound\n";
    const std::string text = " '" + (dir_ / "text").string() + "' --base " + v;
    fs::create_directories(dir_ / "fifo");  // an export target no program reads
    ::mkfifo((dir_ / "fifo" / "AA.wav").c_str(), 0600);
    fs::create_directories(dir_ / "kept");  // a clip file made read-only
    WriteWav(dir_ / "kept" / "AA.wav", {1});
    fs::permissions(dir_ / "kept" / "AA.wav", fs::perms(0444));
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"", 2, "say what to do"},
        {"play " + v, 2, "unknown action 'play'"},
        {"info", 2, "info takes NAME|FILE; try 'vocalith-tts voice --help'"},
        {"info " + v + "--base Voxa", 2, "--base goes with import and build only"},
        {"export " + v + "'" + dir_.string() + "' --no-check", 2,
         "--no-check goes with build only"},
        {"set " + v + "QQ" + wav, 2, "unknown phoneme 'QQ'"},
        {"info X", 1, "a voice name has at least 2 characters"},
        {"info ..", 1, "cannot be \"..\""},
        {"info Nosuchvoice", 1, "unknown voice 'Nosuchvoice' (no file "},
        {"import " + v + missing, 1, "import: no folder "},
        {"import " + v + "'" + dir_.string() + "'", 1, "holds no clip files"},
        {"set " + v + "AA " + missing, 1, "voice set: "},
        {"prompts " + v, 2, "prompts takes nothing more"},
        {"build " + v + silent, 1, "AA.wav: no speech found; nothing saved"},
        {"build " + v + two, 1, "AA.wav: more than one word"},
        {"build " + v + text, 1, "AA.wav: "},
        {"build " + v + "'" + dir_.string() + "' --base " + v, 1, "holds no recordings"},
        {"export " + v + "'" + (dir_ / "fifo").string() + "'", 1, "AA.wav is not a regular file"},
        {"export " + v + "'" + (dir_ / "kept").string() + "'", 1, "AA.wav: it is read-only"},
    };
    const std::string before = ReadText(voice_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = Voice(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.rfind("vocalith-tts: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(ReadText(voice_), before);
}

}  // namespace
}  // namespace vocalith::voice
