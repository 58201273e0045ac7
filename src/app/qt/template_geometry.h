#pragma once
// Pixel rectangles of the dialog template's controls.
#include <QFont>
#include <QRect>
#include <QStringList>

#include "app/dialog_template.h"

namespace vocalith::app::qt {

// x, y, width and height converted from dialog units and rounded.
inline QRect TemplateRect(const TemplateControl& c) {
    return QRect(UnitsToPixelsX(c.x), UnitsToPixelsY(c.y), UnitsToPixelsX(c.width),
                 UnitsToPixelsY(c.height));
}

// The dialog font: 11 pixels (8 points at 96 dots per inch), a narrow sans
// face where one is installed so the template's texts fit their boxes.
inline QFont DialogFont(const QFont& base) {
    QFont f = base;
    f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arial"), base.family()});
    f.setPixelSize(11);
    return f;
}

// Height of a closed drop-down box; the template's height includes the open list.
inline constexpr int CLOSED_COMBO_HEIGHT = 21;

}  // namespace vocalith::app::qt
