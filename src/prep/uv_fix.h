#pragma once

#include <cstddef>

#include "model/model.h"

class Platform;

// The console's vertex texture coordinates are signed 16-bit numbers in 10.5
// fixed point texels, so they reach only 1024 texels either side of zero. A
// triangle is out of range when one of its corners has |u| x width or
// |v| x height of 1024 or more, with the size of its own material's texture
// (tex_width_f, tex_height_f); untextured materials never are.

// Moves each out-of-range triangle's texture coordinates by whole repeats
// toward zero until they fit, which keeps the texture's look on the
// triangle. The triangle gets private copies of its three records first, so
// no neighbour moves with it. Per axis, u then v: while a corner is out of
// range, step all three by one repeat, down while the largest is 0 or more,
// up otherwise; a triangle whose coordinates spread 32 repeats or more gets
// them all set to 0 and is hidden (kind 1). When a step would go back to a
// position the pass has already been in, the three are centred on zero
// instead, and hidden as above only if they still do not fit; the other
// axis is processed all the same. Costs one pass over the triangles plus the
// repeats it moves.
void fix_uv_overflow(Model& model);

// The number of out-of-range triangles.
size_t count_uv_overflow(const Model& model);

// Without the fix: one warning saying how many triangles are out of range
// and that -uv moves them into range; none when every triangle fits.
void warn_uv_overflow(Platform& platform, const Model& model);
