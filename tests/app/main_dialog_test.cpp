// MainDialog through a fake window and a fake audio engine: lifecycle,
// the confirmation rule of every command, status texts, the recording life
// cycle over timer ticks, the voice commands on a temporary program folder.
#include <gtest/gtest.h>

#include <functional>

#include "app/app_startup.h"
#include "dialog_fixture.h"

namespace vocalith::app {
namespace {

using namespace testing;  // NOLINT: the shared fixture
namespace fs = std::filesystem;

// ---- start-up and shut-down ----

TEST_F(MainDialogTest, StartupRunsItsStepsInOrderAndStaysSilentWithoutTheDefaultVoice) {
    ASSERT_EQ(dialog_->OnCreate(), 0);
    ASSERT_TRUE(dialog_->OnInitDialog());
    std::vector<std::string> audioSteps;
    for (const auto& e : log_) {
        if (e.rfind("audio:", 0) == 0 || e.rfind("settimer", 0) == 0) audioSteps.push_back(e);
    }
    EXPECT_EQ(audioSteps,
              (std::vector<std::string>{"audio:ResetEffectNames", "audio:CreateSoundWindow",
                                        "audio:StartDevices", "settimer:2:10",
                                        "audio:PlayEffectByName:arrow.wav:1"}));
    EXPECT_TRUE(host_->questions.empty());
    EXPECT_EQ(Status(), kWelcomeText);
    EXPECT_EQ(host_->texts.count(IDC_SELECTION), 0u) << "selection field stays empty";
    EXPECT_EQ(host_->combos[IDC_VOICE].edit, "Voxa");
    EXPECT_TRUE(host_->checks[IDC_WARNINGS]);
    EXPECT_FALSE(host_->checks[IDC_MONITOR]);
    EXPECT_FALSE(dialog_->FirstLoad());
    EXPECT_EQ(host_->columns, (std::vector<std::pair<std::string, int>>{
                                  {"Phon", 40}, {"Hint", 60}, {"Size (Dur.)", 105}}));
    ASSERT_EQ(host_->list.size(), 42u);
    for (const auto& item : host_->list) EXPECT_EQ(item.sub.at(2), "0");
    // The effects menu: a line per row, item data = item number, item 0 chosen.
    const FakeCombo& effects = host_->combos[IDC_EFFECTS];
    ASSERT_EQ(effects.items.size(), kEffectsMenu.size());
    for (size_t i = 0; i < kEffectsMenu.size(); ++i) {
        EXPECT_EQ(effects.items[i].text, kEffectsMenu[i].text);
        EXPECT_EQ(effects.items[i].data, static_cast<intptr_t>(i));
    }
    EXPECT_EQ(effects.cur, 0);
}

TEST_F(MainDialogTest, StartupLoadsTheDefaultVoiceWithoutQuestionOrStatus) {
    WriteVoice("Voxa", 5, 3);
    WriteVoice("Other", 1, 1);
    Start();
    EXPECT_EQ(PhonTable().slots[5].count, 3);
    EXPECT_EQ(Status(), kWelcomeText);
    int item = host_->ItemOfCode(5);
    ASSERT_GE(item, 0);
    EXPECT_EQ(host_->list[static_cast<size_t>(item)].sub.at(2), workbuf::FormatDuration(3));
    std::vector<std::string> names;
    for (const auto& i : host_->combos[IDC_VOICE].items) names.push_back(i.text);
    EXPECT_EQ(names, (std::vector<std::string>{"Other", "Voxa"}));
}

TEST_F(MainDialogTest, StartupReportsADefaultVoiceThatIsThereButUnreadable) {
    // The status line gives the folder's own name and a short reason; its
    // tooltip the whole reason with the full path.
    const fs::path voxa = folder_ / "voices" / "Voxa.voc";
    struct Damage {
        std::function<void()> make;
        const char* shortReason;
    };
    const std::vector<Damage> damages = {
        {[&] { std::ofstream(voxa, std::ios::binary) << std::string(399, '\0'); },
         "the file is 399 bytes long, shorter than the 400-byte header"},
        {[&] { fs::create_symlink("nowhere.voc", voxa); }, "no such file"},
        {[&] { fs::create_symlink("Voxa.voc", voxa); }, "a link loop"},
        {[&] { fs::create_directory(voxa); }, "it is not a regular file"},
    };
    for (size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(i);
        fs::remove(voxa);
        damages[i].make();
        dialog_ = std::make_unique<MainDialog>(*host_, *audio_, *session_);
        Start();
        EXPECT_EQ(Status(),
                  std::string("Could not load voices/Voxa.voc: ") + damages[i].shortReason);
        EXPECT_NE(host_->tooltips[IDC_STATUS].find(voxa.string()), std::string::npos);
        EXPECT_EQ(PhonTable().slots[0].count, 0);
    }
}

TEST_F(MainDialogTest, NoSoundWindowMeansNoDevicesButTheDialogStillRuns) {
    audio_->createSucceeds = false;
    Start();
    EXPECT_FALSE(std::count(log_.begin(), log_.end(), "audio:StartDevices"));
    FillWorkBuffer(100);
    Buffer().selectionEnd = 50;
    host_->answers = {true};
    dialog_->OnTrim();
    EXPECT_EQ(Buffer().length, 50);
}

TEST_F(MainDialogTest, DestroyStopsTimerAndAudioInOrderAndDestructionShutsDownAgain) {
    Start();
    dialog_->OnDestroy();
    EXPECT_EQ(log_, (std::vector<std::string>{"killtimer:2", "audio:StopCapture",
                                              "audio:StopSpeechPlay", "audio:ShutdownAudio"}));
    EXPECT_EQ(dialog_->TimerId(), 0u);
    dialog_.reset();
    EXPECT_EQ(log_.back(), "audio:DestroySoundWindow");
}

TEST_F(MainDialogTest, CloseEndsWithOkAsksNothingAndNeverTranslates) {
    Start();
    host_->texts[IDC_ENGLISH] = "Hello";
    host_->texts[IDC_PHONETIC] = "unchanged";
    dialog_->OnClose();
    EXPECT_EQ(host_->ended, (std::vector<int>{IDOK}));
    EXPECT_EQ(host_->texts[IDC_PHONETIC], "unchanged");
    EXPECT_TRUE(host_->questions.empty());
    dialog_->OnCancel();
    EXPECT_EQ(host_->ended.back(), IDCANCEL);
}

TEST_F(MainDialogTest, ClosingWithChangedClipsAsksEvenWithWarningsOff) {
    Start();
    host_->checks[IDC_WARNINGS] = false;
    dialog_->OnWarnings();
    PhonTable().slots[3].count = 5;
    const std::string question = "Discard the changes to the voice Voxa?";
    // No keeps the window (Escape, then the close box); Yes closes it.
    host_->answers = {false, false, true};
    dialog_->OnCancel();
    dialog_->OnClose();
    EXPECT_TRUE(host_->ended.empty());
    dialog_->OnClose();
    EXPECT_EQ(host_->ended, (std::vector<int>{IDOK}));
    ASSERT_EQ(host_->questions.size(), 3u);
    EXPECT_EQ(host_->questions[2], std::make_pair(question, std::string(kConfirmTitle)));

    // Saved under a new name, the clips are clean again; a change after
    // that is asked about under the saved name.
    SetVoiceName("Mine");
    dialog_->OnSave();
    host_->questions.clear();
    dialog_->OnCancel();
    EXPECT_TRUE(host_->questions.empty());
    PhonTable().slots[3].samples[0] = 7;
    host_->answers = {false};
    dialog_->OnCancel();
    ASSERT_EQ(host_->questions.size(), 1u);
    EXPECT_EQ(host_->questions[0].first, "Discard the changes to the voice Mine?");
}

TEST_F(MainDialogTest, AboutOpensForEverySystemCommandFrom16To31Only) {
    for (unsigned id : {15u, 16u, 17u, 31u, 32u, 0xF060u}) dialog_->OnSysCommand(id);
    EXPECT_EQ(host_->aboutShown, 3);
}

TEST(AppStartup, SocketsFailureShowsTheMessageAndNeverOpensTheWindow) {
    std::string shown;
    bool ran = false;
    StartupSteps steps;
    steps.startSockets = [] { return false; };
    steps.showError = [&](const std::string& t) { shown = t; };
    steps.runWindow = [&] { ran = true; };
    EXPECT_EQ(RunStartup(steps), 1);
    EXPECT_EQ(shown, "Windows sockets initialization failed.");
    EXPECT_FALSE(ran);
    steps.startSockets = StartSockets;
    EXPECT_EQ(RunStartup(steps), 0);
    EXPECT_TRUE(ran);
}

// ---- the confirmation rule ----

struct AskCase {
    const char* name;
    std::function<void(MainDialogTest&)> setup;
    std::function<void(MainDialogTest&)> run;
    std::string question;
    bool forced;
    std::string statusOnYes;
};

TEST_F(MainDialogTest, EveryQuestionFollowsTheWarningsRuleAndNoChangesNothing) {
    auto selectPhon = [](MainDialogTest& t) {
        t.FillForCommand();
        t.SelectCode(3);
    };
    auto effect = [](const char* name) {
        return [name](MainDialogTest& t) { t.ChooseEffect(name); };
    };
    const std::vector<AskCase> cases = {
        {"RecStart", nullptr, [](MainDialogTest& t) { t.dialog_->OnRec(); },
         "Record new microphone data into Work Buffer?", false,
         "Recording.. push REC again to stop sooner than 4 seconds."},
        {"Load", [](MainDialogTest& t) { t.WriteVoice("Voxa", 2, 5); },
         [](MainDialogTest& t) { t.dialog_->OnLoad(); },
         "Load the PHON table data from VOICES/Voxa.voc?", false, "New Phon Table data loaded."},
        {"SaveNew", [](MainDialogTest& t) { t.SetVoiceName("Fresh"); },
         [](MainDialogTest& t) { t.dialog_->OnSave(); },
         "Save the PHON table data into VOICES/Fresh.voc?", false, "Phon Table data saved."},
        {"Trim", [](MainDialogTest& t) { t.FillForCommand(); },
         [](MainDialogTest& t) { t.dialog_->OnTrim(); },
         "Trim ALL BUT current selection out of work buffer?", true,
         "Work buffer trimmed.  Use >> to save data to selected PHON."},
        {"PhonToWork", selectPhon, [](MainDialogTest& t) { t.dialog_->OnPhonToWork(); },
         "Overwrite the work buffer with the selected PHON data?", false,
         "You just loaded the PHON in question into the work buffer. Now edit it, then save it "
         "back."},
        {"SelectionToPhon", selectPhon, [](MainDialogTest& t) { t.dialog_->OnSelectionToPhon(); },
         "Overwrite the selected PHON data with the current selection in the Work Buffer?", false,
         "You just copied the work buffer into the current PHON.  If you like how it sounds, "
         "SAVE your voice file."},
        {"ReloadRecording", [](MainDialogTest& t) { t.FillForCommand(); },
         effect("reload-recording"), "Reload most recent recording?", true,
         "Most recent recording restored."},
        {"Attenuate", [](MainDialogTest& t) { t.FillForCommand(); }, effect("attenuate"),
         "Reduce amplitude of work buffer by 3dB?", false, "Attenuation complete"},
        {"Amplify", [](MainDialogTest& t) { t.FillForCommand(); }, effect("amplify"),
         "Amplify work buffer 3dB?", false, "Amplification complete"},
        {"RaisePitch", [](MainDialogTest& t) { t.FillForCommand(); }, effect("raise-pitch"),
         "Raise pitch and speed up sound?", false, "Speedup complete"},
        {"LowerPitch", [](MainDialogTest& t) { t.FillForCommand(); }, effect("lower-pitch"),
         "Lower pitch and slow down sound?", false, "Slowdown complete"},
        {"Duplicate", [](MainDialogTest& t) { t.FillForCommand(); }, effect("duplicate"),
         "Increase sample buffer by duplication of samples?", false, "Duplication complete"},
    };
    for (const AskCase& c : cases) {
        for (bool warnings : {true, false}) {
            for (bool answer : {true, false}) {
                SCOPED_TRACE(std::string(c.name) + (warnings ? " warnings on" : " warnings off") +
                             (answer ? " answered Yes" : " answered No"));
                Restart(warnings);
                fs::remove(folder_ / "voices" / "Fresh.voc");
                if (c.setup) c.setup(*this);
                const bool asks = warnings || c.forced;
                if (asks) host_->answers = {answer};
                const int32_t lengthBefore = Buffer().length;
                c.run(*this);
                if (asks) {
                    ASSERT_EQ(host_->questions.size(), 1u);
                    EXPECT_EQ(host_->questions[0].first, c.question);
                    EXPECT_EQ(host_->questions[0].second, "Are You Sure?");
                } else {
                    EXPECT_TRUE(host_->questions.empty());
                }
                if (!asks || answer) {
                    EXPECT_EQ(Status(), c.statusOnYes);
                } else {
                    EXPECT_EQ(Status(), "before");
                    EXPECT_EQ(Buffer().length, lengthBefore);
                    EXPECT_EQ(Buffer().recording, 0);
                    EXPECT_EQ(host_->invalidations, 0);
                    EXPECT_FALSE(fs::exists(folder_ / "voices" / "Fresh.voc"));
                }
                // every effects choice, refused or not, returns the menu to its title line
                EXPECT_EQ(host_->combos[IDC_EFFECTS].cur, 0);
            }
        }
    }
}

}  // namespace
}  // namespace vocalith::app
