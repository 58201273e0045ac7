// The prompt words against our own rules, and the cutter on words spoken at
// test time (espeak-ng, when present) and on plain signals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "voice/phon_table.h"
#include "voice/phoneme_inventory.h"
#include "voicebuild/clip_cutter.h"
#include "voicebuild/prompts.h"
#include "voicebuild/speech_span.h"
#include "wave/audio_file.h"

namespace vocalith::voicebuild {
namespace {

TEST(Prompts, EveryPromptHoldsItsPhonemeByOurRules) {
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        const Prompt* prompt = PromptFor(code);
        if (code == voice::SILENCE_CODE) {
            EXPECT_EQ(prompt, nullptr);
            continue;
        }
        ASSERT_NE(prompt, nullptr) << code;
        const std::string symbol = voice::kInventory[static_cast<size_t>(code)].symbol;
        SCOPED_TRACE(symbol + " " + prompt->marked);
        EXPECT_EQ(prompt->code, code);
        const std::vector<int> phonemes = WordPhonemes(PromptWord(*prompt));
        EXPECT_EQ(std::count(phonemes.begin(), phonemes.end(), code), 1);
        EXPECT_TRUE(std::any_of(prompt->marked, prompt->marked + std::strlen(prompt->marked),
                                [](char c) { return c >= 'A' && c <= 'Z'; }));
    }
}

double Rms(const std::vector<int16_t>& x) {
    double sum = 0;
    for (const int16_t v : x) sum += double(v) * v;
    return x.empty() ? 0 : std::sqrt(sum / double(x.size()));
}

// `word` as spoken by espeak-ng, at `gainDb`, after `leadS` seconds and
// before `tailS` seconds of a faint noise floor (or of exact zeros);
// empty without espeak-ng.
wave::AudioFrames Spoken(const std::string& word, double gainDb, double leadS, double tailS,
                         bool noiseFloor = true, const std::string& voice = "en-us") {
    testsupport::TempFolder temp{"vocalith-voicebuild"};
    const std::string file = (temp.Path() / "w.wav").string();
    const std::string cmd =
        "espeak-ng -v " + voice + " -w '" + file + "' '" + word + "' 2>/dev/null";
    wave::AudioFrames audio;
    if (std::system(cmd.c_str()) != 0 || !wave::ReadAudioFile(file, audio).ok()) return {};
    std::vector<int16_t> mono = wave::MixToMono(audio.samples, audio.channels);
    const auto rate = double(audio.sampleRate);
    std::vector<int16_t> out(size_t(leadS * rate), 0);
    const double gain = std::pow(10.0, gainDb / 20);
    for (const int16_t v : mono) out.push_back(int16_t(std::lround(v * gain)));
    out.resize(out.size() + size_t(tailS * rate), 0);
    std::mt19937 noise(7);
    std::normal_distribution<double> floor(0, 10);  // about -70 dBFS
    for (int16_t& v : out)
        if (noiseFloor) v = int16_t(std::clamp(v + floor(noise), -32768.0, 32767.0));
    audio.channels = 1;
    audio.samples = std::move(out);
    return audio;
}

bool HaveEspeak() {
    return std::system("command -v espeak-ng >/dev/null 2>&1") == 0;
}

TEST(ClipCutter, FindsThePhonemeInASpokenWord) {
    if (!HaveEspeak()) GTEST_SKIP() << "espeak-ng is not installed";
    struct Row {
        const char* name;
        int code;
        double gainDb, leadS, tailS;
        bool withModel;
        bool noiseFloor = true;
        const char* voice = "en-us";
        int minMs = 30;  // the cut's least length
    };
    const Row rows[] = {
        {"vowel between consonants, quiet take", 5, -12, 0.8, 0.3, true},
        {"consonant at the word's start, loud take", 26, 0, 0.2, 1.0, true},
        {"nasal at the word's end", 33, -6, 0.5, 0.5, true},
        {"without the model the word is shared out", 5, -6, 0.5, 0.5, false},
        {"fricative in a take with exact zeros around it", 26, -6, 0.5, 0.5, true, false},
        // The aligner gives a higher voice's hiss to the vowel beside it.
        {"a higher voice's SH is cut whole", 28, -6, 0.5, 0.5, true, true, "en-us+f2", 80},
        {"a higher voice's ZH is cut whole", 29, -6, 0.5, 0.5, true, true, "en-us+f2", 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::ScopedEnv model("VOCALITH_ACOUSTIC_MODEL", row.withModel ? nullptr : "/nowhere");
        ClipCutter cutter;
        if (row.withModel && !cutter.Aligning()) GTEST_SKIP() << cutter.Note();
        const wave::AudioFrames audio = Spoken(PromptWord(*PromptFor(row.code)), row.gainDb,
                                               row.leadS, row.tailS, row.noiseFloor, row.voice);
        ASSERT_FALSE(audio.samples.empty());
        const Cut cut = cutter.CutRecording(audio, row.code);
        ASSERT_TRUE(cut.ok()) << cut.reason;
        EXPECT_EQ(cut.aligned, row.withModel);
        EXPECT_EQ(cut.confidence >= LOW_CONFIDENCE, row.withModel) << cut.confidence;
        // The cut lies inside the spoken word, not in the silence around it.
        const SpeechSpan span = FindSpeech(cut.recording);
        EXPECT_GE(cut.StartMs() + 60, int(span.start * 1000 / 11025));
        EXPECT_LE(cut.EndMs(), int(span.end * 1000 / 11025) + 60);
        EXPECT_GE(cut.EndMs() - cut.StartMs(), row.minMs);
        EXPECT_EQ(cut.problem, "");
        ASSERT_FALSE(cut.clip.empty());
        // Faded edges; vowels at the one level whatever the take's level.
        EXPECT_LT(std::abs(cut.clip.front()) + std::abs(cut.clip.back()), 400);
        if (row.code == 5) {
            EXPECT_NEAR(20 * std::log10(Rms(cut.clip) / 32768), VOICED_TARGET_DB, 1.5);
        }
    }
}

// A take of another word, or of more than the word, says so and asks for a
// new take; the word itself passes, and so does a word that holds the sound
// in the same place. Takes for "hot" (AA), "back" (b) and "time" (t).
TEST(ClipCutter, TellsWhenATakeIsNotItsPromptWord) {
    if (!HaveEspeak()) GTEST_SKIP() << "espeak-ng is not installed";
    ClipCutter cutter;
    if (!cutter.Aligning()) GTEST_SKIP() << cutter.Note();
    struct Row {
        const char* said;
        int code;
        bool wrong;
    };
    const Row rows[] = {
        {"hot", 5, false},   {"seven", 5, true},
        {"bit", 5, true},    {"hotdog", 5, true},  // "hot dog" without a pause
        {"bird", 17, false},                       // another prompt word, but its b is a good b
        {"lit", 18, true},  // its t is at the other end from time's: cut from the wrong place
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        const Cut cut = cutter.CutRecording(Spoken(row.said, -6, 0.5, 0.5), row.code);
        ASSERT_TRUE(cut.ok()) << cut.reason;
        EXPECT_EQ(!cut.problem.empty(), row.wrong) << cut.problem;
        EXPECT_EQ(cut.confidence < LOW_CONFIDENCE, row.wrong) << cut.confidence;
    }
}

// Clips are shaped for running speech: a vowel or sonorant keeps a steady
// middle of speaking length, a stop opens with silence then its burst, and
// each class sits at its own level whatever the take's level.
TEST(ClipCutter, ShapesEachClipForItsClass) {
    if (!HaveEspeak()) GTEST_SKIP() << "espeak-ng is not installed";
    ClipCutter cutter;
    if (!cutter.Aligning()) GTEST_SKIP() << cutter.Note();
    constexpr double NONE = 0;
    struct Row {
        const char* name;
        int code;
        double gainDb;
        int maxMs;         // the clip is no longer
        int closureMs;     // it opens with this much silence
        double levelDb;    // its RMS past the closure (NONE: not checked)
        double atLeastDb;  // or at least this (NONE: not checked)
        // Its first and last 5 ms inside the fades lie at most this far below
        // its RMS (NONE: not checked).
        double edgesWithinDb = NONE;
    };
    const Row rows[] = {
        {"a drawled close vowel keeps a middle of speaking length, below the open vowels", 0, -6,
         85, 0, VOICED_TARGET_DB - 6, NONE},
        {"a stop is its closure, then burst and aspiration, not the silence before it", 16, 0, 90,
         15, NONE, VOICED_TARGET_DB - 17},
        {"a nasal sits below the vowels", 31, -12, 60, 0, VOICED_TARGET_DB - 8, NONE},
        {"a faint hiss from a quiet take is raised", 24, -12, 115, 0, NONE, VOICED_TARGET_DB - 27},
        // The aligner starts "lit"'s l 15 ms before the voice does.
        {"a sonorant at the word's start holds no silence before it", 34, -6, 60, 0, NONE, NONE,
         12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const wave::AudioFrames audio =
            Spoken(PromptWord(*PromptFor(row.code)), row.gainDb, 0.5, 0.5);
        ASSERT_FALSE(audio.samples.empty());
        const Cut cut = cutter.CutRecording(audio, row.code);
        ASSERT_TRUE(cut.ok()) << cut.reason;
        EXPECT_LE(cut.clip.size(), size_t(row.maxMs * 11025 / 1000));
        const auto closure = size_t(row.closureMs * 11025 / 1000);
        ASSERT_GT(cut.clip.size(), closure + 110);
        EXPECT_TRUE(std::all_of(cut.clip.begin(), cut.clip.begin() + ptrdiff_t(closure),
                                [](int16_t v) { return v == 0; }));
        // The burst follows the closure at once.
        const std::vector<int16_t> opening(cut.clip.begin() + ptrdiff_t(closure),
                                           cut.clip.begin() + ptrdiff_t(closure + 110));
        EXPECT_GT(20 * std::log10(Rms(opening) / 32768), VOICED_TARGET_DB - 40);
        const std::vector<int16_t> sound(cut.clip.begin() + ptrdiff_t(closure), cut.clip.end());
        const double level = 20 * std::log10(Rms(sound) / 32768);
        if (row.levelDb != NONE) {
            EXPECT_NEAR(level, row.levelDb, 1.5);
        }
        if (row.atLeastDb != NONE) {
            EXPECT_GE(level, row.atLeastDb);
        }
        if (row.edgesWithinDb != NONE) {
            constexpr ptrdiff_t kFade = 22, kEdge = 55;
            for (const ptrdiff_t at : {kFade, ptrdiff_t(sound.size()) - kFade - kEdge}) {
                const std::vector<int16_t> edge(sound.begin() + at, sound.begin() + at + kEdge);
                EXPECT_GE(20 * std::log10(Rms(edge) / 32768), level - row.edgesWithinDb)
                    << "at sample " << at;
            }
        }
    }
}

TEST(ClipCutter, RefusesRecordingsThatHoldNoOneWord) {
    const auto tone = [](std::vector<int16_t>& x, double seconds) {
        for (size_t i = 0, n = size_t(seconds * 11025); i < n; ++i)
            x.push_back(int16_t(8000 * std::sin(i * 0.2)));
    };
    const auto quiet = [](std::vector<int16_t>& x, double seconds) {
        x.resize(x.size() + size_t(seconds * 11025), 0);
    };
    std::vector<int16_t> silent, twoWords, oneWord;
    quiet(silent, 1.0);
    quiet(twoWords, 0.3), tone(twoWords, 0.3), quiet(twoWords, 0.6), tone(twoWords, 0.3);
    quiet(twoWords, 0.3);
    quiet(oneWord, 0.3), tone(oneWord, 0.3), quiet(oneWord, 0.1), tone(oneWord, 0.1);
    quiet(oneWord, 0.3);
    struct Row {
        const char* name;
        std::vector<int16_t> recording;
        int code;
        Cut::Status status;
    };
    const Row rows[] = {
        {"digital silence", silent, 5, Cut::Status::NoSpeech},
        {"two words a pause apart", twoWords, 5, Cut::Status::TwoWords},
        {"a stop's closure does not split a word", oneWord, 5, Cut::Status::Ok},
        {"silence has no prompt word", oneWord, voice::SILENCE_CODE, Cut::Status::NoPrompt},
    };
    ClipCutter cutter;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(cutter.CutSystem(row.recording, row.code).status, row.status);
    }
    EXPECT_EQ(cutter.CutFile("/nowhere.wav", 5).status, Cut::Status::NotAudio);
}

TEST(MakeClip, FitsTheClipLimitAndNeverClips) {
    std::vector<int16_t> square(30000);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 20) % 2 ? 32767 : -32768;
    struct Row {
        const char* name;
        size_t start, end;
        int code;
    };
    const Row rows[] = {
        {"full-scale vowel is turned down below the limit", 1000, 3000, 5},
        {"a stretch longer than a clip keeps its middle", 0, 30000, 5},
        {"a hiss keeps the word's gain", 1000, 2000, 26},
        {"an empty stretch gives no clip", 500, 500, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<int16_t> clip = MakeClip(square, row.start, row.end, row.code, -3);
        EXPECT_LE(clip.size(), size_t(voice::PHON_MAX_SAMPLES));
        EXPECT_EQ(clip.empty(), row.start == row.end);
        for (const int16_t v : clip) ASSERT_LE(std::abs(int(v)), int(32767 * 0.9));
    }
}

TEST(MakeClip, EvensAVowelsLevelOverItsLength) {
    // A 100 Hz voice fading by 15 dB over 80 ms, as into the next sound of a
    // word said alone: as a vowel it is evened, as a nasal it keeps its fall.
    std::vector<int16_t> fading(880);
    for (size_t i = 0; i < fading.size(); ++i)
        fading[i] = int16_t(8000 * std::pow(10.0, -0.75 * double(i) / 880) *
                            std::sin(2 * M_PI * double(i) / 110));
    for (const auto& [code, least, most] : {std::tuple{1, -2.0, 2.0}, {31, 5.0, 10.0}}) {
        const std::vector<int16_t> clip = MakeClip(fading, 0, fading.size(), code, -20);
        double early = 0, late = 0;  // the power of the second eighth and of the sixth
        for (size_t e = clip.size() / 8, i = e; i < 2 * e; ++i) {
            early += std::pow(clip[i], 2);
            late += std::pow(clip[i + 4 * e], 2);
        }
        const double fall = 10 * std::log10(early / late);
        EXPECT_TRUE(fall >= least && fall <= most) << "code " << code << " falls " << fall << " dB";
    }
}

}  // namespace
}  // namespace vocalith::voicebuild
