// Device lookup by index or name part, and the device listing.
#include "device/device_list.h"

#include <algorithm>
#include <cstdlib>

#include "base/ascii_case.h"

namespace vocalith::device {

namespace {

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) return false;
    for (size_t start = 0; start + part.size() <= text.size(); ++start) {
        if (base::EqualNoCase(text.substr(start, part.size()), part)) return true;
    }
    return false;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "0 pulse, 2 default": devices for an error line.
std::string Names(const std::vector<const DeviceInfo*>& devices) {
    std::string text;
    for (const DeviceInfo* d : devices) {
        text += (text.empty() ? "" : ", ") + std::to_string(d->index) + " " + d->name;
    }
    return text;
}

// "output devices: 0 pulse, 2 default", or "there are no output devices".
std::string Summary(std::span<const DeviceInfo> devices, DeviceDirection direction) {
    std::vector<const DeviceInfo*> offered;
    for (const DeviceInfo& d : devices) {
        if (Offers(d, direction)) offered.push_back(&d);
    }
    const std::string word(DirectionWord(direction));
    return offered.empty() ? "there are no " + word + " devices"
                           : word + " devices: " + Names(offered);
}

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

std::string_view DirectionWord(DeviceDirection direction) {
    return direction == DeviceDirection::Input ? "input" : "output";
}

bool Offers(const DeviceInfo& device, DeviceDirection direction) {
    return direction == DeviceDirection::Input ? device.input : device.output;
}

bool IsDefault(const DeviceInfo& device, DeviceDirection direction) {
    return direction == DeviceDirection::Input ? device.defaultInput : device.defaultOutput;
}

const DeviceInfo* FindDevice(std::span<const DeviceInfo> devices, DeviceDirection direction,
                             std::string_view choice, std::string* error) {
    const std::string what =
        std::string(DirectionWord(direction)) + " device '" + std::string(choice) + "'";
    if (AllDigits(choice)) {
        for (const DeviceInfo& d : devices) {
            if (Offers(d, direction) && std::to_string(d.index) == choice) return &d;
        }
        SetError(error, "no " + what + " (" + Summary(devices, direction) + ")");
        return nullptr;
    }
    std::vector<const DeviceInfo*> matches;
    for (const DeviceInfo& d : devices) {
        if (!Offers(d, direction)) continue;
        if (base::EqualNoCase(d.name, choice)) return &d;
        if (ContainsNoCase(d.name, choice)) matches.push_back(&d);
    }
    if (matches.size() == 1 && !choice.empty()) return matches.front();
    if (matches.size() > 1 && !choice.empty()) {
        SetError(error, "ambiguous " + what + ": it matches " + Names(matches) +
                            " (name more of it, or give the index)");
        return nullptr;
    }
    SetError(error, "unknown " + what + " (" + Summary(devices, direction) + ")");
    return nullptr;
}

bool ResolveDevices(std::span<const DeviceInfo> devices, std::string_view inputChoice,
                    std::string_view outputChoice, ChosenDevices& chosen, std::string* error) {
    chosen = {};
    if (!inputChoice.empty()) {
        const DeviceInfo* d = FindDevice(devices, DeviceDirection::Input, inputChoice, error);
        if (d == nullptr) return false;
        chosen.input = d->name;
    }
    if (!outputChoice.empty()) {
        const DeviceInfo* d = FindDevice(devices, DeviceDirection::Output, outputChoice, error);
        if (d == nullptr) return false;
        chosen.output = d->name;
    }
    return true;
}

const DeviceInfo* DeviceNamed(std::span<const DeviceInfo> devices, DeviceDirection direction,
                              std::string_view name) {
    for (const DeviceInfo& d : devices) {
        if (Offers(d, direction) && d.name == name) return &d;
    }
    return nullptr;
}

std::string DeviceLabel(const DeviceInfo& device) {
    return device.hostApi.empty() ? device.name : device.name + " (" + device.hostApi + ")";
}

std::string FormatDeviceList(std::span<const DeviceInfo> devices, const ChosenDevices& chosen) {
    size_t indexWidth = 1;
    size_t nameWidth = 0;
    for (const DeviceInfo& d : devices) {
        indexWidth = std::max(indexWidth, std::to_string(d.index).size());
        nameWidth = std::max(nameWidth, d.name.size());
    }
    std::string text;
    for (const DeviceDirection direction : {DeviceDirection::Input, DeviceDirection::Output}) {
        const std::string_view word = DirectionWord(direction);
        text += direction == DeviceDirection::Input ? "Input" : "Output";
        text += " devices:\n";
        const std::string& mine =
            direction == DeviceDirection::Input ? chosen.input : chosen.output;
        bool any = false;
        for (const DeviceInfo& d : devices) {
            if (!Offers(d, direction)) continue;
            any = true;
            const std::string index = std::to_string(d.index);
            std::string line = "  " + std::string(indexWidth - index.size(), ' ') + index + "  " +
                               d.name + std::string(nameWidth - d.name.size(), ' ');
            if (!d.hostApi.empty()) line += "  " + d.hostApi;
            if (IsDefault(d, direction)) line += "  (default " + std::string(word) + ")";
            if (!mine.empty() && d.name == mine) line += "  (chosen)";
            text += line + '\n';
        }
        if (!any) text += "  none\n";
    }
    return text;
}

std::string DeviceChoice(DeviceDirection direction, std::string_view option) {
    if (!option.empty()) return std::string(option);
    const char* env =
        std::getenv(direction == DeviceDirection::Input ? INPUT_DEVICE_ENV : OUTPUT_DEVICE_ENV);
    return env != nullptr ? env : "";
}

}  // namespace vocalith::device
