#include "view/list_walk.h"

#include <cmath>

#include "base/messages.h"
#include "dlist/gbi.h"

Mat4 translation(float x, float y, float z)
{
    Mat4 t;
    t.m[3][0] = x;
    t.m[3][1] = y;
    t.m[3][2] = z;
    return t;
}

Mat4 multiply(const Mat4& a, const Mat4& b)
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

const char* texel_format_name(uint8_t fmt)
{
    static const char* const names[] = {"RGBA", "YUV", "CI", "IA", "I", "fmt5", "fmt6", "fmt7"};
    return names[fmt & 7];
}

const char* texel_size_name(uint8_t siz)
{
    static const char* const names[] = {"4b", "8b", "16b", "32b"};
    return names[siz & 3];
}

// Geometry mode bits by name, for the listing.
static std::string geometry_bits(uint32_t bits)
{
    static const struct {
        uint32_t bit;
        const char* name;
    } names[] = {{G_CULL_BACK, "G_CULL_BACK"},
                 {G_FOG, "G_FOG"},
                 {G_LIGHTING, "G_LIGHTING"},
                 {G_TEXTURE_GEN, "G_TEXTURE_GEN"},
                 {G_TEXTURE_GEN_LINEAR, "G_TEXTURE_GEN_LINEAR"},
                 {G_CLIPPING, "G_CLIPPING"}};
    std::string text;
    for (const auto& n : names)
        if (bits & n.bit) {
            text += text.empty() ? "" : "|";
            text += n.name;
            bits &= ~n.bit;
        }
    if (bits != 0)
        text += format_text("%s0x%06X", text.empty() ? "" : "|", bits);
    return text.empty() ? "nothing" : text;
}

// Combiner inputs by multiplexer number, per slot.
static const char* colour_input(int slot, uint32_t value)
{
    static const char* const common[] = {"COMBINED", "TEXEL0", "TEXEL1", "PRIMITIVE", "SHADE", "ENVIRONMENT"};
    if (value < 6)
        return common[value];
    switch (slot) {
    case 0:
        return value == 6 ? "1" : value == 7 ? "NOISE" : "0";
    case 1:
        return value == 6 ? "CENTER" : value == 7 ? "K4" : "0";
    case 2: {
        static const char* const c[] = {
            "SCALE",       "COMBINED_ALPHA", "TEXEL0_ALPHA", "TEXEL1_ALPHA",  "PRIMITIVE_ALPHA",
            "SHADE_ALPHA", "ENV_ALPHA",      "LOD_FRACTION", "PRIM_LOD_FRAC", "K5"};
        return value < 16 ? c[value - 6] : "0";
    }
    default:
        return value == 6 ? "1" : "0";
    }
}

static const char* alpha_input(int slot, uint32_t value)
{
    static const char* const common[] = {"COMBINED", "TEXEL0", "TEXEL1", "PRIMITIVE", "SHADE", "ENVIRONMENT"};
    if (slot == 2) {
        static const char* const c[] = {"LOD_FRACTION", "TEXEL0",      "TEXEL1",        "PRIMITIVE",
                                        "SHADE",        "ENVIRONMENT", "PRIM_LOD_FRAC", "0"};
        return c[value & 7];
    }
    return value < 6 ? common[value] : value == 6 ? "1" : "0";
}

// The sixteen inputs of a G_SETCOMBINE, in the order cycle 1 colour a-d,
// alpha a-d, cycle 2 colour a-d, alpha a-d: the fields set_combine() packs.
std::array<uint32_t, 16> combiner_inputs(uint32_t w0, uint32_t w1)
{
    return {w0 >> 20 & 15, w1 >> 28 & 15, w0 >> 15 & 31, w1 >> 15 & 7,  w0 >> 12 & 7, w1 >> 12 & 7,
            w0 >> 9 & 7,   w1 >> 9 & 7,   w0 >> 5 & 15,  w1 >> 24 & 15, w0 & 31,      w1 >> 6 & 7,
            w1 >> 21 & 7,  w1 >> 3 & 7,   w1 >> 18 & 7,  w1 & 7};
}

static std::string combiner_text(uint32_t w0, uint32_t w1)
{
    const std::array<uint32_t, 16> in = combiner_inputs(w0, w1);
    std::string text;
    for (int cycle = 0; cycle < 2; ++cycle) {
        const uint32_t* c = &in[cycle * 8];
        text += format_text("%scycle %d (%s - %s) * %s + %s, alpha (%s - %s) * %s + %s", cycle ? "; " : "", cycle + 1,
                            colour_input(0, c[0]), colour_input(1, c[1]), colour_input(2, c[2]), colour_input(3, c[3]),
                            alpha_input(0, c[4]), alpha_input(1, c[5]), alpha_input(2, c[6]), alpha_input(3, c[7]));
    }
    return text;
}

static const char* clamp_mirror_name(uint8_t cm)
{
    static const char* const names[] = {"wrap", "mirror", "clamp", "mirror clamp"};
    return names[cm & 3];
}

// A 10.2 fixed-point coordinate as text.
static std::string fixed_10_2(uint32_t value)
{
    return value % 4 == 0 ? format_text("%u", value / 4) : format_text("%.2f", value / 4.0);
}

namespace
{

struct Walk {
    const ViewObject& object;
    const std::string& item;
    const std::vector<Mat4>& limb_matrices;
    ListSink& sink;
    Mat4 modelview;
    RenderState state;
    std::array<ViewVertex, 32> buffer{};
    uint64_t commands = 0;
    int depth = 0;
};

}  // namespace

// An object of 16 MiB holds at most this many commands; a walk that takes
// more branches in a circle.
static constexpr uint64_t max_commands = uint64_t{1} << 21;
static constexpr int max_list_depth = 10;

static void load_vertices(Walk& w, uint32_t at, uint32_t w0, uint32_t w1)
{
    const uint32_t n = w0 >> 12 & 0xFF;
    const uint32_t end = w0 >> 1 & 0x7F;
    if (n == 0 || end < n || end > 32)
        object_fault(w.item, at, "G_VTX loads %u vertices to end at %u, beyond the 32-entry vertex buffer", n, end);
    const uint32_t first = end - n;
    const uint32_t from = object_offset(w.object, w1, n * 16, w.item, at);
    if (w.sink.wants_text)
        w.sink.command(at, w.depth, format_text("G_VTX %u records at 0x%08X into %u..%u", n, w1, first, end - 1));
    const Mat4& m = w.modelview;
    const bool texgen = (w.state.geometry_mode & G_TEXTURE_GEN) != 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t r = from + 16 * i;
        const float x = static_cast<int16_t>(read_u16(w.object, r));
        const float y = static_cast<int16_t>(read_u16(w.object, r + 2));
        const float z = static_cast<int16_t>(read_u16(w.object, r + 4));
        ViewVertex& v = w.buffer[first + i];
        v.x = x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0];
        v.y = x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1];
        v.z = x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2];
        for (int c = 0; c < 4; ++c)
            v.colour[c] = read_u8(w.object, r + 12 + c);
        const float nx = static_cast<int8_t>(v.colour[0]) / 127.0f;
        const float ny = static_cast<int8_t>(v.colour[1]) / 127.0f;
        const float nz = static_cast<int8_t>(v.colour[2]) / 127.0f;
        v.nx = nx * m.m[0][0] + ny * m.m[1][0] + nz * m.m[2][0];
        v.ny = nx * m.m[0][1] + ny * m.m[1][1] + nz * m.m[2][1];
        v.nz = nx * m.m[0][2] + ny * m.m[1][2] + nz * m.m[2][2];
        const float length = std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz);
        if (length > 0) {
            v.nx /= length;
            v.ny /= length;
            v.nz /= length;
        }
        const float scale_s = w.state.scale_s / 65536.0f, scale_t = w.state.scale_t / 65536.0f;
        if (texgen) {
            // Environment mapping: the normal spans the scale, which counts texels in 10.5.
            v.s = (v.nx + 1) / 2 * w.state.scale_s / 32.0f;
            v.t = (1 - v.ny) / 2 * w.state.scale_t / 32.0f;
        } else {
            v.s = static_cast<int16_t>(read_u16(w.object, r + 8)) * scale_s / 32.0f;
            v.t = static_cast<int16_t>(read_u16(w.object, r + 10)) * scale_t / 32.0f;
        }
        v.loaded = true;
    }
}

static const ViewVertex& corner(Walk& w, uint32_t at, uint32_t doubled)
{
    if (doubled % 2 != 0 || doubled >= 64)
        object_fault(w.item, at, "triangle index 0x%02X names no entry of the 32-entry vertex buffer", doubled);
    const ViewVertex& v = w.buffer[doubled / 2];
    if (!v.loaded)
        object_fault(w.item, at, "vertex %u was never loaded", doubled / 2);
    return v;
}

static void draw_triangle(Walk& w, uint32_t at, uint32_t indices)
{
    const ViewVertex& a = corner(w, at, indices >> 16 & 0xFF);
    const ViewVertex& b = corner(w, at, indices >> 8 & 0xFF);
    const ViewVertex& c = corner(w, at, indices & 0xFF);
    w.sink.triangle(a, b, c, w.state);
}

static std::string triangle_text(uint32_t indices)
{
    return format_text("(%u,%u,%u)", (indices >> 16 & 0xFF) / 2, (indices >> 8 & 0xFF) / 2, (indices & 0xFF) / 2);
}

static void load_matrix(Walk& w, uint32_t at, uint32_t w0, uint32_t w1)
{
    // The parameter byte holds G_MTX_PUSH inverted.
    const uint32_t params = (w0 & 0xFF) ^ 1;
    const bool projection = (params & 4) != 0, load = (params & 2) != 0, push = (params & 1) != 0;
    if (projection)
        object_fault(w.item, at, "G_MTX sets the projection matrix, which an object never does");
    Mat4 matrix;
    std::string source;
    if ((w1 >> 24) == 0x0D) {
        const uint32_t slot = w1 & 0xFFFFFF;
        if (slot % 64 != 0 || slot / 64 >= w.limb_matrices.size())
            object_fault(w.item, at, "G_MTX names limb matrix 0x%08X; the skeleton provides %zu", w1,
                         w.limb_matrices.size());
        matrix = w.limb_matrices[slot / 64];
        source = format_text("limb %u matrix", slot / 64);
    } else if (w1 == 0x01000000) {
        source = "the matrix of segment 0x01";  // the game's own; shown as identity
    } else {
        object_fault(w.item, at, "G_MTX reads a matrix at 0x%08X, which the object does not provide", w1);
    }
    w.modelview = load ? matrix : multiply(matrix, w.modelview);
    if (w.sink.wants_text)
        w.sink.command(at, w.depth,
                       format_text("G_MTX %s %s (0x%08X)%s", load ? "load" : "multiply by", source.c_str(), w1,
                                   push ? ", push" : ""));
}

static void load_texels(Walk& w, uint32_t at, uint32_t count_bytes, uint32_t tmem_byte)
{
    RenderState& s = w.state;
    if (!in_object_segment(w.object, s.timg_address)) {
        s.texture.in_object = false;
        return;
    }
    const uint32_t from = object_offset(w.object, s.timg_address, count_bytes, w.item, at);
    for (uint32_t i = 0; i < count_bytes; ++i)
        s.tmem[(tmem_byte + i) & 0xFFF] = w.object.bytes[from + i];
}

static void walk_list(Walk& w, uint32_t offset, int depth);

// Walks the command at `at`; `next` is where the walk goes on, `ended` set
// at the end of the list.
static void walk_command(Walk& w, uint32_t at, int depth, uint32_t& next, bool& ended)
{
    if (uint64_t{at} + 8 > w.object.bytes.size())
        object_fault(w.item, at, "the list runs off the end of the object");
    if (++w.commands > max_commands)
        object_fault(w.item, at, "the list does not end within %llu commands",
                     static_cast<unsigned long long>(max_commands));
    const uint32_t w0 = read_u32(w.object, at), w1 = read_u32(w.object, at + 4);
    RenderState& s = w.state;
    const bool text = w.sink.wants_text;
    // Lines are only formatted for a sink that prints them.
    auto say = [&](auto line) {
        if (text)
            w.sink.command(at, depth, line());
    };
    switch (w0 >> 24) {
    case G_VTX:
        load_vertices(w, at, w0, w1);
        break;
    case G_TRI1:
        say([&]() -> std::string { return "G_TRI1 " + triangle_text(w0); });
        draw_triangle(w, at, w0);
        break;
    case G_TRI2:
        say([&]() -> std::string { return "G_TRI2 " + triangle_text(w0) + " " + triangle_text(w1); });
        draw_triangle(w, at, w0);
        draw_triangle(w, at, w1);
        break;
    case G_MTX:
        load_matrix(w, at, w0, w1);
        break;
    case G_DL: {
        const bool branch = (w0 >> 16 & 0xFF) != 0;
        const uint32_t target = object_offset(w.object, w1, 8, w.item, at);
        say([&]() -> std::string { return format_text("G_DL %s 0x%08X", branch ? "branch to" : "call", w1); });
        // A branch replaces the list being walked; a call walks the other
        // list and comes back.
        if (branch) {
            next = target;
            break;
        }
        if (depth + 1 >= max_list_depth)
            object_fault(w.item, at, "display lists nest deeper than %d", max_list_depth);
        walk_list(w, target, depth + 1);
        break;
    }
    case G_ENDDL:
        say([&]() -> std::string { return "G_ENDDL"; });
        ended = true;
        break;
    case G_TEXTURE:
        s.texture_on = (w0 >> 1 & 0x7F) != 0;
        s.texture_tile = static_cast<uint8_t>(w0 >> 8 & 7);
        s.scale_s = static_cast<uint16_t>(w1 >> 16);
        s.scale_t = static_cast<uint16_t>(w1);
        say([&]() -> std::string {
            return s.texture_on ? format_text("G_TEXTURE on, tile %u, level %u, scale 0x%04X 0x%04X", s.texture_tile,
                                              w0 >> 11 & 7, s.scale_s, s.scale_t)
                                : std::string("G_TEXTURE off");
        });
        break;
    case G_GEOMETRYMODE:
        s.geometry_mode = (s.geometry_mode & (w0 & 0xFFFFFF)) | w1;
        say([&]() -> std::string {
            return "G_GEOMETRYMODE clear " + geometry_bits(~w0 & 0xFFFFFF) + ", set " + geometry_bits(w1);
        });
        break;
    case G_SETOTHERMODE_L:
    case G_SETOTHERMODE_H: {
        const uint32_t length = (w0 & 0xFF) + 1;
        const uint32_t shift = 32 - (w0 >> 8 & 0xFF) - length;
        if (shift > 31 || length > 32 - shift)
            object_fault(w.item, at, "unknown command 0x%08X 0x%08X", w0, w1);
        const uint32_t mask = static_cast<uint32_t>(((uint64_t{1} << length) - 1) << shift);
        uint32_t& mode = (w0 >> 24) == G_SETOTHERMODE_L ? s.other_mode_l : s.other_mode_h;
        mode = (mode & ~mask) | (w1 & mask);
        say([&]() -> std::string {
            return format_text("%s bits %u..%u = 0x%08X",
                               (w0 >> 24) == G_SETOTHERMODE_L ? "G_SETOTHERMODE_L" : "G_SETOTHERMODE_H", shift,
                               shift + length - 1, w1);
        });
        break;
    }
    case G_RDPLOADSYNC:
        say([&]() -> std::string { return "G_RDPLOADSYNC"; });
        break;
    case G_RDPPIPESYNC:
        say([&]() -> std::string { return "G_RDPPIPESYNC"; });
        break;
    case G_RDPTILESYNC:
        say([&]() -> std::string { return "G_RDPTILESYNC"; });
        break;
    case G_SETTIMG:
        s.timg_fmt = static_cast<uint8_t>(w0 >> 21 & 7);
        s.timg_siz = static_cast<uint8_t>(w0 >> 19 & 3);
        s.timg_address = w1;
        say([&]() -> std::string {
            return format_text("G_SETTIMG %s %s at 0x%08X", texel_format_name(s.timg_fmt), texel_size_name(s.timg_siz),
                               w1);
        });
        break;
    case G_SETTILE: {
        TileState& t = s.tiles[w1 >> 24 & 7];
        t.fmt = static_cast<uint8_t>(w0 >> 21 & 7);
        t.siz = static_cast<uint8_t>(w0 >> 19 & 3);
        t.line = static_cast<uint16_t>(w0 >> 9 & 0x1FF);
        t.tmem = static_cast<uint16_t>(w0 & 0x1FF);
        t.palette = static_cast<uint8_t>(w1 >> 20 & 15);
        t.cmt = static_cast<uint8_t>(w1 >> 18 & 3);
        t.maskt = static_cast<uint8_t>(w1 >> 14 & 15);
        t.shiftt = static_cast<uint8_t>(w1 >> 10 & 15);
        t.cms = static_cast<uint8_t>(w1 >> 8 & 3);
        t.masks = static_cast<uint8_t>(w1 >> 4 & 15);
        t.shifts = static_cast<uint8_t>(w1 & 15);
        say([&]() -> std::string {
            return format_text("G_SETTILE tile %u %s %s line %u tmem 0x%03X palette %u, S %s mask %u shift %u, "
                               "T %s mask %u shift %u",
                               w1 >> 24 & 7, texel_format_name(t.fmt), texel_size_name(t.siz), t.line, t.tmem,
                               t.palette, clamp_mirror_name(t.cms), t.masks, t.shifts, clamp_mirror_name(t.cmt),
                               t.maskt, t.shiftt);
        });
        break;
    }
    case G_LOADBLOCK: {
        const TileState& t = s.tiles[w1 >> 24 & 7];
        const uint32_t last = w1 >> 12 & 0xFFF;
        const uint32_t texels = last + 1;
        // The load tile's size sets how many bytes each texel of the block takes.
        const uint32_t bytes = t.siz == G_IM_SIZ_4b ? (texels + 1) / 2 : texels << (t.siz - 1);
        say([&]() -> std::string {
            return format_text("G_LOADBLOCK tile %u, texels 0..%u, dxt %u", w1 >> 24 & 7, last, w1 & 0xFFF);
        });
        load_texels(w, at, bytes, t.tmem * 8u);
        s.texture.address = s.timg_address;
        s.texture.loaded = true;
        s.texture.in_object = in_object_segment(w.object, s.timg_address);
        break;
    }
    case G_LOADTLUT: {
        const TileState& t = s.tiles[w1 >> 24 & 7];
        const uint32_t colours = (w1 >> 14 & 0x3FF) + 1;
        say([&]() -> std::string { return format_text("G_LOADTLUT tile %u, %u colours", w1 >> 24 & 7, colours); });
        load_texels(w, at, colours * 2, t.tmem * 8u);
        s.texture.palette_address = s.timg_address;
        s.texture.palette_colours = colours;
        break;
    }
    case G_SETTILESIZE: {
        TileState& t = s.tiles[w1 >> 24 & 7];
        t.uls = static_cast<uint16_t>(w0 >> 12 & 0xFFF);
        t.ult = static_cast<uint16_t>(w0 & 0xFFF);
        t.lrs = static_cast<uint16_t>(w1 >> 12 & 0xFFF);
        t.lrt = static_cast<uint16_t>(w1 & 0xFFF);
        say([&]() -> std::string {
            return format_text("G_SETTILESIZE tile %u, (%s,%s) to (%s,%s)", w1 >> 24 & 7, fixed_10_2(t.uls).c_str(),
                               fixed_10_2(t.ult).c_str(), fixed_10_2(t.lrs).c_str(), fixed_10_2(t.lrt).c_str());
        });
        break;
    }
    case G_SETPRIMCOLOR:
        s.prim_colour = w1;
        say([&]() -> std::string { return format_text("G_SETPRIMCOLOR 0x%08X", w1); });
        break;
    case G_SETCOMBINE:
        s.combine_w0 = w0;
        s.combine_w1 = w1;
        say([&]() -> std::string { return "G_SETCOMBINE " + combiner_text(w0, w1); });
        break;
    default:
        object_fault(w.item, at, "unknown command 0x%08X 0x%08X", w0, w1);
    }
}

static void walk_list(Walk& w, uint32_t offset, int depth)
{
    bool ended = false;
    const int outer = w.depth;
    w.depth = depth;
    // Nothing decides between paths, so a branch into a stretch this list
    // has already walked comes round again for ever.
    std::vector<std::pair<uint32_t, uint32_t>> walked;
    uint32_t stretch = offset;
    for (uint32_t at = offset; !ended;) {
        uint32_t next = at + 8;
        walk_command(w, at, depth, next, ended);
        if (next != at + 8) {
            walked.emplace_back(stretch, at + 8);
            for (const auto& [from, to] : walked)
                if (next >= from && next < to)
                    object_fault(w.item, at, "G_DL branches back to 0x%08X; the list never ends",
                                 segment_address(w.object, next));
            stretch = next;
        }
        at = next;
    }
    w.depth = outer;
}

void walk_display_list(const ViewObject& object, const std::string& item, uint32_t offset, const Mat4& modelview,
                       const std::vector<Mat4>& limb_matrices, ListSink& sink)
{
    if (uint64_t{offset} + 8 > object.bytes.size())
        object_fault(item, offset, "the display list lies outside the object of 0x%zX bytes", object.bytes.size());
    if (offset % 8 != 0)
        object_fault(item, offset, "the display list does not start on an 8-byte boundary");
    Walk w{object, item, limb_matrices, sink, modelview, {}, {}, 0, 0};
    walk_list(w, offset, 0);
}
