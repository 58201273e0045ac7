// Whole-text translations with known phonetic strings, grouped by the part of
// the translator they exercise. Each row names the fault it would catch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "translate/numbers.h"
#include "translate/rule_engine.h"
#include "translate_test_support.h"

namespace vocalith::translate {
namespace {

using testing::Emitted;
using testing::Repeat;
using testing::Translate;

struct Example {
    const char* name;
    std::string input;
    std::string expected;
};

void CheckAll(const std::vector<Example>& rows) {
    for (const Example& row : rows) {
        EXPECT_EQ(Translate(row.input), row.expected) << row.name;
    }
}

TEST(TranslateScanner, DispatchesWordsAndOtherCharacters) {
    CheckAll({
        {"empty text says nothing", "", ""},
        {"one letter is said by name, not by rules", "a", "EY "},
        {"the word I is its letter name", "I", "AY "},
        {"punctuation outside words is named", "Hello, world.", "hEHlOW kAAmmAX wERld pIYrIYAAd "},
        {"hyphen between letters is dropped", "well-known", "wEHl nOWn "},
        {"lone hyphen is spoken", "well - known", "wEHl mIHnAHs nOWn "},
        {"newline is copied between words", "A\nB", "EY \nbIY "},
        {"carriage return is silent", "\r", ""},
        {"tab is silent", "\t", ""},
        {"control character is named", std::string("\x01"), "stAArt AXv hEHdER "},
        {"hyphen test does not see past a newline", "well-\nknown", "wEHl mIHnAHs \nnOWn "},
        {"ordinal test does not see past a newline", "5\nth", "fAYv \nTH "},
        {"dollar sign without digit is named", "$x", "dAAlER sAYn EHks "},
        {"letters glued to digits are spelled", "ABC123",
         "EY bIY sIY wAHn hAHndrEHd twEHntIY THrIY "},
        {"lone apostrophe is named", "'", "kwOWt "},
    });
}

TEST(TranslateScanner, LongWordsAreCutIntoChunks) {
    CheckAll({
        {"130 letters: a chunk of 126, then the rest", std::string(130, 'x'),
         Repeat("ks", 126) + " " + Repeat("ks", 4) + " "},
        {"exactly 126 letters: the empty remainder adds a blank", std::string(126, 'x') + " ",
         Repeat("ks", 126) + "  "},
        {"127 letters: the remainder of one letter is named", std::string(127, 'x'),
         Repeat("ks", 126) + " EHks "},
    });
}

TEST(TranslateScanner, CapacityCutsPerCharacter) {
    EXPECT_EQ(Translate("Hello", 5), "hEH");
    EXPECT_EQ(Translate("Hello", 3), "h");
    EXPECT_EQ(Translate("Hello", 2), "");
}

TEST(RuleEngine, TranslatesCollectedWords) {
    const std::vector<Example> rows = {
        {"whole-word rule beats letter rules", " THE ", "DHAX "},
        {"A before one consonant and ING", " MAKING ", "mEYkIHNG "},
        {"suffix ELY", " LATELY ", "lEYtlIY "},
        {"suffix ED after a voiceless sound", " HOPED ", "hOWpt "},
        {"ALK and ED", " WALKED ", "wAOkt "},
        {"apostrophe-S after voiced consonant", " DOG'S ", "dAAgz "},
        {"apostrophe silent after voiceless consonant", " CAT'S ", "kAEts "},
        {"K silent before N at word start", " KNIGHT ", "nAYt "},
        {"PH is f", " PHONE ", "fOWn "},
        {"TI before O is SH", " NATION ", "nEYSHAXn "},
        {"word of two blanks gives one blank", "  ", " "},
    };
    for (const Example& row : rows) {
        EXPECT_EQ(Emitted([&](Translator& t) { t.TranslateWord(row.input.c_str()); }), row.expected)
            << row.name;
    }
}

TEST(TranslateNumbers, Cardinals) {
    CheckAll({
        {"zero", "0", "zIHrOW "},
        {"teens after hundred, no and", "115", "wAHn hAHndrEHd fIHftIYn "},
        {"thousands of a hundred", "100000", "wAHn hAHndrEHd THAWzAEnd "},
        {"and after thousand below 100", "1001", "wAHn THAWzAEnd AEnd wAHn "},
        {"1099 splits thousands", "1099", "wAHn THAWzAEnd AEnd nAYntIY nAYn "},
        {"1100 is eleven hundred", "1100", "IYlEHvAXn hAHndrEHd "},
        {"1999 is nineteen hundred", "1999", "nAYntIYn hAHndrEHd nAYntIY nAYn "},
        {"2005 splits thousands", "2005", "tUW THAWzAEnd AEnd fAYv "},
        {"and after million", "1000050", "wAHn mIHlIYAXn AEnd fIHftIY "},
        {"1500 below a million is fifteen hundred", "1001500",
         "wAHn mIHlIYAXn fIHftIYn hAHndrEHd "},
        {"largest value", "2147483647",
         "tUW bIHlIYAXn wAHn hAHndrEHd fAOrtIY sEHvAXn mIHlIYAXn fOWr hAHndrEHd EYtIY "
         "THrIY THAWzAEnd sIHks hAHndrEHd fAOrtIY sEHvAXn "},
        {"comma ends a number", "1,000", "wAHn kAAmmAX zIHrOW "},
    });
}

TEST(TranslateNumbers, Ordinals) {
    CheckAll({
        {"1st", "1st", "fERst "},
        {"2nd", "2nd", "sEHkAHnd "},
        {"3rd", "3rd", "THERd "},
        {"4th", "4th", "fOWrTH "},
        {"suffix case-insensitive", "1ST", "fERst "},
        {"tens and first", "21st", "twEHntIY fERst "},
        {"hundred and first", "101st", "wAHn hAHndrEHd fERst "},
        {"11th is no ordinal: last digit wants ST", "11th", "IYlEHvAXn tIY EYtCH "},
        {"11st is eleventh", "11st", "IYlEHvEHnTH "},
        {"suffix followed by a letter", "1sts", "wAHn EHz tIY EHz "},
        {"suffix followed by a digit", "1st2", "wAHn EHz tIY tUW "},
        {"zeroth", "0th", "zIHrOWEHTH "},
        {"twentieth", "20th", "twEHntIYEHTH "},
        {"hundredth", "100th", "wAHn hAHndrEHdTH "},
        {"thousandth", "1000th", "wAHn THAWzAEndTH "},
        {"millionth", "1000000th", "wAHn mIHlIYAXnTH "},
    });
}

TEST(TranslateNumbers, FractionsAndGluedLetters) {
    CheckAll({
        {"decimal digits by name", "3.14", "THrIY pOYnt wAHn fOWr "},
        {"period without digit stays", "5.", "fAYv pIYrIYAAd "},
        {"second point is a period", "1.5.3", "wAHn pOYnt fAYv pIYrIYAAd THrIY "},
        {"unit letters spelled", "10km", "tEHn kEY EHm "},
        {"suffix after fraction spelled", "4.5th", "fOWr pOYnt fAYv tIY EYtCH "},
    });
}

TEST(TranslateNumbers, Dollars) {
    CheckAll({
        {"one dollar", "$1", "wAHn dAAlER "},
        {"thousands commas", "$1,000,000", "wAHn mIHlIYAXn dAAlAArz "},
        {"dollar and cents", "$1.50", "wAHn dAAlER AAnd fIHftIY sEHnts "},
        {"one cent", "$2.01", "tUW dAAlAArz AAnd wAHn sEHnt "},
        {"zero dollars plural", "$0.01", "zIHrOW dAAlAArz AAnd wAHn sEHnt "},
        {"no cents said for .00", "$1.00", "wAHn dAAlER "},
        {"one decimal digit: point, plural", "$1.5", "wAHn pOYnt fAYv dAAlAArz "},
        {"three decimal digits: point, plural", "$1.234", "wAHn pOYnt tUW THrIY fOWr dAAlAArz "},
        {"trailing comma swallowed", "$5, ok", "fAYv dAAlAArz AAk "},
    });
}

TEST(TranslateNumbers, SignedValuesSaidDirectly) {
    EXPECT_EQ(Emitted([](Translator& t) { t.SayCardinal(-5); }), "mAYnAHs fAYv ");
    EXPECT_EQ(Emitted([](Translator& t) { t.SayOrdinal(-5); }), "mAHnAXs fIHfTH ");
    EXPECT_EQ(Emitted([](Translator& t) { t.SayCardinal(INT32_MIN); }), "mAYnAHs IHnfIHnIHtIY ");
    EXPECT_EQ(Emitted([](Translator& t) { t.SayOrdinal(INT32_MIN); }), "mAHnAXs IHnfIHnIHtIY ");
    EXPECT_EQ(Emitted([](Translator& t) { t.SayOrdinal(2000000000); }), "tUW bIHlIYAXnTH ");
    EXPECT_EQ(Emitted([](Translator& t) { t.SayOrdinal(1000000005); }),
              "wAHn bIHlIYAXn AEnd fIHfTH ");
    EXPECT_EQ(Emitted([](Translator& t) { t.SayOrdinal(INT32_MAX); }),
              "tUW bIHlIYAXn wAHn hAHndrEHd fAOrtIY sEHvAXn mIHlIYAXn fOWr hAHndrEHd EYtIY "
              "THrIY THAWzAEnd sIHks hAHndrEHd fAOrtIY sEHvEHnTH ");
}

TEST(CharacterNames, NamesAndAbbreviations) {
    CheckAll({
        {"title DR", "Dr. Smith", "dAAktER smIHTH "},
        {"title MR lower case", "mr.", "mIHstER "},
        {"title MRS", "MRS.", "mIHsAHs "},
        {"PHD spelled", "PhD.", "pIY EYtCH dIY "},
        {"DR without period by rules", "Dr", "dr "},
        {"PHD without period by rules", "PHD", "fd "},
        {"other word keeps its period", "etc.", "EHtk pIYrIYAAd "},
        {"MS is no title", "Ms. Lee", "mz pIYrIYAAd lIY "},
        {"hyphen dropped after a title", "Dr.-Who", "dAAktER hUW "},
        {"one letter beats the title test", "A.", "EY pIYrIYAAd "},
        {"G has two blanks", "G", "jIY  "},
        {"name of code 4 has no blank", std::string("\x04") + "A", "EHnd AXv trAEnsmIHSHAXnEY "},
        {"letters before digit spelled", "MP3", "EHm pIY THrIY "},
    });
}

}  // namespace
}  // namespace vocalith::translate
