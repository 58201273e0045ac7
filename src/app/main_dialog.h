#pragma once
// MainDialog: the main window's logic without any toolkit. It owns the
// window's state and lifecycle (create, initialise, the 10 ms pump timer,
// paint, close, destroy) and every command with its question, its
// confirmation rule and its status text. It reaches its window only through
// DialogHost and the audio engine only through DialogAudio; the translator,
// the voice files, and the session's PhonTable and work buffer are called
// directly.
#include <cstdint>
#include <string>

#include "app/dialog_audio.h"
#include "app/dialog_host.h"
#include "app/dialog_template.h"
#include "app/status_text.h"
#include "session/session.h"
#include "workbuf/effects_menu.h"

namespace vocalith::workbuf {
class Canvas;
}

namespace vocalith::app {

inline constexpr const char* kConfirmTitle = "Are You Sure?";
inline constexpr const char* kOverwriteTitle = "Overwrite Voice File?";
inline constexpr const char* kDefaultVoiceName = "Voxa";
inline constexpr const char* kStartupSound = "arrow.wav";

// Text limits: each read returns at most one character less than its count.
inline constexpr int ENGLISH_READ_COUNT = 900;
inline constexpr int TRANSLATE_CAPACITY = 1900;
inline constexpr int TRANSLATE_BUFFER_BYTES = 2000;
inline constexpr int PHONETIC_READ_COUNT = 1900;
inline constexpr int VOICE_NAME_READ_COUNT = 99;

// The context menu's WAV commands, in the order the menu shows them.
inline constexpr const char* kImportWavItemText = "Import WAV into Work Buffer...";
inline constexpr const char* kExportSelectionItemText = "Export Selection as WAV...";
inline constexpr const char* kExportVoiceItemText = "Export Voice as WAV Files...";

// The effects menu the dialog shows and runs (its table lives with the
// work buffer's effects).
using workbuf::kEffectsMenu;

class MainDialog {
  public:
    // `session` holds the PhonTable, the work buffer and the engine whose
    // mixer and clock the commands use; it must outlive the dialog.
    MainDialog(DialogHost& host, DialogAudio& audio, session::Session& session)
        : host_(host), audio_(audio), session_(session) {}
    // Destroys the sound window, which shuts the audio down once more.
    ~MainDialog();
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Lifecycle, in the order the window sees it.
    int OnCreate();       // the window exists, its controls do not yet; 0 = go on
    bool OnInitDialog();  // the controls exist
    void OnTimer(unsigned id);
    void OnPaint(workbuf::Canvas& canvas);
    void OnClose();
    void OnCancel();
    void OnDestroy();
    // A system command; (id & 0xFFF0) == IDM_ABOUT opens the About box.
    bool OnSysCommand(unsigned id);

    // Commands.
    void OnTts();  // also the Enter key
    void OnSpeak();
    void OnPlay();
    void OnRec();
    void OnLoad();
    void OnSave();
    void OnTrim();
    void OnPhonToWork();
    void OnSelectionToPhon();
    void OnPhonListClick();
    void OnLButtonDown(int x, int y);
    void OnRButtonDown(int x, int y);
    void OnMonitor();
    void OnWarnings();
    void OnEffectChosen();
    // WAV files in and out (the context menu): a WAV file into the work
    // buffer, the selection into a WAV file, every clip into a folder.
    void OnImportWav();
    void OnExportSelectionWav();
    void OnExportVoiceWav();
    // While the guided recorder is open it records through the work buffer:
    // the pump runs on, but the window says nothing of those takes.
    void SetRecorderOpen(bool open);
    // The recorder closed having saved the voice `name`: the voice box shows
    // it and Load asks to load it. Declined, the box goes back to the voice
    // the clips are from, so Save cannot write them under the new name.
    void OnRecordedVoice(const std::string& name);

    // Dialog operations used by the commands. `detail`, when given, is the
    // status field's tooltip (the full reason behind a short failure text).
    void SetStatus(const std::string& text, const std::string& detail = {});
    // The note's text where it fits the status line, else its brief form.
    void SetStatus(const StatusNote& note);
    // Asks `question` under the confirmation rule; true for Yes (or not
    // asked). `defaultNo`: Enter answers No, as Yes would throw work away.
    bool Confirm(bool force, const std::string& question, bool defaultNo = false);
    void UpdateSelectionInfo();
    void RefreshPhonList();
    void RefreshEffectsList();
    void RefreshVoiceList();

    bool WarningsOn() const { return warningsOn_ != 0; }
    bool FirstLoad() const { return firstLoad_ != 0; }
    const ViewRect& View() const { return viewRect_; }
    unsigned TimerId() const { return timerId_; }
    bool WasRecording() const { return wasRecording_ != 0; }
    // True when the window may close: the PHON clips are as last loaded or
    // saved, or the user agreed to discard the changes. Asked whatever the
    // Warnings box says, as it guards against losing work.
    bool MayClose();

  private:
    // Sound was queued: the pump timer runs at its 10 ms pace from now on.
    void PumpAtBusyPace();
    std::string ReadText(int id, int maxCount);
    void InvalidateView();
    void OnButtonDown(bool isStart, int x, int y);
    // Checks the voice name and builds the path of the file Load reads or,
    // with forSave, the one Save writes. False when the name is too short
    // (nothing said) or cannot be used (said in the status line).
    bool VoicePathFor(const std::string& name, bool forSave, std::string& path);

    DialogHost& host_;
    DialogAudio& audio_;
    session::Session& session_;
    unsigned timerId_ = 0;  // the pump timer; 0 once the window is destroyed
    int timerPeriod_ = 0;   // its period in ms
    ViewRect viewRect_{};   // the wave frame at the latest paint; empty before it
    int warningsOn_ = 0;    // 1: ordinary questions are asked
    // Shows the input level while a recording waits for speech, and after a
    // few seconds says in the status line how far the input is from the gate.
    void WatchInputLevel(int32_t peak);

    // Marks the PHON clips as matching the voice `name` on disk.
    void MarkVoiceClean(const std::string& name);

    int firstLoad_ = 0;  // 1: the next Load asks nothing and says nothing
    // A digest of the PHON clips as last loaded or saved, and that voice's name.
    uint64_t cleanDigest_ = 0;
    std::string cleanVoice_;
    int wasRecording_ = 0;  // set by ticks while recording, cleared by the completion step
    // While a recording waits for speech: the input's peak shown (decaying),
    // the loudest peak of the current second, and when the wait began and
    // was last reported.
    int32_t levelPeak_ = 0;
    int32_t secondPeak_ = 0;
    uint32_t waitStartTick_ = 0;
    uint32_t lastLevelReportTick_ = 0;
    bool noSpeechHintShown_ = false;  // the status line says no speech was heard yet
    bool recorderOpen_ = false;       // the guided recorder owns the work buffer's takes
    uint64_t loads_ = 0;              // voices loaded so far
};

}  // namespace vocalith::app
