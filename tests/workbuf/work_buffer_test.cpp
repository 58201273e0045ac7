#include "workbuf/work_buffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "mixer/mixer.h"
#include "voice/phon_table.h"

namespace vocalith::workbuf {
namespace {

// A private buffer with samples[i] = i, length `length`, selection given.
std::unique_ptr<WorkBuffer> Ramp(int32_t length, int32_t start = 0, int32_t end = 0) {
    auto wb = std::make_unique<WorkBuffer>();
    for (int32_t i = 0; i < WORK_CAPACITY; ++i) wb->samples[i] = static_cast<int16_t>(i % 30000);
    wb->length = length;
    wb->selectionStart = start;
    wb->selectionEnd = end;
    return wb;
}

TEST(ClampSelection, BringsSelectionInsideBuffer) {
    struct Row {
        const char* fault;
        int32_t length, start, end;
        int32_t wantStart, wantEnd;
    };
    const Row rows[] = {
        {"start beyond length not moved onto last sample", 100, 150, 300, 99, 100},
        {"start equal to length wrongly moved back", 100, 100, 300, 100, 100},
        {"reversed selection not emptied at start", 100, 40, 20, 40, 40},
        {"empty buffer leaves a non-empty selection", 0, 5, 10, 0, 0},
        {"empty buffer start goes negative", 0, 1, 1, 0, 0},
        {"negative start not raised to 0", 100, -5, 50, 0, 50},
        {"negative end not raised to start", 100, 10, -3, 10, 10},
        {"valid selection changed", 100, 10, 60, 10, 60},
        {"end after recording not cut to length", 43999, 0, 44000, 0, 43999},
    };
    for (const Row& r : rows) {
        auto wb = Ramp(r.length, r.start, r.end);
        const int32_t n = ClampSelection(*wb);
        EXPECT_EQ(wb->selectionStart, r.wantStart) << r.fault;
        EXPECT_EQ(wb->selectionEnd, r.wantEnd) << r.fault;
        EXPECT_EQ(n, r.wantEnd - r.wantStart) << r.fault;
    }
}

TEST(AppendRecording, FirstCallClearsAndSelectsCapacity) {
    auto wb = Ramp(500, 10, 20);
    wb->recording = 1;
    std::vector<int16_t> block(256, 7);
    AppendRecording(block.data(), 256, *wb);
    EXPECT_EQ(wb->length, 256);
    EXPECT_EQ(wb->samples[255], 7);
    EXPECT_EQ(wb->samples[256], 0) << "old contents survive past the first block";
    EXPECT_EQ(wb->samples[499], 0);
    EXPECT_EQ(wb->selectionStart, 0);
    EXPECT_EQ(wb->selectionEnd, WORK_CAPACITY);
}

TEST(AppendRecording, EmptyBlockBeforeFirstSamplesEmptiesBuffer) {
    auto wb = Ramp(500);
    int16_t block[4] = {};
    AppendRecording(block, 4, *wb);
    EXPECT_EQ(wb->length, 500) << "samples kept while no recording runs";
    wb->recording = 1;
    AppendRecording(nullptr, 0, *wb);
    EXPECT_EQ(wb->length, 0);
    EXPECT_EQ(wb->recording, 1);
    EXPECT_EQ(wb->samples[1], 0);
}

TEST(AppendRecording, StopsItselfAt43999Samples) {
    auto wb = Ramp(0);
    wb->recording = 1;
    std::vector<int16_t> block(256, -5);
    int blocks = 0;
    while (wb->recording == 1 && blocks < 1000) {
        AppendRecording(block.data(), 256, *wb);
        ++blocks;
    }
    EXPECT_EQ(blocks, 172) << "171 full blocks and part of the 172nd";
    EXPECT_EQ(wb->length, RECORD_LIMIT);
    EXPECT_EQ(wb->recordedCount, RECORD_LIMIT);
    EXPECT_EQ(wb->samples[RECORD_LIMIT - 1], -5);
    EXPECT_EQ(wb->samples[RECORD_LIMIT], 0) << "the last position must keep its 0";
}

TEST(AppendRecording, BlockAtLimitDroppedWholeAndEndsRecording) {
    auto wb = Ramp(0);
    wb->recording = 1;
    wb->recordedCount = RECORD_LIMIT;
    wb->length = RECORD_LIMIT;
    wb->samples[RECORD_LIMIT] = 0;
    std::vector<int16_t> block(256, 9);
    AppendRecording(block.data(), 256, *wb);
    EXPECT_EQ(wb->recording, 0);
    EXPECT_EQ(wb->length, RECORD_LIMIT);
    EXPECT_EQ(wb->samples[RECORD_LIMIT], 0);
}

TEST(Backups, RestoreSelectsWholeAndSurvivesRepeats) {
    auto wb = Ramp(1000, 5, 6);
    SaveBackup(BACKUP_EFFECT, *wb);
    wb->samples[0] = -1;
    wb->length = 10;
    for (int round = 0; round < 2; ++round) {
        RestoreBackup(BACKUP_EFFECT, *wb);
        EXPECT_EQ(wb->length, 1000);
        EXPECT_EQ(wb->samples[0], 0);
        EXPECT_EQ(wb->selectionStart, 0);
        EXPECT_EQ(wb->selectionEnd, 1000);
        wb->samples[0] = -1;
    }
}

TEST(ResetWorkBuffer, ReturnsEveryFieldToItsStartUpValue) {
    const auto fresh = std::make_unique<WorkBuffer>();
    auto wb = Ramp(1000, 5, 600);
    SaveBackup(BACKUP_RECORDING, *wb);
    SaveBackup(BACKUP_EFFECT, *wb);
    wb->recording = 1;
    wb->recordedCount = 900;
    wb->displayLength = 300;
    ResetWorkBuffer(*wb);
    const struct {
        const char* fault;
        bool kept;
    } rows[] = {
        {"samples not silenced", wb->samples != fresh->samples},
        {"length kept", wb->length != fresh->length},
        {"a backup kept", wb->backup != fresh->backup},
        {"a backup length kept", wb->backupLength != fresh->backupLength},
        {"recording left running", wb->recording != fresh->recording},
        {"recordedCount kept", wb->recordedCount != fresh->recordedCount},
        {"selection start kept", wb->selectionStart != fresh->selectionStart},
        {"selection end kept", wb->selectionEnd != fresh->selectionEnd},
        {"displayLength not back to its start", wb->displayLength != fresh->displayLength},
    };
    for (const auto& r : rows) EXPECT_FALSE(r.kept) << r.fault;
}

TEST(OutsideIndexes, DoNothing) {
    auto wb = Ramp(100, 0, 100);
    auto table = std::make_unique<voice::PhonTable>();
    for (int index : {-1, 2, 42, 100000}) {
        SaveBackup(index, *wb);
        RestoreBackup(index, *wb);
        EXPECT_EQ(SelectionToPhon(index, *wb, *table), index == 2 ? 100 : 0);
        PhonToWorkBuffer(index, *wb, *table);
    }
    EXPECT_EQ(wb->length, 100);
    EXPECT_EQ(wb->backupLength[0] + wb->backupLength[1], 0);
}

TEST(PhonTransfer, CopiesBothWays) {
    auto table = std::make_unique<voice::PhonTable>();
    voice::PhonSlot& slot = table->slots[3];
    auto wb = Ramp(30000, 100, 20100);
    EXPECT_EQ(SelectionToPhon(3, *wb, *table), 10000) << "selection not cut to 10000";
    EXPECT_EQ(slot.count, 10000);
    EXPECT_EQ(slot.samples[9999], 10099);

    auto empty = Ramp(100, 150, 300);
    PhonToWorkBuffer(0, *empty, *table);  // empty clip: buffer kept, selection still clamped
    EXPECT_EQ(empty->length, 100);
    EXPECT_EQ(empty->selectionStart, 99);
    EXPECT_EQ(SelectionToPhon(3, *Ramp(100, 50, 50), *table), 0);
    EXPECT_EQ(slot.count, 10000) << "empty selection changed the clip";

    slot.count = 3;
    PhonToWorkBuffer(3, *empty, *table);
    EXPECT_EQ(empty->length, 3);
    EXPECT_EQ(empty->samples[2], 102);
    EXPECT_EQ(empty->selectionStart, 0);
    EXPECT_EQ(empty->selectionEnd, 3);
}

TEST(PlaySelection, QueuesUntilMinimum) {
    struct Row {
        const char* fault;
        int32_t selection;
        int32_t minimum;
        int32_t wantClips;
    };
    const Row rows[] = {
        {"minimum 0 must play once", 3000, 0, 1},
        {"one second of a short selection", 3000, 11000, 4},
        {"minimum not capped at 11000", 3000, 50000, 4},
        {"long selection repeated", 11000, 11000, 1},
        {"exact multiple queued once too often", 2750, 11000, 4},
        {"last partial copy missing", 2749, 11000, 5},
        {"negative minimum must play once", 3000, -5, 1},
        {"empty selection queued", 0, 11000, 0},
    };
    mixer::Mixer mixer;
    mixer::MixerChannel& channel = mixer.channels[mixer::SPEECH_CHANNEL];
    for (const Row& r : rows) {
        mixer::ClearChannel(channel);
        auto wb = Ramp(20000, 1000, 1000 + r.selection);
        PlaySelection(r.minimum, *wb, mixer);
        EXPECT_EQ(channel.clipCount, r.wantClips) << r.fault;
        EXPECT_EQ(channel.queuedSamples, r.wantClips * r.selection) << r.fault;
        if (channel.head != nullptr) {
            EXPECT_EQ(channel.head->userValue, 1);
            EXPECT_STREQ(channel.head->tag, "noOne");
            EXPECT_EQ(channel.head->Samples()[0], 1000);
        }
    }
}

TEST(TrimToSelection, KeepsSelectionSelectedWhole) {
    auto wb = Ramp(5000, 1000, 3000);
    TrimToSelection(*wb);
    EXPECT_EQ(wb->length, 2000);
    EXPECT_EQ(wb->samples[0], 1000);
    EXPECT_EQ(wb->samples[1999], 2999);
    EXPECT_EQ(wb->selectionStart, 0);
    EXPECT_EQ(wb->selectionEnd, 2000);

    auto empty = Ramp(5000, 70, 70);
    TrimToSelection(*empty);
    EXPECT_EQ(empty->length, 5000);
}

TEST(SetSelectionFromView, MapsClicksOntoDisplayedSamples) {
    struct Row {
        const char* fault;
        bool isStart;
        int32_t x, width, displayLength, start, end;
        int32_t wantStart, wantEnd;
    };
    const Row rows[] = {
        {"start click mapped wrongly", true, 150, 300, 8000, 0, 9000, 4000, 9000},
        {"end before new start not run to display end", true, 150, 300, 8000, 0, 3000, 4000, 8000},
        {"end click mapped wrongly", false, 30, 300, 8000, 100, 5000, 100, 800},
        {"start after new end not reset", false, 30, 300, 8000, 4000, 5000, 0, 800},
        {"division not truncated", true, 1, 3, 2, 0, 10, 0, 10},
        {"empty drawing must map to 0", true, 299, 300, 0, 5, 9, 0, 9},
        {"product of wide view overflows", true, 59999, 60000, 44000, 0, 44000, 43999, 44000},
    };
    for (const Row& r : rows) {
        auto wb = Ramp(8000, r.start, r.end);
        wb->displayLength = r.displayLength;
        SetSelectionFromView(r.isStart, r.x, r.width, *wb);
        SetSelectionFromView(r.isStart, r.x, 0, *wb);  // a view without width maps nothing
        EXPECT_EQ(wb->selectionStart, r.wantStart) << r.fault;
        EXPECT_EQ(wb->selectionEnd, r.wantEnd) << r.fault;
    }
}

TEST(FormatDuration, Texts) {
    struct Row {
        int32_t count;
        const char* want;
    };
    const Row rows[] = {
        {0, "0"},
        {-7, "0"},
        {1, "1 (0.09 ms)"},
        {10000, "10000 (907.03 ms)"},
        {11025, "11025 (1000.00 ms)"},
        {43999, "43999 (3990.84 ms)"},
    };
    for (const Row& r : rows) EXPECT_EQ(FormatDuration(r.count), r.want) << r.count;
}

TEST(FormatSelectionInfo, TextsAndClamping) {
    auto wb = Ramp(100, 150, 300);
    EXPECT_EQ(FormatSelectionInfo(*wb), "1 (0.09 ms)");
    EXPECT_EQ(wb->selectionStart, 99) << "showing the text must store the clamped selection";

    wb->selectionStart = 40;
    wb->selectionEnd = 20;
    EXPECT_EQ(FormatSelectionInfo(*wb), "No selection");

    wb->selectionEnd = 90;
    wb->recording = 1;
    EXPECT_EQ(FormatSelectionInfo(*wb), "Recording..");
}

}  // namespace
}  // namespace vocalith::workbuf
