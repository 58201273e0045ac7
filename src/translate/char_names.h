#pragma once
// Character names and abbreviations: the 128 spoken character names, spelling
// a collected word letter by letter, and the titles DR, MR, MRS and PHD before
// a period.
namespace vocalith::translate {

// Names of the character codes 0..127; every name ends with one blank except
// that of code 4 (none) and those of "G" and "g" (two).
extern const char* const AsciiNames[128];

// Emits the name of the character whose code is the low seven bits of c.
void SayAscii(int c);

// Emits the names of the characters between the two blanks of a collected
// word; a word of two blanks or fewer says nothing.
void SpellWord(const char* word);

// For a collected word followed by a period (C0 is "."): speaks the titles DR,
// MR, MRS as whole words and spells PHD, consuming the period; any other word
// is translated by the rules and the period stays in place.
void ExpandAbbreviation(const char* word);

}  // namespace vocalith::translate
