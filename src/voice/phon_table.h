#pragma once
// The PhonTable: one recorded clip per phoneme, the current voice.
#include <array>
#include <cstddef>
#include <cstdint>

#include "mixer/mixer.h"
#include "voice/phoneme_inventory.h"

namespace vocalith::voice {

inline constexpr int32_t PHON_MAX_SAMPLES = 10000;

struct PhonSlot {
    int32_t count = 0;  // valid samples, 0..PHON_MAX_SAMPLES; 0 means no clip
    std::array<int16_t, PHON_MAX_SAMPLES> samples{};  // only the first count are meaningful
};

struct PhonTable {
    std::array<PhonSlot, PHONEME_COUNT> slots{};
};

// Zeroes every count and every sample of the table.
void ClearPhonTable(PhonTable& table);

// The start-up reset: empties all 38 channels of `mixer`, then clears `table`.
void ResetSoundTables(mixer::Mixer& mixer, PhonTable& table);

// Queues a copy of slot `code`'s clip of `table` on the speech channel of
// `mixer` (userValue 1, tag "noOne"); codes outside 0..41 and empty slots do
// nothing.
void PlayPhon(mixer::Mixer& mixer, const PhonTable& table, int code);

// Reads the symbol of `text` that starts at `pos` and moves `pos` past it;
// `code` receives its phoneme code, or -1 when it names none. False at the
// end of the text.
bool NextPhonetic(const char* text, std::size_t& pos, int& code);

// Cuts `text` into phoneme symbols and plays each one found, in order.
void SpeakPhonetic(mixer::Mixer& mixer, const PhonTable& table, const char* text);

}  // namespace vocalith::voice
