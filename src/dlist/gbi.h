#pragma once

#include <array>
#include <cstdint>

#include "base/out_buffer.h"

// The display-list commands this program writes, in the numbering and field
// layouts of the F3DEX2-family microcode and the RDP. Every command is two
// big-endian words; the constructors below pack the fields so that emitters
// read like the list they produce.

struct Command {
    uint32_t w0 = 0;
    uint32_t w1 = 0;
};

// Opcodes (the first byte of w0).
inline constexpr uint8_t G_VTX = 0x01;
inline constexpr uint8_t G_TRI1 = 0x05;
inline constexpr uint8_t G_TRI2 = 0x06;
inline constexpr uint8_t G_TEXTURE = 0xD7;
inline constexpr uint8_t G_GEOMETRYMODE = 0xD9;
inline constexpr uint8_t G_MTX = 0xDA;
inline constexpr uint8_t G_DL = 0xDE;
inline constexpr uint8_t G_ENDDL = 0xDF;
inline constexpr uint8_t G_SETOTHERMODE_L = 0xE2;
inline constexpr uint8_t G_SETOTHERMODE_H = 0xE3;
inline constexpr uint8_t G_RDPLOADSYNC = 0xE6;
inline constexpr uint8_t G_RDPPIPESYNC = 0xE7;
inline constexpr uint8_t G_RDPTILESYNC = 0xE8;
inline constexpr uint8_t G_LOADTLUT = 0xF0;
inline constexpr uint8_t G_SETTILESIZE = 0xF2;
inline constexpr uint8_t G_LOADBLOCK = 0xF3;
inline constexpr uint8_t G_SETTILE = 0xF5;
inline constexpr uint8_t G_SETPRIMCOLOR = 0xFA;
inline constexpr uint8_t G_SETCOMBINE = 0xFC;
inline constexpr uint8_t G_SETTIMG = 0xFD;

// Texel sizes as the RDP numbers them.
inline constexpr uint8_t G_IM_SIZ_4b = 0;
inline constexpr uint8_t G_IM_SIZ_8b = 1;
inline constexpr uint8_t G_IM_SIZ_16b = 2;
inline constexpr uint8_t G_IM_SIZ_32b = 3;
inline constexpr uint8_t G_IM_FMT_CI = 2;

// Tiles: 7 is the one textures and palettes are loaded through, 0 the one drawn with.
inline constexpr uint8_t G_TX_LOADTILE = 7;
inline constexpr uint8_t G_TX_RENDERTILE = 0;

// Geometry mode bits.
inline constexpr uint32_t G_CULL_BACK = 0x000400;
inline constexpr uint32_t G_FOG = 0x010000;
inline constexpr uint32_t G_LIGHTING = 0x020000;
inline constexpr uint32_t G_TEXTURE_GEN = 0x040000;
inline constexpr uint32_t G_TEXTURE_GEN_LINEAR = 0x080000;
inline constexpr uint32_t G_CLIPPING = 0x800000;

// Texture look-up table types of the other-mode high word.
inline constexpr uint32_t G_TT_NONE = 0x0000;
inline constexpr uint32_t G_TT_RGBA16 = 0x8000;

constexpr uint32_t opcode_word(uint8_t opcode)
{
    return uint32_t{opcode} << 24;
}

// Loads n vertex records from `address` into the vertex buffer from index `first` on.
constexpr Command vertex_load(uint32_t n, uint32_t first, uint32_t address)
{
    return {opcode_word(G_VTX) | (n & 0xFF) << 12 | ((first + n) & 0x7F) << 1, address};
}

// The three vertex-buffer indices of a triangle, doubled, in bits 16-23, 8-15, 0-7.
constexpr uint32_t triangle_indices(uint8_t a, uint8_t b, uint8_t c)
{
    return (uint32_t{a} * 2 & 0xFF) << 16 | (uint32_t{b} * 2 & 0xFF) << 8 | (uint32_t{c} * 2 & 0xFF);
}

constexpr Command triangle_one(uint8_t a, uint8_t b, uint8_t c)
{
    return {opcode_word(G_TRI1) | triangle_indices(a, b, c), 0};
}

constexpr Command triangle_pair(uint8_t a1, uint8_t b1, uint8_t c1, uint8_t a2, uint8_t b2, uint8_t c2)
{
    return {opcode_word(G_TRI2) | triangle_indices(a1, b1, c1), triangle_indices(a2, b2, c2)};
}

// Replaces (does not push) the modelview matrix with a limb's matrix: limb
// matrices are 64 bytes each from the start of segment 0x0D.
constexpr Command matrix_load_limb(uint8_t limb)
{
    return {0xDA380003, 0x0D000000 | uint32_t{limb} << 6};
}

// Multiplies the modelview matrix, without pushing, by the matrix at the start of segment 0x01.
constexpr Command matrix_multiply_segment1()
{
    return {0xDA380001, 0x01000000};
}

constexpr Command end_list()
{
    return {opcode_word(G_ENDDL), 0};
}

constexpr Command pipe_sync()
{
    return {opcode_word(G_RDPPIPESYNC), 0};
}

constexpr Command load_sync()
{
    return {opcode_word(G_RDPLOADSYNC), 0};
}

constexpr Command tile_sync()
{
    return {opcode_word(G_RDPTILESYNC), 0};
}

// Texturing on tile 0, level 0, with the two 0.16 fixed-point scales.
constexpr Command texture_on(uint16_t scale_s, uint16_t scale_t)
{
    return {opcode_word(G_TEXTURE) | 0x000002, uint32_t{scale_s} << 16 | scale_t};
}

constexpr Command texture_off()
{
    return {opcode_word(G_TEXTURE), 0};
}

// The colour combiner from its 16 inputs: cycle 1 colour a-d, cycle 1 alpha
// a-d, cycle 2 colour a-d, cycle 2 alpha a-d.
constexpr Command set_combine(const std::array<uint8_t, 16>& in)
{
    const uint32_t w0 = opcode_word(G_SETCOMBINE) | uint32_t{in[0] & 15u} << 20 | uint32_t{in[2] & 31u} << 15 |
                        uint32_t{in[4] & 7u} << 12 | uint32_t{in[6] & 7u} << 9 | uint32_t{in[8] & 15u} << 5 |
                        uint32_t{in[10] & 31u};
    const uint32_t w1 = uint32_t{in[1] & 15u} << 28 | uint32_t{in[9] & 15u} << 24 | uint32_t{in[12] & 7u} << 21 |
                        uint32_t{in[14] & 7u} << 18 | uint32_t{in[3] & 7u} << 15 | uint32_t{in[5] & 7u} << 12 |
                        uint32_t{in[7] & 7u} << 9 | uint32_t{in[11] & 7u} << 6 | uint32_t{in[13] & 7u} << 3 |
                        uint32_t{in[15] & 7u};
    return {w0, w1};
}

// Sets `length` bits of an other-mode word from bit `shift` on; the microcode
// takes the field as 32 - shift - length and length - 1.
constexpr Command set_other_mode(uint8_t opcode, uint32_t shift, uint32_t length, uint32_t data)
{
    return {opcode_word(opcode) | ((32 - shift - length) & 0xFF) << 8 | ((length - 1) & 0xFF), data};
}

// The blender's render mode: the other-mode low word from bit 3, 29 bits long.
constexpr Command set_render_mode(uint32_t mode)
{
    return set_other_mode(G_SETOTHERMODE_L, 3, 29, mode);
}

// The texture look-up table type: the other-mode high word from bit 14, 2 bits long.
constexpr Command set_texture_lut(uint32_t type)
{
    return set_other_mode(G_SETOTHERMODE_H, 14, 2, type);
}

// Clears the bits of `clear`, then sets those of `set`; the microcode keeps
// the bits of the inverted mask in w0.
constexpr Command geometry_mode(uint32_t clear, uint32_t set)
{
    return {opcode_word(G_GEOMETRYMODE) | (~clear & 0xFFFFFF), set};
}

// Primitive colour 0xRRGGBBAA, minimum level and level fraction 0.
constexpr Command set_prim_colour(uint32_t rgba)
{
    return {opcode_word(G_SETPRIMCOLOR), rgba};
}

// Where the RDP reads texels (or a palette) from.
constexpr Command set_texture_image(uint8_t fmt, uint8_t siz, uint32_t address)
{
    return {opcode_word(G_SETTIMG) | uint32_t{fmt & 7u} << 21 | uint32_t{siz & 3u} << 19, address};
}

// Clamp, mirror and mask of one tile: cm bit 0 mirrors, bit 1 clamps.
constexpr uint32_t tile_wrap(uint32_t cm_s, uint32_t mask_s, uint32_t cm_t, uint32_t mask_t)
{
    return (cm_t & 3) << 18 | (mask_t & 15) << 14 | (cm_s & 3) << 8 | (mask_s & 15) << 4;
}

// Shift of one tile: texture coordinates are divided by 2^shift, S in bits
// 0-3, T in bits 10-13.
constexpr uint32_t tile_shift(uint32_t shift_s, uint32_t shift_t)
{
    return (shift_t & 15) << 10 | (shift_s & 15);
}

// A tile: format, size, line length in 64-bit words, texture-memory address
// in 64-bit words, and the wrap word of tile_wrap().
constexpr Command set_tile(uint8_t fmt, uint8_t siz, uint32_t line, uint32_t tmem, uint8_t tile, uint32_t wrap)
{
    return {opcode_word(G_SETTILE) | uint32_t{fmt & 7u} << 21 | uint32_t{siz & 3u} << 19 | (line & 0x1FF) << 9 |
                (tmem & 0x1FF),
            uint32_t{tile & 7u} << 24 | wrap};
}

// Loads texels into texture memory as one block: last texel index and the
// per-line increment, both 12 bits.
constexpr Command load_block(uint8_t tile, uint32_t lrs, uint32_t dxt)
{
    return {opcode_word(G_LOADBLOCK), uint32_t{tile & 7u} << 24 | (lrs & 0xFFF) << 12 | (dxt & 0xFFF)};
}

// Loads `count` palette colours through `tile`.
constexpr Command load_tlut(uint8_t tile, uint32_t count)
{
    return {opcode_word(G_LOADTLUT), uint32_t{tile & 7u} << 24 | ((count - 1) & 0x3FF) << 14};
}

// The tile's extent from (0, 0) to (lrs, lrt), 10.2 fixed point.
constexpr Command set_tile_size(uint8_t tile, uint32_t lrs, uint32_t lrt)
{
    return {opcode_word(G_SETTILESIZE), uint32_t{tile & 7u} << 24 | (lrs & 0xFFF) << 12 | (lrt & 0xFFF)};
}

inline void ob_write_command(OutBuffer& ob, const Command& command)
{
    ob_write_u32_pair(ob, command.w0, command.w1);
}
