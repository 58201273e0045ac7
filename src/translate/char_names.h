#pragma once
// Character names: the 128 spoken names that Translator::SayAscii,
// SpellWord and ExpandAbbreviation (char_names.cpp) speak.
namespace vocalith::translate {

// Names of the character codes 0..127; every name ends with one blank except
// that of code 4 (none) and those of "G" and "g" (two).
extern const char* const AsciiNames[128];

}  // namespace vocalith::translate
