#pragma once

#include <cstdint>
#include <string>

struct Context;

// Lines of the header text. Each goes through log_printf, so it reaches
// standard output, the header file and the log window alike. The style follows
// the settings: #define lines and C comments with a header file, a plain
// listing without one, and (u32)(zobj+N) addresses for the C array.

// A section banner, with a line end before and after it.
void log_banner(Context& ctx, const char* title);

// One exported item at `offset` in the object.
void log_item(Context& ctx, const char* prefix, const std::string& name, uint32_t offset, const char* suffix = "");

// The closing line that names the base offset.
void log_base_offset(Context& ctx);

// The largest offset that a segment 6 address can name.
inline constexpr uint32_t max_object_offset = 0xFFFFFF;
