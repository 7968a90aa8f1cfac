#pragma once

#include <string>

#include "base/platform.h"

// True when the environment asks for no windows: TESSALOOM_HEADLESS set to
// anything but "" or "0", or no display at all. Null means "not set".
bool headless_requested(const char* headless, const char* display, const char* wayland_display);

// True when TESSALOOM_HEADLESS (null: not set) asks for no windows: set to
// anything but "" or "0". On Windows the desktop is always there.
bool headless_switch_set(const char* headless);

// Windowless platform: messages become lines on standard error, the main
// window becomes the usage text, the log window is skipped.
class HeadlessPlatform : public Platform {
public:
    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override;
    int run_main_window(const std::string& program_path) override;
    int run_log_window(const std::string& log_text) override;
};

// The usage text printed in place of the main window.
std::string usage_text(const std::string& program_path);
