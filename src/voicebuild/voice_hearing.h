#pragma once
// Hearing a voice as a listener would: fixed sentences are spoken with the
// voice, put through a plain listening condition (16 kHz, peak at -3 dBFS,
// a faint white-noise floor) and decoded by pocketsphinx's US English model
// under a bigram model of a hundred such sentences; the words it gets wrong
// per 100 words said are the voice's figure. It follows what the speaker
// panel's listening runs hear closely (built voices from 7 to 80 words of
// 100 misheard, within about 4 words of the panel's own figures), where a
// measure of the clips alone does not.
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "voice/phon_table.h"

namespace vocalith::voicebuild {

class VoiceHearing {
  public:
    // Finds the acoustic model (FindAcousticModel) and its dictionary.
    VoiceHearing();
    ~VoiceHearing();
    VoiceHearing(const VoiceHearing&) = delete;
    VoiceHearing& operator=(const VoiceHearing&) = delete;

    // False without the model or its dictionary; Note() says why.
    bool Available() const { return available_; }
    const std::string& Note() const { return note_; }

    // Words of 100 misheard when `table` speaks the sentences; negative
    // when it could not be heard, or when `stop` was set meanwhile (it is
    // looked at between sentences). Safe to call from several threads at
    // once.
    double Misheard(const voice::PhonTable& table, const std::atomic<bool>* stop = nullptr) const;

    // Of the hundred sentences the bigram model is made of, the first this
    // many are spoken.
    static constexpr size_t HEARD_SENTENCES = 60;

  private:
    bool available_ = false;
    std::string note_;
    std::filesystem::path model_;
    int lmFd_ = -1;    // the bigram model, in memory
    int dictFd_ = -1;  // the pronunciations of its words, in memory
};

// The words of a sentence as the listener is asked for them: lower case,
// letters and apostrophes.
std::vector<std::string> ListenerWords(const std::string& text);

// A backoff bigram model of `lines` in ARPA form (absolute discounting by
// half a count; unigrams with a count added, so every word stays reachable).
std::string BigramModel(const std::vector<std::string>& lines);

// Words substituted, left out or put in between `said` and `heard`.
size_t WordErrors(const std::vector<std::string>& said, const std::vector<std::string>& heard);

}  // namespace vocalith::voicebuild
