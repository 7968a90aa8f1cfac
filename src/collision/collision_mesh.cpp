#include "collision/collision_mesh.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "base/messages.h"
#include "model/position_range.h"

static constexpr size_t max_collision_triangles = 32766;
// Keeps the bounding box clear of the outermost vertices.
static constexpr int bounds_margin = 100;
static constexpr uint32_t no_triangle = UINT32_MAX;

// The integer part of `value`, kept to its low 16 bits (two's complement):
// what the console's 16-bit fields hold. fmod is exact, so even huge values
// wrap as whole numbers would.
static int16_t truncate_to_s16(double value)
{
    const double low = std::fmod(std::trunc(value), 65536.0);
    if (std::isnan(low))
        return 0;
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int32_t>(low)));
}

static int32_t wrap_to_s32(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

static uint64_t pack_vertex(const CollisionVertex& v)
{
    return uint64_t{static_cast<uint16_t>(v.x)} << 32 | uint64_t{static_cast<uint16_t>(v.y)} << 16 |
           static_cast<uint16_t>(v.z);
}

namespace {

struct Plane {
    int16_t normal[3];
    int16_t distance;
};

// One water box as it grows over a connected patch of water triangles.
struct WaterBox {
    int16_t x_min = INT16_MAX, x_max = INT16_MIN;
    int16_t z_min = INT16_MAX, z_max = INT16_MIN;
    int32_t y_surface = 0;
    bool started = false;
    uint16_t type_word0_low = 0;
};

// Working storage of one group's emission.
struct CollisionScratch {
    std::vector<CollisionVertex> vertices;
    std::unordered_map<uint64_t, uint16_t> vertex_index;  // packed x, y, z -> list index
    SurfaceTypeList surface_types;
    std::unordered_map<uint16_t, uint16_t> material_type;  // material -> surface type index
    std::vector<uint8_t> is_water;                          // per triangle of the group
    // Water triangles, and for each collision vertex the water triangles that
    // use it (in triangle order, each list closed by a sentinel slot).
    std::vector<uint32_t> water_triangles;
    std::vector<uint32_t> vertex_list_start;
    std::vector<uint32_t> vertex_fill;
    std::vector<uint32_t> slot_triangle;
    std::vector<uint32_t> slot_next;  // next slot not yet taken, path-compressed
    std::vector<uint32_t> triangle_slots;  // three slots per water triangle
    std::vector<uint8_t> taken;
    struct Frame {
        uint32_t water;
        uint32_t cursor[3];
    };
    std::vector<Frame> stack;
};

}  // namespace

// The polygon's unit normal scaled by 32767 and its plane distance. The cross
// product wraps in 32 bits; its squared length is summed in 64 bits so that
// wide triangles keep a true length. A triangle without area faces straight up.
static Plane plane_of(const CollisionVertex& v1, const CollisionVertex& v2, const CollisionVertex& v3)
{
    const int32_t ax = v1.x - v2.x, ay = v1.y - v2.y, az = v1.z - v2.z;
    const int32_t bx = v2.x - v3.x, by = v2.y - v3.y, bz = v2.z - v3.z;
    const int32_t nx = wrap_to_s32(int64_t{ay} * bz - int64_t{by} * az);
    const int32_t ny = wrap_to_s32(int64_t{az} * bx - int64_t{bz} * ax);
    const int32_t nz = wrap_to_s32(int64_t{by} * ax - int64_t{bx} * ay);
    const uint64_t squared = static_cast<uint64_t>(int64_t{nx} * nx) + static_cast<uint64_t>(int64_t{ny} * ny) +
                             static_cast<uint64_t>(int64_t{nz} * nz);
    const float length = static_cast<float>(std::sqrt(static_cast<double>(squared)));

    float ux = 0.0f, uy = 1.0f, uz = 0.0f;
    if (length != 0.0f) {
        ux = static_cast<float>(nx) / length;
        uy = static_cast<float>(ny) / length;
        uz = static_cast<float>(nz) / length;
    }
    const float dot = ux * static_cast<float>(v1.x) + uy * static_cast<float>(v1.y) + uz * static_cast<float>(v1.z);
    Plane plane;
    plane.normal[0] = static_cast<int16_t>(std::lround(32767.0f * ux));
    plane.normal[1] = static_cast<int16_t>(std::lround(32767.0f * uy));
    plane.normal[2] = static_cast<int16_t>(std::lround(32767.0f * uz));
    plane.distance = static_cast<int16_t>(static_cast<uint16_t>(std::lround(-dot)));
    return plane;
}

// Widens the box by the triangle's corners and folds the triangle's mean
// height into the surface height: the first triangle's mean, then for each
// further one (mean + height so far), truncated, halved.
static void add_to_box(WaterBox& box, const CollisionVertex* corners[3], uint32_t word0)
{
    int32_t y_sum = 0;
    for (int k = 0; k < 3; ++k) {
        const CollisionVertex& c = *corners[k];
        box.x_min = std::min(box.x_min, c.x);
        box.x_max = std::max(box.x_max, c.x);
        box.z_min = std::min(box.z_min, c.z);
        box.z_max = std::max(box.z_max, c.z);
        y_sum += c.y;
    }
    if (!box.started) {
        box.started = true;
        box.y_surface = y_sum / 3;
        box.type_word0_low = static_cast<uint16_t>(word0);
    } else {
        box.y_surface = (y_sum + 3 * box.y_surface) / 3 / 2;
    }
}

// The first slot at or after `slot` whose triangle is not taken yet.
static uint32_t next_free_slot(std::vector<uint32_t>& next, uint32_t slot)
{
    uint32_t root = slot;
    while (next[root] != root)
        root = next[root];
    while (next[slot] != root) {
        const uint32_t following = next[slot];
        next[slot] = root;
        slot = following;
    }
    return root;
}

// Water boxes: each connected patch of water triangles (sharing a vertex)
// is grown depth-first, neighbours in triangle order, and gives one box.
// Every vertex keeps the water triangles that use it in a list; a taken
// triangle is skipped over in all its lists, so the growth stays linear.
static uint16_t write_water_boxes(CollisionScratch& scratch, const Model& model, OutBuffer& output)
{
    const size_t water_count = scratch.water_triangles.size();
    const size_t vertex_count = scratch.vertices.size();

    // The lists of all vertices side by side, each closed by a sentinel slot.
    std::vector<uint32_t>& start = scratch.vertex_list_start;
    start.assign(vertex_count + 1, 0);
    for (const uint32_t t : scratch.water_triangles)
        for (const uint16_t corner : model.triangles[t].position)
            ++start[corner + 1u];
    for (size_t v = 0; v < vertex_count; ++v)
        start[v + 1] += start[v] + 1;
    const size_t slot_count = start[vertex_count];
    scratch.slot_triangle.assign(slot_count, no_triangle);
    scratch.slot_next.resize(slot_count);
    for (size_t s = 0; s < slot_count; ++s)
        scratch.slot_next[s] = static_cast<uint32_t>(s);
    scratch.triangle_slots.resize(3 * water_count);
    std::vector<uint32_t>& fill = scratch.vertex_fill;
    fill.assign(start.begin(), start.end() - 1);
    for (size_t w = 0; w < water_count; ++w) {
        const Triangle& triangle = model.triangles[scratch.water_triangles[w]];
        for (int k = 0; k < 3; ++k) {
            const uint32_t slot = fill[triangle.position[k]]++;
            scratch.slot_triangle[slot] = static_cast<uint32_t>(w);
            scratch.triangle_slots[3 * w + k] = slot;
        }
    }
    scratch.taken.assign(water_count, 0);

    uint16_t box_count = 0;
    for (size_t root = 0; root < water_count; ++root) {
        if (scratch.taken[root])
            continue;
        WaterBox box;
        // Takes a triangle into the box and makes its scan the one in progress.
        auto join = [&](uint32_t w) {
            scratch.taken[w] = 1;
            const Triangle& triangle = model.triangles[scratch.water_triangles[w]];
            CollisionScratch::Frame frame{w, {}};
            const CollisionVertex* corners[3];
            for (int k = 0; k < 3; ++k) {
                const uint32_t slot = scratch.triangle_slots[3 * w + k];
                scratch.slot_next[slot] = slot + 1;
                frame.cursor[k] = start[triangle.position[k]];
                corners[k] = &scratch.vertices[triangle.position[k]];
            }
            add_to_box(box, corners, scratch.surface_types.types[triangle.material].word0);
            scratch.stack.push_back(frame);
        };
        // The scan of the newest triangle goes first; the next neighbour of a
        // scan is the smallest untaken triangle among its corners' lists.
        scratch.stack.clear();
        join(static_cast<uint32_t>(root));
        while (!scratch.stack.empty()) {
            CollisionScratch::Frame& frame = scratch.stack.back();
            uint32_t next = no_triangle;
            for (uint32_t& cursor : frame.cursor) {
                cursor = next_free_slot(scratch.slot_next, cursor);
                next = std::min(next, scratch.slot_triangle[cursor]);
            }
            if (next == no_triangle)
                scratch.stack.pop_back();
            else
                join(next);
        }

        ob_write_u16(output, static_cast<uint16_t>(box.x_min));
        ob_write_u16(output, static_cast<uint16_t>(box.y_surface));
        ob_write_u16(output, static_cast<uint16_t>(box.z_min));
        ob_write_u16(output, static_cast<uint16_t>(box.x_max - box.x_min));
        ob_write_u16(output, static_cast<uint16_t>(box.z_max - box.z_min));
        ob_write_u16(output, 0);
        // The game reads the properties as a word at offset 12 of a 16-byte
        // box; the type's low half lands in its upper half.
        ob_write_u16(output, box.type_word0_low);
        ob_write_u16(output, 0);
        ++box_count;
    }
    return box_count;
}

// The group's triangles: up to the next group's start, or to the end.
static std::pair<size_t, size_t> collision_triangles(const Model& model, uint16_t group)
{
    if (group >= model.group_starts.size() || group >= model.groups.size())
        fatal_error("Something went wrong!");
    const uint32_t own_start = model.group_starts[group];
    const size_t first = own_start;
    const size_t end = group + 1u < model.group_starts.size() ? size_t{model.group_starts[group + 1u] & ~group_start_moved}
                                                              : model.triangles.size();
    if ((own_start & group_start_moved) != 0 || end <= first || end > model.triangles.size())
        fatal_error("Something went wrong!");
    // More triangles than the polygon count can hold are refused as an empty
    // group, before anything else about their vertices is reported.
    if (end - first > max_collision_triangles)
        fatal_error("Empty collision group '%s'!", model.groups[group].name.c_str());
    return {first, end};
}

// Collision vertices are 16 bits wide: before anything of the group is
// written, stop at the first of its positions that does not fit once its
// group's POS point is taken from it, suggesting a scale at which all of the
// group's positions fit.
static void check_vertex_range(const Model& model, size_t first, size_t end, const std::string& group_name,
                               float scale)
{
    PositionSpan span;
    std::optional<std::pair<uint16_t, double>> overflow;  // position index, stored value
    for (size_t t = first; t < end; ++t) {
        const Triangle& triangle = model.triangles[t];
        if (triangle.group >= model.groups.size())
            continue;  // reported as the vertices are emitted
        const Group& owner = model.groups[triangle.group];
        for (const uint16_t corner : triangle.position) {
            if (corner >= model.vertices.size())
                continue;
            const Vertex& v = model.vertices[corner];
            for (const double relative : {v.x - double{owner.pos_x}, v.y - double{owner.pos_y},
                                          v.z - double{owner.pos_z}}) {
                const double stored = std::trunc(relative);
                span.add(stored);
                if (!overflow && !position_fits(stored))
                    overflow.emplace(corner, stored);
            }
        }
    }
    if (!overflow)
        return;
    const Group& group = model.groups[model.triangles[first].group];
    const bool moved = group.pos_x != 0 || group.pos_y != 0 || group.pos_z != 0;
    position_out_of_range(format_text("Vertex %u of collision group '%s'", unsigned{overflow->first} + 1,
                                      group_name.c_str()),
                          overflow->second / static_cast<double>(scale), overflow->second, scale,
                          moved ? " from the group's POS point" : "", span);
}

namespace {

struct Bounds {
    int16_t min_x = INT16_MAX, min_y = INT16_MAX, min_z = INT16_MAX;
    int16_t max_x = INT16_MIN, max_y = INT16_MIN, max_z = INT16_MIN;
};

}  // namespace

// Collision vertices: relative to the triangle's group POS point, stored once
// each in order of first use. The corners become indices into the list.
// Returns the bounds of the vertices in 16 bits.
static Bounds emit_vertices(CollisionScratch& scratch, Model& model, size_t first, size_t end,
                            const std::string& group_name, OutBuffer& output)
{
    Bounds b;
    for (size_t t = first; t < end; ++t) {
        Triangle& triangle = model.triangles[t];
        if (triangle.group >= model.groups.size())
            fatal_error("Something went wrong!");
        const Group& owner = model.groups[triangle.group];
        for (uint16_t& corner : triangle.position) {
            if (corner >= model.vertices.size())
                fatal_error("Collision group '%s' uses position %u, which does not exist!", group_name.c_str(),
                            unsigned{corner} + 1);
            const Vertex& position = model.vertices[corner];
            const CollisionVertex v{truncate_to_s16(position.x - double{owner.pos_x}),
                                    truncate_to_s16(position.y - double{owner.pos_y}),
                                    truncate_to_s16(position.z - double{owner.pos_z})};
            b.min_x = std::min(b.min_x, v.x), b.max_x = std::max(b.max_x, v.x);
            b.min_y = std::min(b.min_y, v.y), b.max_y = std::max(b.max_y, v.y);
            b.min_z = std::min(b.min_z, v.z), b.max_z = std::max(b.max_z, v.z);
            const auto [found, added] =
                scratch.vertex_index.try_emplace(pack_vertex(v), static_cast<uint16_t>(scratch.vertices.size()));
            if (added) {
                if (scratch.vertices.size() >= max_collision_vertices)
                    fatal_error("Collision group '%s' has more than %zu vertices!", group_name.c_str(),
                                max_collision_vertices);
                scratch.vertices.push_back(v);
            }
            corner = found->second;
        }
    }
    if (scratch.vertices.empty())
        fatal_error("Empty collision group '%s'!", group_name.c_str());

    for (const CollisionVertex& v : scratch.vertices) {
        ob_write_u16(output, static_cast<uint16_t>(v.x));
        ob_write_u16(output, static_cast<uint16_t>(v.y));
        ob_write_u16(output, static_cast<uint16_t>(v.z));
    }
    ob_align4(output);
    return b;
}

// Surface types from the material names, one per distinct type; each
// triangle's material becomes the index of its type.
static void emit_surface_types(CollisionScratch& scratch, Model& model, size_t first, size_t end,
                               const std::string& group_name, OutBuffer& output)
{
    for (size_t t = first; t < end; ++t) {
        Triangle& triangle = model.triangles[t];
        const auto cached = scratch.material_type.find(triangle.material);
        if (cached != scratch.material_type.end()) {
            triangle.material = cached->second;
            continue;
        }
        if (triangle.material >= model.material_table.size())
            fatal_error("Collision group '%s' uses material %u, which does not exist!", group_name.c_str(),
                        unsigned{triangle.material});
        const uint16_t type = classify_surface(model.material_table[triangle.material].name, scratch.surface_types);
        if (scratch.surface_types.types.size() > max_surface_types)
            fatal_error("Collision group '%s' has more than %zu surface types!", group_name.c_str(),
                        max_surface_types);
        scratch.material_type.emplace(triangle.material, type);
        triangle.material = type;
    }
    for (const SurfaceType& type : scratch.surface_types.types)
        ob_write_u32_pair(output, type.word0, type.word1);
    ob_align4(output);
}

// Polygons with their plane equations, 16 bytes each. Water triangles are
// not polygons: they are marked for the water boxes instead. Returns the
// number of polygons.
static uint16_t emit_polygons(CollisionScratch& scratch, const Model& model, size_t first, size_t end,
                              OutBuffer& output)
{
    uint16_t polygon_count = 0;
    for (size_t t = first; t < end; ++t) {
        const Triangle& triangle = model.triangles[t];
        const SurfaceType& type = scratch.surface_types.types[triangle.material];
        if (type.water) {
            scratch.is_water[t - first] = 1;
            continue;
        }
        ++polygon_count;
        const uint16_t flags[3] = {type.corner1_flags, type.corner2_flags, type.corner3_flags};
        ob_write_u16(output, triangle.material);
        for (int k = 0; k < 3; ++k)
            ob_write_u16(output, static_cast<uint16_t>(triangle.position[k] | flags[k]));
        const Plane plane = plane_of(scratch.vertices[triangle.position[0]], scratch.vertices[triangle.position[1]],
                                     scratch.vertices[triangle.position[2]]);
        for (const int16_t n : plane.normal)
            ob_write_u16(output, static_cast<uint16_t>(n));
        ob_write_u16(output, static_cast<uint16_t>(plane.distance));
    }
    ob_align4(output);
    return polygon_count;
}

// One water box per connected patch of the group's water triangles. Returns
// the number of boxes.
static uint16_t emit_water_boxes(CollisionScratch& scratch, const Model& model, size_t first, size_t end,
                                 OutBuffer& output)
{
    uint16_t box_count = 0;
    try {
        scratch.water_triangles.clear();
        for (size_t t = first; t < end; ++t)
            if (scratch.is_water[t - first])
                scratch.water_triangles.push_back(static_cast<uint32_t>(t));
        box_count = write_water_boxes(scratch, model, output);
    } catch (const std::bad_alloc&) {
        fatal_error("Memory error!");
    }
    ob_align4(output);
    return box_count;
}

// The 44-byte header: bounds with a margin, then each list's count and address.
static void emit_header(const Bounds& b, uint16_t vertex_count, uint16_t polygon_count, uint16_t box_count,
                        const CollisionOffsets& at, uint32_t base_offset, OutBuffer& output)
{
    ob_write_u16(output, static_cast<uint16_t>(b.min_x - bounds_margin));
    ob_write_u16(output, static_cast<uint16_t>(b.min_y - bounds_margin));
    ob_write_u16(output, static_cast<uint16_t>(b.min_z - bounds_margin));
    ob_write_u16(output, static_cast<uint16_t>(b.max_x + bounds_margin));
    ob_write_u16(output, static_cast<uint16_t>(b.max_y + bounds_margin));
    ob_write_u16(output, static_cast<uint16_t>(b.max_z + bounds_margin));
    ob_write_u16(output, vertex_count);
    ob_write_u16(output, 0);
    ob_write_u32(output, base_offset + at.vertices);
    ob_write_u16(output, polygon_count);
    ob_write_u16(output, 0);
    ob_write_u32(output, base_offset + at.polygons);
    ob_write_u32(output, base_offset + at.surface_types);
    ob_write_u32(output, 0);  // no camera data
    ob_write_u16(output, box_count);
    ob_write_u16(output, 0);
    ob_write_u32(output, base_offset + at.water_boxes);
}

uint32_t emit_collision(Model& model, uint16_t group, uint32_t base_offset, float scale, OutBuffer& output,
                        CollisionOffsets* offsets)
{
    const auto [first, end] = collision_triangles(model, group);
    const std::string& group_name = model.groups[group].name;
    check_vertex_range(model, first, end, group_name, scale);

    CollisionScratch scratch;
    try {
        scratch.vertices.reserve(max_collision_vertices);
        scratch.is_water.assign(end - first, 0);
    } catch (const std::bad_alloc&) {
        fatal_error("Memory error!");
    }

    CollisionOffsets at;
    at.vertices = output.length;
    const Bounds bounds = emit_vertices(scratch, model, first, end, group_name, output);
    at.surface_types = output.length;
    emit_surface_types(scratch, model, first, end, group_name, output);
    at.polygons = output.length;
    const uint16_t polygon_count = emit_polygons(scratch, model, first, end, output);
    at.water_boxes = output.length;
    const uint16_t box_count = emit_water_boxes(scratch, model, first, end, output);
    at.header = output.length;
    emit_header(bounds, static_cast<uint16_t>(scratch.vertices.size()), polygon_count, box_count, at, base_offset,
                output);

    if (offsets)
        *offsets = at;
    return at.header;
}
