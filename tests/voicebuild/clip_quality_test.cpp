// The confidence of a cut from what the take sounds like, its messages, the
// voice's own check and the smoothing of a vowel's envelope, on measures and
// on vowels made from known formants.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "voice/phon_table.h"
#include "voicebuild/clip_cutter.h"
#include "voicebuild/clip_quality.h"
#include "voicebuild/spectrum.h"
#include "voicebuild/voice_check.h"

namespace vocalith::voicebuild {
namespace {

constexpr int IY = 0, IH = 1, AA = 5, UW = 9, AX = 11, s = 26, SH = 28;
// The usual F1 and F2 of the 16 vowels, in code order.
constexpr double kUsual[16][2] = {{300, 2045}, {435, 1700}, {405, 1870}, {575, 1605},
                                  {635, 1575}, {700, 1220}, {615, 1015}, {495, 1000},
                                  {475, 1140}, {335, 1075}, {445, 1290}, {500, 1500},
                                  {620, 1220}, {530, 1540}, {530, 1085}, {455, 1390}};

// A vowel of `ms` at 11025 Hz: a pulse train at `f0` through resonators at
// F1, F2 and F3 (each scaled by `scale`, as a smaller vocal tract would).
std::vector<int16_t> Vowel(double f1, double f2, double f0, double scale = 1, int ms = 200) {
    const double rate = 11025;
    std::vector<double> x(static_cast<size_t>(rate * ms / 1000));
    for (double t = 0; t < double(x.size()); t += rate / f0) x[static_cast<size_t>(t)] = 1;
    for (const auto& [f, bw] :
         {std::pair{f1 * scale, 80.0}, {f2 * scale, 100.0}, {2600 * scale, 150.0}}) {
        const double c = -std::exp(-2 * M_PI * bw / rate);
        const double b = 2 * std::exp(-M_PI * bw / rate) * std::cos(2 * M_PI * f / rate);
        double y1 = 0, y2 = 0;
        for (double& v : x) {
            const double y = (1 - b - c) * v + b * y1 + c * y2;
            y2 = y1;
            y1 = y;
            v = y;
        }
    }
    double peak = 0;
    for (const double v : x) peak = std::max(peak, std::abs(v));
    std::vector<int16_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i) out[i] = int16_t(std::lround(x[i] / peak * 12000));
    return out;
}

TEST(ClipQuality, FindsAVowelsFormantsWhateverTheVoice) {
    struct Row {
        const char* name;
        double f1, f2, f0, scale;
    } rows[] = {
        {"a man's open vowel", 700, 1220, 110, 1},
        {"a man's front vowel", 300, 2045, 110, 1},
        {"a woman's open vowel, harmonics 220 Hz apart", 700, 1220, 220, 1.18},
        {"a child's front vowel", 300, 2045, 280, 1.3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ClipMeasures m = MeasureClip(AA, Vowel(row.f1, row.f2, row.f0, row.scale));
        const auto near = [](double measured, double wanted) {
            return std::abs(std::log2(measured / wanted)) < 0.3;
        };
        // F1 and F2, or (a harmonic below F1) the next two peaks.
        EXPECT_TRUE((near(m.f1, row.f1 * row.scale) && near(m.f2, row.f2 * row.scale)) ||
                    (near(m.f2, row.f1 * row.scale) && near(m.f2Alt, row.f2 * row.scale)))
            << m.f1 << " " << m.f2 << " " << m.f2Alt;
    }
}

// A take's vowels: a clean one, one recorded beside a desk (the same
// reflection on every vowel: the channel, left alone), and one whose vowels
// each carry a ripple of their own (a reflection of their own), which is
// cleared while their formants stay.
TEST(Spectrum, ClearsARippleOfEachVowelsOwnButNotTheTakesChannel) {
    struct Row {
        const char* name;
        int vowels;
        double echo;          // the reflection's gain against the direct sound
        bool ownDelay;        // a delay of each vowel's own, else 11 samples for all
        size_t changedLeast;  // vowels cleared, at least
    } rows[] = {
        {"a clean take", 16, 0, false, 0},
        {"a take beside a desk", 16, 0.7, false, 0},
        {"vowels with a ripple of their own", 16, 0.8, true, 12},
        {"too few vowels to show the channel", 5, 0.8, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::vector<int16_t>> take;
        for (int code = 0; code < row.vowels; ++code) {
            const std::vector<int16_t> clean = Vowel(kUsual[code][0], kUsual[code][1], 120);
            const size_t delay = row.ownDelay ? 6 + size_t(code) % 8 : 11;
            std::vector<int16_t> clip(clean.size());
            for (size_t i = 0; i < clip.size(); ++i)
                clip[i] = int16_t(
                    std::lround((clean[i] + (i >= delay ? row.echo * clean[i - delay] : 0)) / 2));
            take.push_back(std::move(clip));
        }
        const std::vector<std::vector<int16_t>> before = take;
        const size_t changed = ClearTakeRipple(take);
        if (row.changedLeast == 0) {
            EXPECT_EQ(changed, 0u);
            EXPECT_EQ(take, before);
            continue;
        }
        EXPECT_GE(changed, row.changedLeast);
        for (size_t v = 0; v < take.size(); ++v) {
            if (take[v] == before[v]) continue;
            SCOPED_TRACE(v);
            const ClipMeasures was = MeasureClip(int(v), before[v]),
                               is = MeasureClip(int(v), take[v]);
            // F1 to within a harmonic of the 120 Hz voice.
            EXPECT_NEAR(std::log2(is.f1 / was.f1), 0, 0.3) << is.f1 << " " << was.f1;
            EXPECT_NEAR(std::log2(is.f2 / was.f2), 0, 0.1) << is.f2 << " " << was.f2;
        }
    }
}

// A schwa said in a word alone comes out nearly as open as "but"; its clip
// is brought to a neutral vowel's F1 (a third of F2), whatever the voice,
// and a schwa already that close is left as it was.
TEST(Spectrum, CentresAnOpenSchwaToANeutralVowel) {
    struct Row {
        const char* name;
        double f1, f2, f0;
        bool changes;
    } rows[] = {
        {"a man's open schwa", 640, 1400, 120, true},
        {"a woman's open schwa", 710, 1570, 190, true},
        {"a schwa already as close", 430, 1500, 120, false},
        {"peaks no mid vowel has (F2 above 2200 Hz)", 700, 2500, 120, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<int16_t> before = Vowel(row.f1, row.f2, row.f0, 1, 45);
        std::vector<int16_t> clip = before;
        ASSERT_EQ(CentreReducedVowel(clip), row.changes);
        ASSERT_EQ(clip.size(), before.size());
        if (!row.changes) {
            EXPECT_EQ(clip, before);
            continue;
        }
        const ClipMeasures was = MeasureClip(AX, before), is = MeasureClip(AX, clip);
        EXPECT_NEAR(is.f1, row.f2 / 3, row.f0 / 2) << was.f1 << " -> " << is.f1;
        EXPECT_NEAR(std::log2(is.f2 / was.f2), 0, 0.1) << was.f2 << " -> " << is.f2;
    }
    // A take's finishing centres the schwa alone: an open vowel is meant open.
    std::vector<Cut> take(2);
    take[0].code = AA;
    take[1].code = AX;
    for (Cut& cut : take) cut.clip = Vowel(640, 1400, 120, 1, 45);
    FinishVowelClips(take);
    EXPECT_EQ(take[0].clip, Vowel(640, 1400, 120, 1, 45));
    EXPECT_NE(take[1].clip, Vowel(640, 1400, 120, 1, 45));
}

// A schwa swallowed into the "l" of "alone" is judged poor, and the voice
// gets one made from the speaker's "but" (its F2, made neutral) instead,
// unless that take is poor too.
TEST(Spectrum, APoorSchwaIsMadeFromTheSpeakersBut) {
    constexpr int AH = 12;
    struct Row {
        const char* name;
        double schwaConfidence, butConfidence;
        bool madeFromBut;
    } rows[] = {
        {"a poor schwa beside a good \"but\"", 0.2, 0.95, true},
        {"a poor schwa beside a poor \"but\"", 0.2, 0.3, false},
        {"a good schwa", 0.9, 0.95, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Cut> take(2);
        take[0].code = AX;
        take[0].confidence = row.schwaConfidence;
        take[0].clip = Vowel(300, 900, 120, 1, 42);
        take[1].code = AH;
        take[1].confidence = row.butConfidence;
        take[1].clip = Vowel(620, 1220, 120, 1, 57);
        FinishVowelClips(take);
        const ClipMeasures schwa = MeasureClip(AX, take[0].clip);
        EXPECT_NEAR(std::log2(schwa.f2 / (row.madeFromBut ? 1220 : 900)), 0, 0.15) << schwa.f2;
        if (row.madeFromBut) {
            EXPECT_NEAR(schwa.f1, 1220 / 3.0, 60);
        }
    }
}

// A voice's front vowel whose upper formants are 20 dB weaker than its
// kind has is heard as a back vowel once held in a clip: it is raised to the
// take's own tilt, and a take whose vowels are all that dark (the voice's
// tilt, or its microphone's) is left as it is.
TEST(Spectrum, RaisesADarkFrontVowelToTheTakesTilt) {
    // Three poles at 800 Hz: the upper formants lose 20-30 dB.
    const auto dark = [](std::vector<int16_t> clip) {
        const double a = std::exp(-2 * M_PI * 800 / 11025.0);
        for (int pass = 0; pass < 3; ++pass) {
            double y = 0;
            for (int16_t& v : clip) v = int16_t(std::lround(y = (1 - a) * v + a * y));
        }
        return clip;
    };
    struct Row {
        const char* name;
        int vowels;
        bool allDark, iyDark, changes;
    } rows[] = {
        {"a clean take", 16, false, false, false},
        {"a take whose IY is dark", 16, false, true, true},
        {"a take whose vowels are all dark", 16, true, true, false},
        {"too few vowels to show the take's tilt", 6, false, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::vector<int16_t>> take;
        std::vector<int> codes;
        for (int code = 0; code < row.vowels; ++code) {
            std::vector<int16_t> clip = Vowel(kUsual[code][0], kUsual[code][1], 100, 1, 80);
            if (row.allDark || (code == IY && row.iyDark)) clip = dark(clip);
            take.push_back(std::move(clip));
            codes.push_back(code);
        }
        const std::vector<std::vector<int16_t>> before = take;
        EXPECT_EQ(BrightenDarkFrontVowels(take, codes), row.changes ? 1u : 0u);
        for (size_t v = 1; v < take.size(); ++v) EXPECT_EQ(take[v], before[v]) << v;
        if (!row.changes) {
            EXPECT_EQ(take[0], before[0]);
            continue;
        }
        const double clean = UpperBalance(Vowel(kUsual[IY][0], kUsual[IY][1], 100, 1, 80));
        // Brought to where the take's other vowels lie against their kinds,
        // which for these vowels is a few dB below the clean IY.
        EXPECT_GT(UpperBalance(take[0]), UpperBalance(before[0]) + 8)
            << UpperBalance(before[0]) << " " << clean;
        EXPECT_LT(UpperBalance(take[0]), clean);
        ASSERT_EQ(take[0].size(), before[0].size());
        EXPECT_NEAR(MeasureClip(IY, take[0]).f1, MeasureClip(IY, before[0]).f1, 60);
    }
}

// A take's cuts as a speaker says them: 41 words at their usual length
// times 2^tempo, at -20 dBFS over a -60 dBFS floor, vowels at the usual
// formants times 2^scale.
std::vector<ClipMeasures> Speaker(double tempo, double scale) {
    std::vector<ClipMeasures> take;
    for (int code = 0; code < 41; ++code) {
        ClipMeasures m;
        m.code = code;
        m.expectedMs = 400;
        m.wordMs = 400 * std::exp2(tempo);
        m.levelDb = -20;
        m.floorDb = -60;
        m.voicedShare = 1;
        if (code < 16) {
            m.f1 = kUsual[code][0] * std::exp2(scale);
            m.f2 = kUsual[code][1] * std::exp2(scale);
        }
        take.push_back(m);
    }
    return take;
}

// The confidence against the speaker's other takes, and what a low one
// tells the user (part of the message; empty for a good take).
TEST(ClipQuality, ConfidenceTellsAGoodCutFromABadOneAndSaysWhatToDo) {
    struct Row {
        const char* name;
        double tempo, scale;  // the speaker
        int code;
        void (*spoil)(ClipMeasures&);
        const char* says;  // nullptr: a good take
    } rows[] = {
        {"a man's good take", 0, 0, AA, [](ClipMeasures&) {}, nullptr},
        {"a child's higher formants are its own, not a fault", -0.3, 0.35, IY, [](ClipMeasures&) {},
         nullptr},
        {"a quick speaker's word at their own pace", -0.5, 0, IH, [](ClipMeasures&) {}, nullptr},
        {"too short: said twice as fast as the speaker's others", 0, 0, IH,
         [](ClipMeasures& m) { m.wordMs /= 2; }, "the vowel in 'bit' is too short; say it slower"},
        {"a consonant's word said too fast", 0, 0, s, [](ClipMeasures& m) { m.wordMs /= 2; },
         "'sue' was said too fast; say it slower"},
        {"out of place: the vowel of 'bit' handed in for 'hot'", 0, 0.3, AA,
         [](ClipMeasures& m) {
             m.f1 = 435 * std::exp2(0.3);
             m.f2 = 1700 * std::exp2(0.3);
         },
         "the vowel in 'hot' sounds like another vowel; say 'hot' clearly"},
        {"faint against the speaker's other takes", 0, 0, s,
         [](ClipMeasures& m) { m.levelDb -= 18; },
         "the 's' in 'sue' is faint; say it closer to the microphone"},
        {"faint, named as the user knows the sound", 0, 0, SH,
         [](ClipMeasures& m) { m.levelDb -= 18; }, "the 'sh' in 'leash' is faint"},
        {"faint against the noise", 0, 0, s, [](ClipMeasures& m) { m.floorDb = m.levelDb - 8; },
         "'sue'"},
        {"muffled: no brightness left", 0, 0, UW, [](ClipMeasures& m) { m.brightDb -= 15; },
         "'fool'"},
        {"mumbled: 1.6 times as fast and a little duller, each alone within bounds", 0, 0, IH,
         [](ClipMeasures& m) {
             m.wordMs /= 1.6;
             m.brightDb -= 3.5;
         },
         "'bit' sounds mumbled"},
        {"clipped", 0, 0, s, [](ClipMeasures& m) { m.clippedShare = 0.01; }, "'sue' is distorted"},
        {"whispered vowel", 0, 0, UW, [](ClipMeasures& m) { m.voicedShare = 0.1; }, "'fool'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ClipMeasures> take = Speaker(row.tempo, row.scale);
        row.spoil(take[static_cast<size_t>(row.code)]);
        const SpeakerProfile speaker = ProfileOf(take);
        ASSERT_TRUE(speaker.known && speaker.formantsKnown);
        const Judgement j = JudgeCut(take[static_cast<size_t>(row.code)], speaker);
        const bool good = row.says == nullptr;
        EXPECT_EQ(j.confidence >= LOW_CONFIDENCE, good) << j.confidence << " " << j.reason;
        if (good) {
            EXPECT_EQ(j.reason, "");
        } else {
            EXPECT_NE(j.reason.find(row.says), std::string::npos) << j.reason;
        }
    }
    // The cutter's own finding (another word) is kept before the measures'.
    Cut cut;
    cut.code = IH;
    cut.measures = Speaker(0, 0)[IH];
    cut.measures.wordMs /= 2;
    cut.cutConfidence = 0.35;
    cut.cutProblem = "this take sounds like \"bit\", not \"beet\"";
    ApplyJudgement(cut, SpeakerProfile{});
    EXPECT_EQ(cut.problem, cut.cutProblem);
    EXPECT_LT(cut.confidence, LOW_CONFIDENCE);
}

TEST(VoiceCheck, SaysHowWellTheVoiceWillBeUnderstoodAndWhatToRedo) {
    const auto voice = [](double scale, int vowels, int swapped) {
        auto table = std::make_unique<voice::PhonTable>();
        for (int code = 0; code < vowels; ++code) {
            const int from = code == swapped ? IY : code;
            const std::vector<int16_t> clip = Vowel(kUsual[from][0], kUsual[from][1], 120, scale);
            voice::PhonSlot& slot = table->slots[static_cast<size_t>(code)];
            slot.count = int32_t(clip.size());
            std::copy(clip.begin(), clip.end(), slot.samples.begin());
        }
        return table;
    };
    const auto reference = voice(1, 16, -1);
    struct Row {
        const char* name;
        double scale;
        int vowels, swapped;
        bool done;
        const char* says;
    } rows[] = {
        {"the same vowels as the reference", 1, 16, -1, true, "about as easy to understand as Ref"},
        {"a vowel of another", 1, 16, AA, true, "record again: the vowel in 'hot'"},
        {"vowels far from their place", 1.5, 16, -1, true, "harder to understand than Ref"},
        {"too few vowels recorded", 1, 5, -1, false, "the voice check was skipped"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const VoiceCheck check =
            CheckVoice(*voice(row.scale, row.vowels, row.swapped), *reference, "Ref");
        EXPECT_EQ(check.done, row.done);
        EXPECT_NE(check.text.find(row.says), std::string::npos) << check.text;
    }
}

}  // namespace
}  // namespace vocalith::voicebuild
