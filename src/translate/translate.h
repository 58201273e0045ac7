#pragma once
// English text to phonetic string.
//
// TranslateText scans a NUL-terminated text through a four-character window,
// sorts it into words, numbers, dollar amounts and other characters, and writes
// the phoneme symbols (blanks for silence, one newline per input line break)
// into `out`. At most capacity - 2 characters and a NUL are written, cut per
// character. Returns the length of the string in `out`. A null text reads as
// empty. Bytes 128..255 are characters (only the NUL ends the text), spoken
// by the name of their low seven bits; a digit string worth more than
// 2147483647 is spoken digit by digit. Not re-entrant: one translation at a
// time.
#include <cstddef>
#include <cstdint>
#include <limits>

namespace vocalith::translate {

int32_t TranslateText(const char* text, char* out, int32_t capacity);

// A capacity that never cuts the translation of `length` input characters:
// no input character says more than 24 output characters (the longest
// character name), so 32 per character and some slack always suffice.
constexpr int64_t UncutCapacity(size_t length) {
    return static_cast<int64_t>(length) * 32 + 64;
}

// The longest text whose uncut capacity fits the translator's 32-bit capacity.
inline constexpr int64_t MAX_UNCUT_LENGTH = (std::numeric_limits<int32_t>::max() - 64) / 32;

}  // namespace vocalith::translate
