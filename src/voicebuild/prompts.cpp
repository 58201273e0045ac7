#include "voicebuild/prompts.h"

#include <array>

#include "base/ascii_case.h"

namespace vocalith::voicebuild {

namespace {

// In the Phon Table's order. Where the table's own hint word is read by our
// rules with another sound (fAther gives AE, About gives AE) or holds the
// sound twice or at a word's edge, a plainer word replaces it.
constexpr std::array<Prompt, PROMPT_COUNT> kPrompts = {{
    {0, "bEEt"},  {1, "bIt"},   {2, "gAte"},  {3, "gEt"},   {4, "fAt"},    {5, "hOt"},
    {6, "lAWn"},  {7, "lOne"},  {8, "fUll"},  {9, "fOOl"},  {10, "bIRd"},  {11, "Alone"},
    {12, "bUt"},  {13, "hIde"}, {14, "hOW"},  {15, "tOY"},  {16, "Pack"},  {17, "Back"},
    {18, "Time"}, {19, "Dime"}, {20, "Coat"}, {21, "Goat"}, {22, "Fault"}, {23, "Vault"},
    {24, "THin"}, {25, "THen"}, {26, "Sue"},  {27, "Zoo"},  {28, "leaSH"}, {29, "leiSure"},
    {30, "Hat"},  {31, "Much"}, {32, "teN"},  {33, "siNG"}, {34, "Lit"},   {35, "Wet"},
    {36, "Yes"},  {37, "Red"},  {38, "CHin"}, {39, "Jump"}, {40, "WHen"},
}};

}  // namespace

const Prompt* PromptFor(int code) {
    if (code < 0 || code >= PROMPT_COUNT) return nullptr;
    return &kPrompts[static_cast<size_t>(code)];
}

std::string PromptWord(const Prompt& prompt) {
    std::string word(prompt.marked);
    for (char& c : word) c = base::LowerAscii(c);
    return word;
}

}  // namespace vocalith::voicebuild
