#include "prep/limb_split.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "model/model.h"

// Per-bone tables are indexed by 8-bit bone numbers.
using BoneTable = std::array<uint8_t, 256>;

// Bone indices are 8 bits wide and 0xFF means none, so a skeleton holds at
// most 255 bones. The skeleton reader keeps to that; anything else is a
// fault of an earlier stage.
static void check_bone_count(const Skeleton& skeleton)
{
    if (skeleton.bones.size() > max_bones)
        fatal_error("The skeleton has %zu bones; at most %zu can be drawn", skeleton.bones.size(), max_bones);
}

void link_bone_children(Skeleton& skeleton)
{
    check_bone_count(skeleton);
    std::vector<Bone>& bones = skeleton.bones;
    for (Bone& bone : bones) {
        bone.first_child = no_bone;
        bone.next_sibling = no_bone;
    }

    // One pass in ascending order appends each bone to its parent's chain,
    // which gives every chain in ascending order; roots form their own chain.
    BoneTable last_child;
    last_child.fill(no_bone);
    uint8_t last_root = no_bone;
    for (size_t b = 0; b < bones.size(); ++b) {
        const auto index = static_cast<uint8_t>(b);
        const uint8_t parent = bones[b].parent;
        if (parent < bones.size()) {
            if (last_child[parent] == no_bone)
                bones[parent].first_child = index;
            else
                bones[last_child[parent]].next_sibling = index;
            last_child[parent] = index;
        } else {
            if (last_root != no_bone)
                bones[last_root].next_sibling = index;
            last_root = index;
        }
    }
}

uint8_t find_nth_child(const Skeleton& skeleton, uint8_t parent, uint32_t n)
{
    uint32_t seen = 0;
    for (size_t b = 0; b < skeleton.bones.size() && b < max_bones; ++b)
        if (skeleton.bones[b].parent == parent && ++seen == n)
            return static_cast<uint8_t>(b);
    return no_bone;
}

// The first bone not yet done that waits on a child: it lies on a cycle of
// parent links (every bone outside a cycle gets done).
[[noreturn]] static void report_cycle(const Skeleton& skeleton, const BoneTable& done)
{
    size_t b = 0;
    while (b + 1 < skeleton.bones.size() && done[b])
        ++b;
    const std::string& name = skeleton.bones[b].name;
    fatal_error("Bone %zu%s%s%s of the skeleton is its own ancestor: its parent links form a cycle, so no order "
                "draws its children before it",
                b, name.empty() ? "" : " ('", name.c_str(), name.empty() ? "" : "')");
}

// The order in which bones take their triangles: passes over the bones in
// ascending order, each taking every bone whose children are all taken
// (including those taken earlier in the same pass), until all are taken. A
// bone thus always comes after its descendants. Returns each bone's place
// in that order.
static BoneTable bottom_up_rank(const Skeleton& skeleton)
{
    const std::vector<Bone>& bones = skeleton.bones;
    BoneTable done{};
    BoneTable rank{};
    size_t taken = 0;
    while (taken < bones.size()) {
        const size_t before = taken;
        for (size_t b = 0; b < bones.size(); ++b) {
            if (done[b])
                continue;
            bool children_done = true;
            for (uint8_t c = bones[b].first_child; c < bones.size() && children_done; c = bones[c].next_sibling)
                children_done = done[c] != 0;
            if (!children_done)
                continue;
            done[b] = 1;
            rank[b] = static_cast<uint8_t>(taken++);
        }
        if (taken == before)
            report_cycle(skeleton, done);
    }
    return rank;
}

// The first group of the file whose name holds "riggedmesh", if any.
static std::optional<uint16_t> rigged_mesh_group(const Model& model, size_t file_groups)
{
    for (size_t g = 0; g < file_groups; ++g)
        if (model.groups[g].name.find("riggedmesh") != std::string::npos)
            return static_cast<uint16_t>(g);
    return std::nullopt;
}

// Hands each triangle of the rigged-mesh group to the bone, among its
// corners' bones, that the bottom-up order reaches first: the same bone as
// visiting the bones in that order and letting each take every triangle
// still in the group that it owns a corner of, in one pass over the
// triangles. Counts each limb's triangles.
static void claim_triangles(Model& model, const Skeleton& skeleton, uint16_t rigged, uint16_t first_limb_group,
                            std::vector<uint32_t>& counts)
{
    const BoneTable rank = bottom_up_rank(skeleton);
    const size_t bone_count = skeleton.bones.size();
    for (Triangle& triangle : model.triangles) {
        if (triangle.group != rigged)
            continue;
        uint8_t owner = no_bone;
        for (const uint16_t corner : triangle.position) {
            if (corner >= model.vertices.size())
                continue;
            const uint8_t bone = model.vertices[corner].bone;
            if (bone < bone_count && (owner == no_bone || rank[bone] < rank[owner]))
                owner = bone;
        }
        if (owner == no_bone)
            continue;
        triangle.group = static_cast<uint16_t>(first_limb_group + owner);
        ++counts[owner];
    }
}

// A bone that owns vertices but took no triangle still needs a list, so
// that the game loads its matrix for every vertex that names it: it gets
// one triangle that loads its first three vertices without drawing them
// (a, b, c; or a, b, b and a, a, a for fewer). Placeholders go only into
// the limb ranges: behind the file's triangles they would also fall into
// the last ordinary group, whose list would load them under limb matrices.
static std::vector<std::optional<Triangle>> make_placeholders(Model& model, size_t bone_count,
                                                              uint16_t first_limb_group,
                                                              std::vector<uint32_t>& counts)
{
    std::vector<std::array<uint16_t, 3>> owned(bone_count);
    std::vector<uint8_t> owned_count(bone_count, 0);
    for (size_t v = 0; v < model.vertices.size(); ++v) {
        const uint8_t bone = model.vertices[v].bone;
        if (bone < bone_count && owned_count[bone] < 3)
            owned[bone][owned_count[bone]++] = static_cast<uint16_t>(v);
    }

    std::vector<std::optional<Triangle>> placeholders(bone_count);
    for (size_t b = 0; b < bone_count; ++b) {
        if (counts[b] != 0 || owned_count[b] == 0)
            continue;
        // Placeholders are drawn with material 0; a model without faces has none yet.
        if (model.material_table.empty()) {
            Material fallback;
            fallback.name = "default";
            model.material_table.push_back(std::move(fallback));
        }
        std::array<uint16_t, 3> corners = owned[b];
        for (size_t k = owned_count[b]; k < 3; ++k)
            corners[k] = corners[k - 1];
        Triangle& placeholder = placeholders[b].emplace();
        placeholder.position = corners;
        placeholder.normal = {0, 0, 0};
        placeholder.texcoord = {0, 0, 0};
        placeholder.material = 0;
        placeholder.group = static_cast<uint16_t>(first_limb_group + b);
        placeholder.kind = triangle_placeholder;
        ++counts[b];
    }
    return placeholders;
}

// Appends a copy of every limb's triangles behind all others, limb after
// limb in bone order and in their own order within a limb (or the limb's
// placeholder), and gives each limb the group_starts entry of its range.
// The copied triangles stay where they were.
static void gather_limb_ranges(Model& model, size_t bone_count, uint16_t first_limb_group,
                               const std::vector<uint32_t>& counts,
                               const std::vector<std::optional<Triangle>>& placeholders)
{
    const size_t n = model.triangles.size();
    std::vector<size_t> next(bone_count);
    size_t at = n;
    for (size_t b = 0; b < bone_count; ++b) {
        next[b] = at;
        model.group_starts.push_back(static_cast<uint32_t>(at));
        at += counts[b];
    }
    model.triangles.resize(at);
    for (size_t i = 0; i < n; ++i) {
        const size_t limb = size_t{model.triangles[i].group} - first_limb_group;
        if (model.triangles[i].group >= first_limb_group && limb < bone_count)
            model.triangles[next[limb]++] = model.triangles[i];
    }
    for (size_t b = 0; b < bone_count; ++b)
        if (placeholders[b])
            model.triangles[next[b]++] = *placeholders[b];
}

void split_rigged_mesh(Model& model)
{
    if (model.skeletons.empty())
        return;
    Skeleton& skeleton = model.skeletons[0];
    check_bone_count(skeleton);
    const size_t bone_count = skeleton.bones.size();
    const size_t file_groups = model.groups.size();
    if (file_groups + bone_count > max_groups)
        fatal_error("The model has %zu groups and the skeleton %zu bones: with a group per limb that is more "
                    "than %zu groups",
                    file_groups, bone_count, max_groups);
    const auto first_limb_group = static_cast<uint16_t>(file_groups);

    link_bone_children(skeleton);

    for (size_t b = 0; b < bone_count; ++b)
        model.groups.push_back(Group{format_text("Limb %zu", b)});

    // Each limb is drawn under its own matrix, which places the bone: its
    // vertices are given relative to the bone.
    for (Vertex& vertex : model.vertices) {
        if (vertex.bone >= bone_count)
            continue;
        const Bone& bone = skeleton.bones[vertex.bone];
        vertex.x -= bone.abs_x;
        vertex.y -= bone.abs_y;
        vertex.z -= bone.abs_z;
    }

    // Without a rigged-mesh group nothing is claimed and no group is hidden;
    // the limbs only get their placeholders. The order is still checked, as
    // the game walks the same links.
    std::vector<uint32_t> counts(bone_count, 0);
    const std::optional<uint16_t> rigged = rigged_mesh_group(model, file_groups);
    if (rigged)
        claim_triangles(model, skeleton, *rigged, first_limb_group, counts);
    else
        bottom_up_rank(skeleton);
    const std::vector<std::optional<Triangle>> placeholders =
        make_placeholders(model, bone_count, first_limb_group, counts);

    // The implicit group of a file without groups has no entry; it gets an
    // empty one, so that limb b's group and entry share the index
    // file_group_count + b.
    if (model.group_starts.size() < file_groups)
        model.group_starts.resize(file_groups, static_cast<uint32_t>(model.triangles.size()));
    gather_limb_ranges(model, bone_count, first_limb_group, counts, placeholders);

    if (rigged)
        model.group_starts[*rigged] |= group_start_moved;
    model.file_group_count = first_limb_group;
}
