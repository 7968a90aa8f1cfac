#include "view/render.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/messages.h"
#include "base/pending_file.h"
#include "dlist/gbi.h"
#include "view/texel_sampling.h"

// Cull-front is the one geometry bit the converter never sets.
static constexpr uint32_t cull_front = 0x000200;

// Render mode bits of the other-mode low word that decide how a pixel lands.
static constexpr uint32_t rm_z_upd = 0x20;
static constexpr uint32_t rm_alpha_cvg_sel = 0x2000;
static constexpr uint32_t rm_force_bl = 0x4000;

// Shading: a light from the viewer of each view, over some ambient light.
static constexpr float ambient = 0.4f;

namespace
{

struct Bounds {
    float low[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                    std::numeric_limits<float>::max()};
    float high[3] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                     std::numeric_limits<float>::lowest()};
    bool empty = true;
};

class BoundsSink : public ListSink
{
public:
    Bounds bounds;
    void triangle(const ViewVertex& a, const ViewVertex& b, const ViewVertex& c, const RenderState&) override
    {
        for (const ViewVertex* v : {&a, &b, &c}) {
            const float p[3] = {v->x, v->y, v->z};
            for (int i = 0; i < 3; ++i) {
                bounds.low[i] = std::min(bounds.low[i], p[i]);
                bounds.high[i] = std::max(bounds.high[i], p[i]);
            }
        }
        bounds.empty = false;
    }
};

// Screen axes of a view: right, up and towards the viewer, as weights of x, y, z.
struct ViewAxes {
    float right[3], up[3], toward[3];
};

constexpr ViewAxes view_axes[3] = {
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   // front, from +z
    {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},  // side, from +x
    {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},  // top, from +y
};

struct Colour {
    float r = 0, g = 0, b = 0, a = 0;
};

Colour from_rgba(uint32_t rgba)
{
    return {(rgba >> 24 & 0xFF) / 255.0f, (rgba >> 16 & 0xFF) / 255.0f, (rgba >> 8 & 0xFF) / 255.0f,
            (rgba & 0xFF) / 255.0f};
}

struct CombinerInputs {
    Colour combined, texel, prim, shade, env;
};

float colour_channel(int slot, uint32_t value, const CombinerInputs& in, int channel)
{
    auto pick = [&](const Colour& c) { return channel == 0 ? c.r : channel == 1 ? c.g : c.b; };
    switch (value) {
    case 0:
        return pick(in.combined);
    case 1:
    case 2:
        return pick(in.texel);
    case 3:
        return pick(in.prim);
    case 4:
        return pick(in.shade);
    case 5:
        return pick(in.env);
    default:
        break;
    }
    if (slot == 0)
        return value == 6 ? 1.0f : value == 7 ? 0.5f : 0.0f;
    if (slot == 2) {
        switch (value) {
        case 7:
            return in.combined.a;
        case 8:
        case 9:
            return in.texel.a;
        case 10:
            return in.prim.a;
        case 11:
            return in.shade.a;
        case 12:
            return in.env.a;
        default:
            return 0.0f;
        }
    }
    if (slot == 3)
        return value == 6 ? 1.0f : 0.0f;
    return 0.0f;
}

float alpha_channel(int slot, uint32_t value, const CombinerInputs& in)
{
    switch (value) {
    case 0:
        return slot == 2 ? 0.0f : in.combined.a;
    case 1:
    case 2:
        return in.texel.a;
    case 3:
        return in.prim.a;
    case 4:
        return in.shade.a;
    case 5:
        return in.env.a;
    case 6:
        return slot == 2 ? 0.0f : 1.0f;
    default:
        return 0.0f;
    }
}

// Both cycles of the colour combiner: (a - b) * c + d, colour and alpha.
Colour combine(const std::array<uint32_t, 16>& inputs, CombinerInputs in)
{
    for (int cycle = 0; cycle < 2; ++cycle) {
        const uint32_t* k = &inputs[cycle * 8];
        Colour out;
        float* channels[3] = {&out.r, &out.g, &out.b};
        for (int c = 0; c < 3; ++c) {
            const float v =
                (colour_channel(0, k[0], in, c) - colour_channel(1, k[1], in, c)) * colour_channel(2, k[2], in, c) +
                colour_channel(3, k[3], in, c);
            *channels[c] = std::clamp(v, 0.0f, 1.0f);
        }
        out.a = std::clamp((alpha_channel(0, k[4], in) - alpha_channel(1, k[5], in)) * alpha_channel(2, k[6], in) +
                               alpha_channel(3, k[7], in),
                           0.0f, 1.0f);
        in.combined = out;
    }
    return in.combined;
}

class RasterSink : public ListSink
{
public:
    RasterSink(Picture& picture, std::vector<float>& depth, const Bounds& bounds, int size)
        : picture_(picture), depth_(depth), size_(size)
    {
        float extent = 0;
        for (int i = 0; i < 3; ++i) {
            centre_[i] = (bounds.low[i] + bounds.high[i]) / 2;
            extent = std::max(extent, bounds.high[i] - bounds.low[i]);
        }
        scale_ = extent > 0 ? size * 0.9f / extent : 1.0f;
    }

    void triangle(const ViewVertex& a, const ViewVertex& b, const ViewVertex& c, const RenderState& state) override
    {
        const std::array<uint32_t, 16> inputs = combiner_inputs(state.combine_w0, state.combine_w1);
        for (int view = 0; view < 3; ++view)
            draw(view, {&a, &b, &c}, state, inputs);
    }

private:
    struct Corner {
        float x, y, depth, s, t;
        Colour shade;
    };

    void draw(int view, std::array<const ViewVertex*, 3> v, const RenderState& state,
              const std::array<uint32_t, 16>& inputs)
    {
        const ViewAxes& axes = view_axes[view];
        Corner corner[3];
        for (int i = 0; i < 3; ++i) {
            const float p[3] = {v[i]->x - centre_[0], v[i]->y - centre_[1], v[i]->z - centre_[2]};
            auto dot = [&](const float* axis, const float* q) {
                return axis[0] * q[0] + axis[1] * q[1] + axis[2] * q[2];
            };
            corner[i].x = size_ * view + size_ / 2.0f + dot(axes.right, p) * scale_;
            corner[i].y = size_ / 2.0f - dot(axes.up, p) * scale_;
            corner[i].depth = dot(axes.toward, p);
            corner[i].s = v[i]->s;
            corner[i].t = v[i]->t;
            if (state.geometry_mode & G_LIGHTING) {
                const float n[3] = {v[i]->nx, v[i]->ny, v[i]->nz};
                const float light = ambient + (1 - ambient) * std::max(0.0f, dot(axes.toward, n));
                corner[i].shade = {light, light, light, v[i]->colour[3] / 255.0f};
            } else {
                corner[i].shade = {v[i]->colour[0] / 255.0f, v[i]->colour[1] / 255.0f, v[i]->colour[2] / 255.0f,
                                   v[i]->colour[3] / 255.0f};
            }
        }
        // Counter-clockwise as seen is the front face; screen y runs down.
        const float area = (corner[1].x - corner[0].x) * (corner[2].y - corner[0].y) -
                           (corner[2].x - corner[0].x) * (corner[1].y - corner[0].y);
        if (area == 0 || !std::isfinite(area))
            return;
        const bool front = area < 0;
        if ((front && (state.geometry_mode & cull_front)) || (!front && (state.geometry_mode & G_CULL_BACK)))
            return;

        const int x0 =
            std::max(size_ * view, static_cast<int>(std::floor(std::min({corner[0].x, corner[1].x, corner[2].x}))));
        const int x1 = std::min(size_ * view + size_ - 1,
                                static_cast<int>(std::ceil(std::max({corner[0].x, corner[1].x, corner[2].x}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({corner[0].y, corner[1].y, corner[2].y}))));
        const int y1 =
            std::min(size_ - 1, static_cast<int>(std::ceil(std::max({corner[0].y, corner[1].y, corner[2].y}))));
        const bool textured = state.texture_on && state.texture.loaded && state.texture.in_object;
        const uint32_t mode = state.other_mode_l;
        const bool blend = (mode & rm_force_bl) != 0 && (mode & rm_z_upd) == 0;
        const bool cutout = (mode & rm_alpha_cvg_sel) != 0;
        CombinerInputs in;
        in.prim = from_rgba(state.prim_colour);
        in.env = from_rgba(state.env_colour);
        // A texture in another segment (a bank the game provides) shows as grey.
        in.texel = {0.6f, 0.6f, 0.6f, 1.0f};

        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float px = x + 0.5f, py = y + 0.5f;
                float w[3];
                for (int i = 0; i < 3; ++i) {
                    const Corner& p = corner[(i + 1) % 3];
                    const Corner& q = corner[(i + 2) % 3];
                    w[i] = ((q.x - p.x) * (py - p.y) - (px - p.x) * (q.y - p.y)) / area;
                }
                if (w[0] < 0 || w[1] < 0 || w[2] < 0)
                    continue;
                const float d = w[0] * corner[0].depth + w[1] * corner[1].depth + w[2] * corner[2].depth;
                const size_t at = static_cast<size_t>(y) * picture_.width + x;
                if (d < depth_[at])
                    continue;
                auto mix = [&](auto field) {
                    return w[0] * field(corner[0]) + w[1] * field(corner[1]) + w[2] * field(corner[2]);
                };
                in.shade = {
                    mix([](const Corner& c) { return c.shade.r; }), mix([](const Corner& c) { return c.shade.g; }),
                    mix([](const Corner& c) { return c.shade.b; }), mix([](const Corner& c) { return c.shade.a; })};
                if (textured) {
                    const Rgba texel = sample_tile(state, state.texture_tile, mix([](const Corner& c) { return c.s; }),
                                                   mix([](const Corner& c) { return c.t; }));
                    in.texel = {texel[0] / 255.0f, texel[1] / 255.0f, texel[2] / 255.0f, texel[3] / 255.0f};
                }
                const Colour out = combine(inputs, in);
                if (cutout && out.a < 0.5f)
                    continue;
                uint8_t* pixel = &picture_.rgba[at * 4];
                const float keep = blend ? 1 - out.a : 0.0f, take = blend ? out.a : 1.0f;
                pixel[0] = static_cast<uint8_t>(std::lround(out.r * 255 * take + pixel[0] * keep));
                pixel[1] = static_cast<uint8_t>(std::lround(out.g * 255 * take + pixel[1] * keep));
                pixel[2] = static_cast<uint8_t>(std::lround(out.b * 255 * take + pixel[2] * keep));
                if (!blend)
                    depth_[at] = d;
            }
    }

    Picture& picture_;
    std::vector<float>& depth_;
    int size_;
    float centre_[3] = {};
    float scale_ = 1;
};

}  // namespace

Picture render_views(const ViewObject& object, const std::vector<DrawCall>& calls, int size)
{
    static const std::vector<Mat4> no_limbs;
    BoundsSink bounds;
    for (const DrawCall& call : calls)
        walk_display_list(object, call.item, call.offset, call.modelview,
                          call.limb_matrices ? *call.limb_matrices : no_limbs, bounds);

    Picture picture;
    picture.width = size * 3;
    picture.height = size;
    picture.rgba.resize(static_cast<size_t>(picture.width) * picture.height * 4);
    for (size_t i = 0; i < picture.rgba.size(); ++i)
        picture.rgba[i] = background[i % 4];
    if (bounds.bounds.empty)
        return picture;
    std::vector<float> depth(static_cast<size_t>(picture.width) * picture.height, std::numeric_limits<float>::lowest());
    RasterSink raster(picture, depth, bounds.bounds, size);
    for (const DrawCall& call : calls)
        walk_display_list(object, call.item, call.offset, call.modelview,
                          call.limb_matrices ? *call.limb_matrices : no_limbs, raster);
    return picture;
}

static void write_to_file(void* context, void* data, int size)
{
    std::fwrite(data, 1, static_cast<size_t>(size), static_cast<PendingFile*>(context)->file);
}

void write_png(const Picture& picture, const std::string& path)
{
    // The picture is opaque: three channels are enough.
    std::vector<uint8_t> rgb(static_cast<size_t>(picture.width) * picture.height * 3);
    for (size_t i = 0, j = 0; i < rgb.size(); i += 3, j += 4) {
        rgb[i] = picture.rgba[j];
        rgb[i + 1] = picture.rgba[j + 1];
        rgb[i + 2] = picture.rgba[j + 2];
    }
    PendingFile file = open_pending_file(path);
    // Flat areas of colour compress well at once: the quickest settings
    // (one filter for every row, short match search) lose little.
    stbi_write_png_compression_level = 1;
    stbi_write_force_png_filter = 1;
    if (stbi_write_png_to_func(write_to_file, &file, picture.width, picture.height, 3, rgb.data(), picture.width * 3) ==
        0)
        fatal_error("Couldn't write '%s'!", path.c_str());
    commit_pending_file(file);
}
