#include "voice/phoneme_inventory.h"

#include "base/ascii_case.h"

namespace vocalith::voice {

const std::array<PhonemeEntry, PHONEME_COUNT> kInventory = {{
    {0, "IY", "bEEt"},   {1, "IH", "bIt"},      {2, "EY", "gAte"},    {3, "EH", "gEt"},
    {4, "AE", "fAt"},    {5, "AA", "fAther"},   {6, "AO", "lAWn"},    {7, "OW", "lOne"},
    {8, "UH", "fUll"},   {9, "UW", "fOOl"},     {10, "ER", "mURdER"}, {11, "AX", "About"},
    {12, "AH", "bUt"},   {13, "AY", "hIde"},    {14, "AW", "hOW"},    {15, "OY", "tOY"},
    {16, "p", "Pack"},   {17, "b", "Back"},     {18, "t", "Time"},    {19, "d", "Dime"},
    {20, "k", "Coat"},   {21, "g", "Goat"},     {22, "f", "Fault"},   {23, "v", "Vault"},
    {24, "TH", "eTHer"}, {25, "DH", "eiTHer"},  {26, "s", "Sue"},     {27, "z", "Zoo"},
    {28, "SH", "leaSH"}, {29, "ZH", "leiSure"}, {30, "h", "How"},     {31, "m", "suM"},
    {32, "n", "suN"},    {33, "NG", "suNG"},    {34, "l", "Laugh"},   {35, "w", "Wear"},
    {36, "y", "Young"},  {37, "r", "Rate"},     {38, "CH", "CHar"},   {39, "j", "Jar"},
    {40, "WH", "WHere"}, {41, " ", "Silence"},
}};

int LookupPhoneme(const char* text) {
    if (text == nullptr) return -1;
    const std::string_view wanted(text);
    for (const PhonemeEntry& entry : kInventory) {
        if (base::EqualNoCase(entry.symbol, wanted)) return entry.code;
    }
    return -1;
}

}  // namespace vocalith::voice
