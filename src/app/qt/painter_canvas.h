#pragma once
// PainterCanvas: the waveform canvas on a QPainter. Lines are stepped pixel by
// pixel and leave out their end point, exactly as the canvas contract says
// (QPainter's own lines would include it).
#include <QPainter>
#include <QPoint>
#include <QVector>

#include "workbuf/canvas.h"

namespace vocalith::app::qt {

class PainterCanvas : public workbuf::Canvas {
  public:
    explicit PainterCanvas(QPainter& painter);

    void FillSolidRect(const workbuf::Rect& rect, workbuf::Colour colour) override;
    workbuf::Pen SelectPen(const workbuf::Pen& pen) override;
    void MoveTo(int32_t x, int32_t y) override;
    void LineTo(int32_t x, int32_t y) override;
    void SetPixel(int32_t x, int32_t y, workbuf::Colour colour) override;

  private:
    QPainter& painter_;
    workbuf::Pen pen_{};
    int32_t x_ = 0;
    int32_t y_ = 0;
    QRect bounds_;            // the painter's device; points beyond it are skipped
    QVector<QPoint> points_;  // reused between lines
};

}  // namespace vocalith::app::qt
