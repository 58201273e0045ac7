// Letter-to-sound rule engine.
#include "translate/rule_engine.h"
#include "base/user_errors.h"

#include <cstdio>

#include "translate/translator_state.h"

namespace vocalith::translate {

namespace {

bool IsFrontVowel(int c) {
    return c == 'E' || c == 'I' || c == 'Y';
}

bool IsVoicedConsonant(int c) {
    switch (c) {
        case 'B':
        case 'D':
        case 'G':
        case 'J':
        case 'L':
        case 'M':
        case 'N':
        case 'R':
        case 'V':
        case 'W':
        case 'Z':
            return true;
        default:
            return false;
    }
}

bool IsLiteral(int c) {
    return IsUpper(c) || c == '\'' || c == ' ';
}

// The word character at p; a position before the word reads as the NUL, so a
// word handed in without its leading blank is never read out of bounds.
int At(const char* word, int32_t p) {
    return p < 0 ? 0 : static_cast<unsigned char>(word[p]);
}

}  // namespace

bool IsVowel(int c) {
    return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U';
}

bool IsConsonant(int c) {
    return IsUpper(c) && !IsVowel(c);
}

bool MatchLeftContext(const char* pattern, const char* word, int32_t position) {
    int32_t length = 0;
    while (pattern[length] != '\0') ++length;
    int32_t p = position;
    for (int32_t i = length - 1; i >= 0; --i) {
        const int symbol = static_cast<unsigned char>(pattern[i]);
        if (IsLiteral(symbol)) {
            if (At(word, p) != symbol) return false;
            --p;
        } else if (symbol == '#') {
            if (!IsVowel(At(word, p))) return false;
            while (IsVowel(At(word, p))) --p;
        } else if (symbol == ':') {
            while (IsConsonant(At(word, p))) --p;
        } else if (symbol == '^') {
            if (!IsConsonant(At(word, p))) return false;
            --p;
        } else if (symbol == '+') {
            if (!IsFrontVowel(At(word, p))) return false;
            --p;
        } else if (symbol == '.') {
            if (!IsVoicedConsonant(At(word, p))) return false;
            --p;
        } else {
            std::fprintf(base::UserErrors(), "Bad char in left rule: '%c'\n", pattern[i]);
            return false;
        }
    }
    return true;
}

bool MatchRightContext(const char* pattern, const char* word, int32_t position) {
    int32_t p = position;
    for (const char* s = pattern; *s != '\0'; ++s) {
        const int symbol = static_cast<unsigned char>(*s);
        // No symbol accepts the NUL, so p never moves past the word's end.
        const int c = static_cast<unsigned char>(word[p]);
        if (IsLiteral(symbol)) {
            if (c != symbol) return false;
            ++p;
        } else if (symbol == '#') {
            if (!IsVowel(c)) return false;
            while (IsVowel(static_cast<unsigned char>(word[p]))) ++p;
        } else if (symbol == ':') {
            while (IsConsonant(static_cast<unsigned char>(word[p]))) ++p;
        } else if (symbol == '^') {
            if (!IsConsonant(c)) return false;
            ++p;
        } else if (symbol == '+') {
            if (!IsFrontVowel(c)) return false;
            ++p;
        } else if (symbol == '.') {
            if (!IsVoicedConsonant(c)) return false;
            ++p;
        } else if (symbol == '%') {
            // Suffixes, tested in this order: ELY, ER/ES/ED, E, ING. Each
            // character is looked at only when the one before it is no NUL.
            if (c == 'E') {
                const char next = word[p + 1];
                if (next == 'L' && word[p + 2] == 'Y') {
                    p += 3;
                } else if (next == 'R' || next == 'S' || next == 'D') {
                    p += 2;
                } else {
                    p += 1;
                }
            } else if (c == 'I' && word[p + 1] == 'N' && word[p + 2] == 'G') {
                p += 3;
            } else {
                return false;
            }
        } else {
            std::fprintf(base::UserErrors(), "Bad char in right rule:'%c'\n", *s);
            return false;
        }
    }
    return true;
}

int32_t FindRule(const char* word, int32_t index, const LetterRule* list) {
    for (const LetterRule* rule = list; rule->match != nullptr; ++rule) {
        int32_t length = 0;
        while (rule->match[length] != '\0' && rule->match[length] == word[index + length]) {
            ++length;
        }
        if (rule->match[length] != '\0') continue;
        // Most rules have empty contexts, which always hold.
        if (rule->left[0] != '\0' && !MatchLeftContext(rule->left, word, index - 1)) continue;
        if (rule->right[0] != '\0' && !MatchRightContext(rule->right, word, index + length)) {
            continue;
        }
        EmitString(rule->output);
        return index + length;
    }
    std::fprintf(base::UserErrors(), "Error: Can't find rule for: '%c' in \"%s\"\n", word[index],
                 word);
    return index + 1;
}

void TranslateWord(const char* word) {
    // Position 0 holds the leading blank, which is only context. The NUL test
    // comes first so that a word shorter than its two blanks is never read
    // past its end.
    if (word[0] == '\0') return;
    int32_t position = 1;
    while (word[position] != '\0') {
        const int c = static_cast<unsigned char>(word[position]);
        const LetterRule* list = IsUpper(c) ? RuleLists[c - 'A' + 1] : RuleLists[0];
        position = FindRule(word, position, list);
    }
}

}  // namespace vocalith::translate
