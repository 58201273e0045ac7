// The letter-to-sound rule set: 356 rules in 27 lists. Within a list the
// order is part of the data: the engine takes the first rule that fits, so
// special cases stand before general ones and every letter list ends with its
// letter's unconditional rule.
#include "translate/rule_engine.h"

namespace vocalith::translate {

namespace {

// Closes every list.
constexpr LetterRule kEnd = {"", nullptr, "", ""};

// List 0: characters that are not upper-case letters, 10 rules.
constexpr LetterRule kNonLetterRules[] = {
    {"", " ", "", " "},
    {"", "-", "", ""},
    {".", "'S", "", "z"},
    {"#:.E", "'S", "", "z"},
    {"#", "'S", "", "z"},
    {"", "'", "", ""},
    {"", ",", "", " "},
    {"", ".", "", " "},
    {"", "?", "", " "},
    {"", "!", "", " "},
    kEnd,
};

// List 1: letter A, 33 rules.
constexpr LetterRule kRulesA[] = {
    {"", "A", " ", "AX"},       {" ", "ARE", " ", "AAr"},
    {" ", "AR", "O", "AXr"},    {"", "AR", "#", "EHr"},
    {"^", "AS", "#", "EYs"},    {"", "A", "WA", "AX"},
    {"", "AW", "", "AO"},       {" :", "ANY", "", "EHnIY"},
    {"", "A", "^+#", "EY"},     {"#:", "ALLY", "", "AXlIY"},
    {" ", "AL", "#", "AXl"},    {"", "AGAIN", "", "AXgEHn"},
    {"#:", "AG", "E", "IHj"},   {"", "A", "^+:#", "AE"},
    {" :", "A", "^+ ", "EY"},   {"", "A", "^%", "EY"},
    {" ", "ARR", "", "AXr"},    {"", "ARR", "", "AEr"},
    {" :", "AR", " ", "AAr"},   {"", "AR", " ", "ER"},
    {"", "AR", "", "AAr"},      {"", "AIR", "", "EHr"},
    {"", "AI", "", "EY"},       {"", "AY", "", "EY"},
    {"", "AU", "", "AO"},       {"#:", "AL", " ", "AXl"},
    {"#:", "ALS", " ", "AXlz"}, {"", "ALK", "", "AOk"},
    {"", "AL", "^", "AOl"},     {" :", "ABLE", "", "EYbAXl"},
    {"", "ABLE", "", "AXbAXl"}, {"", "ANG", "+", "EYnj"},
    {"", "A", "", "AE"},        kEnd,
};

// List 2: letter B, 6 rules.
constexpr LetterRule kRulesB[] = {
    {" ", "BE", "^#", "bIH"},
    {"", "BEING", "", "bIYIHNG"},
    {" ", "BOTH", " ", "bOWTH"},
    {" ", "BUS", "#", "bIHz"},
    {"", "BUIL", "", "bIHl"},
    {"", "B", "", "b"},
    kEnd,
};

// List 3: letter C, 11 rules.
constexpr LetterRule kRulesC[] = {
    {" ", "CH", "^", "k"},    {"^E", "CH", "", "k"}, {"", "CH", "", "CH"},
    {" S", "CI", "#", "sAY"}, {"", "CI", "A", "SH"}, {"", "CI", "O", "SH"},
    {"", "CI", "EN", "SH"},   {"", "C", "+", "s"},   {"", "CK", "", "k"},
    {"", "COM", "%", "kAHm"}, {"", "C", "", "k"},    kEnd,
};

// List 4: letter D, 10 rules.
constexpr LetterRule kRulesD[] = {
    {"#:", "DED", " ", "dIHd"},
    {".E", "D", " ", "d"},
    {"#:^E", "D", " ", "t"},
    {" ", "DE", "^#", "dIH"},
    {" ", "DO", " ", "dUW"},
    {" ", "DOES", "", "dAHz"},
    {" ", "DOING", "", "dUWIHNG"},
    {" ", "DOW", "", "dAW"},
    {"", "DU", "A", "jUW"},
    {"", "D", "", "d"},
    kEnd,
};

// List 5: letter E, 52 rules.
constexpr LetterRule kRulesE[] = {
    {"#:", "E", " ", ""},
    {"':^", "E", " ", ""},
    {" :", "E", " ", "IY"},
    {"#", "ED", " ", "d"},
    {"#:", "E", "D ", ""},
    {"", "EV", "ER", "EHv"},
    {"", "E", "^%", "IY"},
    {"", "ERI", "#", "IYrIY"},
    {"", "ERI", "", "EHrIH"},
    {"#:", "ER", "#", "ER"},
    {"", "ER", "#", "EHr"},
    {"", "ER", "", "ER"},
    {" ", "EVEN", "", "IYvEHn"},
    {"#:", "E", "W", ""},
    {"T", "EW", "", "UW"},
    {"S", "EW", "", "UW"},
    {"R", "EW", "", "UW"},
    {"D", "EW", "", "UW"},
    {"L", "EW", "", "UW"},
    {"Z", "EW", "", "UW"},
    {"N", "EW", "", "UW"},
    {"J", "EW", "", "UW"},
    {"TH", "EW", "", "UW"},
    {"CH", "EW", "", "UW"},
    {"SH", "EW", "", "UW"},
    {"", "EW", "", "yUW"},
    {"", "E", "O", "IY"},
    {"#:S", "ES", " ", "IHz"},
    {"#:C", "ES", " ", "IHz"},
    {"#:G", "ES", " ", "IHz"},
    {"#:Z", "ES", " ", "IHz"},
    {"#:X", "ES", " ", "IHz"},
    {"#:J", "ES", " ", "IHz"},
    {"#:CH", "ES", " ", "IHz"},
    {"#:SH", "ES", " ", "IHz"},
    {"#:", "E", "S ", ""},
    {"#:", "ELY", " ", "lIY"},
    {"#:", "EMENT", "", "mEHnt"},
    {"", "EFUL", "", "fUHl"},
    {"", "EE", "", "IY"},
    {"", "EARN", "", "ERn"},
    {" ", "EAR", "^", "ER"},
    {"", "EAD", "", "EHd"},
    {"#:", "EA", " ", "IYAX"},
    {"", "EA", "SU", "EH"},
    {"", "EA", "", "IY"},
    {"", "EIGH", "", "EY"},
    {"", "EI", "", "IY"},
    {" ", "EYE", "", "AY"},
    {"", "EY", "", "IY"},
    {"", "EU", "", "yUW"},
    {"", "E", "", "EH"},
    kEnd,
};

// List 6: letter F, 2 rules.
constexpr LetterRule kRulesF[] = {
    {"", "FUL", "", "fUHl"},
    {"", "F", "", "f"},
    kEnd,
};

// List 7: letter G, 10 rules.
constexpr LetterRule kRulesG[] = {
    {"", "GIV", "", "gIHv"},
    {" ", "G", "I^", "g"},
    {"", "GE", "T", "gEH"},
    {"SU", "GGES", "", "gjEHs"},
    {"", "GG", "", "g"},
    {" B#", "G", "", "g"},
    {"", "G", "+", "j"},
    {"", "GREAT", "", "grEYt"},
    {"#", "GH", "", ""},
    {"", "G", "", "g"},
    kEnd,
};

// List 8: letter H, 6 rules.
constexpr LetterRule kRulesH[] = {
    {" ", "HAV", "", "hAEv"},
    {" ", "HERE", "", "hIYr"},
    {" ", "HOUR", "", "AWER"},
    {"", "HOW", "", "hAW"},
    {"", "H", "#", "h"},
    {"", "H", "", ""},
    kEnd,
};

// List 9: letter I, 28 rules.
constexpr LetterRule kRulesI[] = {
    {" ", "IN", "", "IHn"},
    {" ", "I", " ", "AY"},
    {"", "IN", "D", "AYn"},
    {"", "IER", "", "IYER"},
    {"#:R", "IED", "", "IYd"},
    {"", "IED", " ", "AYd"},
    {"", "IEN", "", "IYEHn"},
    {"", "IE", "T", "AYEH"},
    {" :", "I", "%", "AY"},
    {"", "I", "%", "IY"},
    {"", "IE", "", "IY"},
    {"", "I", "^+:#", "IH"},
    {"", "IR", "#", "AYr"},
    {"", "IZ", "%", "AYz"},
    {"", "IS", "%", "AYz"},
    {"", "I", "D%", "AY"},
    {"+^", "I", "^+", "IH"},
    {"", "I", "T%", "AY"},
    {"#:^", "I", "^+", "IH"},
    {"", "I", "^+", "AY"},
    {"", "IR", "", "ER"},
    {"", "IGH", "", "AY"},
    {"", "ILD", "", "AYld"},
    {"", "IGN", " ", "AYn"},
    {"", "IGN", "^", "AYn"},
    {"", "IGN", "%", "AYn"},
    {"", "IQUE", "", "IYk"},
    {"", "I", "", "IH"},
    kEnd,
};

// List 10: letter J, 1 rules.
constexpr LetterRule kRulesJ[] = {
    {"", "J", "", "j"},
    kEnd,
};

// List 11: letter K, 2 rules.
constexpr LetterRule kRulesK[] = {
    {" ", "K", "N", ""},
    {"", "K", "", "k"},
    kEnd,
};

// List 12: letter L, 5 rules.
constexpr LetterRule kRulesL[] = {
    {"", "LO", "C#", "lOW"},  {"L", "L", "", ""}, {"#:^", "L", "%", "AXl"},
    {"", "LEAD", "", "lIYd"}, {"", "L", "", "l"}, kEnd,
};

// List 13: letter M, 2 rules.
constexpr LetterRule kRulesM[] = {
    {"", "MOV", "", "mUWv"},
    {"", "M", "", "m"},
    kEnd,
};

// List 14: letter N, 8 rules.
constexpr LetterRule kRulesN[] = {
    {"E", "NG", "+", "nj"},     {"", "NG", "R", "NGg"}, {"", "NG", "#", "NGg"},
    {"", "NGL", "%", "NGgAXl"}, {"", "NG", "", "NG"},   {"", "NK", "", "NGk"},
    {" ", "NOW", " ", "nAW"},   {"", "N", "", "n"},     kEnd,
};

// List 15: letter O, 48 rules.
constexpr LetterRule kRulesO[] = {
    {"", "OF", " ", "AXv"},
    {"", "OROUGH", "", "EROW"},
    {"#:", "OR", " ", "ER"},
    {"#:", "ORS", " ", "ERz"},
    {"", "OR", "", "AOr"},
    {" ", "ONE", "", "wAHn"},
    {"", "OW", "", "OW"},
    {" ", "OVER", "", "OWvER"},
    {"", "OV", "", "AHv"},
    {"", "O", "^%", "OW"},
    {"", "O", "^EN", "OW"},
    {"", "O", "^I#", "OW"},
    {"", "OL", "D", "OWl"},
    {"", "OUGHT", "", "AOt"},
    {"", "OUGH", "", "AHf"},
    {" ", "OU", "", "AW"},
    {"H", "OU", "S#", "AW"},
    {"", "OUS", "", "AXs"},
    {"", "OUR", "", "AOr"},
    {"", "OULD", "", "UHd"},
    {"^", "OU", "^L", "AH"},
    {"", "OUP", "", "UWp"},
    {"", "OU", "", "AW"},
    {"", "OY", "", "OY"},
    {"", "OING", "", "OWIHNG"},
    {"", "OI", "", "OY"},
    {"", "OOR", "", "AOr"},
    {"", "OOK", "", "UHk"},
    {"", "OOD", "", "UHd"},
    {"", "OO", "", "UW"},
    {"", "O", "E", "OW"},
    {"", "O", " ", "OW"},
    {"", "OA", "", "OW"},
    {" ", "ONLY", "", "OWnlIY"},
    {" ", "ONCE", "", "wAHns"},
    {"", "ON'T", "", "OWnt"},
    {"C", "O", "N", "AA"},
    {"", "O", "NG", "AO"},
    {" :^", "O", "N", "AH"},
    {"I", "ON", "", "AXn"},
    {"#:", "ON", " ", "AXn"},
    {"#^", "ON", "", "AXn"},
    {"", "O", "ST ", "OW"},
    {"", "OF", "^", "AOf"},
    {"", "OTHER", "", "AHDHER"},
    {"", "OSS", " ", "AOs"},
    {"#:^", "OM", "", "AHm"},
    {"", "O", "", "AA"},
    kEnd,
};

// List 16: letter P, 5 rules.
constexpr LetterRule kRulesP[] = {
    {"", "PH", "", "f"},      {"", "PEOP", "", "pIYp"}, {"", "POW", "", "pAW"},
    {"", "PUT", " ", "pUHt"}, {"", "P", "", "p"},       kEnd,
};

// List 17: letter Q, 3 rules.
constexpr LetterRule kRulesQ[] = {
    {"", "QUAR", "", "kwAOr"},
    {"", "QU", "", "kw"},
    {"", "Q", "", "k"},
    kEnd,
};

// List 18: letter R, 2 rules.
constexpr LetterRule kRulesR[] = {
    {" ", "RE", "^#", "rIY"},
    {"", "R", "", "r"},
    kEnd,
};

// List 19: letter S, 24 rules.
constexpr LetterRule kRulesS[] = {
    {"", "SH", "", "SH"},
    {"#", "SION", "", "ZHAXn"},
    {"", "SOME", "", "sAHm"},
    {"#", "SUR", "#", "ZHER"},
    {"", "SUR", "#", "SHER"},
    {"#", "SU", "#", "ZHUW"},
    {"#", "SSU", "#", "SHUW"},
    {"#", "SED", " ", "zd"},
    {"#", "S", "#", "z"},
    {"", "SAID", "", "sEHd"},
    {"^", "SION", "", "SHAXn"},
    {"", "S", "S", ""},
    {".", "S", " ", "z"},
    {"#:.E", "S", " ", "z"},
    {"#:^##", "S", " ", "z"},
    {"#:^#", "S", " ", "s"},
    {"U", "S", " ", "s"},
    {" :#", "S", " ", "z"},
    {" ", "SCH", "#", "sk"},
    {" ", "SCH", "", "SH"},
    {"", "S", "C+", ""},
    {"#", "SM", "", "zm"},
    {"#", "SN", "'", "zAXn"},
    {"", "S", "", "s"},
    kEnd,
};

// List 20: letter T, 26 rules.
constexpr LetterRule kRulesT[] = {
    {" ", "THE", " ", "DHAX"},    {"", "TO", " ", "tUW"},      {"", "THAT", " ", "DHAEt"},
    {" ", "THIS", " ", "DHIHs"},  {" ", "THEY", "", "DHEY"},   {" ", "THERE", "", "DHEHr"},
    {"", "THER", "", "DHER"},     {"", "THEIR", "", "DHEHr"},  {" ", "THAN", " ", "DHAEn"},
    {" ", "THEM", " ", "DHEHm"},  {"", "THESE", " ", "DHIYz"}, {" ", "THEN", "", "DHEHn"},
    {"", "THROUGH", "", "THrUW"}, {"", "THOSE", "", "DHOWz"},  {"", "THOUGH", " ", "DHOW"},
    {" ", "THUS", "", "DHAHs"},   {"", "TH", "", "TH"},        {"#:", "TED", " ", "tIHd"},
    {"S", "TI", "#N", "CH"},      {"", "TI", "O", "SH"},       {"", "TI", "A", "SH"},
    {"", "TIEN", "", "SHAXn"},    {"", "TUR", "#", "CHER"},    {"", "TU", "A", "CHUW"},
    {" ", "TWO", "", "tUW"},      {"", "T", "", "t"},          kEnd,
};

// List 21: letter U, 35 rules.
constexpr LetterRule kRulesU[] = {
    {" ", "UN", "I", "yUWn"}, {" ", "UN", "", "AHn"},   {" ", "UPON", "", "AXpAOn"},
    {"T", "UR", "#", "UHr"},  {"S", "UR", "#", "UHr"},  {"R", "UR", "#", "UHr"},
    {"D", "UR", "#", "UHr"},  {"L", "UR", "#", "UHr"},  {"Z", "UR", "#", "UHr"},
    {"N", "UR", "#", "UHr"},  {"J", "UR", "#", "UHr"},  {"TH", "UR", "#", "UHr"},
    {"CH", "UR", "#", "UHr"}, {"SH", "UR", "#", "UHr"}, {"", "UR", "#", "yUHr"},
    {"", "UR", "", "ER"},     {"", "U", "^ ", "AH"},    {"", "U", "^^", "AH"},
    {"", "UY", "", "AY"},     {" G", "U", "#", ""},     {"G", "U", "%", ""},
    {"G", "U", "#", "w"},     {"#N", "U", "", "yUW"},   {"T", "U", "", "UW"},
    {"S", "U", "", "UW"},     {"R", "U", "", "UW"},     {"D", "U", "", "UW"},
    {"L", "U", "", "UW"},     {"Z", "U", "", "UW"},     {"N", "U", "", "UW"},
    {"J", "U", "", "UW"},     {"TH", "U", "", "UW"},    {"CH", "U", "", "UW"},
    {"SH", "U", "", "UW"},    {"", "U", "", "yUW"},     kEnd,
};

// List 22: letter V, 2 rules.
constexpr LetterRule kRulesV[] = {
    {"", "VIEW", "", "vyUW"},
    {"", "V", "", "v"},
    kEnd,
};

// List 23: letter W, 12 rules.
constexpr LetterRule kRulesW[] = {
    {" ", "WERE", "", "wER"},
    {"", "WA", "S", "wAA"},
    {"", "WA", "T", "wAA"},
    {"", "WHERE", "", "WHEHr"},
    {"", "WHAT", "", "WHAAt"},
    {"", "WHOL", "", "hOWl"},
    {"", "WHO", "", "hUW"},
    {"", "WH", "", "WH"},
    {"", "WAR", "", "wAOr"},
    {"", "WOR", "^", "wER"},
    {"", "WR", "", "r"},
    {"", "W", "", "w"},
    kEnd,
};

// List 24: letter X, 1 rules.
constexpr LetterRule kRulesX[] = {
    {"", "X", "", "ks"},
    kEnd,
};

// List 25: letter Y, 11 rules.
constexpr LetterRule kRulesY[] = {
    {"", "YOUNG", "", "yAHNG"}, {" ", "YOU", "", "yUW"}, {" ", "YES", "", "yEHs"},
    {" ", "Y", "", "y"},        {"#:^", "Y", " ", "IY"}, {"#:^", "Y", "I", "IY"},
    {" :", "Y", " ", "AY"},     {" :", "Y", "#", "AY"},  {" :", "Y", "^+:#", "IH"},
    {" :", "Y", "^#", "AY"},    {"", "Y", "", "IH"},     kEnd,
};

// List 26: letter Z, 1 rules.
constexpr LetterRule kRulesZ[] = {
    {"", "Z", "", "z"},
    kEnd,
};

}  // namespace

const LetterRule* const RuleLists[RULE_LIST_COUNT] = {
    kNonLetterRules, kRulesA, kRulesB, kRulesC, kRulesD, kRulesE, kRulesF, kRulesG, kRulesH,
    kRulesI,         kRulesJ, kRulesK, kRulesL, kRulesM, kRulesN, kRulesO, kRulesP, kRulesQ,
    kRulesR,         kRulesS, kRulesT, kRulesU, kRulesV, kRulesW, kRulesX, kRulesY, kRulesZ,
};

}  // namespace vocalith::translate
