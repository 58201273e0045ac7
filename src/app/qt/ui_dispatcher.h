#pragma once
// QtUiDispatcher: runs posted functions on the Qt main thread, in order, as
// queued calls into its event loop. Post() may be called from any thread.
#include <QObject>
#include <functional>

#include "device/audio_device.h"

namespace vocalith::app::qt {

class QtUiDispatcher : public device::UiDispatcher {
  public:
    // `context` lives on the UI thread; posted functions die with it.
    explicit QtUiDispatcher(QObject* context) : context_(context) {}
    void Post(std::function<void()> fn) override {
        QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
    }

  private:
    QObject* context_;
};

}  // namespace vocalith::app::qt
