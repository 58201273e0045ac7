#pragma once
// The application icon: 32 x 32 and 16 x 16 images drawn in code (a small
// green waveform on a dark tile), so no image file has to ship.
#include <QIcon>
#include <QPixmap>

namespace vocalith::app::qt {

QPixmap AppIconPixmap(int size);
QIcon AppIcon();

}  // namespace vocalith::app::qt
