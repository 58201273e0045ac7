// Rate, pitch and volume on a steady tone: the length follows the rate, the
// tone's period follows the pitch alone, the level follows the volume, and
// neutral settings pass every sample untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "wave/prosody.h"

namespace vocalith::wave {
namespace {

constexpr double kRate = 11025.0;

std::vector<int16_t> Tone(double hz, int count, double amplitude) {
    std::vector<int16_t> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        out[static_cast<size_t>(i)] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / kRate)));
    }
    return out;
}

// The tone's period in samples: the lag of the autocorrelation's highest peak
// between 10 and 400 samples, measured in the middle of the signal.
int Period(const std::vector<int16_t>& s) {
    const size_t from = s.size() / 4, length = s.size() / 2;
    int best = 0;
    double bestScore = -1e300;
    for (int lag = 10; lag <= 400; ++lag) {
        double score = 0;
        for (size_t i = from; i < from + length; ++i)
            score += static_cast<double>(s[i]) * s[i + static_cast<size_t>(lag)];
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

int Peak(const std::vector<int16_t>& s) {
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(int{v}));
    return peak;
}

TEST(Prosody, LengthPitchAndLevelFollowTheSettings) {
    // 100 Hz: a period of 110.25 samples.
    const std::vector<int16_t> tone = Tone(100, 22050, 10000);
    struct Row {
        const char* name;
        ProsodySettings settings;
        size_t length;  // exact
        int period;     // +-2 samples
        int peak;       // +-3%
    };
    const Row rows[] = {
        {"fastest is 2.5x, same pitch", {100, 0, 0}, 8820, 110, 10000},
        {"slowest is half speed, same pitch", {-100, 0, 0}, 44100, 110, 10000},
        {"rate 50 is 2.5^0.5", {50, 0, 0}, 13946, 110, 10000},
        {"an octave up keeps the length", {0, 100, 0}, 22050, 55, 10000},
        {"an octave down keeps the length", {0, -100, 0}, 22050, 220, 10000},
        {"rate and pitch together", {100, -100, 0}, 8820, 220, 10000},
        {"-6 dB halves the level", {0, 0, -6.0206}, 22050, 110, 5000},
        {"+20 dB clips at full scale", {0, 0, 20}, 22050, 110, 32767},
        {"below -60 dB is silence", {0, 0, -61}, 22050, 0, 0},
    };
    for (const Row& r : rows) {
        const std::vector<int16_t> out = ApplyProsody(tone, r.settings);
        EXPECT_EQ(out.size(), r.length) << r.name;
        if (r.peak == 0) {
            EXPECT_EQ(Peak(out), 0) << r.name;
            continue;
        }
        EXPECT_NEAR(Period(out), r.period, 2) << r.name;
        EXPECT_NEAR(Peak(out), r.peak, r.peak * 0.03) << r.name;
    }
}

TEST(Prosody, NeutralSettingsPassEverySampleUntouched) {
    std::vector<int16_t> noise(5000);
    uint32_t x = 12345;
    for (int16_t& v : noise) v = static_cast<int16_t>((x = x * 1103515245u + 12345u) >> 16);
    EXPECT_EQ(ApplyProsody(noise, {}), noise);
}

}  // namespace
}  // namespace vocalith::wave
