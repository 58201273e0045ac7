#pragma once
// The work buffer: the one recording and editing buffer, with its selection
// and two backups (one level of undo).
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "mixer/mixer.h"
#include "voice/phon_table.h"

namespace vocalith::workbuf {

inline constexpr int32_t WORK_CAPACITY = 44000;  // samples in the buffer and in each backup
inline constexpr int32_t RECORD_LIMIT = 43999;   // the most samples a recording keeps
inline constexpr int32_t MIN_PLAY_CAP = 11000;   // PlaySelection's minimum is capped here
inline constexpr int BACKUP_RECORDING = 0;
inline constexpr int BACKUP_EFFECT = 1;

struct WorkBuffer {
    std::array<int16_t, WORK_CAPACITY> samples{};
    int32_t length = 0;  // valid samples at the start of samples, 0..RECORD_LIMIT
    std::array<std::array<int16_t, WORK_CAPACITY>, 2> backup{};
    std::array<int32_t, 2> backupLength{};
    int32_t recording = 0;       // 1 while a recording runs
    int32_t recordedCount = 0;   // samples appended by the running (or last) recording
    int32_t selectionStart = 0;  // may stray outside the buffer until ClampSelection
    int32_t selectionEnd = 0;    // one past the last selected sample
    int32_t displayLength = 1;   // samples the last waveform drawing spread over its width
};

// Returns the buffer to its start-up state: empty, silent, nothing selected,
// no recording, both backups empty.
void ResetWorkBuffer(WorkBuffer& wb);

void SaveBackup(int index, WorkBuffer& wb);
void RestoreBackup(int index, WorkBuffer& wb);
// Brings the selection inside the buffer (stored); returns its length.
int32_t ClampSelection(WorkBuffer& wb);
// Copies the selection (at most 10000 samples) into PhonSlot `code` of
// `table`; returns the samples copied.
int32_t SelectionToPhon(int code, WorkBuffer& wb, voice::PhonTable& table);
void PhonToWorkBuffer(int code, WorkBuffer& wb, const voice::PhonTable& table);
// Adds captured samples to the running recording (dropped when none runs).
void AppendRecording(const int16_t* source, int32_t n, WorkBuffer& wb);
// Queues the selection on the speech channel of `mixer`, repeated until
// `minimum` samples (capped at 11000) are queued.
void PlaySelection(int32_t minimum, WorkBuffer& wb, mixer::Mixer& mixer);
void TrimToSelection(WorkBuffer& wb);
// Replaces the buffer with `samples` (at most RECORD_LIMIT are taken; the
// rest of the buffer is cleared) and selects it whole. The backups are
// left alone.
void ReplaceWorkBuffer(std::span<const int16_t> samples, WorkBuffer& wb);
void SetSelectionFromView(bool isStart, int32_t x, int32_t width, WorkBuffer& wb);
// "0" or "%d (%1.2f ms)".
std::string FormatDuration(int32_t count);
// "Recording..", "No selection" or FormatDuration's text of the clamped selection.
std::string FormatSelectionInfo(WorkBuffer& wb);

// Runs the effect on line `number` of the effects menu (effects_menu.h);
// any other line or number does nothing.
void ApplyEffect(int number, WorkBuffer& wb);
void ClampSample(double& value);
double InterpolateSample(const int16_t* source, int32_t i, int32_t n, int32_t sourceLength);

}  // namespace vocalith::workbuf
