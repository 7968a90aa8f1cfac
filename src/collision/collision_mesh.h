#pragma once

#include <cstdint>
#include <vector>

#include "base/out_buffer.h"
#include "collision/surface_types.h"
#include "model/model.h"

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

// Writes the collision data of one collision group at the end of `output`:
// vertices, surface types, polygons, water boxes and the 44-byte header, each
// section padded to 4. Pointers are written as `base_offset` + offset. The
// group's triangles are rewritten: positions become collision vertex indices
// and materials surface type indices. Returns the header's offset; the header
// holds pointer words at its offsets 16, 24, 28, 32 and 40. A position that
// does not fit 16 bits from its group's POS point stops the conversion, the
// message suggesting a smaller `scale` (the one the model was read with).
uint32_t emit_collision(Model& model, uint16_t group, uint32_t base_offset, float scale, OutBuffer& output,
                        CollisionOffsets* offsets = nullptr);
