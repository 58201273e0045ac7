// Effect loading and its codes, playing modes, the name tables and the music
// hooks. (The RIFF walk itself is tested in tests/wave.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/program_folder.h"
#include "engine/effect_slots.h"
#include "engine/engine.h"
#include "engine/fakes.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "wave/riff_reader.h"

namespace vocalith::engine {

using namespace vocalith::mixer;
using namespace vocalith::wave;
namespace {

using test::FakeDevices;
using test::TestDispatcher;
using vocalith::test::Chunk;
using vocalith::test::FmtBody;
using vocalith::test::Form;
using vocalith::test::PutChunk;
using vocalith::test::Wave;

class EffectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = &engine.OpenSoundWindow(devices.MakeOutput(), nullptr, &dispatcher, nullptr);
        window->InitDirectSound();
        std::filesystem::create_directories(folder / "sfx");
        // A voices folder marks the data as kept beside the program.
        std::filesystem::create_directories(folder / "voices");
        engine.programFolder = folder;
    }
    void TearDown() override {
        engine.CloseSoundWindow();
        dispatcher.RunPending();
    }
    void WriteSfx(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(folder / "sfx" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    FakeTickClock clock{5000};
    FakeDevices devices;
    TestDispatcher dispatcher;
    Engine engine{&clock};
    CSoundWnd* window = nullptr;
    testsupport::TempFolder temp{"vocalith-effects"};
    std::filesystem::path folder = temp.Path();
};

TEST_F(EffectTest, LoadCodesAndSlotOccupancy) {
    const std::vector<uint8_t> data = {1, 2, 3, 4};
    std::vector<uint8_t> truncated = Wave(data);
    truncated.erase(truncated.end() - 2, truncated.end());  // the data chunk claims 4, holds 2
    std::vector<uint8_t> noFmt;
    PutChunk(noFmt, "data", data, 4);
    std::vector<uint8_t> emptyData;
    PutChunk(emptyData, "fmt ", FmtBody(), 16);
    PutChunk(emptyData, "data", {}, 0);
    std::vector<uint8_t> shortFmt;
    PutChunk(shortFmt, "fmt ", FmtBody(), 40);
    // 244 bytes whose data chunk claims 256 MiB.
    std::vector<uint8_t> lying = Wave(std::vector<uint8_t>(200, 7));
    lying[40] = 0, lying[41] = 0, lying[42] = 0, lying[43] = 0x10;

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
        {"short data is found before a buffer is made", truncated, false, EFFECT_ERR_DATA_READ,
         false},
        {"a small file claiming 256 MiB gets no buffer", lying, false, EFFECT_ERR_DATA_READ, false},
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
    EXPECT_EQ(engine.PlayEffectByName("ok.wav", 1), -1);
    Engine other;
    CSoundWnd& noDevice = other.OpenSoundWindow(nullptr, nullptr, nullptr, nullptr);
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
}

TEST_F(EffectTest, NamesLoadOnceAndMatchWithoutCase) {
    WriteSfx("arrow.wav", Wave({1, 2, 3, 4}));
    EXPECT_EQ(engine.PlayEffectByName("arrow.wav", 1), 0);
    EXPECT_EQ(engine.effects.dynamic[0].slot, 0);
    EXPECT_EQ(engine.PlayEffectByName("ARROW.WAV", 1), 0);
    EXPECT_EQ(devices.output->buffers.size(), 1u) << "a loaded name is not loaded again";
    EXPECT_EQ(std::string(engine.effects.dynamic[0].name), "arrow.wav");

    // A missing file leaves its entry free for the next name.
    EXPECT_EQ(engine.PlayEffectByName("nothing.wav", 1), -1);
    EXPECT_EQ(engine.effects.RegisterEffectName("other.wav"), 1001);
    EXPECT_EQ(std::string(engine.effects.dynamic[1].name), "other.wav");
}

TEST_F(EffectTest, LongNamesAreCutTo39Characters) {
    const std::string full(45, 'a');
    const std::string cut(39, 'a');
    WriteSfx(cut, Wave({1, 2}));
    EXPECT_EQ(engine.PlayEffectByName(full.c_str(), 1), 0) << "looked for under its first 39";
    EXPECT_EQ(std::string(engine.effects.dynamic[0].name), cut);
    // The full name does not match the stored text: a further entry and slot.
    EXPECT_EQ(engine.PlayEffectByName(full.c_str(), 1), 1);
    EXPECT_EQ(engine.effects.dynamic[1].slot, 1);
}

TEST_F(EffectTest, InstalledProgramTakesTheUsersSfxBeforeTheShared) {
    namespace fs = std::filesystem;
    const fs::path bin = folder / "prefix" / "bin";
    const fs::path shared = folder / "prefix" / "share" / "vocalith" / "sfx";
    const fs::path user = folder / "xdg" / "vocalith" / "sfx";
    for (const fs::path& f : {bin, shared, user}) fs::create_directories(f);
    for (const fs::path& f : {shared / "arrow.wav", shared / "both.wav", user / "both.wav"})
        std::ofstream(f, std::ios::binary) << "x";
    vocalith::test::ScopedEnv xdg("XDG_DATA_HOME", (folder / "xdg").c_str());
    engine.programFolder = bin;
    struct Row {
        const char* fault;
        const char* name;
        fs::path want;
    };
    const Row rows[] = {
        {"shared sound not found", "arrow.wav", shared / "arrow.wav"},
        {"shared sound played before the user's", "both.wav", user / "both.wav"},
        {"missing sound not looked for in the user's folder", "none.wav", user / "none.wav"},
    };
    for (const Row& r : rows) EXPECT_EQ(EffectPath(bin, r.name), r.want.string()) << r.fault;
    WriteSfx("beside.wav", Wave({1, 2}));  // in folder/sfx: no longer the program's
    EXPECT_EQ(engine.PlayEffectByName("beside.wav", 1), -1);
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
        EXPECT_EQ(engine.PlayEffectById(r.id, 1), -1);
    }
    EXPECT_TRUE(devices.output->buffers.empty());
}

TEST_F(EffectTest, BuiltinIdsShareFilesButNotSlots) {
    const auto& t = engine.effects.builtin;
    std::set<std::string> names;
    for (const auto& e : t) names.insert(e.name);
    EXPECT_EQ(names.size(), 54u);
    EXPECT_STREQ(t[0].name, t[2].name);
    EXPECT_STREQ(t[63].name, t[65].name);
    for (int i = 40; i <= 42; ++i) EXPECT_STREQ(t[i].name, t[39].name);
    for (int i = 44; i <= 50; ++i) EXPECT_STREQ(t[i].name, t[43].name);
    EXPECT_EQ(names.count("arrow.wav"), 0u);

    WriteSfx(t[0].name, Wave({1, 2}));
    EXPECT_EQ(engine.PlayEffectById(0, 1), 0);
    EXPECT_EQ(engine.PlayEffectById(2, 1), 1) << "a shared file gets a slot per id";
    EXPECT_EQ(engine.PlayEffectById(0, 1), 0);
}

TEST_F(EffectTest, WithoutWindowNothingPlays) {
    engine.CloseSoundWindow();
    EXPECT_EQ(engine.PlayEffectByName("arrow.wav", 1), -1);
}

TEST_F(EffectTest, MusicEndLoopsOrCloses) {
    clock.Set(1000);
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
}

TEST_F(EffectTest, ShutdownClosesTheSongAndNotificationsAfterwardsAreHarmless) {
    clock.Set(1000);
    WriteSfx("song.wav", Wave(std::vector<uint8_t>(2205, 1)));
    ASSERT_EQ(window->OpenMusic(folder / "sfx" / "song.wav", false), MEDIA_OK);
    clock.Advance(200);
    window->PollMusic();  // posts the end
    window->ShutdownAudio();
    EXPECT_EQ(window->musicOpen, 0);
    engine.CloseSoundWindow();
    dispatcher.RunPending();  // the posted end finds no window
}

}  // namespace
}  // namespace vocalith::engine
