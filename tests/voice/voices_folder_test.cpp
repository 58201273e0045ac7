// The voices folder: listing with its capacity rule, names cut at the last
// dot, case-blind folder and file lookup, and voice-name checks; the data
// folders of an installed program (the user's before the shared one).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/program_folder.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "voice/voices_folder.h"

namespace vocalith::voice {
namespace {

namespace fs = std::filesystem;

class VoicesFolderTest : public ::testing::Test {
  protected:
    void Touch(const fs::path& p) { std::ofstream(dir_ / p) << "x"; }
    testsupport::TempFolder temp_{"vocalith-folder"};
    fs::path dir_ = temp_.Path();
};

TEST_F(VoicesFolderTest, ListingStopsAtCapacityLessOne) {
    fs::create_directories(dir_ / "voices");
    for (int i = 0; i < 1000; ++i) Touch(fs::path("voices") / (std::to_string(i) + "v.voc"));
    EXPECT_EQ(ListFolder(dir_ / "voices", "*.voc", 999).size(), 998u);
    // The box shows the first 998 names in sorted order, whatever order
    // the folder lists them in.
    std::vector<std::string> all;
    for (int i = 0; i < 1000; ++i) all.push_back(std::to_string(i) + "v");
    std::sort(all.begin(), all.end());
    all.resize(998);
    EXPECT_EQ(ListVoiceNames(dir_), all);
    EXPECT_EQ(ListFolder(dir_ / "voices", "*.voc", 1).size(), 1u);
    EXPECT_TRUE(ListFolder(dir_ / "voices", "*.voc", 0).empty());
    EXPECT_TRUE(ListFolder(dir_ / "nothing", "*.voc", 999).empty());
}

TEST_F(VoicesFolderTest, PatternAndNameCutting) {
    fs::create_directories(dir_ / "Voices" / "Sub.VOC");  // a folder that matches is listed
    for (const char* f : {"Voxa.voc", "my.best.voc", "LOUD.VOC", "notes.txt", "voc", "x.vocx"}) {
        Touch(fs::path("Voices") / f);
    }
    std::vector<std::string> names = ListVoiceNames(dir_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"LOUD", "Sub", "Voxa", "my.best"}));
}

TEST_F(VoicesFolderTest, FolderAndFileFoundWithoutRegardToCase) {
    EXPECT_EQ(VoiceFilePath(dir_, "Voxa"), dir_ / "voices" / "Voxa.voc") << "default when none";
    fs::create_directories(dir_ / "VOICES");
    Touch(fs::path("VOICES") / "Voxa.voc");
    EXPECT_EQ(VoiceFilePath(dir_, "voxa"), dir_ / "VOICES" / "Voxa.voc");
    EXPECT_EQ(VoiceFilePath(dir_, "New"), dir_ / "VOICES" / "New.voc");
    EXPECT_EQ(ListVoiceNames(dir_), (std::vector<std::string>{"Voxa"}));
    // An exact "voices" folder is preferred.
    fs::create_directories(dir_ / "voices");
    EXPECT_EQ(VoicesFolder(dir_), dir_ / "voices");
}

TEST(VoiceNames, Checks) {
    struct Row {
        const char* fault;
        std::string_view name;
        VoiceNameCheck want;
    };
    const Row rows[] = {
        {"one character accepted", "a", VoiceNameCheck::TooShort},
        {"empty accepted", "", VoiceNameCheck::TooShort},
        {"two characters refused", "ab", VoiceNameCheck::Ok},
        {"dots inside refused", "my.voice", VoiceNameCheck::Ok},
        {"blanks refused", "my voice", VoiceNameCheck::Ok},
        {"parent folder accepted", "..", VoiceNameCheck::Refused},
        {"slash accepted", "../x", VoiceNameCheck::Refused},
        {"slash accepted", "a/b", VoiceNameCheck::Refused},
        {"backslash accepted", "a\\b", VoiceNameCheck::Refused},
        {"control character accepted", "a\nb", VoiceNameCheck::Refused},
        {"NUL accepted", std::string_view("a\0b", 3), VoiceNameCheck::Refused},
        {"DEL accepted", "ab\x7f", VoiceNameCheck::Refused},
        {"UTF-8 refused", "Zo\xC3\xAB", VoiceNameCheck::Ok},
    };
    for (const Row& r : rows) {
        std::string reason;
        EXPECT_EQ(CheckVoiceName(r.name, &reason), r.want) << r.fault;
        if (r.want == VoiceNameCheck::Refused) {
            EXPECT_FALSE(reason.empty()) << r.fault;
        }
    }
    std::string reason;
    CheckVoiceName("a/b", &reason);
    EXPECT_EQ(reason, "A voice name cannot contain '/'.");
}

TEST(VoicePaths, LengthLimitAndProgramFolder) {
    EXPECT_FALSE(VoicePathTooLong(fs::path(std::string(999, 'a'))));
    EXPECT_TRUE(VoicePathTooLong(fs::path(std::string(1000, 'a'))));
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(base::ExecutableFolder(), exe.parent_path());
}

TEST(DataFolders, UserFolderFollowsXdgDataHomeThenHome) {
    struct Row {
        const char* fault;
        const char* xdg;  // nullptr: unset
        const char* want;
    };
    const Row rows[] = {
        {"XDG_DATA_HOME ignored", "/x/data", "/x/data/vocalith"},
        {"unset XDG_DATA_HOME not defaulted", nullptr, "/home/u/.local/share/vocalith"},
        {"empty XDG_DATA_HOME taken as the root", "", "/home/u/.local/share/vocalith"},
        {"relative XDG_DATA_HOME taken as is", "rel/data", "/home/u/.local/share/vocalith"},
    };
    test::ScopedEnv home("HOME", "/home/u");
    test::ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    for (const Row& r : rows) {
        xdg.Set(r.xdg);
        EXPECT_EQ(base::UserDataFolder(), fs::path(r.want)) << r.fault;
    }
}

TEST(DataFolders, SharedFolderIsBesideTheBinFolder) {
    EXPECT_EQ(base::SharedDataFolder("/usr/bin"), fs::path("/usr/share/vocalith"));
    EXPECT_EQ(base::SharedDataFolder("/opt/v/bin/"), fs::path("/opt/v/share/vocalith"));
}

// A program installed in dir_/prefix/bin, its shared voices in
// dir_/prefix/share/vocalith/voices and the user's data in dir_/xdg/vocalith.
class InstalledFoldersTest : public VoicesFolderTest {
  protected:
    void SetUp() override {
        VoicesFolderTest::SetUp();
        bin_ = dir_ / "prefix" / "bin";
        shared_ = dir_ / "prefix" / "share" / "vocalith" / "voices";
        user_ = dir_ / "xdg" / "vocalith" / "voices";
        fs::create_directories(bin_);
        fs::create_directories(shared_);
        xdg_.Set((dir_ / "xdg").c_str());
    }
    void Put(const fs::path& folder, const std::string& file) {
        fs::create_directories(folder);
        std::ofstream(folder / file) << "x";
    }
    fs::path bin_, shared_, user_;
    test::ScopedEnv xdg_{"XDG_DATA_HOME", nullptr};
};

TEST_F(InstalledFoldersTest, SearchOrderIsTheUsersFolderThenTheShared) {
    EXPECT_FALSE(base::DataBesideProgram(bin_));
    EXPECT_EQ(VoicesFolders(bin_), (std::vector<fs::path>{user_, shared_}));
    EXPECT_EQ(SaveVoicesFolder(bin_), user_) << "named although not yet created";
    // Any entry named "voices" beside the program keeps everything there.
    std::ofstream(bin_ / "VOICES") << "x";
    EXPECT_TRUE(base::DataBesideProgram(bin_));
    EXPECT_EQ(base::DataFolders(bin_), std::vector<fs::path>{bin_});
}

TEST_F(InstalledFoldersTest, UsersVoicesHideSharedOnesAndComeFirst) {
    for (const char* f : {"Voxa.voc", "Zed.voc", "alpha.voc", "notes.txt"}) Put(shared_, f);
    for (const char* f : {"VOXA.voc", "Mine.voc"}) Put(user_, f);
    EXPECT_EQ(ListVoiceNames(bin_), (std::vector<std::string>{"alpha", "Mine", "VOXA", "Zed"}))
        << "merged, case-blind sorted, a user's voice hiding the shared one";

    struct Row {
        const char* fault;
        const char* name;
        fs::path load;
    };
    const Row rows[] = {
        {"shared copy loaded before the user's", "voxa", user_ / "VOXA.voc"},
        {"user's own voice not found", "mine", user_ / "Mine.voc"},
        {"shared voice not found", "ZED", shared_ / "Zed.voc"},
        {"missing voice not in the user's folder", "Nobody", user_ / "Nobody.voc"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(LoadVoicePath(bin_, r.name), r.load) << r.fault;
        EXPECT_EQ(SaveVoicePath(bin_, r.name).parent_path(), user_) << r.fault << " (save)";
    }
    EXPECT_EQ(SaveVoicePath(bin_, "zed"), user_ / "zed.voc") << "a shared copy is never written";
}

}  // namespace
}  // namespace vocalith::voice
