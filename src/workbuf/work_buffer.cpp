#include "workbuf/work_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "mixer/mixer.h"
#include "voice/phon_table.h"

namespace vocalith::workbuf {

namespace {

constexpr int32_t PHON_MAX = voice::PHON_MAX_SAMPLES;

// The number of samples a copy of `count` may touch without leaving the
// 44000-sample arrays. Every public operation keeps counts inside 0..43999,
// so this changes nothing in normal use; it only keeps a damaged record (a
// field written directly by a caller) from turning into a wild copy.
int32_t Bounded(int32_t count) {
    return std::clamp<int32_t>(count, 0, WORK_CAPACITY);
}

bool ValidBackup(int index) {
    return index == BACKUP_RECORDING || index == BACKUP_EFFECT;
}

bool ValidCode(int code) {
    return code >= 0 && code < voice::PHONEME_COUNT;
}

}  // namespace

void ResetWorkBuffer(WorkBuffer& wb) {
    // Rebuilt in place from the member initialisers, so the state is exactly
    // the one the program starts with; a temporary of three 44000-sample
    // arrays would not belong on the stack.
    std::destroy_at(&wb);
    std::construct_at(&wb);
}

void SaveBackup(int index, WorkBuffer& wb) {
    if (!ValidBackup(index)) return;
    const int32_t n = Bounded(wb.length);
    std::copy_n(wb.samples.begin(), n, wb.backup[index].begin());
    wb.backupLength[index] = n;
}

void RestoreBackup(int index, WorkBuffer& wb) {
    if (!ValidBackup(index)) return;
    const int32_t n = Bounded(wb.backupLength[index]);
    std::copy_n(wb.backup[index].begin(), n, wb.samples.begin());
    wb.length = n;
    wb.selectionEnd = n;
    wb.selectionStart = 0;
}

int32_t ClampSelection(WorkBuffer& wb) {
    const int32_t length = wb.length;
    int32_t start = wb.selectionStart;
    int32_t end = wb.selectionEnd;
    if (start < 0) start = 0;
    // A start equal to the length is an empty selection at the end and stays;
    // one beyond it moves onto the last sample.
    if (start > length) start = std::max<int32_t>(length - 1, 0);
    if (end > length) end = length;
    if (end <= start) end = start;
    wb.selectionStart = start;
    wb.selectionEnd = end;
    return end - start;
}

int32_t SelectionToPhon(int code, WorkBuffer& wb, voice::PhonTable& table) {
    if (!ValidCode(code)) return 0;
    int32_t n = ClampSelection(wb);
    if (n >= PHON_MAX) n = PHON_MAX;
    if (n == 0) return 0;
    // A damaged length could leave the clamped range past the array's end.
    if (wb.selectionStart + n > WORK_CAPACITY) return 0;
    voice::PhonSlot& slot = table.slots[code];
    std::copy_n(wb.samples.begin() + wb.selectionStart, n, slot.samples.begin());
    slot.count = n;
    return n;
}

void PhonToWorkBuffer(int code, WorkBuffer& wb, const voice::PhonTable& table) {
    if (!ValidCode(code)) return;
    ClampSelection(wb);
    const voice::PhonSlot& slot = table.slots[code];
    const int32_t count = std::min(slot.count, PHON_MAX);
    if (count <= 0) return;
    std::copy_n(slot.samples.begin(), count, wb.samples.begin());
    wb.length = count;
    wb.selectionEnd = count;
    wb.selectionStart = 0;
}

void AppendRecording(const int16_t* source, int32_t n, WorkBuffer& wb) {
    if (wb.recording == 0) return;
    if (source == nullptr || n < 0) n = 0;
    const int32_t a = wb.recordedCount;
    if (a < 0 || a > RECORD_LIMIT) {
        // Not a count any recording can reach: stop rather than write outside the buffer.
        wb.recording = 0;
        return;
    }
    if (a == 0) {
        wb.samples.fill(0);
        wb.selectionEnd = WORK_CAPACITY;
        wb.selectionStart = 0;
    }
    // A recording keeps at most 43999 samples: the block that would reach the
    // capacity is cut and ends the recording.
    if (static_cast<int64_t>(a) + n >= WORK_CAPACITY) {
        wb.recording = 0;
        n = RECORD_LIMIT - a;
    }
    if (n > 0) std::copy_n(source, n, wb.samples.begin() + a);
    wb.recordedCount = a + n;
    wb.length = a + n;
}

void PlaySelection(int32_t minimum, WorkBuffer& wb, mixer::Mixer& mixer) {
    const int32_t n = ClampSelection(wb);
    if (minimum >= MIN_PLAY_CAP) minimum = MIN_PLAY_CAP;
    if (n == 0) return;
    if (wb.selectionStart + n > WORK_CAPACITY) return;
    const int16_t* first = wb.samples.data() + wb.selectionStart;
    // The total only grows, so the loop ends after at most ceil(11000 / n) clips.
    int32_t total = 0;
    do {
        mixer::QueueClip(mixer, mixer::SPEECH_CHANNEL, 1, "noOne", first, n);
        total += n;
    } while (minimum != 0 && total < minimum);
}

void TrimToSelection(WorkBuffer& wb) {
    const int32_t n = ClampSelection(wb);
    if (n == 0) return;
    if (wb.selectionStart + n > WORK_CAPACITY) return;
    // The ranges may overlap; the destination never lies after the source.
    std::memmove(wb.samples.data(), wb.samples.data() + wb.selectionStart,
                 static_cast<size_t>(n) * sizeof(int16_t));
    wb.length = n;
    wb.selectionEnd = n;
    wb.selectionStart = 0;
}

void ReplaceWorkBuffer(std::span<const int16_t> samples, WorkBuffer& wb) {
    const size_t n = std::min(samples.size(), static_cast<size_t>(RECORD_LIMIT));
    std::copy_n(samples.begin(), n, wb.samples.begin());
    std::fill(wb.samples.begin() + static_cast<std::ptrdiff_t>(n), wb.samples.end(), int16_t{0});
    wb.length = static_cast<int32_t>(n);
    wb.selectionStart = 0;
    wb.selectionEnd = wb.length;
}

void SetSelectionFromView(bool isStart, int32_t x, int32_t width, WorkBuffer& wb) {
    if (width <= 0) return;
    // x * displayLength is formed in 64 bits: for a click inside the view
    // (0 <= x < width) the quotient lies between 0 and displayLength and so fits
    // 32 bits exactly as before; positions far outside the view saturate
    // instead of overflowing.
    const int64_t wide = static_cast<int64_t>(x) * wb.displayLength / width;
    const int32_t v = static_cast<int32_t>(std::clamp<int64_t>(
        wide, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    if (isStart) {
        wb.selectionStart = v;
        if (wb.selectionEnd < v) wb.selectionEnd = wb.displayLength;
    } else {
        wb.selectionEnd = v;
        if (v < wb.selectionStart) wb.selectionStart = 0;
    }
}

namespace {

std::string DurationText(int32_t count) {
    // The seconds per sample is applied first, then the scale to milliseconds,
    // so the rounding of the printed value stays the same everywhere.
    const double ms = (static_cast<double>(count) * 9.070294784580499e-05) * 1000.0;
    char text[48];
    std::snprintf(text, sizeof text, "%d (%1.2f ms)", static_cast<int>(count), ms);
    return text;
}

}  // namespace

std::string FormatDuration(int32_t count) {
    if (count <= 0) return "0";
    return DurationText(count);
}

std::string FormatSelectionInfo(WorkBuffer& wb) {
    if (wb.recording != 0) return "Recording..";
    const int32_t n = ClampSelection(wb);
    if (n == 0) return "No selection";
    return DurationText(n);
}

}  // namespace vocalith::workbuf
