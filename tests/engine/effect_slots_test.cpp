// Effect loading (RIFF WAVE reader and its codes), playing modes, the name
// tables and the music hooks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/program_folder.h"
#include "engine/effect_slots.h"
#include "engine/fakes.h"
#include "engine/sound_window.h"
#include "support/temp_folder.h"
#include "wave/riff_reader.h"

namespace vocalith::engine {

using namespace vocalith::mixer;
using namespace vocalith::wave;
namespace {

using test::FakeDevices;
using test::TestDispatcher;

void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void PutChunk(std::vector<uint8_t>& v, const char* id, const std::vector<uint8_t>& body,
              uint32_t declared) {
    v.insert(v.end(), id, id + 4);
    Put32(v, declared);
    v.insert(v.end(), body.begin(), body.end());
    if (body.size() % 2) v.push_back(0);
}
std::vector<uint8_t> FmtBody(uint16_t size = 16) {
    std::vector<uint8_t> b;
    Put16(b, 1);
    Put16(b, 1);
    Put32(b, 11025);
    Put32(b, 22050);
    Put16(b, 2);
    Put16(b, 16);
    b.resize(size, 0);
    return b;
}
std::vector<uint8_t> Form(const std::vector<uint8_t>& inner, const char* type = "WAVE") {
    std::vector<uint8_t> v = {'R', 'I', 'F', 'F'};
    Put32(v, static_cast<uint32_t>(inner.size() + 4));
    v.insert(v.end(), type, type + 4);
    v.insert(v.end(), inner.begin(), inner.end());
    return v;
}
std::vector<uint8_t> Wave(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> inner;
    PutChunk(inner, "fmt ", FmtBody(), 16);
    PutChunk(inner, "data", data, static_cast<uint32_t>(data.size()));
    return Form(inner);
}

TEST(RiffReaderTest, EachFaultHasItsCode) {
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> fmtThenJunkThenData;
    PutChunk(fmtThenJunkThenData, "fmt ", FmtBody(18), 18);
    PutChunk(fmtThenJunkThenData, "LIST", {9, 9, 9}, 3);  // odd: padded
    PutChunk(fmtThenJunkThenData, "data", data, 6);
    std::vector<uint8_t> dataBeforeFmt;
    PutChunk(dataBeforeFmt, "data", data, 6);
    PutChunk(dataBeforeFmt, "fmt ", FmtBody(), 16);
    std::vector<uint8_t> fmtTooLong;
    PutChunk(fmtTooLong, "fmt ", FmtBody(), 400);
    std::vector<uint8_t> noFmt;
    PutChunk(noFmt, "data", data, 6);
    std::vector<uint8_t> emptyData;
    PutChunk(emptyData, "fmt ", FmtBody(), 16);
    PutChunk(emptyData, "data", {}, 0);
    std::vector<uint8_t> junkFirst;
    PutChunk(junkFirst, "JUNK", {1, 2}, 2);
    const auto wave = Wave(data);
    junkFirst.insert(junkFirst.end(), wave.begin(), wave.end());

    struct Row {
        const char* fault;
        std::vector<uint8_t> bytes;
        WaveStatus status;
        uint32_t dataSize;
    };
    const Row rows[] = {
        {"a plain file must load", Wave(data), WaveStatus::Ok, 6},
        {"an odd chunk between must be skipped with its pad byte", Form(fmtThenJunkThenData),
         WaveStatus::Ok, 6},
        {"a form after another top-level chunk must be found", junkFirst, WaveStatus::Ok, 6},
        {"empty input is no WAVE form", {}, WaveStatus::NoWaveForm, 0},
        {"a RIFF form of another type is not WAVE", Form(fmtThenJunkThenData, "AVI "),
         WaveStatus::NoWaveForm, 0},
        {"a header cut inside the form type is not WAVE",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W'},
         WaveStatus::NoWaveForm,
         0},
        {"no fmt chunk", Form(noFmt), WaveStatus::NoFormat, 0},
        {"a fmt chunk longer than the file", Form(fmtTooLong), WaveStatus::FormatShort, 0},
        {"data only before fmt is not found", Form(dataBeforeFmt), WaveStatus::NoData, 0},
        {"an empty data chunk", Form(emptyData), WaveStatus::DataEmpty, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        const WaveView view = ParseWave(r.bytes);
        EXPECT_EQ(view.status, r.status);
        if (r.status == WaveStatus::Ok) {
            EXPECT_EQ(view.dataSize, r.dataSize);
            EXPECT_EQ(view.format.samplesPerSec, 11025u);
            EXPECT_EQ(view.format.bitsPerSample, 16);
            ASSERT_EQ(view.data.size(), 6u);
            EXPECT_EQ(view.data[0], 1);
        }
    }
}

// The declared size of the RIFF form bounds where chunks are looked for, but
// a chunk's bytes are read from the file: a form that claims too little still
// gives its chunks whole, and one that claims nothing holds no "fmt ".
TEST(RiffReaderTest, FormSizeBoundsTheSearchNotTheRead) {
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6};
    auto withDeclared = [](std::vector<uint8_t> v, uint32_t declared) {
        for (int i = 0; i < 4; ++i) v[4 + i] = static_cast<uint8_t>(declared >> (8 * i));
        return v;
    };
    const std::vector<uint8_t> wave = Wave(data);  // 12 + 24 + 8 + 6 = 50 bytes
    std::vector<uint8_t> fmtPastForm;
    PutChunk(fmtPastForm, "fmt ", FmtBody(), 16);
    fmtPastForm.insert(fmtPastForm.end(), {'d', 'a', 't', 'a', 6, 0, 0, 0, 1, 2, 3, 4, 5, 6});
    struct Row {
        const char* fault;
        std::vector<uint8_t> bytes;
        WaveStatus status;
        size_t dataRead;
    };
    const Row rows[] = {
        {"data running past the declared form end must be read whole",
         withDeclared(wave, 4 + 24 + 8 + 2), WaveStatus::Ok, 6},
        {"fmt body past the declared form end must be read from the file (then no data)",
         withDeclared(Form(fmtPastForm), 4 + 8 + 4), WaveStatus::NoData, 0},
        {"a form declaring no room for chunks holds no fmt (not: no WAVE form)",
         withDeclared(wave, 0), WaveStatus::NoFormat, 0},
        {"data cut by the end of the file is short",
         {wave.begin(), wave.end() - 2},
         WaveStatus::Ok,
         4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        const WaveView view = ParseWave(r.bytes);
        EXPECT_EQ(view.status, r.status);
        if (r.status == WaveStatus::Ok) {
            EXPECT_EQ(view.dataSize, 6u);
            EXPECT_EQ(view.format.samplesPerSec, 11025u);
            ASSERT_EQ(view.data.size(), r.dataRead);
            EXPECT_EQ(view.data[0], 1);
        }
    }
}

class EffectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetBuiltinEffectIds();
        ResetDynamicNames();
        window = std::make_unique<CSoundWnd>(devices.MakeOutput(), nullptr, &dispatcher, nullptr);
        window->InitDirectSound();
        std::filesystem::create_directories(folder / "sfx");
        base::SetProgramFolder(folder);
    }
    void TearDown() override {
        window.reset();
        dispatcher.RunPending();
        ResetBuiltinEffectIds();
        ResetDynamicNames();
    }
    void WriteSfx(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(folder / "sfx" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    FakeDevices devices;
    TestDispatcher dispatcher;
    std::unique_ptr<CSoundWnd> window;
    testsupport::TempFolder temp{"vocalith-effects"};
    std::filesystem::path folder = temp.Path();
};

TEST_F(EffectTest, LoadCodesAndSlotOccupancy) {
    const std::vector<uint8_t> data = {1, 2, 3, 4};
    std::vector<uint8_t> truncated = Wave(data);
    truncated.resize(truncated.size() - 2);  // the data chunk claims 4, holds 2
    std::vector<uint8_t> noFmt;
    PutChunk(noFmt, "data", data, 4);
    std::vector<uint8_t> emptyData;
    PutChunk(emptyData, "fmt ", FmtBody(), 16);
    PutChunk(emptyData, "data", {}, 0);
    std::vector<uint8_t> shortFmt;
    PutChunk(shortFmt, "fmt ", FmtBody(), 40);

    struct Row {
        const char* fault;
        std::vector<uint8_t> bytes;
        bool refuse;
        int code;
        bool slotTaken;
    };
    const Row rows[] = {
        {"not a WAVE file", {'x', 'y'}, false, EFFECT_ERR_NOT_WAVE, false},
        {"no fmt chunk", Form(noFmt), false, EFFECT_ERR_NO_FORMAT, false},
        {"fmt chunk cut short", Form(shortFmt), false, EFFECT_ERR_FORMAT_SHORT, false},
        {"empty data leaves the slot free", Form(emptyData), false, EFFECT_ERR_DATA_EMPTY, false},
        {"a refused buffer leaves the slot free", Wave(data), true, EFFECT_ERR_BUFFER, false},
        {"short data keeps the buffer made for it", truncated, false, EFFECT_ERR_DATA_READ, true},
        {"a good file fills the first free slot", Wave(data), false, 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        window->effectBuffers[0].reset();
        devices.output->refuse = r.refuse;
        EXPECT_EQ(window->LoadEffectFromBytes(r.bytes), r.code);
        EXPECT_EQ(window->effectBuffers[0] != nullptr, r.slotTaken);
    }
    devices.output->refuse = false;
    const auto& loaded = *devices.output->buffers.back();
    EXPECT_EQ(loaded.bytes, data);
    EXPECT_EQ(loaded.format.avgBytesPerSec, 22050u);
}

TEST_F(EffectTest, PathFailuresAreMinusOne) {
    WriteSfx("ok.wav", Wave({1, 2}));
    EXPECT_EQ(window->LoadEffect(""), EFFECT_ERR_OPEN);
    EXPECT_EQ(window->LoadEffect(folder / "sfx" / "missing.wav"), EFFECT_ERR_OPEN);
    EXPECT_EQ(window->LoadEffect(folder / "sfx"), EFFECT_ERR_OPEN) << "a folder is no file";
    for (auto& b : window->effectBuffers)
        b = std::make_unique<test::FakeOutputBuffer>(std::make_shared<test::FakeBufferState>());
    EXPECT_EQ(window->LoadEffect(folder / "sfx" / "ok.wav"), EFFECT_ERR_OPEN) << "no free slot";
    EXPECT_EQ(PlayEffectByName("ok.wav", 1), -1);
    CSoundWnd noDevice(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(noDevice.LoadEffect(folder / "sfx" / "ok.wav"), EFFECT_ERR_OPEN);
}

TEST_F(EffectTest, PlayModesMakeTheirDeviceCalls) {
    ASSERT_EQ(window->LoadEffectFromBytes(Wave({1, 2})), 0);
    auto& b = *devices.output->buffers.back();
    struct Row {
        const char* fault;
        int mode;
        std::vector<std::string> calls;
        int result;
    };
    const Row rows[] = {
        {"stop", 0, {"Stop"}, 1},
        {"play once rewinds first",
         1,
         {"Stop", "SetVolume(0)", "SetCurrentPosition(0)", "Play(once)"},
         1},
        {"loop plays from where it stands", 2, {"Play(loop)", "SetVolume(0)"}, 1},
        {"an unknown mode touches nothing", 4, {}, 0},
        {"a negative mode touches nothing", -1, {}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        b.calls.clear();
        EXPECT_EQ(window->PlayEffect(0, r.mode), r.result);
        EXPECT_EQ(b.calls, r.calls);
    }
    EXPECT_EQ(window->PlayEffect(1, 1), 0) << "a free slot";
    EXPECT_EQ(window->PlayEffect(256, 1), 0);
    EXPECT_EQ(window->PlayEffect(-1, 1), 0);
}

TEST_F(EffectTest, PlayAndWaitEndsWithThePlayOrAfterTwentySeconds) {
    FakeTickClock clock(5000);
    SetClock(&clock);
    ASSERT_EQ(window->LoadEffectFromBytes(Wave({1, 2})), 0);
    auto& b = *devices.output->buffers.back();
    b.clock = &clock;
    b.advancePerPoll = 100;
    b.stopAfterPolls = 5;
    EXPECT_EQ(window->PlayEffect(0, 3), 1);
    EXPECT_EQ(b.statusPolls, 5) << "stops polling when the effect has ended";

    b.statusPolls = 0;
    b.stopAfterPolls = 0;  // never ends
    b.advancePerPoll = 5000;
    const uint32_t begin = clock.Now();
    EXPECT_EQ(window->PlayEffect(0, 3), 1);
    EXPECT_GE(clock.Now() - begin, 20000u);
    EXPECT_LE(b.statusPolls, 6) << "gives up after 20 s of the clock";
    SetClock(nullptr);
}

TEST_F(EffectTest, NamesLoadOnceAndMatchWithoutCase) {
    WriteSfx("arrow.wav", Wave({1, 2, 3, 4}));
    EXPECT_EQ(PlayEffectByName("arrow.wav", 1), 0);
    EXPECT_EQ(DynamicEffects()[0].slot, 0);
    EXPECT_EQ(PlayEffectByName("ARROW.WAV", 1), 0);
    EXPECT_EQ(devices.output->buffers.size(), 1u) << "a loaded name is not loaded again";
    EXPECT_EQ(std::string(DynamicEffects()[0].name), "arrow.wav");

    // A missing file leaves its entry free for the next name.
    EXPECT_EQ(PlayEffectByName("nothing.wav", 1), -1);
    EXPECT_EQ(RegisterEffectName("other.wav"), 1001);
    EXPECT_EQ(std::string(DynamicEffects()[1].name), "other.wav");
}

TEST_F(EffectTest, LongNamesAreCutTo39Characters) {
    const std::string full(45, 'a');
    const std::string cut(39, 'a');
    WriteSfx(cut, Wave({1, 2}));
    EXPECT_EQ(PlayEffectByName(full.c_str(), 1), 0) << "looked for under its first 39";
    EXPECT_EQ(std::string(DynamicEffects()[0].name), cut);
    // The full name does not match the stored text: a further entry and slot.
    EXPECT_EQ(PlayEffectByName(full.c_str(), 1), 1);
    EXPECT_EQ(DynamicEffects()[1].slot, 1);
}

TEST_F(EffectTest, IdsOutsideTheTablesAndEmptyNames) {
    struct Row {
        const char* fault;
        int id;
    };
    const Row rows[] = {{"66 is past the builtins", 66},
                        {"999 is between the tables", 999},
                        {"1256 is past the dynamic names", 1256},
                        {"a negative id", -1},
                        {"an empty name loads the sfx folder itself, which fails", 1000}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        EXPECT_EQ(PlayEffectById(r.id, 1), -1);
    }
    EXPECT_TRUE(devices.output->buffers.empty());
}

TEST_F(EffectTest, BuiltinIdsShareFilesButNotSlots) {
    const auto& t = BuiltinEffects();
    std::set<std::string> names;
    for (const auto& e : t) names.insert(e.name);
    EXPECT_EQ(names.size(), 54u);
    EXPECT_STREQ(t[0].name, t[2].name);
    EXPECT_STREQ(t[63].name, t[65].name);
    for (int i = 40; i <= 42; ++i) EXPECT_STREQ(t[i].name, t[39].name);
    for (int i = 44; i <= 50; ++i) EXPECT_STREQ(t[i].name, t[43].name);
    EXPECT_EQ(names.count("arrow.wav"), 0u);

    WriteSfx(t[0].name, Wave({1, 2}));
    EXPECT_EQ(PlayEffectById(0, 1), 0);
    EXPECT_EQ(PlayEffectById(2, 1), 1) << "a shared file gets a slot per id";
    EXPECT_EQ(PlayEffectById(0, 1), 0);
}

TEST_F(EffectTest, WithoutWindowNothingPlays) {
    window.reset();
    EXPECT_EQ(PlayEffectByName("arrow.wav", 1), -1);
}

TEST_F(EffectTest, MusicEndLoopsOrCloses) {
    FakeTickClock clock(1000);
    SetClock(&clock);
    std::vector<uint8_t> second(22050, 1);  // one second of sound
    WriteSfx("song.wav", Wave(second));
    ASSERT_EQ(window->OpenMusic(folder / "sfx" / "song.wav", /*loop=*/true), MEDIA_OK);
    EXPECT_EQ(window->musicOpen, 1);
    clock.Advance(999);
    window->PollMusic();
    EXPECT_EQ(dispatcher.RunPending(), 0u);
    clock.Advance(1);
    window->PollMusic();
    EXPECT_EQ(dispatcher.RunPending(), 1u);  // looped: plays again
    EXPECT_EQ(window->musicOpen, 1);

    EXPECT_EQ(window->OnMciNotify(2), 0);  // another code changes nothing
    EXPECT_EQ(window->musicOpen, 1);

    window->musicLoop = 0;
    clock.Advance(1000);
    window->PollMusic();
    dispatcher.RunPending();
    EXPECT_EQ(window->musicOpen, 0);
    EXPECT_EQ(window->SendMusicCommand("close song"), MEDIA_ERR_NOT_OPEN);
    EXPECT_EQ(window->SendMusicCommand("open nowhere.wav alias song"), MEDIA_ERR_FILE);
    EXPECT_EQ(window->SendMusicCommand("seek song to 0"), MEDIA_ERR_UNRECOGNIZED);
    SetClock(nullptr);
}

TEST_F(EffectTest, ShutdownClosesTheSongAndNotificationsAfterwardsAreHarmless) {
    FakeTickClock clock(1000);
    SetClock(&clock);
    WriteSfx("song.wav", Wave(std::vector<uint8_t>(2205, 1)));
    ASSERT_EQ(window->OpenMusic(folder / "sfx" / "song.wav", false), MEDIA_OK);
    clock.Advance(200);
    window->PollMusic();  // posts the end
    window->ShutdownAudio();
    EXPECT_EQ(window->musicOpen, 0);
    window.reset();
    dispatcher.RunPending();  // the posted end finds no window
    SetClock(nullptr);
}

}  // namespace
}  // namespace vocalith::engine
