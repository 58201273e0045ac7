#pragma once
// The About box: "About Vocalith", the icon, the version, the credits, what
// the program does and how to start, and an OK button.
#include <QDialog>

namespace vocalith::app::qt {

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace vocalith::app::qt
