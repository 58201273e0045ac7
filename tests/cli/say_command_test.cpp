// vocalith-tts say, run as a program: the WAV file holds exactly the start
// delay's silence and then the voice's clips back to back; errors are one
// line with the right exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/speech_feed.h"
#include "support/heard_speech.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "voice/phonetic_render.h"
#include "voice/voice_file.h"
#include "wave/audio_file.h"

namespace vocalith::voice {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string err;
};

class SayCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        voice_ = dir_ / "test.voc";
        // Each clip is recognisable: w a ramp, AH a square wave, n a countdown,
        // silence short and quiet.
        auto t = std::make_unique<PhonTable>();
        Fill(*t, 35, 100, [](int i) { return 1000 + i; });
        Fill(*t, 12, 200, [](int i) { return (i / 10) % 2 ? -3000 : 3000; });
        Fill(*t, 32, 150, [](int i) { return -i; });
        Fill(*t, 41, 50, [](int i) { return i % 3; });
        ASSERT_TRUE(SaveVoice(voice_, *t).ok());
        table_ = std::move(t);
    }

    template <typename F>
    static void Fill(PhonTable& t, int code, int n, F f) {
        PhonSlot& s = t.slots[static_cast<size_t>(code)];
        s.count = n;
        for (int i = 0; i < n; ++i) s.samples[static_cast<size_t>(i)] = static_cast<int16_t>(f(i));
    }

    Result Say(const std::string& args, const std::string& input = "") {
        return Tts("say " + args, input);
    }
    // vocalith-tts with `args` (after environment settings `env`, "NAME=VALUE ");
    // standard output goes to out.txt.
    Result Tts(const std::string& args, const std::string& input = "",
               const std::string& env = "") {
        const fs::path errFile = dir_ / "stderr.txt";
        const fs::path inFile = dir_ / "stdin.txt";
        std::ofstream(inFile) << input;
        const std::string cmd = env + "'" + VOCALITH_BIN_DIR + "/vocalith-tts' " + args + " <'" +
                                inFile.string() + "' >'" + (dir_ / "out.txt").string() + "' 2>'" +
                                errFile.string() + "'";
        Result r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(errFile);
        r.err.assign(std::istreambuf_iterator<char>(in), {});
        return r;
    }

    std::vector<int16_t> Expected(std::initializer_list<int> codes) const {
        std::vector<int16_t> want(START_DELAY_SAMPLES, 0);
        for (int c : codes) {
            const PhonSlot& s = table_->slots[static_cast<size_t>(c)];
            want.insert(want.end(), s.samples.begin(), s.samples.begin() + s.count);
        }
        return want;
    }

    static std::vector<uint8_t> FileBytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    // The exact file: the 44-byte header, then the samples.
    static std::vector<uint8_t> WavOf(const std::vector<int16_t>& samples) {
        return test::Wave(test::SampleBytes(samples));
    }

    testsupport::TempFolder temp_{"vocalith-say"};
    fs::path dir_ = temp_.Path();
    fs::path voice_;
    std::unique_ptr<PhonTable> table_;
};

TEST_F(SayCommand, PhoneticToWavIsExact) {
    const fs::path out = dir_ / "out.wav";
    const Result r =
        Say("--voice '" + voice_.string() + "' --phonetic --wav '" + out.string() + "' 'wAHn '");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileBytes(out), WavOf(Expected({35, 12, 32, 41})));
}

TEST_F(SayCommand, EnglishToWavIsExact) {
    const fs::path out = dir_ / "one.wav";
    for (const char* neutral : {"", "--rate 0 --pitch +0 --volume 0.0"}) {
        const Result r = Say("--voice '" + voice_.string() + "' " + neutral + " --wav '" +
                             out.string() + "' one");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(FileBytes(out), WavOf(Expected({35, 12, 32, 41}))) << neutral;
    }
}

TEST_F(SayCommand, TextFromStandardInput) {
    const fs::path out = dir_ / "in.wav";
    const Result r =
        Say("--phonetic --voice='" + voice_.string() + "' --wav '" + out.string() + "'", "nn");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileBytes(out), WavOf(Expected({32, 32})));
}

TEST_F(SayCommand, WavToStandardOutputIsTheSameFile) {
    const fs::path out = dir_ / "piped.wav";
    const std::string cmd = std::string("'") + VOCALITH_BIN_DIR + "/vocalith-tts' say --voice '" +
                            voice_.string() + "' --phonetic --wav - 'wAHn ' | cat >'" +
                            out.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(FileBytes(out), WavOf(Expected({35, 12, 32, 41})));
    EXPECT_FALSE(fs::exists(fs::current_path() / "-")) << "a file named '-' was written";
}

TEST_F(SayCommand, ErrorsAreOneLineWithStatus) {
    struct Row {
        const char* fault;
        std::string args;
        int status;
    };
    const std::string wav = " --wav '" + (dir_ / "x.wav").string() + "' ";
    std::ofstream(dir_ / "bad.voc") << "too short";
    const Row rows[] = {
        {"unknown voice name accepted", "--voice NoSuchVoiceHere" + wav + "hi", 1},
        {"missing voice file accepted",
         "--voice '" + (dir_ / "none.voc").string() + "'" + wav + "hi", 1},
        {"damaged voice file accepted",
         "--voice '" + (dir_ / "bad.voc").string() + "'" + wav + "hi", 1},
        {"unwritable output accepted",
         "--voice '" + voice_.string() + "' --wav '" + (dir_ / "no" / "x.wav").string() + "' hi",
         1},
        {"a full device accepted as a WAV file",
         "--voice '" + voice_.string() + "' --wav /dev/full hi", 1},
        {"a live WAV device that cannot write reported as success",
         "--voice '" + voice_.string() + "' --audio wav:/dev/full hi", 1},
        {"missing option value accepted", "--voice", 2},
        {"an output device where there is none accepted",
         "--voice '" + voice_.string() + "' --audio null --output-device 3 hi", 2},
        {"an unknown output device accepted",
         "--voice '" + voice_.string() + "' --audio 'wav:" + (dir_ / "x.wav").string() +
             "' --output-device speakers",
         2},
        {"unknown option accepted", "--loud hi", 2},
        {"a rate past 100 accepted", "--rate 101" + wav + "hi", 2},
        {"a pitch that is no number accepted", "--pitch high" + wav + "hi", 2},
        {"a volume past +20 dB accepted", "--volume 21" + wav + "hi", 2},
        {"an unreadable microphone file taken for a wrong option",
         "--voice '" + voice_.string() + "' --audio 'wav:" + (dir_ / "x.wav").string() + "," +
             (dir_ / "none.wav").string() + "' hi",
         1},
    };
    for (const Row& r : rows) {
        const Result got = Say(r.args);
        EXPECT_EQ(got.status, r.status) << r.fault << ": " << got.err;
        EXPECT_EQ(got.err.rfind("vocalith-tts: ", 0), 0u) << r.fault << ": " << got.err;
        EXPECT_EQ(std::count(got.err.begin(), got.err.end(), '\n'), 1)
            << r.fault << ": " << got.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "x.wav"));
    EXPECT_TRUE(fs::is_character_file("/dev/full")) << "a failed write removed the device";
    EXPECT_EQ(Say("--help").status, 0);
}

// --output picks the format by the file's extension; each file reads back as
// the speech it holds: WAV and FLAC sample for sample, the lossy formats as
// a sound of the same length (their encoders pad it a little).
TEST_F(SayCommand, OutputFormatFollowsTheExtension) {
    const struct {
        const char* name;
        uint32_t rate;
        bool exact;
    } rows[] = {
        {"out.wav", 11025, true},   {"out.FLAC", 11025, true}, {"out.ogg", 11025, false},
        {"out.opus", 12000, false}, {"out.mp3", 11025, false},
    };
    const std::vector<int16_t> want = Expected({35, 12, 32, 41});
    for (const auto& row : rows) {
        const fs::path out = dir_ / row.name;
        const Result r = Say("--voice '" + voice_.string() + "' --phonetic --output '" +
                             out.string() + "' 'wAHn '");
        ASSERT_EQ(r.status, 0) << row.name << ": " << r.err;
        wave::AudioFrames back;
        ASSERT_TRUE(wave::ReadAudioFile(out, back)) << row.name;
        EXPECT_EQ(back.sampleRate, row.rate) << row.name;
        if (row.exact) {
            EXPECT_EQ(back.samples, want) << row.name;
            continue;
        }
        const double seconds = static_cast<double>(back.Frames()) / back.sampleRate;
        EXPECT_NEAR(seconds, static_cast<double>(want.size()) / 11025, 0.08) << row.name;
    }
}

// Every mistake on the command line is one line that names the command and
// ends by pointing to its --help, and status 2.
TEST_F(SayCommand, EveryUsageErrorIsOneLineAndAPointerToHelp) {
    const std::string backends = "(use portaudio, null or wav:OUT.wav[,IN.wav])";
    const std::string commands = "(translate, say, voice or devices)";
    const std::string actions = "info, export, import, set, prompts or build";
    const struct {
        std::string command;  // empty: the program's own options
        std::string args;     // after the command
        std::string problem;  // between "vocalith-tts: COMMAND: " and "; try"
    } rows[] = {
        {"", "", "no command given " + commands},
        {"", "speak", "unknown command 'speak' " + commands},
        {"", "--x", "unknown option '--x'"},
        {"", "--version extra", "--version takes no arguments, but was given 'extra'"},
        {"translate", "--x", "unknown option '--x' (put -- before TEXT that starts with '-')"},
        {"translate", "--capacity", "option --capacity needs a value"},
        {"translate", "--capacity x",
         "invalid --capacity 'x': expected an integer from -2147483648 to 2147483647"},
        {"say", "--x", "unknown option '--x'"},
        {"say", "--voice", "option --voice needs a value"},
        {"say", "--wav=", "option --wav needs a file name"},
        {"say", "--output x.txt hi",
         "cannot tell the audio format of 'x.txt' from its extension (use .wav, .flac, .ogg, "
         ".opus or .mp3)"},
        {"say", "--voice '" + voice_.string() + "' --audio bogus hi",
         "unknown audio backend 'bogus' " + backends},
        {"voice", "", "say what to do: " + actions},
        {"voice", "play", "unknown action 'play' (" + actions + ")"},
        {"voice", "set Voxa", "set takes NAME|FILE PHON FILE.wav"},
        {"voice", "info Voxa --base Voxa", "--base goes with import and build only"},
        {"voice", "set Voxa QQ x.wav",
         "set: unknown phoneme 'QQ' (a symbol such as AA or p, or silence)"},
        {"voice", "--x", "unknown option '--x'"},
        {"devices", "extra", "unexpected argument 'extra'"},
        {"devices", "--audio", "option --audio needs a value"},
        {"devices", "--audio wav:", "audio backend 'wav:' names no output file " + backends},
    };
    for (const auto& row : rows) {
        const std::string command = row.command.empty() ? "" : row.command + " ";
        const Result got = Tts(command + row.args);
        EXPECT_EQ(got.status, 2) << command << row.args;
        const std::string named = row.command.empty() ? "" : row.command + ": ";
        EXPECT_EQ(got.err, "vocalith-tts: " + named + row.problem + "; try 'vocalith-tts " +
                               command + "--help'\n")
            << command << row.args;
    }
}

// `devices` lists what a backend offers and checks a choice of devices as
// `say` does: a mistake is status 2 with the devices there are.
TEST_F(SayCommand, DevicesListsAndChecksTheChoice) {
    const std::string wav = "devices --audio 'wav:" + (dir_ / "x.wav").string() + "'";
    struct Row {
        const char* env;
        std::string args;
        int status;
        const char* said;  // on standard output, or standard error with status 2
    };
    const Row rows[] = {
        {"", "devices --audio null", 0, "Input devices:\n  none\nOutput devices:\n  none\n"},
        {"", wav + " --output-device X.WAV", 0, "x.wav  WAV file  (default output)  (chosen)\n"},
        {"VOCALITH_OUTPUT=nosuch ", wav, 2, "unknown output device 'nosuch' (output devices: 0 "},
        {"VOCALITH_OUTPUT=nosuch ", wav + " --output-device 0", 0, "(chosen)"},
        {"", wav + " --input-device 0", 2,
         "devices: no input device '0' (there are no input devices)"},
    };
    for (const Row& r : rows) {
        const Result got = Tts(r.args, "", r.env);
        std::ifstream in(dir_ / "out.txt");
        const std::string out(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(got.status, r.status) << r.args << ": " << got.err;
        EXPECT_NE((r.status == 0 ? out : got.err).find(r.said), std::string::npos)
            << r.args << ": " << out << got.err;
    }
}

// --audio before the command chooses the backend of every command; the
// command's own --audio still wins.
TEST_F(SayCommand, AudioBeforeTheCommand) {
    const std::string wav = "'wav:" + (dir_ / "x.wav").string() + "'";
    struct Row {
        std::string args;
        int status;
        const char* said;  // on standard output, or standard error
    };
    const Row rows[] = {
        {"--audio null devices", 0, "Output devices:\n  none\n"},
        {"--audio=" + wav + " devices", 0, "x.wav  WAV file  (default output)"},
        {"--audio null devices --audio " + wav, 0, "x.wav  WAV file"},
        {"--audio null say --voice '" + voice_.string() + "' hi", 1, "no audio output device"},
        {"--audio", 2, "vocalith-tts: option --audio needs a value; try"},
        {"--audio bogus devices", 2, "unknown audio backend 'bogus'"},
    };
    for (const Row& r : rows) {
        const Result got = Tts(r.args);
        std::ifstream in(dir_ / "out.txt");
        const std::string out(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(got.status, r.status) << r.args << ": " << got.err;
        EXPECT_NE((r.status == 0 ? out : got.err).find(r.said), std::string::npos)
            << r.args << ": " << out << got.err;
    }
}

// Live playback through the sound window's stream and the pump at real pace:
// the WAV device hears the clips in order, once, and the command returns
// only after they have been played. The device runs on the wall clock, so a
// busy machine may cost pieces of them (see heard_speech.h).
// With rate, pitch and volume the device hears what --wav renders.
TEST_F(SayCommand, LivePlaybackOnWavDeviceIsHeardInOrderOnce) {
    const fs::path out = dir_ / "live.wav";
    const fs::path rendered = dir_ / "rendered.wav";
    for (const std::string prosody : {"", "--rate 100 --pitch 50 --volume -3"}) {
        const std::string voice = "--voice '" + voice_.string() + "' " + prosody;
        const Result r = Say(voice + " --audio 'wav:" + out.string() + "' one");
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(Say(voice + " --wav '" + rendered.string() + "' one").status, 0);
        wave::AudioFrames live, offline;
        ASSERT_TRUE(wave::ReadAudioFile(out, live));
        ASSERT_TRUE(wave::ReadAudioFile(rendered, offline));
        std::vector<int16_t> clips = offline.samples;
        clips.erase(clips.begin(), clips.begin() + START_DELAY_SAMPLES);
        const testsupport::HeardSpeech match = testsupport::MatchHeardSpeech(live.samples, clips);
        EXPECT_EQ(match.stray, testsupport::HeardSpeech::npos)
            << prosody << ": a sample heard out of order, twice or altered";
        EXPECT_GE(match.heard, testsupport::Audible(clips) / 2)
            << prosody << ": the clips did not reach the device";
    }
}

// Live speech is read, translated and queued a piece at a time: a text of
// several pieces (most of it line breaks, which sound nothing) is heard
// exactly as --output renders it, after the rendering's start delay.
TEST_F(SayCommand, LiveStreamedSpeechIsTheRendering) {
    const std::string text =
        "one\n" + std::string(300001, '\n') + "one one\n" + std::string(300000, '\n') + "one";
    ASSERT_GT(text.size(), 2 * cli::TextPieces::BLOCK_BYTES);
    const fs::path live = dir_ / "live.wav";
    const fs::path rendered = dir_ / "rendered.wav";
    const std::string voice = "--voice '" + voice_.string() + "'";
    ASSERT_EQ(Say(voice + " --audio 'wav:" + live.string() + "'", text).status, 0);
    ASSERT_EQ(Say(voice + " --output '" + rendered.string() + "'", text).status, 0);
    wave::AudioFrames heard, offline;
    ASSERT_TRUE(wave::ReadAudioFile(live, heard));
    ASSERT_TRUE(wave::ReadAudioFile(rendered, offline));
    const std::vector<int16_t> speech(offline.samples.begin() + START_DELAY_SAMPLES,
                                      offline.samples.end());
    const testsupport::HeardSpeech match = testsupport::MatchHeardSpeech(heard.samples, speech);
    EXPECT_EQ(match.stray, testsupport::HeardSpeech::npos);
    EXPECT_TRUE(match.inPlace) << "a piece was heard late";
    EXPECT_EQ(match.heard, testsupport::Audible(speech)) << "speech went missing";
}

// Speech that cannot be queued stops the feed with a reason, for plain and
// for stretched speech alike; nothing is taken for spoken.
TEST_F(SayCommand, SpeechThatCannotBeQueuedIsAFailure) {
    struct Row {
        const char* what;
        wave::ProsodySettings prosody;
    };
    wave::ProsodySettings stretched;
    stretched.rate = 50;
    const Row rows[] = {{"plain", {}}, {"stretched", stretched}};
    for (const Row& r : rows) {
        mixer::FakeTickClock clock;
        mixer::Mixer mixer(&clock);
        mixer.allocate = [](size_t) -> void* { return nullptr; };
        std::istringstream in("one one one");
        cli::TextPieces text(in);
        cli::SpeechFeed feed(mixer, *table_, r.prosody, false, text);
        const base::Result fed = feed.TopUp(1 << 20);
        EXPECT_FALSE(fed.ok()) << r.what;
        EXPECT_NE(fed.reason.find("cannot queue"), std::string::npos)
            << r.what << ": " << fed.reason;
        EXPECT_FALSE(feed.TopUp(1 << 20).ok()) << r.what;
        EXPECT_FALSE(feed.Done()) << r.what;
    }
}

TEST_F(SayCommand, LivePlaybackWithoutDeviceIsOneError) {
    const Result r = Say("--voice '" + voice_.string() + "' --audio null one");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace
}  // namespace vocalith::voice
