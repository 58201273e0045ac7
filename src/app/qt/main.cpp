// vocalith: the Vocalith window.
//
//   vocalith [--audio BACKEND]
//
// BACKEND is "portaudio" (the default), "null", or "wav:OUT.wav[,IN.wav]";
// without the option the environment variable VOCALITH_AUDIO decides.
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "app/app_startup.h"
#include "app/qt/main_window.h"
#include "app/qt/ui_dispatcher.h"
#include "app/qt/window_message_sink.h"
#include "app/silent_audio.h"
#include "audio/device/audio_device.h"
#if VOCALITH_HAVE_ENGINE_AUDIO
#include "app/engine_audio.h"
#endif

namespace {

void Usage(std::FILE* out) {
    std::fputs(
        "usage: vocalith [--audio BACKEND]\n"
        "  BACKEND: portaudio (default), null, or wav:OUT.wav[,IN.wav]\n"
        "  without --audio, the environment variable VOCALITH_AUDIO is used\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vocalith;
    // Answered before the toolkit starts, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vocalith %s\n", app::kVersion);
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vocalith"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vocalith"));
    QApplication::setApplicationVersion(QString::fromLatin1(app::kVersion));
    application.setProperty("fileDescription", QString::fromLatin1(app::kFileDescription));
    application.setProperty("productName", QString::fromLatin1(app::kProductName));
    application.setProperty("internalName", QString::fromLatin1(app::kInternalName));

    std::string audioSpec;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--audio") && i + 1 < args.size()) {
            audioSpec = args[++i].toStdString();
        } else if (a.startsWith(QLatin1String("--audio="))) {
            audioSpec = a.mid(8).toStdString();
        } else {
            std::fprintf(stderr, "vocalith: unknown argument '%s'\n", a.toLocal8Bit().constData());
            Usage(stderr);
            return 2;
        }
    }

    try {
        std::string error;
        std::unique_ptr<audio::device::AudioBackend> backend =
            audio::device::MakeBackend(audioSpec, &error);
        if (!backend) {
            std::fprintf(stderr, "vocalith: %s\n", error.c_str());
            return 2;
        }
        app::StartupSteps steps;
        steps.showError = [](const std::string& text) {
            QMessageBox::warning(nullptr, QStringLiteral("Vocalith"), QString::fromStdString(text));
        };
        steps.runWindow = [&] {
            QObject context;
            app::qt::QtUiDispatcher dispatcher(&context);
            app::qt::WindowMessageSink messages;
#if VOCALITH_HAVE_ENGINE_AUDIO
            app::EngineAudio audio(backend.get(), &dispatcher, &messages);
#else
            app::SilentAudio audio;
#endif
            app::qt::MainWindow window(audio, &messages);
            window.exec();
        };
        return app::RunStartup(steps);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vocalith: %s\n", e.what());
        return 1;
    }
}
