#include "app/qt/main_window.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>

#include "app/qt/about_box.h"
#include "app/qt/app_icon.h"
#include "app/qt/devices_dialog.h"
#include "app/qt/painter_canvas.h"
#include "app/qt/template_geometry.h"
#include "app/qt/voice_recorder_dialog.h"
#include "app/qt/window_message_sink.h"

namespace vocalith::app::qt {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Item order of the sorted list and combo: letters compare without regard to
// case, and of two names differing only in case the lower-case one comes first.
bool SortsBefore(const QString& a, const QString& b) {
    int c = a.compare(b, Qt::CaseInsensitive);
    if (c != 0) return c < 0;
    return a.compare(b, Qt::CaseSensitive) > 0;
}

const char* IdName(int id) {
    switch (id) {
        case IDOK:
            return "IDOK";
        case IDCANCEL:
            return "IDCANCEL";
        case IDC_ENGLISH:
            return "IDC_ENGLISH";
        case IDC_PHONETIC:
            return "IDC_PHONETIC";
        case IDC_SPEAK:
            return "IDC_SPEAK";
        case IDC_TO_PHON:
            return "IDC_TO_PHON";
        case IDC_TO_WORK:
            return "IDC_TO_WORK";
        case IDC_PHON_LIST:
            return "IDC_PHON_LIST";
        case IDC_TRIM:
            return "IDC_TRIM";
        case IDC_WAVE_FRAME:
            return "IDC_WAVE_FRAME";
        case IDC_PLAY:
            return "IDC_PLAY";
        case IDC_REC:
            return "IDC_REC";
        case IDC_LOAD:
            return "IDC_LOAD";
        case IDC_SAVE:
            return "IDC_SAVE";
        case IDC_MONITOR:
            return "IDC_MONITOR";
        case IDC_STATUS:
            return "IDC_STATUS";
        case IDC_WARNINGS:
            return "IDC_WARNINGS";
        case IDC_SELECTION:
            return "IDC_SELECTION";
        case IDC_EFFECTS:
            return "IDC_EFFECTS";
        case IDC_VOICE:
            return "IDC_VOICE";
        default:
            return "";
    }
}

// The phonetic edit. At a fractional scale its text area, rounded to whole
// device pixels, can cover the bottom line of its frame; a pixel kept free
// below it leaves the frame whole.
class PhoneticEdit : public QPlainTextEdit {
  public:
    explicit PhoneticEdit(QWidget* parent) : QPlainTextEdit(parent) {
        const qreal ratio = devicePixelRatioF();
        if (ratio != std::floor(ratio)) setViewportMargins(0, 0, 0, 1);
    }
};

}  // namespace

MainWindow::MainWindow(session::Session& session, DialogAudio& audio, WindowMessageSink* messages,
                       QWidget* parent, const QFont* dialogFont)
    : QDialog(parent), audio_(audio), session_(session) {
    setWindowTitle(QStringLiteral("Vocalith"));
    setObjectName(QStringLiteral("IDD_MAIN"));
    setWindowIcon(AppIcon());
    // Caption and close box, no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The dialog font as intended, or smaller where the window would not
    // fit the screen it opens on.
    const FittedFont fitted = FitDialogToScreen(
        dialogFont ? *dialogFont : DialogFont(font()), *style(), kMainTemplate, MAIN_WIDTH_UNITS,
        MAIN_HEIGHT_UNITS, screen()->availableGeometry(), IDCANCEL);
    setFont(fitted.font);
    units_ = fitted.units;
    setFixedSize(units_.X(MAIN_WIDTH_UNITS), units_.Y(MAIN_HEIGHT_UNITS));

    pumpTimer_ = new QTimer(this);
    pumpTimer_->setTimerType(Qt::PreciseTimer);
    connect(pumpTimer_, &QTimer::timeout, this, [this] {
        if (logic_) logic_->OnTimer(pumpTimerId_);
    });

    if (messages) messages->SetOwner(this);
    logic_ = std::make_unique<MainDialog>(*this, audio, session);
    logic_->OnCreate();
    BuildControls();
    logic_->OnInitDialog();
    english_->setFocus();
}

MainWindow::~MainWindow() {
    Destroy();
    pumpTimer_->stop();
    // The logic goes before the controls it talks to; its destruction shuts
    // the audio down once more.
    logic_.reset();
}

void MainWindow::Destroy() {
    if (destroyed_ || !logic_) return;
    destroyed_ = true;
    logic_->OnDestroy();
}

void MainWindow::BuildControls() {
    int labelNumber = 0;
    for (const TemplateControl& c : kMainTemplate) {
        const QRect r = TemplateRect(c, units_);
        const QString text = QString::fromUtf8(c.text);
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlKind::Edit: {
                english_ = new QLineEdit(this);
                w = english_;
                break;
            }
            case ControlKind::MultiLineEdit: {
                phonetic_ = new PhoneticEdit(this);
                phonetic_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                phonetic_->setTabChangesFocus(true);
                phonetic_->installEventFilter(this);
                w = phonetic_;
                break;
            }
            case ControlKind::DefaultButton:
            case ControlKind::PushButton: {
                auto* b = new QPushButton(text, this);
                b->setAutoDefault(true);
                w = b;
                switch (c.id) {
                    case IDOK:
                        tts_ = b;
                        b->setDefault(true);
                        connect(b, &QPushButton::clicked, this, &MainWindow::accept);
                        break;
                    case IDCANCEL:
                        b->setEnabled(false);
                        b->setVisible(false);
                        connect(b, &QPushButton::clicked, this, &MainWindow::reject);
                        break;
                    case IDC_SPEAK:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnSpeak(); });
                        break;
                    case IDC_PLAY:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnPlay(); });
                        break;
                    case IDC_REC:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnRec(); });
                        break;
                    case IDC_TRIM:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnTrim(); });
                        break;
                    case IDC_LOAD:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnLoad(); });
                        break;
                    case IDC_SAVE:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnSave(); });
                        break;
                    case IDC_TO_PHON:
                        connect(b, &QPushButton::clicked, this,
                                [this] { logic_->OnSelectionToPhon(); });
                        break;
                    case IDC_TO_WORK:
                        connect(b, &QPushButton::clicked, this, [this] { logic_->OnPhonToWork(); });
                        break;
                    default:
                        break;
                }
                break;
            }
            case ControlKind::CheckBox: {
                auto* box = new QCheckBox(text, this);
                if (!checkBoxStyle_) checkBoxStyle_ = NewCheckBoxStyle(this);
                box->setStyle(checkBoxStyle_);
                // Paints its own background, so the waveform's trace, which
                // may run past the view, never shows through it.
                box->setAutoFillBackground(true);
                w = box;
                // The box is ticked or cleared before the command runs.
                if (c.id == IDC_MONITOR) {
                    connect(box, &QCheckBox::clicked, this, [this] { logic_->OnMonitor(); });
                } else {
                    connect(box, &QCheckBox::clicked, this, [this] { logic_->OnWarnings(); });
                }
                break;
            }
            case ControlKind::BlackFrame: {
                // Draws nothing itself: the window paints the waveform over its
                // rectangle, and its clicks reach the window.
                waveFrame_ = new QWidget(this);
                waveFrame_->setAttribute(Qt::WA_TransparentForMouseEvents);
                waveFrame_->setFocusPolicy(Qt::NoFocus);
                w = waveFrame_;
                break;
            }
            case ControlKind::ListView: {
                phonList_ = new QTreeWidget(this);
                phonList_->setRootIsDecorated(false);
                phonList_->setItemsExpandable(false);
                phonList_->setUniformRowHeights(true);
                phonList_->setSelectionMode(QAbstractItemView::SingleSelection);
                phonList_->setSelectionBehavior(QAbstractItemView::SelectRows);
                phonList_->setSortingEnabled(false);  // kept sorted on insertion
                phonList_->setColumnCount(0);
                phonList_->header()->setSectionsClickable(false);
                phonList_->header()->setSectionsMovable(false);
                phonList_->header()->setStretchLastSection(false);
                phonList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
                phonList_->viewport()->installEventFilter(this);
                w = phonList_;
                break;
            }
            case ControlKind::Label:
            case ControlKind::Icon: {
                auto* label = new QLabel(text, this);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                // Opaque like the check boxes: the trace never strikes through text.
                label->setAutoFillBackground(true);
                w = label;
                break;
            }
            case ControlKind::DropDownList:
            case ControlKind::DropDownCombo: {
                auto* combo = new QComboBox(this);
                if (c.kind == ControlKind::DropDownCombo) {
                    combo->setEditable(true);
                    // Items are added only by the program, at their sorted place.
                    combo->setInsertPolicy(QComboBox::NoInsert);
                    combo->setCompleter(nullptr);
                } else {
                    // Only a choice by the user runs the command; the program's
                    // own re-selection does not.
                    connect(combo, &QComboBox::activated, this,
                            [this] { logic_->OnEffectChosen(); });
                    // The wheel and the arrow keys over the closed list would
                    // choose (and run) an effect in passing; only a choice
                    // from the open list, or Enter there, runs one.
                    combo->installEventFilter(this);
                    effects_ = combo;
                }
                int openRows = (units_.Y(c.height) - ClosedComboHeight(units_)) / 16;
                combo->setMaxVisibleItems(openRows > 1 ? openRows : 1);
                w = combo;
                break;
            }
        }
        if (c.id > 0) {
            w->setObjectName(QString::fromLatin1(IdName(c.id)));
            controls_.insert(c.id, w);
        } else {
            w->setObjectName(QStringLiteral("static%1").arg(++labelNumber));
        }
        QRect g = r;
        if (c.kind == ControlKind::DropDownList || c.kind == ControlKind::DropDownCombo) {
            g.setHeight(ClosedComboHeight(units_));
        }
        w->setGeometry(g);
        if (c.id == IDC_STATUS) statusLine_ = g;
    }
}

QComboBox* MainWindow::Combo(int id) const {
    return qobject_cast<QComboBox*>(Control(id));
}

// ---- DialogHost ----

std::string MainWindow::GetText(int id, int maxCount) {
    QString text;
    QWidget* w = Control(id);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        text = line->text();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        text = plain->toPlainText();
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        text = combo->currentText();
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        text = button->text();
    }
    if (maxCount <= 0) return {};
    text.truncate(maxCount - 1);
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > maxCount - 1) bytes.truncate(maxCount - 1);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void MainWindow::SetText(int id, const std::string& text) {
    QString s = FromStd(text);
    QWidget* w = Control(id);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(s);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(s);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->setEditText(s);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(s);
        if (id == IDC_STATUS) FitStatusText();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(s);
    }
}

bool MainWindow::FitsStatusLine(const std::string& text) {
    QWidget* status = Control(IDC_STATUS);
    return status != nullptr && TextRoom(ControlKind::Label, FromStd(text), status->font(),
                                         *status->style()) <= statusLine_.width();
}

void MainWindow::FitStatusText() {
    auto* status = qobject_cast<QLabel*>(Control(IDC_STATUS));
    if (status == nullptr) return;
    const QByteArray text = status->text().toUtf8();
    const bool oneLine =
        FitsStatusLine(std::string(text.constData(), static_cast<size_t>(text.size())));
    status->setWordWrap(!oneLine);
    if (oneLine) {
        status->setGeometry(statusLine_);
        return;
    }
    const int bottom = statusLine_.top() + statusLine_.height();
    const int needed = QFontMetrics(status->font())
                           .boundingRect(QRect(0, 0, statusLine_.width(), 1 << 20),
                                         Qt::TextWordWrap, status->text())
                           .height();
    const int top =
        std::min(statusLine_.top(), std::max(phonetic_->geometry().bottom() + 1, bottom - needed));
    status->setGeometry(statusLine_.left(), top, statusLine_.width(), bottom - top);
}

void MainWindow::SetToolTip(int id, const std::string& text) {
    if (QWidget* w = Control(id)) w->setToolTip(QString::fromUtf8(text));
}

bool MainWindow::IsChecked(int id) {
    auto* box = qobject_cast<QAbstractButton*>(Control(id));
    return box && box->isChecked();
}

void MainWindow::SetChecked(int id, bool checked) {
    if (auto* box = qobject_cast<QAbstractButton*>(Control(id))) box->setChecked(checked);
}

void MainWindow::ComboReset(int id) {
    QComboBox* combo = Combo(id);
    if (!combo) return;
    QSignalBlocker block(combo);
    combo->clear();
    if (combo->isEditable()) combo->clearEditText();
}

int MainWindow::ComboAddString(int id, const std::string& text) {
    QComboBox* combo = Combo(id);
    if (!combo) return -1;
    QString s = FromStd(text);
    QSignalBlocker block(combo);
    // The edit part keeps its text while the list changes under it.
    QString edit = combo->isEditable() ? combo->currentText() : QString();
    int index = combo->count();
    if (combo->isEditable()) {
        index = 0;
        while (index < combo->count() && !SortsBefore(s, combo->itemText(index))) ++index;
    }
    combo->insertItem(index, s);
    if (combo->isEditable()) {
        combo->setCurrentIndex(-1);
        combo->setEditText(edit);
    }
    return index;
}

void MainWindow::ComboSetItemData(int id, int index, intptr_t value) {
    if (QComboBox* combo = Combo(id); combo && index >= 0 && index < combo->count()) {
        combo->setItemData(index, QVariant::fromValue<qlonglong>(value));
    }
}

intptr_t MainWindow::ComboGetItemData(int id, int index) {
    QComboBox* combo = Combo(id);
    if (!combo || index < 0 || index >= combo->count()) return -1;
    return static_cast<intptr_t>(combo->itemData(index).toLongLong());
}

int MainWindow::ComboGetCurSel(int id) {
    QComboBox* combo = Combo(id);
    return combo ? combo->currentIndex() : -1;
}

void MainWindow::ComboSetCurSel(int id, int index) {
    QComboBox* combo = Combo(id);
    if (!combo) return;
    QSignalBlocker block(combo);
    combo->setCurrentIndex(index);
}

void MainWindow::ListInsertColumn(int column, const std::string& title, int widthPixels) {
    if (column < 0) return;
    if (phonList_->columnCount() <= column) phonList_->setColumnCount(column + 1);
    phonList_->headerItem()->setText(column, FromStd(title));
    phonList_->headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
    // The widths are the intended font's; other fonts scale them.
    phonList_->setColumnWidth(column, static_cast<int>(std::lround(widthPixels * units_.charWidth /
                                                                   DialogUnits{}.charWidth)));
}

void MainWindow::ListDeleteAll() {
    phonList_->clear();
}

int MainWindow::ListInsertItem(int /*position*/, const std::string& text) {
    // The list keeps itself sorted by the first column: the position asked
    // for gives way to the item's sorted place.
    QString s = FromStd(text);
    int index = 0;
    const int count = phonList_->topLevelItemCount();
    while (index < count && !SortsBefore(s, phonList_->topLevelItem(index)->text(0))) ++index;
    auto* item = new QTreeWidgetItem();
    item->setText(0, s);
    phonList_->insertTopLevelItem(index, item);
    return index;
}

void MainWindow::ListSetItemData(int index, intptr_t value) {
    if (QTreeWidgetItem* item = phonList_->topLevelItem(index)) {
        item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(value));
    }
}

void MainWindow::ListSetSubItemText(int index, int subItem, const std::string& text) {
    if (QTreeWidgetItem* item = phonList_->topLevelItem(index))
        item->setText(subItem, FromStd(text));
}

intptr_t MainWindow::ListGetItemData(int index) {
    QTreeWidgetItem* item = phonList_->topLevelItem(index);
    return item ? static_cast<intptr_t>(item->data(0, Qt::UserRole).toLongLong()) : 0;
}

int MainWindow::ListSelectedItem() {
    const QList<QTreeWidgetItem*> selected = phonList_->selectedItems();
    if (selected.isEmpty()) return -1;
    return phonList_->indexOfTopLevelItem(selected.first());
}

bool MainWindow::AskYesNo(const std::string& text, const std::string& title, bool defaultNo) {
    QMessageBox box(QMessageBox::NoIcon, FromStd(title), FromStd(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    box.setObjectName(QStringLiteral("question"));
    // Questions quote voice names as typed, markup included.
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::ShowMessage(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, FromStd(title), FromStd(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("message"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::string MainWindow::RunFileDialog(QFileDialog& dialog) {
    dialog.setObjectName(QStringLiteral("fileDialog"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QByteArray path = dialog.selectedFiles().first().toUtf8();
    return std::string(path.constData(), static_cast<size_t>(path.size()));
}

std::string MainWindow::ChooseOpenFile(const std::string& title, const std::string& folder,
                                       const std::string& filter) {
    QFileDialog dialog(this, FromStd(title), FromStd(folder), FromStd(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return RunFileDialog(dialog);
}

std::string MainWindow::ChooseSaveFile(const std::string& title, const std::string& file,
                                       const std::string& filter) {
    QFileDialog dialog(this, FromStd(title), FromStd(file), FromStd(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    return RunFileDialog(dialog);
}

std::string MainWindow::ChooseFolder(const std::string& title, const std::string& folder) {
    QFileDialog dialog(this, FromStd(title), FromStd(folder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    return RunFileDialog(dialog);
}

void MainWindow::AddWavActions(QMenu& menu) {
    const auto add = [&](const char* text, void (MainDialog::*command)()) {
        QAction* action = menu.addAction(QString::fromUtf8(text));
        wavCommands_.insert(action, command);
    };
    wavCommands_.clear();
    add(kImportWavItemText, &MainDialog::OnImportWav);
    add(kExportSelectionItemText, &MainDialog::OnExportSelectionWav);
    add(kExportVoiceItemText, &MainDialog::OnExportVoiceWav);
    menu.addSeparator();
}

void MainWindow::RunWavAction(QAction* chosen) {
    // Run once the menu has closed, so a file dialog opens over the window.
    const auto command = wavCommands_.value(chosen, nullptr);
    wavCommands_.clear();
    if (command) (logic_.get()->*command)();
}

void MainWindow::InvalidateView(const ViewRect& rect) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    update(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top));
}

unsigned MainWindow::SetTimer(unsigned id, int periodMs) {
    pumpTimerId_ = id;
    pumpTimer_->start(periodMs);
    return id;
}

void MainWindow::KillTimer(unsigned id) {
    if (id == pumpTimerId_) pumpTimer_->stop();
}

ViewRect MainWindow::WaveFrameRect() {
    if (!waveFrame_) return {};
    QRect g = waveFrame_->geometry();
    return ViewRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void MainWindow::EndDialog(int result) {
    Destroy();
    QDialog::done(result);
}

void MainWindow::ShowAbout() {
    AboutBox about(this);
    about.exec();
}

void MainWindow::ShowDevices() {
    if (destroyed_) return;
    ShowDevicesDialog(audio_, this);
    // What the choice came to shows at once, not on the next idle tick.
    if (logic_) logic_->OnTimer(pumpTimerId_);
}

void MainWindow::RecordVoice() {
    if (destroyed_) return;
    VoiceRecorderDialog recorder(audio_, session_, this);
    logic_->SetRecorderOpen(true);
    recorder.exec();
    logic_->SetRecorderOpen(false);
    if (recorder.SavedName().empty()) return;
    // The voice just made becomes the one in the voice box, loaded.
    logic_->OnRecordedVoice(recorder.SavedName());
}

// ---- events ----

void MainWindow::accept() {
    logic_->OnTts();
}

void MainWindow::reject() {
    if (destroyed_) {
        QDialog::done(IDCANCEL);
        return;
    }
    logic_->OnCancel();
}

void MainWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    PainterCanvas canvas(painter);
    logic_->OnPaint(canvas);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        logic_->OnLButtonDown(p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        logic_->OnRButtonDown(p.x(), p.y());
    }
    QDialog::mousePressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // A right click in the waveform sets the selection's end; only elsewhere
    // (or from the keyboard) does it open the menu.
    if (event->reason() == QContextMenuEvent::Mouse &&
        logic_->View().Contains(event->pos().x(), event->pos().y())) {
        event->accept();
        return;
    }
    QMenu menu(this);
    AddWavActions(menu);
    QAction* record = menu.addAction(QString::fromUtf8(kRecordVoiceItemText));
    QAction* devices = menu.addAction(QString::fromUtf8(kDevicesItemText));
    QAction* about = menu.addAction(QString::fromUtf8(kAboutItemText));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == record) RecordVoice();
    if (chosen == devices) ShowDevices();
    if (chosen == about) logic_->OnSysCommand(IDM_ABOUT);
    RunWavAction(chosen);
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        logic_->OnSysCommand(IDM_ABOUT);
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box ends the window with OK, never running TTS; it asks
    // only when changed PHON clips would be lost, and No keeps it open.
    if (!destroyed_) logic_->OnClose();
    if (destroyed_) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == effects_ && event->type() == QEvent::Wheel) return true;
    if (watched == effects_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                effects_->showPopup();  // the keys move within the open list instead
                return true;
            default:
                break;
        }
    }
    if (watched == phonetic_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // Enter runs the default command here too; Ctrl+Enter breaks the line.
            if (key->modifiers() & Qt::ControlModifier) {
                phonetic_->insertPlainText(QStringLiteral("\n"));
            } else {
                accept();
            }
            return true;
        }
    }
    if (phonList_ && watched == phonList_->viewport() &&
        event->type() == QEvent::MouseButtonDblClick) {
        // The second click of a double-click is not a click of its own: the
        // release that ends it plays nothing.
        phonListDoubleClick_ = true;
    }
    if (phonList_ && watched == phonList_->viewport() &&
        event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool endsDoubleClick = std::exchange(phonListDoubleClick_, false);
        if (mouse->button() == Qt::LeftButton && !endsDoubleClick) {
            // A click on empty space leaves nothing selected, so nothing plays.
            if (!phonList_->itemAt(mouse->position().toPoint())) phonList_->clearSelection();
            logic_->OnPhonListClick();
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vocalith::app::qt
