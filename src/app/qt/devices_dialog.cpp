#include "app/qt/devices_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/qt/app_identity.h"

namespace vocalith::app::qt {

namespace {

constexpr char kInputKey[] = "devices/input";
constexpr int MAX_VISIBLE_ROWS = 10;
constexpr char kOutputKey[] = "devices/output";
constexpr char kGainKey[] = "devices/inputGain";

std::unique_ptr<QSettings> Settings() {
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

RememberedDevices LoadRememberedDevices() {
    const auto settings = Settings();
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
    settings->setValue(QString::fromLatin1(kInputKey), QString::fromStdString(devices.input));
    settings->setValue(QString::fromLatin1(kOutputKey), QString::fromStdString(devices.output));
    settings->setValue(QString::fromLatin1(kGainKey), devices.inputGain);
}

}  // namespace vocalith::app::qt
