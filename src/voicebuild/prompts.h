#pragma once
// The prompt words: for every phoneme but silence, one short common word
// that holds the phoneme by our own letter-to-sound rules, chosen so the
// sound is clear and easy to cut (mostly at the start of a stressed
// syllable). The guided recorder and `voice build` read from this one list.
#include <string>
#include <string_view>

namespace vocalith::voicebuild {

struct Prompt {
    int code;            // the phoneme, 0..40
    const char* marked;  // the word, the letters that carry the sound in capitals
};

// The prompt of phoneme `code`, or nullptr for silence and codes outside 0..40.
const Prompt* PromptFor(int code);

// The prompt's word in lower-case letters only ("hot").
std::string PromptWord(const Prompt& prompt);

// Number of prompts (every phoneme but silence).
inline constexpr int PROMPT_COUNT = 41;

}  // namespace vocalith::voicebuild
