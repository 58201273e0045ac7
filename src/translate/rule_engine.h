#pragma once
// Letter-to-sound rule engine: TranslateWord walks a collected word (upper-case
// letters, apostrophes and blanks, a blank at each end) through the rule
// lists and emits the phonemes of the first fitting rule at each position.
// Diagnostics (a missing rule, a bad context symbol) go to standard error.
#include <cstdint>

namespace vocalith::translate {

// One letter-to-sound rule. Context symbols: "#" one or more vowels, ":" zero
// or more consonants, "^" one consonant, "+" a front vowel (E I Y), "." a
// voiced consonant, "%" (right only) a suffix ELY, ER, ES, ED, E or ING;
// letters, apostrophes and blanks stand for themselves.
struct LetterRule {
    const char* left;    // left-context pattern; "" sets no condition
    const char* match;   // compared literally; null only in a list's terminator
    const char* right;   // right-context pattern; "" sets no condition
    const char* output;  // phonemes; "" for a silent letter
};

inline constexpr int RULE_LIST_COUNT = 27;

// List 0 holds the rules for characters that are not upper-case letters,
// lists 1..26 those for "A".."Z". Each list ends with a null-match terminator.
extern const LetterRule* const RuleLists[RULE_LIST_COUNT];

// Emits the phonemes of `word`, which starts with a blank (context only) and
// ends with a blank before its NUL.
void TranslateWord(const char* word);

// Applies the first rule of `list` that fits at `index` (>= 1) and returns the
// position after the matched characters; with no rule, reports it on standard
// error and returns index + 1.
int32_t FindRule(const char* word, int32_t index, const LetterRule* list);

// Context tests: `position` is the character just left (right) of the match.
bool MatchLeftContext(const char* pattern, const char* word, int32_t position);
bool MatchRightContext(const char* pattern, const char* word, int32_t position);

bool IsVowel(int c);      // A E I O U
bool IsConsonant(int c);  // an upper-case letter that is no vowel, "Y" included

}  // namespace vocalith::translate
