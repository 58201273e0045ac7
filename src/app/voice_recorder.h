#pragma once
// The guided recorder's logic ("Record a Voice..."), free of Qt: it walks
// through the prompt words, records a take when asked and stops it by itself
// once the word is over (the pump's level gate stops passing sound), cuts
// the phoneme out of the take, and keeps accepted clips in a voice of its
// own that can be saved under a name at any point. Its place (the voice's
// name and which phonemes are done) is remembered, so a later session takes
// up where this one left off. The window shows View() after every event.
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "voice/phon_table.h"
#include "voicebuild/clip_cutter.h"
#include "voicebuild/prompts.h"
#include "voicebuild/voice_check.h"

namespace vocalith::app {

// What the recorder needs of the audio engine. The program records through
// the work buffer and plays on the speech channel; tests use a fake.
class RecorderAudio {
  public:
    virtual ~RecorderAudio() = default;
    virtual void StartTake() = 0;
    virtual void StopTake() = 0;
    // False once the take stopped (by StopTake or a full buffer).
    virtual bool TakeRunning() = 0;
    // What the take holds so far, system format, from the first speech on.
    virtual std::vector<int16_t> TakeSamples() = 0;
    virtual void Play(std::span<const int16_t> samples) = 0;
    virtual int InputGainFactor() = 0;
    virtual void SetInputGainFactor(int factor) = 0;
    // Milliseconds, as the mixer's clock counts them.
    virtual uint32_t Now() = 0;
    // The loudest raw microphone sample since the last call, and the peak
    // the speech gate needs; 0 when unknown.
    virtual int32_t TakeInputPeak() { return 0; }
    virtual int32_t GateInputPeak() { return 0; }
};

// Where the recorder keeps its place between sessions (a line of text).
class RecorderMemory {
  public:
    virtual ~RecorderMemory() = default;
    virtual std::string Recall() = 0;
    virtual void Remember(const std::string& place) = 0;
    // The input gain chosen in the recorder, kept with the sound devices.
    virtual void RememberGain(int /*factor*/) {}
};

struct RecorderView {
    std::string symbol;                // the phoneme
    std::string before, sound, after;  // the word, its sound's letters in the middle
    std::string progress;              // "12 of 41"
    std::string status;
    std::string voiceName;  // the name it saves under; empty until chosen
    bool recording = false;
    bool reviewing = false;                      // a cut take waits for Accept, Redo or a moved cut
    bool done = false;                           // this prompt's clip was accepted before
    const std::vector<int16_t>* take = nullptr;  // the take shown, or null
    size_t cutStart = 0, cutEnd = 0;             // the cut in the take
    int proposedGain = 0;                        // a gain to offer, or 0
    int accepted = 0;                            // prompts with an accepted clip
    bool unsaved = false;                        // accepted clips not yet saved under a name
    bool finished = false;                       // every prompt has its clip and the voice its name
};

class VoiceRecorder {
  public:
    // Starts from `base` (the voice whose clips stand in for the ones not
    // yet recorded), or from the voice remembered in `memory`; voices are
    // found and saved as the program in `programFolder` finds and saves them.
    VoiceRecorder(RecorderAudio& audio, RecorderMemory& memory, const voice::PhonTable& base,
                  std::filesystem::path programFolder);
    ~VoiceRecorder();

    const RecorderView& View() const { return view_; }
    // The voice as recorded so far.
    const voice::PhonTable& Table() const { return *table_; }

    // Rec: starts a take, or stops the running one and cuts it.
    void OnRec();
    // Every few ms while the dialog is open: stops a take once its word is
    // over, and shows the voice check's finding once it is ready. True when
    // the view changed.
    bool OnTick();
    void OnPlayClip();
    void OnPlayWord();
    // Keeps the cut clip for this phoneme and moves to the next one not done.
    void OnAccept();
    // Throws the take away and records a new one at once.
    void OnRedo();
    void OnSkip();
    void OnBack();
    // Moves the cut's start (or end) to `sample` of the take.
    void OnMoveCut(bool start, size_t sample);
    // Uses the proposed gain for the next takes.
    void OnUseProposedGain();
    // Saves the voice under `name` (checked as the window's Save checks it);
    // later accepts save it again. False, with the status saying why, when
    // the name cannot be used or the file not written. The voice's own check
    // then runs in the background for some seconds (CheckRunning()); OnTick
    // shows what it found.
    bool OnSave(const std::string& name);

    bool CheckRunning() const { return check_.valid(); }

    // Where the clips accepted before the voice has a name are kept.
    std::filesystem::path UnnamedVoicePath() const;

    // A take stops once nothing new has been recorded for this long.
    static constexpr uint32_t TAKE_END_MS = 300;
    // A take that hears no speech for this long says how loud the input is.
    static constexpr uint32_t NO_SPEECH_HINT_MS = 3000;

  private:
    void Show();
    void Finish();  // stops the take and cuts it
    void MoveTo(int index);
    std::string DoneText() const;  // the voice is whole and saved: how to hear it
    // Puts this session's kept vowels into the voice, finished as voice build
    // finishes them (FinishVowelClips).
    void StoreKeptVowels();
    bool SaveTo(const std::filesystem::path& path);
    // The voice's own check: how well it will be understood beside the
    // reference voice, and which vowels to record again. Starts it on the
    // voice as saved, stopping one still running.
    void StartCheck();
    void StopCheck();
    void RememberPlace();
    int Code() const;

    RecorderAudio& audio_;
    RecorderMemory& memory_;
    std::filesystem::path programFolder_;
    std::unique_ptr<voice::PhonTable> table_;
    std::unique_ptr<voice::PhonTable> reference_;  // the base voice the check compares with
    std::string referenceName_;
    std::unique_ptr<voicebuild::ClipCutter> cutter_;
    std::array<bool, voicebuild::PROMPT_COUNT> accepted_{};
    int index_ = 0;  // the prompt shown, 0..PROMPT_COUNT-1
    bool recording_ = false;
    bool firstTake_ = true;  // the next take is the first of the session
    size_t lastCount_ = 0;
    uint32_t lastGrowth_ = 0;
    uint32_t takeStart_ = 0;                // when the take began
    uint32_t lastHint_ = 0;                 // when the no-speech hint was last given
    int32_t secondPeak_ = 0;                // the input's peak since then
    std::unique_ptr<voicebuild::Cut> cut_;  // the take under review
    // The accepted take of each prompt this session, shown again on Back.
    std::array<std::unique_ptr<voicebuild::Cut>, voicebuild::PROMPT_COUNT> kept_;
    std::string status_;
    std::string name_;
    // The voice check in the background: the voice as saved, heard while
    // recording goes on.
    std::unique_ptr<voicebuild::VoiceHearing> hearing_;
    std::unique_ptr<voice::PhonTable> checked_;
    std::atomic<bool> stopCheck_{false};
    std::future<voicebuild::VoiceCheck> check_;
    std::string checkPending_;  // the status while it runs
    int proposedGain_ = 0;
    RecorderView view_;
};

}  // namespace vocalith::app
