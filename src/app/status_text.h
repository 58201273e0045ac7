#pragma once
// Every text the status line shows. The fixed sentences of the commands are
// kept word for word; where one is too long for a narrow font the field
// wraps it. The program's other texts name files, devices and reasons of
// any length, so each also has a brief form that fits the field on one
// line whatever it names; the field shows the whole text where it fits and
// the brief one otherwise, with the whole text as its tooltip.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

namespace vocalith::app {

// A status line text.
struct StatusNote {
    StatusNote() = default;
    StatusNote(std::string whole, std::string shorter = {}, std::string tooltip = {})
        : text(std::move(whole)), brief(std::move(shorter)), detail(std::move(tooltip)) {}
    std::string text;    // shown where it fits the field on one line
    std::string brief;   // shown otherwise; empty: `text` is shown, wrapped
    std::string detail;  // the tooltip, if given; else `text` when `brief` shows
    bool operator==(const StatusNote&) const = default;
};

// The commands' own sentences.
inline constexpr const char* kPlayedText =
    "Played selected data in work buffer.  Use >> to copy selection to current PHON.";
inline constexpr const char* kRecordingText =
    "Recording.. push REC again to stop sooner than 4 seconds.";
inline constexpr const char* kRecordingCompleteText =
    "Recording complete.  Press PLAY to hear it.  Use Left/Right mouse to set selection.";
inline constexpr const char* kVoiceLoadedText = "New Phon Table data loaded.";
inline constexpr const char* kVoiceSavedText = "Phon Table data saved.";
inline constexpr const char* kTrimmedText =
    "Work buffer trimmed.  Use >> to save data to selected PHON.";
inline constexpr const char* kPhonToWorkText =
    "You just loaded the PHON in question into the work buffer. Now edit it, then save it back.";
inline constexpr const char* kSelectionToPhonText =
    "You just copied the work buffer into the current PHON.  If you like how it sounds, SAVE "
    "your voice file.";
inline constexpr const char* kStartClickText = "Left mouse click sets START of selection.";
inline constexpr const char* kEndClickText = "Right mouse click sets END of selection.";
inline constexpr const char* kMonitorOnText =
    "Everything the microphone hears will now be sent to the speakers.  All the time.";
inline constexpr const char* kMonitorOffText =
    "The microphone data will no longer be sent to the speakers.";
inline constexpr const char* kWarningsOnText = "You just re-enabled the warning dialogs.";
inline constexpr const char* kWarningsOffText =
    "You just disabled some of the warning message dialog boxes... tread carefully.";

// The program's fixed texts.
inline constexpr const char* kNothingRecordedText =
    "Nothing was recorded: no speech was heard.  The Work Buffer is as it was.";
inline constexpr const char* kChoosePhonText = "Choose a PHON in the Phon Table first.";
inline constexpr const char* kStopRecordingText =
    "Stop the recording (push REC) before importing a WAV file.";
inline constexpr const char* kSoundBackText = "Sound output is back.";

// A take with at least this many samples at full scale clipped audibly; the
// status after it says so and proposes a lower input gain.
inline constexpr int32_t CLIPPED_TAKE_SAMPLES = 3;

// Names in brief texts keep at most this many characters.
inline constexpr size_t BRIEF_NAME_CHARS = 16;

// `name` cut in its middle to at most `max` characters, "…" marking the
// cut; UTF-8 sequences stay whole.
std::string ShortName(const std::string& name, size_t max = BRIEF_NAME_CHARS);

// "voices/Name.voc" for /any/where/voices/Name.voc.
std::string ShownFileName(const std::filesystem::path& path);

// The last clause of `reason` without the file's path, in a few words:
// "cannot open /x/voices/A.voc: No such file or directory" gives
// "no such file".
std::string ShortReason(const std::string& reason, const std::filesystem::path& path);

// The texts with names, numbers and reasons in them. `action` is "trimmed",
// "copied" or "exported"; `what` "load" or "save".
StatusNote NothingSelected(const std::string& action);
StatusNote NoSpeechHint(double peakDbfs, double gateDbfs);
StatusNote SelectionToPhonCut(int copied, int selected);
StatusNote VoiceNameRefused(const std::string& name, const std::string& reason);
StatusNote VoicePathTooLong(const std::filesystem::path& file, bool besideProgram);
StatusNote VoiceFileFailed(const std::string& what, const std::filesystem::path& file,
                           const std::string& reason);
StatusNote ImportFailed(const std::string& file, const std::string& reason);
StatusNote NothingImported(const std::string& file);
// `keptDuration`, when not empty, says how much of a too long file was kept.
StatusNote Imported(const std::string& file, const std::string& keptDuration);
StatusNote SelectionExported(const std::string& file);
StatusNote VoiceExported(int files, const std::string& folder);
// `what` is "the selection" or "the voice".
StatusNote ExportFailed(const std::string& what, const std::string& reason);
// The sound devices' notices. An empty device name is the default device.
StatusNote SoundLost(const std::string& reason);
StatusNote DevicesGone(const std::string& input, const std::string& output);
StatusNote OutputFailed(const std::string& output, const std::string& reason);
StatusNote InputFailed(const std::string& input, const std::string& output);
StatusNote NowUsing(const std::string& input, const std::string& output);

}  // namespace vocalith::app
