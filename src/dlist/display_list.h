#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/out_buffer.h"
#include "model/model.h"

struct Context;

// The 16-byte vertex record of the object file, big-endian:
//   0 x, 2 y, 4 z        signed 16-bit position in model units
//   6 limb               limb number of the vertex's bone, or 0xFF
//   7 zero               (bytes 6-7 are the microcode's vertex flag word)
//   8 s, 10 t            signed 16-bit texture coordinate, 10.5 texels
//   12 nx, 13 ny, 14 nz  normal times 127
//   15 alpha             0xFF
using OutVertex = std::array<uint8_t, 16>;

// The microcode's vertex buffer holds 32 entries; a batch uses at most 31.
inline constexpr uint8_t vertex_buffer_size = 32;
inline constexpr uint8_t max_batch_vertices = 31;

// A vertex record made for a corner, by the corner's position, texture
// coordinate, normal and group indices and its material.
struct RecordCacheEntry {
    uint64_t key = 0;
    const Material* material = nullptr;
    uint32_t generation = 0;  // the list it was made for; 0: none
    OutVertex record{};
};

// Working storage of the display list builder. The caller keeps one for all
// the lists of a conversion, so its buffers are allocated once.
struct DisplayListScratch {
    std::array<OutVertex, vertex_buffer_size> vertex_batch{};
    uint8_t vertex_count = 0;
    // The batch's records by their bytes, so that a corner finds its equal
    // without comparing with every record: an open-addressed table of batch
    // index + 1, 0 for an empty slot.
    std::array<uint8_t, 64> record_slots{};
    // Records already made in the list being built, looked up by corner.
    std::array<RecordCacheEntry, 256> record_cache{};
    uint32_t cache_generation = 0;
    // Vertex-batch indices of the batch's drawn triangles; not capped at 255.
    std::vector<std::array<uint8_t, 3>> batch_triangles;
    // One display list is assembled here before it is appended to the object.
    OutBuffer scratch_list;
    // The material whose state was last put into scratch_list; none at the start of a list.
    const Material* previous_material = nullptr;
};

// Builds the display list of one group (an index into model.group_starts):
// appends the vertex records of its batches and then the list itself to
// `output`, and returns the offset of the list's first command, or -1 when
// the group has no triangles (or its triangles went to limbs), writing
// nothing. `limb` is the limb index of the limb being built, or 0xFF for an
// ordinary group; `name` is the group's name for ordinary groups, null for
// limbs, and chooses the matrix commands that open the list.
int32_t build_display_list(Context& ctx, Model& model, DisplayListScratch& scratch, OutBuffer& output,
                           uint16_t group, uint8_t limb, const char* name);
