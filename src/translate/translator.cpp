// Translation driver and input scanner: the entry point, the output
// primitives, the input reader, the look-ahead window, the dispatch loop and
// the word and other-character handlers.
#include <cstring>
#include <utility>

#include "translate/translate.h"
#include "translate/translator_state.h"
#include "translate/word_cache.h"

namespace vocalith::translate {

Translator::Translator(DiagnosticSink sink, RuleEngineMode mode)
    : sink_(std::move(sink)), mode_(mode) {}

Translator::~Translator() = default;

void Translator::StartOutput(char* out, int32_t capacity) {
    outputStart_ = out;
    outputCursor_ = out;
    capacity_ = capacity;
    // The caller guarantees one writable byte, whatever the capacity.
    if (out != nullptr) out[0] = '\0';
}

void Translator::EmitChar(int c) {
    if (outputCursor_ == nullptr) return;
    // Widened so that capacity - 2 cannot overflow for any capacity.
    const int64_t used = outputCursor_ - outputStart_;
    if (used >= static_cast<int64_t>(capacity_) - 2) return;
    *outputCursor_++ = static_cast<char>(c & 0xFF);
    *outputCursor_ = '\0';
}

void Translator::EmitString(const char* s) {
    EmitChars(s, std::strlen(s));
}

void Translator::EmitChars(const char* s, size_t length) {
    // Same as EmitChar for each character, with the room checked once.
    if (outputCursor_ == nullptr || length == 0) return;
    const int64_t room = static_cast<int64_t>(capacity_) - 2 - (outputCursor_ - outputStart_);
    if (room <= 0) return;  // nothing appended: nothing written
    const size_t n = static_cast<uint64_t>(room) < length ? static_cast<size_t>(room) : length;
    std::memcpy(outputCursor_, s, n);
    outputCursor_ += n;
    *outputCursor_ = '\0';
}

void Translator::RefillWindow() {
    // Reading stops at the next newline, whose copies already fill the
    // positions behind it.
    C0 = ReadInputChar();
    if (C0 == END_OF_INPUT) {
        C1 = C2 = C3 = END_OF_INPUT;
        return;
    }
    if (C0 == NEWLINE) return;
    C1 = ReadInputChar();
    if (C1 == END_OF_INPUT) {
        C2 = C3 = END_OF_INPUT;
        return;
    }
    if (C1 == NEWLINE) return;
    C2 = ReadInputChar();
    if (C2 == END_OF_INPUT) {
        C3 = END_OF_INPUT;
        return;
    }
    if (C2 == NEWLINE) return;
    C3 = ReadInputChar();
}

void Translator::ScanWord() {
    char word[WORD_BUFFER_SIZE];
    word[0] = ' ';
    word[1] = static_cast<char>(ToUpper(C0));
    int n = 2;
    AdvanceWindow();
    while (IsWordChar(C0)) {
        word[n++] = static_cast<char>(ToUpper(C0));
        if (n > WORD_CHUNK) {
            // A full chunk is spoken as a word of its own; collection goes on
            // behind the leading blank.
            word[WORD_CHUNK + 1] = ' ';
            word[WORD_CHUNK + 2] = '\0';
            TranslateWord(word, WORD_CHUNK + 2);
            n = 1;
        }
        AdvanceWindow();
    }
    word[n] = ' ';
    word[n + 1] = '\0';

    if (IsDigit(C0)) {
        // Letters glued to digits (a part number) are spelled; the digits
        // follow as a number.
        SpellWord(word);
        return;
    }
    if (n == 2) {
        SayAscii(static_cast<unsigned char>(word[1]));
    } else if (C0 == '.') {
        ExpandAbbreviation(word);
    } else {
        TranslateWord(word, static_cast<size_t>(n) + 1);
    }
    // A hyphen between two words is dropped; any other stays for ScanOther.
    if (C0 == '-' && IsLetter(C1)) AdvanceWindow();
}

void Translator::ScanOther() {
    if (C0 == NEWLINE) {
        EmitChar(NEWLINE);
    } else if (!IsWhiteSpace(C0)) {
        // Bytes 128..255 are other characters too; SayAscii folds them onto
        // the name of their low seven bits.
        SayAscii(C0);
    }
    AdvanceWindow();
}

int32_t Translator::TranslateText(const char* text, char* out, int32_t capacity) {
    input_ = reinterpret_cast<const unsigned char*>(text);
    StartOutput(out, capacity);

    C0 = C1 = C2 = C3 = NEWLINE;
    AdvanceWindow();
    while (C0 != END_OF_INPUT) {
        if (IsDigit(C0)) {
            ScanNumber();
        } else if (IsWordChar(C0)) {
            ScanWord();
        } else if (C0 == '$' && IsDigit(C1)) {
            ScanDollars();
        } else {
            ScanOther();
        }
    }
    // Nothing emits a NUL character, so the cursor marks the string's end.
    return static_cast<int32_t>(outputCursor_ - outputStart_);
}

int32_t TranslateText(const char* text, char* out, int32_t capacity, const DiagnosticSink& sink) {
    Translator translator(sink);
    return translator.TranslateText(text, out, capacity);
}

}  // namespace vocalith::translate
