#pragma once
// The "Record a Voice" dialog: the window of VoiceRecorder. It shows the
// phoneme and its word with the sound's letters marked, the take with the
// cut shaded (left click moves the cut's start, right click its end), the
// progress, and the buttons; a timer lets the recorder stop a take by itself.
#include <QDialog>
#include <memory>
#include <string>

#include "app/dialog_audio.h"
#include "app/voice_recorder.h"
#include "session/session.h"

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace vocalith::app::qt {

class TakeView;

class VoiceRecorderDialog : public QDialog {
    Q_OBJECT
  public:
    // Records through `session`'s work buffer; starts from its voice unless
    // an earlier recording session is remembered.
    VoiceRecorderDialog(DialogAudio& audio, session::Session& session, QWidget* parent);
    ~VoiceRecorderDialog() override;

    // The name the voice was last saved under in this dialog; empty if none.
    const std::string& SavedName() const { return savedName_; }

  protected:
    // Enter takes the next step (Rec, Stop Rec or Accept), or saves from the
    // name field.
    void keyPressEvent(QKeyEvent* event) override;
    // Close, Escape and the title bar's close ask first while accepted clips
    // have no voice name.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool MayClose();
    void Refresh();
    void Save();

    std::unique_ptr<RecorderAudio> recorderAudio_;
    std::unique_ptr<RecorderMemory> memory_;
    std::unique_ptr<VoiceRecorder> logic_;
    QLabel* word_ = nullptr;
    QLabel* progress_ = nullptr;
    QLabel* status_ = nullptr;
    TakeView* take_ = nullptr;
    QPushButton* rec_ = nullptr;
    QPushButton* accept_ = nullptr;
    QPushButton* redo_ = nullptr;
    QPushButton* playClip_ = nullptr;
    QPushButton* playWord_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* gain_ = nullptr;
    QLineEdit* name_ = nullptr;
    QTimer* timer_ = nullptr;
    std::string savedName_;
};

}  // namespace vocalith::app::qt
