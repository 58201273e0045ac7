#pragma once
// MainWindow: the Vocalith window in Qt Widgets. It lays out the controls of
// the dialog template, forwards every event to MainDialog and implements the
// DialogHost operations MainDialog uses. All logic lives in MainDialog.
#include <QDialog>
#include <QHash>
#include <memory>

#include "app/dialog_audio.h"
#include "app/dialog_host.h"
#include "app/main_dialog.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace vocalith::app::qt {

class WindowMessageSink;

class MainWindow : public QDialog, public DialogHost {
    Q_OBJECT
  public:
    // Creates the window (starting the audio through `audio`), its controls,
    // and runs the initialisation: lists, default voice, pump timer.
    // `messages`, if given, is made to show its boxes over this window before
    // the audio starts.
    explicit MainWindow(DialogAudio& audio, WindowMessageSink* messages = nullptr,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    MainDialog& Logic() { return *logic_; }
    // The control with a template id, or null.
    QWidget* Control(int id) const { return controls_.value(id, nullptr); }

    // DialogHost
    std::string GetText(int id, int maxCount) override;
    void SetText(int id, const std::string& text) override;
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
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void InvalidateView(const ViewRect& rect) override;
    unsigned SetTimer(unsigned id, int periodMs) override;
    void KillTimer(unsigned id) override;
    ViewRect WaveFrameRect() override;
    void EndDialog(int result) override;
    void ShowAbout() override;

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
    void Destroy();
    QComboBox* Combo(int id) const;

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
    bool phonListDoubleClick_ = false;  // the next release ends a double-click on the PHON list
};

}  // namespace vocalith::app::qt
