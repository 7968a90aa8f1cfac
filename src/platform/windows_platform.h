#pragma once

#include "base/platform.h"

// The Windows face: message boxes through MessageBoxA. Built into the
// Windows executable only. Until the Win32 main window and log window
// exist, the main window is the usage text in a message box and the log
// window is skipped (the header text has gone to standard output).
class WindowsPlatform : public Platform {
public:
    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override;
    int run_main_window(const std::string& program_path) override;
    int run_log_window(const std::string& log_text) override;
};

// Puts standard output into binary mode: the header text carries its own
// carriage returns, which text mode would double.
void use_binary_standard_output();
