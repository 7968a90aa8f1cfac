#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/platform.h"

// What every harness shares: a platform that shows nothing, and a private
// folder holding copies of the files in fuzz/assets (a small image, a
// material library, a skeleton and a model) beside which inputs are written.

// Keeps message boxes to itself, so a run spends its time in the readers.
struct QuietPlatform : Platform {
    void message_box(const std::string&, const std::string&, MessageIcon) override {}
    int run_main_window(const std::string&) override { return 0; }
    int run_log_window(const std::string&) override { return 0; }
};

// The harness's folder, made and filled on first use; ends in '/'.
const std::string& fuzz_folder();

// Writes the input to `name` in the harness's folder and returns its path.
std::string write_fuzz_input(const std::string& name, const uint8_t* data, size_t size);
