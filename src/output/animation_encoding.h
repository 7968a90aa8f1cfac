#pragma once

#include <cstddef>
#include <cstdint>

struct Context;
struct Model;
struct OutBuffer;

// The constant values of one animation's frame data as they are written:
// `count` u16 values from offset `start` of the object.
struct ConstantBlock {
    uint32_t start = 0;
    uint16_t count = 0;
};

// The index of `value` among the constants written so far; a value not yet
// among them is appended to the buffer (which must end right after them)
// and gets the next index.
uint16_t find_or_add_constant(OutBuffer& ob, ConstantBlock& constants, uint16_t value);

// Appends animation `index` of the model in the console's form: the
// constant values and the tracks of the changing channels, the joint index
// table and the 16-byte header, whose two pointer words are recorded in
// ctx.pointer_positions. Writes the animation's "ANIM_" header line at the
// header's offset. The channels are the root translation and the rotation
// of every bone of skeleton 0, which the model must have.
void encode_animation(Context& ctx, const Model& model, size_t index, OutBuffer& ob);
