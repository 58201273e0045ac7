#pragma once
// The "Audio Devices" dialog: the microphones and the speakers in two lists,
// "Default" first, and the microphone's input gain. OK opens the chosen
// devices at once and remembers them with the gain for later runs (QSettings
// in the user's config folder).
#include <QDialog>
#include <string>

#include "app/dialog_audio.h"
#include "app/status_text.h"

#include <memory>

class QComboBox;
class QListWidget;
class QSettings;

namespace vocalith::app::qt {

class DevicesDialog : public QDialog {
    Q_OBJECT
  public:
    // The lists show `audio`'s devices with its current choice selected.
    explicit DevicesDialog(DialogAudio& audio, QWidget* parent = nullptr);

    // The devices selected, by name; empty for "Default".
    std::string ChosenInput() const;
    std::string ChosenOutput() const;
    int ChosenGain() const;

  private:
    QComboBox* gain_ = nullptr;
    QListWidget* inputs_ = nullptr;
    QListWidget* outputs_ = nullptr;
};

// Shows the dialog over `parent`; OK uses the choice at once and remembers it.
void ShowDevicesDialog(DialogAudio& audio, QWidget* parent);

// The devices remembered from an earlier run (empty: the default), and
// remembering new ones. A settings file that is not a regular file, or is
// too large, is neither read nor written; `notice` gets a line for the
// status line that says so.
struct RememberedDevices {
    std::string input;
    std::string output;
    int inputGain = DialogAudio::DEFAULT_INPUT_GAIN;
};
RememberedDevices LoadRememberedDevices(StatusNote* notice = nullptr);
void SaveRememberedDevices(const RememberedDevices& devices);

// The window's settings, or null when the settings file is not a regular
// file or is too large (then it is neither read nor written, and nothing
// blocks on it).
std::unique_ptr<QSettings> GuardedSettings();

}  // namespace vocalith::app::qt
