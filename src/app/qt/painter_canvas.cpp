#include "app/qt/painter_canvas.h"

#include <QColor>
#include <QPaintDevice>
#include <QPen>
#include <cstdlib>

namespace vocalith::app::qt {

namespace {
QColor ToQColor(workbuf::Colour c) {
    return QColor(c.r, c.g, c.b);
}
}  // namespace

PainterCanvas::PainterCanvas(QPainter& painter) : painter_(painter) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    QPaintDevice* device = painter_.device();
    bounds_ = device ? QRect(0, 0, device->width(), device->height()) : QRect();
}

void PainterCanvas::FillSolidRect(const workbuf::Rect& rect, workbuf::Colour colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    painter_.fillRect(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                      ToQColor(colour));
}

workbuf::Pen PainterCanvas::SelectPen(const workbuf::Pen& pen) {
    workbuf::Pen old = pen_;
    pen_ = pen;
    return old;
}

void PainterCanvas::MoveTo(int32_t x, int32_t y) {
    x_ = x;
    y_ = y;
}

void PainterCanvas::LineTo(int32_t x, int32_t y) {
    // Bresenham in 64 bits, the end point left out; the same stepping as the
    // in-memory raster canvas, so screen and tests agree pixel for pixel.
    int64_t cx = x_;
    int64_t cy = y_;
    const int64_t dx = std::llabs(static_cast<int64_t>(x) - cx);
    const int64_t dy = -std::llabs(static_cast<int64_t>(y) - cy);
    const int64_t sx = cx < x ? 1 : -1;
    const int64_t sy = cy < y ? 1 : -1;
    int64_t err = dx + dy;
    const bool beyond = (cx < bounds_.left() && x < bounds_.left()) ||
                        (cy < bounds_.top() && y < bounds_.top()) ||
                        (cx > bounds_.right() && x > bounds_.right()) ||
                        (cy > bounds_.bottom() && y > bounds_.bottom());
    points_.clear();
    while (!beyond && (cx != x || cy != y)) {
        if (bounds_.contains(static_cast<int>(cx), static_cast<int>(cy))) {
            points_.append(QPoint(static_cast<int>(cx), static_cast<int>(cy)));
        }
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            cx += sx;
        }
        if (e2 <= dx) {
            err += dx;
            cy += sy;
        }
    }
    if (!points_.isEmpty()) {
        painter_.setPen(QPen(ToQColor(pen_.colour), 1, Qt::SolidLine));
        painter_.drawPoints(points_.constData(), static_cast<int>(points_.size()));
    }
    x_ = x;
    y_ = y;
}

void PainterCanvas::SetPixel(int32_t x, int32_t y, workbuf::Colour colour) {
    if (!bounds_.contains(x, y)) return;
    painter_.setPen(QPen(ToQColor(colour), 1, Qt::SolidLine));
    painter_.drawPoint(x, y);
}

}  // namespace vocalith::app::qt
