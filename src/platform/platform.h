#pragma once

#include <memory>
#include <string>

// What the converter asks of the desktop: message boxes, the two windows and,
// later, file dialogs, the clipboard and starting a process. The conversion
// itself never touches the desktop except through this interface.
enum class MessageIcon { None, Information, Warning };

class Platform {
public:
    virtual ~Platform() = default;

    // Shows a modal message and returns once it has been acknowledged.
    virtual void message_box(const std::string& title, const std::string& text, MessageIcon icon) = 0;

    // The face shown without a full command line. Returns the exit code.
    virtual int run_main_window(const std::string& program_path) = 0;

    // Shows the header text after a conversion and returns the exit code once
    // the window is closed.
    virtual int run_log_window(const std::string& log_text) = 0;
};

// True when the environment asks for no windows: TESSALOOM_HEADLESS set to
// anything but "" or "0", or no display at all. Null means "not set".
bool headless_requested(const char* headless, const char* display, const char* wayland_display);

// The platform for this process, chosen from the environment.
std::unique_ptr<Platform> make_platform();

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
