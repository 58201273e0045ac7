#pragma once
// The fixture shared by the MainDialog tests: a temporary program folder, a
// session of its own on a fake clock, a fake window and audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "app/main_dialog.h"
#include "base/program_folder.h"
#include "fake_host.h"
#include "mixer/mixer.h"
#include "mixer/tick_clock.h"
#include "session/session.h"
#include "support/temp_folder.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "workbuf/raster_canvas.h"
#include "workbuf/work_buffer.h"

namespace vocalith::app::testing {

namespace fs = std::filesystem;

inline constexpr const char* kComplete =
    "Recording complete.  Press PLAY to hear it.  Use Left/Right mouse to set selection.";

class MainDialogTest : public ::testing::Test {
  public:
    void SetUp() override {
        fs::create_directories(folder_ / "voices");
        session_->engine.programFolder = folder_;
        host_ = std::make_unique<FakeHost>(log_);
        audio_ = std::make_unique<FakeAudio>(log_);
        dialog_ = std::make_unique<MainDialog>(*host_, *audio_, *session_);
    }
    void TearDown() override { dialog_.reset(); }

    workbuf::WorkBuffer& Buffer() { return session_->workBuffer; }
    voice::PhonTable& PhonTable() { return session_->phonTable; }
    void FillWorkBuffer(int32_t n) {
        workbuf::WorkBuffer& wb = Buffer();
        for (int32_t i = 0; i < n; ++i)
            wb.samples[static_cast<size_t>(i)] = static_cast<int16_t>(i * 7);
        wb.length = n;
    }
    int32_t SpeechQueued() const {
        return session_->engine.mixer.channels[mixer::SPEECH_CHANNEL].queuedSamples;
    }

    // Create and initialise as the window does, then forget the log.
    void Start() {
        ASSERT_EQ(dialog_->OnCreate(), 0);
        ASSERT_TRUE(dialog_->OnInitDialog());
        log_.clear();
        host_->questions.clear();
    }
    // One paint, so that the view rectangle is known.
    void Paint() {
        workbuf::RasterCanvas canvas(800, 400);
        dialog_->OnPaint(canvas);
    }
    void WriteVoice(const std::string& name, int code, int32_t count) {
        voice::PhonTable table;
        table.slots[static_cast<size_t>(code)].count = count;
        for (int32_t i = 0; i < count; ++i)
            table.slots[static_cast<size_t>(code)].samples[static_cast<size_t>(i)] = 100;
        ASSERT_TRUE(voice::SaveVoice(folder_ / "voices" / (name + ".voc"), table).ok());
    }
    bool Logged(const std::string& entry) const {
        return std::find(log_.begin(), log_.end(), entry) != log_.end();
    }
    std::string Status() { return host_->texts[IDC_STATUS]; }
    void ChooseEffect(std::string_view name) {
        host_->combos[IDC_EFFECTS].cur = workbuf::EffectNumber(name);
        dialog_->OnEffectChosen();
    }

    // A fresh window, started, with Warnings ticked or not.
    void Restart(bool warnings) {
        dialog_.reset();
        session_ = std::make_unique<session::Session>(&clock_);
        session_->engine.programFolder = folder_;
        host_ = std::make_unique<FakeHost>(log_);
        audio_ = std::make_unique<FakeAudio>(log_);
        dialog_ = std::make_unique<MainDialog>(*host_, *audio_, *session_);
        Start();
        host_->checks[IDC_WARNINGS] = warnings;
        dialog_->OnWarnings();
        log_.clear();
        host_->texts[IDC_STATUS] = "before";
    }
    // A buffer of 1000 samples with samples 100..399 selected.
    void FillForCommand() {
        FillWorkBuffer(1000);
        Buffer().selectionStart = 100;
        Buffer().selectionEnd = 400;
    }
    void SelectCode(int code) { host_->selected = host_->ItemOfCode(code); }
    void SetVoiceName(const std::string& name) { host_->combos[IDC_VOICE].edit = name; }

    testsupport::TempFolder temp_{"vocalith-app"};
    fs::path folder_ = temp_.Path();
    mixer::FakeTickClock clock_{1000};
    std::unique_ptr<session::Session> session_ = std::make_unique<session::Session>(&clock_);
    std::vector<std::string> log_;
    std::unique_ptr<FakeHost> host_;
    std::unique_ptr<FakeAudio> audio_;
    std::unique_ptr<MainDialog> dialog_;
};

}  // namespace vocalith::app::testing
