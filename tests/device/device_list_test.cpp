// Naming a device by index or by part of its name, and the listing both
// programs print.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_list.h"

namespace vocalith::device {
namespace {

// A machine with a card, a sound server and a USB headset.
const std::vector<DeviceInfo> kDevices = {
    {0, "HDA Intel PCH: ALC892 Analog (hw:0,0)", "ALSA", true, true, false, false},
    {3, "USB Headset: Audio (hw:1,0)", "ALSA", true, true, false, false},
    {5, "pulse", "ALSA", true, true, false, false},
    {6, "pulse monitor", "ALSA", true, false, false, false},
    {7, "default", "ALSA", true, true, true, true},
    {9, "HDMI 0", "ALSA", false, true, false, false},
};

TEST(DeviceList, ChoicesNameTheRightDevice) {
    struct Row {
        DeviceDirection direction;
        const char* choice;
        const char* found;  // the name found, or null
        const char* error;  // a part of the error line
    };
    const DeviceDirection in = DeviceDirection::Input;
    const DeviceDirection out = DeviceDirection::Output;
    const Row rows[] = {
        {out, "3", "USB Headset: Audio (hw:1,0)", nullptr},
        {out, "9", "HDMI 0", nullptr},
        {in, "9", nullptr, "no input device '9' (input devices: 0 HDA"},  // output only
        {out, "6", nullptr, "no output device '6'"},                      // input only
        {out, "42", nullptr, "no output device '42'"},
        {out, "usb", "USB Headset: Audio (hw:1,0)", nullptr},
        {out, "hdmi", "HDMI 0", nullptr},
        {in, "monitor", "pulse monitor", nullptr},
        // A whole name wins over the names that contain it.
        {in, "PULSE", "pulse", nullptr},
        {in, "puls", nullptr, "ambiguous input device 'puls': it matches 5 pulse, 6 pulse monitor"},
        {out, "hw:", nullptr, "ambiguous output device 'hw:'"},
        {out, "speaker", nullptr,
         "unknown output device 'speaker' (output devices: 0 HDA Intel PCH: ALC892 Analog "
         "(hw:0,0), 3 USB Headset: Audio (hw:1,0), 5 pulse, 7 default, 9 HDMI 0)"},
        {out, "-1", nullptr, "unknown output device '-1'"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.choice);
        std::string error;
        const DeviceInfo* found = FindDevice(kDevices, r.direction, r.choice, &error);
        if (r.found != nullptr) {
            ASSERT_NE(found, nullptr) << error;
            EXPECT_EQ(found->name, r.found);
        } else {
            EXPECT_EQ(found, nullptr);
            EXPECT_NE(error.find(r.error), std::string::npos) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
        }
    }
    std::string error;
    EXPECT_EQ(FindDevice({}, DeviceDirection::Output, "pulse", &error), nullptr);
    EXPECT_EQ(error, "unknown output device 'pulse' (there are no output devices)");
}

TEST(DeviceList, ResolvingNamesBothOrReportsTheFirstMistake) {
    ChosenDevices chosen;
    std::string error;
    ASSERT_TRUE(ResolveDevices(kDevices, "", "usb", chosen, &error)) << error;
    EXPECT_EQ(chosen.input, "");
    EXPECT_EQ(chosen.output, "USB Headset: Audio (hw:1,0)");
    EXPECT_FALSE(ResolveDevices(kDevices, "nosuch", "usb", chosen, &error));
    EXPECT_EQ(error.rfind("unknown input device 'nosuch'", 0), 0u) << error;
}

TEST(DeviceList, ListingShowsEachDirectionWithMarks) {
    const std::vector<DeviceInfo> devices = {
        {0, "pulse", "ALSA", true, true, false, false},
        {12, "default", "ALSA", true, true, true, true},
        {13, "HDMI 0", "ALSA", false, true, false, false},
    };
    EXPECT_EQ(FormatDeviceList(devices, {"", "HDMI 0"}),
              "Input devices:\n"
              "   0  pulse    ALSA\n"
              "  12  default  ALSA  (default input)\n"
              "Output devices:\n"
              "   0  pulse    ALSA\n"
              "  12  default  ALSA  (default output)\n"
              "  13  HDMI 0   ALSA  (chosen)\n");
    EXPECT_EQ(FormatDeviceList({}), "Input devices:\n  none\nOutput devices:\n  none\n");
}

}  // namespace
}  // namespace vocalith::device
