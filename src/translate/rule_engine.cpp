// Letter-to-sound rule engine.
#include "translate/rule_engine.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "translate/translate.h"
#include "translate/translator_state.h"
#include "translate/word_cache.h"

namespace vocalith::translate {

namespace {

// The word character at p; a position before the word reads as the NUL, so a
// word handed in without its leading blank is never read out of bounds.
int At(const char* word, int32_t p) {
    return p < 0 ? 0 : static_cast<unsigned char>(word[p]);
}

// What each context symbol asks of one character ("#" and ":" then take a
// run of it); 0 for a symbol that is no context symbol.
constexpr uint16_t SymbolClass(int symbol) {
    switch (symbol) {
        case '#':
            return CLASS_VOWEL;
        case ':':
        case '^':
            return CLASS_CONSONANT;
        case '+':
            return CLASS_FRONT_VOWEL;
        case '.':
            return CLASS_VOICED;
        default:
            return 0;
    }
}

// A bad-symbol line: `format` with the symbol in place of its %c.
std::string BadSymbolLine(const char* format, char symbol) {
    char line[64];
    std::snprintf(line, sizeof line, format, symbol);
    return line;
}

std::string MissingRuleLine(const char* word, int32_t index) {
    return "Error: Can't find rule for: '" + std::string(1, word[index]) + "' in \"" +
           std::string(word) + "\"\n";
}

// Where the second character of a match text sends a rule in the index:
// "A".."Z", the apostrophe, the blank, and one slot for everything else.
constexpr int NEXT_SLOTS = 29;
constexpr int NextSlot(int c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c == '\'') return 26;
    if (c == ' ') return 27;
    return 28;
}

// Match texts are a few characters long: a loop beats a call to memcmp.
bool SameChars(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

uint8_t Length(const char* s) {
    return static_cast<uint8_t>(std::strlen(s));
}

struct RuleIndex {
    std::vector<SizedRule> rules;
    // First rule and count of each list's slot.
    std::array<std::array<std::pair<uint32_t, uint32_t>, NEXT_SLOTS>, RULE_LIST_COUNT> slots{};

    RuleIndex() {
        for (int list = 0; list < RULE_LIST_COUNT; ++list) {
            for (int slot = 0; slot < NEXT_SLOTS; ++slot) {
                const auto first = static_cast<uint32_t>(rules.size());
                for (const LetterRule* r = RuleLists[list]; r->match != nullptr; ++r) {
                    const uint8_t length = Length(r->match);
                    if (length > 1 && NextSlot(static_cast<unsigned char>(r->match[1])) != slot) {
                        continue;
                    }
                    rules.push_back({r->left, r->match, r->right, r->output, Length(r->left),
                                     length, Length(r->right), Length(r->output)});
                }
                slots[static_cast<size_t>(list)][static_cast<size_t>(slot)] = {
                    first, static_cast<uint32_t>(rules.size()) - first};
            }
        }
    }
};

const RuleIndex& TheRuleIndex() {
    static const RuleIndex index;
    return index;
}

}  // namespace

bool IsVowel(int c) {
    return InClass(c, CLASS_VOWEL);
}

bool IsConsonant(int c) {
    return InClass(c, CLASS_CONSONANT);
}

int RuleListFor(int c) {
    return IsUpper(c) ? c - 'A' + 1 : 0;
}

std::span<const SizedRule> CandidateRules(int list, int next) {
    const RuleIndex& index = TheRuleIndex();
    const auto [first, count] =
        index.slots[static_cast<size_t>(list)][static_cast<size_t>(NextSlot(next))];
    return std::span<const SizedRule>(index.rules).subspan(first, count);
}

void Translator::Report(std::string_view line) {
    ++reports_;
    if (sink_) sink_(line);
}

bool Translator::MatchLeftContext(const char* pattern, const char* word, int32_t position) {
    return MatchLeftContext(pattern, std::strlen(pattern), word, position);
}

bool Translator::MatchRightContext(const char* pattern, const char* word, int32_t position) {
    return MatchRightContext(pattern, std::strlen(pattern), word, position);
}

bool Translator::MatchLeftContext(const char* pattern, size_t length, const char* word,
                                  int32_t position) {
    int32_t p = position;
    for (size_t i = length; i-- > 0;) {
        const int symbol = static_cast<unsigned char>(pattern[i]);
        if (InClass(symbol, CLASS_CONTEXT_LITERAL)) {
            if (At(word, p) != symbol) return false;
            --p;
            continue;
        }
        const uint16_t wanted = SymbolClass(symbol);
        if (wanted == 0) {
            Report(BadSymbolLine("Bad char in left rule: '%c'\n", pattern[i]));
            return false;
        }
        if (symbol == '#' || symbol == ':') {
            // "#" needs one vowel, ":" none; both take the whole run.
            if (symbol == '#' && !InClass(At(word, p), wanted)) return false;
            while (InClass(At(word, p), wanted)) --p;
        } else {
            if (!InClass(At(word, p), wanted)) return false;
            --p;
        }
    }
    return true;
}

bool Translator::MatchRightContext(const char* pattern, size_t length, const char* word,
                                   int32_t position) {
    int32_t p = position;
    for (size_t i = 0; i < length; ++i) {
        const int symbol = static_cast<unsigned char>(pattern[i]);
        // No symbol accepts the NUL, so p never moves past the word's end.
        const int c = static_cast<unsigned char>(word[p]);
        if (InClass(symbol, CLASS_CONTEXT_LITERAL)) {
            if (c != symbol) return false;
            ++p;
            continue;
        }
        if (symbol == '%') {
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
            continue;
        }
        const uint16_t wanted = SymbolClass(symbol);
        if (wanted == 0) {
            Report(BadSymbolLine("Bad char in right rule:'%c'\n", pattern[i]));
            return false;
        }
        if (symbol == '#' || symbol == ':') {
            if (symbol == '#' && !InClass(c, wanted)) return false;
            while (InClass(static_cast<unsigned char>(word[p]), wanted)) ++p;
        } else {
            if (!InClass(c, wanted)) return false;
            ++p;
        }
    }
    return true;
}

int32_t Translator::FindRule(const char* word, int32_t index, const LetterRule* list) {
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
    Report(MissingRuleLine(word, index));
    return index + 1;
}

bool Translator::TranslateWordFast(const char* word, size_t length, std::string& phonemes) {
    phonemes.clear();
    const uint64_t reportsBefore = reports_;
    // As the plain walk below: position 0 is only context.
    size_t position = 1;
    while (position < length) {
        const int c = static_cast<unsigned char>(word[position]);
        const int next = static_cast<unsigned char>(word[position + 1]);
        const SizedRule* chosen = nullptr;
        for (const SizedRule& rule : CandidateRules(RuleListFor(c), next)) {
            if (position + rule.matchLength > length ||
                !SameChars(rule.match, word + position, rule.matchLength)) {
                continue;
            }
            const auto at = static_cast<int32_t>(position);
            if (rule.leftLength != 0 &&
                !MatchLeftContext(rule.left, rule.leftLength, word, at - 1)) {
                continue;
            }
            if (rule.rightLength != 0 &&
                !MatchRightContext(rule.right, rule.rightLength, word, at + rule.matchLength)) {
                continue;
            }
            chosen = &rule;
            break;
        }
        if (chosen == nullptr) {
            // No rule: reported as the plain walk reports it, character skipped.
            Report(MissingRuleLine(word, static_cast<int32_t>(position)));
            ++position;
            continue;
        }
        phonemes.append(chosen->output, chosen->outputLength);
        position += chosen->matchLength;
    }
    return reports_ == reportsBefore;
}

void Translator::TranslateWord(const char* word) {
    TranslateWord(word, std::strlen(word));
}

void Translator::TranslateWord(const char* word, size_t length) {
    // Position 0 holds the leading blank, which is only context. The NUL test
    // comes first so that a word shorter than its two blanks is never read
    // past its end.
    if (word[0] == '\0') return;
    if (mode_ == RuleEngineMode::Plain) {
        int32_t position = 1;
        while (word[position] != '\0') {
            const int c = static_cast<unsigned char>(word[position]);
            position = FindRule(word, position, RuleLists[RuleListFor(c)]);
        }
        return;
    }
    // A word's phonemes depend on the word alone: every context stops at its
    // blanks, and the word buffer holds nothing else. So a word seen before
    // is said as it was said then. The whole translation is kept, uncut: the
    // output's capacity cuts only what is emitted.
    if (!cache_) cache_ = std::make_unique<WordCache>();
    if (std::string_view known; cache_->Find(std::string_view(word, length), known)) {
        EmitChars(known.data(), known.size());
        return;
    }
    // A word that made a diagnostic is not remembered, so that every
    // appearance reports it again.
    if (TranslateWordFast(word, length, phonemes_)) {
        cache_->Remember(std::string_view(word, length), phonemes_);
    }
    EmitChars(phonemes_.data(), phonemes_.size());
}

}  // namespace vocalith::translate
