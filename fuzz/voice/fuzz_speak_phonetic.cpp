// Random phonetic text spoken with a small random voice, then the speech
// channel drained on a simulated clock: every queued sample comes out, in
// order, and the channel ends empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mixer/mixer.h"
#include "voice/phon_table.h"

using namespace vocalith;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static voice::PhonTable table;  // a megabyte: kept between runs, refilled by each
    // The first byte sizes the clips; each slot gets its code as its samples.
    const int32_t length = data[0] % 8;
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        voice::PhonSlot& slot = table.slots[static_cast<size_t>(code)];
        slot.count = (code + length) % 3 == 0 ? 0 : length;
        for (int32_t i = 0; i < slot.count; ++i)
            slot.samples[static_cast<size_t>(i)] = static_cast<int16_t>(code);
    }
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    mixer::FakeTickClock clock(static_cast<uint32_t>(size) * 2654435761u);
    mixer::Mixer mixer(&clock);
    voice::SpeakPhonetic(mixer, table, text.c_str());
    const mixer::MixerChannel& ch = mixer.channels[mixer::SPEECH_CHANNEL];
    const int32_t queued = ch.queuedSamples - ch.position;

    std::vector<int16_t> out(static_cast<size_t>(queued) + 16);
    int16_t block[97];
    size_t total = 0;
    clock.Advance(mixer::START_DELAY_TICKS);
    for (;;) {
        const int32_t n = mixer::MixBlock(mixer, block, 97, true, true);
        for (int32_t i = 0; i < n; ++i) {
            if (total >= out.size()) std::abort();  // more samples than queued
            out[total++] = block[i];
        }
        if (n < 97) break;
        clock.Advance(9);
    }
    if (total != static_cast<size_t>(queued)) std::abort();
    if (ch.head != nullptr || ch.startTick != 0 || ch.clipCount != 0) std::abort();
    return 0;
}
