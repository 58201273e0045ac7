#pragma once
// The Translator's state and its primitives, shared by the parts of the
// translator: the output primitives every part writes through (EmitChar,
// EmitString), the input reader, the four-character look-ahead window, the
// 7-bit character classes, and the word and other-character handlers of the
// dispatch loop. Internal to the translator library.
#include <cstdint>

namespace vocalith::translate {

// End-of-input marker in the look-ahead window.
inline constexpr int END_OF_INPUT = -1;
inline constexpr int NEWLINE = 10;

// Word buffer: a blank, up to WORD_CHUNK characters, a blank and the NUL.
inline constexpr int WORD_CHUNK = 126;
inline constexpr int WORD_BUFFER_SIZE = WORD_CHUNK + 3;

// The one Translator. Every field is set by TranslateText before it scans;
// afterwards the pointers still point into the caller's buffers.
struct Translator {
    const unsigned char* input = nullptr;  // next unread character; null reads as empty
    char* outputStart = nullptr;
    char* outputCursor = nullptr;  // null until the first translation: EmitChar then does nothing
    int32_t capacity = 0;
    // Look-ahead window: a character code 0..255, NEWLINE, or END_OF_INPUT.
    int C0 = END_OF_INPUT;
    int C1 = END_OF_INPUT;
    int C2 = END_OF_INPUT;
    int C3 = END_OF_INPUT;
};

extern Translator theTranslator;

// Points the output at `out` (at least one writable byte), stores `capacity`
// and writes the NUL at out[0].
void StartOutput(char* out, int32_t capacity);

// Appends the low 8 bits of c unless the output already holds capacity - 2
// characters; the output stays NUL-terminated after every character.
void EmitChar(int c);
void EmitString(const char* s);

// Next input byte (0..255; only the NUL ends the text), or END_OF_INPUT.
int ReadInputChar();
// Moves the window on by one character; never reads past a newline.
void AdvanceWindow();

// Token handlers of the dispatch loop; each consumes at least C0.
void ScanWord();
void ScanOther();

// Character classes for 7-bit codes; every other value belongs to none.
constexpr bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsUpper(int c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool IsLetter(int c) {
    return IsUpper(c) || (c >= 'a' && c <= 'z');
}
constexpr bool IsWhiteSpace(int c) {
    return c == ' ' || (c >= 9 && c <= 13);
}
constexpr int ToUpper(int c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

}  // namespace vocalith::translate
