#pragma once
// WindowMessageSink: shows the sound window's messages (such as a failed
// speech stream) in a modal box owned by the main window.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "engine/message_sink.h"

namespace vocalith::app::qt {

class WindowMessageSink final : public engine::MessageSink {
  public:
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void ShowMessage(std::string_view text, std::string_view caption) override {
        QMessageBox box(QMessageBox::NoIcon,
                        QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                        QMessageBox::Ok, owner_);
        box.setObjectName(QStringLiteral("message"));
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }

  private:
    QPointer<QWidget> owner_;
};

}  // namespace vocalith::app::qt
