#include "voice/phonetic_render.h"

#include <algorithm>
#include <array>
#include <cstddef>

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

base::Result RenderPhonetic(const char* phonetic, const PhonTable& table, SampleSink& sink) {
    mixer::FakeTickClock clock(1);
    mixer::Mixer mixer(&clock);
    const mixer::MixerChannel& speech = mixer.channels[mixer::SPEECH_CHANNEL];
    std::array<int16_t, kBlock> block{};
    std::size_t pos = 0;
    bool started = false;
    for (;;) {
        int code = -1;
        while (speech.queuedSamples - speech.position < kQueueAhead &&
               NextPhonetic(phonetic, pos, code)) {
            if (code >= 0) PlayPhon(mixer, table, code);
        }
        if (speech.head == nullptr) return {};
        if (!started) {
            // The start delay, as the window would play it.
            const std::array<int16_t, START_DELAY_SAMPLES> silence{};
            if (base::Result r = sink.Write(silence); !r) return r;
            started = true;
        }
        // Play on from the end of the channel's start delay: a channel that
        // is never left empty has no further delay, so the clips follow each
        // other with no gap.
        clock.Set(speech.startTick + mixer::START_DELAY_TICKS);
        const int32_t left = speech.queuedSamples - speech.position;
        const int32_t n = mixer::MixBlock(mixer, block.data(), std::min(kBlock, left), true, true);
        if (n <= 0) return {};
        if (base::Result r =
                sink.Write(std::span<const int16_t>(block.data(), static_cast<size_t>(n)));
            !r) {
            return r;
        }
    }
}

std::vector<int16_t> RenderPhoneticToSamples(const char* phonetic, const PhonTable& table) {
    std::vector<int16_t> out;
    VectorSink sink(out);
    RenderPhonetic(phonetic, table, sink);
    return out;
}

}  // namespace vocalith::voice
