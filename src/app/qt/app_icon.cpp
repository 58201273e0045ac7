#include "app/qt/app_icon.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cmath>

namespace vocalith::app::qt {

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(0, 0, size, size, QColor(0, 0, 128));
    p.setPen(QColor(128, 128, 128));
    p.drawLine(1, size / 2, size - 2, size / 2);
    // A damped wave across the tile, drawn column by column.
    p.setPen(QColor(0, 255, 0));
    int prevY = size / 2;
    for (int x = 1; x < size - 1; ++x) {
        double t = static_cast<double>(x) / (size - 2);
        double amplitude = (size / 2 - 2) * (1.0 - 0.6 * t);
        int y = size / 2 - static_cast<int>(std::lround(amplitude * std::sin(t * 4 * 3.14159265)));
        p.drawLine(x - 1, prevY, x, y);
        prevY = y;
    }
    p.setPen(QColor(255, 255, 255));
    p.drawRect(0, 0, size - 1, size - 1);
    p.end();
    return image;
}

QPixmap AppIconPixmap(int size) {
    return QPixmap::fromImage(AppIconImage(size));
}

QIcon AppIcon() {
    QIcon icon;
    icon.addPixmap(AppIconPixmap(32));
    icon.addPixmap(AppIconPixmap(16));
    return icon;
}

}  // namespace vocalith::app::qt
