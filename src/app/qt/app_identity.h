#pragma once
// The application's name, version and version record, set once on the
// QApplication before any window opens.
#include <QApplication>
#include <QString>

#include "app/app_startup.h"
#include "base/version.h"

namespace vocalith::app::qt {

// No display name is set: the platform would append it to the title of
// every other window ("Are You Sure? — Vocalith"), and each box must carry
// exactly its own title.
inline void ApplyApplicationIdentity(QApplication& application) {
    QApplication::setApplicationName(QStringLiteral("Vocalith"));
    QApplication::setApplicationVersion(QString::fromLatin1(base::kVersion));
    application.setProperty("fileDescription", QString::fromLatin1(kFileDescription));
    application.setProperty("productName", QString::fromLatin1(kProductName));
    application.setProperty("internalName", QString::fromLatin1(kInternalName));
}

}  // namespace vocalith::app::qt
