// Voice files byte for byte, refusal of damaged files without touching the
// table, and saves that never lose the voice already on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "voice/voice_file.h"

namespace vocalith::voice {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<PhonTable> NewTable() {
    return std::make_unique<PhonTable>();
}

// A table whose slots differ: slot i holds i*7 samples of a pattern.
std::unique_ptr<PhonTable> PatternTable() {
    auto t = NewTable();
    for (int i = 0; i < PHONEME_COUNT; ++i) {
        PhonSlot& s = t->slots[static_cast<size_t>(i)];
        s.count = i * 7;
        for (int k = 0; k < s.count; ++k) s.samples[k] = static_cast<int16_t>(i * 1000 - k * 37);
    }
    return t;
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void PutLe32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    if (b.size() < at + 4) return;
    const auto u = static_cast<uint32_t>(v);
    for (size_t k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(u >> (8 * k));
}

bool SameTable(const PhonTable& a, const PhonTable& b) {
    for (int i = 0; i < PHONEME_COUNT; ++i) {
        if (a.slots[i].count != b.slots[i].count || a.slots[i].samples != b.slots[i].samples) {
            return false;
        }
    }
    return true;
}

class VoiceFiles : public ::testing::Test {
  protected:
    testsupport::TempFolder temp_{"vocalith-voice"};
    fs::path dir_ = temp_.Path();
};

TEST(VoiceFormat, BytesAreExact) {
    auto empty = NewTable();
    EXPECT_EQ(EncodeVoice(*empty), std::vector<uint8_t>(400, 0));

    auto t = NewTable();
    t->slots[5].count = 3;
    t->slots[5].samples = {};
    t->slots[5].samples[0] = 0x0102;
    t->slots[5].samples[1] = -2;
    t->slots[5].samples[2] = 0x7FFF;
    t->slots[5].samples[3] = 9;  // past the count: not stored
    const std::vector<uint8_t> b = EncodeVoice(*t);
    ASSERT_EQ(b.size(), 406u);
    for (size_t i = 0; i < 400; ++i) ASSERT_EQ(b[i], i == 20 ? 3 : 0) << "header byte " << i;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 400, b.end()),
              (std::vector<uint8_t>{0x02, 0x01, 0xFE, 0xFF, 0xFF, 0x7F}));
}

TEST(VoiceFormat, SamplesFollowInCodeOrderAndRoundTrip) {
    auto t = PatternTable();
    const std::vector<uint8_t> b = EncodeVoice(*t);
    auto back = NewTable();
    ASSERT_TRUE(LoadVoiceBytes(b, *back).ok());
    EXPECT_TRUE(SameTable(*t, *back));
    EXPECT_EQ(EncodeVoice(*back), b);

    // Trailing bytes are ignored; samples past a new count keep old values.
    auto old = NewTable();
    old->slots[1].samples[20] = 4242;
    std::vector<uint8_t> longer = b;
    longer.insert(longer.end(), {1, 2, 3});
    ASSERT_TRUE(LoadVoiceBytes(longer, *old).ok());
    EXPECT_EQ(old->slots[1].count, 7);
    EXPECT_EQ(old->slots[1].samples[20], 4242);
}

TEST(VoiceFormat, DamagedFilesAreRefusedAndTableUntouched) {
    const std::vector<uint8_t> good = EncodeVoice(*PatternTable());
    auto withCount = [&](int slot, int32_t count) {
        std::vector<uint8_t> b = good;
        PutLe32(b, 4 * static_cast<size_t>(slot), count);
        return b;
    };
    struct Row {
        const char* fault;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"empty file accepted", {}},
        {"399-byte file accepted", std::vector<uint8_t>(399, 0)},
        {"negative count read", withCount(3, -1)},
        {"count past slot capacity read", withCount(41, 10001)},
        {"huge count read", withCount(0, 0x7FFFFFFF)},
        {"truncated samples accepted", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"header-only file with counts accepted",
         std::vector<uint8_t>(good.begin(), good.begin() + 400)},
    };
    for (const Row& r : rows) {
        auto table = PatternTable();
        table->slots[2].samples[9999] = 123;
        auto before = NewTable();
        *before = *table;
        const VoiceResult res = LoadVoiceBytes(r.bytes, *table);
        EXPECT_FALSE(res.ok()) << r.fault;
        EXPECT_FALSE(res.reason.empty()) << r.fault;
        EXPECT_TRUE(SameTable(*table, *before)) << r.fault;
    }
    // Entries 42..99 are ignored when read.
    std::vector<uint8_t> b = good;
    PutLe32(b, 4 * 50, -7);
    auto t = NewTable();
    EXPECT_TRUE(LoadVoiceBytes(b, *t).ok());
}

TEST(VoiceFormat, CountAtCapacityLoads) {
    auto t = NewTable();
    t->slots[41].count = PHON_MAX_SAMPLES;
    t->slots[41].samples.fill(-3);
    const std::vector<uint8_t> b = EncodeVoice(*t);
    EXPECT_EQ(b.size(), 400u + 20000u);
    auto back = NewTable();
    ASSERT_TRUE(LoadVoiceBytes(b, *back).ok());
    EXPECT_TRUE(SameTable(*t, *back));
}

TEST_F(VoiceFiles, SaveLoadSaveIsByteIdentical) {
    auto t = PatternTable();
    const fs::path a = dir_ / "voices" / "A.voc";  // the folder does not exist yet
    ASSERT_TRUE(SaveVoice(a, *t).ok());
    auto back = NewTable();
    ASSERT_TRUE(LoadVoice(a, *back).ok());
    EXPECT_TRUE(SameTable(*t, *back));
    ASSERT_TRUE(SaveVoice(dir_ / "voices" / "B.voc", *back).ok());
    EXPECT_EQ(ReadFile(a), ReadFile(dir_ / "voices" / "B.voc"));
    EXPECT_EQ(ReadFile(a), EncodeVoice(*t));
    // Nothing but the two voices is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "voices"), fs::directory_iterator()), 2);
}

TEST_F(VoiceFiles, LoadRefusalsNameTheCause) {
    auto t = PatternTable();
    auto before = NewTable();
    *before = *t;

    VoiceResult r = LoadVoice(dir_ / "missing.voc", *t);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.reason.find("cannot open"), std::string::npos) << r.reason;
    EXPECT_NE(r.reason.find("No such file or directory"), std::string::npos) << r.reason;

    WriteFile(dir_ / "short.voc", std::vector<uint8_t>(399, 0));
    r = LoadVoice(dir_ / "short.voc", *t);
    EXPECT_FALSE(r.ok());

    std::vector<uint8_t> cut = EncodeVoice(*PatternTable());
    cut.resize(cut.size() - 2);
    WriteFile(dir_ / "cut.voc", cut);
    r = LoadVoice(dir_ / "cut.voc", *t);
    EXPECT_FALSE(r.ok());

    r = LoadVoice(dir_, *t);  // a folder, not a file
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(SameTable(*t, *before));
}

TEST_F(VoiceFiles, FailedSaveKeepsTheOldVoice) {
    auto oldVoice = PatternTable();
    const fs::path path = dir_ / "Keep.voc";
    ASSERT_TRUE(SaveVoice(path, *oldVoice).ok());
    const std::vector<uint8_t> oldBytes = ReadFile(path);

    // The voices folder is a regular file: nothing can be created in it.
    WriteFile(dir_ / "notafolder", {1});
    auto t = NewTable();
    VoiceResult r = SaveVoice(dir_ / "notafolder" / "x.voc", *t);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.reason.empty());
    r = SaveVoice(dir_ / "notafolder" / "deeper" / "x.voc", *t);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.reason.find("cannot create voices folder"), std::string::npos) << r.reason;

    // The target is a folder: the rename fails, the temporary file goes away.
    fs::create_directories(dir_ / "Busy.voc" / "inside");
    r = SaveVoice(dir_ / "Busy.voc", *t);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(fs::is_directory(dir_ / "Busy.voc" / "inside"));

    EXPECT_EQ(ReadFile(path), oldBytes);
    for (const auto& e : fs::directory_iterator(dir_)) {
        const std::string n = e.path().filename().string();
        EXPECT_TRUE(n == "Keep.voc" || n == "notafolder" || n == "Busy.voc")
            << "left behind: " << n;
    }
}

// A voice the user protected stays as it is, even for root; one that is
// replaced keeps the mode it had.
TEST_F(VoiceFiles, ReadOnlyVoicesAreKeptAndModesSurviveASave) {
    auto table = PatternTable();
    const fs::path voices = dir_ / "voices";
    fs::create_directories(voices);
    struct Row {
        const char* name;
        fs::perms mode;
        bool saved;
    };
    const Row rows[] = {{"Locked", fs::perms::owner_read | fs::perms::group_read, false},
                        {"Shared",
                         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::group_write,
                         true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const fs::path path = voices / (std::string(r.name) + ".voc");
        WriteFile(path, {1, 2, 3});
        fs::permissions(path, r.mode);
        const VoiceResult result = SaveVoice(path, *table);
        EXPECT_EQ(result.ok(), r.saved) << result.reason;
        if (!r.saved) {
            EXPECT_EQ(result.reason, "voices/" + std::string(r.name) + ".voc is read-only");
            EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{1, 2, 3}));
        }
        EXPECT_EQ(fs::status(path).permissions(), r.mode);
    }
}

}  // namespace
}  // namespace vocalith::voice
