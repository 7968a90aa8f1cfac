#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

struct Context;
struct Model;
struct OutBuffer;

// The constant values of one animation's frame data as they are written:
// how many there are, and where each value stands among them. A skeleton of
// 255 bones has 768 channels, and a pass over the constants for each of
// them would cost more than the whole rest of the encoding.
struct ConstantBlock {
    uint16_t count = 0;
    std::unordered_map<uint16_t, uint16_t> index_of;
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
