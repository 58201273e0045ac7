#include "app/qt/painter_canvas.h"

#include <QColor>
#include <QPaintDevice>
#include <QPen>

#include "workbuf/line_steps.h"

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
    // The end point is left out, as the waveform's drawing expects; QPainter's
    // own lines include it, so the pixels are stepped here.
    points_.clear();
    workbuf::StepLine(x_, y_, x, y, bounds_.width(), bounds_.height(),
                      [this](int64_t px, int64_t py) {
                          points_.append(QPoint(static_cast<int>(px), static_cast<int>(py)));
                      });
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
