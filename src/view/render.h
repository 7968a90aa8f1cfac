#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/list_walk.h"
#include "view/view_object.h"

// A picture of three orthographic views side by side (front from +z, side
// from +x, top from +y), each `size` pixels square, fitted to what is drawn.

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

inline constexpr uint8_t background[4] = {40, 44, 52, 255};

// One display list to draw: the list, the matrix it is drawn under, and the
// limb matrices in force.
struct DrawCall {
    std::string item;
    uint32_t offset = 0;
    Mat4 modelview;
    const std::vector<Mat4>* limb_matrices = nullptr;
};

Picture render_views(const ViewObject& object, const std::vector<DrawCall>& calls, int size);

// Writes the picture as PNG; the file takes its name only once complete.
void write_png(const Picture& picture, const std::string& path);
