#include "app/qt/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QString>

#include "app/dialog_template.h"
#include "app/qt/app_icon.h"
#include "app/qt/template_geometry.h"

namespace vocalith::app::qt {

namespace {
// Template texts break lines with CR LF; a label wants LF.
QString LabelText(const char* text) {
    QString s = QString::fromUtf8(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}
}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Vocalith"));
    setObjectName(QStringLiteral("IDD_ABOUT"));
    setWindowIcon(AppIcon());
    // The main window's font, already made to fit its screen; the labels
    // wrap at their template widths, and the box too shrinks its font
    // where it would not fit the screen.
    const FittedFont fitted = FitDialogToScreen(
        parent ? parent->font() : DialogFont(font()), *style(), kAboutTemplate, ABOUT_WIDTH_UNITS,
        ABOUT_HEIGHT_UNITS, screen()->availableGeometry(), 0, true);
    setFont(fitted.font);
    const DialogUnits& units = fitted.units;
    setFixedSize(units.X(ABOUT_WIDTH_UNITS), units.Y(ABOUT_HEIGHT_UNITS));
    int labelNumber = 0;
    for (const TemplateControl& c : kAboutTemplate) {
        QRect r = TemplateRect(c, units);
        if (c.kind == ControlKind::Icon) {
            auto* icon = new QLabel(this);
            icon->setObjectName(QStringLiteral("IDI_MAIN"));
            icon->setPixmap(AppIconPixmap(32));
            icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            icon->setGeometry(r);
        } else if (c.kind == ControlKind::DefaultButton) {
            auto* ok = new QPushButton(QString::fromUtf8(c.text), this);
            ok->setObjectName(QStringLiteral("IDOK"));
            ok->setDefault(true);
            ok->setGeometry(r);
            connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        } else {
            auto* label = new QLabel(LabelText(c.text), this);
            label->setObjectName(QStringLiteral("static%1").arg(++labelNumber));
            // Ampersands are shown as typed.
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setGeometry(r);
        }
    }
}

}  // namespace vocalith::app::qt
