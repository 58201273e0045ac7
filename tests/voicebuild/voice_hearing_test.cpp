// The voice check by ear: the recognizer hears Voxa about as the listening
// runs do and a voice with one vowel for all sixteen as far worse, and the
// check's words say so.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"
#include "voicebuild/clip_cutter.h"
#include "voicebuild/voice_check.h"
#include "voicebuild/voice_hearing.h"

namespace vocalith::voicebuild {
namespace {

TEST(VoiceHearing, HearsAVoiceWithOneVowelForAllAsHarderThanVoxa) {
    const VoiceHearing hearing;
    ASSERT_TRUE(hearing.Available()) << hearing.Note();
    const std::filesystem::path voxaPath = std::string(VOCALITH_BIN_DIR) + "/voices/Voxa.voc";
    if (!std::filesystem::exists(voxaPath)) GTEST_SKIP() << "no Voxa in a build without its tools";
    auto voxa = std::make_unique<voice::PhonTable>();
    ASSERT_TRUE(voice::LoadVoice(voxaPath, *voxa).ok());
    auto flat = std::make_unique<voice::PhonTable>(*voxa);
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        if (IsVowelPhoneme(code)) flat->slots[size_t(code)] = voxa->slots[AX];
    }
    const VoiceCheck check = HearVoiceCheck(hearing, *flat, *voxa, "Voxa");
    EXPECT_TRUE(check.heard);
    EXPECT_LT(check.reference, 25);  // the listening runs hear Voxa at 12 to 16
    EXPECT_GT(check.misheard, check.reference + 20);
    EXPECT_NE(check.text.find("harder to understand than Voxa"), std::string::npos) << check.text;

    std::atomic<bool> stop{true};
    EXPECT_FALSE(HearVoiceCheck(hearing, *flat, *voxa, "Voxa", &stop).done);
}

// Without the recognizer the check still gives a figure, says it is a guess
// from the vowels and why: the guess is rougher, and once misled in silence.
TEST(VoiceHearing, WithoutTheRecognizerTheCheckSaysItGuessesAndWhy) {
    const std::filesystem::path voxaPath = std::string(VOCALITH_BIN_DIR) + "/voices/Voxa.voc";
    if (!std::filesystem::exists(voxaPath)) GTEST_SKIP() << "no Voxa in a build without its tools";
    auto voxa = std::make_unique<voice::PhonTable>();
    ASSERT_TRUE(voice::LoadVoice(voxaPath, *voxa).ok());
    testsupport::TempFolder folder{"vocalith-no-model"};
    const std::filesystem::path bare = folder.Path() / "model";  // a model without its dictionary
    std::filesystem::create_directories(bare);
    for (const char* file : {"mdef", "means"}) std::ofstream(bare / file) << "x";
    const struct {
        std::filesystem::path model;
        const char* why;
    } rows[] = {
        {folder.Path() / "nothing", "no acoustic model to hear the voice with"},
        {bare, "no pronunciation dictionary beside the acoustic model"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        test::ScopedEnv model("VOCALITH_ACOUSTIC_MODEL", row.model.c_str());
        const VoiceHearing hearing;
        EXPECT_FALSE(hearing.Available());
        const VoiceCheck check = HearVoiceCheck(hearing, *voxa, *voxa, "Voxa");
        EXPECT_TRUE(check.done);
        EXPECT_FALSE(check.heard);
        EXPECT_NE(check.text.find(std::string("(a rough guess from the vowels alone: ") + row.why),
                  std::string::npos)
            << check.text;
    }
}

TEST(VoiceHearing, CountsWordErrorsAsSubstitutionsDeletionsAndInsertions) {
    const struct {
        const char *said, *heard;
        size_t errors;
    } rows[] = {
        {"the boy was there", "the boy was there", 0},
        {"the boy was there", "a boy was there", 1},
        {"the boy was there", "boy there", 2},
        {"the boy", "the big boy was", 2},
        {"the boy", "", 2},
        {"", "the", 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WordErrors(ListenerWords(row.said), ListenerWords(row.heard)), row.errors)
            << row.said << " / " << row.heard;
    }
}

// The listener's language model: a seen pair keeps its count less half a
// count, and what is left goes to the unseen ones in the unigrams' shares.
TEST(VoiceHearing, BigramModelDiscountsSeenPairsAndBacksOffToAddOneUnigrams) {
    const std::string model = BigramModel({"a b", "a c"});
    // Unigrams (a 2, b 1, c 1, </s> 2; 6 in all, 4 words): a 3/10, b 2/10.
    // After "a" (seen twice, two words): b (1 - 0.5) / 2, and the backoff
    // 0.5 left over 1 - (2/10 + 2/10); after "b": </s> 0.5, backoff 0.5 / 0.7.
    for (const char* line :
         {"ngram 1=5\n", "ngram 2=5\n", "-0.5229 a -0.0792\n", "-0.6990 b -0.1461\n",
          "-0.1249 <s> a\n", "-0.6021 a b\n", "-0.6021 a c\n", "-0.3010 b </s>\n"}) {
        EXPECT_NE(model.find(line), std::string::npos) << line << model;
    }
}

}  // namespace
}  // namespace vocalith::voicebuild
