#include "voice/phonetic_render.h"

#include <cstddef>

#include "audio/mixer.h"
#include "voice/phon_table.h"

namespace vocalith::voice {

std::vector<int16_t> RenderPhoneticToSamples(const char* phonetic) {
    audio::Mixer& mixer = audio::TheMixer();
    audio::ClearAllChannels(mixer);

    audio::TickClock* previous = &audio::Clock();
    audio::FakeTickClock clock(1);
    audio::SetClock(&clock);

    SpeakPhonetic(phonetic);
    std::vector<int16_t> out;
    const audio::MixerChannel& speech = mixer.channels[audio::SPEECH_CHANNEL];
    if (speech.head != nullptr) {
        out.reserve(static_cast<std::size_t>(START_DELAY_SAMPLES) +
                    static_cast<std::size_t>(speech.queuedSamples));
        // The start delay, as the window would play it: silence until the
        // clock reaches startTick + 450.
        out.assign(static_cast<std::size_t>(START_DELAY_SAMPLES), 0);
        const uint32_t playFrom = speech.startTick + audio::START_DELAY_TICKS;
        clock.Set(playFrom);

        constexpr int32_t kBlock = 1 << 16;
        std::vector<int16_t> block(kBlock);
        uint64_t renderedSamples = 0;
        for (;;) {
            const int32_t n = audio::MixBlock(mixer, block.data(), kBlock, true, true);
            out.insert(out.end(), block.begin(), block.begin() + n);
            // Keep the simulated clock in step with the audio produced.
            renderedSamples += static_cast<uint64_t>(n);
            clock.Set(playFrom + static_cast<uint32_t>(renderedSamples * 1000 / 11025));
            if (n < kBlock) break;
        }
    }
    audio::ClearAllChannels(mixer);
    audio::SetClock(previous);
    return out;
}

}  // namespace vocalith::voice
