#pragma once

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
