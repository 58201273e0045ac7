#include "app/voice_recorder.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "app/dialog_audio.h"
#include "app/status_text.h"
#include "base/program_folder.h"
#include "voice/phoneme_inventory.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "workbuf/waveform_view.h"

namespace vocalith::app {

namespace {

using voicebuild::PROMPT_COUNT;

// Speech peaks are best near -12 dBFS: well above the noise, with room for
// a word said louder than the first.
constexpr double PEAK_AIM_DB = -12;
// Speech peaks stand about 12 dB over the loudest 50 ms of its RMS; a
// clipped take's true peak is judged from that RMS, which clipping barely
// lowers.
constexpr double CREST_DB = 12;

double Dbfs(double peak) {
    return 20 * std::log10(std::max(peak, 1.0) / 32768);
}

// RMS of the loudest 50 ms of `take`.
double LoudestRms(const std::vector<int16_t>& take) {
    constexpr size_t W = 551;
    double best = 0, sum = 0;
    for (size_t i = 0; i < take.size(); ++i) {
        sum += double(take[i]) * take[i];
        if (i >= W) sum -= double(take[i - W]) * take[i - W];
        best = std::max(best, sum);
    }
    return std::sqrt(best / double(std::min(W, std::max<size_t>(take.size(), 1))));
}

}  // namespace

VoiceRecorder::VoiceRecorder(RecorderAudio& audio, RecorderMemory& memory,
                             const voice::PhonTable& base, std::filesystem::path programFolder)
    : audio_(audio),
      memory_(memory),
      programFolder_(std::move(programFolder)),
      table_(std::make_unique<voice::PhonTable>(base)),
      reference_(std::make_unique<voice::PhonTable>(base)),
      referenceName_("the base voice"),
      cutter_(std::make_unique<voicebuild::ClipCutter>()) {
    // The check compares with the default voice where the program has it.
    if (auto voxa = std::make_unique<voice::PhonTable>();
        voice::LoadVoice(voice::LoadVoicePath(programFolder_, "Voxa"), *voxa).ok()) {
        reference_ = std::move(voxa);
        referenceName_ = "Voxa";
    }
    // The place is "NAME<tab>" and one '1' or '0' per prompt.
    // An empty NAME: the voice has none yet and is kept at UnnamedVoicePath().
    const std::string place = memory_.Recall();
    const size_t tab = place.find('\t');
    if (tab != std::string::npos && place.size() == tab + 1 + PROMPT_COUNT) {
        const std::string name = place.substr(0, tab);
        auto saved = std::make_unique<voice::PhonTable>(base);
        const std::filesystem::path path =
            name.empty() ? UnnamedVoicePath() : voice::LoadVoicePath(programFolder_, name);
        if ((name.empty() || voice::CheckVoiceName(name) == voice::VoiceNameCheck::Ok) &&
            voice::LoadVoice(path, *saved).ok()) {
            table_ = std::move(saved);
            name_ = name;
            for (int i = 0; i < PROMPT_COUNT; ++i)
                accepted_[size_t(i)] = place[tab + 1 + size_t(i)] == '1';
            const auto next = std::find(accepted_.begin(), accepted_.end(), false);
            index_ = next == accepted_.end() ? 0 : int(next - accepted_.begin());
            status_ = name.empty() ? "Going on with the voice not yet named, where you left off."
                                   : "Going on with voice " + name + " where you left off.";
        }
    }
    if (status_.empty()) {
        status_ = "Press Rec and say the word once; recording stops by itself after it.";
    }
    if (!cutter_->Aligning()) status_ += "  (" + cutter_->Note() + ")";
    Show();
}

VoiceRecorder::~VoiceRecorder() {
    if (recording_) audio_.StopTake();
    StopCheck();
}

int VoiceRecorder::Code() const {
    return voicebuild::PromptFor(index_)->code;
}

void VoiceRecorder::Show() {
    RecorderView& v = view_;
    const voicebuild::Prompt& prompt = *voicebuild::PromptFor(index_);
    v.symbol = voice::kInventory[size_t(prompt.code)].symbol;
    // The word in lower case, split around its run of capitals.
    const std::string marked = prompt.marked;
    const std::string word = voicebuild::PromptWord(prompt);
    const size_t first = marked.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    size_t last = first;
    while (last < marked.size() && marked[last] >= 'A' && marked[last] <= 'Z') ++last;
    v.before = word.substr(0, first);
    v.sound = word.substr(first, last - first);
    v.after = word.substr(last);
    v.progress = std::to_string(index_ + 1) + " of " + std::to_string(PROMPT_COUNT);
    v.status = status_;
    v.voiceName = name_;
    v.recording = recording_;
    v.reviewing = cut_ != nullptr;
    v.done = accepted_[size_t(index_)];
    v.take = cut_ ? &cut_->recording : nullptr;
    v.cutStart = cut_ ? cut_->start : 0;
    v.cutEnd = cut_ ? cut_->end : 0;
    v.proposedGain = proposedGain_;
    v.accepted = int(std::count(accepted_.begin(), accepted_.end(), true));
    v.unsaved = name_.empty() && v.accepted > 0;
    v.finished = !name_.empty() && v.accepted == PROMPT_COUNT;
}

std::string VoiceRecorder::DoneText() const {
    return "Every phoneme is recorded and voice " + name_ +
           " is saved.  Close, and the main window loads it: type a sentence, press TTS, then "
           "Speak! to hear it.";
}

std::filesystem::path VoiceRecorder::UnnamedVoicePath() const {
    const std::filesystem::path data =
        base::DataBesideProgram(programFolder_) ? programFolder_ : base::UserDataFolder();
    return data / "recorder-unnamed.voc";
}

void VoiceRecorder::OnRec() {
    if (recording_) {
        Finish();
        return;
    }
    cut_.reset();
    audio_.StartTake();
    recording_ = true;
    lastCount_ = 0;
    lastGrowth_ = takeStart_ = lastHint_ = audio_.Now();
    secondPeak_ = 0;
    audio_.TakeInputPeak();
    status_ =
        "Recording: say \"" + voicebuild::PromptWord(*voicebuild::PromptFor(index_)) + "\" once.";
    Show();
}

bool VoiceRecorder::OnTick() {
    if (check_.valid() && check_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        std::string text = check_.get().text;
        if (!text.empty()) text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
        // The finding takes the place of the note that it was coming, or
        // follows what happened since.
        const size_t note = checkPending_.rfind("  Listening to it");
        status_ = status_ == checkPending_ ? checkPending_.substr(0, note) : status_;
        status_ += "  " + text + ".";
        Show();
        return true;
    }
    if (!recording_) return false;
    const size_t count = audio_.TakeSamples().size();
    const uint32_t now = audio_.Now();
    if (count != lastCount_) {
        lastCount_ = count;
        lastGrowth_ = now;
    }
    if (count == 0) {
        // Nothing passed the gate yet: after a while, say how far off it is.
        secondPeak_ = std::max(secondPeak_, audio_.TakeInputPeak());
        if (now - takeStart_ >= NO_SPEECH_HINT_MS && now - lastHint_ >= 1000) {
            lastHint_ = now;
            status_ = NoSpeechHint(workbuf::PeakDbfs(secondPeak_),
                                   workbuf::PeakDbfs(audio_.GateInputPeak()))
                          .text;
            secondPeak_ = 0;
            Show();
            return true;
        }
    }
    if (!audio_.TakeRunning() || (count > 0 && now - lastGrowth_ >= TAKE_END_MS)) {
        Finish();
        return true;
    }
    return false;
}

void VoiceRecorder::Finish() {
    audio_.StopTake();
    recording_ = false;
    std::vector<int16_t> take = audio_.TakeSamples();
    int32_t peak = 0, clipped = 0;
    for (const int16_t s : take) {
        peak = std::max(peak, std::abs(int32_t(s)));
        if (s == INT16_MAX || s == INT16_MIN) ++clipped;
    }
    auto cut = std::make_unique<voicebuild::Cut>(cutter_->CutSystem(std::move(take), Code()));
    if (!cut->ok()) {
        status_ = "No clip: " + cut->reason + ".  Press Rec and say the word again.";
        Show();
        return;
    }
    // Judged against the speaker the takes kept this session show.
    std::vector<voicebuild::ClipMeasures> measures{cut->measures};
    for (size_t i = 0; i < kept_.size(); ++i) {
        if (kept_[i] && int(i) != index_) measures.push_back(kept_[i]->measures);
    }
    voicebuild::ApplyJudgement(*cut, voicebuild::ProfileOf(measures));
    const bool wasClipped = clipped >= CLIPPED_TAKE_SAMPLES;
    double truePeak = peak;
    if (wasClipped) {
        truePeak = std::max(truePeak, LoudestRms(cut->recording) * std::pow(10, CREST_DB / 20));
    }
    cut_ = std::move(cut);
    char text[300];
    std::snprintf(text, sizeof text, "Cut %d-%d ms, confidence %.2f%s", cut_->StartMs(),
                  cut_->EndMs(), cut_->confidence,
                  cut_->confidence < voicebuild::LOW_CONFIDENCE ? " (low: listen to it)" : "");
    status_ = text;
    const std::string word = voicebuild::PromptWord(*voicebuild::PromptFor(index_));
    if (!cut_->problem.empty()) {
        status_ +=
            ".  Redo suggested: " + cut_->problem + ".  Press Redo and say \"" + word + "\" once";
    }
    const int gain = audio_.InputGainFactor();
    proposedGain_ = 0;
    if (wasClipped || firstTake_) {
        // The gain that puts this speaker's peaks nearest -12 dBFS, at once:
        // a clipped take is judged by its true peak, so one proposal does.
        const double raw = truePeak / gain;
        int best = INPUT_GAIN_CHOICES[0];
        for (const int choice : INPUT_GAIN_CHOICES) {
            if (wasClipped && choice >= gain) continue;
            if (std::abs(Dbfs(raw * choice) - PEAK_AIM_DB) <
                std::abs(Dbfs(raw * best) - PEAK_AIM_DB))
                best = choice;
        }
        if (best != gain) proposedGain_ = best;
        if (wasClipped) {
            status_ += ".  The take clipped (" + std::to_string(clipped) +
                       " samples at full scale): use gain x" + std::to_string(best) + " and Redo";
        } else if (proposedGain_ != 0) {
            std::snprintf(text, sizeof text,
                          ".  Speech peaks at %.0f dBFS: gain x%d would put them near -12 dBFS",
                          Dbfs(peak), proposedGain_);
            status_ += text;
        }
    }
    firstTake_ = false;
    status_ += ".";
    Show();
}

void VoiceRecorder::OnPlayClip() {
    if (cut_) {
        audio_.Play(cut_->clip);
    } else {
        const voice::PhonSlot& slot = table_->slots[size_t(Code())];
        audio_.Play(std::span<const int16_t>(slot.samples.data(), size_t(slot.count)));
    }
}

void VoiceRecorder::OnPlayWord() {
    if (cut_) audio_.Play(cut_->recording);
}

void VoiceRecorder::OnAccept() {
    if (!cut_ || cut_->clip.empty()) return;
    voice::PhonSlot& slot = table_->slots[size_t(Code())];
    slot.count = int32_t(cut_->clip.size());
    std::copy(cut_->clip.begin(), cut_->clip.end(), slot.samples.begin());
    accepted_[size_t(index_)] = true;
    kept_[size_t(index_)] = std::move(cut_);
    StoreKeptVowels();
    status_ = "Kept the clip of " + view_.symbol + ".";
    if (!SaveTo(name_.empty() ? UnnamedVoicePath() : voice::SaveVoicePath(programFolder_, name_))) {
        Show();
        return;
    }
    RememberPlace();
    // On to the next prompt not done yet, after this one.
    for (int step = 1; step <= PROMPT_COUNT; ++step) {
        const int next = (index_ + step) % PROMPT_COUNT;
        if (!accepted_[size_t(next)]) {
            index_ = next;
            Show();
            return;
        }
    }
    status_ += name_.empty()
                   ? "  Every phoneme is recorded: type a name and press Save to keep the voice."
                   : "  " + DoneText();
    Show();
}

void VoiceRecorder::OnRedo() {
    cut_.reset();
    OnRec();
}

void VoiceRecorder::OnSkip() {
    if (recording_) return;
    MoveTo((index_ + 1) % PROMPT_COUNT);
}

void VoiceRecorder::OnBack() {
    if (recording_) return;
    MoveTo((index_ + PROMPT_COUNT - 1) % PROMPT_COUNT);
}

void VoiceRecorder::MoveTo(int index) {
    index_ = index;
    cut_.reset();
    status_.clear();
    // A prompt accepted this session shows its take and cut again, to be
    // moved and accepted anew.
    if (const auto& kept = kept_[size_t(index_)]) {
        cut_ = std::make_unique<voicebuild::Cut>(*kept);
        status_ = "The kept cut, " + std::to_string(cut_->StartMs()) + "-" +
                  std::to_string(cut_->EndMs()) + " ms: move it and Accept, or Rec a new take.";
    }
    Show();
}

void VoiceRecorder::OnMoveCut(bool start, size_t sample) {
    if (!cut_) return;
    sample = std::min(sample, cut_->recording.size());
    (start ? cut_->start : cut_->end) = sample;
    if (cut_->start > cut_->end) std::swap(cut_->start, cut_->end);
    cut_->clip =
        voicebuild::MakeClip(cut_->recording, cut_->start, cut_->end, Code(), cut_->wordLevelDb);
    status_ = "Cut moved by hand to " + std::to_string(cut_->StartMs()) + "-" +
              std::to_string(cut_->EndMs()) + " ms.";
    Show();
}

void VoiceRecorder::OnUseProposedGain() {
    if (proposedGain_ == 0) return;
    audio_.SetInputGainFactor(proposedGain_);
    memory_.RememberGain(proposedGain_);
    status_ = "Input gain is now x" + std::to_string(proposedGain_) + ".";
    proposedGain_ = 0;
    Show();
}

bool VoiceRecorder::OnSave(const std::string& name) {
    std::string reason;
    if (voice::CheckVoiceName(name, &reason) != voice::VoiceNameCheck::Ok) {
        status_ = reason.empty() ? "A voice name has at least 2 characters." : reason;
        Show();
        return false;
    }
    if (!SaveTo(voice::SaveVoicePath(programFolder_, name))) {
        Show();
        return false;
    }
    name_ = name;
    RememberPlace();
    std::error_code ec;
    std::filesystem::remove(UnnamedVoicePath(), ec);
    status_ = "Saved voice " + name + ".";
    if (std::count(accepted_.begin(), accepted_.end(), true) == PROMPT_COUNT) {
        status_ += "  " + DoneText();
    }
    StartCheck();
    Show();
    return true;
}

void VoiceRecorder::StartCheck() {
    StopCheck();
    if (!hearing_) hearing_ = std::make_unique<voicebuild::VoiceHearing>();
    checked_ = std::make_unique<voice::PhonTable>(*table_);
    stopCheck_ = false;
    status_ += "  Listening to it to check how well it will be understood...";
    checkPending_ = status_;
    check_ = std::async(std::launch::async, [this] {
        return voicebuild::HearVoiceCheck(*hearing_, *checked_, *reference_, referenceName_,
                                          &stopCheck_);
    });
}

void VoiceRecorder::StopCheck() {
    if (!check_.valid()) return;
    stopCheck_ = true;
    check_.get();
}

void VoiceRecorder::StoreKeptVowels() {
    std::vector<voicebuild::Cut> vowels;
    for (const auto& kept : kept_) {
        if (!kept || !voicebuild::IsVowelPhoneme(kept->code)) continue;
        voicebuild::Cut cut;
        cut.code = kept->code;
        cut.clip = kept->clip;
        cut.confidence = kept->confidence;  // as judged when it was kept
        vowels.push_back(std::move(cut));
    }
    voicebuild::FinishVowelClips(vowels);
    for (const voicebuild::Cut& cut : vowels) {
        voice::PhonSlot& slot = table_->slots[size_t(cut.code)];
        slot.count = int32_t(cut.clip.size());
        std::copy(cut.clip.begin(), cut.clip.end(), slot.samples.begin());
    }
}

bool VoiceRecorder::SaveTo(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (const voice::VoiceResult saved = voice::SaveVoice(path, *table_); !saved) {
        status_ = "The voice could not be saved: " + saved.reason;
        return false;
    }
    return true;
}

void VoiceRecorder::RememberPlace() {
    std::string place = name_ + "\t";
    for (const bool done : accepted_) place += done ? '1' : '0';
    memory_.Remember(place);
}

}  // namespace vocalith::app
