// The fast rule engine (indexed rules, remembered words) against the plain
// one that walks every rule of a list: the same bytes for prose, random
// words, random bytes, and outputs cut by small capacities.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "translate/translate.h"
#include "translate_test_support.h"

namespace vocalith::translate {
namespace {

std::string Prose() {
    std::string text;
    std::vector<std::filesystem::path> files = {VOCALITH_TEST_DATA_DIR "/../../README.md"};
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator("/usr/share/common-licenses", ec)) {
        files.push_back(entry.path());
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        text += s.str();
    }
    for (char& c : text) {
        if (c == '\0') c = ' ';
    }
    return text;
}

// Words of random letters and apostrophes, some over a chunk long, some
// before a period; every rule's context gets its turn.
std::string RandomWords(uint32_t seed, size_t bytes) {
    std::mt19937 rng(seed);
    static const char kWordChars[] = "AEIOUYaeiouybcdfghjklmnpqrstvwxzBCDGHLNRST'";
    static const char* const kBetween[] = {" ", " ", " ", "-", ". ", "\n", ", ", "3 "};
    std::string text;
    while (text.size() < bytes) {
        const size_t length = rng() % 50 == 0 ? 100 + rng() % 200 : 1 + rng() % 12;
        for (size_t i = 0; i < length; ++i) text += kWordChars[rng() % (sizeof kWordChars - 1)];
        text += kBetween[rng() % 8];
    }
    return text;
}

std::string RandomBytes(uint32_t seed, size_t bytes) {
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < bytes) text += static_cast<char>(1 + rng() % 255);
    return text;
}

TEST(TranslatorModes, FastSaysWhatPlainSays) {
    const std::string prose = Prose();
    ASSERT_GT(prose.size(), 10000u);
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"prose", prose},
        {"random words", RandomWords(1, 1 << 19)},
        {"random words again", RandomWords(2, 1 << 18)},
        {"random bytes", RandomBytes(3, 1 << 17)},
    };
    // One translator of each kind for every row, so words remembered from
    // one text (or from a cut output) meet the next.
    Translator fast;
    Translator plain({}, RuleEngineMode::Plain);
    for (const auto& row : rows) {
        const auto uncut = static_cast<int32_t>(UncutCapacity(row.text.size()));
        for (const int32_t capacity : {uncut, 1900, 37, 2}) {
            const std::string want = testing::Translate(plain, row.text, capacity);
            const std::string got = testing::Translate(fast, row.text, capacity);
            ASSERT_EQ(got.size(), want.size()) << row.name << ", capacity " << capacity;
            EXPECT_TRUE(got == want) << row.name << ", capacity " << capacity;
        }
    }
}

}  // namespace
}  // namespace vocalith::translate
