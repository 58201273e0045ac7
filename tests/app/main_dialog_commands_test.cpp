// MainDialog's commands beyond the confirmation rule: the recording life
// cycle over timer ticks, the effects menu, mouse clicks in the view, the
// voice commands on a temporary folder, the PHON list and TTS.
#include <gtest/gtest.h>

#include <functional>

#include "dialog_fixture.h"
#include "mixer/tick_clock.h"
#include "support/scoped_env.h"
#include "voice/phoneme_inventory.h"
#include "wave/wav_writer.h"
#include "workbuf/raster_canvas.h"
#include "workbuf/waveform_view.h"

namespace vocalith::app {
namespace {

using namespace testing;  // NOLINT: the shared fixture
namespace fs = std::filesystem;

// ---- recording over timer ticks ----

TEST_F(MainDialogTest, ATakeThatClipsNamesALowerGain) {
    struct Row {
        const char* name;
        int gain;
        int32_t fullScale;  // samples of the take at the 16-bit limits
        std::string status;
    };
    const Row rows[] = {
        {"clipped at the default gain", 6, 40,
         "Recording complete, but it clipped (40 samples at full scale).  Try a lower input "
         "gain (x4, now x6) in Audio Devices and record again."},
        {"clipped at the lowest gain", 1, 40,
         "Recording complete, but it clipped (40 samples at full scale).  Turn the microphone "
         "down in the system's sound settings and record again."},
        {"a sample or two at the limit is no clipping", 6, 2, kComplete},
    };
    Start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        audio_->gain = row.gain;
        host_->answers = {true};
        dialog_->OnRec();
        dialog_->OnTimer(2);
        FillWorkBuffer(3000);
        for (int32_t i = 0; i < row.fullScale; ++i)
            Buffer().samples[size_t(100 + i)] = i % 2 ? INT16_MAX : INT16_MIN;
        Buffer().recordedCount = 3000;
        dialog_->OnRec();
        dialog_->OnTimer(2);
        EXPECT_EQ(host_->texts[IDC_STATUS], row.status);
    }
}

TEST_F(MainDialogTest, RecordingStoppedByRecCompletesOnTheNextTick) {
    Start();
    host_->answers = {true};
    dialog_->OnRec();
    EXPECT_EQ(Buffer().recording, 1);
    EXPECT_EQ(host_->texts[IDC_SELECTION], "Recording..");
    ASSERT_EQ(host_->questions.size(), 1u) << "starting asks once, Warnings being on";
    EXPECT_EQ(host_->questions[0].first, "Record new microphone data into Work Buffer?");
    // Ticks while recording: pump first, then a repaint; nothing else.
    log_.clear();
    dialog_->OnTimer(2);
    dialog_->OnTimer(2);
    EXPECT_EQ(log_,
              (std::vector<std::string>{"audio:Pump", "invalidate", "audio:Pump", "invalidate"}));
    FillWorkBuffer(3000);
    Buffer().recordedCount = 3000;
    Buffer().selectionStart = 0;
    Buffer().selectionEnd = 3000;
    // Stopping asks nothing and says nothing.
    log_.clear();
    host_->questions.clear();
    dialog_->OnRec();
    EXPECT_EQ(Buffer().recording, 0);
    EXPECT_EQ(host_->questions.size(), 0u) << "stopping must not ask";
    EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                            [](const std::string& e) { return e.rfind("status:", 0) == 0; }),
              0);
    log_.clear();
    dialog_->OnTimer(2);
    ASSERT_GE(log_.size(), 4u);
    EXPECT_EQ(log_[0], "audio:Pump");
    EXPECT_EQ(log_[1], std::string("status:") + kComplete);
    EXPECT_EQ(log_[2], "invalidate");
    EXPECT_EQ(log_[3].rfind("selection:", 0), 0u);
    EXPECT_EQ(Buffer().backupLength[0], 3000);
    EXPECT_EQ(Buffer().backupLength[1], 3000);
    EXPECT_EQ(Buffer().backup[0][10], Buffer().samples[10]);
    // The completion runs once.
    log_.clear();
    dialog_->OnTimer(2);
    EXPECT_EQ(log_, (std::vector<std::string>{"audio:Pump"}));
}

TEST_F(MainDialogTest, RecordingEndedByAFullBufferCompletesInTheSameTick) {
    Start();
    host_->answers = {true};
    dialog_->OnRec();
    dialog_->OnTimer(2);
    // The pump fills the buffer and the buffer clears its own flag.
    audio_->onPump = [this] {
        FillWorkBuffer(workbuf::RECORD_LIMIT);
        Buffer().recordedCount = workbuf::RECORD_LIMIT;
        Buffer().recording = 0;
    };
    log_.clear();
    dialog_->OnTimer(2);
    ASSERT_GE(log_.size(), 2u);
    EXPECT_EQ(log_[1], std::string("status:") + kComplete);
    EXPECT_EQ(Buffer().backupLength[0], workbuf::RECORD_LIMIT);
    EXPECT_EQ(Buffer().backupLength[1], workbuf::RECORD_LIMIT);
}

// A recording that hears nothing says so, shows the input against the gate,
// and leaves the buffer alone when stopped; an engine notice reaches the
// status line.
TEST_F(MainDialogTest, SilentRecordingShowsTheLevelAndRecordsNothing) {
    mixer::FakeTickClock& clock = clock_;
    Start();
    FillWorkBuffer(500);
    host_->answers = {true};
    dialog_->OnRec();
    audio_->inputPeak = 52;  // about -56 dBFS, far below the gate's -37
    for (int tick = 0; tick < 310; ++tick) {
        clock.Advance(10);
        dialog_->OnTimer(2);
    }
    EXPECT_EQ(Status().rfind("No speech heard yet: the microphone peaks at -56 dBFS; speech "
                             "must reach -37 dBFS.",
                             0),
              0u)
        << Status();
    workbuf::RasterCanvas canvas(800, 400, {1, 2, 3});
    dialog_->OnPaint(canvas);
    const workbuf::Rect view{host_->WaveFrameRect().left, host_->WaveFrameRect().top,
                             host_->WaveFrameRect().right, host_->WaveFrameRect().bottom};
    const int32_t midY = (view.top + view.bottom) / 2;
    EXPECT_EQ(canvas.PixelAt(view.left + 2, midY), workbuf::LEVEL_COLOUR) << "the input's bar";
    EXPECT_EQ(canvas.PixelAt(view.right - 2, midY), workbuf::BACKGROUND_COLOUR);

    dialog_->OnRec();
    dialog_->OnTimer(2);
    EXPECT_EQ(Status(),
              "Nothing was recorded: no speech was heard.  The Work Buffer is as it was.");
    EXPECT_EQ(Buffer().length, 500);

    audio_->notice = {"Sound output is back."};
    dialog_->OnTimer(2);
    EXPECT_EQ(Status(), "Sound output is back.");
}

// The no-speech hint says what holds only until speech is heard.
TEST_F(MainDialogTest, TheNoSpeechHintGivesWayOnceSpeechIsHeard) {
    Start();
    host_->answers = {true};
    dialog_->OnRec();
    for (int tick = 0; tick < 310; ++tick) {
        clock_.Advance(10);
        dialog_->OnTimer(2);
    }
    EXPECT_EQ(Status().rfind("No speech heard yet", 0), 0u) << Status();
    Buffer().recordedCount = 100;  // speech began
    dialog_->OnTimer(2);
    EXPECT_EQ(Status(), kRecordingText);
}

// Enter answers a question with its default button: No wherever Yes would
// throw away clips or files that cannot be had back, Yes elsewhere.
TEST_F(MainDialogTest, QuestionsThatLoseWorkDefaultToNo) {
    struct Row {
        const char* what;
        std::function<void()> prepare;  // after a fresh start with a saved voice
        std::function<void()> command;
        std::vector<bool> defaultNos;  // of the questions asked, in order
    };
    const auto changeClip = [this] { PhonTable().slots[3].count = 7; };
    const Row rows[] = {
        {"Rec", [] {}, [&] { dialog_->OnRec(); }, {false}},
        {"Trim (Undo Effect brings the buffer back)", [] {}, [&] { dialog_->OnTrim(); }, {false}},
        {"<< (the buffer is for scratch work)",
         [&] { SelectCode(5); },
         [&] { dialog_->OnPhonToWork(); },
         {false}},
        {">> into an empty PHON",
         [&] { SelectCode(6); },
         [&] { dialog_->OnSelectionToPhon(); },
         {false}},
        {">> over a recorded PHON",
         [&] { SelectCode(5); },
         [&] { dialog_->OnSelectionToPhon(); },
         {true}},
        {"Load over unchanged clips", [] {}, [&] { dialog_->OnLoad(); }, {false}},
        {"Load over changed clips", changeClip, [&] { dialog_->OnLoad(); }, {true}},
        {"Save, then overwrite the voice file", [] {}, [&] { dialog_->OnSave(); }, {false, true}},
        {"closing with changed clips", changeClip, [&] { dialog_->OnClose(); }, {true}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        WriteVoice("Voxa", 5, 40);
        Restart(true);
        FillForCommand();
        r.prepare();
        host_->answers = {true, false};
        host_->defaultNos.clear();
        r.command();
        EXPECT_EQ(host_->defaultNos, r.defaultNos);
    }
}

TEST_F(MainDialogTest, RecStartsANewRecordingFromZero) {
    Start();
    Buffer().recordedCount = 1234;
    host_->answers = {true};
    dialog_->OnRec();
    EXPECT_EQ(Buffer().recordedCount, 0);
}

// ---- effects menu ----

TEST_F(MainDialogTest, UndoAfterTwoEffectsUndoesOnlyTheSecond) {
    Start();
    FillForCommand();
    host_->answers = {true, true};
    ChooseEffect("attenuate");
    const auto afterFirst = Buffer().samples;
    const int32_t lengthAfterFirst = Buffer().length;
    ChooseEffect("duplicate");  // duplicate: changes the length too
    EXPECT_NE(Buffer().length, lengthAfterFirst);
    ChooseEffect("undo-effect");  // never asks
    EXPECT_EQ(Buffer().length, lengthAfterFirst);
    EXPECT_TRUE(std::equal(afterFirst.begin(), afterFirst.begin() + lengthAfterFirst,
                           Buffer().samples.begin()));
    EXPECT_EQ(Status(), "Most recent effect removed.");
    EXPECT_EQ(host_->questions.size(), 2u);
}

TEST_F(MainDialogTest, MenuTitleAndLoopPlayAskNothingAndLeaveTheStatus) {
    Start();
    FillForCommand();
    host_->texts[IDC_STATUS] = "before";
    ChooseEffect("title");
    EXPECT_EQ(SpeechQueued(), 0);
    ChooseEffect("play-second");
    EXPECT_GE(SpeechQueued(), workbuf::MIN_PLAY_CAP);
    EXPECT_EQ(Status(), "before");
    EXPECT_TRUE(host_->questions.empty());
    EXPECT_EQ(host_->combos[IDC_EFFECTS].cur, 0);
}

TEST_F(MainDialogTest, ReloadBeforeAnyRecordingLeavesTheBufferEmpty) {
    Start();
    FillForCommand();
    host_->answers = {true};
    ChooseEffect("reload-recording");
    EXPECT_EQ(Buffer().length, 0);
}

TEST_F(MainDialogTest, UndoAfterTrimBringsBackTheUntrimmedBuffer) {
    Start();
    FillForCommand();
    host_->answers = {true};
    dialog_->OnTrim();
    EXPECT_EQ(Buffer().length, 300);
    ChooseEffect("undo-effect");
    EXPECT_EQ(Buffer().length, 1000);
}

TEST_F(MainDialogTest, EachMenuLineAsksAndReportsWhatItsRowSays) {
    for (size_t i = 0; i < kEffectsMenu.size(); ++i) {
        const workbuf::EffectsMenuItem& row = kEffectsMenu[i];
        SCOPED_TRACE(row.text);
        Restart(true);
        FillForCommand();
        host_->answers = {true};
        ChooseEffect(row.name);
        const std::vector<std::string> asked =
            row.question ? std::vector<std::string>{row.question} : std::vector<std::string>{};
        std::vector<std::string> questions;
        for (const auto& q : host_->questions) questions.push_back(q.first);
        EXPECT_EQ(questions, asked);
        EXPECT_EQ(Status(), row.status ? row.status : "before");
        EXPECT_EQ(host_->invalidations > 0, row.status != nullptr) << "redrawn with its status";
    }
}

// ---- mouse clicks in the view ----

TEST_F(MainDialogTest, ClicksOnlyInsideTheViewSetTheSelection) {
    Start();
    FillWorkBuffer(1000);
    // Before the first paint no click can fall inside the view.
    host_->texts[IDC_STATUS] = "before";
    dialog_->OnLButtonDown(0, 0);
    EXPECT_EQ(Status(), "before");
    Paint();
    const ViewRect r = host_->frame;
    ASSERT_EQ(dialog_->View(), r);
    struct Click {
        const char* name;
        bool left;
        int x, y;
        bool inside;
    };
    const Click clicks[] = {
        {"left edge maps to offset 0", true, r.left, r.top, true},
        {"bottom-right inner pixel", false, r.right - 1, r.bottom - 1, true},
        {"right edge is outside", true, r.right, r.top + 5, false},
        {"bottom edge is outside", false, r.left + 5, r.bottom, false},
        {"left of the view", true, r.left - 1, r.top + 5, false},
        {"above the view", false, r.left + 5, r.top - 1, false},
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.name);
        Buffer().selectionStart = 500;
        Buffer().selectionEnd = 600;
        host_->texts[IDC_STATUS] = "before";
        host_->invalidations = 0;
        if (c.left) {
            dialog_->OnLButtonDown(c.x, c.y);
        } else {
            dialog_->OnRButtonDown(c.x, c.y);
        }
        if (!c.inside) {
            EXPECT_EQ(Status(), "before");
            EXPECT_EQ(Buffer().selectionStart, 500);
            EXPECT_EQ(Buffer().selectionEnd, 600);
            EXPECT_EQ(host_->invalidations, 0);
            continue;
        }
        EXPECT_EQ(host_->invalidations, 1);
        if (c.left) {
            EXPECT_EQ(Status(), "Left mouse click sets START of selection.");
            EXPECT_EQ(Buffer().selectionStart, 0);
        } else {
            EXPECT_EQ(Status(), "Right mouse click sets END of selection.");
            EXPECT_NE(Buffer().selectionEnd, 600);
        }
    }
}

// ---- voice commands ----

TEST_F(MainDialogTest, LoadWithAOneCharacterNameOnlyRefillsTheList) {
    WriteVoice("V", 1, 4);
    Start();
    SetVoiceName("V");
    host_->texts[IDC_STATUS] = "before";
    dialog_->OnLoad();
    EXPECT_TRUE(host_->questions.empty());
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(PhonTable().slots[1].count, 0);
    EXPECT_TRUE(Logged("list:clear"));
    EXPECT_EQ(host_->list.size(), 42u);
}

TEST_F(MainDialogTest, RefusedVoiceNamesAreExplainedAndNothingIsReadOrWritten) {
    Start();
    WriteVoice("Voxa", 1, 4);
    for (const char* name : {"../Voxa", "a/b"}) {
        SCOPED_TRACE(name);
        SetVoiceName(name);
        host_->texts[IDC_STATUS] = "before";
        dialog_->OnLoad();
        EXPECT_EQ(
            Status().rfind(std::string("The voice name \"") + name + "\" cannot be used: ", 0), 0u)
            << Status();
        EXPECT_EQ(PhonTable().slots[1].count, 0);
        dialog_->OnSave();
        EXPECT_TRUE(host_->questions.empty());
    }
    EXPECT_FALSE(fs::exists(folder_ / "a"));
}

TEST_F(MainDialogTest, LoadReportsAMissingFileAfterStartUp) {
    Start();
    SetVoiceName("Nobody");
    host_->answers = {true};
    dialog_->OnLoad();
    EXPECT_EQ(Status(), "Could not load voices/Nobody.voc: no such file");
}

TEST_F(MainDialogTest, SaveListsTheNewVoiceAndKeepsItsNameInTheEditPart) {
    Start();
    PhonTable().slots[4].count = 2;
    SetVoiceName("Mine");
    host_->answers = {true};
    dialog_->OnSave();
    EXPECT_EQ(Status(), "Phon Table data saved.");
    EXPECT_EQ(fs::file_size(folder_ / "voices" / "Mine.voc"), 404u);
    ASSERT_EQ(host_->combos[IDC_VOICE].items.size(), 1u);
    EXPECT_EQ(host_->combos[IDC_VOICE].items[0].text, "Mine");
    EXPECT_EQ(host_->combos[IDC_VOICE].edit, "Mine");
}

TEST_F(MainDialogTest, OverwriteIsAlwaysAskedAndNoWritesNothing) {
    WriteVoice("Mine", 1, 4);
    Start();
    host_->checks[IDC_WARNINGS] = false;
    dialog_->OnWarnings();
    PhonTable().slots[4].count = 2;
    SetVoiceName("Mine");
    host_->combos[IDC_VOICE].items.clear();  // to see whether the list is refilled
    host_->texts[IDC_STATUS] = "before";
    host_->answers = {false};
    dialog_->OnSave();
    ASSERT_EQ(host_->questions.size(), 1u);
    EXPECT_EQ(host_->questions[0].first,
              "Overwrite the existing copy of Mine.voc in the VOICES folder?");
    EXPECT_EQ(host_->questions[0].second, "Overwrite Voice File?");
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(fs::file_size(folder_ / "voices" / "Mine.voc"), 408u);
    EXPECT_TRUE(host_->combos[IDC_VOICE].items.empty());
    host_->answers = {true};
    dialog_->OnSave();
    EXPECT_EQ(Status(), "Phon Table data saved.");
    EXPECT_EQ(fs::file_size(folder_ / "voices" / "Mine.voc"), 404u);
}

// The recorder saved "Tmp" and closed; the user declined to load it. The
// window's Save must not then write the old clips as Tmp.voc.
TEST_F(MainDialogTest, ARecordedVoiceNotLoadedIsNeverOverwrittenByTheOldClips) {
    WriteVoice("Voxa", 1, 4);
    WriteVoice("Tmp", 2, 6);
    const auto tmp = voice::EncodeVoice([&] {
        voice::PhonTable t;
        EXPECT_TRUE(voice::LoadVoice(folder_ / "voices" / "Tmp.voc", t).ok());
        return t;
    }());
    Start();
    host_->answers = {false};
    dialog_->OnRecordedVoice("Tmp");
    ASSERT_EQ(host_->questions.size(), 1u);
    EXPECT_EQ(host_->combos[IDC_VOICE].edit, "Voxa") << "the box names the clips it holds";
    host_->answers = {true, true};
    dialog_->OnSave();
    voice::PhonTable after;
    ASSERT_TRUE(voice::LoadVoice(folder_ / "voices" / "Tmp.voc", after).ok());
    EXPECT_EQ(voice::EncodeVoice(after), tmp);

    host_->answers = {true};
    dialog_->OnRecordedVoice("Tmp");
    EXPECT_EQ(host_->combos[IDC_VOICE].edit, "Tmp");
    EXPECT_EQ(PhonTable().slots[2].count, 6);
}

// The recorder's takes run through the work buffer; the window's status line
// says nothing of them (neither the no-speech hint nor its own Play).
TEST_F(MainDialogTest, TheRecordersTakesLeaveTheStatusLineAlone) {
    Start();
    host_->texts[IDC_STATUS] = "before";
    dialog_->SetRecorderOpen(true);
    Buffer().recording = 1;
    audio_->inputPeak = 52;
    for (int tick = 0; tick < 310; ++tick) {
        clock_.Advance(10);
        dialog_->OnTimer(2);
    }
    Buffer().recordedCount = 100;
    dialog_->OnTimer(2);
    Buffer().recording = 0;
    dialog_->OnTimer(2);
    dialog_->SetRecorderOpen(false);
    dialog_->OnTimer(2);
    EXPECT_EQ(Status(), "before");
}

TEST_F(MainDialogTest, AFailedSaveIsReportedNotCalledSaved) {
    Start();
    fs::remove_all(folder_ / "voices");
    std::ofstream(folder_ / "voices") << "not a folder";
    SetVoiceName("Mine");
    host_->answers = {true};
    dialog_->OnSave();
    EXPECT_EQ(Status().rfind("Could not save voices/Mine.voc: ", 0), 0u) << Status();
    EXPECT_EQ(host_->combos[IDC_VOICE].edit, "Mine");
}

TEST_F(MainDialogTest, InstalledProgramSavesToTheUsersFolderAndLoadsFromItFirst) {
    // Installed in folder_/usr/bin with Voxa and Mine shared; no user folder yet.
    const fs::path bin = folder_ / "usr" / "bin";
    const fs::path shared = folder_ / "usr" / "share" / "vocalith" / "voices";
    const fs::path user = folder_ / "xdg" / "vocalith" / "voices";
    fs::create_directories(bin);
    fs::create_directories(shared);
    voice::PhonTable table;
    table.slots[1].count = 4;
    ASSERT_TRUE(voice::SaveVoice(shared / "Voxa.voc", table).ok());
    ASSERT_TRUE(voice::SaveVoice(shared / "Mine.voc", table).ok());
    vocalith::test::ScopedEnv xdg("XDG_DATA_HOME", (folder_ / "xdg").c_str());
    session_->engine.programFolder = bin;
    Start();
    EXPECT_EQ(PhonTable().slots[1].count, 4) << "shared Voxa not loaded at start-up";

    voice::ClearPhonTable(PhonTable());
    PhonTable().slots[4].count = 2;
    SetVoiceName("mine");
    host_->answers = {true};
    dialog_->OnSave();
    EXPECT_EQ(host_->questions.size(), 1u) << "asked to overwrite the shared copy";
    EXPECT_EQ(Status(), "Phon Table data saved.");
    EXPECT_EQ(fs::file_size(user / "mine.voc"), 404u) << "not saved in a new user folder";
    EXPECT_EQ(fs::file_size(shared / "Mine.voc"), 408u) << "shared copy written";
    ASSERT_EQ(host_->combos[IDC_VOICE].items.size(), 2u) << "user's voice not hiding the shared";
    EXPECT_EQ(host_->combos[IDC_VOICE].items[0].text, "mine");

    host_->questions.clear();
    host_->answers = {true, false};
    dialog_->OnSave();
    ASSERT_EQ(host_->questions.size(), 2u) << "the user's own copy not protected";
    EXPECT_EQ(host_->questions[1].first,
              "Overwrite the existing copy of mine.voc in the VOICES folder?");

    voice::ClearPhonTable(PhonTable());
    SetVoiceName("MINE");
    host_->answers = {true};
    dialog_->OnLoad();
    EXPECT_EQ(PhonTable().slots[4].count, 2) << "user's copy not loaded first";
    EXPECT_EQ(PhonTable().slots[1].count, 0);
}

// ---- the PHON list ----

TEST_F(MainDialogTest, PhonListIsSortedAndCommandsTakeTheCodeFromItemData) {
    Start();
    bool someRowDiffersFromItsCode = false;
    for (size_t i = 0; i < host_->list.size(); ++i) {
        const auto& item = host_->list[i];
        ASSERT_TRUE(item.data >= 0 && item.data < 42);
        EXPECT_EQ(item.text, voice::kInventory[static_cast<size_t>(item.data)].symbol);
        EXPECT_EQ(item.sub.at(1), voice::kInventory[static_cast<size_t>(item.data)].hint);
        if (i > 0) {
            EXPECT_FALSE(SortsBefore(item.text, host_->list[i - 1].text));
        }
        someRowDiffersFromItsCode |= item.data != static_cast<intptr_t>(i);
    }
    ASSERT_TRUE(someRowDiffersFromItsCode);
    // A click plays the clicked code's clip, whatever its row.
    PhonTable().slots[7].count = 321;
    SelectCode(7);
    dialog_->OnPhonListClick();
    EXPECT_EQ(SpeechQueued(), 321);
}

TEST_F(MainDialogTest, CommandsNeedingAPhonItemDoNothingWithoutOne) {
    Start();
    FillForCommand();
    host_->selected = -1;
    host_->texts[IDC_STATUS] = "before";
    dialog_->OnPhonListClick();
    EXPECT_EQ(Status(), "before");
    for (auto command : {&MainDialog::OnPhonToWork, &MainDialog::OnSelectionToPhon}) {
        host_->texts[IDC_STATUS] = "before";
        ((*dialog_).*command)();
        EXPECT_EQ(Status(), "Choose a PHON in the Phon Table first.");
    }
    EXPECT_TRUE(host_->questions.empty());
    EXPECT_EQ(SpeechQueued(), 0);
    EXPECT_EQ(Buffer().length, 1000);
}

// Copying or trimming an empty selection says that nothing happened; a
// selection longer than a PHON holds is copied cut, and the status says so.
TEST_F(MainDialogTest, EmptyAndOverlongSelectionsAreReported) {
    Start();
    SelectCode(5);
    struct Row {
        int32_t start, end;
        void (MainDialog::*command)();
        const char* status;  // how the status line begins
        int32_t slotCount;   // the slot's count afterwards (-1: not checked)
    };
    const Row rows[] = {
        {300, 300, &MainDialog::OnTrim, "Nothing was trimmed: nothing is selected", -1},
        {300, 300, &MainDialog::OnSelectionToPhon, "Nothing was copied: nothing is selected", 0},
        {0, 20000, &MainDialog::OnSelectionToPhon, "You just copied the work buffer", 10000},
    };
    for (const Row& r : rows) {
        FillWorkBuffer(30000);
        Buffer().selectionStart = r.start;
        Buffer().selectionEnd = r.end;
        host_->answers = {true};
        ((*dialog_).*(r.command))();
        EXPECT_EQ(Status().rfind(r.status, 0), 0u) << Status();
        if (r.slotCount >= 0) {
            EXPECT_EQ(PhonTable().slots[5].count, r.slotCount);
        }
        if (r.slotCount == 10000) {
            EXPECT_NE(Status().find("Only the first 10000 of the 20000 selected samples fit."),
                      std::string::npos)
                << Status();
        }
        EXPECT_EQ(Buffer().length, 30000) << "nothing trimmed";
    }
}

TEST_F(MainDialogTest, SizeCellShowsWhatTheSlotHoldsAfterCopyingASelection) {
    Start();
    host_->answers = {true, true};
    FillForCommand();
    SelectCode(9);
    const int item = host_->selected;
    dialog_->OnSelectionToPhon();
    EXPECT_EQ(PhonTable().slots[9].count, 300);
    EXPECT_EQ(host_->list[static_cast<size_t>(item)].sub.at(2), workbuf::FormatDuration(300));
    // An empty selection copies nothing: the slot keeps its clip and so does the cell.
    Buffer().selectionEnd = Buffer().selectionStart;
    dialog_->OnSelectionToPhon();
    EXPECT_EQ(PhonTable().slots[9].count, 300);
    EXPECT_EQ(host_->list[static_cast<size_t>(item)].sub.at(2), workbuf::FormatDuration(300));
}

TEST_F(MainDialogTest, PhonToWorkTakesBackupOneAfterTheCopy) {
    Start();
    PhonTable().slots[6].count = 50;
    PhonTable().slots[6].samples[0] = 1111;
    FillForCommand();
    SelectCode(6);
    host_->answers = {true};
    dialog_->OnPhonToWork();
    EXPECT_EQ(Buffer().length, 50);
    EXPECT_EQ(Buffer().backupLength[1], 50);
    EXPECT_EQ(Buffer().backup[1][0], 1111);
}

// ---- switches, Play, TTS ----

TEST_F(MainDialogTest, SwitchesSetTheirStateAndTheirStatus) {
    Start();
    host_->checks[IDC_MONITOR] = true;
    dialog_->OnMonitor();
    EXPECT_TRUE(audio_->monitor);
    EXPECT_EQ(Status(),
              "Everything the microphone hears will now be sent to the speakers.  All the time.");
    host_->checks[IDC_MONITOR] = false;
    dialog_->OnMonitor();
    EXPECT_FALSE(audio_->monitor);
    EXPECT_EQ(Status(), "The microphone data will no longer be sent to the speakers.");
    host_->checks[IDC_WARNINGS] = false;
    dialog_->OnWarnings();
    EXPECT_FALSE(dialog_->WarningsOn());
    EXPECT_EQ(Status(),
              "You just disabled some of the warning message dialog boxes... tread carefully.");
    host_->checks[IDC_WARNINGS] = true;
    dialog_->OnWarnings();
    EXPECT_EQ(Status(), "You just re-enabled the warning dialogs.");
}

TEST_F(MainDialogTest, PlayWithoutSelectionStillSaysItsSentence) {
    Start();
    dialog_->OnPlay();
    EXPECT_EQ(Status(),
              "Played selected data in work buffer.  Use >> to copy selection to current PHON.");
    EXPECT_EQ(SpeechQueued(), 0);
}

TEST_F(MainDialogTest, TtsReadsBoundedTextAndLeavesThePhoneticEditOnEmptyInput) {
    Start();
    host_->texts[IDC_PHONETIC] = "kept";
    host_->texts[IDC_ENGLISH] = "";
    dialog_->OnTts();
    EXPECT_EQ(host_->texts[IDC_PHONETIC], "kept");
    EXPECT_EQ(host_->lastReadCount[IDC_ENGLISH], 900);
    host_->texts[IDC_ENGLISH] = "Hello, world.";
    dialog_->OnTts();
    EXPECT_EQ(host_->texts[IDC_PHONETIC], "hEHlOW kAAmmAX wERld pIYrIYAAd ");
    EXPECT_EQ(host_->lastReadCount[IDC_PHONETIC], 1900);
    EXPECT_EQ(Status(), kWelcomeText);
}

TEST_F(MainDialogTest, SpeakQueuesTheTypedPhoneticString) {
    Start();
    PhonTable().slots[0].count = 10;
    host_->texts[IDC_PHONETIC] = voice::kInventory[0].symbol;
    dialog_->OnSpeak();
    EXPECT_EQ(SpeechQueued(), 10);
}

// Import starts in the home folder, keeps what fits (a notice says it was
// cut) and is undone by Undo Effect; cancelled choices change nothing; the
// selection and voice exports say when there is nothing to write or when
// clip files would be replaced.
TEST_F(MainDialogTest, WavImportAndExportReportWhatHappened) {
    test::ScopedEnv home("HOME", folder_.c_str());
    Start();
    FillWorkBuffer(100);
    std::vector<int16_t> longSound(50000, 1234);
    ASSERT_TRUE(wave::WriteWavFile(folder_ / "long.wav", longSound));
    workbuf::WorkBuffer& wb = Buffer();

    dialog_->OnImportWav();  // cancelled
    EXPECT_TRUE(Logged("open:" + folder_.string()));
    EXPECT_EQ(wb.length, 100);
    host_->chosenPaths = {(folder_ / "nosuch.wav").string(), (folder_ / "long.wav").string()};
    dialog_->OnImportWav();
    EXPECT_EQ(Status().rfind("Could not import nosuch.wav: ", 0), 0u) << Status();
    dialog_->OnImportWav();
    EXPECT_NE(Status().find("only its first 43999 (3990.84 ms) were kept"), std::string::npos)
        << Status();
    EXPECT_EQ(wb.length, workbuf::RECORD_LIMIT);
    EXPECT_EQ(wb.selectionEnd, workbuf::RECORD_LIMIT);
    EXPECT_EQ(wb.samples[43998], 1234);
    workbuf::RestoreBackup(workbuf::BACKUP_EFFECT, wb);  // what Undo Effect runs
    EXPECT_EQ(wb.length, 100);
    EXPECT_EQ(wb.samples[99], 99 * 7);

    wb.selectionStart = wb.selectionEnd = 0;
    dialog_->OnExportSelectionWav();
    EXPECT_EQ(Status().rfind("Nothing was exported: ", 0), 0u) << Status();
    EXPECT_TRUE(host_->chosenPaths.empty());

    host_->chosenPaths = {(folder_ / "clips").string(), (folder_ / "clips").string()};
    dialog_->OnExportVoiceWav();
    EXPECT_EQ(Status(), "Voice exported as 42 WAV files into clips.");
    host_->answers = {false};
    dialog_->OnExportVoiceWav();
    EXPECT_EQ(host_->questions.back().first, "Replace the clip WAV files already in clips?");
}

}  // namespace
}  // namespace vocalith::app
