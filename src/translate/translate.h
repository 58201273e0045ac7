#pragma once
// English text to phonetic string.
//
// A Translator scans a NUL-terminated text through a four-character window,
// sorts it into words, numbers, dollar amounts and other characters, and writes
// the phoneme symbols (blanks for silence, one newline per input line break)
// into `out`. At most capacity - 2 characters and a NUL are written, cut per
// character. TranslateText returns the length of the string in `out`. A null
// text reads as empty. Bytes 128..255 are characters (only the NUL ends the
// text), spoken by the name of their low seven bits; a digit string worth more
// than 2147483647 is spoken digit by digit.
//
// Each Translator owns its window, cursors and word cache: one translation at
// a time per object, any number of objects side by side (on any threads).
// The rule engine's diagnostics (a missing rule, a bad context symbol; none
// occur with the shipped rules) go to the sink the caller gives, one line per
// call, newline included; without a sink they are dropped.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace vocalith::translate {

// End-of-input marker in the look-ahead window, and the newline code.
inline constexpr int END_OF_INPUT = -1;
inline constexpr int NEWLINE = 10;

struct LetterRule;
class WordCache;

using DiagnosticSink = std::function<void(std::string_view line)>;

// How a Translator runs its words through the rules.
enum class RuleEngineMode {
    // Rules indexed by the next character, lengths kept with the rules, and
    // each word's translation remembered for its next appearance.
    Fast,
    // Every rule of the letter's list in turn, with no memory between words:
    // the reference the fast mode is checked against.
    Plain,
};

class Translator {
  public:
    explicit Translator(DiagnosticSink sink = {}, RuleEngineMode mode = RuleEngineMode::Fast);
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    int32_t TranslateText(const char* text, char* out, int32_t capacity);

    // The steps below are shared by the translator's parts (driver, rule
    // engine, numbers, character names); outside it they serve tests that
    // drive one part against an output started by StartOutput.

    // Points the output at `out` (at least one writable byte), stores
    // `capacity` and writes the NUL at out[0].
    void StartOutput(char* out, int32_t capacity);
    // Appends the low 8 bits of c unless the output already holds
    // capacity - 2 characters; the output stays NUL-terminated after every
    // character. Before the first StartOutput nothing is written.
    void EmitChar(int c);
    void EmitString(const char* s);
    // The same for `length` characters (no NUL among them).
    void EmitChars(const char* s, size_t length);

    // Next input byte (0..255; only the NUL ends the text), or END_OF_INPUT.
    int ReadInputChar() {
        // Bytes are read unsigned, so 0xFF is a character and only the NUL
        // ends the text. The cursor stays on the NUL, so every later call
        // ends too.
        if (input_ == nullptr || *input_ == 0) return END_OF_INPUT;
        return *input_++;
    }
    // Moves the window on by one character; never reads past a newline.
    void AdvanceWindow() {
        if (C0 == NEWLINE && C1 == NEWLINE && C2 == NEWLINE && C3 == NEWLINE) {
            RefillWindow();
            return;
        }
        C0 = C1;
        C1 = C2;
        C2 = C3;
        // A newline or the end in C3 is repeated behind itself, so the window
        // never looks past the end of a line.
        if (C3 != NEWLINE && C3 != END_OF_INPUT) C3 = ReadInputChar();
    }

    // Token handlers of the dispatch loop; each consumes at least C0.
    void ScanWord();
    void ScanOther();
    // Called with a digit in C0: consumes the digit string, an ordinal
    // suffix, a decimal fraction and letters glued to the number.
    void ScanNumber();
    // Called with "$" in C0 and a digit in C1: consumes the sign and the amount.
    void ScanDollars();

    void SayCardinal(int32_t n);
    void SayOrdinal(int32_t n);
    // Emits the name of the character whose code is the low seven bits of c.
    void SayAscii(int c);
    // Emits the names of the characters between the two blanks of a
    // collected word; a word of two blanks or fewer says nothing.
    void SpellWord(const char* word);
    // For a collected word followed by a period (C0 is "."): speaks the
    // titles DR, MR, MRS as whole words and spells PHD, consuming the period;
    // any other word is translated by the rules and the period stays.
    void ExpandAbbreviation(const char* word);

    // Emits the phonemes of `word`, which starts with a blank (context only)
    // and ends with a blank before its NUL.
    void TranslateWord(const char* word);
    // Applies the first rule of `list` that fits at `index` (>= 1) and
    // returns the position after the matched characters; with no rule,
    // reports it to the sink and returns index + 1.
    int32_t FindRule(const char* word, int32_t index, const LetterRule* list);
    // Context tests: `position` is the character just left (right) of the
    // match. A bad symbol is reported to the sink and fails the test.
    bool MatchLeftContext(const char* pattern, const char* word, int32_t position);
    bool MatchRightContext(const char* pattern, const char* word, int32_t position);
    bool MatchLeftContext(const char* pattern, size_t length, const char* word, int32_t position);
    bool MatchRightContext(const char* pattern, size_t length, const char* word, int32_t position);

    // Look-ahead window: a character code 0..255, the newline, or
    // END_OF_INPUT (-1).
    int C0 = END_OF_INPUT;
    int C1 = END_OF_INPUT;
    int C2 = END_OF_INPUT;
    int C3 = END_OF_INPUT;

  private:
    // AdvanceWindow after a newline has left the window.
    void RefillWindow();
    // TranslateWord for a word of known length.
    void TranslateWord(const char* word, size_t length);
    // Writes one diagnostic line to the sink.
    void Report(std::string_view line);
    // The fast mode's word translation into `phonemes`; false when it
    // reported a diagnostic (such a word is not remembered).
    bool TranslateWordFast(const char* word, size_t length, std::string& phonemes);

    const unsigned char* input_ = nullptr;  // next unread character; null reads as empty
    char* outputStart_ = nullptr;
    char* outputCursor_ = nullptr;  // null until the first StartOutput
    int32_t capacity_ = 0;
    DiagnosticSink sink_;
    RuleEngineMode mode_;
    uint64_t reports_ = 0;              // diagnostics reported so far
    std::unique_ptr<WordCache> cache_;  // fast mode: made at the first word
    std::string phonemes_;              // fast mode: one word's translation
};

// One translation with a Translator of its own.
int32_t TranslateText(const char* text, char* out, int32_t capacity,
                      const DiagnosticSink& sink = {});

// A capacity that never cuts the translation of `length` input characters:
// no input character says more than 24 output characters (the longest
// character name), so 32 per character and some slack always suffice.
constexpr int64_t UncutCapacity(size_t length) {
    return static_cast<int64_t>(length) * 32 + 64;
}

// The longest text whose uncut capacity fits the translator's 32-bit capacity.
inline constexpr int64_t MAX_UNCUT_LENGTH = (std::numeric_limits<int32_t>::max() - 64) / 32;

}  // namespace vocalith::translate
