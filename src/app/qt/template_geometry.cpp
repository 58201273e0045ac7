#include "app/qt/template_geometry.h"

#include <QFontMetrics>
#include <QProxyStyle>
#include <QStyle>
#include <algorithm>

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
    return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

namespace {
class CheckBoxStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_CheckBoxLabelSpacing) return CHECK_BOX_GAP;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};
}  // namespace

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
            return style.pixelMetric(QStyle::PM_IndicatorWidth) + CHECK_BOX_GAP + width;
        case ControlKind::PushButton:
        case ControlKind::DefaultButton:
            return 2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth) + 2 + width;
        default:
            return width;
    }
}

DialogUnits FittingUnits(const QFont& font, const QStyle& style,
                         std::span<const TemplateControl> controls, int skipId) {
    DialogUnits units = FontUnits(font);
    for (const TemplateControl& c : controls) {
        if ((skipId != 0 && c.id == skipId) || c.text == nullptr || c.text[0] == '\0') continue;
        const QString text = QString::fromUtf8(c.text);
        // Texts that break into lines wrap within their box.
        if (text.contains(QLatin1Char('\n'))) continue;
        switch (c.kind) {
            case ControlKind::Label:
            case ControlKind::CheckBox:
            case ControlKind::PushButton:
            case ControlKind::DefaultButton:
                break;
            default:
                continue;
        }
        const int room = TextRoom(c.kind, text, font, style);
        // Bounded: each step widens the control by at least width/4 pixels.
        while (units.X(c.width) < room && c.width > 0) ++units.charWidth;
    }
    return units;
}

int ClosedComboHeight(const DialogUnits& units) {
    return std::max(21, (21 * units.charHeight + 6) / 13);
}

}  // namespace vocalith::app::qt
