#pragma once
// Text for `say`, read and spoken a piece at a time, so that memory stays
// bounded whatever the length of the text: TextPieces cuts it where the
// translator starts afresh, and SpeechFeed translates the pieces and keeps
// the live mixer's speech channel a little ahead of the mixing.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "base/result.h"
#include "mixer/mixer.h"
#include "translate/translate.h"
#include "voice/phon_table.h"
#include "wave/prosody.h"

namespace vocalith::cli {

// The text a piece at a time: the words given, or a stream read in blocks.
// Each piece ends after a newline or, failing that, a blank, where the
// translator starts afresh, so translating piece by piece gives exactly the
// phonetic string of the whole text. A NUL byte ends the text, as it ends a
// C string.
class TextPieces {
  public:
    static constexpr size_t BLOCK_BYTES = 1 << 18;

    explicit TextPieces(std::string words) : pending_(std::move(words)), eof_(true) {}
    explicit TextPieces(std::istream& in) : in_(&in) {}

    // The next piece; false once the text is used up.
    bool Next(std::string& piece);

  private:
    std::istream* in_ = nullptr;
    std::string pending_;
    bool eof_ = false;
};

// The phonetic string of `text`, uncut (a text too long for an uncut
// translation is cut at the translator's largest capacity).
std::string TranslatePiece(translate::Translator& translator, const std::string& text);

// Speaks a text on the speech channel of a live mixer as it plays: each
// TopUp translates and renders just enough to keep the channel ahead of the
// mixing, through the same renderer as a rendering to a file, so the
// channel receives exactly the samples of that file after its start delay.
// The channel plays them at once: live speech has no start delay.
class SpeechFeed {
  public:
    // `phonetic`: the pieces are phonetic strings already. The references
    // must outlive the feed.
    SpeechFeed(mixer::Mixer& mixer, const voice::PhonTable& table,
               const wave::ProsodySettings& prosody, bool phonetic, TextPieces& text);
    ~SpeechFeed();
    SpeechFeed(const SpeechFeed&) = delete;
    SpeechFeed& operator=(const SpeechFeed&) = delete;

    // Queues speech until at least `ahead` samples wait on the channel or
    // the text is used up. A clip that cannot be queued is a failure that
    // says so; the feed queues nothing more after one.
    base::Result TopUp(int32_t ahead);
    // Every sample of the text has been queued.
    bool Done() const;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace vocalith::cli
