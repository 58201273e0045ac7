#pragma once
// The application icon: 32 x 32 and 16 x 16 images drawn in code (a small
// green waveform on a dark tile). The installed icon files are rendered
// from the same drawing at build time (tools/icongen).
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace vocalith::app::qt {

// The icon drawn at size x size pixels; needs no application object.
QImage AppIconImage(int size);
QPixmap AppIconPixmap(int size);
QIcon AppIcon();

}  // namespace vocalith::app::qt
