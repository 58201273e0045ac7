#include "app/qt/template_geometry.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QProxyStyle>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/screen_fit.h"

namespace vocalith::app::qt {

QFont DialogFont(const QFont& base) {
    QFont f = base;
    f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arial"), base.family()});
    f.setPixelSize(11);
    return f;
}

DialogUnits FontUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Half the width of the 52 letters over 26, rounded half up.
    return DialogUnits{static_cast<double>((letters / 26 + 1) / 2),
                       static_cast<double>(metrics.height())};
}

namespace {
class CheckBoxStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_CheckBoxLabelSpacing) return CHECK_BOX_GAP;
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        if ((metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) && widget != nullptr) {
            return ScaledIndicator(value, widget->font());
        }
        return value;
    }
};
}  // namespace

int ScaledIndicator(int indicator, const QFont& font) {
    const double height = QFontMetrics(font).height();
    return std::min(indicator, static_cast<int>(std::lround(indicator * height / 13)));
}

QStyle* NewCheckBoxStyle(QObject* owner) {
    auto* style = new CheckBoxStyle;
    style->setParent(owner);
    return style;
}

int TextRoom(ControlKind kind, const QString& text, const QFont& font, const QStyle& style) {
    const QFontMetrics metrics(font);
    const int width =
        std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right() + 1);
    switch (kind) {
        case ControlKind::CheckBox:
            return ScaledIndicator(style.pixelMetric(QStyle::PM_IndicatorWidth), font) +
                   CHECK_BOX_GAP + width;
        case ControlKind::PushButton:
        case ControlKind::DefaultButton:
            return 2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth) + 2 + width;
        default:
            return width;
    }
}

namespace {
// The height of `text` wrapped at `width` pixels.
int WrappedHeight(const QString& text, int width, const QFont& font) {
    return QFontMetrics(font)
        .boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, text)
        .height();
}

// Whether `text` shows whole in a control of `c`'s size with `units`.
bool TextFits(const TemplateControl& c, const QString& text, bool wraps, const DialogUnits& units,
              const QFont& font, const QStyle& style) {
    if (wraps) return WrappedHeight(text, units.X(c.width), font) <= units.Y(c.height);
    return units.X(c.width) >= TextRoom(c.kind, text, font, style);
}
}  // namespace

DialogUnits FittingUnits(const QFont& font, const QStyle& style,
                         std::span<const TemplateControl> controls, int skipId, bool labelsWrap) {
    DialogUnits units = FontUnits(font);
    for (const TemplateControl& c : controls) {
        if ((skipId != 0 && c.id == skipId) || c.text == nullptr || c.text[0] == '\0') continue;
        QString text = QString::fromUtf8(c.text);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        bool wraps = text.contains(QLatin1Char('\n'));
        switch (c.kind) {
            case ControlKind::Label:
                wraps = wraps || labelsWrap;
                break;
            case ControlKind::CheckBox:
            case ControlKind::PushButton:
            case ControlKind::DefaultButton:
                if (wraps) continue;
                break;
            default:
                continue;
        }
        // A wrapped text whose own lines are taller than the control (the
        // font's line spacing exceeds its height) needs taller units; any
        // other text wider ones. Bounded: each step grows the control by at
        // least a sixteenth of its size, and a text needs no more than one
        // line per word.
        const bool tall = wraps && WrappedHeight(text, 1 << 20, font) > units.Y(c.height);
        while (c.width > 0 && c.height > 0 && !TextFits(c, text, wraps, units, font, style) &&
               units.X(c.width) < 1 << 14 && units.Y(c.height) < 1 << 14) {
            (tall ? units.charHeight : units.charWidth) += 0.25;
        }
    }
    return units;
}

FittedFont FitDialogToScreen(const QFont& font, const QStyle& style,
                             std::span<const TemplateControl> controls, int widthUnits,
                             int heightUnits, const QRect& room, int skipId, bool labelsWrap) {
    const auto at = [&](int px) {
        QFont f = font;
        f.setPixelSize(px);
        return f;
    };
    const int intended = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    const ScreenFit fit = FitToScreen(
        intended, widthUnits, heightUnits, room.width(), room.height(),
        [&](int px) { return FittingUnits(at(px), style, controls, skipId, labelsWrap); });
    return {fit.pixelSize == intended ? font : at(fit.pixelSize), fit.units};
}

int ClosedComboHeight(const DialogUnits& units) {
    return static_cast<int>(std::lround(21 * units.charHeight / 13));
}

}  // namespace vocalith::app::qt
