#include "app/main_dialog.h"

#include "app/status_text.h"
#include "base/program_folder.h"
#include "base/user_errors.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "translate/translate.h"
#include "voice/clip_wav.h"
#include "voice/phon_table.h"
#include "voice/phoneme_inventory.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "wave/wav_writer.h"
#include "workbuf/canvas.h"
#include "workbuf/waveform_view.h"
#include "workbuf/work_buffer.h"

namespace vocalith::app {

namespace {

// The status after a take that clipped, with the gain to try instead.
StatusNote ClippedTakeNotice(int32_t clipped, int gain) {
    int lower = 0;
    for (const int choice : INPUT_GAIN_CHOICES)
        if (choice < gain) lower = choice;
    char text[240];
    char brief[120];
    if (lower > 0) {
        std::snprintf(text, sizeof text,
                      "Recording complete, but it clipped (%d samples at full scale).  Try a "
                      "lower input gain (x%d, now x%d) in Audio Devices and record again.",
                      clipped, lower, gain);
        std::snprintf(brief, sizeof brief,
                      "The take clipped: try a lower input gain (x%d, now x%d).", lower, gain);
    } else {
        std::snprintf(text, sizeof text,
                      "Recording complete, but it clipped (%d samples at full scale).  Turn the "
                      "microphone down in the system's sound settings and record again.",
                      clipped);
        std::snprintf(brief, sizeof brief,
                      "The take clipped: turn the microphone down in the sound settings.");
    }
    return StatusNote(text, brief);
}

// How long a recording waits in silence before the status line says so.
constexpr uint32_t NO_SPEECH_NOTICE_MS = 3000;

std::string Format(const char* pattern, const std::string& value) {
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += value;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

bool ValidCode(intptr_t code) {
    return code >= 0 && code < voice::PHONEME_COUNT;
}

// FNV-1a over every clip's count and samples: enough to tell whether the
// clips changed since they were loaded or saved.
uint64_t ClipsDigest(const voice::PhonTable& table) {
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint16_t v) {
        for (int shift : {0, 8}) {
            h ^= static_cast<uint8_t>(v >> shift);
            h *= 1099511628211ull;
        }
    };
    for (const voice::PhonSlot& slot : table.slots) {
        const int count = std::clamp(slot.count, 0, voice::PHON_MAX_SAMPLES);
        mix(static_cast<uint16_t>(count));
        for (int i = 0; i < count; ++i) {
            mix(static_cast<uint16_t>(slot.samples[static_cast<size_t>(i)]));
        }
    }
    return h;
}

}  // namespace

MainDialog::~MainDialog() {
    audio_.DestroySoundWindow();
}

std::string MainDialog::ReadText(int id, int maxCount) {
    std::string text = host_.GetText(id, maxCount);
    // The buffers behind these reads hold maxCount bytes with the terminator.
    if (maxCount > 0 && text.size() > static_cast<size_t>(maxCount - 1)) {
        text.resize(static_cast<size_t>(maxCount - 1));
    }
    // Text past an embedded NUL would never reach a C-string consumer.
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

void MainDialog::InvalidateView() {
    host_.InvalidateView(viewRect_);
}

void MainDialog::SetStatus(const std::string& text, const std::string& detail) {
    host_.SetText(IDC_STATUS, text);
    host_.SetToolTip(IDC_STATUS, detail);
    noSpeechHintShown_ = false;
}

void MainDialog::SetStatus(const StatusNote& note) {
    if (note.brief.empty() || host_.FitsStatusLine(note.text)) {
        SetStatus(note.text, note.detail);
    } else {
        SetStatus(note.brief, note.detail.empty() ? note.text : note.detail);
    }
}

void MainDialog::MarkVoiceClean(const std::string& name) {
    cleanDigest_ = ClipsDigest(session_.phonTable);
    cleanVoice_ = name;
}

bool MainDialog::MayClose() {
    if (ClipsDigest(session_.phonTable) == cleanDigest_) return true;
    return host_.AskYesNo("Discard the changes to the voice " + cleanVoice_ + "?", kConfirmTitle,
                          true);
}

bool MainDialog::Confirm(bool force, const std::string& question, bool defaultNo) {
    if (warningsOn_ == 0 && !force) return true;
    return host_.AskYesNo(question, kConfirmTitle, defaultNo);
}

void MainDialog::UpdateSelectionInfo() {
    std::string text = workbuf::FormatSelectionInfo(session_.workBuffer);
    if (text.size() > 999) text.resize(999);
    host_.SetText(IDC_SELECTION, text);
}

void MainDialog::RefreshPhonList() {
    host_.ListDeleteAll();
    const voice::PhonTable& table = session_.phonTable;
    for (int i = 0; i < voice::PHONEME_COUNT; ++i) {
        const voice::PhonemeEntry& row = voice::kInventory[static_cast<size_t>(i)];
        int index = host_.ListInsertItem(i, row.symbol);
        if (index == -1) continue;
        host_.ListSetItemData(index, i);
        host_.ListSetSubItemText(index, 1, row.hint);
        host_.ListSetSubItemText(
            index, 2, workbuf::FormatDuration(table.slots[static_cast<size_t>(i)].count));
    }
}

void MainDialog::RefreshEffectsList() {
    host_.ComboReset(IDC_EFFECTS);
    for (size_t i = 0; i < kEffectsMenu.size(); ++i) {
        int index = host_.ComboAddString(IDC_EFFECTS, kEffectsMenu[i].text);
        if (index != -1) host_.ComboSetItemData(IDC_EFFECTS, index, static_cast<intptr_t>(i));
    }
    host_.ComboSetCurSel(IDC_EFFECTS, 0);
}

void MainDialog::RefreshVoiceList() {
    host_.ComboReset(IDC_VOICE);
    std::vector<std::string> names = voice::ListVoiceNames(session_.engine.programFolder);
    for (size_t i = 0; i < names.size(); ++i) {
        int index = host_.ComboAddString(IDC_VOICE, names[i]);
        if (index != -1) host_.ComboSetItemData(IDC_VOICE, index, static_cast<intptr_t>(i));
    }
}

// ---- lifecycle ----

int MainDialog::OnCreate() {
    warningsOn_ = 1;
    firstLoad_ = 1;
    audio_.ResetEffectNames();
    voice::ResetSoundTables(session_.engine.mixer, session_.phonTable);
    // Without a sound window no device is opened and the window runs silent.
    if (audio_.CreateSoundWindow()) audio_.StartDevices();
    return 0;
}

bool MainDialog::OnInitDialog() {
    host_.ListInsertColumn(0, "Phon", 40);
    host_.ListInsertColumn(1, "Hint", 60);
    host_.ListInsertColumn(2, "Size (Dur.)", 105);
    if (audio_.MonitorEnabled()) host_.SetChecked(IDC_MONITOR, true);
    if (warningsOn_ != 0) host_.SetChecked(IDC_WARNINGS, true);
    RefreshVoiceList();
    RefreshEffectsList();
    host_.SetText(IDC_VOICE, kDefaultVoiceName);
    OnLoad();
    // Whether or not the default voice was there, nothing is changed yet.
    MarkVoiceClean(kDefaultVoiceName);
    timerPeriod_ = PUMP_TIMER_MS;
    timerId_ = host_.SetTimer(PUMP_TIMER_ID, timerPeriod_);
    audio_.PlayEffectByName(kStartupSound, 1);
    return true;
}

void MainDialog::OnTimer(unsigned /*id*/) {
    audio_.Pump();
    // The pump runs every 10 ms while it has work and seldom while idle.
    const int period = audio_.PumpBusy() || session_.workBuffer.recording != 0 ? PUMP_TIMER_MS
                                                                               : IDLE_PUMP_TIMER_MS;
    if (period != timerPeriod_ && timerId_ != 0) {
        timerPeriod_ = period;
        timerId_ = host_.SetTimer(PUMP_TIMER_ID, period);
    }
    if (const StatusNote notice = audio_.TakeNotice(); !notice.text.empty()) SetStatus(notice);
    if (recorderOpen_) return;
    workbuf::WorkBuffer& wb = session_.workBuffer;
    const int32_t peak = audio_.TakeInputPeak();
    if (wb.recording != 0) {
        if (wasRecording_ == 0) {
            waitStartTick_ = lastLevelReportTick_ = session_.engine.Clock().Now();
            levelPeak_ = secondPeak_ = 0;
        }
        wasRecording_ = 1;
        if (wb.recordedCount == 0) {
            WatchInputLevel(peak);
        } else if (noSpeechHintShown_) {
            // Speech has started: the hint no longer holds.
            SetStatus(kRecordingText);
        }
        InvalidateView();
        return;
    }
    if (wasRecording_ != 0) {
        // The first tick after a recording ended, by Rec or by a full buffer.
        wasRecording_ = 0;
        if (wb.recordedCount == 0) {
            // Stopped before any speech was heard: the buffer is as it was.
            SetStatus(kNothingRecordedText);
            InvalidateView();
            return;
        }
        int32_t clipped = 0;
        for (int32_t i = 0; i < wb.recordedCount && i < wb.length; ++i) {
            const int16_t v = wb.samples[static_cast<size_t>(i)];
            if (v == INT16_MAX || v == INT16_MIN) ++clipped;
        }
        if (clipped >= CLIPPED_TAKE_SAMPLES) {
            SetStatus(ClippedTakeNotice(clipped, audio_.InputGainFactor()));
        } else {
            SetStatus(kRecordingCompleteText);
        }
        InvalidateView();
        UpdateSelectionInfo();
        workbuf::SaveBackup(workbuf::BACKUP_RECORDING, wb);
        workbuf::SaveBackup(workbuf::BACKUP_EFFECT, wb);
    }
}

void MainDialog::WatchInputLevel(int32_t peak) {
    // The bar falls back slowly, so a short sound stays visible a moment.
    levelPeak_ = std::max(peak, levelPeak_ - levelPeak_ / 16);
    secondPeak_ = std::max(secondPeak_, peak);
    const uint32_t now = session_.engine.Clock().Now();
    if (now - waitStartTick_ < NO_SPEECH_NOTICE_MS || now - lastLevelReportTick_ < 1000) return;
    lastLevelReportTick_ = now;
    SetStatus(
        NoSpeechHint(workbuf::PeakDbfs(secondPeak_), workbuf::PeakDbfs(audio_.GateInputPeak())));
    secondPeak_ = 0;
    noSpeechHintShown_ = true;
}

void MainDialog::OnPaint(workbuf::Canvas& canvas) {
    viewRect_ = host_.WaveFrameRect();
    workbuf::Rect rect{viewRect_.left, viewRect_.top, viewRect_.right, viewRect_.bottom};
    workbuf::WorkBuffer& wb = session_.workBuffer;
    if (wb.recording != 0 && wb.recordedCount == 0) {
        workbuf::DrawInputLevel(canvas, rect, levelPeak_, audio_.GateInputPeak());
        return;
    }
    workbuf::DrawWaveform(canvas, rect, wb);
}

void MainDialog::OnClose() {
    if (MayClose()) host_.EndDialog(IDOK);
}

void MainDialog::OnCancel() {
    if (MayClose()) host_.EndDialog(IDCANCEL);
}

void MainDialog::OnDestroy() {
    host_.KillTimer(timerId_);
    timerId_ = 0;
    audio_.StopCapture();
    audio_.StopSpeechPlay();
    audio_.ShutdownAudio();
}

bool MainDialog::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0u) != static_cast<unsigned>(IDM_ABOUT)) return false;
    host_.ShowAbout();
    return true;
}

// ---- commands ----

void MainDialog::OnTts() {
    std::string text = ReadText(IDC_ENGLISH, ENGLISH_READ_COUNT);
    if (text.empty()) return;
    std::vector<char> out(TRANSLATE_BUFFER_BYTES, '\0');
    int32_t n = translate::TranslateText(text.c_str(), out.data(), TRANSLATE_CAPACITY,
                                         base::WriteUserErrors);
    if (n <= 0) return;
    host_.SetText(IDC_PHONETIC, std::string(out.data()));
    OnSpeak();
}

void MainDialog::OnSpeak() {
    std::string text = ReadText(IDC_PHONETIC, PHONETIC_READ_COUNT);
    if (!text.empty())
        voice::SpeakPhonetic(session_.engine.mixer, session_.phonTable, text.c_str());
    PumpAtBusyPace();
}

void MainDialog::PumpAtBusyPace() {
    // The idle timer could leave queued sound unseen for up to 100 ms: a
    // resting output would wake that much later, and the step that ends the
    // start delay could come late.
    if (timerId_ == 0 || timerPeriod_ == PUMP_TIMER_MS) return;
    timerPeriod_ = PUMP_TIMER_MS;
    timerId_ = host_.SetTimer(PUMP_TIMER_ID, timerPeriod_);
}

void MainDialog::OnPlay() {
    SetStatus(kPlayedText);
    workbuf::PlaySelection(0, session_.workBuffer, session_.engine.mixer);
    PumpAtBusyPace();
}

void MainDialog::OnRec() {
    workbuf::WorkBuffer& wb = session_.workBuffer;
    if (wb.recording == 0) {
        if (!Confirm(false, "Record new microphone data into Work Buffer?")) return;
        SetStatus(kRecordingText);
    }
    wb.recording = wb.recording == 0 ? 1 : 0;
    if (wb.recording != 0) wb.recordedCount = 0;
    InvalidateView();
    UpdateSelectionInfo();
}

bool MainDialog::VoicePathFor(const std::string& name, bool forSave, std::string& path) {
    std::string reason;
    switch (voice::CheckVoiceName(name, &reason)) {
        case voice::VoiceNameCheck::TooShort:
            return false;
        case voice::VoiceNameCheck::Refused:
            SetStatus(VoiceNameRefused(name, reason));
            return false;
        case voice::VoiceNameCheck::Ok:
            break;
    }
    const std::filesystem::path program = session_.engine.programFolder;
    std::filesystem::path file =
        forSave ? voice::SaveVoicePath(program, name) : voice::LoadVoicePath(program, name);
    if (voice::VoicePathTooLong(file)) {
        SetStatus(app::VoicePathTooLong(file, base::DataBesideProgram(program)));
        return false;
    }
    path = file.string();
    return true;
}

void MainDialog::OnLoad() {
    std::string name = ReadText(IDC_VOICE, VOICE_NAME_READ_COUNT);
    // The voices folder's path written as this system writes paths.
    std::string question = Format("Load the PHON table data from VOICES/%s.voc?", name);
    std::string path;
    // Loading over changed clips loses them: then Enter keeps them.
    const bool changed = ClipsDigest(session_.phonTable) != cleanDigest_;
    if (VoicePathFor(name, false, path) && (firstLoad_ != 0 || Confirm(false, question, changed))) {
        // A default voice that is simply not there at start-up is not worth
        // a word: the window starts with an empty PhonTable. One that is
        // there but cannot be read (an unreadable folder, a dangling link, a
        // link loop) is: the status line says why.
        std::error_code ec;
        const bool silentMiss =
            firstLoad_ != 0 && std::filesystem::symlink_status(path, ec).type() ==
                                   std::filesystem::file_type::not_found;
        if (!silentMiss) {
            voice::VoiceResult result = voice::LoadVoice(path, session_.phonTable);
            if (!result.ok()) {
                SetStatus(VoiceFileFailed("load", path, result.reason));
            } else {
                MarkVoiceClean(name);
                ++loads_;
                if (firstLoad_ == 0) SetStatus(kVoiceLoadedText);
            }
        }
        firstLoad_ = 0;
    }
    RefreshPhonList();
}

void MainDialog::SetRecorderOpen(bool open) {
    recorderOpen_ = open;
    // Whatever the recorder left in the work buffer is no take of the window.
    wasRecording_ = 0;
    noSpeechHintShown_ = false;
    InvalidateView();
}

void MainDialog::OnRecordedVoice(const std::string& name) {
    RefreshVoiceList();
    host_.SetText(IDC_VOICE, name);
    const uint64_t loadsBefore = loads_;
    OnLoad();
    if (loads_ == loadsBefore) host_.SetText(IDC_VOICE, cleanVoice_);
}

void MainDialog::OnSave() {
    std::string name = ReadText(IDC_VOICE, VOICE_NAME_READ_COUNT);
    std::string question = Format("Save the PHON table data into VOICES/%s.voc?", name);
    std::string path;
    if (!VoicePathFor(name, true, path)) return;
    if (!Confirm(false, question)) return;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::string overwrite =
            Format("Overwrite the existing copy of %s.voc in the VOICES folder?", name);
        if (!host_.AskYesNo(overwrite, kOverwriteTitle, true)) return;
    }
    // An installed program's user voices folder may not exist yet; a failure
    // here shows up as the save's own reason.
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    voice::VoiceResult result = voice::SaveVoice(path, session_.phonTable);
    if (result.ok()) {
        SetStatus(kVoiceSavedText);
        MarkVoiceClean(name);
    } else {
        SetStatus(VoiceFileFailed("save", path, result.reason));
    }
    // Refilling the list empties the combo's edit part: put the name back.
    RefreshVoiceList();
    host_.SetText(IDC_VOICE, name);
}

void MainDialog::OnTrim() {
    if (!Confirm(true, "Trim ALL BUT current selection out of work buffer?")) return;
    workbuf::WorkBuffer& wb = session_.workBuffer;
    if (workbuf::ClampSelection(wb) == 0) {
        SetStatus(NothingSelected("trimmed"));
        return;
    }
    workbuf::SaveBackup(workbuf::BACKUP_EFFECT, wb);
    workbuf::TrimToSelection(wb);
    InvalidateView();
    SetStatus(kTrimmedText);
    UpdateSelectionInfo();
}

void MainDialog::OnPhonToWork() {
    int item = host_.ListSelectedItem();
    if (item == -1) {
        SetStatus(kChoosePhonText);
        return;
    }
    if (!Confirm(false, "Overwrite the work buffer with the selected PHON data?")) return;
    intptr_t code = host_.ListGetItemData(item);
    workbuf::WorkBuffer& wb = session_.workBuffer;
    if (ValidCode(code)) workbuf::PhonToWorkBuffer(static_cast<int>(code), wb, session_.phonTable);
    InvalidateView();
    SetStatus(kPhonToWorkText);
    UpdateSelectionInfo();
    // After the copy, so that Undo Effect returns to the clip as loaded.
    workbuf::SaveBackup(workbuf::BACKUP_EFFECT, wb);
}

void MainDialog::OnSelectionToPhon() {
    int item = host_.ListSelectedItem();
    if (item == -1) {
        SetStatus(kChoosePhonText);
        return;
    }
    // Yes replaces the clip for good: with one there, Enter keeps it.
    const intptr_t target = host_.ListGetItemData(item);
    const bool holdsClip =
        ValidCode(target) && session_.phonTable.slots[static_cast<size_t>(target)].count > 0;
    if (!Confirm(false,
                 "Overwrite the selected PHON data with the current selection in the Work "
                 "Buffer?",
                 holdsClip)) {
        return;
    }
    const int32_t selected = workbuf::ClampSelection(session_.workBuffer);
    if (selected == 0) {
        SetStatus(NothingSelected("copied"));
        return;
    }
    intptr_t code = host_.ListGetItemData(item);
    if (!ValidCode(code)) return;
    workbuf::SelectionToPhon(static_cast<int>(code), session_.workBuffer, session_.phonTable);
    SetStatus(selected > voice::PHON_MAX_SAMPLES
                  ? SelectionToPhonCut(voice::PHON_MAX_SAMPLES, selected)
                  : StatusNote{kSelectionToPhonText});
    // The cell shows what the slot now holds: with an empty selection nothing
    // was copied and the slot keeps its clip, so "0" would be wrong there.
    int32_t count = session_.phonTable.slots[static_cast<size_t>(code)].count;
    host_.ListSetSubItemText(item, 2, workbuf::FormatDuration(count));
}

void MainDialog::OnPhonListClick() {
    int item = host_.ListSelectedItem();
    if (item == -1) return;
    intptr_t code = host_.ListGetItemData(item);
    if (ValidCode(code)) {
        voice::PlayPhon(session_.engine.mixer, session_.phonTable, static_cast<int>(code));
        PumpAtBusyPace();
    }
}

void MainDialog::OnButtonDown(bool isStart, int x, int y) {
    if (!viewRect_.Contains(x, y)) return;
    workbuf::SetSelectionFromView(isStart, x - viewRect_.left, viewRect_.right - viewRect_.left,
                                  session_.workBuffer);
    InvalidateView();
    SetStatus(isStart ? kStartClickText : kEndClickText);
    UpdateSelectionInfo();
}

void MainDialog::OnLButtonDown(int x, int y) {
    OnButtonDown(true, x, y);
}

void MainDialog::OnRButtonDown(int x, int y) {
    OnButtonDown(false, x, y);
}

void MainDialog::OnMonitor() {
    bool on = host_.IsChecked(IDC_MONITOR);
    audio_.SetMonitorEnabled(on);
    SetStatus(on ? kMonitorOnText : kMonitorOffText);
}

void MainDialog::OnWarnings() {
    bool on = host_.IsChecked(IDC_WARNINGS);
    warningsOn_ = on ? 1 : 0;
    SetStatus(on ? kWarningsOnText : kWarningsOffText);
}

void MainDialog::OnEffectChosen() {
    using workbuf::AskRule;
    int current = host_.ComboGetCurSel(IDC_EFFECTS);
    if (current != -1) {
        intptr_t item = host_.ComboGetItemData(IDC_EFFECTS, current);
        if (item >= 0 && static_cast<size_t>(item) < kEffectsMenu.size()) {
            const workbuf::EffectsMenuItem& entry = kEffectsMenu[static_cast<size_t>(item)];
            bool go = (entry.run != nullptr || entry.play != nullptr) &&
                      (entry.rule == AskRule::None ||
                       Confirm(entry.rule == AskRule::Forced, entry.question));
            if (go) {
                workbuf::WorkBuffer& wb = session_.workBuffer;
                // Taken before every effect: Undo Effect returns here, and
                // the pitch effects read their source from it.
                if (entry.isEffect) workbuf::SaveBackup(workbuf::BACKUP_EFFECT, wb);
                if (entry.run != nullptr) entry.run(wb);
                if (entry.play != nullptr) entry.play(wb, session_.engine.mixer);
                if (entry.status != nullptr) {
                    InvalidateView();
                    SetStatus(entry.status);
                    UpdateSelectionInfo();
                }
            }
        }
    }
    host_.ComboSetCurSel(IDC_EFFECTS, 0);
}

// ---- WAV files in and out ----

namespace {

constexpr const char* kWavFilter = "WAV files (*.wav *.WAV);;All files (*)";

// The file name alone, for short status texts.
std::string ShownName(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

}  // namespace

void MainDialog::OnImportWav() {
    workbuf::WorkBuffer& wb = session_.workBuffer;
    if (wb.recording != 0) {
        SetStatus(kStopRecordingText);
        return;
    }
    const std::string path = host_.ChooseOpenFile("Import WAV into Work Buffer",
                                                  base::HomeFolder().string(), kWavFilter);
    if (path.empty()) return;
    std::vector<int16_t> samples;
    bool cut = false;
    const base::Result read =
        voice::ReadSystemAudio(path, static_cast<size_t>(workbuf::RECORD_LIMIT), samples, cut);
    if (!read) {
        SetStatus(ImportFailed(ShownName(path), read.reason));
        return;
    }
    if (samples.empty()) {
        SetStatus(NothingImported(ShownName(path)));
        return;
    }
    // Undo Effect returns to the buffer as it was before the import.
    workbuf::SaveBackup(workbuf::BACKUP_EFFECT, wb);
    workbuf::ReplaceWorkBuffer(samples, wb);
    InvalidateView();
    SetStatus(Imported(ShownName(path), cut ? workbuf::FormatDuration(wb.length) : ""));
    UpdateSelectionInfo();
}

void MainDialog::OnExportSelectionWav() {
    workbuf::WorkBuffer& wb = session_.workBuffer;
    const int32_t n = workbuf::ClampSelection(wb);
    if (n == 0) {
        SetStatus(NothingSelected("exported"));
        return;
    }
    std::string path = host_.ChooseSaveFile(
        "Export Selection as WAV", (base::HomeFolder() / "selection.wav").string(), kWavFilter);
    if (path.empty()) return;
    if (!std::filesystem::path(path).has_extension()) path += ".wav";
    const base::Result written = wave::WriteWavFile(
        path,
        std::span<const int16_t>(wb.samples.data() + wb.selectionStart, static_cast<size_t>(n)));
    SetStatus(written ? SelectionExported(ShownName(path))
                      : ExportFailed("the selection", written.reason));
}

void MainDialog::OnExportVoiceWav() {
    const std::string folder =
        host_.ChooseFolder("Export Voice as WAV Files", base::HomeFolder().string());
    if (folder.empty()) return;
    if (voice::HasClipFiles(folder) &&
        !Confirm(true, "Replace the clip WAV files already in " + ShownName(folder) + "?", true)) {
        return;
    }
    const base::Result written = voice::ExportVoiceClips(session_.phonTable, folder);
    SetStatus(written ? VoiceExported(voice::PHONEME_COUNT, ShownName(folder))
                      : ExportFailed("the voice", written.reason));
}

}  // namespace vocalith::app
