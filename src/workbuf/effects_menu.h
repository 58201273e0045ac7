#pragma once
// The effects menu: every line of it with its text, the question asked
// before it runs, when that question is asked, the status text after it and
// the operation on the work buffer. The dialog fills its effects list from
// this table and runs a chosen line by it; ApplyEffect runs its effects.
#include <array>
#include <cstddef>
#include <string_view>

#include "workbuf/work_buffer.h"

namespace vocalith::workbuf {

// When a line's question is asked.
enum class AskRule {
    None,      // never asked
    Ordinary,  // asked only while Warnings is ticked
    Forced,    // always asked
};

// One line of the effects menu; its number is its index in kEffectsMenu, its
// name a key that stays when lines are added or moved.
struct EffectsMenuItem {
    const char* name;
    const char* text;
    const char* question;  // null when none
    AskRule rule;
    const char* status;           // null: the line neither redraws the view nor says anything
    void (*run)(WorkBuffer& wb);  // null for the title line and for a line that plays
    bool isEffect;                // changes the buffer: backup 1 is taken first (for Undo Effect)
    // A line that plays the buffer does it through this, on the speech
    // channel of the mixer it is given.
    void (*play)(WorkBuffer& wb, mixer::Mixer& mixer) = nullptr;
};

// The effects proper, each on the whole buffer whatever the selection.
void Attenuate(WorkBuffer& wb);         // every sample * 0.7
void Amplify(WorkBuffer& wb);           // every sample * 1.7, limited to +-32000
void RaisePitch(WorkBuffer& wb);        // backup 1 resampled to 90% of the length
void LowerPitch(WorkBuffer& wb);        // backup 1 resampled to 111%, at most 43999
void DuplicateSamples(WorkBuffer& wb);  // repeated until about one second
// The other lines' operations.
void ReloadRecording(WorkBuffer& wb);  // back to the most recent recording
void UndoEffect(WorkBuffer& wb);       // back to before the last effect or trim
void PlaySelectionForASecond(WorkBuffer& wb, mixer::Mixer& mixer);  // looped to 11000 samples

// The menu in its order. To add a line, declare its operation above (defined
// in effects.cpp or a file of its own) and add its row here; the dialog's
// list and its handling follow from the table. Callers find a line by its
// name (EffectNumber), never by a number written down.
inline constexpr std::array kEffectsMenu = std::to_array<EffectsMenuItem>({
    {"title", "Special Effects", nullptr, AskRule::None, nullptr, nullptr, false},
    {"reload-recording", "Reload Recording", "Reload most recent recording?", AskRule::Forced,
     "Most recent recording restored.", ReloadRecording, false},
    {"undo-effect", "Undo Effect", nullptr, AskRule::None, "Most recent effect removed.",
     UndoEffect, false},
    {"attenuate", "Attenuate 3dB", "Reduce amplitude of work buffer by 3dB?", AskRule::Ordinary,
     "Attenuation complete", Attenuate, true},
    {"amplify", "Amplify 3dB", "Amplify work buffer 3dB?", AskRule::Ordinary,
     "Amplification complete", Amplify, true},
    {"raise-pitch", "Raise Pitch (speed up)", "Raise pitch and speed up sound?", AskRule::Ordinary,
     "Speedup complete", RaisePitch, true},
    {"lower-pitch", "Lower Pitch (slow down)", "Lower pitch and slow down sound?",
     AskRule::Ordinary, "Slowdown complete", LowerPitch, true},
    {"duplicate", "Duplicate Samples", "Increase sample buffer by duplication of samples?",
     AskRule::Ordinary, "Duplication complete", DuplicateSamples, true},
    {"play-second", "Play (loop) current selection for 1 second", nullptr, AskRule::None, nullptr,
     nullptr, false, PlaySelectionForASecond},
});

// The number of the menu line called `name`; -1 when there is none.
constexpr int EffectNumber(std::string_view name) {
    for (size_t i = 0; i < kEffectsMenu.size(); ++i) {
        if (name == kEffectsMenu[i].name) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace vocalith::workbuf
