#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/platform.h"
#include "gui/main_window_request.h"

// The desktop platform, shared by the files of the desktop face. It is both
// the converter's Platform and the face that a main-window request uses.
class DesktopPlatform : public Platform, public RequestFace {
public:
    // `test_dialogs`: the answers that the open and the save dialog give
    // instead of showing themselves, for tests that drive the windows
    // (TESSALOOM_TEST_DIALOGS, "OPEN\nSAVE", an empty answer cancels).
    explicit DesktopPlatform(std::optional<std::string> test_dialogs);

    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override;
    int run_main_window(const std::string& program_path) override;
    int run_log_window(const std::string& log_text) override;

    void message(const std::string& title, const std::string& text, MessageIcon icon) override
    {
        message_box(title, text, icon);
    }
    std::optional<std::string> open_file(const FileDialog& dialog) override;
    std::optional<std::string> save_file(const FileDialog& dialog) override;
    void start_program(const std::vector<std::string>& args) override;

private:
    std::optional<std::string> file_dialog(const FileDialog& dialog, bool save);
    std::optional<std::string> test_dialogs_;
};
