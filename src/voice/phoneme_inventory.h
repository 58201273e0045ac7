#pragma once
// The constant inventory of 42 phonemes; it defines the phonetic notation.
#include <array>
#include <cstdint>

namespace vocalith::voice {

inline constexpr int PHONEME_COUNT = 42;
inline constexpr int SILENCE_CODE = 41;

struct PhonemeEntry {
    int32_t code;    // the row's position, 0..41
    char symbol[3];  // two upper-case letters (second may be any case), one lower-case, or " "
    char hint[21];   // an example word, the letters that carry the sound in capitals
};

extern const std::array<PhonemeEntry, PHONEME_COUNT> kInventory;

// The code of the row whose symbol equals `text` whole, ignoring ASCII case; -1 if none.
int LookupPhoneme(const char* text);

}  // namespace vocalith::voice
