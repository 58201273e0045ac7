#pragma once
// Constants and character classes shared by the parts of the translator.
// Internal to the translator library.
#include <array>
#include <cstdint>

#include "translate/translate.h"

namespace vocalith::translate {

// Word buffer: a blank, up to WORD_CHUNK characters, a blank and the NUL.
inline constexpr int WORD_CHUNK = 126;
inline constexpr int WORD_BUFFER_SIZE = WORD_CHUNK + 3;

// Character classes, one bit each, for the codes 0..255. Only 7-bit codes
// belong to any class; the window's END_OF_INPUT belongs to none.
enum CharClass : uint16_t {
    CLASS_DIGIT = 1 << 0,
    CLASS_UPPER = 1 << 1,
    CLASS_LETTER = 1 << 2,
    CLASS_WHITE_SPACE = 1 << 3,
    CLASS_WORD = 1 << 4,  // a letter or an apostrophe: collected into words
    // Sets the rule contexts test.
    CLASS_VOWEL = 1 << 5,            // A E I O U
    CLASS_CONSONANT = 1 << 6,        // an upper-case letter that is no vowel
    CLASS_FRONT_VOWEL = 1 << 7,      // E I Y
    CLASS_VOICED = 1 << 8,           // B D G J L M N R V W Z
    CLASS_CONTEXT_LITERAL = 1 << 9,  // an upper-case letter, apostrophe or blank
};

constexpr std::array<uint16_t, 256> MakeCharClasses() {
    std::array<uint16_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        uint16_t bits = 0;
        const bool upper = c >= 'A' && c <= 'Z';
        const bool lower = c >= 'a' && c <= 'z';
        if (c >= '0' && c <= '9') bits |= CLASS_DIGIT;
        if (upper) bits |= CLASS_UPPER;
        if (upper || lower) bits |= CLASS_LETTER | CLASS_WORD;
        if (c == '\'') bits |= CLASS_WORD;
        if (c == ' ' || (c >= 9 && c <= 13)) bits |= CLASS_WHITE_SPACE;
        const bool vowel = c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U';
        if (vowel) bits |= CLASS_VOWEL;
        if (upper && !vowel) bits |= CLASS_CONSONANT;
        if (c == 'E' || c == 'I' || c == 'Y') bits |= CLASS_FRONT_VOWEL;
        for (const char v : {'B', 'D', 'G', 'J', 'L', 'M', 'N', 'R', 'V', 'W', 'Z'}) {
            if (c == v) bits |= CLASS_VOICED;
        }
        if (upper || c == '\'' || c == ' ') bits |= CLASS_CONTEXT_LITERAL;
        table[static_cast<size_t>(c)] = bits;
    }
    return table;
}

inline constexpr std::array<uint16_t, 256> CHAR_CLASSES = MakeCharClasses();

// Whether c (a code 0..255 or END_OF_INPUT) is in any of `classes`.
constexpr bool InClass(int c, uint16_t classes) {
    return static_cast<unsigned>(c) < 256u && (CHAR_CLASSES[static_cast<size_t>(c)] & classes) != 0;
}

constexpr bool IsDigit(int c) {
    return InClass(c, CLASS_DIGIT);
}
constexpr bool IsUpper(int c) {
    return InClass(c, CLASS_UPPER);
}
constexpr bool IsLetter(int c) {
    return InClass(c, CLASS_LETTER);
}
constexpr bool IsWhiteSpace(int c) {
    return InClass(c, CLASS_WHITE_SPACE);
}
constexpr bool IsWordChar(int c) {
    return InClass(c, CLASS_WORD);
}
constexpr int ToUpper(int c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

}  // namespace vocalith::translate
