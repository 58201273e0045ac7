// Translators are independent objects: two of them interleaved on one thread,
// and on two threads at once, each say exactly what one alone says.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "translate/rule_engine.h"
#include "translate/translate.h"
#include "translate_test_support.h"

namespace vocalith::translate {
namespace {

using testing::Translate;

TEST(Translators, InterleavedOnOneThread) {
    // A's output and sink stay A's while B translates a whole text.
    std::string linesA;
    std::string linesB;
    Translator a([&](std::string_view line) { linesA += line; });
    Translator b([&](std::string_view line) { linesB += line; });
    const LetterRule onlyQ[] = {{"", "Q", "", "k"}, {"", nullptr, "", ""}};
    char outA[64];
    char outB[256];
    a.StartOutput(outA, sizeof outA);
    a.EmitString("hEH");
    EXPECT_EQ(b.TranslateText("Hello, world.", outB, sizeof outB), 31);
    b.FindRule(" B ", 1, onlyQ);
    a.EmitString("lOW ");
    EXPECT_EQ(std::string(outA), "hEHlOW ");
    EXPECT_EQ(std::string(outB), "hEHlOW kAAmmAX wERld pIYrIYAAd ");
    EXPECT_EQ(linesA, "");
    EXPECT_EQ(linesB, "Error: Can't find rule for: 'B' in \" B \"\n");
}

TEST(Translators, OnTwoThreadsAtOnce) {
    const std::string texts[2] = {
        "The quick brown fox jumps over the lazy dog 3 times; $4.50 each.\n",
        "Dr. Smith's 21st well-known nation of knights, thoughtful and quick.\n"};
    std::string results[2];
    {
        std::vector<std::thread> threads;
        for (int k = 0; k < 2; ++k) {
            threads.emplace_back([&, k] {
                Translator translator;
                std::string whole;
                for (int round = 0; round < 200; ++round) whole += texts[k];
                results[k] = Translate(translator, whole, testing::UncutCapacity(whole));
            });
        }
        for (std::thread& t : threads) t.join();
    }
    for (int k = 0; k < 2; ++k) {
        std::string want;
        for (int round = 0; round < 200; ++round) want += Translate(texts[k]);
        EXPECT_EQ(results[k], want) << "text " << k;
    }
}

}  // namespace
}  // namespace vocalith::translate
