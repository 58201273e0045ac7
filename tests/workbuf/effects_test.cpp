#include <gtest/gtest.h>

#include <memory>

#include "workbuf/effects_menu.h"
#include "workbuf/work_buffer.h"

namespace vocalith::workbuf {
namespace {

std::unique_ptr<WorkBuffer> WithSamples(std::initializer_list<int16_t> values) {
    auto wb = std::make_unique<WorkBuffer>();
    int32_t i = 0;
    for (int16_t v : values) wb->samples[i++] = v;
    wb->length = i;
    return wb;
}

// Samples that differ from their neighbours in a known way: 10 * i.
std::unique_ptr<WorkBuffer> TenfoldRamp(int32_t length) {
    auto wb = std::make_unique<WorkBuffer>();
    for (int32_t i = 0; i < length; ++i) wb->samples[i] = static_cast<int16_t>((i * 10) % 30000);
    wb->length = length;
    return wb;
}

TEST(ScaleEffects, EachSampleLimitedAndTruncated) {
    struct Row {
        const char* fault;
        const char* effect;
        int16_t in;
        int16_t want;
    };
    const Row rows[] = {
        {"attenuate factor", "attenuate", 1000, 700},
        {"attenuate negative", "attenuate", -1000, -700},
        {"attenuate rounds instead of truncating", "attenuate", 1, 0},
        {"attenuate truncates away from zero", "attenuate", -3, -2},
        {"attenuate most negative sample", "attenuate", -32768, -22937},
        {"amplify factor", "amplify", 100, 170},
        {"amplify rounds instead of truncating", "amplify", 3, 5},
        {"amplify not limited at +32000", "amplify", 20000, 32000},
        {"amplify not limited at -32000", "amplify", -19000, -32000},
        {"amplify limits at 32767 instead of 32000", "amplify", 32767, 32000},
        {"amplify just below the limit", "amplify", 18823, 31999},
    };
    for (const Row& r : rows) {
        auto wb = WithSamples({r.in});
        ApplyEffect(EffectNumber(r.effect), *wb);
        EXPECT_EQ(wb->samples[0], r.want) << r.fault;
        EXPECT_EQ(wb->length, 1) << r.fault;
    }
}

TEST(ScaleEffects, AttenuateThenAmplifyDoesNotRestore) {
    auto wb = WithSamples({1000});
    ApplyEffect(EffectNumber("attenuate"), *wb);
    ApplyEffect(EffectNumber("amplify"), *wb);
    EXPECT_EQ(wb->samples[0], 1190);
    ApplyEffect(EffectNumber("undo-effect"), *wb);  // not an effect
    ApplyEffect(EffectNumber("play-second"), *wb);
    EXPECT_EQ(wb->samples[0], 1190);
}

TEST(InterpolateSample, PositionsOutsideOutputGiveSilence) {
    const int16_t source[] = {0, 100, 300, 600, 7};
    EXPECT_DOUBLE_EQ(InterpolateSample(source, 2, 4, 3), 200.0);
    EXPECT_DOUBLE_EQ(InterpolateSample(source, 4, 4, 4), 0.0);
    EXPECT_DOUBLE_EQ(InterpolateSample(source, -1, 4, 4), 0.0);
    EXPECT_DOUBLE_EQ(InterpolateSample(source, 0, 0, 4), 0.0);
}

TEST(PitchEffects, NewLengths) {
    struct Row {
        const char* fault;
        const char* effect;
        int32_t length;
        int32_t want;
    };
    const Row rows[] = {
        {"raise pitch length", "raise-pitch", 1000, 900},
        {"raise pitch on one sample keeps it", "raise-pitch", 1, 0},
        {"lower pitch length", "lower-pitch", 1000, 1110},
        {"lower pitch not capped at 43999", "lower-pitch", 40000, RECORD_LIMIT},
        {"lower pitch of a full buffer", "lower-pitch", RECORD_LIMIT, RECORD_LIMIT},
        {"lower pitch of an empty buffer", "lower-pitch", 0, 0},
    };
    for (const Row& r : rows) {
        auto wb = TenfoldRamp(r.length);
        SaveBackup(BACKUP_EFFECT, *wb);
        ApplyEffect(EffectNumber(r.effect), *wb);
        EXPECT_EQ(wb->length, r.want) << r.fault;
    }
}

TEST(PitchEffects, RaisePitchInterpolatesFromBackup) {
    auto wb = TenfoldRamp(1000);
    wb->samples[1] = 100;
    wb->samples[2] = 191;
    SaveBackup(BACKUP_EFFECT, *wb);
    ApplyEffect(EffectNumber("raise-pitch"), *wb);
    // Output 1 reads position 1000 / 900 = 1.111...: 100 + 0.111... * 91 = 110.11.
    EXPECT_EQ(wb->samples[1], 110);
    EXPECT_EQ(wb->samples[0], 0);
}

TEST(PitchEffects, FullBufferStretchedUnchangedFromBackup) {
    auto wb = TenfoldRamp(RECORD_LIMIT);
    SaveBackup(BACKUP_EFFECT, *wb);
    wb->samples.fill(-9);  // the source is the backup, not the buffer
    ApplyEffect(EffectNumber("lower-pitch"), *wb);
    EXPECT_EQ(wb->samples[12345], static_cast<int16_t>(123450 % 30000));
    EXPECT_EQ(wb->samples[RECORD_LIMIT - 1], static_cast<int16_t>((RECORD_LIMIT - 1) * 10 % 30000));
}

TEST(PitchEffects, WithoutBackupStaysInsideArrays) {
    // backupLength 0 with samples present: every output reads backup[0..1].
    auto wb = TenfoldRamp(1000);
    wb->backup[BACKUP_EFFECT][0] = 42;
    ApplyEffect(EffectNumber("lower-pitch"), *wb);
    EXPECT_EQ(wb->length, 1110);
    EXPECT_EQ(wb->samples[1109], 42);
}

TEST(DuplicateEffect, RepeatsToOneSecond) {
    struct Row {
        const char* fault;
        int32_t length;
        int32_t wantLength;
        int32_t wantStart, wantEnd;
    };
    const Row rows[] = {
        {"10 samples must be left alone, selection too", 10, 10, 3, 4},
        {"11 samples", 11, 11000, 0, 11000},
        {"3000 samples to whole copies", 3000, 12000, 0, 12000},
        {"longest result", 10999, 21998, 0, 21998},
        {"one second only selects", 11000, 11000, 0, 11000},
    };
    for (const Row& r : rows) {
        auto wb = TenfoldRamp(r.length);
        wb->selectionStart = 3;
        wb->selectionEnd = 4;
        ApplyEffect(EffectNumber("duplicate"), *wb);
        EXPECT_EQ(wb->length, r.wantLength) << r.fault;
        EXPECT_EQ(wb->selectionStart, r.wantStart) << r.fault;
        EXPECT_EQ(wb->selectionEnd, r.wantEnd) << r.fault;
        if (r.wantLength > r.length) {
            EXPECT_EQ(wb->samples[r.length], wb->samples[0]) << r.fault;
            EXPECT_EQ(wb->samples[r.wantLength - 1], wb->samples[r.length - 1]) << r.fault;
        }
    }
}

TEST(Effects, UndoRestoresExactly) {
    for (const char* effect : {"attenuate", "amplify", "raise-pitch", "lower-pitch", "duplicate"}) {
        auto wb = TenfoldRamp(3000);
        wb->samples[10] = 30000;
        SaveBackup(BACKUP_EFFECT, *wb);
        ApplyEffect(EffectNumber(effect), *wb);
        RestoreBackup(BACKUP_EFFECT, *wb);
        EXPECT_EQ(wb->length, 3000) << effect;
        EXPECT_EQ(wb->samples[10], 30000) << effect;
        EXPECT_EQ(wb->samples[2999], 29990) << effect;
        EXPECT_EQ(wb->selectionStart, 0) << effect;
        EXPECT_EQ(wb->selectionEnd, 3000) << effect;
    }
}

}  // namespace
}  // namespace vocalith::workbuf
