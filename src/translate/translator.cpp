// Translation driver and input scanner: the entry point, the output
// primitives, the input reader, the look-ahead window, the dispatch loop and
// the word and other-character handlers.
#include "translate/char_names.h"
#include "translate/numbers.h"
#include "translate/rule_engine.h"
#include "translate/translate.h"
#include "translate/translator_state.h"

namespace vocalith::translate {

Translator theTranslator;

void StartOutput(char* out, int32_t capacity) {
    Translator& t = theTranslator;
    t.outputStart = out;
    t.outputCursor = out;
    t.capacity = capacity;
    // The caller guarantees one writable byte, whatever the capacity.
    if (out != nullptr) out[0] = '\0';
}

void EmitChar(int c) {
    Translator& t = theTranslator;
    if (t.outputCursor == nullptr) return;
    // Widened so that capacity - 2 cannot overflow for any capacity.
    const int64_t used = t.outputCursor - t.outputStart;
    if (used >= static_cast<int64_t>(t.capacity) - 2) return;
    *t.outputCursor++ = static_cast<char>(c & 0xFF);
    *t.outputCursor = '\0';
}

void EmitString(const char* s) {
    // Same as EmitChar for each character, with the room checked once.
    Translator& t = theTranslator;
    if (t.outputCursor == nullptr) return;
    int64_t room = static_cast<int64_t>(t.capacity) - 2 - (t.outputCursor - t.outputStart);
    char* cursor = t.outputCursor;
    while (*s != '\0' && room > 0) {
        *cursor++ = *s++;
        --room;
    }
    if (cursor == t.outputCursor) return;  // nothing appended: nothing written
    *cursor = '\0';
    t.outputCursor = cursor;
}

int ReadInputChar() {
    Translator& t = theTranslator;
    // Bytes are read unsigned, so 0xFF is a character and only the NUL ends
    // the text. The cursor stays on the NUL, so every later call ends too.
    if (t.input == nullptr || *t.input == 0) return END_OF_INPUT;
    return *t.input++;
}

void AdvanceWindow() {
    Translator& t = theTranslator;
    if (t.C0 == NEWLINE && t.C1 == NEWLINE && t.C2 == NEWLINE && t.C3 == NEWLINE) {
        // Refill after a newline has left the window. Reading stops at the
        // next newline, whose copies already fill the positions behind it.
        t.C0 = ReadInputChar();
        if (t.C0 == END_OF_INPUT) {
            t.C1 = t.C2 = t.C3 = END_OF_INPUT;
            return;
        }
        if (t.C0 == NEWLINE) return;
        t.C1 = ReadInputChar();
        if (t.C1 == END_OF_INPUT) {
            t.C2 = t.C3 = END_OF_INPUT;
            return;
        }
        if (t.C1 == NEWLINE) return;
        t.C2 = ReadInputChar();
        if (t.C2 == END_OF_INPUT) {
            t.C3 = END_OF_INPUT;
            return;
        }
        if (t.C2 == NEWLINE) return;
        t.C3 = ReadInputChar();
        return;
    }
    t.C0 = t.C1;
    t.C1 = t.C2;
    t.C2 = t.C3;
    // A newline or the end in C3 is repeated behind itself, so the window
    // never looks past the end of a line.
    if (t.C3 != NEWLINE && t.C3 != END_OF_INPUT) t.C3 = ReadInputChar();
}

namespace {

bool IsWordChar(int c) {
    return IsLetter(c) || c == '\'';
}

}  // namespace

void ScanWord() {
    Translator& t = theTranslator;
    char word[WORD_BUFFER_SIZE];
    word[0] = ' ';
    word[1] = static_cast<char>(ToUpper(t.C0));
    int n = 2;
    AdvanceWindow();
    while (IsWordChar(t.C0)) {
        word[n++] = static_cast<char>(ToUpper(t.C0));
        if (n > WORD_CHUNK) {
            // A full chunk is spoken as a word of its own; collection goes on
            // behind the leading blank.
            word[WORD_CHUNK + 1] = ' ';
            word[WORD_CHUNK + 2] = '\0';
            TranslateWord(word);
            n = 1;
        }
        AdvanceWindow();
    }
    word[n] = ' ';
    word[n + 1] = '\0';

    if (IsDigit(t.C0)) {
        // Letters glued to digits (a part number) are spelled; the digits
        // follow as a number.
        SpellWord(word);
        return;
    }
    if (n == 2) {
        SayAscii(static_cast<unsigned char>(word[1]));
    } else if (t.C0 == '.') {
        ExpandAbbreviation(word);
    } else {
        TranslateWord(word);
    }
    // A hyphen between two words is dropped; any other stays for ScanOther.
    if (t.C0 == '-' && IsLetter(t.C1)) AdvanceWindow();
}

void ScanOther() {
    Translator& t = theTranslator;
    if (t.C0 == NEWLINE) {
        EmitChar(NEWLINE);
    } else if (!IsWhiteSpace(t.C0)) {
        // Bytes 128..255 are other characters too; SayAscii folds them onto
        // the name of their low seven bits.
        SayAscii(t.C0);
    }
    AdvanceWindow();
}

int32_t TranslateText(const char* text, char* out, int32_t capacity) {
    Translator& t = theTranslator;
    t.input = reinterpret_cast<const unsigned char*>(text);
    StartOutput(out, capacity);

    t.C0 = t.C1 = t.C2 = t.C3 = NEWLINE;
    AdvanceWindow();
    while (t.C0 != END_OF_INPUT) {
        if (IsDigit(t.C0)) {
            ScanNumber();
        } else if (IsWordChar(t.C0)) {
            ScanWord();
        } else if (t.C0 == '$' && IsDigit(t.C1)) {
            ScanDollars();
        } else {
            ScanOther();
        }
    }
    // Nothing emits a NUL character, so the cursor marks the string's end.
    return static_cast<int32_t>(t.outputCursor - t.outputStart);
}

}  // namespace vocalith::translate
