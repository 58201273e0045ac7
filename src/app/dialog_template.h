#pragma once
// The main window's and the About box's layout: every control with its id,
// kind, text and place in dialog units, in tab order. A horizontal dialog
// unit is a quarter of the dialog font's average character width and a
// vertical one an eighth of its height; with the intended font (6 by 13
// pixels) that is 1.5 and 1.625 pixels.
#include <array>
#include <cmath>

namespace vocalith::app {

// Control ids of the main window.
enum ControlId : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDC_ENGLISH = 1000,
    IDC_PHONETIC = 1001,
    IDC_SPEAK = 1002,
    IDC_TO_PHON = 1003,
    IDC_TO_WORK = 1004,
    IDC_PHON_LIST = 1005,
    IDC_TRIM = 1008,
    IDC_WAVE_FRAME = 1009,
    IDC_PLAY = 1010,
    IDC_REC = 1012,
    IDC_LOAD = 1013,
    IDC_SAVE = 1014,
    IDC_MONITOR = 1016,
    IDC_STATUS = 1017,
    IDC_WARNINGS = 1018,
    IDC_SELECTION = 1019,
    IDC_EFFECTS = 1020,
    IDC_VOICE = 1021,
};

inline constexpr int IDM_ABOUT = 16;          // system command of the About item
inline constexpr unsigned PUMP_TIMER_ID = 2;  // the 10 ms pump timer
inline constexpr int PUMP_TIMER_MS = 10;
// The pump's period while it has no work: short against the 450 ms a queued
// clip waits before it sounds, long enough that an idle window costs nothing.
inline constexpr int IDLE_PUMP_TIMER_MS = 100;

enum class ControlKind {
    Edit,           // single line, scrolls horizontally
    MultiLineEdit,  // word wrap
    PushButton,
    DefaultButton,
    CheckBox,
    BlackFrame,
    ListView,
    Label,
    DropDownList,   // not editable
    DropDownCombo,  // editable, sorted
    Icon,
};

struct TemplateControl {
    int id;  // 0 for a control without an id
    ControlKind kind;
    const char* text;
    int x, y, width, height;  // dialog units
};

inline constexpr int MAIN_WIDTH_UNITS = 522;
inline constexpr int MAIN_HEIGHT_UNITS = 206;
inline constexpr int ABOUT_WIDTH_UNITS = 217;
inline constexpr int ABOUT_HEIGHT_UNITS = 162;

// The dialog font's base units in pixels, and dialog units converted with
// them, rounded half up. The units may be fractional: a window made to fit
// a small screen, or widened for a font, takes them in quarter pixels.
struct DialogUnits {
    double charWidth = 6;    // average character width
    double charHeight = 13;  // character cell height
    int X(int units) const { return Scale(units, charWidth, 4); }
    int Y(int units) const { return Scale(units, charHeight, 8); }
    bool operator==(const DialogUnits&) const = default;

  private:
    static int Scale(int units, double base, int per) {
        return static_cast<int>(std::lround(units * base / per));
    }
};

inline constexpr const char* kWelcomeText = "Welcome to Vocalith!  Now go crazy!";

// The main window's controls in template order, which is the tab order.
inline constexpr std::array<TemplateControl, 24> kMainTemplate{{
    {IDC_ENGLISH, ControlKind::Edit, "", 7, 129, 454, 13},
    {IDOK, ControlKind::DefaultButton, "TTS", 465, 128, 50, 14},
    {IDC_PHONETIC, ControlKind::MultiLineEdit, "", 7, 154, 508, 32},
    {IDC_SPEAK, ControlKind::PushButton, "Speak!", 465, 189, 50, 14},
    {IDC_PLAY, ControlKind::PushButton, "Play", 7, 104, 27, 12},
    {IDC_REC, ControlKind::PushButton, "Rec", 120, 104, 27, 12},
    {IDC_MONITOR, ControlKind::CheckBox, "Monitor", 158, 105, 38, 10},
    {IDC_TRIM, ControlKind::PushButton, "Trim", 331, 86, 27, 12},
    {IDC_LOAD, ControlKind::PushButton, "Load", 369, 104, 27, 12},
    {IDC_SAVE, ControlKind::PushButton, "Save", 405, 104, 27, 12},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 347, 4, 11, 14},
    {IDC_WAVE_FRAME, ControlKind::BlackFrame, "", 7, 16, 316, 83},
    {IDC_TO_PHON, ControlKind::PushButton, ">>", 331, 35, 27, 12},
    {IDC_TO_WORK, ControlKind::PushButton, "<<", 331, 58, 27, 12},
    {IDC_PHON_LIST, ControlKind::ListView, "", 365, 16, 150, 83},
    {0, ControlKind::Label,
     "English:  (Type a sentence, then press TTS to make phonetic equivalent)", 7, 120, 255, 9},
    {0, ControlKind::Label, "Phonetic: (Press Speak! to hear it spoken with current PHON set)", 7,
     144, 223, 10},
    {IDC_STATUS, ControlKind::Label, kWelcomeText, 7, 194, 392, 9},
    {0, ControlKind::Label,
     "Work Buffer: REC data, Left/Right click for selection, >> to save selection to current "
     "PHON.",
     7, 4, 325, 8},
    {0, ControlKind::Label, "Phon Table: (from VOICES folder)", 366, 4, 136, 9},
    {IDC_WARNINGS, ControlKind::CheckBox, "Warnings", 411, 191, 45, 11},
    {IDC_SELECTION, ControlKind::Label, "", 39, 105, 75, 9},
    {IDC_EFFECTS, ControlKind::DropDownList, "", 203, 104, 121, 207},
    {IDC_VOICE, ControlKind::DropDownCombo, "", 439, 104, 76, 156},
}};

// The About box: caption "About Vocalith".
inline constexpr const char* kAboutVersionText = "Vocalith Version 1.0\r\nvocalith.example.org";
inline constexpr const char* kAboutCreditsText =
    "Letter-to-sound rules, mixer,\r\nwork buffer and effects\r\nby the Vocalith "
    "team.\r\nThanks to every tester.";
inline constexpr const char* kAboutInstructionsText =
    "Instructions:  None!  Be curious! \r\n\r\n* Click in work buffer to select 'range' of "
    "data.  \r\n* Press >> to copy selected data into selected PHON.  \r\n* See if you can "
    "make a cool-sounding PHON-set!";
// The last sentence names what the program needs on this system.
inline constexpr const char* kAboutDescriptionText =
    "This program turns english sentences into phonetic equivalents, and then speaks them aloud "
    "using phoneme data you record from your own voice.  It's fun!  It requires a sound device.";

inline constexpr std::array<TemplateControl, 6> kAboutTemplate{{
    {0, ControlKind::Icon, "", 7, 7, 21, 20},
    {0, ControlKind::Label, kAboutVersionText, 45, 7, 119, 18},
    {0, ControlKind::Label, kAboutCreditsText, 48, 68, 119, 40},
    {IDOK, ControlKind::DefaultButton, "OK", 178, 7, 32, 14},
    {0, ControlKind::Label, kAboutInstructionsText, 7, 115, 203, 40},
    {0, ControlKind::Label, kAboutDescriptionText, 7, 32, 203, 31},
}};

// The context menu's item that opens the device dialog, above About ("&"
// marks the access key).
inline constexpr const char* kDevicesItemText = "Audio &Devices...";
inline constexpr const char* kRecordVoiceItemText = "Record a &Voice...";
// The menu text of the About item.
inline constexpr const char* kAboutItemText = "&About Vocalith...";

}  // namespace vocalith::app
