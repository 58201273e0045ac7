#include "voice/phonetic_render.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "mixer/mixer.h"
#include "mixer/tick_clock.h"

namespace vocalith::voice {

namespace {

// Samples kept queued ahead of the mixing, and mixed per step.
constexpr int32_t kQueueAhead = 1 << 16;
constexpr int32_t kBlock = 1 << 14;

class VectorSink final : public SampleSink {
  public:
    explicit VectorSink(std::vector<int16_t>& out) : out_(out) {}
    base::Result Write(std::span<const int16_t> samples) override {
        out_.insert(out_.end(), samples.begin(), samples.end());
        return {};
    }

  private:
    std::vector<int16_t>& out_;
};

}  // namespace

struct PhoneticRenderer::State {
    State(const PhonTable& t, SampleSink& k) : table(t), sink(k), mixer(&clock) {}
    const PhonTable& table;
    SampleSink& sink;
    mixer::FakeTickClock clock{1};
    mixer::Mixer mixer;
    std::string carry;   // the start of a symbol that the next piece completes
    bool ended = false;  // a NUL was seen
    bool started = false;
    base::Result failure;
    std::array<int16_t, kBlock> block{};
};

PhoneticRenderer::PhoneticRenderer(const PhonTable& table, SampleSink& sink)
    : s_(std::make_unique<State>(table, sink)) {}

PhoneticRenderer::~PhoneticRenderer() = default;

base::Result PhoneticRenderer::Mix(int32_t keepQueued) {
    const mixer::MixerChannel& speech = s_->mixer.channels[mixer::SPEECH_CHANNEL];
    while (mixer::SamplesLeft(speech) > keepQueued) {
        if (!s_->started) {
            // The start delay, as the window would play it.
            const std::array<int16_t, START_DELAY_SAMPLES> silence{};
            if (base::Result r = s_->sink.Write(silence); !r) return r;
            s_->started = true;
        }
        // Play on from the end of the channel's start delay: a channel that
        // is never left empty has no further delay, so the clips follow each
        // other with no gap.
        s_->clock.Set(speech.startTick + mixer::START_DELAY_TICKS);
        const int32_t left = mixer::SamplesLeft(speech) - keepQueued;
        const int32_t n =
            mixer::MixBlock(s_->mixer, s_->block.data(), std::min(kBlock, left), true, true);
        if (n <= 0) break;
        const std::span<const int16_t> mixed(s_->block.data(), static_cast<size_t>(n));
        if (base::Result r = s_->sink.Write(mixed); !r) return r;
    }
    return {};
}

base::Result PhoneticRenderer::Play(const char* symbols, size_t length, bool atEnd) {
    std::string text(symbols, length);
    size_t pos = 0;
    while (pos < text.size()) {
        // A symbol that may take the byte after the piece's end waits for
        // the next piece, unless this is the end of the string.
        const auto value = static_cast<int8_t>(static_cast<unsigned char>(text[pos]));
        if (!atEnd && pos + 1 == text.size() && text[pos] != ' ' && value <= 'Z') {
            s_->carry.assign(1, text[pos]);
            break;
        }
        int code = -1;
        NextPhonetic(text.c_str(), pos, code);
        if (code >= 0) PlayPhon(s_->mixer, s_->table, code);
        if (mixer::SamplesLeft(s_->mixer.channels[mixer::SPEECH_CHANNEL]) >= kQueueAhead) {
            if (base::Result r = Mix(kBlock); !r) return r;
        }
    }
    return {};
}

base::Result PhoneticRenderer::Feed(std::string_view piece) {
    if (!s_->failure.ok() || s_->ended) return s_->failure;
    if (const size_t nul = piece.find('\0'); nul != std::string_view::npos) {
        piece = piece.substr(0, nul);
        s_->ended = true;
    }
    std::string text = std::move(s_->carry);
    s_->carry.clear();
    text.append(piece);
    s_->failure = Play(text.data(), text.size(), s_->ended);
    return s_->failure;
}

base::Result PhoneticRenderer::Finish() {
    if (!s_->failure.ok()) return s_->failure;
    std::string text = std::move(s_->carry);
    s_->carry.clear();
    s_->failure = Play(text.data(), text.size(), true);
    if (s_->failure.ok()) s_->failure = Mix(0);
    return s_->failure;
}

ProsodySink::ProsodySink(const wave::ProsodySettings& settings, SampleSink& next)
    : next_(next),
      stream_(settings, [this](std::span<const int16_t> block) { return next_.Write(block); }) {}

base::Result ProsodySink::Write(std::span<const int16_t> samples) {
    const size_t delay = std::min(samples.size(), static_cast<size_t>(delayLeft_));
    if (delay > 0) {
        delayLeft_ -= static_cast<int32_t>(delay);
        if (base::Result r = next_.Write(samples.first(delay)); !r) return r;
    }
    return stream_.Put(samples.subspan(delay));
}

base::Result ProsodySink::Finish() {
    return stream_.Finish();
}

base::Result RenderPhonetic(const char* phonetic, const PhonTable& table, SampleSink& sink) {
    PhoneticRenderer renderer(table, sink);
    if (base::Result r = renderer.Feed(phonetic != nullptr ? phonetic : ""); !r) return r;
    return renderer.Finish();
}

std::vector<int16_t> RenderPhoneticToSamples(const char* phonetic, const PhonTable& table,
                                             const wave::ProsodySettings& prosody) {
    std::vector<int16_t> out;
    VectorSink vector(out);
    ProsodySink sink(prosody, vector);
    RenderPhonetic(phonetic, table, sink);
    sink.Finish();
    return out;
}

}  // namespace vocalith::voice
