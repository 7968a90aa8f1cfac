#pragma once

#include <string>
#include <vector>

#include "base/platform.h"

// A platform that keeps every message box as "title: text" instead of
// showing it.
struct RecordingPlatform : Platform {
    std::vector<std::string> boxes;
    void message_box(const std::string& title, const std::string& text, MessageIcon) override
    {
        boxes.push_back(title + ": " + text);
    }
    int run_main_window(const std::string&) override { return 0; }
    int run_log_window(const std::string&) override { return 0; }
};
