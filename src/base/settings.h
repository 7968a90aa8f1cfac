#pragma once

#include <cstdint>

// The options of one conversion, filled from the command line before any
// stage runs and only read afterwards.
struct Settings {
    uint32_t base_offset = 0;  // 0x06000000 once the command line is read without -o
    float scale = 1024.0f;
    bool tiny_textures = false;
    bool write_header = true;
    bool play_as = false;
    bool mtl_colors = false;
    bool embed_c = false;
    bool fix_uv = false;
};
