#include "app/voice_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "app/dialog_audio.h"
#include "voice/phoneme_inventory.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"

namespace vocalith::app {

namespace {

using voicebuild::PROMPT_COUNT;

// Speech peaks are best near -6 dBFS: loud enough to stand well above the
// noise, with room for a louder word.
constexpr double PEAK_AIM = 0.5 * 32768;
constexpr int CLIPPED_TAKE_SAMPLES = 3;

double Dbfs(double peak) {
    return 20 * std::log10(std::max(peak, 1.0) / 32768);
}

}  // namespace

VoiceRecorder::VoiceRecorder(RecorderAudio& audio, RecorderMemory& memory,
                             const voice::PhonTable& base, std::filesystem::path programFolder)
    : audio_(audio),
      memory_(memory),
      programFolder_(std::move(programFolder)),
      table_(std::make_unique<voice::PhonTable>(base)),
      cutter_(std::make_unique<voicebuild::ClipCutter>()) {
    // The place is "NAME<tab>" and one '1' or '0' per prompt.
    const std::string place = memory_.Recall();
    const size_t tab = place.find('\t');
    if (tab != std::string::npos && place.size() == tab + 1 + PROMPT_COUNT) {
        const std::string name = place.substr(0, tab);
        auto saved = std::make_unique<voice::PhonTable>(base);
        const std::filesystem::path path = voice::LoadVoicePath(programFolder_, name);
        if (voice::CheckVoiceName(name) == voice::VoiceNameCheck::Ok &&
            voice::LoadVoice(path, *saved).ok()) {
            table_ = std::move(saved);
            name_ = name;
            for (int i = 0; i < PROMPT_COUNT; ++i)
                accepted_[size_t(i)] = place[tab + 1 + size_t(i)] == '1';
            const auto next = std::find(accepted_.begin(), accepted_.end(), false);
            index_ = next == accepted_.end() ? 0 : int(next - accepted_.begin());
            status_ = "Going on with voice " + name + " where you left off.";
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
    lastGrowth_ = audio_.Now();
    status_ =
        "Recording: say \"" + voicebuild::PromptWord(*voicebuild::PromptFor(index_)) + "\" once.";
    Show();
}

void VoiceRecorder::OnTick() {
    if (!recording_) return;
    const size_t count = audio_.TakeSamples().size();
    const uint32_t now = audio_.Now();
    if (count != lastCount_) {
        lastCount_ = count;
        lastGrowth_ = now;
    }
    if (!audio_.TakeRunning() || (count > 0 && now - lastGrowth_ >= TAKE_END_MS)) Finish();
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
    cut_ = std::move(cut);
    char text[200];
    std::snprintf(text, sizeof text, "Cut %d-%d ms, confidence %.2f%s", cut_->StartMs(),
                  cut_->EndMs(), cut_->confidence,
                  cut_->confidence < voicebuild::LOW_CONFIDENCE ? " (low: listen to it)" : "");
    status_ = text;
    const int gain = audio_.InputGainFactor();
    proposedGain_ = 0;
    if (clipped >= CLIPPED_TAKE_SAMPLES || firstTake_) {
        // The gain that puts this speaker's peaks nearest -6 dBFS; a take
        // that clipped was louder than its peak shows, so one step lower.
        const double raw = double(peak) / gain;
        int best = INPUT_GAIN_CHOICES[0];
        for (const int choice : INPUT_GAIN_CHOICES) {
            if (clipped >= CLIPPED_TAKE_SAMPLES && choice >= gain) continue;
            if (std::abs(Dbfs(raw * choice) - Dbfs(PEAK_AIM)) <
                std::abs(Dbfs(raw * best) - Dbfs(PEAK_AIM)))
                best = choice;
        }
        if (best != gain) proposedGain_ = best;
        if (clipped >= CLIPPED_TAKE_SAMPLES) {
            status_ += ".  The take clipped (" + std::to_string(clipped) +
                       " samples at full scale): use a lower gain and Redo";
        } else if (proposedGain_ != 0) {
            std::snprintf(text, sizeof text,
                          ".  Speech peaks at %.0f dBFS: gain x%d would put them near -6 dBFS",
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
    cut_.reset();
    status_ = "Kept the clip of " + view_.symbol + ".";
    if (!name_.empty() && !SaveTo(name_)) {
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
    status_ += "  Every phoneme is recorded" +
               std::string(name_.empty() ? ": save the voice under a name." : ".");
    Show();
}

void VoiceRecorder::OnRedo() {
    cut_.reset();
    OnRec();
}

void VoiceRecorder::OnSkip() {
    if (recording_) return;
    cut_.reset();
    index_ = (index_ + 1) % PROMPT_COUNT;
    status_.clear();
    Show();
}

void VoiceRecorder::OnBack() {
    if (recording_) return;
    cut_.reset();
    index_ = (index_ + PROMPT_COUNT - 1) % PROMPT_COUNT;
    status_.clear();
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
    if (!SaveTo(name)) {
        Show();
        return false;
    }
    name_ = name;
    RememberPlace();
    status_ = "Saved voice " + name + ".";
    Show();
    return true;
}

bool VoiceRecorder::SaveTo(const std::string& name) {
    const std::filesystem::path path = voice::SaveVoicePath(programFolder_, name);
    if (const voice::VoiceResult saved = voice::SaveVoice(path, *table_); !saved) {
        status_ = "The voice could not be saved: " + saved.reason;
        return false;
    }
    return true;
}

void VoiceRecorder::RememberPlace() {
    if (name_.empty()) return;
    std::string place = name_ + "\t";
    for (const bool done : accepted_) place += done ? '1' : '0';
    memory_.Remember(place);
}

}  // namespace vocalith::app
