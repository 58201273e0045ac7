// icongen OUT_DIR SIZE...: renders the application icon, drawn by the same
// code as the window's icon, to OUT_DIR/SIZExSIZE/vocalith.png for each SIZE.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "app/qt/app_icon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: icongen OUT_DIR SIZE...\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 4 || size > 1024) {
            std::fprintf(stderr, "icongen: bad size '%s'\n", argv[i]);
            return 2;
        }
        const QString folder = out + QStringLiteral("/%1x%1").arg(size);
        const QString file = folder + QStringLiteral("/vocalith.png");
        if (!QDir().mkpath(folder) || !vocalith::app::qt::AppIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "icongen: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
