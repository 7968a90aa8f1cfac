#include <gtest/gtest.h>

#include <algorithm>

#include "base/context.h"
#include "dlist/command_words.h"
#include "dlist/display_list.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

// The full state of a default (white, opaque, lit, untextured) material.
const std::vector<Words> white_material = {
    {0xE7000000, 0}, {0xD7000000, 0}, {0xFC327FFF, 0xFFFFFC38}, {0xE200001C, 0xC8112078},
    {0xD9F1FFFF, 0}, {0xD9FFFFFF, 0x00830400}, {0xFA000000, 0xFFFFFFFF},
};
constexpr Words end_list{0xDF000000, 0};

struct ListFixture : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;
    DisplayListScratch scratch;
    OutBuffer out;

    ListFixture()
    {
        ctx.settings.base_offset = 0x06000000;
        model.material_table.emplace_back();
        model.groups.push_back(Group{"g"});
        model.group_starts.push_back(0);
    }

    uint16_t vertex(double x, double y = 0, double z = 0, uint8_t bone = no_bone)
    {
        model.vertices.push_back({x, y, z, bone});
        return static_cast<uint16_t>(model.vertices.size() - 1);
    }

    Triangle& triangle(uint16_t a, uint16_t b, uint16_t c, uint16_t material = 0, uint8_t kind = triangle_drawn)
    {
        model.triangles.push_back({{a, b, c}, {absent_index, absent_index, absent_index},
                                   {absent_index, absent_index, absent_index}, material, 0, kind});
        return model.triangles.back();
    }

    // Three new vertices that no other triangle shares.
    Triangle& separate_triangle(uint16_t material = 0, uint8_t kind = triangle_drawn)
    {
        const uint16_t a = vertex(static_cast<double>(model.vertices.size()));
        const uint16_t b = vertex(a + 1.0);
        return triangle(a, b, vertex(a + 2.0), material, kind);
    }

    void add_skeleton(size_t bones)
    {
        model.skeletons.emplace_back();
        model.skeletons[0].bones.resize(bones);
        for (size_t b = 0; b < bones; ++b)
            model.skeletons[0].bones[b].limb_index = static_cast<uint8_t>(b);
    }

    // Builds group 0 afresh and returns its commands after the first material's.
    std::vector<Words> build_after_material(uint8_t limb = no_bone, const char* name = "g")
    {
        out = OutBuffer{};
        const int32_t at = build_display_list(ctx, model, scratch, out, 0, limb, name);
        return read_commands(out, static_cast<uint32_t>(at) + 8 * 7);
    }
};

// No triangles, or triangles moved into limbs: no list and nothing written.
// A marked entry still ends the group before it, with its top bit masked.
TEST_F(ListFixture, EmptyAndMovedGroupsGiveNoList)
{
    for (int i = 0; i < 3; ++i)
        separate_triangle();
    model.group_starts = {0, 1 | group_start_moved, 2, 3};
    for (const uint16_t group : {1, 3, 4})  // moved, empty, no entry at all
        EXPECT_EQ(build_display_list(ctx, model, scratch, out, group, no_bone, "g"), -1) << group;
    EXPECT_EQ(out.length, 0u);
    const int32_t at = build_display_list(ctx, model, scratch, out, 0, no_bone, "g");
    EXPECT_EQ(at, 48);
    EXPECT_EQ(read_commands(out, at).size(), 7u + 3u);  // one triangle: load, draw, end
}

// A record position beyond 16 bits stops the conversion: once the group's
// POS point is taken from it, or when the position itself (as the limb split
// may leave it) does not fit. The scale to try covers every drawn position.
TEST_F(ListFixture, RecordPositionsBeyond16BitsStop)
{
    ctx.settings.scale = 512.0f;
    model.groups[0].pos_x = -100.5f;
    const uint16_t far = vertex(32700), origin = vertex(0), near = vertex(1);
    triangle(far, origin, near);
    EXPECT_EQ(fatal_text([&] { build_display_list(ctx, model, scratch, out, 0, no_bone, "g"); }),
              "Vertex 1 of group 'g' lies at 64.1 units from the group's POS point, 32800 after scaling by 512; "
              "positions must fit -32768..32767. Try -s 500 or smaller.");  // 32767 / 32800.5 x 512 = 511.5

    model.groups[0].pos_x = 0;
    model.vertices[1].y = -40960;
    EXPECT_EQ(fatal_text([&] { build_display_list(ctx, model, scratch, out, 0, no_bone, "g"); }),
              "Vertex 2 of group 'g' lies at -80.0 units, -40960 after scaling by 512; positions must fit "
              "-32768..32767. Try -s 400 or smaller.");  // 32768 / 40960 x 512 = 409.6
    EXPECT_EQ(out.length, 0u);
}

// One triangle: its records, then the list, whose offset is returned.
// Positions are relative to the group and truncated; texture coordinates are
// 10.5 texels of the material's texture; normals 127ths; a corner without
// texture coordinate or normal repeats the corner before it.
TEST_F(ListFixture, OneTriangleRecordsThenTheList)
{
    ob_write_u32_pair(out, 0xAAAAAAAA, 0xBBBBBBBB);
    ob_write_u32_pair(out, 0xCCCCCCCC, 0xDDDDDDDD);
    model.groups[0].pos_x = 100.5f;
    model.groups[0].pos_y = 0.5f;
    model.material_table[0].tex_width = 32;
    model.material_table[0].tex_height = 64;
    model.texcoords = {{0.5f, 0.25f}, {-0.25f, 1.0f}};
    model.normals = {{-1.0f, 0.5f, 1.0f}};
    Triangle& t = triangle(vertex(1000, -1000, -32768), vertex(0), vertex(1));
    t.texcoord = {0, absent_index, 1};
    t.normal = {0, 0, absent_index};

    const int32_t at = build_display_list(ctx, model, scratch, out, 0, no_bone, "g");
    EXPECT_EQ(at, 16 + 48);
    const std::vector<uint8_t> records(out.bytes.begin() + 16, out.bytes.begin() + 64);
    EXPECT_EQ(records, (std::vector<uint8_t>{
                           0x03, 0x83, 0xFC, 0x18, 0x80, 0x00,  // 899, -1000, -32768 (the lowest that fits)
                           0xFF, 0x00,                          // flag word: no limb
                           0x02, 0x00, 0x02, 0x00,              // 0.5 x 32 x 32, 0.25 x 64 x 32
                           0x81, 0x3F, 0x7F, 0xFF,              // -127, 63, 127; alpha
                           0xFF, 0x9C, 0x00, 0x00, 0x00, 0x00,  // 0 - 100.5: -100
                           0xFF, 0x00, 0x02, 0x00, 0x02, 0x00,  // texture coordinate repeated
                           0x81, 0x3F, 0x7F, 0xFF,              //
                           0xFF, 0x9D, 0x00, 0x00, 0x00, 0x00,  // 1 - 100.5: -99
                           0xFF, 0x00, 0xFF, 0x00, 0x08, 0x00,  // -256, 2048
                           0x81, 0x3F, 0x7F, 0xFF,              // normal repeated
                       }));
    const std::vector<Words> batch = {
        {0x01003006, 0x06000010},  // 3 records at offset 16
        {0x05000204, 0},           // (0 1 2)
        end_list,
    };
    EXPECT_EQ(read_commands(out, at), white_material + batch);
}

// Ten unshared triangles fill 30 entries; the eleventh would make 33 and
// starts a second batch, and so does one that would make exactly 32.
TEST_F(ListFixture, BatchesHoldAtMost31Vertices)
{
    for (int i = 0; i < 11; ++i)
        separate_triangle();
    EXPECT_EQ(build_after_material(), (std::vector<Words>{
                                          {0x0101E03C, 0x06000000},  // 30 vertices into entries 0-29
                                          {0x06000204, 0x0006080A},  // (0 1 2) (3 4 5)
                                          {0x060C0E10, 0x00121416},  // (6 7 8) (9 10 11)
                                          {0x06181A1C, 0x001E2022},
                                          {0x06242628, 0x002A2C2E},
                                          {0x06303234, 0x0036383A},  // (24 25 26) (27 28 29)
                                          {0x01003006, 0x060001E0},  // 3 vertices after 480 bytes
                                          {0x05000204, 0},
                                          end_list,
                                      }));

    // Shares one vertex of the first batch and adds two: 32.
    model.triangles.back().position = {0, vertex(900), vertex(901)};
    EXPECT_EQ(build_after_material()[6], (Words{0x01003006, 0x060001E0}));
    EXPECT_EQ(ob_read_u16(out, 480), 0u);  // the shared vertex is loaded again
}

// Corners equal in all 16 bytes load once; the same positions with other
// texture coordinates are other vertices.
TEST_F(ListFixture, SharedEdgesLoadOnce)
{
    model.texcoords = {{0.0f, 0.0f}, {0.5f, 0.5f}};
    const uint16_t a = vertex(0), b = vertex(1), c = vertex(2), d = vertex(3);
    triangle(a, b, c).texcoord = {0, 0, 0};
    triangle(c, b, d).texcoord = {0, 0, 0};
    EXPECT_EQ(build_after_material(), (std::vector<Words>{
                                          {0x01004008, 0x06000000},  // four vertices
                                          {0x06000204, 0x00040206},  // (0 1 2) (2 1 3)
                                          end_list,
                                      }));
    model.triangles[1].texcoord = {1, 1, 1};
    EXPECT_EQ(build_after_material()[0], (Words{0x0100600C, 0x06000000}));  // six vertices
}

// Placeholder and hidden triangles load their vertices but are not drawn;
// the drawn ones go in pairs, an odd one alone at the end.
TEST_F(ListFixture, HiddenAndPlaceholderTrianglesLoadButDoNotDraw)
{
    for (const uint8_t kind : {triangle_placeholder, triangle_drawn, triangle_hidden, triangle_drawn, triangle_drawn})
        separate_triangle(0, kind);
    EXPECT_EQ(build_after_material(), (std::vector<Words>{
                                          {0x0100F01E, 0x06000000},  // all fifteen vertices
                                          {0x0606080A, 0x00121416},  // (3 4 5) (9 10 11)
                                          {0x05181A1C, 0},           // (12 13 14)
                                          end_list,
                                      }));
}

// A change of material ends the batch and emits only what changed; the next
// list opens with the full state of its first material again.
TEST_F(ListFixture, MaterialChangeEndsTheBatch)
{
    Material orange;
    orange.g = 0.5f;
    orange.b = 0.0f;
    model.material_table.push_back(orange);
    separate_triangle(0);
    separate_triangle(1);
    for (int list = 0; list < 2; ++list) {
        const uint32_t start = out.length;
        const int32_t at = build_display_list(ctx, model, scratch, out, 0, no_bone, "g");
        const std::vector<Words> batches = {
            {0x01003006, 0x06000000 + start},
            {0x05000204, 0},
            {0xFA000000, 0xFF7F00FF},  // orange
            {0x01003006, 0x06000030 + start},
            {0x05000204, 0},
            end_list,
        };
        EXPECT_EQ(read_commands(out, at), white_material + batches);
    }
}

// A batch of limbs 3 and 5: the records of the limb being built come last,
// each limb's records are loaded under its matrix, the triangles renumbered.
TEST_F(ListFixture, LimbBatchesLoadEachLimbUnderItsMatrix)
{
    add_skeleton(6);
    const uint8_t bone[6] = {5, 3, 5, 3, 3, 5};
    for (int i = 0; i < 6; ++i)
        vertex(i * 16, 0, 0, bone[i]);
    triangle(0, 1, 2);
    triangle(3, 4, 5);

    EXPECT_EQ(build_after_material(5, nullptr), (std::vector<Words>{
                                                    {0xDA380003, 0x0D0000C0},  // limb 3 matrix
                                                    {0x01003006, 0x06000000},  // 3 records into 0-2
                                                    {0xDA380003, 0x0D000140},  // limb 5 matrix
                                                    {0x0100300C, 0x06000030},  // 3 records into 3-5
                                                    {0x06060008, 0x0002040A},  // (3 0 4) (1 2 5)
                                                    end_list,
                                                }));
    for (uint32_t r = 0; r < 6; ++r)  // vertices 1, 3, 4, then 0, 2, 5
        EXPECT_EQ(ob_read_u32(out, r * 16 + 4), uint32_t{r < 3 ? 3u : 5u} << 8) << r;
    EXPECT_EQ(ob_read_u16(out, 16), 48u);

    // Built as limb 3, limb 3 comes last although it sorts first.
    const std::vector<Words> as_limb3 = build_after_material(3, nullptr);
    EXPECT_EQ(as_limb3[0], (Words{0xDA380003, 0x0D000140}));
    EXPECT_EQ(as_limb3[2], (Words{0xDA380003, 0x0D0000C0}));
}

// The matrix in force is tracked through the list: a batch of one run loads
// its limb's matrix when an earlier batch (or the prefix) left another
// limb's in force, and only then.
TEST_F(ListFixture, OneRunBatchLoadsItsMatrixWhenAnotherIsInForce)
{
    add_skeleton(3);
    Material orange;
    orange.g = 0.5f;
    orange.b = 0.0f;
    model.material_table.push_back(orange);
    const uint8_t bone[12] = {1, 1, 2, 1, 1, 1, 1, 1, 1, 2, 2, 2};
    for (int i = 0; i < 12; ++i)
        vertex(i, 0, 0, bone[i]);
    // Materials alternate, so every triangle is a batch of its own.
    triangle(0, 1, 2, 0);
    triangle(3, 4, 5, 1);
    triangle(6, 7, 8, 0);
    triangle(9, 10, 11, 1);
    constexpr Words white{0xFA000000, 0xFFFFFFFF}, orange_colour{0xFA000000, 0xFF7F00FF};
    constexpr Words limb1{0xDA380003, 0x0D000040}, limb2{0xDA380003, 0x0D000080};
    constexpr Words draw{0x05000204, 0};
    EXPECT_EQ(build_after_material(), (std::vector<Words>{
                                          limb1, {0x01002004, 0x06000000},  // limbs 1 and 2: a matrix each
                                          limb2, {0x01001006, 0x06000020}, draw,
                                          orange_colour,
                                          limb1, {0x01003006, 0x06000030}, draw,  // limb 2's was in force
                                          white,
                                          {0x01003006, 0x06000060}, draw,  // limb 1's is in force
                                          orange_colour,
                                          limb2, {0x01003006, 0x06000090}, draw,
                                          end_list,
                                      }));

    // The limb matrix of the prefix is in force for the first batch.
    model.triangles.erase(model.triangles.begin(), model.triangles.begin() + 2);
    out = OutBuffer{};
    const int32_t at = build_display_list(ctx, model, scratch, out, 0, no_bone, "QXLMTX");
    const std::vector<Words> batches = {
        {0x01003006, 0x06000000}, draw,  // under limb 1, as the prefix loaded
        orange_colour,
        limb2, {0x01003006, 0x06000030}, draw,
        end_list,
    };
    EXPECT_EQ(read_commands(out, static_cast<uint32_t>(at)), std::vector<Words>{limb1} + white_material + batches);

    // A limb list starts with its own limb's matrix, and its own records
    // always come last: a batch of its own limb alone needs none.
    model.triangles.erase(model.triangles.begin(), model.triangles.end());
    triangle(0, 1, 2, 0);
    triangle(3, 4, 5, 1);
    EXPECT_EQ(build_after_material(1, nullptr), (std::vector<Words>{
                                                    limb2, {0x01001002, 0x06000000},
                                                    limb1, {0x01002006, 0x06000010}, {0x05020400, 0},
                                                    orange_colour,
                                                    {0x01003006, 0x06000030}, draw,
                                                    end_list,
                                                }));
}

struct LimblessCase {
    const char* what;
    // Builds the triangles of group 0 over a skeleton of three bones; the
    // second vertex made has no bone and comes from line 12.
    void (*build)(ListFixture&);
    uint8_t limb;
    const char* name;
    const char* message;
};
void PrintTo(const LimblessCase& c, std::ostream* os) { *os << c.what; }

class LimblessVertex : public ListFixture, public ::testing::WithParamInterface<LimblessCase> {};

// A vertex without a bone drawn through a limb matrix would take the matrix
// of a limb that does not exist: the conversion stops and names its line.
TEST_P(LimblessVertex, StopsWhenDrawnThroughALimbMatrix)
{
    add_skeleton(3);
    Material orange;
    orange.g = 0.5f;
    model.material_table.push_back(orange);
    vertex(0, 0, 0, 1);
    vertex(1, 0, 0, no_bone);
    vertex(2, 0, 0, no_bone);
    vertex(3, 0, 0, 2);
    model.vertices[1].line = 12;
    GetParam().build(*this);
    EXPECT_EQ(fatal_text([&] { build_display_list(ctx, model, scratch, out, 0, GetParam().limb, GetParam().name); }),
              GetParam().message);
}

const char* const no_bone_on_line_12 = "The vertex of line 12 (position 2) has no bone, but group 'g' draws it "
                                       "through a limb matrix; the console would take the matrix of a limb that "
                                       "does not exist";

INSTANTIATE_TEST_SUITE_P(
    Lists, LimblessVertex,
    ::testing::Values(
        LimblessCase{"beside a boned vertex", [](ListFixture& f) { f.triangle(0, 1, 2); }, no_bone, "g",
                     no_bone_on_line_12},
        LimblessCase{"in a limb list", [](ListFixture& f) { f.triangle(3, 1, 3); }, 2, nullptr,
                     no_bone_on_line_12},
        LimblessCase{"after the prefix",
                     [](ListFixture& f) {
                         f.triangle(0, 0, 0);
                         f.triangle(1, 2, 1, 1);
                     },
                     no_bone, "arm_QXLMTX", no_bone_on_line_12},
        LimblessCase{"after a batch of two limbs",
                     [](ListFixture& f) {
                         f.triangle(0, 3, 3);
                         f.triangle(1, 2, 2, 1);
                     },
                     no_bone, "g", no_bone_on_line_12},
        LimblessCase{"bone without a list",
                     [](ListFixture& f) {
                         f.model.skeletons[0].bones[1].limb_index = no_bone;
                         f.model.vertices[0].line = 3;
                         f.triangle(3, 0, 3);
                     },
                     no_bone, "g",
                     "The vertex of line 3 (position 1) belongs to bone 1, which has no display list, but group 'g' "
                     "draws it through a limb matrix; the console would take the matrix of a limb that does not "
                     "exist"},
        // A plain list draws vertices without bones under its own matrix.
        LimblessCase{"plain list, no bones", [](ListFixture& f) { f.triangle(1, 2, 1); }, no_bone, "g",
                     "(no error)"},
        LimblessCase{"plain list, bones after",
                     [](ListFixture& f) {
                         f.triangle(1, 2, 1);
                         f.triangle(0, 0, 0, 1);
                     },
                     no_bone, "g", "(no error)"}));

struct PrefixCase {
    const char* name;
    std::vector<Words> prefix;
};
void PrintTo(const PrefixCase& c, std::ostream* os) { *os << (c.name ? c.name : "(none)"); }

class MatrixPrefix : public ListFixture, public ::testing::WithParamInterface<PrefixCase> {};

// Named groups may open with matrix commands, before any material state.
TEST_P(MatrixPrefix, ComesBeforeTheMaterial)
{
    add_skeleton(3);
    model.skeletons[0].bones[2].limb_index = 7;
    triangle(vertex(0, 0, 0, 2), vertex(1, 0, 0, 2), vertex(2, 0, 0, 2));
    const int32_t at = build_display_list(ctx, model, scratch, out, 0, no_bone, GetParam().name);
    // One limb in the batch: no matrix per run.
    const std::vector<Words> body = white_material + std::vector<Words>{{0x01003006, 0x06000000}, {0x05000204, 0},
                                                                        end_list};
    EXPECT_EQ(read_commands(out, at), GetParam().prefix + body);
}

constexpr Words multiply_segment1{0xDA380001, 0x01000000};
constexpr Words load_limb7{0xDA380003, 0x0D0001C0};

INSTANTIATE_TEST_SUITE_P(Names, MatrixPrefix,
                         ::testing::Values(PrefixCase{"body_QXBMTX", {multiply_segment1}},
                                           PrefixCase{"QXBBMTX", {multiply_segment1}},
                                           PrefixCase{"arm_QXLMTX", {load_limb7}},
                                           PrefixCase{"QXBMTX_QXLMTX", {load_limb7, multiply_segment1}},
                                           PrefixCase{"plain", {}}, PrefixCase{nullptr, {}}));

// More than 255 drawn triangles over a few vertices stay in one batch, all drawn.
TEST_F(ListFixture, BatchTriangleCountIsNotEightBits)
{
    separate_triangle();
    for (int i = 1; i < 300; ++i)
        triangle(0, 1, 2);
    const std::vector<Words> list = build_after_material();
    ASSERT_EQ(list.size(), 1u + 150u + 1u);
    EXPECT_EQ(list[0], (Words{0x01003006, 0x06000000}));
    EXPECT_EQ(std::count(list.begin(), list.end(), Words{0x06000204, 0x00000204}), 150);
}

struct FaultCase {
    const char* what;
    void (*spoil)(Model&, Triangle&, Material&);
    const char* message;
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class BrokenModel : public ListFixture, public ::testing::WithParamInterface<FaultCase> {};

// Indices that an earlier stage should never leave behind stop the run with
// a message instead of reading past a table.
TEST_P(BrokenModel, StopsWithAMessage)
{
    model.texcoords.push_back({});
    model.normals.push_back({});
    add_skeleton(1);
    GetParam().spoil(model, triangle(vertex(0), vertex(1), vertex(2)), model.material_table[0]);
    try {
        build_display_list(ctx, model, scratch, out, 0, no_bone, "g");
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BrokenModel,
    ::testing::Values(FaultCase{"material", [](Model&, Triangle& t, Material&) { t.material = 5; },
                                "Triangle 0 uses material 5, but only 1 materials exist"},
                      FaultCase{"vertex", [](Model&, Triangle& t, Material&) { t.position[1] = 9; },
                                "Triangle 0 uses vertex 9, but the model has 3 vertices"},
                      FaultCase{"texcoord", [](Model&, Triangle& t, Material&) { t.texcoord[2] = 4; },
                                "Triangle 0 uses texture coordinate 4, but the model has 1"},
                      FaultCase{"normal", [](Model&, Triangle& t, Material&) { t.normal[0] = 7; },
                                "Triangle 0 uses normal 7, but the model has 1"},
                      FaultCase{"group", [](Model&, Triangle& t, Material&) { t.group = 3; },
                                "Triangle 0 belongs to group 3, but the model has 1 groups"},
                      FaultCase{"bone", [](Model& m, Triangle&, Material&) { m.vertices[0].bone = 9; },
                                "Vertex 0 belongs to bone 9, but the skeleton has 1 bones"},
                      FaultCase{"texture", [](Model&, Triangle&, Material& m) { m.texture = 2; },
                                "Material '' names texture 2, but the model has 0 textures"}));

}  // namespace

// A corner's record, once made, serves only the same material within the
// same list: the same corners under a material with a larger texture get
// records of their own, and a list built later sees the model as it is then.
TEST(DisplayListRecords, FollowTheirMaterialAndList)
{
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;
    model.groups.push_back(Group{"g"});
    model.group_starts.push_back(0);
    model.material_table.resize(2);
    model.material_table[0].tex_width = model.material_table[0].tex_height = 32;
    model.material_table[1].tex_width = model.material_table[1].tex_height = 64;
    model.vertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    model.texcoords = {{0.5f, 0.5f}};
    model.normals = {{0, 1, 0}};
    for (uint16_t material : {0, 1})
        model.triangles.push_back({{0, 1, 2}, {0, 0, 0}, {0, 0, 0}, material, 0, triangle_drawn});

    DisplayListScratch scratch;
    const auto first_s = [&](uint32_t record) {
        OutBuffer out;
        build_display_list(ctx, model, scratch, out, 0, no_bone, "g");
        return ob_read_u16(out, 16 * record + 8);
    };
    EXPECT_EQ(first_s(0), 0x0200u);  // 0.5 x 32 texels in 10.5
    EXPECT_EQ(first_s(3), 0x0400u);  // the second batch: 0.5 x 64
    model.texcoords[0].u = 0.25f;
    EXPECT_EQ(first_s(0), 0x0100u);
}
