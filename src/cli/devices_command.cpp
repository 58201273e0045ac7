// vocalith-tts devices: the input and output devices a backend offers, and
// which of them a choice of devices names.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_common.h"
#include "cli/command_line.h"
#include "device/audio_device.h"

namespace vocalith::cli {

const char kDevicesSynopsis[] =
    "[--audio BACKEND] [--input-device DEV]\n"
    "[--output-device DEV]";

namespace {

const char kDevicesHelp[] =
    "\n"
    "Lists the input devices (microphones) and output devices (speakers) of\n"
    "the audio backend with their index, name and sound system, and marks the\n"
    "defaults. A device is chosen by its index or by a part of its name,\n"
    "letter case ignored.\n"
    "\n"
    "  --audio BACKEND      the backend to list (see `vocalith-tts say --help`).\n"
    "                       Default: $VOCALITH_AUDIO, else portaudio.\n"
    "  --input-device DEV   marks the input device DEV names as chosen, or fails\n"
    "                       (status 2) when it names none or several.\n"
    "                       Default: $VOCALITH_INPUT.\n"
    "  --output-device DEV  the same for an output device.\n"
    "                       Default: $VOCALITH_OUTPUT.\n"
    "  --help               print this text.\n";

enum DevicesOption { DEVICES_AUDIO, DEVICES_INPUT, DEVICES_OUTPUT };  // kDevicesOptions
constexpr CommandOption kDevicesOptions[] = {
    {"--audio", true}, kInputDeviceOption, kOutputDeviceOption};

}  // namespace

int RunDevices(int argc, char** argv) {
    std::string audio;
    std::string choice[2];  // input, output
    OptionParser args(argc, argv, kDevicesOptions);
    for (ParsedArg arg; args.Next(arg);) {
        switch (arg.kind) {
            case ArgKind::Operand:
                return UsageError("devices", "unexpected argument '" + std::string(arg.text) + "'");
            case ArgKind::Help:
                std::fputs((UsageLines("devices", kDevicesSynopsis, true) + kDevicesHelp).c_str(),
                           stdout);
                return EXIT_OK;
            case ArgKind::UnknownOption:
            case ArgKind::MissingValue:
                return UsageError("devices", ArgumentError(arg));
            case ArgKind::Option:
                (arg.option == DEVICES_AUDIO ? audio : choice[arg.option - DEVICES_INPUT]) =
                    arg.text;
                break;
        }
    }
    std::string error;
    bool fileFault = false;
    std::unique_ptr<device::AudioBackend> backend = device::MakeBackend(audio, &error, &fileFault);
    if (!backend) {
        return fileFault ? Fail(EXIT_FAILURE_, "devices: " + error) : UsageError("devices", error);
    }
    const std::vector<device::DeviceInfo> devices = backend->ListDevices();
    device::ChosenDevices chosen;
    if (!device::ResolveDevices(
            devices, device::DeviceChoice(device::DeviceDirection::Input, choice[0]),
            device::DeviceChoice(device::DeviceDirection::Output, choice[1]), chosen, &error)) {
        return UsageError("devices", error);
    }
    std::fputs(device::FormatDeviceList(devices, chosen).c_str(), stdout);
    return EXIT_OK;
}

const Subcommand kDevicesCommand = {"devices", "lists the input and output devices.",
                                    kDevicesSynopsis, kDevicesOptions, RunDevices};

}  // namespace vocalith::cli
