#pragma once

#include <array>

// The controls of the two windows, in creation order, at client coordinates.
// The desktop face builds its widgets from these tables; the request logic
// and the tests read the same tables, so a label or a position lives in one
// place only.
enum class ControlKind { CheckBox, Label, EditBox, Button, TextBox };

struct Control {
    ControlKind kind;
    const char* text;  // the random line has none: it is chosen at creation
    int x, y, width, height;
    int id;  // 0 for controls without an identifier
};

constexpr const char* kMainWindowTitle = "tessaloom";
constexpr int kMainWindowWidth = 230;
constexpr int kMainWindowHeight = 385;

constexpr const char* kLogWindowTitle = "tessaloom output";
constexpr int kLogWindowWidth = 400;
constexpr int kLogWindowHeight = 425;

// Command identifiers.
constexpr int kIdConvert = 1;
constexpr int kIdExit = 2;       // "Done" in the log window
constexpr int kIdAbout = 3;      // "Copy to clipboard" in the log window
constexpr int kIdScale = 1007;   // also the log window's text box
constexpr int kIdOffset = 1012;

constexpr int kCheckBoxCount = 7;

constexpr std::array<Control, 15> kMainWindowControls = {{
    {ControlKind::CheckBox, "Use insanely small textures", 10, 10, 210, 25, 1008},
    {ControlKind::CheckBox, "Link hierarchy format", 10, 40, 210, 25, 1010},
    {ControlKind::CheckBox, "No obj.h nor C output", 10, 70, 210, 25, 1009},
    {ControlKind::CheckBox, "Embed play-as data", 10, 100, 210, 25, 1011},
    {ControlKind::CheckBox, "Fix UV overflows", 10, 130, 210, 25, 1020},
    {ControlKind::CheckBox, "Use MTL colors", 10, 160, 210, 25, 1021},
    {ControlKind::CheckBox, "Write embeddable C .zobj", 10, 190, 210, 25, 1022},
    {ControlKind::Label, "Scale:", 10, 220, 100, 15, 0},
    {ControlKind::Label, "Base Offset:", 120, 220, 100, 15, 0},
    {ControlKind::EditBox, "1024", 10, 240, 100, 25, kIdScale},
    {ControlKind::EditBox, "0x0", 120, 240, 90, 25, kIdOffset},
    {ControlKind::Button, "OBJ[EX] to ZOBJ", 10, 270, 200, 25, kIdConvert},
    {ControlKind::Button, "About", 10, 300, 90, 25, kIdAbout},
    {ControlKind::Button, "Exit", 110, 300, 100, 25, kIdExit},
    {ControlKind::Label, nullptr, 10, 330, 210, 15, 0},
}};

// The checkbox that asks for the C array, by its index among the checkboxes.
constexpr int kEmbedCCheckBox = 6;

// The switch of each checkbox, in the order the command line lists them,
// with the checkbox's index in creation order.
struct CheckBoxSwitch {
    int check_box;
    const char* text;
};
constexpr std::array<CheckBoxSwitch, kCheckBoxCount> kCheckBoxSwitches = {{
    {1, "-l "},   // Link hierarchy format
    {0, "-tt "},  // Use insanely small textures
    {2, "-nh "},  // No obj.h nor C output
    {3, "-p "},   // Embed play-as data
    {4, "-uv "},  // Fix UV overflows
    {5, "-mc "},  // Use MTL colors
    {6, "-cz "},  // Write embeddable C .zobj
}};

constexpr std::array<Control, 3> kLogWindowControls = {{
    {ControlKind::TextBox, nullptr, 10, 10, 375, 340, 1007},
    {ControlKind::Button, "Copy to clipboard", 10, 360, 180, 25, 3},
    {ControlKind::Button, "Done", 200, 360, 180, 25, 2},
}};
