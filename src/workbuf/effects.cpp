// The effects menu's operations: the five effects that change the whole work
// buffer in place, and the lines that restore a backup or play.
#include <algorithm>
#include <cstring>

#include "workbuf/effects_menu.h"
#include "workbuf/work_buffer.h"

namespace vocalith::workbuf {

namespace {

constexpr double SAMPLE_LIMIT = 32000.0;      // effects keep results inside +-32000
constexpr int32_t DUPLICATE_TARGET = 11000;   // about one second
constexpr int32_t DUPLICATE_MIN_LENGTH = 11;  // shorter buffers are left alone

// An effect's result as a stored sample: limited, then truncated toward zero.
int16_t ToSample(double value) {
    ClampSample(value);
    return static_cast<int16_t>(value);
}

// Loop bound for the samples present; see Bounded() in work_buffer.cpp.
int32_t PresentLength(const WorkBuffer& wb) {
    return std::clamp<int32_t>(wb.length, 0, RECORD_LIMIT);
}

void Scale(WorkBuffer& wb, double factor) {
    const int32_t length = PresentLength(wb);
    for (int32_t i = 0; i < length; ++i) wb.samples[i] = ToSample(wb.samples[i] * factor);
}

// Writes n samples resampled from backup 1 (the buffer as it was before the
// effect) and makes them the buffer.
void Resample(WorkBuffer& wb, int32_t n) {
    // InterpolateSample reads the source up to position L, one past the copied
    // samples; a source length of at most 43999 keeps that read inside the
    // 44000 positions of the backup. SaveBackup never stores more, so the
    // bound only matters for a record damaged from outside. With L == 0 (no
    // backup taken) every output reads position 0 and 1, which stay in range.
    const int32_t sourceLength =
        std::clamp<int32_t>(wb.backupLength[BACKUP_EFFECT], 0, RECORD_LIMIT);
    const int16_t* source = wb.backup[BACKUP_EFFECT].data();
    for (int32_t i = 0; i < n; ++i) {
        wb.samples[i] = ToSample(InterpolateSample(source, i, n, sourceLength));
    }
    wb.length = n;
}

}  // namespace

void ClampSample(double& value) {
    if (value > SAMPLE_LIMIT) value = SAMPLE_LIMIT;
    if (value < -SAMPLE_LIMIT) value = -SAMPLE_LIMIT;
}

double InterpolateSample(const int16_t* source, int32_t i, int32_t n, int32_t sourceLength) {
    // Outside 0 <= i < n the position would leave the source; give silence.
    if (source == nullptr || n <= 0 || i < 0 || i >= n || sourceLength < 0) return 0.0;
    // i * L is exact in 64 bits (and as a double); only the quotient rounds.
    const double x = static_cast<double>(static_cast<int64_t>(i) * sourceLength) / n;
    const int32_t k = static_cast<int32_t>(x);
    const double f = x - k;
    // source[k + 1] is read even when f is 0: for k == L - 1 that is the
    // position just past the copied samples, which the caller's array holds.
    return source[k] + f * (source[k + 1] - source[k]);
}

void Attenuate(WorkBuffer& wb) {
    Scale(wb, 0.7);
}

void Amplify(WorkBuffer& wb) {
    Scale(wb, 1.7);  // not 1 / 0.7: attenuate then amplify does not restore
}

void RaisePitch(WorkBuffer& wb) {
    Resample(wb, PresentLength(wb) * 90 / 100);
}

void LowerPitch(WorkBuffer& wb) {
    Resample(wb, std::min<int32_t>(PresentLength(wb) * 111 / 100, RECORD_LIMIT));
}

void DuplicateSamples(WorkBuffer& wb) {
    const int32_t length = wb.length;
    if (length < DUPLICATE_MIN_LENGTH) return;
    int32_t newLength = std::min(length, RECORD_LIMIT);
    // Whole copies of the first `length` samples until at least 11000; the
    // largest result is 2 * 10999 = 21998, well inside the buffer.
    if (length < DUPLICATE_TARGET) {
        while (newLength < DUPLICATE_TARGET) {
            std::memcpy(wb.samples.data() + newLength, wb.samples.data(),
                        static_cast<size_t>(length) * sizeof(int16_t));
            newLength += length;
        }
        wb.length = newLength;
    }
    wb.selectionStart = 0;
    wb.selectionEnd = newLength;
}

void ReloadRecording(WorkBuffer& wb) {
    RestoreBackup(BACKUP_RECORDING, wb);
}

void UndoEffect(WorkBuffer& wb) {
    RestoreBackup(BACKUP_EFFECT, wb);
}

void PlaySelectionForASecond(WorkBuffer& wb, mixer::Mixer& mixer) {
    PlaySelection(MIN_PLAY_CAP, wb, mixer);
}

void ApplyEffect(int number, WorkBuffer& wb) {
    if (number < 0 || static_cast<size_t>(number) >= kEffectsMenu.size()) return;
    const EffectsMenuItem& item = kEffectsMenu[static_cast<size_t>(number)];
    if (item.isEffect) item.run(wb);
}

}  // namespace vocalith::workbuf
