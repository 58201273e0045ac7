// The guided recorder's logic through a fake microphone: a take stops by
// itself once the word is over, Accept keeps the clip and moves on, Skip,
// Back and Redo, the gain it proposes, moving the cut, and saving and taking
// up a session where it was left.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/recorder_audio.h"
#include "app/voice_recorder.h"
#include "engine/pump_fixture.h"
#include "fake_host.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "voice/clip_wav.h"
#include "voice/voice_file.h"
#include "wave/audio_file.h"

namespace vocalith::app {
namespace {

// A microphone that hears `word` once a take starts, 11 samples a tick as
// the pump passes them, and nothing after it (the level gate).
class FakeMic final : public RecorderAudio {
  public:
    std::vector<int16_t> word;
    std::vector<size_t> played;
    int gain = 6;
    uint32_t now = 1;
    bool running = false;
    size_t heard = 0;

    void StartTake() override { running = true, heard = 0; }
    void StopTake() override { running = false; }
    bool TakeRunning() override { return running; }
    std::vector<int16_t> TakeSamples() override {
        return {word.begin(), word.begin() + static_cast<ptrdiff_t>(heard)};
    }
    void Play(std::span<const int16_t> samples) override { played.push_back(samples.size()); }
    int InputGainFactor() override { return gain; }
    void SetInputGainFactor(int factor) override { gain = factor; }
    uint32_t Now() override { return now; }
    int32_t TakeInputPeak() override { return 52; }  // about -56 dBFS
    int32_t GateInputPeak() override { return 467; }
    void Pass(VoiceRecorder& r, uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            now += 10;
            if (running) heard = std::min(word.size(), heard + 110);
            r.OnTick();
        }
    }
};

class FakeMemory final : public RecorderMemory {
  public:
    std::string place;
    int gain = 0;
    std::string Recall() override { return place; }
    void Remember(const std::string& p) override { place = p; }
    void RememberGain(int factor) override { gain = factor; }
};

// A voiced "word" of 0.4 s peaking at `peak`, with quiet around it.
std::vector<int16_t> Word(double peak) {
    std::vector<int16_t> x(2000, 0);
    for (int i = 0; i < 4410; ++i) {
        const double envelope = std::sin(M_PI * i / 4410);
        double v = 0;
        for (int h = 1; h <= 8; ++h) v += std::sin(2 * M_PI * 140 * h * i / 11025.0) / h;
        x.push_back(static_cast<int16_t>(std::clamp(peak * envelope * v / 1.6, -32768.0, 32767.0)));
    }
    x.resize(x.size() + 2000, 0);
    return x;
}

class Recorder : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(temp_.Path() / "voices");
        mic_.word = Word(3000);
    }
    // Rec, then the word and enough silence for the take to stop.
    void Take(VoiceRecorder& r) {
        r.OnRec();
        mic_.Pass(r, 1500);
    }

    testsupport::TempFolder temp_{"vocalith-recorder"};
    FakeMic mic_;
    FakeMemory memory_;
    std::unique_ptr<voice::PhonTable> base_ = std::make_unique<voice::PhonTable>();
};

TEST_F(Recorder, EventsLeadToTheirStep) {
    struct Row {
        const char* name;
        std::function<void(VoiceRecorder&, FakeMic&)> events;
        std::string progress;
        bool reviewing;
        int accepted;
        std::string status;     // a part of it
        int proposedGain = -1;  // -1: not looked at
        bool aligned = true;    // false: cut by loudness alone, quicker
    };
    const Row rows[] = {
        {"a take stops by itself after the word", [&](auto& r, auto&) { Take(r); }, "1 of 41", true,
         0, "Cut "},
        {"Rec then Accept keeps the clip and moves on",
         [&](auto& r, auto&) { Take(r), r.OnAccept(); }, "2 of 41", false, 1,
         "Kept the clip of IY"},
        {"no speech: Rec again stops, nothing to cut",
         [&](auto& r, auto& m) { m.word.clear(), r.OnRec(), m.Pass(r, 2000), r.OnRec(); },
         "1 of 41", false, 0, "no speech found"},
        {"no speech for 3 s: the dialog itself says how loud the input is",
         [&](auto& r, auto& m) { m.word.clear(), r.OnRec(), m.Pass(r, 3100); }, "1 of 41", false, 0,
         "No speech heard yet: the microphone peaks at -56 dBFS; speech must reach -37 dBFS"},
        {"Skip and Back move without keeping",
         [&](auto& r, auto&) { r.OnSkip(), r.OnSkip(), r.OnBack(); }, "2 of 41", false, 0, ""},
        {"Back from the first goes to the last", [&](auto& r, auto&) { r.OnBack(); }, "41 of 41",
         false, 0, ""},
        {"Redo records again at once", [&](auto& r, auto&) { Take(r), r.OnRedo(); }, "1 of 41",
         false, 0, "Recording: say \"beet\""},
        {"a take clipped far over proposes the gain for -12 dBFS at once, not one step",
         [&](auto& r, auto& m) { m.word = Word(60000), Take(r); }, "1 of 41", true, 0, "clipped (",
         1},
        {"a quiet first take proposes a higher gain",
         [&](auto& r, auto& m) { m.gain = 2, Take(r); }, "1 of 41", true, 0,
         "gain x6 would put them near -12 dBFS", 6},
        {"the gain taken is remembered with the devices",
         [&](auto& r, auto& m) { m.gain = 2, Take(r), r.OnUseProposedGain(); }, "1 of 41", true, 0,
         "Input gain is now x6"},
        {"the end says the voice is saved and how to hear it",
         [&](auto& r, auto&) {
             for (int i = 0; i < voicebuild::PROMPT_COUNT; ++i) Take(r), r.OnAccept();
             r.OnSave("Mine");
         },
         "41 of 41", false, 41, "Every phoneme is recorded and voice Mine is saved.  Close", -1,
         false},
        {"Back to a prompt accepted shows its kept cut again",
         [&](auto& r, auto&) { Take(r), r.OnAccept(), r.OnBack(); }, "1 of 41", true, 1,
         "The kept cut"},
        {"moving the cut by hand remakes the clip",
         [&](auto& r, auto&) { Take(r), r.OnMoveCut(true, 0); }, "1 of 41", true, 0,
         "Cut moved by hand to 0-"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        mic_ = FakeMic{};
        mic_.word = Word(3000);
        memory_ = FakeMemory{};
        std::filesystem::remove(temp_.Path() / "recorder-unnamed.voc");
        const test::ScopedEnv model("VOCALITH_ACOUSTIC_MODEL", row.aligned ? nullptr : "/nowhere");
        VoiceRecorder r(mic_, memory_, *base_, temp_.Path());
        row.events(r, mic_);
        const RecorderView& v = r.View();
        EXPECT_EQ(v.progress, row.progress);
        EXPECT_EQ(v.reviewing, row.reviewing);
        EXPECT_FALSE(v.recording && row.reviewing);
        EXPECT_EQ(v.accepted, row.accepted);
        EXPECT_NE(v.status.find(row.status), std::string::npos) << v.status;
        if (row.proposedGain >= 0) {
            EXPECT_EQ(v.proposedGain, row.proposedGain);
        }
        if (v.status.find("gain is now") != std::string::npos) {
            EXPECT_EQ(memory_.gain, 6);
        }
        if (row.reviewing) {
            EXPECT_NE(v.take, nullptr);
        }
    }
}

TEST_F(Recorder, AcceptedClipsAreSavedAndTheSessionResumes) {
    {
        // Kept from the first Accept, before the voice has a name.
        VoiceRecorder r(mic_, memory_, *base_, temp_.Path());
        Take(r);
        r.OnAccept();
        EXPECT_TRUE(r.View().unsaved);
    }
    {
        VoiceRecorder r(mic_, memory_, *base_, temp_.Path());
        EXPECT_EQ(r.View().accepted, 1) << "a close before naming loses nothing";
        EXPECT_TRUE(r.View().unsaved);
        EXPECT_GT(r.Table().slots[0].count, 0);
        r.OnBack();
    }
    {
        VoiceRecorder r(mic_, memory_, *base_, temp_.Path());
        Take(r);
        mic_.gain = 6;
        r.OnPlayClip();
        r.OnPlayWord();
        EXPECT_EQ(mic_.played.size(), 2u);
        r.OnAccept();
        EXPECT_GT(r.Table().slots[0].count, 0);
        EXPECT_FALSE(r.OnSave("x"));  // too short
        ASSERT_TRUE(r.OnSave("Mine")) << r.View().status;
        // Save starts the voice's own check, and a tick shows what it found
        // in place of the note that it runs.
        EXPECT_NE(r.View().status.find("Listening to it"), std::string::npos);
        while (r.CheckRunning() && !r.OnTick()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(r.View().status.find("Saved voice Mine.  This voice will be"), 0u)
            << r.View().status;
        // A second Save while the first one's check runs: one finding, no note left.
        r.OnSave("Mine");
        r.OnSave("Mine");
        while (r.CheckRunning() && !r.OnTick()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::string& status = r.View().status;
        EXPECT_EQ(status.find("Listening to it"), std::string::npos) << status;
        EXPECT_EQ(status.find("This voice will be"), status.rfind("This voice will be")) << status;
        Take(r);
        r.OnAccept();  // saved again under the name
    }
    voice::PhonTable saved;
    ASSERT_TRUE(voice::LoadVoice(temp_.Path() / "voices" / "Mine.voc", saved).ok());
    EXPECT_GT(saved.slots[1].count, 0);
    VoiceRecorder again(mic_, memory_, *base_, temp_.Path());
    EXPECT_EQ(again.View().progress, "4 of 41");
    EXPECT_EQ(again.View().accepted, 3);
    EXPECT_FALSE(again.View().unsaved);
    EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "recorder-unnamed.voc"));
    EXPECT_EQ(again.View().voiceName, "Mine");
    EXPECT_EQ(voice::EncodeVoice(again.Table()), voice::EncodeVoice(saved));
}

// Once enough vowels are kept, each goes into the voice cleared of a ripple
// of its own against what they share, as voice build finishes the same cuts;
// with too few to show what they share, the cuts go in as they are.
TEST_F(Recorder, KeptVowelsAreClearedAsVoiceBuildClearsThem) {
    for (const int vowels : {5, 16}) {
        SCOPED_TRACE(vowels);
        testsupport::TempFolder folder{"vocalith-recorder-vowels"};
        FakeMemory memory;
        VoiceRecorder r(mic_, memory, *base_, folder.Path());
        voicebuild::ClipCutter cutter;
        std::vector<voicebuild::Cut> cuts;
        for (int v = 0; v < vowels; ++v) {
            // A reflection of each vowel's own gives it a ripple of its own.
            const std::vector<int16_t> word = Word(3000);
            const size_t delay = 6 + size_t(v) % 8;
            mic_.word = word;
            for (size_t i = delay; i < word.size(); ++i)
                mic_.word[i] = int16_t(word[i] * 0.55 + word[i - delay] * 0.45);
            const int code = voicebuild::PromptFor(v)->code;
            ASSERT_TRUE(voicebuild::IsVowelPhoneme(code));
            Take(r);
            ASSERT_TRUE(r.View().reviewing) << r.View().status;
            r.OnAccept();
            cuts.push_back(cutter.CutSystem(mic_.word, code));
        }
        const std::vector<voicebuild::Cut> asCut = cuts;
        voicebuild::FinishVowelClips(cuts);
        int cleared = 0;
        for (size_t v = 0; v < cuts.size(); ++v) {
            const voice::PhonSlot& slot = r.Table().slots[size_t(cuts[v].code)];
            EXPECT_EQ(std::vector<int16_t>(slot.samples.begin(), slot.samples.begin() + slot.count),
                      cuts[v].clip);
            cleared += cuts[v].clip != asCut[v].clip;
        }
        EXPECT_EQ(cleared > 0, vowels >= 8) << cleared;
    }
}

// The same take, heard by the window (through the pump's gate, 512 bytes at
// a time) and read by voice build from its file, gives the same cut: the
// take keeps the quiet onset the gate opened after.
class WindowTake : public engine::test::PumpFixture {};

TEST_F(WindowTake, CutsAsVoiceBuildCutsTheFile) {
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0) GTEST_SKIP() << "no espeak-ng";
    voicebuild::ClipCutter cutter;
    if (!cutter.Aligning()) GTEST_SKIP() << cutter.Note();
    MakeWindow();
    std::vector<std::string> log;
    testing::FakeAudio audio(log);
    WorkBufferRecorderAudio take(audio, *session);
    testsupport::TempFolder temp{"vocalith-take"};
    for (const char* symbol : {"f", "s", "TH", "t"}) {
        SCOPED_TRACE(symbol);
        const int code = voice::ClipNameCode(symbol);
        const std::string word = voicebuild::PromptWord(*voicebuild::PromptFor(code));
        const std::string file = (temp.Path() / "w.wav").string();
        const std::string say = "espeak-ng -v en-us -a 30 -w '" + file + "' '" + word + "'";
        wave::AudioFrames spoken;
        ASSERT_EQ(std::system(say.c_str()), 0);
        ASSERT_TRUE(wave::ReadAudioFile(file, spoken).ok());
        // A second of room noise before the word and after it.
        std::vector<int16_t> mono(size_t(spoken.sampleRate), 0);
        for (const int16_t v : spoken.samples) mono.push_back(v);
        mono.resize(mono.size() + spoken.sampleRate, 0);
        uint32_t seed = 5;
        for (int16_t& v : mono)
            v = int16_t(v + int((seed = seed * 1103515245u + 12345u) >> 29) - 4);
        spoken.channels = 1;
        spoken.samples = mono;
        const std::vector<int16_t> heard = wave::ToSystemFormat(spoken);

        take.StartTake();
        for (size_t at = 0; at < heard.size(); at += 256) {
            Capture(
                std::vector<int16_t>(heard.begin() + ptrdiff_t(at),
                                     heard.begin() + ptrdiff_t(std::min(heard.size(), at + 256))));
            engine::test::PumpFor(engine, clock, 20);
        }
        take.StopTake();
        const std::vector<int16_t> got = take.TakeSamples();
        ASSERT_GT(got.size(), 4410u);
        // Where the take starts in the file: its samples are the file's, x6.
        size_t offset = 0;
        while (
            offset + 64 < heard.size() &&
            !std::equal(got.begin(), got.begin() + 64, heard.begin() + ptrdiff_t(offset),
                        [](int16_t a, int16_t b) { return a == std::clamp(b * 6, -32768, 32767); }))
            ++offset;
        const voicebuild::Cut inWindow = cutter.CutSystem(got, code);
        const voicebuild::Cut built = cutter.CutRecording(spoken, code);
        ASSERT_TRUE(inWindow.ok() && built.ok());
        const auto ms = [](size_t samples) { return double(samples) * 1000 / 11025; };
        EXPECT_NEAR(ms(inWindow.start + offset), ms(built.start), 5);
        EXPECT_NEAR(ms(inWindow.end + offset), ms(built.end), 5);
        clock.Advance(2000);
    }
}

}  // namespace
}  // namespace vocalith::app
