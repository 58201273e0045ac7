#include "voice/phonetic_render.h"

#include <cstddef>

#include "mixer/mixer.h"
#include "voice/phon_table.h"
#include "wave/pcm_format.h"

namespace vocalith::voice {

std::vector<int16_t> RenderPhoneticToSamples(const char* phonetic) {
    mixer::Mixer& mixer = mixer::TheMixer();
    mixer::ClearAllChannels(mixer);

    mixer::TickClock* previous = &mixer::Clock();
    mixer::FakeTickClock clock(1);
    mixer::SetClock(&clock);

    SpeakPhonetic(phonetic);
    std::vector<int16_t> out;
    const mixer::MixerChannel& speech = mixer.channels[mixer::SPEECH_CHANNEL];
    if (speech.head != nullptr) {
        out.reserve(static_cast<std::size_t>(START_DELAY_SAMPLES) +
                    static_cast<std::size_t>(speech.queuedSamples));
        // The start delay, as the window would play it: silence until the
        // clock reaches startTick + 450.
        out.assign(static_cast<std::size_t>(START_DELAY_SAMPLES), 0);
        const uint32_t playFrom = speech.startTick + mixer::START_DELAY_TICKS;
        clock.Set(playFrom);

        constexpr int32_t kBlock = 1 << 16;
        std::vector<int16_t> block(kBlock);
        uint64_t renderedSamples = 0;
        for (;;) {
            const int32_t n = mixer::MixBlock(mixer, block.data(), kBlock, true, true);
            out.insert(out.end(), block.begin(), block.begin() + n);
            // Keep the simulated clock in step with the audio produced.
            renderedSamples += static_cast<uint64_t>(n);
            clock.Set(playFrom +
                      static_cast<uint32_t>(renderedSamples * 1000 / wave::SYSTEM_SAMPLE_RATE));
            if (n < kBlock) break;
        }
    }
    mixer::ClearAllChannels(mixer);
    mixer::SetClock(previous);
    return out;
}

}  // namespace vocalith::voice
