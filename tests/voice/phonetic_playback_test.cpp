// Inventory lookup, the cutting rule of SpeakPhonetic and PlayPhon, checked by
// reading back the clips queued on the speech channel.
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mixer/mixer.h"
#include "mixer/tick_clock.h"
#include "voice/phon_table.h"
#include "voice/phonetic_render.h"

namespace vocalith::voice {
namespace {

// Every slot holds one sample, 1000 + its code, so a queued clip names its code.
class SpeechChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int code = 0; code < PHONEME_COUNT; ++code) {
            PhonSlot& slot = table.slots[static_cast<size_t>(code)];
            slot.count = 1;
            slot.samples[0] = static_cast<int16_t>(1000 + code);
        }
    }

    std::vector<int> QueuedCodes() const {
        std::vector<int> codes;
        const mixer::MixerChannel& ch = mixer.channels[mixer::SPEECH_CHANNEL];
        for (const mixer::ClipNode* c = ch.head; c != nullptr; c = c->next) {
            codes.push_back(c->Samples()[0] - 1000);
        }
        return codes;
    }

    mixer::FakeTickClock clock{777};
    mixer::Mixer mixer{&clock};
    std::unique_ptr<PhonTable> tablePtr = std::make_unique<PhonTable>();
    PhonTable& table = *tablePtr;
};

TEST(PhonemeInventory, LookupIsWholeAndCaseBlind) {
    struct Row {
        const char* text;
        int code;
    };
    const Row rows[] = {
        {"IY", 0},  {"iy", 0},  {"Iy", 0},    {"iY", 0},  {"I", -1},  {"IYX", -1},
        {"", -1},   {" ", 41},  {"ng", 33},   {"NG", 33}, {"p", 16},  {"P", 16},
        {"WH", 40}, {"  ", -1}, {"\r\n", -1}, {"y", 36},  {"ZH", 29},
    };
    for (const Row& r : rows) EXPECT_EQ(LookupPhoneme(r.text), r.code) << '"' << r.text << '"';
    EXPECT_EQ(LookupPhoneme(nullptr), -1);
}

TEST(PhonemeInventory, RowsAreInCodeOrderAndDistinctIgnoringCase) {
    for (int i = 0; i < PHONEME_COUNT; ++i) {
        EXPECT_EQ(kInventory[i].code, i);
        EXPECT_EQ(LookupPhoneme(kInventory[i].symbol), i) << kInventory[i].symbol;
    }
    EXPECT_STREQ(kInventory[41].hint, "Silence");
    EXPECT_STREQ(kInventory[10].hint, "mURdER");
}

TEST_F(SpeechChannel, CuttingRule) {
    struct Row {
        const char* fault;
        std::string text;
        std::vector<int> codes;
    };
    const Row rows[] = {
        {"empty text queues something", "", {}},
        {"blank is not silence", " ", {41}},
        {"word one", "wAHn ", {35, 12, 32, 41}},
        {"upper case does not pair with next", "IYs", {0, 26}},
        {"lower case paired", "iys", {36, 26}},
        {"upper case letter does not swallow blank", "P a", {}},
        {"final single letter not alone", "AX A", {11, 41}},
        {"CR LF not one token", "\r\nb", {17}},
        {"newline does not swallow next", "EY \nbIY ", {2, 41, 0, 41}},
        {"lone LF at end mishandled", "m\n", {31}},
        {"second letter case matters", "Iy", {0}},
        {"high byte must pair (signed compare)", "\xC3p", {}},
        {"high byte at end", "n\xC3", {32}},
        {"0x5B..0x7F alone", "[n", {32}},
        {"digits pair", "1n", {}},
        {"repeated phoneme", "nnn", {32, 32, 32}},
    };
    for (const Row& r : rows) {
        mixer::ClearAllChannels(mixer);
        SpeakPhonetic(mixer, table, r.text.c_str());
        EXPECT_EQ(QueuedCodes(), r.codes) << r.fault;
    }
}

TEST_F(SpeechChannel, EmptySlotsAreLeftOutAndNothingClearsTheChannel) {
    table.slots[12].count = 0;  // AH
    SpeakPhonetic(mixer, table, "wAHn ");
    EXPECT_EQ(QueuedCodes(), (std::vector<int>{35, 32, 41}));
    SpeakPhonetic(mixer, table, "m");
    EXPECT_EQ(QueuedCodes(), (std::vector<int>{35, 32, 41, 31}));
    SpeakPhonetic(mixer, table, nullptr);
    EXPECT_EQ(QueuedCodes().size(), 4u);
}

TEST_F(SpeechChannel, PlayPhonRangeAndClipFields) {
    PlayPhon(mixer, table, -1);
    PlayPhon(mixer, table, 42);
    EXPECT_TRUE(QueuedCodes().empty());
    PlayPhon(mixer, table, 0);
    PlayPhon(mixer, table, 41);
    EXPECT_EQ(QueuedCodes(), (std::vector<int>{0, 41}));
    const mixer::ClipNode* c = mixer.channels[mixer::SPEECH_CHANNEL].head;
    EXPECT_EQ(c->userValue, 1);
    EXPECT_STREQ(c->tag, "noOne");
    // A damaged count never reads past the slot.
    table.slots[3].count = PHON_MAX_SAMPLES + 1;
    PlayPhon(mixer, table, 3);
    EXPECT_EQ(QueuedCodes().size(), 2u);
}

TEST_F(SpeechChannel, ClipsAreCopiedWhenQueued) {
    PlayPhon(mixer, table, 5);
    table.slots[5].samples[0] = 0;
    EXPECT_EQ(QueuedCodes(), (std::vector<int>{5}));
}

TEST_F(SpeechChannel, RenderStartsWithTheDelayThenClipsBackToBack) {
    PhonSlot& w = table.slots[35];
    w.count = 3;
    w.samples[1] = 7;
    w.samples[2] = 8;
    const std::vector<int16_t> out = RenderPhoneticToSamples("wn", table);
    ASSERT_EQ(out.size(), static_cast<size_t>(START_DELAY_SAMPLES + 4));
    for (int i = 0; i < START_DELAY_SAMPLES; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], 0);
    EXPECT_EQ(std::vector<int16_t>(out.end() - 4, out.end()),
              (std::vector<int16_t>{1035, 7, 8, 1032}));
    EXPECT_TRUE(QueuedCodes().empty()) << "the render leaves the channel empty";
    EXPECT_TRUE(RenderPhoneticToSamples("xq", table).empty()) << "no phoneme, no samples";
}

// A phonetic string given in pieces renders as the whole string does, where
// ever the pieces end: in the middle of a two-byte symbol, after a newline
// (which takes the next byte with it), or at a NUL that ends the string.
TEST_F(SpeechChannel, RenderingInPiecesEqualsRenderingWhole) {
    class Collect final : public SampleSink {
      public:
        base::Result Write(std::span<const int16_t> s) override {
            out.insert(out.end(), s.begin(), s.end());
            return {};
        }
        std::vector<int16_t> out;
    };
    const std::string texts[] = {"wn AXn\nn w", "AHAH  n\n\nwq", std::string("wn\0AX n", 8)};
    for (const std::string& text : texts) {
        const std::vector<int16_t> whole = RenderPhoneticToSamples(text.c_str(), table);
        for (size_t cut = 0; cut <= text.size(); ++cut) {
            for (size_t cut2 = cut; cut2 <= text.size(); ++cut2) {
                Collect sink;
                PhoneticRenderer renderer(table, sink);
                const std::string_view all(text);
                ASSERT_TRUE(renderer.Feed(all.substr(0, cut)));
                ASSERT_TRUE(renderer.Feed(all.substr(cut, cut2 - cut)));
                ASSERT_TRUE(renderer.Feed(all.substr(cut2)));
                ASSERT_TRUE(renderer.Finish());
                ASSERT_EQ(sink.out, whole) << "cut at " << cut << " and " << cut2;
            }
        }
    }
}

// Rendering while the window speaks: the window's mixer and clock are not
// touched, and a text far longer than one queue-full comes out whole, in
// order, with no gap where the queue was refilled.
TEST_F(SpeechChannel, RenderLeavesTheWindowsSpeechAloneAndStreamsLongTexts) {
    PhonSlot& w = table.slots[35];  // "w"
    w.count = PHON_MAX_SAMPLES;
    for (int i = 0; i < PHON_MAX_SAMPLES; ++i) w.samples[static_cast<size_t>(i)] = 32767;
    PlayPhon(mixer, table, 5);
    std::string text;
    for (int i = 0; i < 40; ++i) text += "wn";
    const std::vector<int16_t> out = RenderPhoneticToSamples(text.c_str(), table);
    EXPECT_EQ(clock.Now(), 777u);
    EXPECT_EQ(QueuedCodes(), (std::vector<int>{5})) << "the window's queued clip is gone";
    ASSERT_EQ(out.size(), static_cast<size_t>(START_DELAY_SAMPLES + 40 * (PHON_MAX_SAMPLES + 1)));
    for (int k = 0; k < 40; ++k) {
        const size_t at = START_DELAY_SAMPLES + static_cast<size_t>(k) * (PHON_MAX_SAMPLES + 1);
        ASSERT_EQ(out[at], mixer::MIX_LIMIT) << "clip " << k << " is clipped to the mix limit";
        ASSERT_EQ(out[at + PHON_MAX_SAMPLES], 1032) << "clip " << k;
    }
}

}  // namespace
}  // namespace vocalith::voice
