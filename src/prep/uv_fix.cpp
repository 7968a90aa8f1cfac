#include "prep/uv_fix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "base/messages.h"

// A coordinate fits while its magnitude in texels stays below this.
static constexpr float coordinate_reach = 1024.0f;
// Coordinates that spread this many repeats or more are hidden.
static constexpr float hidden_spread = 32.0f;
// A guard that no pass reaches (far ones jump, stuck ones centre): one that
// did would be centred.
static constexpr uint32_t most_pass_steps = 1u << 20;
// Texture coordinate records must stay below the index that marks "none".
static constexpr size_t most_texcoords = absent_index;

using Axis = std::array<float, 3>;

// The triangle's three texture coordinates, when it has all three.
static bool corner_coordinates(const Model& model, const Triangle& triangle, std::array<TexCoord, 3>& corners)
{
    for (size_t k = 0; k < 3; ++k) {
        if (triangle.texcoord[k] >= model.texcoords.size())
            return false;
        corners[k] = model.texcoords[triangle.texcoord[k]];
    }
    return true;
}

static bool axis_fits(const Axis& a, float size)
{
    return std::all_of(a.begin(), a.end(), [size](float x) { return std::fabs(x) * size < coordinate_reach; });
}

// The texture size the triangle's coordinates count in; zero for none.
static std::array<float, 2> texture_size(const Model& model, const Triangle& triangle)
{
    if (triangle.material >= model.material_table.size())
        return {0, 0};
    const Material& material = model.material_table[triangle.material];
    return {material.tex_width_f, material.tex_height_f};
}

static bool out_of_range(const std::array<TexCoord, 3>& corners, std::array<float, 2> size)
{
    return !axis_fits({corners[0].u, corners[1].u, corners[2].u}, size[0]) ||
           !axis_fits({corners[0].v, corners[1].v, corners[2].v}, size[1]);
}

// The last resort of a pass that would go round in circles: shift by the
// whole number of repeats nearest to minus the midpoint. Returns whether the
// coordinates still do not fit, in which case they are all set to 0.
static bool centre_axis(Axis& a, float size)
{
    const auto [low, high] = std::minmax_element(a.begin(), a.end());
    const auto shift = static_cast<float>(std::round(-(double{*low} + double{*high}) / 2.0));
    for (float& x : a)
        x += shift;
    if (axis_fits(a, size))
        return false;
    a = {0, 0, 0};
    return true;
}

// How many single repeats toward zero can be taken at once with the same
// result as one at a time: while every value stays at 1 or more (or -1 or
// less) and below 2^24 in magnitude, adding one repeat is exact in float, so
// many steps are one exact addition. The jump stops a repeat short of the
// side's last value that still does not fit, and the single steps go on
// from there.
static uint32_t exact_jump(const Axis& a, int step, float size)
{
    const float far = 16777216.0f;
    const auto [low, high] = std::minmax_element(a.begin(), a.end());
    if (*high >= far || *low <= -far)
        return 0;
    // Measured as distances from zero on the side the values lie.
    const double nearest = step < 0 ? *low : -double{*high};
    const double farthest = step < 0 ? *high : -double{*low};
    const double room = std::min(nearest - 1.0, farthest - double{coordinate_reach / size}) - 1.0;
    return room >= 2.0 ? static_cast<uint32_t>(room) : 0;
}

// One axis of one triangle: whole repeats toward zero, judged by the largest
// corner, until all three fit. Every step moves by one repeat, so the pass
// can only come back to a position it has been in by turning round, which
// it would then do for ever; it centres instead. Returns whether the
// triangle must be hidden.
static bool fit_axis(Axis& a, float size)
{
    int last_step = 0;
    for (uint32_t steps = 0; !axis_fits(a, size); ++steps) {
        const int step = *std::max_element(a.begin(), a.end()) >= 0 ? -1 : 1;
        if ((last_step != 0 && step != last_step) || steps == most_pass_steps)
            return centre_axis(a, size);
        // Far from zero, once the spread has been judged, many repeats at once.
        const uint32_t jump = last_step != 0 ? exact_jump(a, step, size) : 0;
        const float move = static_cast<float>(step) * static_cast<float>(jump > 0 ? jump : 1);
        const Axis before = a;
        for (float& x : a)
            x += move;
        // Beyond 2^24 a repeat is below float precision: the step went nowhere.
        if (a == before)
            return centre_axis(a, size);
        const auto [low, high] = std::minmax_element(a.begin(), a.end());
        if (*high - *low >= hidden_spread) {
            a = {0, 0, 0};
            return true;
        }
        last_step = step;
    }
    return false;
}

namespace {

// Where fixed triangles put their coordinates. Each gets three new records
// while the table has room; a full table shares a record that holds the
// same values (records are never changed once written, so sharing one
// moves nothing) and stops when there is none.
struct PrivateRecords {
    std::unordered_map<uint64_t, uint16_t> by_value;  // of a full table
    bool indexed = false;
};

}  // namespace

static uint64_t value_key(const TexCoord& t)
{
    uint32_t u = 0, v = 0;
    std::memcpy(&u, &t.u, sizeof u);
    std::memcpy(&v, &t.v, sizeof v);
    return uint64_t{u} << 32 | v;
}

static uint16_t private_record(Model& model, PrivateRecords& records, const TexCoord& value)
{
    std::vector<TexCoord>& table = model.texcoords;
    if (table.size() < most_texcoords) {
        table.push_back(value);
        return static_cast<uint16_t>(table.size() - 1);
    }
    if (!records.indexed) {
        for (size_t i = 0; i < table.size(); ++i)
            records.by_value.emplace(value_key(table[i]), static_cast<uint16_t>(i));
        records.indexed = true;
    }
    const auto found = records.by_value.find(value_key(value));
    if (found == records.by_value.end())
        fatal_error("Fixing the texture coordinate overflows needs more than %zu texture coordinates, more than a "
                    "model can hold; convert without -uv",
                    most_texcoords);
    return found->second;
}

void fix_uv_overflow(Model& model)
{
    PrivateRecords records;
    for (Triangle& triangle : model.triangles) {
        std::array<TexCoord, 3> corners;
        if (!corner_coordinates(model, triangle, corners))
            continue;
        const std::array<float, 2> size = texture_size(model, triangle);
        if (!out_of_range(corners, size))
            continue;

        Axis u = {corners[0].u, corners[1].u, corners[2].u};
        Axis v = {corners[0].v, corners[1].v, corners[2].v};
        const bool hide_u = fit_axis(u, size[0]);
        const bool hide_v = fit_axis(v, size[1]);
        if (hide_u || hide_v)
            triangle.kind = triangle_hidden;
        for (size_t k = 0; k < 3; ++k)
            triangle.texcoord[k] = private_record(model, records, TexCoord{u[k], v[k]});
    }
}

size_t count_uv_overflow(const Model& model)
{
    size_t count = 0;
    for (const Triangle& triangle : model.triangles) {
        std::array<TexCoord, 3> corners;
        if (corner_coordinates(model, triangle, corners) && out_of_range(corners, texture_size(model, triangle)))
            ++count;
    }
    return count;
}

void warn_uv_overflow(Platform& platform, const Model& model)
{
    const size_t count = count_uv_overflow(model);
    if (count == 0)
        return;
    show_warning(platform,
                 "%zu %s texture coordinates out of range (1024 texels or more from zero), which the console "
                 "cannot reach; -uv moves them into range.",
                 count, count == 1 ? "triangle has" : "triangles have");
}
