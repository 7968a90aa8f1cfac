#pragma once

#include <array>
#include <cstdint>

#include "view/list_walk.h"

// Reads texels out of texture memory through a tile, as the RDP does: the
// tile's format and size, its line length and address, and per axis its
// clamp, mirror, mask and shift.

using Rgba = std::array<uint8_t, 4>;

// The texel nearest to (s, t), in texel units of the vertex coordinates.
Rgba sample_tile(const RenderState& state, uint8_t tile, float s, float t);

// One texel at whole coordinates already wrapped into the tile.
Rgba tile_texel(const RenderState& state, const TileState& tile, uint32_t s, uint32_t t);
