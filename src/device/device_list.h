#pragma once
// The sound devices a backend offers, and how a user names one: by its
// index in the listing or by a part of its name, letter case ignored. Both
// programs print the same listing and the same error lines from here.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vocalith::device {

enum class DeviceDirection { Input, Output };

// One device as a backend lists it. A device may offer both directions.
struct DeviceInfo {
    int index = 0;        // the number a user types to name it
    std::string name;     // unique within its backend; what a choice is kept as
    std::string hostApi;  // the sound system it is reached through ("ALSA")
    bool input = false;   // takes sound from a microphone
    bool output = false;  // plays sound
    bool defaultInput = false;
    bool defaultOutput = false;
};

// The environment variables that choose a device when no option does.
inline constexpr char INPUT_DEVICE_ENV[] = "VOCALITH_INPUT";
inline constexpr char OUTPUT_DEVICE_ENV[] = "VOCALITH_OUTPUT";

// "input" or "output".
std::string_view DirectionWord(DeviceDirection direction);

// Whether `device` offers `direction`, and whether it is that direction's default.
bool Offers(const DeviceInfo& device, DeviceDirection direction);
bool IsDefault(const DeviceInfo& device, DeviceDirection direction);

// The device of `direction` that `choice` names: all digits is an index;
// anything else is a part of a name, letter case ignored, where a whole
// name wins over names that merely contain it. Null when none or several
// match, with one line in `error` that says which devices there are.
const DeviceInfo* FindDevice(std::span<const DeviceInfo> devices, DeviceDirection direction,
                             std::string_view choice, std::string* error);

// The exact names of the devices a pair of choices names; empty for the default.
struct ChosenDevices {
    std::string input;
    std::string output;
};

// Looks up both choices (FindDevice); an empty choice is the default.
// False with the error of the first that names no device, or several.
bool ResolveDevices(std::span<const DeviceInfo> devices, std::string_view inputChoice,
                    std::string_view outputChoice, ChosenDevices& chosen, std::string* error);

// The device of `direction` called exactly `name`, or null.
const DeviceInfo* DeviceNamed(std::span<const DeviceInfo> devices, DeviceDirection direction,
                              std::string_view name);

// "pulse (ALSA)": a device as lists show it.
std::string DeviceLabel(const DeviceInfo& device);

// The listing of `vocalith --list-devices` and `vocalith-tts devices`: the
// input devices, then the output devices, one per line with index, name,
// host API and a mark on the default; the `chosen` devices carry a mark of
// their own.
std::string FormatDeviceList(std::span<const DeviceInfo> devices, const ChosenDevices& chosen = {});

// The choice for `direction`: `option` when given (not empty), else the
// environment variable's value, else empty (the default device).
std::string DeviceChoice(DeviceDirection direction, std::string_view option);

}  // namespace vocalith::device
