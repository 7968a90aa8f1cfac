#pragma once

#include <string_view>

// Radiance HDR files ("#?RADIANCE" or "#?RGBE") go to the system decoder only
// when it will find every byte it reads: its version spins forever on
// run-length data cut short (past the end it reads zeros, runs of length
// none), and leaves pixels unset when plain data is.

// Whether the file is one the system decoder takes for a Radiance HDR file.
bool is_radiance_hdr(std::string_view file);

// Whether the system decoder, reading the file, ends within it: its header,
// then the pixels, plain or run-length encoded, walked as the decoder walks
// them. A file the decoder refuses on its own (a bad header, a wrong scanline
// length, a run longer than its line) counts as complete: it is refused anyway.
bool radiance_data_complete(std::string_view file);
