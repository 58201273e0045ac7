#include "app/qt/voice_recorder_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "app/qt/devices_dialog.h"
#include "app/recorder_audio.h"

namespace vocalith::app::qt {

namespace {

constexpr char kPlaceKey[] = "recorder/place";
constexpr int TICK_MS = 20;

// The place in the window's settings, which a settings file that is no
// regular file or is too large leaves unread and unwritten; the gain with
// the devices.
class SettingsMemory final : public RecorderMemory {
  public:
    explicit SettingsMemory(DialogAudio& audio) : audio_(audio) {}
    std::string Recall() override {
        const auto settings = GuardedSettings();
        if (!settings) return {};
        return settings->value(QString::fromLatin1(kPlaceKey)).toString().toStdString();
    }
    void Remember(const std::string& place) override {
        if (const auto settings = GuardedSettings()) {
            settings->setValue(QString::fromLatin1(kPlaceKey), QString::fromStdString(place));
        }
    }
    void RememberGain(int factor) override {
        SaveRememberedDevices({audio_.ChosenDevice(true), audio_.ChosenDevice(false), factor});
    }

  private:
    DialogAudio& audio_;
};

}  // namespace

// The take as a waveform with the cut shaded; clicks move the cut.
class TakeView : public QWidget {
  public:
    explicit TakeView(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("take"));
        setMinimumSize(480, 120);
    }
    std::function<void(bool, size_t)> moveCut;
    void Show(const RecorderView& view) {
        view_ = view;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        const std::vector<int16_t>* take = view_.take;
        if (take == nullptr || take->empty()) return;
        const double perPixel = double(take->size()) / width();
        p.fillRect(QRectF(view_.cutStart / perPixel, 0,
                          double(view_.cutEnd - view_.cutStart) / perPixel, height()),
                   QColor(40, 70, 140));
        p.setPen(QColor(80, 230, 80));
        const int mid = height() / 2;
        for (int x = 0; x < width(); ++x) {
            const auto a = size_t(x * perPixel);
            const size_t b = std::min(take->size(), size_t((x + 1) * perPixel) + 1);
            int lo = 0, hi = 0;
            for (size_t i = a; i < b; ++i) {
                lo = std::min(lo, int((*take)[i]));
                hi = std::max(hi, int((*take)[i]));
            }
            p.drawLine(x, mid - hi * mid / 32768, x, mid - lo * mid / 32768);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (view_.take == nullptr || !moveCut) return;
        const double at = event->position().x() * double(view_.take->size()) / width();
        moveCut(event->button() == Qt::LeftButton, size_t(std::max(0.0, at)));
    }

  private:
    RecorderView view_;
};

VoiceRecorderDialog::VoiceRecorderDialog(DialogAudio& audio, session::Session& session,
                                         QWidget* parent)
    : QDialog(parent),
      recorderAudio_(std::make_unique<WorkBufferRecorderAudio>(audio, session)),
      memory_(std::make_unique<SettingsMemory>(audio)) {
    setObjectName(QStringLiteral("recorder"));
    setWindowTitle(QStringLiteral("Record a Voice"));
    logic_ = std::make_unique<VoiceRecorder>(*recorderAudio_, *memory_, session.phonTable,
                                             session.engine.programFolder);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    word_ = new QLabel(this);
    word_->setObjectName(QStringLiteral("word"));
    QFont big = word_->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    word_->setFont(big);
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("progress"));
    top->addWidget(word_, 1);
    top->addWidget(progress_);
    layout->addLayout(top);
    take_ = new TakeView(this);
    take_->moveCut = [this](bool start, size_t at) {
        logic_->OnMoveCut(start, at);
        Refresh();
    };
    layout->addWidget(take_, 1);
    auto* hint =
        new QLabel(QStringLiteral("Left click moves the cut's start, right click its end."), this);
    layout->addWidget(hint);
    const auto button = [this](const char* text, const char* name, void (VoiceRecorder::*act)()) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, act] {
            (logic_.get()->*act)();
            Refresh();
        });
        return b;
    };
    rec_ = button("&Rec", "rec", &VoiceRecorder::OnRec);
    accept_ = button("&Accept", "accept", &VoiceRecorder::OnAccept);
    redo_ = button("Re&do", "redo", &VoiceRecorder::OnRedo);
    playClip_ = button("Play &Clip", "playClip", &VoiceRecorder::OnPlayClip);
    playWord_ = button("Play &Word", "playWord", &VoiceRecorder::OnPlayWord);
    skip_ = button("&Skip", "skip", &VoiceRecorder::OnSkip);
    back_ = button("&Back", "back", &VoiceRecorder::OnBack);
    gain_ = button("", "useGain", &VoiceRecorder::OnUseProposedGain);
    // The gain button keeps its place and width when hidden, so that no
    // button moves under the pointer when it shows.
    gain_->setText(QStringLiteral("Use &gain x6"));
    gain_->setFixedWidth(gain_->sizeHint().width());
    QSizePolicy keep = gain_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    gain_->setSizePolicy(keep);
    auto* row = new QHBoxLayout;
    for (QPushButton* b : {rec_, accept_, redo_, playClip_, playWord_, back_, skip_, gain_})
        row->addWidget(b);
    layout->addLayout(row);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    // Room for three lines from the start, so that a longer message moves
    // no button and squeezes nothing.
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setMinimumHeight(4 * status_->fontMetrics().lineSpacing());
    layout->addWidget(status_);
    auto* saveRow = new QHBoxLayout;
    name_ = new QLineEdit(QString::fromStdString(logic_->View().voiceName), this);
    name_->setObjectName(QStringLiteral("voiceName"));
    name_->setPlaceholderText(QStringLiteral("voice name"));
    auto* save = new QPushButton(QStringLiteral("Sa&ve"), this);
    save->setObjectName(QStringLiteral("save"));
    save->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, &VoiceRecorderDialog::Save);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, [this] {
        if (MayClose()) QDialog::accept();
    });
    auto* nameLabel = new QLabel(QStringLiteral("&Name:"), this);
    nameLabel->setBuddy(name_);
    saveRow->addWidget(nameLabel);
    saveRow->addWidget(name_, 1);
    saveRow->addWidget(save);
    saveRow->addWidget(close);
    layout->addLayout(saveRow);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
        const bool was = logic_->View().recording;
        const bool changed = logic_->OnTick();
        if (was || changed) Refresh();
    });
    timer_->start(TICK_MS);
    Refresh();
}

VoiceRecorderDialog::~VoiceRecorderDialog() = default;

void VoiceRecorderDialog::Save() {
    const std::string name = name_->text().trimmed().toStdString();
    if (logic_->OnSave(name)) savedName_ = name;
    Refresh();
}

bool VoiceRecorderDialog::MayClose() {
    const RecorderView& v = logic_->View();
    if (!v.unsaved) return true;
    const QString question =
        QStringLiteral(
            "%1 recorded clips have no voice name yet. They are kept for the next time "
            "you record, but no voice can use them until you type a name and press "
            "Save.\n\nClose anyway?")
            .arg(v.accepted);
    return QMessageBox::question(this, QStringLiteral("Close the Recorder?"), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void VoiceRecorderDialog::reject() {
    if (MayClose()) QDialog::reject();
}

void VoiceRecorderDialog::closeEvent(QCloseEvent* event) {
    if (MayClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void VoiceRecorderDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    // The buttons are no default buttons, so that Enter cannot press one
    // the user did not mean; it goes to the step the dialog stands at.
    if (name_->hasFocus()) {
        Save();
    } else {
        (logic_->View().reviewing ? accept_ : rec_)->click();
    }
}

void VoiceRecorderDialog::Refresh() {
    const RecorderView& v = logic_->View();
    word_->setText(QStringLiteral("<b>%1</b> as in %2<u><b>%3</b></u>%4%5")
                       .arg(QString::fromStdString(v.symbol).toHtmlEscaped(),
                            QString::fromStdString(v.before), QString::fromStdString(v.sound),
                            QString::fromStdString(v.after),
                            v.done ? QStringLiteral("  (done)") : QString()));
    progress_->setText(
        QStringLiteral("%1  (%2 done)").arg(QString::fromStdString(v.progress)).arg(v.accepted));
    status_->setText(QString::fromStdString(v.status));
    rec_->setText(v.recording ? QStringLiteral("Stop &Rec") : QStringLiteral("&Rec"));
    accept_->setEnabled(v.reviewing);
    redo_->setEnabled(v.reviewing);
    playWord_->setEnabled(v.reviewing);
    skip_->setEnabled(!v.recording);
    back_->setEnabled(!v.recording);
    gain_->setVisible(v.proposedGain != 0);
    gain_->setText(QStringLiteral("Use &gain x%1").arg(v.proposedGain));
    // The step Enter takes has the focus too, so Space takes it as well.
    if (!name_->hasFocus()) (v.reviewing ? accept_ : rec_)->setFocus();
    take_->Show(v);
}

}  // namespace vocalith::app::qt
