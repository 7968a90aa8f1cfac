#include "dlist/display_list.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>

#include "base/context.h"
#include "base/messages.h"
#include "dlist/gbi.h"
#include "dlist/material_commands.h"
#include "dlist/truncate.h"
#include "model/position_range.h"

static_assert(sizeof(OutVertex) == 16 && sizeof(DisplayListScratch::vertex_batch) == 16 * vertex_buffer_size,
              "vertex records are written to the object as they lie in the batch");

static constexpr size_t limb_byte = 6;

static void put_i16(OutVertex& record, size_t at, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    record[at] = static_cast<uint8_t>(bits >> 8);
    record[at + 1] = static_cast<uint8_t>(bits & 0xFF);
}

// The group's triangles: from its own start up to the next group's start (top
// bit masked), or the end. Empty when the group has no entry or its
// triangles were moved into limb groups.
static std::pair<size_t, size_t> triangle_range(const Model& model, uint16_t group)
{
    if (group >= model.group_starts.size() || (model.group_starts[group] & group_start_moved))
        return {0, 0};
    const size_t begin = model.group_starts[group];
    size_t end = model.triangles.size();
    if (size_t{group} + 1 < model.group_starts.size())
        end = std::min<size_t>(end, model.group_starts[group + 1] & ~group_start_moved);
    return {begin, std::max(begin, end)};
}

// The material a triangle is drawn with. The geometry reader only stores
// materials that exist, so anything else is a fault of an earlier stage.
static Material& triangle_material(Model& model, const Triangle& triangle, size_t index)
{
    if (triangle.material >= model.material_table.size())
        fatal_error("Triangle %zu uses material %u, but only %zu materials exist", index,
                    unsigned{triangle.material}, model.material_table.size());
    return model.material_table[triangle.material];
}

// The position of a triangle corner, checked against the vertex table.
static const Vertex& corner_vertex(const Model& model, const Triangle& triangle, size_t index, size_t corner)
{
    const uint16_t at = triangle.position[corner];
    if (at >= model.vertices.size())
        fatal_error("Triangle %zu uses vertex %u, but the model has %zu vertices", index, unsigned{at},
                    model.vertices.size());
    return model.vertices[at];
}

// The limb a vertex's records carry: the limb number of its bone, or 0xFF
// for a vertex without a bone (or a model without a skeleton).
static uint8_t vertex_limb(const Model& model, const Vertex& v, uint16_t index)
{
    if (model.skeletons.empty() || v.bone == no_bone)
        return no_bone;
    const std::vector<Bone>& bones = model.skeletons[0].bones;
    if (v.bone >= bones.size())
        fatal_error("Vertex %u belongs to bone %u, but the skeleton has %zu bones", unsigned{index},
                    unsigned{v.bone}, bones.size());
    return bones[v.bone].limb_index;
}

// Stops for a drawn position that does not fit the record's 16 bits once
// the group's POS point is taken from it. The suggested scale is one at
// which every drawn position of the model fits, each from its own group's
// POS point.
[[noreturn]] static void record_position_overflow(const Model& model, uint16_t vertex, const Group& group,
                                                  double stored, float scale)
{
    PositionSpan span;
    for (const Triangle& t : model.triangles) {
        if (t.group >= model.groups.size() || model.groups[t.group].collision)
            continue;
        const Group& g = model.groups[t.group];
        for (const uint16_t p : t.position) {
            if (p >= model.vertices.size())
                continue;
            const Vertex& v = model.vertices[p];
            for (const auto& [at, origin] : {std::pair{v.x, g.pos_x}, {v.y, g.pos_y}, {v.z, g.pos_z}}) {
                span.add(std::trunc(at));
                span.add(std::trunc(at - double{origin}));
            }
        }
    }
    const bool moved = group.pos_x != 0 || group.pos_y != 0 || group.pos_z != 0;
    position_out_of_range(format_text("Vertex %u of group '%s'", unsigned{vertex} + 1, group.name.c_str()),
                          stored / static_cast<double>(scale), stored, scale,
                          moved ? " from the group's POS point" : "", span);
}

// The record of corner `k` of a triangle. A corner without texture
// coordinate or normal repeats the corner before it, `previous` (corner 0
// gets zeros).
static OutVertex corner_record(const Model& model, const Triangle& triangle, size_t index, size_t k,
                               const Group& group, float tex_w, float tex_h, float scale, const OutVertex* previous)
{
    OutVertex r{};
    const Vertex& v = corner_vertex(model, triangle, index, k);

    // Position relative to the group's origin, in float as the origin is.
    const double at[3] = {v.x, v.y, v.z};
    const float origin[3] = {group.pos_x, group.pos_y, group.pos_z};
    for (size_t c = 0; c < 3; ++c) {
        const float relative = static_cast<float>(trunc16(at[c])) - origin[c];
        if (!position_fits(std::trunc(at[c])))
            record_position_overflow(model, triangle.position[k], group, std::trunc(at[c]), scale);
        if (!position_fits(std::trunc(relative)))
            record_position_overflow(model, triangle.position[k], group, std::trunc(relative), scale);
        put_i16(r, 2 * c, trunc16(relative));
    }

    // The high byte of the flag word carries the limb, for the limb matrix loads.
    r[limb_byte] = vertex_limb(model, v, triangle.position[k]);
    r[7] = 0;

    // Texture coordinate in 10.5 fixed point texels.
    const uint16_t tc = triangle.texcoord[k];
    if (tc < absent_index && !model.texcoords.empty()) {
        if (tc >= model.texcoords.size())
            fatal_error("Triangle %zu uses texture coordinate %u, but the model has %zu", index, unsigned{tc},
                        model.texcoords.size());
        put_i16(r, 8, trunc16(model.texcoords[tc].u * tex_w * 32.0f));
        put_i16(r, 10, trunc16(model.texcoords[tc].v * tex_h * 32.0f));
    } else if (previous != nullptr) {
        std::memcpy(&r[8], &(*previous)[8], 4);
    }

    // Normal as signed bytes of 127ths.
    const uint16_t nm = triangle.normal[k];
    if (nm < absent_index && !model.normals.empty()) {
        if (nm >= model.normals.size())
            fatal_error("Triangle %zu uses normal %u, but the model has %zu", index, unsigned{nm},
                        model.normals.size());
        const Normal& n = model.normals[nm];
        r[12] = static_cast<uint8_t>(static_cast<uint16_t>(trunc16(n.x * 127.0f)) & 0xFF);
        r[13] = static_cast<uint8_t>(static_cast<uint16_t>(trunc16(n.y * 127.0f)) & 0xFF);
        r[14] = static_cast<uint8_t>(static_cast<uint16_t>(trunc16(n.z * 127.0f)) & 0xFF);
    } else if (previous != nullptr) {
        std::memcpy(&r[12], &(*previous)[12], 3);
    }
    r[15] = 0xFF;
    return r;
}

// The three vertex records of a triangle, corners in order 0, 1, 2. A
// corner's record depends only on its position, texture coordinate, normal
// and group, the material's texture size and the settings, so one that has
// all of its own (and repeats nothing of the corner before) is taken from
// the scratch's record cache once it has been made in this list.
static std::array<OutVertex, 3> triangle_records(const Model& model, DisplayListScratch& s, const Triangle& triangle,
                                                 size_t index, const Material& material, float scale)
{
    if (triangle.group >= model.groups.size())
        fatal_error("Triangle %zu belongs to group %u, but the model has %zu groups", index,
                    unsigned{triangle.group}, model.groups.size());
    const Group& group = model.groups[triangle.group];
    const float tex_w = material.tex_width == 0 ? 1.0f : static_cast<float>(material.tex_width);
    const float tex_h = material.tex_height == 0 ? 1.0f : static_cast<float>(material.tex_height);

    std::array<OutVertex, 3> records{};
    for (size_t k = 0; k < 3; ++k) {
        const OutVertex* previous = k > 0 ? &records[k - 1] : nullptr;
        const bool own = triangle.texcoord[k] < absent_index && !model.texcoords.empty() &&
                         triangle.normal[k] < absent_index && !model.normals.empty();
        if (!own) {
            records[k] = corner_record(model, triangle, index, k, group, tex_w, tex_h, scale, previous);
            continue;
        }
        const uint64_t key = uint64_t{triangle.position[k]} | uint64_t{triangle.texcoord[k]} << 16 |
                             uint64_t{triangle.normal[k]} << 32 | uint64_t{triangle.group} << 48;
        RecordCacheEntry& entry = s.record_cache[(key * 0x9E3779B97F4A7C15u) >> 56];
        if (entry.generation != s.cache_generation || entry.key != key || entry.material != &material) {
            entry.record = corner_record(model, triangle, index, k, group, tex_w, tex_h, scale, previous);
            entry.key = key;
            entry.material = &material;
            entry.generation = s.cache_generation;
        }
        records[k] = entry.record;
    }
    return records;
}

// The slot of the batch's record table where `record` stands, or the empty
// slot where it would go. The batch's records are all different, and the
// table is never more than half full.
static size_t record_slot(const DisplayListScratch& s, const OutVertex& record)
{
    uint64_t low = 0, high = 0;
    std::memcpy(&low, record.data(), 8);
    std::memcpy(&high, record.data() + 8, 8);
    static_assert(sizeof(s.record_slots) == 64 && 2 * vertex_buffer_size <= 64, "six bits of hash, half full at most");
    constexpr size_t mask = 63;
    size_t slot = static_cast<size_t>(((low ^ (high * 0x9E3779B97F4A7C15u)) * 0xC2B2AE3D27D4EB4Fu) >> 58);
    for (;; slot = (slot + 1) & mask) {
        const uint8_t entry = s.record_slots[slot];
        if (entry == 0 || std::memcmp(s.vertex_batch[entry - 1u].data(), record.data(), sizeof(OutVertex)) == 0)
            return slot;
    }
}

// Orders the batch by limb, the limb being built last, keeping the order of
// equal limbs so that each limb's records stay together; then renumbers the
// batch's triangles to match.
static void order_by_limb(DisplayListScratch& s, uint8_t limb)
{
    std::array<uint8_t, vertex_buffer_size> order{};
    std::iota(order.begin(), order.begin() + s.vertex_count, uint8_t{0});
    std::stable_sort(order.begin(), order.begin() + s.vertex_count, [&](uint8_t a, uint8_t b) {
        const uint8_t la = s.vertex_batch[a][limb_byte];
        const uint8_t lb = s.vertex_batch[b][limb_byte];
        const bool own_a = la == limb;
        const bool own_b = lb == limb;
        return own_a != own_b ? own_b : la < lb;
    });

    std::array<OutVertex, vertex_buffer_size> sorted{};
    std::array<uint8_t, vertex_buffer_size> new_index{};
    for (uint8_t n = 0; n < s.vertex_count; ++n) {
        sorted[n] = s.vertex_batch[order[n]];
        new_index[order[n]] = n;
    }
    std::copy(sorted.begin(), sorted.begin() + s.vertex_count, s.vertex_batch.begin());
    for (std::array<uint8_t, 3>& t : s.batch_triangles)
        for (uint8_t& i : t)
            i = new_index[i];
}

// Runs of the batch: consecutive records of one limb.
static size_t count_runs(const DisplayListScratch& s)
{
    size_t runs = 0;
    for (uint8_t i = 0; i < s.vertex_count; ++i)
        if (i == 0 || s.vertex_batch[i][limb_byte] != s.vertex_batch[i - 1][limb_byte])
            ++runs;
    return runs;
}

static bool batch_has_limbless_vertex(const DisplayListScratch& s)
{
    for (uint8_t i = 0; i < s.vertex_count; ++i)
        if (s.vertex_batch[i][limb_byte] == no_bone)
            return true;
    return false;
}

// A vertex without a limb that the console would draw through a limb
// matrix would take the matrix of limb 255, which does not exist. Names the
// first such vertex among the batch's triangles, `first` to `stop` - 1.
[[noreturn]] static void report_limbless_vertex(const Model& model, size_t first, size_t stop, uint16_t group)
{
    const char* group_name = group < model.groups.size() ? model.groups[group].name.c_str() : "";
    for (size_t t = first; t < stop; ++t)
        for (const uint16_t corner : model.triangles[t].position) {
            const Vertex& v = model.vertices[corner];
            if (vertex_limb(model, v, corner) != no_bone)
                continue;
            if (v.bone == no_bone)
                fatal_error("The vertex of line %u (position %u) has no bone, but group '%s' draws it through a "
                            "limb matrix; the console would take the matrix of a limb that does not exist",
                            v.line, unsigned{corner} + 1, group_name);
            fatal_error("The vertex of line %u (position %u) belongs to bone %u, which has no display list, but "
                        "group '%s' draws it through a limb matrix; the console would take the matrix of a limb "
                        "that does not exist",
                        v.line, unsigned{corner} + 1, unsigned{v.bone}, group_name);
        }
    fatal_error("Group '%s' draws a vertex without a limb through a limb matrix", group_name);
}

// Writes the batch's records to the object, then loads them run by run (a
// run is consecutive records of one limb, each under its limb's matrix when
// the batch has more than one) and draws the triangles two at a time.
// `in_force` is the limb matrix the console draws with when the batch
// starts (none: the caller's matrix); a batch of one run loads its own
// limb's matrix when another limb's is in force.
static void emit_batch(const DisplayListScratch& s, uint32_t base_offset, OutBuffer& output, OutBuffer& list,
                       std::optional<uint8_t>& in_force)
{
    const uint32_t first_record = output.length;
    ob_write_bytes(output, s.vertex_batch.data(), size_t{s.vertex_count} * sizeof(OutVertex));

    const size_t runs = count_runs(s);
    const bool one_run_needs_matrix =
        runs == 1 && in_force.has_value() && *in_force != s.vertex_batch[0][limb_byte];

    for (uint8_t start = 0; start < s.vertex_count;) {
        const uint8_t limb = s.vertex_batch[start][limb_byte];
        uint8_t n = 1;
        while (start + n < s.vertex_count && s.vertex_batch[start + n][limb_byte] == limb)
            ++n;
        if (runs > 1 || one_run_needs_matrix) {
            ob_write_command(list, matrix_load_limb(limb));
            in_force = limb;
        }
        ob_write_command(list, vertex_load(n, start, base_offset + first_record + 16u * start));
        start = static_cast<uint8_t>(start + n);
    }

    const std::vector<std::array<uint8_t, 3>>& t = s.batch_triangles;
    size_t k = 0;
    for (; k + 1 < t.size(); k += 2)
        ob_write_command(list, triangle_pair(t[k][0], t[k][1], t[k][2], t[k + 1][0], t[k + 1][1], t[k + 1][2]));
    if (k < t.size())
        ob_write_command(list, triangle_one(t[k][0], t[k][1], t[k][2]));
}

int32_t build_display_list(Context& ctx, Model& model, DisplayListScratch& s, OutBuffer& output,
                           uint16_t group, uint8_t limb, const char* name)
{
    const auto [begin, end] = triangle_range(model, group);
    if (begin == end)
        return -1;

    if (s.scratch_list.capacity() == 0)
        s.scratch_list = make_out_buffer(0x10000);
    OutBuffer& list = s.scratch_list;
    list.length = 0;
    // Records made for an earlier list are not reused: limbs may have been
    // numbered since.
    ++s.cache_generation;
    s.previous_material = nullptr;
    const bool has_skeleton = !model.skeletons.empty();
    // The limb matrix in force: the game calls a limb's list with that
    // limb's matrix loaded, and a plain list with its own.
    std::optional<uint8_t> in_force;
    if (limb != no_bone)
        in_force = limb;

    // Matrix prefix of named groups: a limb's matrix in place of the
    // modelview matrix, and the matrix of segment 0x01 multiplied in.
    if (name != nullptr) {
        if (std::strstr(name, "QXLMTX") != nullptr && has_skeleton) {
            const uint8_t bone = corner_vertex(model, model.triangles[begin], begin, 0).bone;
            const std::vector<Bone>& bones = model.skeletons[0].bones;
            if (bone < bones.size()) {
                ob_write_command(list, matrix_load_limb(bones[bone].limb_index));
                in_force = bones[bone].limb_index;
            }
        }
        if (std::strstr(name, "QXBMTX") != nullptr || std::strstr(name, "QXBBMTX") != nullptr)
            ob_write_command(list, matrix_multiply_segment1());
    }

    // Batches: runs of one material, at most 31 distinct vertices each.
    const bool limb_order = limb != no_bone || has_skeleton;
    std::optional<uint16_t> last_material;
    size_t i = begin;
    while (i < end) {
        const uint16_t m = model.triangles[i].material;
        Material& material = triangle_material(model, model.triangles[i], i);
        if (last_material != m)
            emit_material(ctx.settings, model, material, s.previous_material, list);

        s.vertex_batch.fill(OutVertex{});
        s.vertex_count = 0;
        s.record_slots.fill(0);
        s.batch_triangles.clear();

        // Take triangles while their new vertices fit; a triangle that would
        // bring the batch to 32 starts the next one.
        size_t j = i;
        for (; j < end && model.triangles[j].material == m; ++j) {
            const Triangle& triangle = model.triangles[j];
            const std::array<OutVertex, 3> records =
                triangle_records(model, s, triangle, j, material, ctx.settings.scale);
            std::array<uint8_t, 3> indices{};
            uint8_t appended = 0;
            for (size_t k = 0; k < 3; ++k) {
                const size_t slot = record_slot(s, records[k]);
                if (s.record_slots[slot] != 0) {
                    indices[k] = static_cast<uint8_t>(s.record_slots[slot] - 1);
                } else if (k == 0 || s.vertex_count < vertex_buffer_size) {
                    s.vertex_batch[s.vertex_count] = records[k];
                    indices[k] = s.vertex_count++;
                    s.record_slots[slot] = s.vertex_count;
                    ++appended;
                }
            }
            if (s.vertex_count > max_batch_vertices) {
                s.vertex_count = static_cast<uint8_t>(s.vertex_count - appended);
                break;
            }
            // Hidden and placeholder triangles load their vertices but draw nothing.
            if (triangle.kind == triangle_drawn)
                s.batch_triangles.push_back(indices);
        }

        if (limb_order)
            order_by_limb(s, limb);
        // Every vertex drawn through a limb matrix needs a limb: in a batch
        // of several runs each run is, and so is a single run once a limb
        // matrix is in force.
        if (batch_has_limbless_vertex(s) && (count_runs(s) > 1 || in_force.has_value()))
            report_limbless_vertex(model, i, j, group);
        i = j;
        emit_batch(s, ctx.settings.base_offset, output, list, in_force);
        last_material = m;
    }

    ob_write_command(list, end_list());
    ob_write_bytes(output, list.data(), list.length);
    return static_cast<int32_t>(output.length - list.length);
}
