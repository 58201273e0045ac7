// The real window, offscreen: typing a sentence and pressing Enter
// translates it, speaks it through the WAV-file backend, and leaves the
// window open; the controls stand where the dialog template puts them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/dialog_template.h"
#include "app/engine_audio.h"
#include "app/qt/about_box.h"
#include "app/qt/app_identity.h"
#include "app/qt/devices_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/template_geometry.h"
#include "app/qt/ui_dispatcher.h"
#include "app/qt/voice_recorder_dialog.h"
#include "app/qt/window_message_sink.h"
#include "app/screen_fit.h"
#include "app/status_text.h"
#include "base/file_io.h"
#include "base/program_folder.h"
#include "device/backends.h"
#include "engine/audio_pump.h"
#include "engine/effect_slots.h"
#include "mixer/mixer.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/wav_builder.h"
#include "voice/clip_wav.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "voicebuild/clip_cutter.h"
#include "wave/audio_file.h"
#include "wave/wav_writer.h"
#include "workbuf/work_buffer.h"

namespace vocalith::app {
namespace {

namespace fs = std::filesystem;

QApplication& App() {
    static int argc = 1;
    static char name[] = "e2e_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // The screen check runs the window on a real display instead.
        const char* platform = std::getenv("VOCALITH_TEST_QPA");
        ::setenv("QT_QPA_PLATFORM", platform ? platform : "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// A voice whose every clip is a loud 400 Hz tone of 600 samples.
voice::PhonTable ToneVoice() {
    voice::PhonTable table;
    for (auto& slot : table.slots) {
        slot.count = 600;
        for (int i = 0; i < slot.count; ++i) {
            slot.samples[static_cast<size_t>(i)] = static_cast<int16_t>(
                std::lround(12000 * std::sin(i * 2 * 3.14159265 * 400 / 11025)));
        }
    }
    return table;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        fs::create_directories(folder_ / "voices");
        ASSERT_TRUE(voice::SaveVoice(folder_ / "voices" / "Voxa.voc", ToneVoice()).ok());
        session_->engine.programFolder = folder_;
        out_ = (folder_ / "out.wav").string();
        std::string error;
        backend_ = device::MakeBackend("wav:" + out_, &error);
        ASSERT_TRUE(backend_) << error;
        dispatcher_ = std::make_unique<qt::QtUiDispatcher>(&context_);
        audio_ =
            std::make_unique<EngineAudio>(*session_, backend_.get(), dispatcher_.get(), &messages_);
        window_ = std::make_unique<qt::MainWindow>(*session_, *audio_, &messages_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override {
        window_.reset();
        audio_.reset();
        backend_.reset();
    }
    template <typename T>
    T* Find(int id) {
        return qobject_cast<T*>(window_->Control(id));
    }

    QObject context_;
    testsupport::TempFolder temp_{"vocalith-e2e"};
    fs::path folder_ = temp_.Path();
    std::string out_;
    std::unique_ptr<device::AudioBackend> backend_;
    std::unique_ptr<qt::QtUiDispatcher> dispatcher_;
    qt::WindowMessageSink messages_;
    std::unique_ptr<session::Session> session_ = std::make_unique<session::Session>();
    std::unique_ptr<EngineAudio> audio_;
    std::unique_ptr<qt::MainWindow> window_;
};

TEST_F(WindowTest, EnterTranslatesSpeaksAndKeepsTheWindowOpen) {
    auto* english = Find<QLineEdit>(IDC_ENGLISH);
    auto* phonetic = Find<QPlainTextEdit>(IDC_PHONETIC);
    ASSERT_TRUE(english && phonetic);
    EXPECT_TRUE(english->hasFocus());
    QTest::keyClicks(english, QStringLiteral("Hello, world."));
    QTest::keyClick(english, Qt::Key_Return);
    EXPECT_EQ(phonetic->toPlainText().toStdString(), "hEHlOW kAAmmAX wERld pIYrIYAAd ");
    EXPECT_TRUE(window_->isVisible()) << "Enter must never close the window";
    // The default voice loaded at start-up.
    EXPECT_EQ(session_->phonTable.slots[0].count, 600);

    QTest::qWait(2000);
    window_->close();
    EXPECT_FALSE(window_->isVisible());
    window_.reset();
    audio_.reset();
    backend_.reset();

    wave::AudioFrames wav;
    const base::Result read = wave::ReadAudioFile(out_, wav);
    ASSERT_TRUE(read) << read.reason;
    size_t loud = 0;
    for (const int16_t s : wav.samples) {
        if (std::abs(s) > 1000) ++loud;
    }
    EXPECT_GT(loud, 1000u) << "speech samples should have reached " << out_ << " ("
                           << wav.samples.size() << " samples)";
}

// The recorder's buttons are no default buttons; Enter takes the step the
// dialog stands at (Rec, then Stop Rec), and saves from the name field.
TEST_F(WindowTest, EnterTakesTheRecordersNextStep) {
    qt::VoiceRecorderDialog dialog(*audio_, *session_, window_.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* rec = dialog.findChild<QPushButton*>(QStringLiteral("rec"));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("voiceName"));
    ASSERT_TRUE(rec && name);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(rec->text(), QStringLiteral("Stop &Rec"));
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(rec->text(), QStringLiteral("&Rec"));
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("Mine"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(dialog.SavedName(), "Mine");
}

TEST_F(WindowTest, ControlsStandAtTheirTemplatePlaces) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Vocalith"));
    EXPECT_EQ(window_->size(), QSize(783, 335));
    for (const TemplateControl& c : kMainTemplate) {
        if (c.id <= 0) continue;
        SCOPED_TRACE(c.id);
        QWidget* w = window_->Control(c.id);
        ASSERT_NE(w, nullptr);
        const QRect expected = qt::TemplateRect(c, window_->Units());
        if (c.kind == ControlKind::DropDownList || c.kind == ControlKind::DropDownCombo) {
            EXPECT_EQ(w->geometry().topLeft(), expected.topLeft());
            EXPECT_EQ(w->width(), expected.width());
            EXPECT_LE(w->height(), expected.height());
        } else {
            EXPECT_EQ(w->geometry(), expected);
        }
    }
    auto* cancel = Find<QPushButton>(IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(Find<QLabel>(IDC_STATUS)->text().toStdString(), kWelcomeText);
    EXPECT_EQ(Find<QComboBox>(IDC_VOICE)->currentText(), QStringLiteral("Voxa"));
    EXPECT_EQ(Find<QComboBox>(IDC_EFFECTS)->currentText(), QStringLiteral("Special Effects"));
    EXPECT_TRUE(Find<QCheckBox>(IDC_WARNINGS)->isChecked());
    EXPECT_EQ(Find<QTreeWidget>(IDC_PHON_LIST)->topLevelItemCount(), 42);
    EXPECT_TRUE(window_->Control(IDC_WAVE_FRAME)->testAttribute(Qt::WA_TransparentForMouseEvents));

    // A picture of the window for people to look at.
    const char* dir = VOCALITH_ARTEFACT_DIR;
    fs::create_directories(dir);
    EXPECT_TRUE(window_->grab().save(QString::fromUtf8(dir) + QStringLiteral("/main_window.png")));
}

// The wheel or an arrow key over the closed Special Effects list runs no
// effect: the status line and the work buffer stay as they were.
TEST_F(WindowTest, TheClosedEffectsListRunsNothingByWheelOrArrowKey) {
    auto* effects = Find<QComboBox>(IDC_EFFECTS);
    const QString before = Find<QLabel>(IDC_STATUS)->text();
    const QPoint centre = effects->rect().center();
    QWheelEvent wheel(centre, effects->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(effects, &wheel);
    QTest::keyClick(effects, Qt::Key_Down);
    effects->hidePopup();
    EXPECT_EQ(effects->currentIndex(), 0);
    EXPECT_EQ(Find<QLabel>(IDC_STATUS)->text(), before);
}

TEST_F(WindowTest, ClickInTheWaveViewSetsTheSelectionStart) {
    QTest::qWait(50);  // one paint, which places the view
    QWidget* frame = window_->Control(IDC_WAVE_FRAME);
    QTest::mouseClick(window_.get(), Qt::LeftButton, Qt::NoModifier,
                      frame->geometry().topLeft() + QPoint(5, 5));
    EXPECT_EQ(Find<QLabel>(IDC_STATUS)->text(),
              QStringLiteral("Left mouse click sets START of selection."));
}

// Only a mouse click on a row plays its PHON: one clip per click, one for a
// double-click, none for the keyboard moving the selection.
TEST_F(WindowTest, PhonListPlaysOnceForEachClick) {
    auto* list = Find<QTreeWidget>(IDC_PHON_LIST);
    ASSERT_NE(list, nullptr);
    const mixer::MixerChannel& speech = session_->engine.mixer.channels[mixer::SPEECH_CHANNEL];
    mixer::ClearChannel(session_->engine.mixer.channels[mixer::SPEECH_CHANNEL]);
    const QPoint row = list->visualItemRect(list->topLevelItem(1)).center();
    struct Step {
        const char* what;
        std::function<void()> act;
        int clips;
    };
    const Step steps[] = {
        {"a click", [&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row); }, 1},
        {"a double-click (a click, then the second click that makes it double)",
         [&] {
             QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
             QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
         },
         1},
        {"the Down key", [&] { QTest::keyClick(list, Qt::Key_Down); }, 0},
    };
    for (const Step& step : steps) {
        const int32_t before = speech.clipCount;
        step.act();
        QTest::qWait(20);
        EXPECT_EQ(speech.clipCount - before, step.clips) << step.what;
    }
}

// A message box as it was shown.
struct SeenBox {
    std::string title;
    std::string text;
    bool plainText = false;
    bool operator==(const SeenBox&) const = default;
};

// Answers the message boxes that open while it lives with `answers`, in
// order (NoButton: Enter), and records each box.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers)
        : answers_(std::move(answers)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Answer(); });
        poll_.start(5);
    }
    std::vector<SeenBox> seen;

  private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == last_) return;
        last_ = box;
        seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(),
                        box->textFormat() == Qt::PlainText});
        const size_t i = seen.size() - 1;
        const auto answer = i < answers_.size() ? answers_[i] : QMessageBox::No;
        if (answer == QMessageBox::NoButton) {
            QTest::keyClick(box, Qt::Key_Return);  // the default button
        } else {
            box->button(answer)->click();
        }
    }
    std::vector<QMessageBox::StandardButton> answers_;
    QTimer poll_;
    QMessageBox* last_ = nullptr;
};

// A settings file that would block whoever reads it leaves "Record a
// Voice..." to open at once, its place unread.
TEST_F(WindowTest, TheRecorderOpensWhateverTheSettingsFileIs) {
    const testsupport::TempFolder config("vocalith-config");
    const test::ScopedEnv home("XDG_CONFIG_HOME", config.Path().c_str());
    fs::create_directories(config / "vocalith");
    ASSERT_EQ(::mkfifo((config / "vocalith" / "vocalith.conf").c_str(), 0600), 0);
    qt::VoiceRecorderDialog dialog(*audio_, *session_, window_.get());
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("progress"))->text(),
              QStringLiteral("1 of 41  (0 done)"));
}

// A user records "fault" from a microphone (a WAV file): the take keeps the
// "f" before the loudness gate opened, and the clip is as long as the one
// voice build cuts from the same file. Close asks while the clip has no
// voice name; after naming and saving "Tmp", declining to load it leaves
// the voice box on the voice its clips are, so the window's Save cannot
// write those clips over Tmp.voc.
TEST_F(WindowTest, ARecordedTakeKeepsItsOnsetAndCloseAndSaveLoseNothing) {
    if (std::system("command -v espeak-ng >/dev/null && command -v sox >/dev/null") != 0) {
        GTEST_SKIP() << "espeak-ng and sox are needed";
    }
    voicebuild::ClipCutter cutter;
    if (!cutter.Aligning()) GTEST_SKIP() << cutter.Note();
    const testsupport::TempFolder config("vocalith-config");
    const test::ScopedEnv home("XDG_CONFIG_HOME", config.Path().c_str());
    const std::string word = (folder_ / "word.wav").string();
    const std::string in = (folder_ / "in.wav").string();
    const std::string make = "espeak-ng -v en-us -a 25 -w '" + word + "' fault && sox -R '" + word +
                             "' -r 11025 -b 16 '" + in + "' pad 2.5 2 dither -s && sox -R '" + in +
                             "' -n stat 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    window_.reset();
    audio_.reset();
    std::string error;
    backend_ = device::MakeBackend("wav:" + out_ + "," + in, &error);
    ASSERT_TRUE(backend_) << error;
    audio_ =
        std::make_unique<EngineAudio>(*session_, backend_.get(), dispatcher_.get(), &messages_);
    window_ = std::make_unique<qt::MainWindow>(*session_, *audio_, &messages_);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));

    BoxAnswerer answers({QMessageBox::No, QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes});
    std::string cut;
    bool stayedOpen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<qt::VoiceRecorderDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no recorder";
            return;
        }
        const auto button = [&](const char* name) {
            return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
        };
        for (int i = 0; i < 22; ++i) button("skip")->click();  // to f, "fault"
        button("rec")->click();
        for (int i = 0; i < 100 && !button("accept")->isEnabled(); ++i) QTest::qWait(100);
        cut = dialog->findChild<QLabel*>(QStringLiteral("status"))->text().toStdString();
        button("accept")->click();
        button("close")->click();  // asked: the clip has no voice name yet; No
        stayedOpen = dialog->isVisible();
        dialog->findChild<QLineEdit*>(QStringLiteral("voiceName"))->setText(QStringLiteral("Tmp"));
        button("save")->click();
        button("close")->click();
    });
    window_->RecordVoice();
    EXPECT_TRUE(stayedOpen) << "Close with an unnamed clip asks first";
    int start = 0, end = 0;
    ASSERT_EQ(std::sscanf(cut.c_str(), "Cut %d-%d ms", &start, &end), 2) << cut;
    const voicebuild::Cut built = cutter.CutFile(in, voice::ClipNameCode("f"));
    ASSERT_TRUE(built.ok());
    EXPECT_GE(start, 200) << "the take holds what came before the gate opened";
    EXPECT_NEAR(end - start, built.EndMs() - built.StartMs(), 5) << cut;

    const fs::path tmp = folder_ / "voices" / "Tmp.voc";
    voice::PhonTable recorded;
    ASSERT_TRUE(voice::LoadVoice(tmp, recorded).ok());
    EXPECT_EQ(Find<QComboBox>(IDC_VOICE)->currentText(), QStringLiteral("Voxa"));
    Find<QPushButton>(IDC_SAVE)->click();
    voice::PhonTable after;
    ASSERT_TRUE(voice::LoadVoice(tmp, after).ok());
    EXPECT_EQ(voice::EncodeVoice(after), voice::EncodeVoice(recorded))
        << "the window's Save wrote other clips as Tmp.voc";
    ASSERT_GE(answers.seen.size(), 2u);
    EXPECT_EQ(answers.seen[1].text, "Load the PHON table data from VOICES/Tmp.voc?");
}

TEST_F(WindowTest, QuestionsCarryTheirExactTitlesAndShowNamesAsTyped) {
    // A voice name that looks like markup must reach the box as typed.
    Find<QComboBox>(IDC_VOICE)->setEditText(QStringLiteral("<b>Mine"));
    const std::string save = "Save the PHON table data into VOICES/<b>Mine.voc?";
    const std::string overwrite =
        "Overwrite the existing copy of <b>Mine.voc in the VOICES folder?";
    struct Step {
        int button;
        std::vector<QMessageBox::StandardButton> answers;
        std::vector<SeenBox> boxes;
        std::string status;
    };
    const Step steps[] = {
        {IDC_SAVE, {QMessageBox::Yes}, {{kConfirmTitle, save, true}}, "Phon Table data saved."},
        {IDC_SAVE,
         {QMessageBox::Yes, QMessageBox::No},
         {{kConfirmTitle, save, true}, {kOverwriteTitle, overwrite, true}},
         "Phon Table data saved."},
        {IDC_TRIM,
         {QMessageBox::No},
         {{kConfirmTitle, "Trim ALL BUT current selection out of work buffer?", true}},
         "Phon Table data saved."},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.boxes.back().text);
        BoxAnswerer answerer(step.answers);
        QTest::mouseClick(window_->Control(step.button), Qt::LeftButton);
        EXPECT_EQ(answerer.seen, step.boxes);
        EXPECT_EQ(Find<QLabel>(IDC_STATUS)->text().toStdString(), step.status);
    }
    EXPECT_TRUE(fs::exists(folder_ / "voices" / "<b>Mine.voc"));
}

// The close box and Escape keep a window whose PHON clips changed unless the
// user agrees to lose them.
TEST_F(WindowTest, ChangedClipsAreNotLostByClosing) {
    session_->phonTable.slots[2].count = 9;
    const SeenBox discard{kConfirmTitle, "Discard the changes to the voice Voxa?", true};
    {
        // Enter, too, keeps the changes.
        BoxAnswerer answerer({QMessageBox::No, QMessageBox::No, QMessageBox::NoButton});
        window_->close();
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        window_->close();
        EXPECT_EQ(answerer.seen, (std::vector<SeenBox>{discard, discard, discard}));
        EXPECT_TRUE(window_->isVisible());
    }
    BoxAnswerer answerer({QMessageBox::Yes});
    window_->close();
    EXPECT_EQ(answerer.seen, (std::vector<SeenBox>{discard}));
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(WindowTest, TheApplicationAddsNothingToWindowTitles) {
    // A display name would be appended by the platform to every box's title.
    qt::ApplyApplicationIdentity(App());
    const QString name = QApplication::applicationName();
    EXPECT_EQ(name, QStringLiteral("Vocalith"));
    QApplication::setApplicationName(QStringLiteral("vocalith-probe"));
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("vocalith-probe"));
    QApplication::setApplicationName(name);
}

// The faces the layout is tried in: the intended one, one that is wider
// (DejaVu Sans) and one that is taller (Nimbus Sans).
struct Face {
    const char* family;
    bool intended;
};
constexpr Face kFaces[] = {
    {"DejaVu Sans Condensed", true}, {"DejaVu Sans", false}, {"Nimbus Sans", false}};

QFont FaceFont(const Face& face) {
    QFont font;
    font.setFamilies({QString::fromLatin1(face.family)});
    font.setPixelSize(11);
    return font;
}

QString Artefact(const QString& name) {
    fs::create_directories(VOCALITH_ARTEFACT_DIR);
    return QString::fromUtf8(VOCALITH_ARTEFACT_DIR "/") + name.simplified().replace(' ', '_');
}

// Every caption, button and check box text of `dialog` fits its control: on
// one line, or within the control's height where the label wraps.
void ExpectEveryTextFits(QWidget* dialog) {
    const QFontMetrics metrics(dialog->font());
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(dialog)) continue;
        QString text;
        int room = w->width();
        auto* label = qobject_cast<QLabel*>(w);
        if (label) {
            text = label->text();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            text = button->text();
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            text = box->text();
            room -= w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                    w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
            // The text's ink, not only its advance, stays inside.
            room = std::min(room, room - (metrics.boundingRect(text).right() + 1 -
                                          metrics.horizontalAdvance(text)));
        }
        if (text.isEmpty() || w->objectName() == QStringLiteral("IDC_STATUS")) continue;
        if (label && (label->wordWrap() || text.contains(QLatin1Char('\n')))) {
            EXPECT_LE(metrics.boundingRect(QRect(0, 0, w->width(), 1 << 20), Qt::TextWordWrap, text)
                          .height(),
                      w->height())
                << w->objectName().toStdString() << ": " << text.toStdString();
        } else {
            EXPECT_LE(metrics.horizontalAdvance(text), room)
                << w->objectName().toStdString() << ": " << text.toStdString();
        }
    }
}

// Every caption, button and check box text fits its control in the intended
// face and in the wider and taller ones; the intended face keeps the
// template's own sizes.
TEST_F(WindowTest, EveryTextFitsItsControlInAnyFont) {
    for (const Face& face : kFaces) {
        SCOPED_TRACE(face.family);
        const QFont font = FaceFont(face);
        window_.reset();
        window_ = std::make_unique<qt::MainWindow>(*session_, *audio_, &messages_, nullptr, &font);
        EXPECT_TRUE(
            window_->grab().save(Artefact(QStringLiteral("main_window_%1.png").arg(face.family))));
        if (face.intended && QFontInfo(window_->font()).family() == face.family) {
            EXPECT_EQ(window_->size(), QSize(783, 335));
        }
        ExpectEveryTextFits(window_.get());
    }
}

// Every text the status line can show, with the longest names, numbers and
// reasons there can be.
std::vector<std::pair<std::string, StatusNote>> EveryStatusText() {
    const std::string voice(VOICE_NAME_READ_COUNT - 1, 'W');
    const std::string file = std::string(251, 'W') + ".wav";
    const std::string device(120, 'W');
    const std::string reason(300, 'w');
    const fs::path voicePath =
        fs::path("/home/someone/.local/share/vocalith/voices") / (voice + ".voc");
    std::vector<std::pair<std::string, StatusNote>> rows = {
        {"nothing trimmed", NothingSelected("trimmed")},
        {"nothing copied", NothingSelected("copied")},
        {"nothing exported", NothingSelected("exported")},
        {"no speech", NoSpeechHint(-60, -60)},
        {">> cut", SelectionToPhonCut(10000, workbuf::RECORD_LIMIT)},
        {"name refused",
         VoiceNameRefused(voice + "/", "A voice name cannot contain control characters.")},
        {"path too long", app::VoicePathTooLong(voicePath, false)},
        {"load failed", VoiceFileFailed("load", voicePath, reason)},
        {"save failed",
         VoiceFileFailed("save", voicePath, "cannot create " + voicePath.string() + ": " + reason)},
        {"import failed", ImportFailed(file, reason)},
        {"nothing imported", NothingImported(file)},
        {"imported", Imported(file, "")},
        {"imported, cut", Imported(file, workbuf::FormatDuration(workbuf::RECORD_LIMIT))},
        {"selection exported", SelectionExported(file)},
        {"selection export failed", ExportFailed("the selection", reason)},
        {"voice exported", VoiceExported(voice::PHONEME_COUNT, file)},
        {"voice export failed", ExportFailed("the voice", reason)},
        {"sound lost", SoundLost(reason)},
        {"device gone", DevicesGone(device, "")},
        {"devices gone", DevicesGone(device, device)},
        {"output failed", OutputFailed(device, reason)},
        {"input failed", InputFailed(device, device)},
        {"now using", NowUsing(device, device)},
    };
    // The fixed sentences, each named by itself.
    for (const char* text :
         {kWelcomeText, kPlayedText, kRecordingText, kRecordingCompleteText, kVoiceLoadedText,
          kVoiceSavedText, kTrimmedText, kPhonToWorkText, kSelectionToPhonText, kStartClickText,
          kEndClickText, kMonitorOnText, kMonitorOffText, kWarningsOnText, kWarningsOffText,
          kNothingRecordedText, kChoosePhonText, kStopRecordingText, kSoundBackText}) {
        rows.push_back({text, {text}});
    }
    for (const workbuf::EffectsMenuItem& item : kEffectsMenu) {
        if (item.status != nullptr) rows.push_back({item.text, {item.status}});
    }
    return rows;
}

// Shows every status text in `window` and checks that the field shows it
// whole: on one line, or (the commands' own sentences only) wrapped within
// the field; a brief text has the whole one as its tooltip.
void ExpectEveryStatusTextWhole(qt::MainWindow& window) {
    auto* status = qobject_cast<QLabel*>(window.Control(IDC_STATUS));
    const QFontMetrics metrics(status->font());
    const QRect line = status->geometry();
    const int phoneticBottom = window.Control(IDC_PHONETIC)->geometry().bottom();
    for (const auto& [what, note] : EveryStatusText()) {
        SCOPED_TRACE(what);
        window.Logic().SetStatus(note);
        const QString shown = status->text();
        if (note.brief.empty()) {
            EXPECT_EQ(shown.toStdString(), note.text);
        } else if (shown.toStdString() != note.text) {
            EXPECT_EQ(shown.toStdString(), note.brief);
            EXPECT_EQ(status->toolTip().toStdString(),
                      note.detail.empty() ? note.text : note.detail);
        }
        if (status->wordWrap()) {
            EXPECT_TRUE(note.brief.empty()) << "only the commands' own sentences wrap";
            EXPECT_LE(
                metrics.boundingRect(QRect(0, 0, status->width(), 1 << 20), Qt::TextWordWrap, shown)
                    .height(),
                status->height())
                << shown.toStdString();
            EXPECT_GT(status->geometry().top(), phoneticBottom);
        } else {
            EXPECT_LE(qt::TextRoom(ControlKind::Label, shown, status->font(), *status->style()),
                      status->width())
                << shown.toStdString();
        }
        EXPECT_EQ(status->geometry().bottom(), line.bottom());
    }
    window.Logic().SetStatus(kWelcomeText);
}

// The dialog font each screen gets: the window and the About box fit the
// screen's free area, at the largest size with which they do.
TEST_F(WindowTest, TheDialogsFitEveryScreenAtTheLargestFontThatFits) {
    struct Screen {
        int width, height;
    };
    for (const Screen screen : {Screen{1024, 600}, Screen{1280, 800}, Screen{1920, 1080}}) {
        for (const double scale : {1.0, 1.5, 2.0}) {
            // The free area in the window's own pixels.
            const QRect room(0, 0, static_cast<int>(screen.width / scale),
                             static_cast<int>(screen.height / scale));
            for (const Face& face : kFaces) {
                SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height) +
                             " at " + std::to_string(scale) + ", " + face.family);
                const QStyle& style = *QApplication::style();
                const qt::FittedFont main =
                    qt::FitDialogToScreen(FaceFont(face), style, kMainTemplate, MAIN_WIDTH_UNITS,
                                          MAIN_HEIGHT_UNITS, room, IDCANCEL);
                const qt::FittedFont about =
                    qt::FitDialogToScreen(main.font, style, kAboutTemplate, ABOUT_WIDTH_UNITS,
                                          ABOUT_HEIGHT_UNITS, room, 0, true);
                for (const auto& [fitted, width, height] :
                     {std::tuple{main, MAIN_WIDTH_UNITS, MAIN_HEIGHT_UNITS},
                      std::tuple{about, ABOUT_WIDTH_UNITS, ABOUT_HEIGHT_UNITS}}) {
                    EXPECT_LE(fitted.units.X(width) + FRAME_ALLOWANCE_WIDTH, room.width());
                    EXPECT_LE(fitted.units.Y(height) + FRAME_ALLOWANCE_HEIGHT, room.height());
                }
                // One pixel more and some text would not fit the window.
                const int px = main.font.pixelSize();
                if (px < 11) {
                    QFont larger = main.font;
                    larger.setPixelSize(px + 1);
                    const DialogUnits needs =
                        qt::FittingUnits(larger, style, kMainTemplate, IDCANCEL);
                    EXPECT_TRUE(needs.charWidth > main.units.charWidth ||
                                needs.charHeight > main.units.charHeight);
                }
                std::printf("%4dx%-4d x%.1f %-22s font %2d px, window %dx%d, About %dx%d\n",
                            screen.width, screen.height, scale, face.family, px,
                            main.units.X(MAIN_WIDTH_UNITS), main.units.Y(MAIN_HEIGHT_UNITS),
                            about.units.X(ABOUT_WIDTH_UNITS), about.units.Y(ABOUT_HEIGHT_UNITS));
            }
        }
    }
}

// The window and the About box as they open on this screen (a real display
// of a given size and scale when the screen check runs this test), in each
// face: inside the screen's free area, every text whole, every status text
// whole in the status field. Pictures of both are kept.
TEST_F(WindowTest, TheWindowAndAboutBoxOpenWithinTheScreen) {
    const QString tag = QString::fromUtf8(
        std::getenv("VOCALITH_SCREEN_TAG") ? std::getenv("VOCALITH_SCREEN_TAG") : "offscreen");
    for (const Face& face : kFaces) {
        SCOPED_TRACE(face.family);
        const QFont font = FaceFont(face);
        window_.reset();
        window_ = std::make_unique<qt::MainWindow>(*session_, *audio_, &messages_, nullptr, &font);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        const QRect free = window_->screen()->availableGeometry();
        EXPECT_TRUE(free.contains(window_->frameGeometry()))
            << window_->frameGeometry().width() << "x" << window_->frameGeometry().height();
        ExpectEveryTextFits(window_.get());
        ExpectEveryStatusTextWhole(*window_);
        const QString name = QStringLiteral("%1_%2.png").arg(tag, face.family);
        QTest::qWait(50);
        EXPECT_TRUE(
            window_->screen()->grabWindow(0).save(Artefact(QStringLiteral("screen_main_") + name)));

        qt::AboutBox about(window_.get());
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        EXPECT_TRUE(free.contains(about.frameGeometry()))
            << about.frameGeometry().width() << "x" << about.frameGeometry().height();
        EXPECT_TRUE(about.findChild<QPushButton*>(QStringLiteral("IDOK"))->isVisible());
        ExpectEveryTextFits(&about);
        QTest::qWait(50);
        EXPECT_TRUE(window_->screen()->grabWindow(0).save(
            Artefact(QStringLiteral("screen_about_") + name)));
        std::printf("%s %-22s font %d px, window %dx%d, About %dx%d\n", qPrintable(tag),
                    face.family, window_->font().pixelSize(), window_->width(), window_->height(),
                    about.width(), about.height());
    }
}

TEST_F(WindowTest, TheTraceNeverShowsThroughLabelsOrCheckBoxes) {
    // Samples of +-32000 draw lines far beyond the view, over every control
    // below it.
    workbuf::WorkBuffer& wb = session_->workBuffer;
    for (int i = 0; i < 2000; ++i) wb.samples[static_cast<size_t>(i)] = i % 2 ? 32000 : -32000;
    wb.length = 2000;
    wb.selectionStart = 0;
    wb.selectionEnd = 1000;
    Find<QLabel>(IDC_SELECTION)->setText(QStringLiteral("1000 (90.70 ms)"));
    const QImage image = window_->grab().toImage();
    const QRect view = window_->Control(IDC_WAVE_FRAME)->geometry();
    std::vector<QWidget*> covered;
    for (QWidget* w : window_->findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QCheckBox*>(w)) continue;
        const QRect r = w->geometry();
        if (r.right() < view.left() || r.left() > view.right() || r.top() < view.bottom()) continue;
        covered.push_back(w);
        int green = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() == 0 && c.blue() == 0 && c.green() >= 100) ++green;
            }
        }
        EXPECT_EQ(green, 0) << w->objectName().toStdString();
    }
    // The selection field, Monitor and the two edit captions lie under the trace.
    EXPECT_GE(covered.size(), 4u);
    // The trace itself is drawn.
    int traced = 0;
    for (int x = view.left(); x <= view.right(); ++x) {
        if (image.pixelColor(x, view.top() + 5).green() >= 100) ++traced;
    }
    EXPECT_GT(traced, 100);
    wb.length = 0;
    wb.selectionEnd = 0;
}

// Chooses `text` in the context menu, opened from the keyboard, and answers
// the file dialog that follows with `path`; the menu is saved as a picture.
void ChooseFromMenu(QWidget* window, const QString& text, const std::string& path) {
    QTimer poll;
    bool menuDone = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menu && !menuDone) {
            menuDone = true;
            fs::create_directories(VOCALITH_ARTEFACT_DIR);
            menu->grab().save(QStringLiteral(VOCALITH_ARTEFACT_DIR "/context_menu.png"));
            for (QAction* action : menu->actions()) {
                if (action->text() == text) menu->setActiveAction(action);
            }
            QTest::keyClick(menu, Qt::Key_Return);
        } else if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->selectFile(QString::fromStdString(path));
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
        }
    });
    poll.start(5);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            window->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window, &event);
    QTest::qWait(20);
    EXPECT_TRUE(menuDone) << text.toStdString();
}

// A WAV file imported through the context menu, copied into AA with ">>",
// saved and loaded again: the voice file holds the file's samples exactly.
TEST_F(WindowTest, ImportedWavReachesTheVoiceFileExactly) {
    std::vector<int16_t> clip(3000);
    for (size_t i = 0; i < clip.size(); ++i) clip[i] = static_cast<int16_t>(i * 11 - 16000);
    const fs::path wav = folder_ / "clip.wav";
    ASSERT_TRUE(wave::WriteWavFile(wav, clip));

    ChooseFromMenu(window_.get(), QString::fromUtf8(kImportWavItemText), wav.string());
    EXPECT_EQ(Find<QLabel>(IDC_STATUS)->text().toStdString(),
              "Imported clip.wav into the work buffer.  Use >> to copy a selection to the "
              "current PHON.");
    EXPECT_EQ(Find<QLabel>(IDC_SELECTION)->text(), QStringLiteral("3000 (272.11 ms)"));

    auto* list = Find<QTreeWidget>(IDC_PHON_LIST);
    const auto rows = list->findItems(QStringLiteral("AA"), Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    list->setCurrentItem(rows.first());
    Find<QComboBox>(IDC_VOICE)->setEditText(QStringLiteral("Mine"));
    for (const int button : {IDC_TO_PHON, IDC_SAVE}) {
        BoxAnswerer yes({QMessageBox::Yes});
        QTest::mouseClick(window_->Control(button), Qt::LeftButton);
        EXPECT_EQ(yes.seen.size(), 1u);
    }
    auto expected = std::make_unique<voice::PhonTable>(ToneVoice());
    expected->slots[5].count = static_cast<int32_t>(clip.size());
    std::copy(clip.begin(), clip.end(), expected->slots[5].samples.begin());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(base::ReadFileBytes(folder_ / "voices" / "Mine.voc", 1 << 24, bytes));
    EXPECT_EQ(bytes, voice::EncodeVoice(*expected));

    voice::ClearPhonTable(session_->phonTable);
    BoxAnswerer yes({QMessageBox::Yes});
    QTest::mouseClick(window_->Control(IDC_LOAD), Qt::LeftButton);
    EXPECT_EQ(voice::EncodeVoice(session_->phonTable), bytes);

    // Export Selection writes the same samples back out.
    const fs::path out = folder_ / "again.wav";
    ChooseFromMenu(window_.get(), QString::fromUtf8(kExportSelectionItemText), out.string());
    wave::AudioFrames again;
    ASSERT_TRUE(wave::ReadAudioFile(out, again));
    EXPECT_EQ(again.samples, clip);
}

// The device dialog on the null backend (nothing to choose) and on the WAV
// backend (a speaker file and a microphone file): "Default" heads each
// list; OK opens the choice at once, says so on the status line and
// remembers it; a remembered device that has gone gives way to the default
// with a notice.
TEST_F(WindowTest, DeviceDialogChoosesOpensAndRemembers) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(folder_.string()));
    const std::string in = (folder_ / "mic, left.wav").string();  // as ALSA names: "hw:1,0"
    const test::Bytes wav = test::Wave(test::SampleBytes(std::vector<int16_t>(11025, 0)));
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    struct Row {
        std::string backend;
        qt::RememberedDevices remembered;
        std::string startStatus;
        int inputRow;                              // selected as the dialog opens
        std::vector<std::string> inputs, outputs;  // the lists' texts
        std::string status;                        // after OK, the last rows chosen
    };
    const Row rows[] = {
        {"null",
         {"", "gone"},
         "The audio device 'gone' chosen earlier is not there; using the default instead.",
         0,
         {"Default"},
         {"Default"},
         "Could not open the default speakers: no audio output device. Trying again every few "
         "seconds."},
        {"wav:" + out_ + "," + in,
         {in, ""},
         kWelcomeText,
         1,
         {"Default (" + in + ")", in + " (WAV file)"},
         {"Default (" + out_ + ")", out_ + " (WAV file)"},
         "Now recording from microphone '" + in + "' and playing through speakers '" + out_ + "'."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.backend);
        window_.reset();  // each before what it uses
        audio_.reset();
        std::string error;
        backend_ = device::MakeBackend(r.backend, &error);
        ASSERT_TRUE(backend_) << error;
        audio_ =
            std::make_unique<EngineAudio>(*session_, backend_.get(), dispatcher_.get(), &messages_);
        audio_->UseDevicesAtStart(r.remembered.input, r.remembered.output);
        BoxAnswerer noDeviceBox({QMessageBox::Ok});  // the null backend's start-up box
        window_ = std::make_unique<qt::MainWindow>(*session_, *audio_, &messages_);
        window_->show();
        QTest::qWait(50);
        auto* status = Find<QLabel>(IDC_STATUS);
        EXPECT_EQ(status->text().toStdString(), r.startStatus);

        std::vector<std::string> inputs, outputs;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<qt::DevicesDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                ADD_FAILURE() << "no device dialog";
                QApplication::activeModalWidget()->close();
                return;
            }
            for (auto [name, texts] :
                 {std::pair{"inputDevices", &inputs}, std::pair{"outputDevices", &outputs}}) {
                auto* list = dialog->findChild<QListWidget*>(QString::fromLatin1(name));
                EXPECT_EQ(list->currentRow(), texts == &inputs ? r.inputRow : 0) << name;
                for (int i = 0; i < list->count(); ++i) {
                    texts->push_back(list->item(i)->text().toStdString());
                }
                list->setCurrentRow(list->count() - 1);
            }
            dialog->accept();
        });
        window_->ShowDevices();
        EXPECT_EQ(inputs, r.inputs);
        EXPECT_EQ(outputs, r.outputs);
        QTest::qWait(50);
        // Whole in the field, or (too long for it) whole in its tooltip.
        EXPECT_EQ((status->toolTip().isEmpty() ? status->text() : status->toolTip()).toStdString(),
                  r.status);
        const qt::RememberedDevices saved = qt::LoadRememberedDevices();
        EXPECT_EQ(saved.input, audio_->ChosenDevice(true));
        EXPECT_EQ(saved.output, audio_->ChosenDevice(false));
    }
    // The reopened WAV device plays what is said next.
    auto* english = Find<QLineEdit>(IDC_ENGLISH);
    QTest::keyClicks(english, QStringLiteral("Hello."));
    QTest::keyClick(english, Qt::Key_Return);
    QTest::qWait(1500);
    window_.reset();
    audio_.reset();
    backend_.reset();
    wave::AudioFrames heard;
    ASSERT_TRUE(wave::ReadAudioFile(out_, heard));
    EXPECT_GT(std::count_if(heard.samples.begin(), heard.samples.end(),
                            [](int16_t s) { return std::abs(s) > 1000; }),
              500);
}

// The program itself: a mistake on its command line is one line pointing to
// --help (status 2); a file it cannot use, a platform that is not there and
// a WAV output that could not be completed are failures (status 1) whose
// last line says why.
TEST(WindowProgram, MistakesAndFailuresEndWithOneLineAndTheirStatus) {
    const testsupport::TempFolder folder("vocalith-program");
    const std::string out = (folder / "out.wav").string();
    const struct {
        const char* env;
        std::string args;
        int status;
        std::string last;  // the last line on standard error
    } rows[] = {
        {"", "--audio", 2, "vocalith: option --audio needs a value; try 'vocalith --help'"},
        {"", "--loud", 2, "vocalith: unknown option '--loud'; try 'vocalith --help'"},
        {"", "--version extra", 2,
         "vocalith: --version takes no other arguments, but was given 'extra'; try 'vocalith "
         "--help'"},
        {"", "--audio bogus", 2,
         "vocalith: unknown audio backend 'bogus' (use portaudio, null or wav:OUT.wav[,IN.wav]); "
         "try 'vocalith --help'"},
        {"", "--audio wav:" + out + "," + (folder / "none.wav").string(), 1,
         "vocalith: cannot read input file '" + (folder / "none.wav").string() + "': cannot open " +
             (folder / "none.wav").string() + ": No such file or directory"},
        {"QT_QPA_PLATFORM=bogus ", "--audio null", 1,
         "vocalith: cannot open the window: QT_QPA_PLATFORM names the platform 'bogus', which is "
         "not installed (there are: "},
        {"QT_QPA_PLATFORM=offscreen VOCALITH_STARTUP_PROBE=1 ", "--audio wav:/dev/full", 1,
         "vocalith: cannot write /dev/full: No space left on device"},
    };
    for (const auto& row : rows) {
        const fs::path err = folder / "err.txt";
        const std::string cmd = "HOME='" + folder.Path().string() +
                                "' XDG_CONFIG_HOME= " + row.env + "'" + VOCALITH_BIN_DIR +
                                "/vocalith' " + row.args + " </dev/null >/dev/null 2>'" +
                                err.string() + "'";
        const int raw = std::system(cmd.c_str());
        std::ifstream in(err);
        std::string line, last;
        while (std::getline(in, line)) last = line;
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, row.status) << row.args;
        EXPECT_EQ(last.substr(0, row.last.size()), row.last) << row.args;
    }
}

// The settings file is read like any other outside file: a FIFO, a folder
// or a file far too large is ignored at once, with a line for the status.
TEST(WindowProgram, OnlyAUsableSettingsFileIsRead) {
    const testsupport::TempFolder folder("vocalith-settings");
    const test::ScopedEnv config("XDG_CONFIG_HOME", folder.Path().c_str());
    const fs::path file = folder / "vocalith" / "vocalith.conf";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string notice;
    } rows[] = {
        {"absent", [] {}, ""},
        {"a FIFO hung the window", [&] { ::mkfifo(file.c_str(), 0600); },
         "Settings ignored: " + file.string() + " is not a regular file."},
        {"a folder", [&] { fs::create_directory(file); },
         "Settings ignored: " + file.string() + " is not a regular file."},
        {"a sparse 2 GB file read whole",
         [&] {
             std::ofstream{file};
             fs::resize_file(file, 2ull << 30);
         },
         "Settings ignored: " + file.string() +
             " is 2147483648 bytes, more than the limit of "
             "262144."},
        {"a few lines", [&] { std::ofstream(file) << "[devices]\noutput=spk\n"; }, ""},
    };
    for (const auto& row : rows) {
        fs::remove_all(folder / "vocalith");
        fs::create_directories(folder / "vocalith");
        row.make();
        StatusNote notice;
        const qt::RememberedDevices devices = qt::LoadRememberedDevices(&notice);
        EXPECT_EQ(notice.text, row.notice) << row.name;
        // (What a usable file holds is QSettings' business, and QSettings
        // keeps the config folder it first saw for the whole process.)
        if (!row.notice.empty()) {
            EXPECT_EQ(devices.output, "") << row.name;
        }
    }
}

}  // namespace
}  // namespace vocalith::app
