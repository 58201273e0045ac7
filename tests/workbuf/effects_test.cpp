#include <gtest/gtest.h>

#include <memory>

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
std::unique_ptr<WorkBuffer> Ramp(int32_t length) {
    auto wb = std::make_unique<WorkBuffer>();
    for (int32_t i = 0; i < length; ++i) wb->samples[i] = static_cast<int16_t>((i * 10) % 30000);
    wb->length = length;
    return wb;
}

TEST(ScaleEffects, EachSampleLimitedAndTruncated) {
    struct Row {
        const char* fault;
        int effect;
        int16_t in;
        int16_t want;
    };
    const Row rows[] = {
        {"attenuate factor", 3, 1000, 700},
        {"attenuate negative", 3, -1000, -700},
        {"attenuate rounds instead of truncating", 3, 1, 0},
        {"attenuate truncates away from zero", 3, -3, -2},
        {"attenuate most negative sample", 3, -32768, -22937},
        {"amplify factor", 4, 100, 170},
        {"amplify rounds instead of truncating", 4, 3, 5},
        {"amplify not limited at +32000", 4, 20000, 32000},
        {"amplify not limited at -32000", 4, -19000, -32000},
        {"amplify limits at 32767 instead of 32000", 4, 32767, 32000},
        {"amplify just below the limit", 4, 18823, 31999},
    };
    for (const Row& r : rows) {
        auto wb = WithSamples({r.in});
        ApplyEffect(r.effect, *wb);
        EXPECT_EQ(wb->samples[0], r.want) << r.fault;
        EXPECT_EQ(wb->length, 1) << r.fault;
    }
}

TEST(ScaleEffects, AttenuateThenAmplifyDoesNotRestore) {
    auto wb = WithSamples({1000});
    ApplyEffect(3, *wb);
    ApplyEffect(4, *wb);
    EXPECT_EQ(wb->samples[0], 1190);
    ApplyEffect(2, *wb);  // not an effect
    ApplyEffect(8, *wb);
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
        int effect;
        int32_t length;
        int32_t want;
    };
    const Row rows[] = {
        {"raise pitch length", 5, 1000, 900},
        {"raise pitch on one sample keeps it", 5, 1, 0},
        {"lower pitch length", 6, 1000, 1110},
        {"lower pitch not capped at 43999", 6, 40000, RECORD_LIMIT},
        {"lower pitch of a full buffer", 6, RECORD_LIMIT, RECORD_LIMIT},
        {"lower pitch of an empty buffer", 6, 0, 0},
    };
    for (const Row& r : rows) {
        auto wb = Ramp(r.length);
        SaveBackup(BACKUP_EFFECT, *wb);
        ApplyEffect(r.effect, *wb);
        EXPECT_EQ(wb->length, r.want) << r.fault;
    }
}

TEST(PitchEffects, RaisePitchInterpolatesFromBackup) {
    auto wb = Ramp(1000);
    wb->samples[1] = 100;
    wb->samples[2] = 191;
    SaveBackup(BACKUP_EFFECT, *wb);
    ApplyEffect(5, *wb);
    // Output 1 reads position 1000 / 900 = 1.111...: 100 + 0.111... * 91 = 110.11.
    EXPECT_EQ(wb->samples[1], 110);
    EXPECT_EQ(wb->samples[0], 0);
}

TEST(PitchEffects, FullBufferStretchedUnchangedFromBackup) {
    auto wb = Ramp(RECORD_LIMIT);
    SaveBackup(BACKUP_EFFECT, *wb);
    wb->samples.fill(-9);  // the source is the backup, not the buffer
    ApplyEffect(6, *wb);
    EXPECT_EQ(wb->samples[12345], static_cast<int16_t>(123450 % 30000));
    EXPECT_EQ(wb->samples[RECORD_LIMIT - 1], static_cast<int16_t>((RECORD_LIMIT - 1) * 10 % 30000));
}

TEST(PitchEffects, WithoutBackupStaysInsideArrays) {
    // backupLength 0 with samples present: every output reads backup[0..1].
    auto wb = Ramp(1000);
    wb->backup[BACKUP_EFFECT][0] = 42;
    ApplyEffect(6, *wb);
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
        auto wb = Ramp(r.length);
        wb->selectionStart = 3;
        wb->selectionEnd = 4;
        ApplyEffect(7, *wb);
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
    for (int effect = 3; effect <= 7; ++effect) {
        auto wb = Ramp(3000);
        wb->samples[10] = 30000;
        SaveBackup(BACKUP_EFFECT, *wb);
        ApplyEffect(effect, *wb);
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
