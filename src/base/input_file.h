#pragma once

#include <cstdint>
#include <string>

// The largest input file read: far beyond any model the console can hold,
// small enough that a wrong name cannot exhaust memory.
inline constexpr uint64_t max_input_file_bytes = uint64_t{1} << 30;

// Reads the whole file at `path` into `bytes`. Only a regular file of at most
// max_input_file_bytes is read: a device, a pipe or a folder (which could
// block, or never end) is refused before it is opened. Returns false, with
// `bytes` empty, when the file is refused or cannot be read; the caller says
// so in its own words.
bool read_input_file(const std::string& path, std::string& bytes);
