#include "app/qt/devices_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "app/qt/app_identity.h"
#include "app/status_text.h"
#include "base/file_io.h"

namespace vocalith::app::qt {

namespace {

constexpr char kInputKey[] = "devices/input";
constexpr int MAX_VISIBLE_ROWS = 10;
constexpr char kOutputKey[] = "devices/output";
constexpr char kGainKey[] = "devices/inputGain";
// A few lines are all the window writes; more is not its file.
constexpr uint64_t kSettingsMaxBytes = 256 * 1024;

// The settings files are read like any other outside file before the
// toolkit reads them (QSettings opens them blocking and reads them whole):
// only regular files, opened without blocking, of a sane size. Empty when
// every one is usable or absent, else why the settings are ignored, and
// `file` is the file at fault.
std::string SettingsProblem(std::filesystem::path& file) {
    const QString name = QStringLiteral("/%1/%2.conf")
                             .arg(QString::fromLatin1(kSettingsOrganization),
                                  QString::fromLatin1(kSettingsApplication));
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        const std::filesystem::path path = (folder + name).toStdString();
        file = path;
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) continue;
        base::UniqueFd fd;
        uint64_t size = 0;
        if (const base::Result opened = base::OpenRegularFile(path, fd, size); !opened) {
            return opened.reason;
        }
        if (size > kSettingsMaxBytes) {
            return path.string() + " is " + std::to_string(size) +
                   " bytes, more than the limit of " + std::to_string(kSettingsMaxBytes);
        }
    }
    return {};
}

// Null when the settings cannot be used; `notice` (if given) then says why.
std::unique_ptr<QSettings> Settings(StatusNote* notice = nullptr) {
    std::filesystem::path file;
    if (const std::string problem = SettingsProblem(file); !problem.empty()) {
        if (notice) {
            *notice =
                StatusNote("Settings ignored: " + problem + ".",
                           "Settings file ignored: " + ShortReason(problem, file) + ".", problem);
        }
        return nullptr;
    }
    return std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganization),
                                       QString::fromLatin1(kSettingsApplication));
}

// "Default (pulse)" first, holding an empty name, then every device; the
// row named `chosen` selected ("Default" when it is not there).
void Fill(QListWidget* list, const std::vector<AudioDeviceEntry>& devices,
          const std::string& chosen) {
    QString defaultText = QStringLiteral("Default");
    for (const AudioDeviceEntry& d : devices) {
        // A device called "default" needs no second mention.
        if (d.isDefault && d.name != "default") {
            defaultText += QStringLiteral(" (%1)").arg(QString::fromStdString(d.name));
        }
    }
    auto* first = new QListWidgetItem(defaultText, list);
    first->setData(Qt::UserRole, QString());
    list->setCurrentItem(first);
    for (const AudioDeviceEntry& d : devices) {
        auto* item = new QListWidgetItem(QString::fromStdString(d.label), list);
        item->setData(Qt::UserRole, QString::fromStdString(d.name));
        if (!chosen.empty() && d.name == chosen) list->setCurrentItem(item);
    }
}

std::string Chosen(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

}  // namespace

DevicesDialog::DevicesDialog(DialogAudio& audio, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("devices"));
    setWindowTitle(QStringLiteral("Audio Devices"));
    auto* layout = new QVBoxLayout(this);
    inputs_ = new QListWidget(this);
    inputs_->setObjectName(QStringLiteral("inputDevices"));
    outputs_ = new QListWidget(this);
    outputs_->setObjectName(QStringLiteral("outputDevices"));
    for (auto [text, list] :
         {std::pair{"&Microphone (input):", inputs_}, std::pair{"&Speakers (output):", outputs_}}) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(list);
        layout->addWidget(label);
        layout->addWidget(list);
    }
    gain_ = new QComboBox(this);
    gain_->setObjectName(QStringLiteral("inputGain"));
    for (const int factor : INPUT_GAIN_CHOICES) {
        gain_->addItem(QStringLiteral("x%1").arg(factor), factor);
        if (factor == audio.InputGainFactor()) gain_->setCurrentIndex(gain_->count() - 1);
    }
    auto* gainLabel = new QLabel(QStringLiteral("Input &gain (lower it if takes clip):"), this);
    gainLabel->setBuddy(gain_);
    layout->insertWidget(2, gainLabel);
    layout->insertWidget(3, gain_);
    Fill(inputs_, audio.AudioDevices(true), audio.ChosenDevice(true));
    Fill(outputs_, audio.AudioDevices(false), audio.ChosenDevice(false));
    // Each list as tall as its rows, up to a screenful of devices.
    for (QListWidget* list : {inputs_, outputs_}) {
        const int rows = std::clamp(list->count(), 3, MAX_VISIBLE_ROWS);
        list->setFixedHeight(rows * list->sizeHintForRow(0) + 2 * list->frameWidth() + 4);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // A double-click on a device takes it, as OK does.
    connect(inputs_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(outputs_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
}

std::string DevicesDialog::ChosenInput() const {
    return Chosen(inputs_);
}

std::string DevicesDialog::ChosenOutput() const {
    return Chosen(outputs_);
}

int DevicesDialog::ChosenGain() const {
    return gain_->currentData().toInt();
}

void ShowDevicesDialog(DialogAudio& audio, QWidget* parent) {
    DevicesDialog dialog(audio, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    const RememberedDevices chosen{dialog.ChosenInput(), dialog.ChosenOutput(),
                                   dialog.ChosenGain()};
    audio.SetInputGainFactor(chosen.inputGain);
    audio.ChooseDevices(chosen.input, chosen.output);
    SaveRememberedDevices(chosen);
}

RememberedDevices LoadRememberedDevices(StatusNote* notice) {
    const auto settings = Settings(notice);
    if (!settings) return {};
    RememberedDevices devices{
        settings->value(QString::fromLatin1(kInputKey)).toString().toStdString(),
        settings->value(QString::fromLatin1(kOutputKey)).toString().toStdString()};
    const int gain = settings->value(QString::fromLatin1(kGainKey), devices.inputGain).toInt();
    for (const int choice : INPUT_GAIN_CHOICES)
        if (gain == choice) devices.inputGain = gain;
    return devices;
}

void SaveRememberedDevices(const RememberedDevices& devices) {
    const auto settings = Settings();
    if (!settings) return;  // what is there is left alone
    settings->setValue(QString::fromLatin1(kInputKey), QString::fromStdString(devices.input));
    settings->setValue(QString::fromLatin1(kOutputKey), QString::fromStdString(devices.output));
    settings->setValue(QString::fromLatin1(kGainKey), devices.inputGain);
}

std::unique_ptr<QSettings> GuardedSettings() {
    return Settings();
}

}  // namespace vocalith::app::qt
