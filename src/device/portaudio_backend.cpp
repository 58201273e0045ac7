// The PortAudio backend: opens the output (with a deadline: a sound server
// may never answer) and the capture device, and lists the devices.
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/backends.h"
#include "device/pa_devices.h"
#include "device/pa_session.h"
#include "device/pulse_output.h"
#include "device/with_deadline.h"

namespace vocalith::device {

namespace {

// The longest an open waits for a sound server that does not answer: well
// beyond what an open takes on a loaded machine (a tenth of a second).
constexpr std::chrono::milliseconds OPEN_DEADLINE{5000};

// An output device opened by name (empty: the default), or why not.
struct OpenedOutput {
    std::unique_ptr<OutputDevice> device;
    std::string failure;
    bool direct = false;  // the sound server reached without PortAudio
};

OpenedOutput OpenOutputNamed(const std::string& name, bool quickStart) {
    if (quickStart && name.empty()) {
        // Speech asked for now goes to the sound server directly, without
        // the wait for PortAudio's survey of every device. (The window's
        // output keeps PortAudio's stream: its speech start is timed
        // against that stream's latency as it wakes.)
        std::string why;
        if (auto device = pulse::OpenDefaultOutput(&why)) {
            pa::DebugNote("sound output goes to the sound server directly");
            return {std::move(device), {}, true};
        }
        pa::DebugNote("no sound server to reach directly (" + why + "); trying PortAudio");
    }
    std::shared_ptr<pa::Session> session = pa::Session::Acquire();
    if (!session)
        return {nullptr, "no audio output device (the sound system could not be started)"};
    const PaDeviceIndex index = pa::FindDevice(name, DeviceDirection::Output);
    if (index == paNoDevice) {
        return {nullptr, name.empty()
                             ? "no audio output device (none found; is a sound server running?)"
                             : "no audio output device ('" + name + "' is not there)"};
    }
    auto device = pa::OpenOutput(index, std::move(session), quickStart);
    if (!device) {
        return {nullptr, name.empty()
                             ? "no audio output device (the default output refused to open)"
                             : "no audio output device ('" + name + "' refused to open)"};
    }
    return {std::move(device), {}};
}

class PortAudioBackend final : public AudioBackend {
  public:
    // Opening talks to the sound server, and a server that takes the
    // connection but never answers (frozen, or PipeWire without its session
    // manager) holds the call inside the sound library for good.
    std::unique_ptr<OutputDevice> OpenOutput() override {
        std::optional<OpenedOutput> opened = RunWithDeadline(
            [name = outputName_, quick = quickStart_] { return OpenOutputNamed(name, quick); },
            OPEN_DEADLINE);
        if (!opened) {
            // A device that opens after all is closed by the outcome's last holder.
            failure_ = "no audio output device (the sound server does not answer)";
            return nullptr;
        }
        failure_ = std::move(opened->failure);
        // PortAudio stays initialised while the backend lives; the device
        // holds it already, so this does not reach the server.
        if (opened->device && !opened->direct) Session();
        return std::move(opened->device);
    }
    std::string OutputFailure() const override { return failure_; }
    std::function<std::unique_ptr<OutputDevice>()> OutputOpener() override {
        // The backend lets go of PortAudio, so that the open starts it
        // afresh when nothing else holds it: a sound server that was not
        // there when PortAudio looked for devices is found then. Everything
        // the open needs is copied: the thread that runs it may outlive
        // this backend.
        session_.reset();
        return [name = outputName_, quick = quickStart_]() -> std::unique_ptr<OutputDevice> {
            return OpenOutputNamed(name, quick).device;
        };
    }
    std::unique_ptr<CaptureDevice> OpenCapture() override {
        if (!Session() || pa::FindDevice(inputName_, DeviceDirection::Input) == paNoDevice) {
            return nullptr;
        }
        return pa::MakeCapture(inputName_, session_);
    }

    std::vector<DeviceInfo> ListDevices() override {
        std::vector<DeviceInfo> devices;
        if (!Session()) return devices;
        const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
        const PaDeviceIndex defaultOutput = Pa_GetDefaultOutputDevice();
        const PaDeviceIndex count = Pa_GetDeviceCount();
        for (PaDeviceIndex i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info == nullptr || info->name == nullptr) continue;
            const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
            DeviceInfo device;
            device.index = i;
            device.name = info->name;
            device.hostApi = api != nullptr && api->name != nullptr ? api->name : "";
            device.input = info->maxInputChannels > 0;
            device.output = info->maxOutputChannels > 0;
            device.defaultInput = i == defaultInput;
            device.defaultOutput = i == defaultOutput;
            devices.push_back(std::move(device));
        }
        return devices;
    }

    void PreferQuickStart() override { quickStart_ = true; }

    void UseDevices(const std::string& input, const std::string& output) override {
        inputName_ = input;
        outputName_ = output;
    }

  private:
    // PortAudio is reached on the first open, not when the backend is chosen,
    // and stays initialised while the backend lives.
    bool Session() {
        if (!session_) session_ = pa::Session::Acquire();
        return session_ != nullptr;
    }
    std::shared_ptr<pa::Session> session_;
    std::string failure_ = "no audio output device";
    bool quickStart_ = false;
    std::string inputName_;   // empty: the default input
    std::string outputName_;  // empty: the default output
};

}  // namespace

std::unique_ptr<AudioBackend> MakePortAudioBackend() {
    return std::make_unique<PortAudioBackend>();
}

}  // namespace vocalith::device
