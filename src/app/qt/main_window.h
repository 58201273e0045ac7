#pragma once
// MainWindow: the Vocalith window in Qt Widgets. It lays out the controls of
// the dialog template, forwards every event to MainDialog and implements the
// DialogHost operations MainDialog uses. All logic lives in MainDialog.
#include <QDialog>
#include <QHash>
#include <memory>

#include "app/dialog_audio.h"
#include "app/dialog_host.h"
#include "app/dialog_template.h"
#include "app/main_dialog.h"

class QAction;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStyle;
class QTimer;
class QTreeWidget;

namespace vocalith::app::qt {

class WindowMessageSink;

class MainWindow : public QDialog, public DialogHost {
    Q_OBJECT
  public:
    // Creates the window (starting the audio through `audio`) on `session`,
    // its controls, and runs the initialisation: lists, default voice, pump
    // timer. The session and the audio must outlive the window.
    // `messages`, if given, is made to show its boxes over this window before
    // the audio starts. `dialogFont` replaces the dialog font (tests use it
    // to try the window in another face).
    MainWindow(session::Session& session, DialogAudio& audio, WindowMessageSink* messages = nullptr,
               QWidget* parent = nullptr, const QFont* dialogFont = nullptr);
    ~MainWindow() override;

    MainDialog& Logic() { return *logic_; }
    // The control with a template id, or null.
    QWidget* Control(int id) const { return controls_.value(id, nullptr); }
    // Pixels per dialog unit, from the dialog font.
    const DialogUnits& Units() const { return units_; }

    // DialogHost
    std::string GetText(int id, int maxCount) override;
    void SetText(int id, const std::string& text) override;
    void SetToolTip(int id, const std::string& text) override;
    bool FitsStatusLine(const std::string& text) override;
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    void ComboReset(int id) override;
    int ComboAddString(int id, const std::string& text) override;
    void ComboSetItemData(int id, int index, intptr_t data) override;
    intptr_t ComboGetItemData(int id, int index) override;
    int ComboGetCurSel(int id) override;
    void ComboSetCurSel(int id, int index) override;
    void ListInsertColumn(int column, const std::string& title, int widthPixels) override;
    void ListDeleteAll() override;
    int ListInsertItem(int position, const std::string& text) override;
    void ListSetItemData(int index, intptr_t data) override;
    void ListSetSubItemText(int index, int subItem, const std::string& text) override;
    intptr_t ListGetItemData(int index) override;
    int ListSelectedItem() override;
    bool AskYesNo(const std::string& text, const std::string& title,
                  bool defaultNo = false) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    std::string ChooseOpenFile(const std::string& title, const std::string& folder,
                               const std::string& filter) override;
    std::string ChooseSaveFile(const std::string& title, const std::string& file,
                               const std::string& filter) override;
    std::string ChooseFolder(const std::string& title, const std::string& folder) override;
    void InvalidateView(const ViewRect& rect) override;
    unsigned SetTimer(unsigned id, int periodMs) override;
    void KillTimer(unsigned id) override;
    ViewRect WaveFrameRect() override;
    void EndDialog(int result) override;
    void ShowAbout() override;
    // "Audio Devices...": the device dialog; OK opens the chosen devices.
    void ShowDevices();
    void RecordVoice();

  public Q_SLOTS:
    // The OK command: TTS (Enter, the TTS button). It never closes the window.
    void accept() override;
    // The cancel command (Escape): ends the window.
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    // Shows the status text whole: on its one line where it fits, else
    // wrapped on two, the field growing into the free space above it.
    void FitStatusText();
    void Destroy();
    QComboBox* Combo(int id) const;
    // Adds the WAV commands to the context menu; RunWavAction runs the one
    // chosen there, if any.
    void AddWavActions(QMenu& menu);
    void RunWavAction(QAction* chosen);
    // Runs a file dialog set up by the caller; the chosen path, or "".
    std::string RunFileDialog(QFileDialog& dialog);

    DialogAudio& audio_;
    session::Session& session_;  // the recorder records through its work buffer
    std::unique_ptr<MainDialog> logic_;
    QHash<int, QWidget*> controls_;
    QLineEdit* english_ = nullptr;
    QPlainTextEdit* phonetic_ = nullptr;
    QPushButton* tts_ = nullptr;
    QTreeWidget* phonList_ = nullptr;
    QComboBox* effects_ = nullptr;  // the Special Effects list
    QWidget* waveFrame_ = nullptr;
    QTimer* pumpTimer_ = nullptr;
    unsigned pumpTimerId_ = 0;
    bool destroyed_ = false;            // OnDestroy has run
    DialogUnits units_;                 // pixels per dialog unit
    QRect statusLine_;                  // the status field's one-line place
    QStyle* checkBoxStyle_ = nullptr;   // owned by the window
    bool phonListDoubleClick_ = false;  // the next release ends a double-click on the PHON list
    // The WAV commands of the open context menu, by action.
    QHash<QAction*, void (MainDialog::*)()> wavCommands_;
};

}  // namespace vocalith::app::qt
