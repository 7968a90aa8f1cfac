#include "output/animation_encoding.h"

#include <vector>

#include "base/context.h"
#include "base/header_text.h"
#include "base/messages.h"
#include "base/out_buffer.h"
#include "model/model.h"

// Units of a 16-bit angle per degree: 65536 / 360 as this ten-place
// decimal, which decides where the products truncate (90 degrees is 0x3FFF).
static constexpr double angle_units_per_degree = 182.044444444;

// Frame data (constants, tracks and padding) larger than this is still
// written, but its header line carries a warning.
static constexpr uint32_t frame_data_budget = 5120;

// An angle in degrees as the console's 16-bit angle: scaled in double
// precision, truncated toward zero, low 16 bits. The reader keeps angles in
// [0, 360], so the product always fits.
static uint16_t angle_to_u16(float degrees)
{
    const double units = static_cast<double>(degrees) * angle_units_per_degree;
    return static_cast<uint16_t>(static_cast<int64_t>(units) & 0xFFFF);
}

uint16_t find_or_add_constant(OutBuffer& ob, ConstantBlock& constants, uint16_t value)
{
    const auto [found, added] = constants.index_of.try_emplace(value, constants.count);
    if (!added)
        return found->second;
    ob_write_u16(ob, value);
    return constants.count++;
}

namespace {

// The 16-bit values of every channel in every frame, frame by frame. The
// channels are the root translation x, y, z, then the rotation x, y, z of
// every bone in bone order.
struct ChannelValues {
    size_t channels = 0;
    std::vector<uint16_t> values;

    uint16_t at(size_t frame, size_t channel) const { return values[frame * channels + channel]; }
};

}  // namespace

static ChannelValues channel_values(const Animation& animation, size_t bones, size_t frames)
{
    ChannelValues table;
    table.channels = 3 + 3 * bones;
    table.values.resize(frames * table.channels);
    uint16_t* out = table.values.data();
    for (size_t f = 0; f < frames; ++f) {
        for (const int16_t axis : animation.translations[f])
            *out++ = static_cast<uint16_t>(axis);
        for (size_t b = 0; b < bones; ++b)
            for (const float axis : animation.rotations[f * bones + b])
                *out++ = angle_to_u16(axis);
    }
    return table;
}

// Which channels hold frame 0's value in every frame.
static std::vector<uint8_t> constant_channels(const ChannelValues& table, size_t frames)
{
    std::vector<uint8_t> constant(table.channels, 1);
    for (size_t f = 1; f < frames; ++f)
        for (size_t c = 0; c < table.channels; ++c)
            constant[c] &= static_cast<uint8_t>(table.at(f, c) == table.at(0, c));
    return constant;
}

// Stops the conversion when an animation does not hold what its frame count
// and the skeleton promise; the reader never leaves one so.
static void check_animation(const Animation& animation, size_t bones)
{
    const size_t frames = animation.frame_count;
    if (frames == 0 || animation.translations.size() < frames || animation.rotations.size() < frames * bones)
        fatal_error("Animation '%s' holds %zu translations and %zu rotations for %zu frames of %zu bones",
                    animation.name.c_str(), animation.translations.size(), animation.rotations.size(), frames,
                    bones);
}

void encode_animation(Context& ctx, const Model& model, size_t index, OutBuffer& ob)
{
    const Animation& animation = model.animations[index];
    const size_t bones = model.skeletons[0].bones.size();
    const size_t frames = animation.frame_count;
    check_animation(animation, bones);
    const ChannelValues table = channel_values(animation, bones, frames);

    ob_align4(ob);
    const uint32_t data_start = ob.length;
    ConstantBlock constants;
    constants.index_of.reserve(table.channels);

    // Which channels never change. The constants follow in order of first
    // appearance, the translation axes before the bones', each value stored
    // once however many channels share it.
    const std::vector<uint8_t> constant = constant_channels(table, frames);
    std::vector<uint16_t> joint_index(table.channels);
    size_t tracks = 0;
    for (size_t c = 0; c < table.channels; ++c) {
        if (constant[c])
            joint_index[c] = find_or_add_constant(ob, constants, table.at(0, c));
        else
            ++tracks;
    }

    // Joint indices are 16 bits, so the last track must start within reach.
    if (tracks > 0 && constants.count + frames * (tracks - 1) > 0xFFFF)
        fatal_error("Animation '%s' has %zu changing channels of %zu frames: its tracks would start beyond the "
                    "65535 values that a joint index can reach",
                    animation.name.c_str(), tracks, frames);

    // The tracks of the changing channels, one value per frame, in channel
    // order behind the constants.
    for (size_t c = 0; c < table.channels; ++c) {
        if (constant[c])
            continue;
        joint_index[c] = static_cast<uint16_t>((ob.length - data_start) / 2);
        for (size_t f = 0; f < frames; ++f)
            ob_write_u16(ob, table.at(f, c));
    }

    ob_align4(ob);
    const uint32_t table_start = ob.length;
    for (const uint16_t joint : joint_index)
        ob_write_u16(ob, joint);

    ob_align4(ob);
    const uint32_t header = ob.length;
    log_item(ctx, "ANIM_", animation.name, header,
             table_start - data_start > frame_data_budget ? " /* warning: A000 */" : "");

    ob_write_u16(ob, static_cast<uint16_t>(frames));
    ob_write_u16(ob, 0);
    add_pointer_position(ctx.pointer_positions, ob.length);
    ob_write_u32(ob, ctx.settings.base_offset + data_start);
    add_pointer_position(ctx.pointer_positions, ob.length);
    ob_write_u32(ob, ctx.settings.base_offset + table_start);
    ob_write_u16(ob, constants.count);
    ob_write_u16(ob, 0);
}
