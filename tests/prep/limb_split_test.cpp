// The limb split on small rigged models built by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <tuple>

#include "model/model.h"
#include "prep/limb_split.h"
#include "support/test_support.h"

namespace {

constexpr uint8_t root = 0xFE;  // the parent the bracketed form gives a root

// One triangle as the split leaves it: corners, group, kind.
using TriangleRow = std::tuple<uint16_t, uint16_t, uint16_t, uint16_t, uint8_t>;

struct RiggedModel {
    Model model;

    explicit RiggedModel(std::vector<uint8_t> parents)
    {
        model.material_table.emplace_back();
        model.skeletons.emplace_back();
        for (const uint8_t parent : parents) {
            Bone bone;
            bone.parent = parent;
            model.skeletons[0].bones.push_back(bone);
        }
    }
    Bone& bone(size_t b) { return model.skeletons[0].bones[b]; }

    uint16_t vertex(uint8_t bone_index, double x = 0, double y = 0, double z = 0)
    {
        model.vertices.push_back(Vertex{x, y, z, bone_index});
        return static_cast<uint16_t>(model.vertices.size() - 1);
    }
    void group(const std::string& name) { add_group(model, Group{name}, "test.objex"); }
    void triangle(uint16_t a, uint16_t b, uint16_t c)
    {
        Triangle t;
        t.position = {a, b, c};
        t.group = static_cast<uint16_t>(model.groups.size() - 1);
        add_triangle(model, t, "test.objex");
    }

    void split()
    {
        model.file_group_count = static_cast<uint16_t>(model.group_starts.size());
        split_rigged_mesh(model);
    }
    std::vector<TriangleRow> triangles() const
    {
        std::vector<TriangleRow> rows;
        for (const Triangle& t : model.triangles)
            rows.emplace_back(t.position[0], t.position[1], t.position[2], t.group, t.kind);
        return rows;
    }
    std::vector<std::string> group_names() const
    {
        std::vector<std::string> names;
        for (const Group& g : model.groups)
            names.push_back(g.name);
        return names;
    }
};

constexpr uint32_t moved = group_start_moved;

// Bones 0 -> 1 -> 2 and one rigged triangle over all three: bone 2 is taken
// first, so the triangle is limb 2's; limbs 0 and 1 get a placeholder each.
TEST(LimbSplit, DeepestBoneTakesTheTriangleAndTheOthersGetPlaceholders)
{
    RiggedModel r({root, 0, 1});
    for (const uint8_t b : {0, 0, 0, 1, 1, 1, 2})
        r.vertex(b);
    r.group("riggedmesh");
    r.triangle(0, 3, 6);
    r.split();

    EXPECT_EQ(r.triangles(), (std::vector<TriangleRow>{
                                 {0, 3, 6, 3, triangle_drawn},        // the mesh's own, now limb 2's group
                                 {0, 1, 2, 1, triangle_placeholder},  // limb 0: its first three vertices
                                 {3, 4, 5, 2, triangle_placeholder},  // limb 1
                                 {0, 3, 6, 3, triangle_drawn},        // limb 2: the copy
                             }));
    // The mesh's entry is marked; one entry per limb after it.
    EXPECT_EQ(r.model.group_starts, (std::vector<uint32_t>{0 | moved, 1, 2, 3}));
    EXPECT_EQ(r.group_names(), (std::vector<std::string>{"riggedmesh", "Limb 0", "Limb 1", "Limb 2"}));
    EXPECT_EQ(r.model.file_group_count, 1u);
    // A single root keeps no sibling.
    EXPECT_EQ(r.bone(0).first_child, 1);
    EXPECT_EQ(r.bone(1).first_child, 2);
    EXPECT_EQ(r.bone(2).first_child, no_bone);
    for (size_t b = 0; b < 3; ++b)
        EXPECT_EQ(r.bone(b).next_sibling, no_bone) << b;
    // Placeholders load from record 0: normal and texture coordinate 0.
    EXPECT_EQ(r.model.triangles[1].normal, (std::array<uint16_t, 3>{0, 0, 0}));
    EXPECT_EQ(r.model.triangles[1].texcoord, (std::array<uint16_t, 3>{0, 0, 0}));
}

struct LinkCase {
    const char* what;
    std::vector<uint8_t> parents;
    std::vector<uint8_t> first_child;
    std::vector<uint8_t> next_sibling;
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.what; }

class Links : public ::testing::TestWithParam<LinkCase> {};

// Children are chained in ascending order; extra roots follow the first root
// as its next siblings, so a walk from limb 0 reaches them.
TEST_P(Links, FollowTheParents)
{
    Skeleton s;
    for (const uint8_t parent : GetParam().parents) {
        Bone bone;
        bone.parent = parent;
        s.bones.push_back(bone);
    }
    link_bone_children(s);
    std::vector<uint8_t> first_child, next_sibling;
    for (const Bone& b : s.bones) {
        first_child.push_back(b.first_child);
        next_sibling.push_back(b.next_sibling);
    }
    EXPECT_EQ(first_child, GetParam().first_child);
    EXPECT_EQ(next_sibling, GetParam().next_sibling);
}

constexpr uint8_t X = no_bone;
INSTANTIATE_TEST_SUITE_P(
    Skeletons, Links,
    ::testing::Values(
        // Bone 1 has children 3 and 5, bone 0 has 1, 2 and 4.
        LinkCase{"children 3 and 5", {root, 0, 0, 1, 0, 1}, {1, 3, X, X, X, X}, {X, 2, 4, 5, X, X}},
        // Roots 0, 2 and 3 (any parent index beyond the bones is none).
        LinkCase{"three roots", {root, 0, 0xFF, 7, 2}, {1, X, 4, X, X}, {2, X, 3, X, X}},
        // A root after its children still heads the chain of roots.
        LinkCase{"root last", {2, 2, root}, {X, X, 0}, {1, X, X}}));

TEST(LimbSplit, FindsTheNthChild)
{
    Skeleton s;
    for (const uint8_t parent : std::vector<uint8_t>{root, 0, 0, 1, 0, 1}) {
        Bone bone;
        bone.parent = parent;
        s.bones.push_back(bone);
    }
    EXPECT_EQ(find_nth_child(s, 1, 1), 3);
    EXPECT_EQ(find_nth_child(s, 1, 2), 5);
    EXPECT_EQ(find_nth_child(s, 1, 3), no_bone);
    EXPECT_EQ(find_nth_child(s, 0, 3), 4);
    EXPECT_EQ(find_nth_child(s, root, 1), 0);
}

// Boned vertices are moved into their bone's space: 100 - 40 = 60. Vertices
// without a bone stay where they are.
TEST(LimbSplit, BonedVerticesMoveIntoBoneSpace)
{
    RiggedModel r({root, 0});
    r.bone(1).abs_x = 40;
    r.bone(1).abs_y = -10;
    r.bone(1).abs_z = 3;
    r.vertex(1, 100, 0, 0);
    r.vertex(1, 0, 50, -7);
    r.vertex(no_bone, 100, 50, -7);
    r.split();
    const std::vector<Vertex>& v = r.model.vertices;
    EXPECT_EQ((std::array<double, 3>{v[0].x, v[0].y, v[0].z}), (std::array<double, 3>{60, 10, -3}));
    EXPECT_EQ((std::array<double, 3>{v[1].x, v[1].y, v[1].z}), (std::array<double, 3>{-40, 60, -10}));
    EXPECT_EQ((std::array<double, 3>{v[2].x, v[2].y, v[2].z}), (std::array<double, 3>{100, 50, -7}));
}

// Every bone that owns a vertex gets a list: three or more vertices load the
// first three, two load a, b, b, one loads a, a, a; a bone without vertices
// gets none and an empty range. Without a rigged-mesh group nothing is
// claimed and no entry is marked.
TEST(LimbSplit, PlaceholdersForBonesWithOneToThreeVertices)
{
    RiggedModel r({root, 0, 0, 0});
    for (const uint8_t b : {3, 1, 3, 2, 3, 2, 3})  // bone 0 owns none
        r.vertex(b);
    r.group("body");
    r.triangle(0, 2, 4);  // an ordinary group's own triangle over bone 3
    r.split();
    EXPECT_EQ(r.triangles(), (std::vector<TriangleRow>{
                                 {0, 2, 4, 0, triangle_drawn},        // stays body's
                                 {1, 1, 1, 2, triangle_placeholder},  // limb 1: one vertex
                                 {3, 5, 5, 3, triangle_placeholder},  // limb 2: two
                                 {0, 2, 4, 4, triangle_placeholder},  // limb 3: the first three of four
                             }));
    EXPECT_EQ(r.model.group_starts, (std::vector<uint32_t>{0, 1, 1, 2, 3}));
    EXPECT_EQ(r.model.file_group_count, 1u);
}

// The rigged mesh between two ordinary groups: only its entry is marked, the
// groups around it keep theirs, and a triangle none of whose corners has a
// bone stays in the mesh (and is drawn by no list). Siblings are taken in
// ascending order, so a triangle over bones 1 and 2 goes to 1.
TEST(LimbSplit, MarksOnlyTheRiggedMeshEntry)
{
    RiggedModel r({root, 0, 0});
    const uint16_t a = r.vertex(1), b = r.vertex(2), c = r.vertex(0), d = r.vertex(no_bone);
    r.group("head");
    r.triangle(d, d, d);
    r.group("body_riggedmesh");
    r.triangle(b, a, c);
    r.triangle(d, d, d);
    r.triangle(c, c, b);
    r.group("riggedmesh_too");  // only the first rigged-mesh group is split
    r.triangle(a, b, c);
    r.split();
    EXPECT_EQ(r.model.group_starts, (std::vector<uint32_t>{0, 1 | moved, 4, 5, 6, 7}));
    EXPECT_EQ(r.group_names(),
              (std::vector<std::string>{"head", "body_riggedmesh", "riggedmesh_too", "Limb 0", "Limb 1", "Limb 2"}));
    EXPECT_EQ(r.model.file_group_count, 3u);
    EXPECT_EQ(r.triangles(), (std::vector<TriangleRow>{
                                 {d, d, d, 0, triangle_drawn},
                                 {b, a, c, 4, triangle_drawn},  // limb 1
                                 {d, d, d, 1, triangle_drawn},  // no bone: stays
                                 {c, c, b, 5, triangle_drawn},  // limb 2
                                 {a, b, c, 2, triangle_drawn},
                                 {c, c, c, 3, triangle_placeholder},  // limb 0
                                 {b, a, c, 4, triangle_drawn},
                                 {c, c, b, 5, triangle_drawn},
                             }));
}

// A bone that is its own ancestor can never be taken after its children.
TEST(LimbSplit, ParentCycleStopsWithAMessage)
{
    RiggedModel r({root, 2, 1});
    r.bone(2).name = "elbow";
    r.vertex(1);
    EXPECT_EQ(fatal_text([&] { r.split(); }),
              "Bone 1 of the skeleton is its own ancestor: its parent links form a cycle, so no order draws its "
              "children before it");
    RiggedModel named({root, 0, 2});
    named.bone(2).name = "elbow";
    EXPECT_EQ(fatal_text([&] { named.split(); }),
              "Bone 2 ('elbow') of the skeleton is its own ancestor: its parent links form a cycle, so no order "
              "draws its children before it");
}

// The rank taken once gives every triangle the owner that passes over the
// bones, each claiming every triangle still in the mesh that it owns a
// corner of, would give. Compared on random trees and meshes.
TEST(LimbSplit, OnePassClaimsLikeBonePasses)
{
    std::mt19937 random(12);
    for (int round = 0; round < 200; ++round) {
        const size_t bone_count = 1 + random() % 12;
        std::vector<uint8_t> parents;
        for (size_t b = 0; b < bone_count; ++b)  // parents anywhere, but acyclic: a permutation's order
            parents.push_back(b == 0 || random() % 5 == 0 ? root : static_cast<uint8_t>(random() % b));
        std::vector<uint8_t> relabel(bone_count);
        std::iota(relabel.begin(), relabel.end(), uint8_t{0});
        std::shuffle(relabel.begin(), relabel.end(), random);
        std::vector<uint8_t> shuffled(bone_count);
        for (size_t b = 0; b < bone_count; ++b)
            shuffled[relabel[b]] = parents[b] == root ? root : relabel[parents[b]];

        RiggedModel r(shuffled);
        for (int v = 0; v < 20; ++v)
            r.vertex(random() % 4 == 0 ? no_bone : static_cast<uint8_t>(random() % bone_count));
        r.group("riggedmesh");
        for (int t = 0; t < 30; ++t)
            r.triangle(random() % 20, random() % 20, random() % 20);

        // The passes, bone by bone, each over every triangle.
        Model reference = r.model;
        Skeleton& s = reference.skeletons[0];
        link_bone_children(s);
        std::vector<bool> done(bone_count, false);
        for (size_t taken = 0; taken < bone_count;) {
            for (size_t b = 0; b < bone_count; ++b) {
                bool ready = !done[b];
                for (uint8_t c = s.bones[b].first_child; c < bone_count && ready; c = s.bones[c].next_sibling)
                    ready = done[c];
                if (!ready)
                    continue;
                for (Triangle& t : reference.triangles)
                    for (const uint16_t corner : t.position)
                        if (t.group == 0 && reference.vertices[corner].bone == b)
                            t.group = static_cast<uint16_t>(1 + b);
                done[b] = true;
                ++taken;
            }
        }

        r.split();
        for (size_t t = 0; t < reference.triangles.size(); ++t)
            ASSERT_EQ(r.model.triangles[t].group, reference.triangles[t].group) << "round " << round << ", " << t;
    }
}

}  // namespace
