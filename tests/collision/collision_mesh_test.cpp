#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "base/messages.h"
#include "collision/collision_mesh.h"

namespace {

// A big-endian field of an expected byte string.
struct Field {
    uint32_t value;
    int width;
};
Field h(uint16_t value) { return {value, 2}; }
Field w(uint32_t value) { return {value, 4}; }

std::vector<uint8_t> bytes_of(std::initializer_list<Field> fields)
{
    std::vector<uint8_t> out;
    for (const Field& f : fields)
        for (int i = f.width - 1; i >= 0; --i)
            out.push_back(static_cast<uint8_t>(f.value >> (8 * i)));
    return out;
}

std::vector<uint8_t> slice(const OutBuffer& ob, uint32_t from, uint32_t to)
{
    return std::vector<uint8_t>(ob.bytes.begin() + from, ob.bytes.begin() + to);
}

// A model with hand-made groups, positions, triangles and materials.
struct CollisionModel {
    Model model;
    OutBuffer out;
    CollisionOffsets at;  // where the last emission put its lists

    uint16_t group(const std::string& name, float px = 0, float py = 0, float pz = 0)
    {
        add_group(model, Group{name, 1, px, py, pz, 0}, "test.objex");
        return static_cast<uint16_t>(model.groups.size() - 1);
    }
    uint16_t material(const std::string& name)
    {
        model.material_table.emplace_back().name = name;
        return static_cast<uint16_t>(model.material_table.size() - 1);
    }
    uint16_t vertex(double x, double y, double z)
    {
        add_vertex(model, Vertex{x, y, z}, "test.objex");
        return static_cast<uint16_t>(model.vertices.size() - 1);
    }
    void triangle(uint16_t a, uint16_t b, uint16_t c, uint16_t material)
    {
        add_triangle(model, Triangle{{a, b, c}, {}, {}, material, static_cast<uint16_t>(model.groups.size() - 1)},
                     "test.objex");
    }
    uint32_t emit(uint16_t g) { return emit_collision(model, g, 0x06000000, 1024.0f, out, &at); }
    uint16_t header_u16(uint32_t offset) const { return ob_read_u16(out, at.header + offset); }
    std::string error(uint16_t g)
    {
        try {
            emit(g);
        } catch (const FatalError& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST(CollisionMesh, QuadSharesTwoVertices)
{
    CollisionModel m;
    const uint16_t g = m.group("floor COLLISION");
    const uint16_t ground = m.material("ground");
    const uint16_t v0 = m.vertex(0, 50, 0), v1 = m.vertex(100, 50, 0), v2 = m.vertex(100, 50, 100);
    const uint16_t v3 = m.vertex(0, 50, 100);
    m.triangle(v0, v3, v2, ground);
    m.triangle(v0, v2, v1, ground);
    m.emit(g);
    EXPECT_EQ(m.header_u16(12), 4);  // vertices
    EXPECT_EQ(m.header_u16(20), 2);  // polygons
    EXPECT_EQ(m.at.surface_types - m.at.vertices, 24u);
    // The triangles now hold collision vertex and surface type indices.
    EXPECT_EQ(m.model.triangles[1].position, (std::array<uint16_t, 3>{0, 2, 3}));
}

TEST(CollisionMesh, GroupWithWaterPatchAndFlaggedCorners)
{
    CollisionModel m;
    const uint16_t g = m.group("pond COLLISION", 1000, 0, -1000);
    const uint16_t ground = m.material("ground.SOUND_GRASS.FLOOR_ICE");
    const uint16_t pool = m.material("pool.WATERBOX.WARP_3");
    const uint16_t ledge = m.material("wall.IGNORE_CAMERA.IGNORE_ENTITY.SOUND_GRASS.FLOOR_ICE");
    const uint16_t belt = m.material("belt.CONVEYOR_1_180");
    const uint16_t v0 = m.vertex(1000, 50, -1000), v1 = m.vertex(1100, 50, -1000), v2 = m.vertex(1100, 50, -900),
                   v3 = m.vertex(1000, 50, -900);
    const uint16_t v4 = m.vertex(1200, 20, -1000), v5 = m.vertex(1300, 20, -1000), v6 = m.vertex(1300, 21, -800),
                   v7 = m.vertex(1200, 20, -800);
    m.triangle(v0, v3, v2, ground);
    m.triangle(v4, v7, v6, pool);
    m.triangle(v0, v2, v1, ledge);
    m.triangle(v4, v6, v5, pool);
    m.triangle(v1, v2, v5, belt);
    ob_write_bytes(m.out, "\x11\x22\x33\x44\x55\x66", 6);

    EXPECT_EQ(m.emit(g), 152u);
    EXPECT_EQ(slice(m.out, 6, m.out.length),
              bytes_of({
                  // vertices at 6, relative to POS (1000, 0, -1000)
                  h(0), h(50), h(0),        // 0: v0
                  h(0), h(50), h(100),      // 1: v3
                  h(100), h(50), h(100),    // 2: v2
                  h(200), h(20), h(0),      // 3: v4
                  h(200), h(20), h(200),    // 4: v7
                  h(300), h(21), h(200),    // 5: v6
                  h(100), h(50), h(0),      // 6: v1
                  h(300), h(20), h(0),      // 7: v5
                  h(0),                     // padding to 56
                  // surface types at 56
                  w(0x00014000), w(0x00000006),  // 0 ground
                  w(0x00000300), w(0x00000000),  // 1 pool (water)
                  w(0x00014000), w(0x00000006),  // 2 ledge: same words, other corner flags
                  w(0x00000000), w(0x04040000),  // 3 belt: speed 1, direction 32
                  // polygons at 88; the water triangles are left out
                  h(0), h(0), h(1), h(2), h(0), h(0x7FFF), h(0), h(0xFFCE),
                  h(2), h(0x6000), h(2), h(6), h(0), h(0x7FFF), h(0), h(0xFFCE),
                  // n = (3000, 20000, 0), L = 20223.748f: 32767 u = (4860.7, 32404.3, 0);
                  // distance -(14.834 + 49.447) = -64.28
                  h(3), h(6), h(0x2002), h(7), h(4861), h(32404), h(0), h(0xFFC0),
                  // water box at 136: x 200..300, z 0..200; surface 61 / 3 -> 20, then
                  // (61 + 3 * 20) / 3 = 40, / 2 -> 20; word0's low half of "pool"
                  h(200), h(20), h(0), h(100), h(200), h(0), h(0x0300), h(0),
                  // header at 152
                  h(0xFF9C), h(0xFFB0), h(0xFF9C),  // 0 - 100, 20 - 100, 0 - 100
                  h(400), h(150), h(300),           // 300 + 100, 50 + 100, 200 + 100
                  h(8), h(0), w(0x06000006),  // vertices
                  h(3), h(0), w(0x06000058),  // polygons
                  w(0x06000038),              // surface types
                  w(0),                       // no camera data
                  h(1), h(0), w(0x06000088),  // water boxes
              }));
}

TEST(CollisionMesh, PositionsAreRelativeToPosTruncatedAndDeduplicated)
{
    CollisionModel m;
    const uint16_t g = m.group("COLLISION POS", 100, 0, 0);
    const uint16_t rock = m.material("rock");
    const uint16_t a = m.vertex(150.9, 0, 0), b = m.vertex(99.3, 0, 0), c = m.vertex(100, -1.5, 32700);
    const uint16_t d = m.vertex(150.2, 0, 0);  // also x 50: the same collision vertex as a
    m.triangle(a, b, c, rock);
    m.triangle(d, c, b, rock);
    m.emit(g);
    EXPECT_EQ(slice(m.out, 0, m.at.surface_types),
              bytes_of({h(50), h(0), h(0),             // 50.9 -> 50
                        h(0), h(0), h(0),              // -0.7 -> 0
                        h(0), h(0xFFFF), h(32700),     // y -1.5 -> -1
                        h(0)}));                       // padding
    EXPECT_EQ(m.model.triangles[1].position, (std::array<uint16_t, 3>{0, 2, 1}));
    // Bounds are 16-bit: 32700 + 100 wraps.
    EXPECT_EQ(slice(m.out, m.at.header, m.at.header + 12),
              bytes_of({h(0xFF9C), h(0xFF9B), h(0xFF9C), h(150), h(100), h(0x8020)}));
}

struct PlaneCase {
    std::array<int16_t, 9> corners;
    std::array<int16_t, 4> expected;  // normal x, y, z, distance
};

class CollisionPlanes : public testing::TestWithParam<PlaneCase> {};

TEST_P(CollisionPlanes, NormalAndDistance)
{
    CollisionModel m;
    const uint16_t g = m.group("COLLISION");
    const auto& p = GetParam().corners;
    const auto& e = GetParam().expected;
    m.triangle(m.vertex(p[0], p[1], p[2]), m.vertex(p[3], p[4], p[5]), m.vertex(p[6], p[7], p[8]), m.material("m"));
    m.emit(g);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(static_cast<int16_t>(ob_read_u16(m.out, m.at.polygons + 8 + 2 * i)), e[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Corners, CollisionPlanes,
    testing::Values(
        // n = (0, -1, 0): facing down, distance -(-10)
        PlaneCase{{0, 10, 0, 1, 10, 0, 0, 10, 1}, {0, -32767, 0, 10}},
        PlaneCase{{0, 10, 0, 0, 10, 1, 1, 10, 0}, {0, 32767, 0, -10}},
        // No area: straight up, distance -y
        PlaneCase{{0, 10, 0, 1, 10, 0, 2, 10, 0}, {0, 32767, 0, -10}},
        // n = (0, 1e6, 750000): its squared length 1.5625e12 needs 64 bits; L = 1.25e6,
        // u = (0, 0.8f, 0.6f), 32767 u = (0, 26213.6, 19660.2), distance -(0.6f * 1000)
        PlaneCase{{0, 0, 1000, 1000, 0, 1000, 0, 750, 0}, {0, 26214, 19660, -600}},
        // n = (10000, 10000, 10000), L = 17320.508f, u = 0.57735026f each: 18918.04;
        // distance -51961.52 -> -51962, kept to 16 bits as 13574
        PlaneCase{{30000, 30000, 30000, 30100, 29900, 30000, 30000, 30100, 29900}, {18918, 18918, 18918, 13574}}));

TEST(CollisionMesh, AllWaterGroupGrowsBoxesDepthFirst)
{
    CollisionModel m;
    const uint16_t g = m.group("lagoon COLLISION");
    const uint16_t pool = m.material("pool.WATERBOX.WARP_3");
    const uint16_t lake = m.material("lake.WATERBOX_0_0_0.SPECIAL_LOOKUP");
    const uint16_t A = m.vertex(0, 0, 0), B = m.vertex(10, 0, 0), C = m.vertex(10, 0, 10);
    const uint16_t D = m.vertex(20, 31, 10), E = m.vertex(20, 60, 20);
    const uint16_t H = m.vertex(-10, 150, 0), I = m.vertex(-10, 150, -10);
    const uint16_t F = m.vertex(30, 60, 20), G = m.vertex(30, 60, 30);
    const uint16_t J = m.vertex(100, -10, 100), K = m.vertex(110, -10, 100), L = m.vertex(100, -11, 110);
    const uint16_t M = m.vertex(200, 3, 0), N = m.vertex(210, 3, 0), O = m.vertex(200, 3, 10);
    const uint16_t P = m.vertex(210, -3, 10), Q = m.vertex(200, -4, 20);
    // First patch: T1 touches T0 at C, T2 touches T0 at A, T3 touches T1 at E. Growing
    // depth-first takes T0, T1, T3, T2 (a breadth-first order would give surface 58).
    m.triangle(A, B, C, pool);  // heights 0, 0, 0
    m.triangle(C, D, E, pool);  // sum 91
    m.triangle(A, H, I, pool);  // sum 300
    m.triangle(E, F, G, pool);  // sum 180
    m.triangle(J, K, L, lake);  // second patch, sum -31
    m.triangle(M, N, O, pool);  // third patch, sum 9
    m.triangle(M, P, Q, pool);  // sum -4

    EXPECT_EQ(m.emit(g), 168u);
    EXPECT_EQ(slice(m.out, 104, m.out.length),
              bytes_of({
                  // surface types at 104 (17 vertices before, padded)
                  w(0x00000300), w(0), w(0x0002C000), w(0),
                  // no polygons; water boxes at 120, 16 bytes apart
                  // 0 -> (91 + 0) / 3 = 30, / 2 = 15 -> (180 + 45) / 3 = 75, / 2 = 37
                  // -> (300 + 111) / 3 = 137, / 2 = 68
                  h(0xFFF6), h(68), h(0xFFF6), h(40), h(40), h(0), h(0x0300), h(0),
                  // -31 / 3 truncates toward zero to -10
                  h(100), h(0xFFF6), h(100), h(10), h(10), h(0), h(0xC000), h(0),
                  // 3 -> (-4 + 9) / 3 = 1, / 2 = 0 (the mean's fraction goes after the sum)
                  h(200), h(0), h(0), h(10), h(20), h(0), h(0x0300), h(0),
                  // header at 168
                  h(0xFF92), h(0xFF91), h(0xFF92),  // -10, -11, -10 less 100
                  h(310), h(250), h(210),           // 210, 150, 110 plus 100
                  h(17), h(0), w(0x06000000),       // vertices
                  h(0), h(0), w(0x06000078),        // an empty polygon list where the boxes start
                  w(0x06000068),                    // surface types
                  w(0),                             // no camera data
                  h(3), h(0), w(0x06000078),        // water boxes
              }));
}

// Water patches grown by the rule as written, a recursive scan of all water
// triangles in order: each box's surface height and first triangle.
std::vector<std::pair<int, int>> reference_boxes(const std::vector<std::array<int, 3>>& tris,
                                                 const std::vector<int>& heights)
{
    std::vector<bool> taken(tris.size());
    std::vector<std::pair<int, int>> boxes;
    std::function<void(size_t, bool)> join = [&](size_t t, bool first) {
        taken[t] = true;
        const int sum = heights[tris[t][0]] + heights[tris[t][1]] + heights[tris[t][2]];
        int& y = boxes.back().first;
        y = first ? sum / 3 : (sum + 3 * y) / 3 / 2;
        for (size_t u = 0; u < tris.size(); ++u) {
            bool shares = false;
            for (int a : tris[t])
                for (int b : tris[u])
                    shares = shares || a == b;
            if (!taken[u] && shares)
                join(u, false);
        }
    };
    for (size_t t = 0; t < tris.size(); ++t)
        if (!taken[t]) {
            boxes.emplace_back(0, static_cast<int>(t));
            join(t, true);
        }
    return boxes;
}

TEST(CollisionMesh, WaterBoxesMatchTheRecursiveRuleOnRandomPatches)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        CollisionModel m;
        const uint16_t g = m.group("COLLISION");
        for (int n = 0; n < 30; ++n)  // WARP_n puts n << 8 in word0: it names the first triangle
            m.material("WATERBOX.WARP_" + std::to_string(n));
        const int vertex_count = 40 + round * 5;
        std::vector<int> heights;
        for (int v = 0; v < vertex_count; ++v) {
            heights.push_back(static_cast<int>(random() % 201) - 100);
            m.vertex(v, heights.back(), -v);
        }
        std::vector<std::array<int, 3>> tris;
        for (uint16_t t = 0; t < 30; ++t) {
            std::array<int, 3>& c = tris.emplace_back();
            for (int& corner : c)
                corner = static_cast<int>(random() % vertex_count);
            m.triangle(static_cast<uint16_t>(c[0]), static_cast<uint16_t>(c[1]), static_cast<uint16_t>(c[2]), t);
        }
        const auto expected = reference_boxes(tris, heights);
        m.emit(g);
        ASSERT_EQ(m.header_u16(36), expected.size()) << round;
        for (size_t b = 0; b < expected.size(); ++b) {
            const uint32_t box = m.at.water_boxes + 16 * static_cast<uint32_t>(b);
            EXPECT_EQ(static_cast<int16_t>(ob_read_u16(m.out, box + 2)), expected[b].first) << round << " " << b;
            EXPECT_EQ(ob_read_u16(m.out, box + 12), expected[b].second << 8) << round << " " << b;
        }
    }
}

TEST(CollisionMesh, TrianglesRunToTheNextGroupsStart)
{
    CollisionModel m;
    const uint16_t mat = m.material("m");
    const uint16_t a = m.vertex(0, 0, 0), b = m.vertex(1, 0, 0), c = m.vertex(0, 0, 1), d = m.vertex(5, 5, 5);
    m.group("plain");
    m.triangle(a, b, d, mat);
    const uint16_t middle = m.group("middle COLLISION");
    m.triangle(a, b, c, mat);
    m.triangle(c, b, a, mat);
    const uint16_t rigged = m.group("rigged");
    m.model.group_starts.back() |= group_start_moved;  // its triangles went to limbs
    m.triangle(a, d, c, mat);
    const uint16_t last = m.group("last COLLISION");
    m.triangle(d, a, b, mat);

    m.emit(middle);
    EXPECT_EQ(m.header_u16(12), 3);  // vertices
    EXPECT_EQ(m.header_u16(20), 2);  // polygons
    EXPECT_EQ(m.model.triangles[0].position, (std::array<uint16_t, 3>{a, b, d}));
    EXPECT_EQ(m.model.triangles[3].position, (std::array<uint16_t, 3>{a, d, c}));
    m.emit(last);
    EXPECT_EQ(m.header_u16(20), 1);
    EXPECT_EQ(m.error(rigged), "Something went wrong!");
    EXPECT_EQ(m.error(9), "Something went wrong!");
}

TEST(CollisionMesh, StopsOnGroupsItCannotWrite)
{
    CollisionModel m;
    m.group("no triangles COLLISION");
    m.group("bad material COLLISION");
    m.triangle(m.vertex(0, 0, 0), m.vertex(1, 0, 0), m.vertex(0, 0, 1), 3);
    m.group("keywords COLLISION");
    m.triangle(0, 1, 2, m.material("exit.WARP_x"));
    EXPECT_EQ(m.error(0), "Something went wrong!");
    EXPECT_EQ(m.error(1), "Collision group 'bad material COLLISION' uses material 3, which does not exist!");
    EXPECT_EQ(m.error(2), "Collision type 'WARP_x' incomplete arguments!");
}

// Groups at and just beyond what the collision data can hold.
struct LimitCase {
    void (*build)(CollisionModel&, int count);
    int limit;
    int (*count)(const CollisionModel&);  // what the emitted data holds
    const char* message;
};

void same_triangle(CollisionModel& m, int count)
{
    m.group("big COLLISION");
    const uint16_t mat = m.material("m"), a = m.vertex(0, 0, 0), b = m.vertex(1, 0, 0), c = m.vertex(0, 0, 1);
    for (int t = 0; t < count; ++t)
        m.triangle(a, b, c, mat);
}

// Three fresh positions a triangle, the last one wrapping round to the first.
void distinct_vertices(CollisionModel& m, int count)
{
    m.group("dense COLLISION");
    const uint16_t mat = m.material("m");
    for (int v = 0; v < count; ++v)
        m.vertex(v % 100, v / 100, 0);
    for (int t = 0; t < count; t += 3)
        m.triangle(static_cast<uint16_t>(t), static_cast<uint16_t>((t + 1) % count),
                   static_cast<uint16_t>((t + 2) % count), mat);
}

void distinct_types(CollisionModel& m, int count)
{
    m.group("varied COLLISION");
    const uint16_t a = m.vertex(0, 0, 0), b = m.vertex(1, 0, 0), c = m.vertex(0, 0, 1);
    for (int t = 0; t < count; ++t)
        m.triangle(a, b, c, m.material("CAMERA_" + std::to_string(t % 256) + ".ECHO_" + std::to_string(t / 256)));
}

class CollisionLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(CollisionLimits, HoldTheLimitAndStopBeyondIt)
{
    const LimitCase& c = GetParam();
    CollisionModel fits;
    c.build(fits, c.limit);
    fits.emit(0);
    EXPECT_EQ(c.count(fits), c.limit);
    CollisionModel too_many;
    c.build(too_many, c.limit + 1);
    EXPECT_EQ(too_many.error(0), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, CollisionLimits,
    testing::Values(
        LimitCase{same_triangle, 32766, [](const CollisionModel& m) { return int{m.header_u16(20)}; },
                  "Empty collision group 'big COLLISION'!"},
        LimitCase{distinct_vertices, 8191, [](const CollisionModel& m) { return int{m.header_u16(12)}; },
                  "Collision group 'dense COLLISION' has more than 8191 vertices!"},
        LimitCase{distinct_types, 4096,
                  [](const CollisionModel& m) { return static_cast<int>(m.at.polygons - m.at.surface_types) / 8; },
                  "Collision group 'varied COLLISION' has more than 4096 surface types!"}));

TEST(CollisionMesh, TooManyTrianglesAreToldAsAnEmptyGroupEvenWithTooManyVertices)
{
    CollisionModel m;
    m.group("huge COLLISION");
    const uint16_t mat = m.material("m");
    for (int v = 0; v < 8192; ++v)
        m.vertex(v % 100, v / 100, 0);
    for (int t = 0; t < 32767; ++t)
        m.triangle(static_cast<uint16_t>(t % 8192), static_cast<uint16_t>((t + 1) % 8192),
                   static_cast<uint16_t>((t + 2) % 8192), mat);
    EXPECT_EQ(m.error(0), "Empty collision group 'huge COLLISION'!");
}

}  // namespace
