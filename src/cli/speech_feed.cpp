#include "cli/speech_feed.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "base/user_errors.h"
#include "voice/phonetic_render.h"

namespace vocalith::cli {

bool TextPieces::Next(std::string& piece) {
    for (;;) {
        if (const size_t nul = pending_.find('\0'); nul != std::string::npos) {
            pending_.resize(nul);
            eof_ = true;
        }
        size_t cut = pending_.rfind('\n');
        if (cut == std::string::npos) cut = pending_.rfind(' ');
        if (eof_ || (cut != std::string::npos && pending_.size() >= BLOCK_BYTES)) {
            const size_t end = eof_ ? pending_.size() : cut + 1;
            if (end == 0) return false;
            piece.assign(pending_, 0, end);
            pending_.erase(0, end);
            return true;
        }
        std::string block(BLOCK_BYTES, '\0');
        in_->read(block.data(), static_cast<std::streamsize>(block.size()));
        block.resize(static_cast<size_t>(in_->gcount()));
        if (block.empty()) eof_ = true;
        pending_ += block;
    }
}

std::string TranslatePiece(translate::Translator& translator, const std::string& text) {
    const int64_t capacity = std::min<int64_t>(translate::UncutCapacity(text.size()), 0x7FFFFFF0);
    std::vector<char> out(static_cast<size_t>(capacity), '\0');
    const int32_t length =
        translator.TranslateText(text.c_str(), out.data(), static_cast<int32_t>(capacity));
    return std::string(out.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

namespace {

// Phonetic bytes handed to the renderer at a time: a few seconds of speech
// at most, so a TopUp never queues much more than it was asked for.
constexpr size_t PHONETIC_STEP = 64;

}  // namespace

struct SpeechFeed::State {
    // Queues a rendering on the speech channel, without the start delay it
    // begins with: the channel starts each run of clips at once.
    class QueueSink final : public voice::SampleSink {
      public:
        explicit QueueSink(mixer::Mixer& mixer) : mixer_(mixer) {}

        base::Result Write(std::span<const int16_t> samples) override {
            const size_t delay = std::min(samples.size(), delayLeft_);
            delayLeft_ -= delay;
            samples = samples.subspan(delay);
            if (samples.empty()) return {};
            mixer::MixerChannel& speech = mixer_.channels[mixer::SPEECH_CHANNEL];
            const bool wasEmpty = speech.head == nullptr;
            if (samples.size() > size_t{std::numeric_limits<int32_t>::max()} ||
                !mixer::TryQueueClip(mixer_, mixer::SPEECH_CHANNEL, 1, "noOne", samples.data(),
                                     static_cast<int32_t>(samples.size()))) {
                return base::Result::Fail("cannot queue " + std::to_string(samples.size()) +
                                          " samples of speech (out of memory)");
            }
            if (wasEmpty) mixer::EndStartDelay(speech, mixer_.Now());
            return {};
        }

      private:
        mixer::Mixer& mixer_;
        size_t delayLeft_ = voice::START_DELAY_SAMPLES;
    };

    State(mixer::Mixer& m, const voice::PhonTable& table, const wave::ProsodySettings& prosody,
          bool p, TextPieces& t)
        : mixer(m),
          phonetic(p),
          text(t),
          queue(m),
          prosodySink(prosody, queue),
          renderer(table, prosodySink),
          translator(base::WriteUserErrors) {}
    mixer::Mixer& mixer;
    const bool phonetic;
    TextPieces& text;
    QueueSink queue;
    voice::ProsodySink prosodySink;
    voice::PhoneticRenderer renderer;
    translate::Translator translator;
    std::string piece;
    std::string symbols;  // the phonetic string of the current piece
    size_t fed = 0;       // of `symbols`, the bytes handed to the renderer
    bool finished = false;
    base::Result failure;
};

SpeechFeed::SpeechFeed(mixer::Mixer& mixer, const voice::PhonTable& table,
                       const wave::ProsodySettings& prosody, bool phonetic, TextPieces& text)
    : s_(std::make_unique<State>(mixer, table, prosody, phonetic, text)) {}

SpeechFeed::~SpeechFeed() = default;

base::Result SpeechFeed::TopUp(int32_t ahead) {
    const mixer::MixerChannel& speech = s_->mixer.channels[mixer::SPEECH_CHANNEL];
    while (s_->failure.ok() && !s_->finished && mixer::SamplesLeft(speech) < ahead) {
        base::Result step;
        if (s_->fed < s_->symbols.size()) {
            const size_t n = std::min(PHONETIC_STEP, s_->symbols.size() - s_->fed);
            step = s_->renderer.Feed(std::string_view(s_->symbols).substr(s_->fed, n));
            s_->fed += n;
        } else if (s_->text.Next(s_->piece)) {
            s_->symbols =
                s_->phonetic ? std::move(s_->piece) : TranslatePiece(s_->translator, s_->piece);
            s_->fed = 0;
        } else {
            step = s_->renderer.Finish();
            if (step) step = s_->prosodySink.Finish();
            s_->finished = true;
        }
        s_->failure = std::move(step);
    }
    return s_->failure;
}

bool SpeechFeed::Done() const {
    return s_->finished && s_->failure.ok();
}

}  // namespace vocalith::cli
