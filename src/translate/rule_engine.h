#pragma once
// Letter-to-sound rule engine: Translator::TranslateWord walks a collected
// word (upper-case letters, apostrophes and blanks, a blank at each end)
// through the rule lists and emits the phonemes of the first fitting rule at
// each position. The rule data and the index the fast mode reads it through.
#include <cstdint>
#include <span>

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

// The list for the word character c.
int RuleListFor(int c);

bool IsVowel(int c);      // A E I O U
bool IsConsonant(int c);  // an upper-case letter that is no vowel, "Y" included

// A rule with the lengths of its strings.
struct SizedRule {
    const char* left;
    const char* match;
    const char* right;
    const char* output;
    uint8_t leftLength;
    uint8_t matchLength;
    uint8_t rightLength;
    uint8_t outputLength;
};

// The rules of one list that can fit at a position followed by `next`: those
// whose match text is one character long or whose second character is
// `next`, in the list's order. So the first of them that fits is the rule the
// whole list would choose. Built once, shared by every Translator.
std::span<const SizedRule> CandidateRules(int list, int next);

}  // namespace vocalith::translate
