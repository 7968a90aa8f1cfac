#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/settings.h"

// Everything a conversion takes from its command line.
struct CommandLine {
    Settings settings;
    bool link_format = false;  // handed to the object assembly, not a setting
    std::string input_path;
    std::string output_path;
    // Where the header text (or with embed_c the C array) is written; absent
    // when no header file is wanted.
    std::optional<std::string> header_path;
};

// Parses `args` (args[0] is the program; at least four entries): the mode
// word, input, output, then switches. Every problem is fatal; nothing is
// written here.
CommandLine parse_command_line(const std::vector<std::string>& args);

// Parses a scale value as "-s" takes it: a number or a ratio such as 1/2.
float parse_scale(const std::string& text);

// Parses and checks a base offset value as "-o" takes it (hexadecimal).
uint32_t parse_base_offset(const std::string& text);
