// Properties over random texts and capacities, the rule data's shape, the
// engine's diagnostics, and the handling of bytes and values the plain
// 7-bit, 32-bit reading cannot take.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "translate/char_names.h"
#include "translate/rule_engine.h"
#include "translate/translate.h"
#include "translate_test_support.h"

namespace vocalith::translate {
namespace {

using testing::Emitted;
using testing::Repeat;
using testing::Translate;

const std::set<std::string>& Inventory() {
    static const std::set<std::string> symbols = {
        "IY", "IH", "EY", "EH", "AE", "AA", "AO", "OW", "UH", "UW", "ER", "AX", "AH", "AY",
        "AW", "OY", "p",  "b",  "t",  "d",  "k",  "g",  "f",  "v",  "TH", "DH", "s",  "z",
        "SH", "ZH", "h",  "m",  "n",  "NG", "l",  "w",  "y",  "r",  "CH", "j",  "WH", " "};
    return symbols;
}

// Cuts one line of output into symbols the way playback does. Returns the
// first token that is no inventory symbol, or "" when all are. A single
// leftover byte at the very end is allowed when `cut` (the capacity ended the
// output) and it begins some symbol.
std::string FirstBadToken(const std::string& line, bool cut) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        size_t len = 1;
        if (c != ' ' && static_cast<signed char>(c) <= 'Z' && i + 1 < line.size()) len = 2;
        const std::string token = line.substr(i, len);
        if (Inventory().count(token) == 0) {
            const bool lastByte = i + len == line.size() && len == 1;
            bool prefix = false;
            for (const std::string& s : Inventory()) prefix |= s[0] == c;
            if (!(cut && lastByte && prefix)) return token;
        }
        i += len;
    }
    return "";
}

std::string RandomText(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {
        "the",        "Hello",  "world",  "knight", "PhD",        "Dr",          "Mr",
        "Mrs",        "nation", "it's",   "dog's",  "well-known", "ABC",         "x",
        "A",          "G",      "12",     "1st",    "22nd",       "3rd",         "11th",
        "3.14",       "$1.50",  "$2,000", "$1.5",   "$0.01",      "99999999999", "0000000000007",
        "4294967297", ",",      ".",      "-",      " ",          " ",           " ",
        "\n",         "\t",     "\r",     "'",      "$",          "?",           "!",
        "'S"};
    std::string text;
    const int n = static_cast<int>(rng() % 24);
    for (int i = 0; i < n; ++i) {
        if (rng() % 6 == 0) {
            text += static_cast<char>(1 + rng() % 255);  // any byte but the NUL
        } else {
            text += pieces[rng() % pieces.size()];
        }
    }
    return text;
}

int32_t RandomCapacity(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0:
            return static_cast<int32_t>(rng() % 8) - 3;  // -3..4
        case 1:
            return static_cast<int32_t>(rng() % 64);
        case 2:
            return static_cast<int32_t>(rng() % 4096);
        default:
            return INT32_MIN + static_cast<int32_t>(rng() % 3);
    }
}

TEST(TranslateProperties, OutputStaysInsideCapacityAndCutsIntoSymbols) {
    std::mt19937 rng(20240611);
    constexpr size_t kGuard = 64;
    constexpr char kFill = '\xA5';
    for (int round = 0; round < 4000; ++round) {
        const std::string text = RandomText(rng);
        const int32_t capacity = RandomCapacity(rng);
        const size_t usable = capacity > 1 ? static_cast<size_t>(capacity) : 1;
        std::vector<char> out(usable + kGuard, kFill);
        const int32_t n = TranslateText(text.c_str(), out.data(), capacity);
        SCOPED_TRACE("capacity " + std::to_string(capacity) + " text \"" + text + "\"");

        // Never a byte beyond capacity - 1 (beyond out[0] for capacity < 2).
        const size_t writable = capacity > 2 ? static_cast<size_t>(capacity) - 1 : 1;
        for (size_t i = writable; i < out.size(); ++i) ASSERT_EQ(out[i], kFill) << "byte " << i;
        ASSERT_EQ(n, static_cast<int32_t>(std::strlen(out.data())));
        ASSERT_LE(static_cast<int64_t>(n), std::max<int64_t>(0, int64_t{capacity} - 2));

        // The uncut output is the cut one's extension.
        const std::string whole = Translate(text);
        ASSERT_LT(static_cast<int64_t>(whole.size()) + 2, testing::UncutCapacity(text))
            << "the uncut capacity was reached";
        ASSERT_EQ(whole.compare(0, static_cast<size_t>(n), out.data()), 0);
        const bool cut = static_cast<size_t>(n) < whole.size();

        std::string output(out.data(), static_cast<size_t>(n));
        size_t start = 0;
        for (;;) {
            const size_t end = output.find('\n', start);
            const bool last = end == std::string::npos;
            const std::string line = output.substr(start, last ? std::string::npos : end - start);
            ASSERT_EQ(FirstBadToken(line, cut && last), "") << "line \"" << line << "\"";
            if (last) break;
            start = end + 1;
        }
    }
}

TEST(TranslateProperties, TinyAndHugeCapacities) {
    struct Row {
        const char* name;
        int32_t capacity;
        const char* expected;
    };
    const Row rows[] = {
        {"most negative capacity must not overflow", INT32_MIN, ""},
        {"negative capacity appends nothing", -1, ""},
        {"zero capacity appends nothing", 0, ""},
        {"capacity 1 holds only the NUL", 1, ""},
        {"capacity 2 holds only the NUL", 2, ""},
        {"capacity 3 holds one character", 3, "E"},
    };
    for (const Row& row : rows) {
        char out[2] = {'\x7f', '\x7f'};
        const int32_t n = TranslateText("a", out, row.capacity);
        EXPECT_STREQ(out, row.expected) << row.name;
        EXPECT_EQ(n, static_cast<int32_t>(std::strlen(row.expected))) << row.name;
        if (row.capacity < 3) {
            EXPECT_EQ(out[1], '\x7f') << row.name;
        }
    }
    // The largest capacity with a buffer only as big as the output needs.
    std::vector<char> big(64, '\x7f');
    EXPECT_EQ(TranslateText("Hello, world.", big.data(), INT32_MAX), 31);
    EXPECT_STREQ(big.data(), "hEHlOW kAAmmAX wERld pIYrIYAAd ");
}

TEST(TranslateProperties, NullTextIsEmpty) {
    char out[8] = "junk";
    EXPECT_EQ(TranslateText(nullptr, out, 8), 0);
    EXPECT_STREQ(out, "");
}

TEST(TranslateProperties, NothingCarriesOverBetweenCalls) {
    // A call that ends inside a word, a number and a newline must not leak
    // its window or word into the next call.
    Translate("well-");
    EXPECT_EQ(Translate("known"), "nOWn ");
    Translate("5\n");
    EXPECT_EQ(Translate("th"), "TH ");
}

TEST(TranslateHighBytes, AreOtherCharactersNamedByTheirLowSevenBits) {
    const struct {
        const char* name;
        std::string input;
        std::string expected;
    } rows[] = {
        {"byte 255 is a character, not the end",
         "\xff"
         "x",
         "dEHl EHks "},
        {"byte 255 between letters",
         "a\xff"
         "b",
         "EY dEHl bIY "},
        {"0xC1 folds onto A", "\xc1", "EY "},
        {"0xA0 folds onto the blank, yet is no white space", "\xa0", "spEYs "},
        {"0xE9 does not join a word", "caf\xe9", "kAEf AY "},
        {"0xB1 is no digit",
         "\xb1"
         "2",
         "wAHn tUW "},
    };
    for (const auto& row : rows) EXPECT_EQ(Translate(row.input), row.expected) << row.name;
}

TEST(TranslateOverflow, LongDigitStringsAreSpokenDigitByDigit) {
    const std::string nines = Repeat("nAYn ", 11);
    const std::string twoOneFour = "tUW wAHn fOWr sEHvAXn fOWr EYt THrIY sIHks fOWr EYt ";
    const struct {
        const char* name;
        std::string input;
        std::string expected;
    } rows[] = {
        {"eleven nines would wrap negative", "99999999999", nines},
        {"one past the largest value", "2147483648", twoOneFour},
        {"2^32 + 1 would wrap to one", "4294967297",
         "fOWr tUW nAYn fOWr nAYn sIHks sEHvAXn tUW nAYn sEHvAXn "},
        {"leading zeros count by value, not length", "0000000000005", "fAYv "},
        {"leading zeros are spoken on overflow", "002147483648", Repeat("zIHrOW ", 2) + twoOneFour},
        {"largest value stays a number", "02147483647",
         "tUW bIHlIYAXn wAHn hAHndrEHd fAOrtIY sEHvAXn mIHlIYAXn fOWr hAHndrEHd EYtIY "
         "THrIY THAWzAEnd sIHks hAHndrEHd fAOrtIY sEHvAXn "},
        {"suffix after an overflow is spelled", "99999999999th", nines + "tIY EYtCH "},
        {"fraction after an overflow", "99999999999.5", nines + "pOYnt fAYv "},
        {"dollars overflow, commas ignored", "$99,999,999,999", nines + "dAAlAArz "},
        {"dollars overflow with one cent", "$99999999999.01", nines + "dAAlAArz AAnd wAHn sEHnt "},
        {"dollars overflow with a point", "$99999999999.5", nines + "pOYnt fAYv dAAlAArz "},
        {"dollar with leading zeros is one", "$00000000001", "wAHn dAAlER "},
    };
    for (const auto& row : rows) EXPECT_EQ(Translate(row.input), row.expected) << row.name;

    // A very long digit string needs no buffer of its own.
    EXPECT_EQ(Translate(std::string(100000, '7')), Repeat("sEHvAXn ", 100000));
}

TEST(RuleData, ListsHaveTheirShape) {
    const int counts[RULE_LIST_COUNT] = {10, 33, 6, 11, 10, 52, 2,  10, 6, 28, 1, 2,  5, 2,
                                         8,  48, 5, 3,  2,  24, 26, 35, 2, 12, 1, 11, 1};
    int total = 0;
    for (int k = 0; k < RULE_LIST_COUNT; ++k) {
        const LetterRule* list = RuleLists[k];
        int n = 0;
        while (list[n].match != nullptr) {
            EXPECT_NE(list[n].match[0], '\0') << "list " << k << " rule " << n + 1;
            if (k > 0) {
                EXPECT_EQ(list[n].match[0], 'A' + k - 1) << "list " << k << " rule " << n + 1;
            }
            ++n;
        }
        EXPECT_EQ(n, counts[k]) << "list " << k;
        total += n;
        if (k > 0 && n > 0) {
            const LetterRule& last = list[n - 1];
            const char letter[2] = {static_cast<char>('A' + k - 1), '\0'};
            EXPECT_STREQ(last.match, letter) << "list " << k;
            EXPECT_STREQ(last.left, "") << "list " << k;
            EXPECT_STREQ(last.right, "") << "list " << k;
        }
    }
    EXPECT_EQ(total, 356);
}

TEST(RuleData, EveryLetterWordTranslatesWithoutDiagnostics) {
    std::string diagnostics;
    Translator t([&](std::string_view line) { diagnostics += line; });
    std::vector<char> out(1 << 12);
    t.StartOutput(out.data(), static_cast<int32_t>(out.size()));
    for (char c = 'A'; c <= 'Z'; ++c) {
        const std::string word = std::string(" ") + c + c + "'" + c + " ";
        const char* before = out.data() + std::strlen(out.data());
        t.TranslateWord(word.c_str());
        EXPECT_NE(*before, '\0') << word;
    }
    EXPECT_EQ(diagnostics, "");
}

TEST(RuleEngine, DiagnosticsGoToTheSink) {
    const LetterRule onlyQ[] = {{"", "Q", "", "k"}, {"", nullptr, "", ""}};
    // A bad context makes that one rule fail; the next rule still applies.
    const LetterRule badThenGood[] = {
        {"", "A", "*", "x"}, {"", "A", "", "AE"}, {"", nullptr, "", ""}};
    const struct {
        const char* name;
        std::function<void(Translator&)> run;
        std::string lines;
        std::string output;
    } rows[] = {
        {"no rule: the character is skipped",
         [&](Translator& t) { EXPECT_EQ(t.FindRule(" AB ", 1, onlyQ), 2); },
         "Error: Can't find rule for: 'A' in \" AB \"\n", ""},
        {"bad left symbol", [](Translator& t) { EXPECT_FALSE(t.MatchLeftContext("%", " AB ", 1)); },
         "Bad char in left rule: '%'\n", ""},
        {"bad right symbol",
         [](Translator& t) { EXPECT_FALSE(t.MatchRightContext("*", " AB ", 2)); },
         "Bad char in right rule:'*'\n", ""},
        {"bad context, next rule", [&](Translator& t) { t.FindRule(" A ", 1, badThenGood); },
         "Bad char in right rule:'*'\n", "AE"},
    };
    for (const auto& row : rows) {
        std::string lines;
        char out[64];
        Translator t([&](std::string_view line) { lines += line; });
        t.StartOutput(out, sizeof out);
        row.run(t);
        EXPECT_EQ(lines, row.lines) << row.name;
        EXPECT_EQ(std::string(out), row.output) << row.name;
    }
    // Without a sink the lines are dropped; nothing reaches standard error.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Emitted([&](Translator& t) { t.FindRule(" AB ", 1, onlyQ); }), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(RuleEngine, ContextSymbols) {
    const struct {
        const char* name;
        const char* pattern;
        const char* word;
        int32_t position;
        bool left;
        bool expected;
    } rows[] = {
        {"# takes a run of vowels leftwards", " #", " AEIB ", 3, true, true},
        {"# needs one vowel", "#", " B ", 1, true, false},
        {": takes zero consonants", ":", " A ", 1, true, true},
        {": is greedy and never backtracks", "B:", " BB ", 2, true, false},
        {"right : is greedy too", ":B", " BB ", 1, false, false},
        {"^ is one consonant, Y included", "^", " Y ", 1, true, true},
        {"+ is a front vowel", "+", " A ", 1, true, false},
        {". is a voiced consonant", ".", " S ", 1, true, false},
        {"blank is the word boundary", " ", " A ", 0, true, true},
        {"% takes ELY", "% ", " ELY ", 1, false, true},
        {"% takes ER", "% ", " ER ", 1, false, true},
        {"% takes E alone before L", "%L", " EL ", 1, false, true},
        {"% takes ING", "% ", " ING ", 1, false, true},
        {"% rejects IN at the end", "%", " IN ", 1, false, false},
        {"% rejects other letters", "%", " A ", 1, false, false},
        {"right # at the end fails on the blank", "#", " A ", 2, false, false},
        {"right : stops at the NUL", ":", " B", 1, false, true},
    };
    Translator t;
    for (const auto& row : rows) {
        const bool got = row.left ? t.MatchLeftContext(row.pattern, row.word, row.position)
                                  : t.MatchRightContext(row.pattern, row.word, row.position);
        EXPECT_EQ(got, row.expected) << row.name;
    }
}

TEST(RuleEngine, MalformedWordsStayInsideTheirBounds) {
    // Words that collection never makes: no blanks, or shorter than two.
    EXPECT_EQ(Emitted([](Translator& t) { t.TranslateWord(""); }), "");
    EXPECT_EQ(Emitted([](Translator& t) { t.TranslateWord(" "); }), "");
    EXPECT_EQ(Emitted([](Translator& t) { t.TranslateWord("THE"); }), "hEH");
    EXPECT_EQ(Emitted([](Translator& t) { t.SpellWord(" "); }), "");
    EXPECT_EQ(Emitted([](Translator& t) { t.SpellWord(""); }), "");
}

}  // namespace
}  // namespace vocalith::translate
