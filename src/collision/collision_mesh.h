#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "collision/surface_types.h"
#include "model/model.h"
#include "output/out_buffer.h"

struct Context;

// A collision vertex: the model position relative to the group's POS point,
// truncated toward zero to 16 bits.
struct CollisionVertex {
    int16_t x = 0, y = 0, z = 0;
};

// A polygon corner index has 13 bits beside the three corner flags.
inline constexpr size_t max_collision_vertices = 8191;
inline constexpr size_t max_surface_types = 4096;

// Where emit_collision placed each list, as offsets in the object.
struct CollisionOffsets {
    uint32_t vertices = 0;
    uint32_t polygons = 0;
    uint32_t surface_types = 0;
    uint32_t water_boxes = 0;
    uint32_t header = 0;
};

// Working storage of the collision emission, kept across groups so that a
// model with many collision groups allocates once. Every list is emptied at
// the start of each group.
struct CollisionScratch {
    std::vector<CollisionVertex> vertices;
    std::unordered_map<uint64_t, uint16_t> vertex_index;  // packed x, y, z -> list index
    SurfaceTypeList surface_types;
    std::unordered_map<uint16_t, uint16_t> material_type;  // material -> surface type index
    std::vector<uint8_t> is_water;                          // per triangle of the group
    // Water triangles, and for each collision vertex the water triangles that
    // use it (in triangle order, each list closed by a sentinel slot).
    std::vector<uint32_t> water_triangles;
    std::vector<uint32_t> vertex_list_start;
    std::vector<uint32_t> vertex_fill;
    std::vector<uint32_t> slot_triangle;
    std::vector<uint32_t> slot_next;  // next slot not yet taken, path-compressed
    std::vector<uint32_t> triangle_slots;  // three slots per water triangle
    std::vector<uint8_t> taken;
    struct Frame {
        uint32_t water;
        uint32_t cursor[3];
    };
    std::vector<Frame> stack;
};

// Writes the collision data of one collision group at the end of `output`:
// vertices, surface types, polygons, water boxes and the 44-byte header, each
// section padded to 4. Pointers are written as `base_offset` + offset. The
// group's triangles are rewritten: positions become collision vertex indices
// and materials surface type indices. Returns the header's offset; the header
// holds pointer words at its offsets 16, 24, 28, 32 and 40.
uint32_t emit_collision(Context& ctx, Model& model, uint16_t group, uint32_t base_offset, OutBuffer& output,
                        CollisionOffsets* offsets = nullptr);
