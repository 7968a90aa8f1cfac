#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "view/view_object.h"

// Walks a display list of the object as the microcode would: vertices into
// the 32-entry buffer under the current matrix, triangles from it, and the
// texture and render state that the RDP would hold when each is drawn.

// Row vectors: a point p becomes p * m.
struct Mat4 {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

Mat4 translation(float x, float y, float z);
Mat4 multiply(const Mat4& a, const Mat4& b);

struct ViewVertex {
    float x = 0, y = 0, z = 0;        // after the modelview matrix
    float s = 0, t = 0;               // texel units, after the G_TEXTURE scale
    float nx = 0, ny = 0, nz = 0;     // unit normal after the matrix
    std::array<uint8_t, 4> colour{};  // the same bytes read as a colour (unlit)
    bool loaded = false;
};

struct TileState {
    uint8_t fmt = 0, siz = 0, palette = 0;
    uint16_t line = 0, tmem = 0;  // in 64-bit words
    uint8_t cms = 0, cmt = 0, masks = 0, maskt = 0, shifts = 0, shiftt = 0;
    uint16_t uls = 0, ult = 0, lrs = 0, lrt = 0;  // 10.2 fixed point
};

// Where the texels and palette now in texture memory came from.
struct LoadedTexture {
    uint32_t address = 0;  // segment address of the last texel load
    bool loaded = false;
    bool in_object = false;  // false for a bank in another segment: not drawn
    uint32_t palette_address = 0;
    uint32_t palette_colours = 0;
};

struct RenderState {
    uint32_t geometry_mode = 0;
    uint32_t other_mode_l = 0, other_mode_h = 0;
    uint32_t combine_w0 = 0, combine_w1 = 0;
    uint32_t prim_colour = 0xFFFFFFFF;
    uint32_t env_colour = 0xFFFFFFFF;  // the game sets it; white stands in
    bool texture_on = false;
    uint8_t texture_tile = 0;
    uint16_t scale_s = 0, scale_t = 0;
    uint8_t timg_fmt = 0, timg_siz = 0;
    uint32_t timg_address = 0;
    std::array<TileState, 8> tiles{};
    std::array<uint8_t, 4096> tmem{};
    LoadedTexture texture;
};

class ListSink
{
public:
    virtual ~ListSink() = default;
    // Set by sinks that print the commands; formatting is skipped otherwise.
    bool wants_text = false;
    // One command at `offset` of the object, `depth` lists deep.
    virtual void command(uint32_t /*offset*/, int /*depth*/, const std::string& /*text*/) {}
    virtual void triangle(const ViewVertex& /*a*/, const ViewVertex& /*b*/, const ViewVertex& /*c*/,
                          const RenderState& /*state*/)
    {
    }
};

// Walks the list of `item` at object offset `offset` with `modelview` as the
// matrix in force, `limb_matrices` as the matrices of segment 0x0D (empty
// for a model without skeleton). Every fault is reported with the item and
// the offset of the command.
void walk_display_list(const ViewObject& object, const std::string& item, uint32_t offset, const Mat4& modelview,
                       const std::vector<Mat4>& limb_matrices, ListSink& sink);

// The sixteen inputs of a G_SETCOMBINE, in the order cycle 1 colour a-d,
// alpha a-d, cycle 2 colour a-d, alpha a-d.
std::array<uint32_t, 16> combiner_inputs(uint32_t w0, uint32_t w1);

// Names for listings.
const char* texel_format_name(uint8_t fmt);
const char* texel_size_name(uint8_t siz);
