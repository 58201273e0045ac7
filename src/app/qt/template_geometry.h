#pragma once
// The dialog font and pixel rectangles of the dialog template's controls.
#include <QFont>
#include <QRect>
#include <span>

#include "app/dialog_template.h"

class QStyle;

namespace vocalith::app::qt {

// x, y, width and height converted from dialog units and rounded.
inline QRect TemplateRect(const TemplateControl& c, const DialogUnits& units) {
    return QRect(units.X(c.x), units.Y(c.y), units.X(c.width), units.Y(c.height));
}

// The dialog font: 11 pixels (8 points at 96 dots per inch), a narrow sans
// face where one is installed so the template's texts fit their boxes.
QFont DialogFont(const QFont& base);

// The font's base units as dialog units are defined: the average width of
// the 52 letters, rounded to a whole pixel, and the font's height.
DialogUnits FontUnits(const QFont& font);

// The check boxes' style: the application's, with the gap between box and
// text of the platform the template was drawn for (3 pixels, where some
// styles leave 6 and would cut the end of "Monitor"). Owned by `owner`.
QStyle* NewCheckBoxStyle(QObject* owner);
inline constexpr int CHECK_BOX_GAP = 3;
// The check box's box, `indicator` pixels with the intended font, is
// smaller in a smaller font, as the text beside it is.
int ScaledIndicator(int indicator, const QFont& font);

// The width a control of `kind` needs to show `text` whole in `font`: the
// text's advance or its ink, whichever reaches further, plus the box of a
// check box or the frame of a button.
int TextRoom(ControlKind kind, const QString& text, const QFont& font, const QStyle& style);

// The font's base units, widened a quarter pixel at a time while some text
// of `controls` would not fit its control, so that no text is ever cut
// whatever font the desktop supplies. With the intended font every text
// fits at once and the template's sizes are kept. A control with id
// `skipId` (one that is never shown) is not considered. Texts that break
// into lines, and with `labelsWrap` every label's text, wrap at their
// control's width and must fit its height; the others stay on one line.
DialogUnits FittingUnits(const QFont& font, const QStyle& style,
                         std::span<const TemplateControl> controls, int skipId = 0,
                         bool labelsWrap = false);

// The dialog font and units with which a dialog of `widthUnits` by
// `heightUnits` opens on a screen whose free area is `room`: `font` where
// the whole dialog fits, else the same face at the largest smaller pixel
// size that fits, every text still whole.
struct FittedFont {
    QFont font;
    DialogUnits units;
};
FittedFont FitDialogToScreen(const QFont& font, const QStyle& style,
                             std::span<const TemplateControl> controls, int widthUnits,
                             int heightUnits, const QRect& room, int skipId = 0,
                             bool labelsWrap = false);

// Height of a closed drop-down box for `units`; the template's height
// includes the open list. 21 pixels with the intended font.
int ClosedComboHeight(const DialogUnits& units);

}  // namespace vocalith::app::qt
