#include "dlist/material_commands.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "base/context.h"
#include "base/messages.h"
#include "dlist/gbi.h"
#include "dlist/truncate.h"

// Commands that a change of material compares with the previous material's,
// with the bytes that make one unit: the two geometry-mode commands (clear,
// then set) go together.
struct DiffCommand {
    uint8_t opcode;
    uint32_t length;
};
static constexpr std::array<DiffCommand, 6> diff_command_sizes{{
    {G_SETPRIMCOLOR, 8},
    {G_SETCOMBINE, 8},
    {G_GEOMETRYMODE, 16},
    {G_SETOTHERMODE_L, 8},
    {G_TEXTURE, 8},
    {G_SETTILESIZE, 8},
}};

// Colour-combiner multiplexer inputs.
static constexpr uint8_t cc_combined = 0;
static constexpr uint8_t cc_texel0 = 1;
static constexpr uint8_t cc_primitive = 3;
static constexpr uint8_t cc_environment = 5;
static constexpr uint8_t cc_zero = 31;  // in colour a, b and c
static constexpr uint8_t ac_zero = 7;   // in alpha a to d (and colour d)

// Positions of the 16 inputs.
enum CombinerInput : size_t {
    c1_colour_a, c1_colour_b, c1_colour_c, c1_colour_d,
    c1_alpha_a, c1_alpha_b, c1_alpha_c, c1_alpha_d,
    c2_colour_a, c2_colour_b, c2_colour_c, c2_colour_d,
    c2_alpha_a, c2_alpha_b, c2_alpha_c, c2_alpha_d,
};

// Cycle 1: texel 0 times shade, alpha 1; cycle 2: the combined colour times
// the primitive colour, alpha passed on.
static constexpr std::array<uint8_t, 16> default_combiner = {1, 31, 4, 31, 7, 7, 7, 6, 0, 31, 3, 31, 7, 7, 7, 0};

// Bits of the blender's render mode word.
static constexpr uint32_t render_base = 0xC8100050;  // fog, shade alpha, blend with memory; depth compare, image read
static constexpr uint32_t rm_aa_en = 0x8;
static constexpr uint32_t rm_z_upd = 0x20;
static constexpr uint32_t rm_clr_on_cvg = 0x80;
static constexpr uint32_t rm_cvg_dst_wrap = 0x100;
static constexpr uint32_t rm_zmode_xlu = 0x800;
static constexpr uint32_t rm_zmode_dec = 0xC00;
static constexpr uint32_t rm_cvg_x_alpha = 0x1000;
static constexpr uint32_t rm_alpha_cvg_sel = 0x2000;
static constexpr uint32_t rm_force_bl = 0x4000;
static constexpr uint32_t rm_cycle2_memory_alpha = 0x10000;

// A colour channel of 0..1 as the console's byte: times 255 in float,
// truncated to 16 bits, low byte kept.
static uint8_t colour_byte(float channel)
{
    return static_cast<uint8_t>(static_cast<uint16_t>(trunc16(channel * 255.0f)) & 0xFF);
}

// The material's texture, or null; a texture index beyond the table is a
// fault of an earlier stage and stops the conversion.
static const Texture* material_texture(const Model& model, const Material& material)
{
    if (material.texture == no_texture)
        return nullptr;
    if (material.texture >= model.textures.size())
        fatal_error("Material '%s' names texture %u, but the model has %zu textures", material.name.c_str(),
                    unsigned{material.texture}, model.textures.size());
    return &model.textures[material.texture];
}

// A texture scale as the 0.16 fixed point of G_TEXTURE: 0xFFFF from 1.0 on,
// else the scale times 65535 in float, truncated. Negative or undefined
// scales give 0.
static uint16_t texture_scale(float scale)
{
    if (scale >= 1.0f)
        return 0xFFFF;
    const float fixed = scale * 65535.0f;
    if (!(fixed > 0.0f))
        return 0;
    return static_cast<uint16_t>(std::min(fixed, 65535.0f));
}

// The floor of log2, the tile mask for a side of that many texels.
static uint32_t tile_mask(uint32_t side)
{
    return side == 0 ? 0 : static_cast<uint32_t>(std::bit_width(side) - 1);
}

// Wrap mode 1 is clamp; 1995 is taken as clamp too.
static bool clamps(uint16_t wrap)
{
    return wrap == 1 || wrap == 1995;
}

void emit_texture_load(const Settings& settings, const Model& model, OutBuffer& commands, const Material& material)
{
    const Texture* found = material_texture(model, material);
    if (found == nullptr)
        fatal_error("Material '%s' has no texture to load", material.name.c_str());
    const Texture& texture = *found;
    if (texture.bit_size > G_IM_SIZ_32b)
        fatal_error("Texture '%s' has no texel size (%u); it was not converted", texture.path.c_str(),
                    unsigned{texture.bit_size});

    // A stack of bank images shows one image at a time.
    const int64_t w = texture.out_width;
    const int64_t h = std::min(texture.out_height, texture.base_height);
    const uint8_t fmt = texture.format;
    const uint8_t siz = texture.bit_size;
    const bool indexed = fmt == G_IM_FMT_CI;

    const uint32_t texel_address = (texture.bank_address & 3) == 0 ? texture.bank_address
                                                                    : settings.base_offset + texture.offset;
    // After emission data_size holds the offset of a colour-indexed texture's palette.
    const uint32_t palette_address = settings.base_offset + texture.data_size;

    // Tile wrap: mirroring from halving, clamping from either texture slot.
    const uint32_t cm_s = texture.mirror_s + (clamps(material.slots[0].wrap_u) || clamps(material.slots[1].wrap_u) ? 2u : 0u);
    const uint32_t cm_t = texture.mirror_t + (clamps(material.slots[0].wrap_v) || clamps(material.slots[1].wrap_v) ? 2u : 0u);
    // A texture halved to fit texture memory is still addressed in texels of
    // the full image; the shifts scale the coordinates back down.
    const uint32_t wrap = tile_wrap(cm_s, tile_mask(static_cast<uint32_t>(w)), cm_t, tile_mask(static_cast<uint32_t>(h))) |
                          tile_shift(texture.shift_s, texture.shift_t);

    const uint32_t tile_lrs = static_cast<uint32_t>(4 * w - 4);
    const uint32_t tile_lrt = static_cast<uint32_t>(4 * h - 4);

    ob_write_command(commands, set_texture_lut(indexed ? G_TT_RGBA16 : G_TT_NONE));
    ob_write_command(commands, texture_on(texture_scale(material.scale_s), texture_scale(material.scale_t)));

    // The load size, block length (lrs), words-per-line step (dxt) and
    // render tile line width depend on the texel size.
    uint8_t load_siz = G_IM_SIZ_16b;
    int64_t lrs = 0, dxt = 0, line = 0;
    uint32_t palette_colours = 0;
    if (siz == G_IM_SIZ_4b) {
        // 4-bit texels are loaded as 16-bit words, four texels each.
        lrs = ((w * h + 3) >> 2) - 1;
        dxt = w < 16 ? 2048 : ((w >> 4) + 2047) / (w >> 4);
        line = ((w >> 1) + 7) >> 3;
        palette_colours = indexed ? 16 : 0;
    } else {
        // 8- and 16-bit texels load as 16-bit words, 32-bit ones as they are.
        load_siz = siz < G_IM_SIZ_32b ? G_IM_SIZ_16b : G_IM_SIZ_32b;
        const int64_t bytes_per_texel = siz == G_IM_SIZ_8b ? 1 : siz == G_IM_SIZ_16b ? 2 : 4;
        const int64_t line_factor = siz == G_IM_SIZ_32b ? 2 : siz;
        lrs = siz == G_IM_SIZ_8b ? ((w * h + 1) >> 1) - 1 : w * h - 1;
        const int64_t words = bytes_per_texel * w / 8;
        dxt = bytes_per_texel * w > 7 ? (words + 2047) / words : 2048;
        line = (line_factor * w + 7) >> 3;
        palette_colours = indexed && siz == G_IM_SIZ_8b ? 256 : 0;
    }
    ob_write_command(commands, set_texture_image(fmt, load_siz, texel_address));
    ob_write_command(commands, set_tile(fmt, load_siz, 0, 0, G_TX_LOADTILE, wrap));
    ob_write_command(commands, load_sync());
    ob_write_command(commands, load_block(G_TX_LOADTILE, static_cast<uint32_t>(std::min<int64_t>(lrs, 2047)),
                                          static_cast<uint32_t>(dxt)));
    ob_write_command(commands, pipe_sync());
    ob_write_command(commands, set_tile(fmt, siz, static_cast<uint32_t>(line), 0, G_TX_RENDERTILE, wrap));
    ob_write_command(commands, set_tile_size(G_TX_RENDERTILE, tile_lrs, tile_lrt));

    // The palette goes to the upper half of texture memory (word 256) through the load tile.
    if (palette_colours != 0) {
        ob_write_command(commands, set_texture_image(0, G_IM_SIZ_16b, palette_address));
        ob_write_command(commands, tile_sync());
        ob_write_command(commands, set_tile(0, G_IM_SIZ_4b, 0, 256, G_TX_LOADTILE, 0));
        ob_write_command(commands, load_sync());
        ob_write_command(commands, load_tlut(G_TX_LOADTILE, palette_colours));
        ob_write_command(commands, pipe_sync());
    }
}

std::optional<size_t> find_combiner_input(const std::array<uint8_t, 16>& inputs, uint8_t value)
{
    static constexpr std::array<size_t, 8> colour_inputs = {c1_colour_a, c1_colour_b, c1_colour_c, c1_colour_d,
                                                            c2_colour_a, c2_colour_b, c2_colour_c, c2_colour_d};
    for (const size_t at : colour_inputs)
        if (inputs[at] == value)
            return at;
    return std::nullopt;
}

void use_environment_colour(std::array<uint8_t, 16>& inputs)
{
    const std::optional<size_t> at = find_combiner_input(inputs, cc_primitive);
    if (!at) {
        // This one is reported on standard output; the empty message tells
        // main() that there is nothing left to show.
        std::fputs("  ERROR! Can't find C_PRIMITIVE!\n", stdout);
        std::fflush(stdout);
        fatal_error("%s", "");
    }
    inputs[*at] = cc_environment;
}

static std::array<uint8_t, 16> combiner_inputs(const Material& material, const Texture* texture, bool loads_texture,
                                               uint8_t alpha)
{
    std::array<uint8_t, 16> in = default_combiner;

    // Without texels cycle 1 starts from the primitive colour and cycle 2 passes the result on.
    if (!loads_texture) {
        in[c1_colour_a] = cc_primitive;
        in[c2_colour_a] = in[c2_colour_b] = in[c2_colour_c] = cc_zero;
        in[c2_colour_d] = cc_combined;
    }

    // Alpha from the texture, the primitive colour, or their product.
    if (texture != nullptr && texture->has_alpha) {
        if (alpha == 255) {
            in[c1_alpha_d] = cc_texel0;
        } else {
            in[c1_alpha_d] = cc_primitive;
            in[c2_alpha_a] = cc_combined;
            in[c2_alpha_c] = cc_primitive;
            in[c2_alpha_d] = ac_zero;
        }
    } else if (alpha != 255) {
        in[c1_alpha_d] = cc_primitive;
    }

    // Unlit: the primitive colour takes the place of the shade.
    if (material.unlit) {
        in[c1_colour_c] = cc_primitive;
        in[c2_colour_a] = in[c2_colour_b] = in[c2_colour_c] = cc_zero;
        in[c2_colour_d] = cc_combined;
    }

    if (material.flags & material_env_colour)
        use_environment_colour(in);

    // Node mode: the material library spelled out the whole combiner.
    if (material.flags & material_nodal)
        in = material.combiner;
    return in;
}

static uint32_t render_mode_word(const Material& material, bool texture_alpha, uint8_t alpha)
{
    const uint32_t aa = (material.flags & material_no_aa) ? 0 : 1;
    uint32_t mode = render_base | (aa ? rm_aa_en : 0);
    if (material.decal)
        mode |= (aa ? rm_clr_on_cvg : 0) | rm_cvg_dst_wrap | rm_zmode_dec | rm_force_bl;
    else if (alpha != 255)
        mode |= (aa ? rm_clr_on_cvg : 0) | rm_cvg_dst_wrap | rm_zmode_xlu | rm_cvg_x_alpha | rm_force_bl;
    else
        mode |= rm_z_upd | (texture_alpha ? rm_cvg_x_alpha : 0) | rm_alpha_cvg_sel | rm_cycle2_memory_alpha;
    return mode;
}

void build_material_commands(const Settings& settings, const Model& model, Material& material)
{
    const Texture* texture = material_texture(model, material);
    const bool loads_texture = texture != nullptr && !texture->is_uniform;
    const uint8_t alpha = colour_byte(material.alpha);
    uint32_t prim_colour = uint32_t{colour_byte(material.r)} << 24 | uint32_t{colour_byte(material.g)} << 16 |
                           uint32_t{colour_byte(material.b)} << 8 | alpha;

    material.material_commands = make_out_buffer(1024);
    OutBuffer& list = material.material_commands;

    ob_write_command(list, pipe_sync());

    // Texels, or texturing off; a one-colour texture becomes the primitive colour.
    if (loads_texture) {
        emit_texture_load(settings, model, list, material);
    } else {
        ob_write_command(list, texture_off());
        if (texture != nullptr)
            prim_colour = texture->average_colour;
    }

    const bool texture_alpha = texture != nullptr && texture->has_alpha;
    ob_write_command(list, set_combine(combiner_inputs(material, texture, loads_texture, alpha)));
    ob_write_command(list, set_render_mode(render_mode_word(material, texture_alpha, alpha)));

    // A texture named with QXNOCULL turns culling off even where the material does not.
    const uint32_t cull = texture != nullptr && texture->cull_mode != G_CULL_BACK ? texture->cull_mode
                                                                                 : material.geometry_mode;
    const uint32_t texgen = G_TEXTURE_GEN | G_TEXTURE_GEN_LINEAR;
    ob_write_command(list, cull != 0 ? geometry_mode(G_LIGHTING | texgen, 0) : geometry_mode(texgen | G_CULL_BACK, 0));
    const uint32_t set = G_CLIPPING | ((material.flags & material_no_fog) ? 0 : G_FOG) |
                         (material.unlit ? 0 : G_LIGHTING) | ((material.flags & material_texgen_mask) ? texgen : 0) |
                         cull;
    ob_write_command(list, geometry_mode(0, set));

    ob_write_command(list, set_prim_colour(prim_colour));
}

std::optional<uint32_t> find_command(uint8_t opcode, const OutBuffer& list)
{
    for (uint32_t at = 0; at + 8 <= list.length; at += 8)
        if (list.bytes[at] == opcode)
            return at;
    return std::nullopt;
}

// True when both lists hold `length` equal bytes at the given offsets.
static bool same_bytes(const OutBuffer& a, uint32_t a_at, const OutBuffer& b, uint32_t b_at, uint32_t length)
{
    if (uint64_t{a_at} + length > a.length || uint64_t{b_at} + length > b.length)
        return false;
    return std::memcmp(a.data() + a_at, b.data() + b_at, length) == 0;
}

// Appends up to `length` bytes of `list` from `at`, never past its end; returns how many.
static uint32_t append_from(OutBuffer& out, const OutBuffer& list, uint32_t at, uint32_t length)
{
    const uint32_t n = std::min(length, list.length - at);
    ob_write_bytes(out, list.data() + at, n);
    return n;
}

// The first command of `mine` with this opcode differs from the first of `theirs`, or they have none.
static bool first_commands_differ(uint8_t opcode, uint32_t length, const OutBuffer& mine, const OutBuffer& theirs)
{
    const std::optional<uint32_t> a = find_command(opcode, mine);
    const std::optional<uint32_t> b = find_command(opcode, theirs);
    return !a || !b || !same_bytes(mine, *a, theirs, *b, length);
}

void emit_material_changes(const Material& previous, const Material& material, OutBuffer& scratch_list)
{
    const OutBuffer& mine = material.material_commands;
    const OutBuffer& theirs = previous.material_commands;

    // Same texture: the texture state stands; only combiner, render mode,
    // geometry mode and colour may change.
    if (material.texture == previous.texture) {
        for (const uint8_t opcode : {G_SETPRIMCOLOR, G_SETCOMBINE, G_GEOMETRYMODE, G_SETOTHERMODE_L}) {
            const uint32_t length = opcode == G_GEOMETRYMODE ? 16 : 8;
            const std::optional<uint32_t> at = find_command(opcode, mine);
            if (at && first_commands_differ(opcode, length, mine, theirs))
                append_from(scratch_list, mine, *at, length);
        }
        return;
    }

    // Another texture: the whole list in order, leaving out the state
    // commands that the previous material already set the same way.
    uint32_t at = 0;
    while (at + 8 <= mine.length) {
        const uint8_t opcode = mine.bytes[at];
        const auto diff = std::find_if(diff_command_sizes.begin(), diff_command_sizes.end(),
                                       [opcode](const DiffCommand& d) { return d.opcode == opcode; });
        if (diff == diff_command_sizes.end()) {
            at += append_from(scratch_list, mine, at, 8);
        } else if (!first_commands_differ(opcode, diff->length, mine, theirs)) {
            at += 8;
        } else {
            at += append_from(scratch_list, mine, at, diff->length);
        }
    }
}

void emit_material(const Settings& settings, const Model& model, Material& material, const Material*& previous,
                   OutBuffer& scratch_list)
{
    if (material.material_commands.capacity() == 0)
        build_material_commands(settings, model, material);
    if (previous == nullptr)
        ob_write_bytes(scratch_list, material.material_commands.data(), material.material_commands.length);
    else
        emit_material_changes(*previous, material, scratch_list);
    previous = &material;
}
