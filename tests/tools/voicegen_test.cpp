// The built-in voice and start-up sound: acoustics of each clip, clean joins,
// levels, determinism, and the files they are stored in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sfxgen/arrow_chime.h"
#include "tools/signal_measure.h"
#include "voicegen/det_math.h"
#include "voicegen/formant_synth.h"  // kPeakLimit
#include "voicegen/voxa_voice.h"
#include "wave/wav_writer.h"

#ifdef VOCALITH_HAVE_VOICE_FILE
#include <filesystem>
#include <memory>

#include "support/temp_folder.h"
#include "voice/voice_file.h"
#endif

namespace vocalith::voicegen {
namespace {

using test::EnergyFraction;
using test::MeasureFormants;
using test::Peak;
using test::Periodicity;
using test::Rms;
using test::SpectralCentroid;

using Clip = std::vector<int16_t>;

const std::array<Clip, kVoicePhonemeCount>& Voice() {
    static const auto clips = SynthesizeVoice();
    return clips;
}

const Clip& ClipOf(int code) {
    return Voice()[static_cast<std::size_t>(code)];
}

int Ms(double ms) {
    return static_cast<int>(ms * 11.025);
}

// The voice file's bytes: 100 little-endian 32-bit counts, then the samples.
std::vector<uint8_t> VoiceFileBytes(const std::array<Clip, kVoicePhonemeCount>& clips) {
    std::vector<uint8_t> out(400, 0);
    for (int i = 0; i < kVoicePhonemeCount; ++i) {
        const uint32_t count = static_cast<uint32_t>(clips[static_cast<std::size_t>(i)].size());
        for (int b = 0; b < 4; ++b)
            out[static_cast<std::size_t>(4 * i + b)] = static_cast<uint8_t>(count >> (8 * b));
    }
    for (const Clip& clip : clips) {
        for (int16_t s : clip) {
            out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
            out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
        }
    }
    return out;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

// ---- Vowels: formants where the acoustic data puts them ----

struct VowelRow {
    const char* name;
    int code;
    double f1, f2;    // start targets
    double f1e, f2e;  // end targets
};

// Independent copy of the vowel targets (adult male), so a mistyped
// synthesis table is caught too.
const VowelRow kVowels[] = {
    {"IY", 0, 310, 2020, 290, 2070},  {"IH", 1, 400, 1800, 470, 1600},
    {"EY", 2, 480, 1720, 330, 2020},  {"EH", 3, 530, 1680, 620, 1530},
    {"AE", 4, 620, 1660, 650, 1490},  {"AA", 5, 700, 1220, 700, 1220},
    {"AO", 6, 600, 990, 630, 1040},   {"OW", 7, 540, 1100, 450, 900},
    {"UH", 8, 450, 1100, 500, 1180},  {"UW", 9, 350, 1250, 320, 900},
    {"ER", 10, 470, 1270, 420, 1310}, {"AX", 11, 500, 1500, 500, 1500},
    {"AH", 12, 620, 1220, 620, 1220}, {"AY", 13, 660, 1200, 400, 1880},
    {"AW", 14, 640, 1230, 420, 940},  {"OY", 15, 550, 960, 360, 1820},
};

constexpr int kFrame = 300;  // 27 ms analysis frame

void ExpectFormantsNear(const VowelRow& row, int start, double f1, double f2, const char* where) {
    const auto formants = MeasureFormants(ClipOf(row.code), start, kFrame);
    ASSERT_GE(formants.size(), 2u) << row.name << " " << where;
    EXPECT_NEAR(formants[0].hz, f1, 0.10 * f1) << row.name << " F1 " << where;
    EXPECT_NEAR(formants[1].hz, f2, 0.10 * f2) << row.name << " F2 " << where;
}

TEST(VoxaVowels, FirstTwoFormantsLieWithinTenPercentOfTheTargetsEarlyAndLate) {
    for (const VowelRow& row : kVowels) {
        const int total = static_cast<int>(ClipOf(row.code).size());
        const int hold = total / 4;  // start and end targets are held this long
        ExpectFormantsNear(row, std::max(60, hold - kFrame), row.f1, row.f2, "early");
        ExpectFormantsNear(row, total - hold, row.f1e, row.f2e, "late");
    }
}

TEST(VoxaVowels, DiphthongsMoveFromStartTowardEndTargets) {
    for (const VowelRow& row : kVowels) {
        if (std::fabs(row.f2e - row.f2) < 250) continue;  // only the clearly moving ones
        const Clip& clip = ClipOf(row.code);
        const int total = static_cast<int>(clip.size());
        const double early = MeasureFormants(clip, 60, kFrame).at(1).hz;
        const double late = MeasureFormants(clip, total - 60 - kFrame, kFrame).at(1).hz;
        EXPECT_GT((late - early) * (row.f2e - row.f2), 0.0)
            << row.name << " F2 moves the wrong way";
        EXPECT_GT(std::fabs(late - early), 0.5 * std::fabs(row.f2e - row.f2)) << row.name;
    }
}

TEST(VoxaVowels, LevelsAreRoughlyConsistent) {
    double lo = 1e9, hi = 0;
    for (const VowelRow& row : kVowels) {
        const Clip& clip = ClipOf(row.code);
        const double rms = Rms(clip, 0, static_cast<int>(clip.size()));
        lo = std::min(lo, rms);
        hi = std::max(hi, rms);
    }
    EXPECT_GT(lo, 1500.0);
    EXPECT_LT(20 * std::log10(hi / lo), 8.0) << "quietest " << lo << ", loudest " << hi;
}

// ---- Consonants ----

struct FricativeRow {
    const char* name;
    int code;
    double lowHz, highHz;  // the band that must carry most of the energy
    double minShare;
};

TEST(VoxaFricatives, NoiseEnergySitsInTheRightBand) {
    const FricativeRow rows[] = {
        {"s mostly above 3.5 kHz", 26, 3500, 5600, 0.6},
        {"SH mostly between 1.5 and 3.5 kHz", 28, 1500, 3500, 0.5},
        {"f spread flat, not all high", 22, 0, 3500, 0.4},
    };
    for (const auto& row : rows) {
        const Clip& clip = ClipOf(row.code);
        const int mid = static_cast<int>(clip.size()) / 2;
        EXPECT_GE(EnergyFraction(clip, mid - 256, 512, row.lowHz, row.highHz), row.minShare)
            << row.name;
    }
    const Clip& s = ClipOf(26);
    const Clip& sh = ClipOf(28);
    EXPECT_GT(SpectralCentroid(s, static_cast<int>(s.size()) / 2 - 256, 512),
              SpectralCentroid(sh, static_cast<int>(sh.size()) / 2 - 256, 512) + 800.0);
}

TEST(VoxaFricatives, VoicedOnesArePeriodicAndVoicelessOnesAreNot) {
    const struct {
        const char* name;
        int code;
        bool voiced;
    } rows[] = {{"f", 22, false}, {"v", 23, true}, {"TH", 24, false}, {"DH", 25, true},
                {"s", 26, false}, {"z", 27, true}, {"SH", 28, false}, {"ZH", 29, true}};
    for (const auto& row : rows) {
        const Clip& clip = ClipOf(row.code);
        const int mid = static_cast<int>(clip.size()) / 2;
        // Low-pass by pairing samples so the voicing, not the hiss, is measured.
        Clip low(clip.size());
        for (std::size_t i = 1; i < clip.size(); ++i)
            low[i] = static_cast<int16_t>((clip[i] + clip[i - 1]) / 2);
        const double p = Periodicity(low, mid - 200, 400);
        if (row.voiced) {
            EXPECT_GT(p, 0.5) << row.name;
        } else {
            EXPECT_LT(p, 0.5) << row.name;
        }
    }
}

struct StopRow {
    const char* name;
    int code;
    double closureMs, burstMs;
    bool voiced;
};

// Sample-to-sample differences: a high-pass view in which a voice bar is
// faint and a burst stands out.
Clip Differences(const Clip& clip) {
    Clip d(clip.size(), 0);
    for (std::size_t i = 1; i < clip.size(); ++i)
        d[i] = static_cast<int16_t>((clip[i] - clip[i - 1]) / 2);
    return d;
}

TEST(VoxaStops, StartWithAClosureAndThenBurst) {
    const StopRow rows[] = {{"p", 16, 52, 5, false},   {"b", 17, 42, 5, true},
                            {"t", 18, 52, 12, false},  {"d", 19, 39, 8, true},
                            {"k", 20, 52, 20, false},  {"g", 21, 39, 15, true},
                            {"CH", 38, 35, 12, false}, {"j", 39, 35, 8, true}};
    for (const auto& row : rows) {
        const Clip& clip = ClipOf(row.code);
        const int total = static_cast<int>(clip.size());
        const int closure = Ms(row.closureMs);
        const int clipPeak = Peak(clip, 0, total);
        if (row.voiced) {
            // A voice bar: a quiet, periodic murmur under the closure.
            EXPECT_LT(Rms(clip, 0, closure), 0.15 * clipPeak) << row.name;
            EXPECT_GT(Rms(clip, 0, closure), 20.0) << row.name << " has no voice bar";
            EXPECT_GT(Periodicity(clip, Ms(10), closure - Ms(15)), 0.7) << row.name;
        } else {
            EXPECT_LE(Peak(clip, 0, closure - 2), clipPeak / 100)
                << row.name << " closure not silent";
        }
        const Clip high = Differences(clip);
        const double closureHigh = Rms(high, 0, closure - 2);
        const double burstHigh = Rms(high, closure, std::max(Ms(row.burstMs), Ms(5)));
        EXPECT_GT(burstHigh, 4 * closureHigh + 20) << row.name << " has no burst";
    }
}

TEST(VoxaSonorants, NasalsLiquidsAndGlidesAreVoicedWithALowFirstFormant) {
    const struct {
        const char* name;
        int code;
    } rows[] = {{"m", 31}, {"n", 32}, {"NG", 33}, {"l", 34}, {"w", 35}, {"y", 36}, {"r", 37}};
    for (const auto& row : rows) {
        const Clip& clip = ClipOf(row.code);
        EXPECT_GT(Periodicity(clip, 60, 400), 0.8) << row.name;
        const auto formants = MeasureFormants(clip, 60, kFrame);
        ASSERT_FALSE(formants.empty()) << row.name;
        EXPECT_LT(formants[0].hz, 450.0) << row.name;
    }
}

TEST(VoxaAspirates, HAndWhAreBreathy) {
    const Clip& h = ClipOf(30);
    EXPECT_LT(Periodicity(h, Ms(10), Ms(45)), 0.4);
    const Clip& wh = ClipOf(40);
    EXPECT_LT(Periodicity(wh, Ms(10), Ms(35)), 0.4) << "WH starts with breath";
    EXPECT_GT(Periodicity(wh, Ms(48), Ms(27)), 0.5) << "WH ends voiced";
}

// ---- Timing: clips sized for connected speech, not for words said alone ----

double MeanMs(std::initializer_list<int> codes) {
    double sum = 0;
    for (int code : codes) sum += static_cast<double>(ClipOf(code).size());
    return sum / static_cast<double>(codes.size()) / 11.025;
}

TEST(VoxaTiming, EachClassOfClipsHasAConnectedSpeechLength) {
    const struct {
        const char* name;
        double meanMs;
        double loMs, hiMs;
    } rows[] = {
        {"vowels and diphthongs", MeanMs({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}),
         80, 115},
        {"reduced vowel shorter than any full vowel", MeanMs({11}), 45, 70},
        {"voiceless stops: short closure, short aspiration", MeanMs({16, 18, 20}), 70, 95},
        {"voiced stops: closure and burst, hardly any transition", MeanMs({17, 19, 21}), 45, 70},
        {"fricatives", MeanMs({22, 23, 24, 25, 26, 27, 28, 29}), 65, 100},
        {"nasals, liquids and glides", MeanMs({31, 32, 33, 34, 35, 36, 37}), 55, 85},
        {"word gap", MeanMs({kVoiceSilenceCode}), 5, 20},
    };
    for (const auto& row : rows) {
        EXPECT_GE(row.meanMs, row.loMs) << row.name;
        EXPECT_LE(row.meanMs, row.hiMs) << row.name;
    }
}

TEST(VoxaTiming, ASentenceIsSpokenAtConversationalRate) {
    // "The train leaves at nine in the morning": 8 words, 25 phonemes, a word gap after each word.
    const int sentence[] = {25, 11, 41, 18, 37, 2,  32, 41, 34, 0,  23, 27, 41, 4, 18, 41, 32,
                            13, 32, 41, 1,  32, 41, 25, 11, 41, 31, 6,  37, 32, 1, 33, 41};
    double samples = 0;
    int phones = 0;
    for (int code : sentence) {
        samples += static_cast<double>(ClipOf(code).size());
        if (code != kVoiceSilenceCode) ++phones;
    }
    const double seconds = samples / 11025.0;
    EXPECT_EQ(phones, 25);
    EXPECT_GE(phones / seconds, 9.5) << "phonemes per second";
    EXPECT_GE(8 * 60.0 / seconds, 140.0) << "words per minute";
}

// ---- Every clip: playable back to back ----

TEST(VoxaClips, FitASlotDoNotClipAndStartAndEndAtZero) {
    for (int code = 0; code < kVoicePhonemeCount; ++code) {
        const Clip& clip = ClipOf(code);
        ASSERT_GT(clip.size(), 0u) << code;
        EXPECT_LE(clip.size(), 10000u) << code;
        const int total = static_cast<int>(clip.size());
        const int peak = Peak(clip, 0, total);
        EXPECT_LE(peak, static_cast<int>(kPeakLimit)) << code;
        EXPECT_EQ(clip.front(), 0) << code;
        EXPECT_EQ(clip.back(), 0) << code;
        // The fades keep the first and last few samples well below the clip's peak.
        EXPECT_LE(Peak(clip, 0, 5), peak / 20 + 1) << code;
        EXPECT_LE(Peak(clip, total - 5, 5), peak / 20 + 1) << code;
        if (code != kVoiceSilenceCode) {
            EXPECT_GT(peak, 500) << code << " is nearly silent";
        }
    }
}

TEST(VoxaClips, SilenceIsAShortRunOfExactZeros) {
    const Clip& silence = ClipOf(kVoiceSilenceCode);
    EXPECT_GE(silence.size(), static_cast<std::size_t>(Ms(5)));
    EXPECT_LE(silence.size(), static_cast<std::size_t>(Ms(20)) + 1);
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](int16_t s) { return s == 0; }));
}

TEST(VoxaClips, OutOfRangeCodesGiveNoClip) {
    EXPECT_TRUE(SynthesizePhoneme(-1).empty());
    EXPECT_TRUE(SynthesizePhoneme(42).empty());
}

// ---- Determinism ----

TEST(VoxaDeterminism, SynthesisIsRepeatableAndMatchesTheGoldenHash) {
    const auto again = SynthesizeVoice();
    EXPECT_EQ(again, Voice());
    // Changes only when the voice is changed on purpose; update it in the same change.
    EXPECT_EQ(Fnv1a(VoiceFileBytes(Voice())), 0x848d9b61cdd6db23ull);
}

TEST(DeterministicMath, MatchesTheLibraryFunctionsClosely) {
    EXPECT_EQ(DetExp(-800), 0.0);
    const double xs[] = {-600, -50, -1, -1e-9, 0, 0.3, 1, 2.5, 20, 300};
    for (double x : xs) {
        const double ref = std::exp(x);
        EXPECT_LE(std::fabs(DetExp(x) - ref), 1e-14 * ref) << "exp " << x;
    }
    const double angles[] = {-100, -3.2, -kPi, -1, 0, 0.5, kPi / 2, 3.1, 7, 1000};
    for (double a : angles) {
        EXPECT_NEAR(DetCos(a), std::cos(a), 1e-12) << "cos " << a;
        EXPECT_NEAR(DetSin(a), std::sin(a), 1e-12) << "sin " << a;
    }
    EXPECT_NEAR(DbToAmp(-20), 0.1, 1e-15);
}

// ---- The start-up sound ----

TEST(ArrowChime, IsAShortCleanWaveFile) {
    const Clip chime = sfxgen::SynthesizeArrowChime();
    EXPECT_GT(chime.size(), 1000u);
    EXPECT_LT(chime.size(), 11025u / 2);
    EXPECT_EQ(chime.front(), 0);
    EXPECT_EQ(chime.back(), 0);
    const int peak = Peak(chime, 0, static_cast<int>(chime.size()));
    EXPECT_GT(peak, 10000);
    EXPECT_LT(peak, 32767);

    const std::vector<uint8_t> wav = wave::EncodeWav(chime);
    ASSERT_EQ(wav.size(), 44 + 2 * chime.size());
    auto u32 = [&](std::size_t at) {
        return uint32_t{wav[at]} | uint32_t{wav[at + 1]} << 8 | uint32_t{wav[at + 2]} << 16 |
               uint32_t{wav[at + 3]} << 24;
    };
    auto u16 = [&](std::size_t at) { return uint32_t{wav[at]} | uint32_t{wav[at + 1]} << 8; };
    auto tag = [&](std::size_t at) {
        return std::string(reinterpret_cast<const char*>(&wav[at]), 4);
    };
    EXPECT_EQ(tag(0), "RIFF");
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(tag(8), "WAVE");
    EXPECT_EQ(tag(12), "fmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1u);      // PCM
    EXPECT_EQ(u16(22), 1u);      // mono
    EXPECT_EQ(u32(24), 11025u);  // samples per second
    EXPECT_EQ(u32(28), 22050u);  // bytes per second
    EXPECT_EQ(u16(32), 2u);      // block align
    EXPECT_EQ(u16(34), 16u);     // bits
    EXPECT_EQ(tag(36), "data");
    EXPECT_EQ(u32(40), 2 * chime.size());
    EXPECT_EQ(static_cast<int16_t>(u16(44 + 2 * 500)), chime[500]);
}

TEST(ArrowChime, RisesInPitchAndIsRepeatable) {
    const Clip chime = sfxgen::SynthesizeArrowChime();
    auto crossings = [&](int start, int length) {
        int n = 0;
        for (int i = start + 1; i < start + length; ++i) {
            if ((chime[static_cast<std::size_t>(i - 1)] < 0) !=
                (chime[static_cast<std::size_t>(i)] < 0))
                ++n;
        }
        return n;
    };
    EXPECT_LT(crossings(100, 900), crossings(Ms(200), 900));
    EXPECT_EQ(sfxgen::SynthesizeArrowChime(), chime);
    EXPECT_EQ(Fnv1a(wave::EncodeWav(chime)), 0x97c21f17a920caa9ull);
}

#ifdef VOCALITH_HAVE_VOICE_FILE
TEST(VoxaVoiceFile, SavedVoiceLoadsBackAsTheSynthesizedClips) {
    auto table = std::make_unique<voice::PhonTable>();
    for (int code = 0; code < kVoicePhonemeCount; ++code) {
        const Clip& clip = ClipOf(code);
        auto& slot = table->slots[static_cast<std::size_t>(code)];
        slot.count = static_cast<int32_t>(clip.size());
        std::copy(clip.begin(), clip.end(), slot.samples.begin());
    }
    const testsupport::TempFolder dir("vocalith-voicegen");
    const auto path = dir / "voices" / "Voxa.voc";
    ASSERT_TRUE(voice::SaveVoice(path, *table).ok());
    EXPECT_EQ(voice::EncodeVoice(*table), VoiceFileBytes(Voice()));

    auto loaded = std::make_unique<voice::PhonTable>();
    ASSERT_TRUE(voice::LoadVoice(path, *loaded).ok());
    for (int code = 0; code < kVoicePhonemeCount; ++code) {
        const Clip& clip = ClipOf(code);
        const auto& slot = loaded->slots[static_cast<std::size_t>(code)];
        ASSERT_EQ(slot.count, static_cast<int32_t>(clip.size())) << code;
        EXPECT_TRUE(std::equal(clip.begin(), clip.end(), slot.samples.begin())) << code;
    }
}
#endif

}  // namespace
}  // namespace vocalith::voicegen
