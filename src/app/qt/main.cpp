// vocalith: the Vocalith window.
//
//   vocalith [--audio BACKEND] [--input-device DEV] [--output-device DEV]
//   vocalith --list-devices | --help | --version
//
// BACKEND is one of the device layer's backends (device::AudioBackends);
// without the option the environment variable VOCALITH_AUDIO decides. DEV
// is a device's index or part of its name; without the options
// VOCALITH_INPUT and VOCALITH_OUTPUT decide, and without those the devices
// chosen in the window's "Audio Devices" dialog in an earlier run.
//
// Diagnostic: with VOCALITH_STARTUP_PROBE=1 the program reports on standard
// error how long after process start its first window's first paint
// completed, then closes its windows as they are painted (exit status 0).
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_startup.h"
#include "app/engine_audio.h"
#include "app/qt/app_identity.h"
#include "app/qt/devices_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/ui_dispatcher.h"
#include "app/qt/window_message_sink.h"
#include "base/atomic_file.h"
#include "base/user_errors.h"
#include "base/version.h"
#include "device/audio_device.h"

namespace {

// "portaudio (default), null, or wav:OUT.wav[,IN.wav]" from the backend table.
std::string BackendLine() {
    const auto backends = vocalith::device::AudioBackends();
    std::string line;
    for (size_t i = 0; i < backends.size(); ++i) {
        if (i > 0) line += i + 1 == backends.size() ? ", or " : ", ";
        line += backends[i].usage;
        if (i == 0) line += " (default)";
    }
    return line;
}

void Usage(std::FILE* out) {
    std::fputs(
        "usage: vocalith [--audio BACKEND] [--input-device DEV] [--output-device DEV]\n"
        "       vocalith --list-devices | --help | --version\n",
        out);
    std::fprintf(out, "  BACKEND: %s\n", BackendLine().c_str());
    std::fputs(
        "  without --audio, the environment variable VOCALITH_AUDIO is used\n"
        "  DEV: the index or a part of the name of a device that --list-devices\n"
        "  shows (letter case ignored); without --input-device or --output-device,\n"
        "  VOCALITH_INPUT or VOCALITH_OUTPUT, else the device chosen with\n"
        "  \"Audio Devices...\" in the window's context menu, else the default\n"
        "  --list-devices: prints the input and output devices and exits\n"
        "diagnostic: VOCALITH_STARTUP_PROBE=1 prints \"vocalith: first paint after N ms\"\n"
        "  (N from process start; also the ms since main() began and the window's\n"
        "  name) once the first window's first paint is done, then closes each\n"
        "  window as it is painted and exits with status 0\n",
        out);
}

// The start-up probe: milliseconds since the process started, from its start
// time in /proc/self/stat (field 22, in clock ticks since boot, so 10 ms
// resolution) against CLOCK_BOOTTIME; -1 when that cannot be read.
long long MsSinceProcessStart() {
    std::FILE* f = std::fopen("/proc/self/stat", "r");
    if (f == nullptr) return -1;
    char buffer[1024] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = '\0';
    // The command name (field 2) may hold blanks; fields count from its ')'.
    const char* p = std::strrchr(buffer, ')');
    if (p == nullptr) return -1;
    int field = 2;
    while (*p != '\0' && field < 22) {
        if (*p == ' ') ++field;
        ++p;
    }
    if (field != 22) return -1;
    const unsigned long long startTicks = std::strtoull(p, nullptr, 10);
    const long hz = sysconf(_SC_CLK_TCK);
    timespec now{};
    if (hz <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
    const long long nowMs = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return nowMs - static_cast<long long>(startTicks * 1000 / static_cast<unsigned long long>(hz));
}

// Watches the program's windows for their first paint. The report runs from
// the event loop after the paint event has been handled, so the whole first
// frame (the window and its controls) has been drawn and handed to the
// display. The first window painted is the main window, unless a message
// (such as a missing sound device) comes up before it; the line names it.
// Each window is closed once painted, a message as if answered with its
// button, the main window as with its close box, so the program runs to its
// normal end.
class StartupProbe final : public QObject {
  public:
    explicit StartupProbe(std::chrono::steady_clock::time_point mainStart)
        : mainStart_(mainStart) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || !watched->isWidgetType()) return false;
        auto* window = static_cast<QWidget*>(watched);
        if (!window->isWindow() || closing_.contains(window)) return false;
        closing_.insert(window);
        QTimer::singleShot(0, window, [this, window] {
            if (!reported_) {
                reported_ = true;
                const auto sinceMain = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - mainStart_);
                std::fprintf(vocalith::base::UserErrors(),
                             "vocalith: first paint after %lld ms (%lld ms after main; "
                             "window '%s')\n",
                             MsSinceProcessStart(), static_cast<long long>(sinceMain.count()),
                             window->objectName().toUtf8().constData());
            }
            window->close();
        });
        return false;
    }

  private:
    std::chrono::steady_clock::time_point mainStart_;
    QSet<QObject*> closing_;
    bool reported_ = false;
};

struct Arguments {
    std::string audio;
    std::string inputDevice;
    std::string outputDevice;
    bool listDevices = false;
};

// A mistake on the command line: one line and a pointer to --help; status 2.
int UsageError(const std::string& message) {
    std::fprintf(vocalith::base::UserErrors(), "vocalith: %s; try 'vocalith --help'\n",
                 message.c_str());
    return 2;
}

// The arguments, read before the toolkit starts so that they work without a
// display. Returns -1 to go on, or the exit status.
int ReadArguments(int argc, char** argv, Arguments& args) {
    const struct {
        std::string_view name;
        std::string Arguments::*value;
    } options[] = {{"--audio", &Arguments::audio},
                   {"--input-device", &Arguments::inputDevice},
                   {"--output-device", &Arguments::outputDevice}};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        }
        if (a == "--version") {
            if (argc > 2) {
                return UsageError("--version takes no other arguments, but was given '" +
                                  std::string(argv[i == 1 ? 2 : 1]) + "'");
            }
            std::printf("vocalith %s\n", vocalith::base::kVersion);
            return 0;
        }
        if (a == "--list-devices") {
            args.listDevices = true;
            continue;
        }
        // "--name VALUE" or "--name=VALUE".
        const std::string key = a.substr(0, a.find('='));
        bool known = false;
        for (const auto& option : options) {
            if (key != option.name) continue;
            known = true;
            if (key.size() < a.size()) {
                args.*option.value = a.substr(key.size() + 1);
            } else if (i + 1 < argc) {
                args.*option.value = argv[++i];
            } else {
                return UsageError("option " + key + " needs a value");
            }
        }
        if (!known) {
            return UsageError(a.size() > 1 && a[0] == '-' ? "unknown option '" + a + "'"
                                                          : "unexpected argument '" + a + "'");
        }
    }
    return -1;
}

// Set when the toolkit reports that the platform QT_QPA_PLATFORM names is
// not there, before it gives up (the toolkit calls OnToolkitMessage, a plain
// function, on the UI thread).
bool gPlatformMissing = false;

// The toolkit ends the program with an abort when it cannot reach the
// display or has no such platform; say so in one line and exit with status 1
// instead.
void OnToolkitMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (vocalith::base::DebugLogShown()) {
        std::fprintf(vocalith::base::UserErrors(), "%s\n", message.toLocal8Bit().constData());
    }
    if (message.contains(QStringLiteral("Could not find the Qt platform plugin"))) {
        gPlatformMissing = true;
    }
    if (type != QtFatalMsg) return;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (gPlatformMissing && platform != nullptr) {
        // "... Available platform plugins are: eglfs, minimal, offscreen, ..., xcb."
        const QString marker = QStringLiteral("Available platform plugins are: ");
        const qsizetype at = message.indexOf(marker);
        QString there = at >= 0 ? message.mid(at + marker.size()).trimmed() : QString();
        if (there.endsWith(u'.')) there.chop(1);
        std::fprintf(vocalith::base::UserErrors(),
                     "vocalith: cannot open the window: QT_QPA_PLATFORM names the platform '%s', "
                     "which is not installed (there are: %s)\n",
                     platform, there.isEmpty() ? "none" : there.toLocal8Bit().constData());
        std::_Exit(1);
    }
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display == nullptr) display = std::getenv("DISPLAY");
    std::fprintf(vocalith::base::UserErrors(),
                 "vocalith: cannot open the window on display '%s' (nothing answers there; "
                 "VOCALITH_DEBUG=1 shows why)\n",
                 display != nullptr ? display : "");
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vocalith;
    const auto mainStart = std::chrono::steady_clock::now();
    const char* probeSetting = std::getenv("VOCALITH_STARTUP_PROBE");
    const bool startupProbe = probeSetting != nullptr && std::strcmp(probeSetting, "1") == 0;
    Arguments args;
    if (const int status = ReadArguments(argc, argv, args); status >= 0) return status;
    // The backend and the devices named on the command line are checked
    // before the window needs a display, so a mistake is one line at once.
    std::string error;
    bool fileFault = false;
    std::unique_ptr<device::AudioBackend> backend =
        device::MakeBackend(args.audio, &error, &fileFault);
    if (!backend && fileFault) {
        std::fprintf(base::UserErrors(), "vocalith: %s\n", error.c_str());
        return 1;
    }
    if (!backend) return UsageError(error);
    device::ChosenDevices chosen;
    const std::string inputChoice =
        device::DeviceChoice(device::DeviceDirection::Input, args.inputDevice);
    const std::string outputChoice =
        device::DeviceChoice(device::DeviceDirection::Output, args.outputDevice);
    if (!inputChoice.empty() || !outputChoice.empty() || args.listDevices) {
        const std::vector<device::DeviceInfo> devices = backend->ListDevices();
        if (!device::ResolveDevices(devices, inputChoice, outputChoice, chosen, &error)) {
            return UsageError(error);
        }
        if (args.listDevices) {
            std::fputs(device::FormatDeviceList(devices, chosen).c_str(), stdout);
            return 0;
        }
    }
    // A file size limit makes a write fail with an error the program reports
    // instead of killing it with the voice half saved.
    std::signal(SIGXFSZ, SIG_IGN);
    // A voice being saved or the WAV backend's file leaves no temporary file
    // behind when the window is interrupted or told to end.
    base::RemoveTempFilesOnSignals();
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if ((platform == nullptr || *platform == '\0') && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fprintf(base::UserErrors(),
                     "vocalith: no display to open the window on (DISPLAY and WAYLAND_DISPLAY "
                     "are not set); vocalith-tts speaks without one\n");
        return 1;
    }
    qInstallMessageHandler(OnToolkitMessage);
    QApplication application(argc, argv);
    StartupProbe probe(mainStart);
    if (startupProbe) application.installEventFilter(&probe);
    app::qt::ApplyApplicationIdentity(application);

    try {
        app::StartupSteps steps;
        steps.showError = [](const std::string& text) {
            QMessageBox::warning(nullptr, QStringLiteral("Vocalith"), QString::fromStdString(text));
        };
        std::string outputFailure;
        steps.runWindow = [&] {
            QObject context;
            app::qt::QtUiDispatcher dispatcher(&context);
            app::qt::WindowMessageSink messages;
            const auto session = std::make_unique<session::Session>();
            app::EngineAudio audio(*session, backend.get(), &dispatcher, &messages);
            // A device named on the command line or in the environment wins,
            // for this run, over the one remembered from the dialog.
            app::StatusNote settingsNotice;
            const app::qt::RememberedDevices remembered =
                app::qt::LoadRememberedDevices(&settingsNotice);
            audio.UseDevicesAtStart(inputChoice.empty() ? remembered.input : chosen.input,
                                    outputChoice.empty() ? remembered.output : chosen.output);
            // The gain suits the user's microphone; a WAV file read as the
            // microphone keeps the default, so a file always records alike.
            const char* env = std::getenv("VOCALITH_AUDIO");
            const std::string backendChoice = !args.audio.empty() ? args.audio : env ? env : "";
            if (backendChoice.rfind("wav", 0) != 0) audio.SetInputGainFactor(remembered.inputGain);
            {
                app::qt::MainWindow window(*session, audio, &messages);
                if (!settingsNotice.text.empty()) window.Logic().SetStatus(settingsNotice);
                window.exec();
            }
            outputFailure = audio.OutputFailure();
        };
        const int status = app::RunStartup(steps);
        // The WAV backend's file is what this run was for: a failure to
        // complete it is the program's failure, as it is for vocalith-tts.
        if (status == 0 && !outputFailure.empty()) {
            std::fprintf(base::UserErrors(), "vocalith: %s\n", outputFailure.c_str());
            return 1;
        }
        return status;
    } catch (const std::exception& e) {
        std::fprintf(base::UserErrors(), "vocalith: %s\n", e.what());
        return 1;
    }
}
