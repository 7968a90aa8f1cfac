#include <gtest/gtest.h>

#include <bit>
#include <cctype>

#include "dlist/command_words.h"
#include "dlist/material_commands.h"
#include "driver/context.h"
#include "platform/platform.h"

namespace {

struct MaterialFixture : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;
    OutBuffer list;

    MaterialFixture() { ctx.settings.base_offset = 0x06000000; }

    // A 32 x 32 RGBA16 texture at offset 0x100, or one with `setup` applied.
    uint16_t add_texture(void (*setup)(Texture&) = nullptr)
    {
        Texture t;
        t.format = 0;
        t.bit_size = 2;
        t.out_width = t.out_height = t.base_width = t.base_height = 32;
        t.offset = 0x100;
        if (setup != nullptr)
            setup(t);
        model.textures.push_back(t);
        return static_cast<uint16_t>(model.textures.size() - 1);
    }

    std::vector<Words> emit(Material& m)
    {
        const uint32_t from = list.length;
        emit_material(ctx, model, m, list);
        return read_commands(list, from);
    }
};

// The seven commands of a plain material, in order.
TEST_F(MaterialFixture, UntexturedMaterialListInFull)
{
    Material m;
    m.g = 0.5f;
    m.b = 0.0f;
    EXPECT_EQ(emit(m), (std::vector<Words>{
                           {0xE7000000, 0x00000000},  // pipe sync
                           {0xD7000000, 0x00000000},  // texturing off
                           {0xFC327FFF, 0xFFFFFC38},  // primitive x shade, then the combined colour
                           {0xE200001C, 0xC8112078},  // opaque, anti-aliased
                           {0xD9F1FFFF, 0x00000000},  // clear lighting and texture generation
                           {0xD9FFFFFF, 0x00830400},  // clipping, fog, lighting, back-face culling
                           {0xFA000000, 0xFF7F00FF},  // 1.0, 0.5, 0.0, 1.0
                       }));
    EXPECT_EQ(ctx.display_list.previous_material, &m);
    EXPECT_EQ(m.material_commands.capacity(), 1024u);
}

struct StateCase {
    const char* what;
    void (*setup)(Material&, Texture&);
    bool textured;
    Words combine, render_mode, geometry_clear, geometry_set;
};
void PrintTo(const StateCase& c, std::ostream* os) { *os << c.what; }

class MaterialState : public MaterialFixture, public ::testing::WithParamInterface<StateCase> {};

// Combiner, render mode and geometry mode for the material options.
TEST_P(MaterialState, CombinerRenderAndGeometryModes)
{
    const StateCase& c = GetParam();
    Material m;
    Texture t;
    c.setup(m, t);
    if (c.textured) {
        t.format = 0;
        t.bit_size = 2;
        t.out_width = t.out_height = t.base_height = 32;
        model.textures.push_back(t);
        m.texture = 0;
    }
    emit(m);
    const std::optional<uint32_t> fc = find_command(0xFC, list);
    const std::optional<uint32_t> e2 = find_command(0xE2, list);
    const std::optional<uint32_t> d9 = find_command(0xD9, list);
    ASSERT_TRUE(fc && e2 && d9);
    EXPECT_EQ(read_commands(list, *fc, *fc + 8)[0], c.combine);
    EXPECT_EQ(read_commands(list, *e2, *e2 + 8)[0], c.render_mode);
    EXPECT_EQ(read_commands(list, *d9, *d9 + 16), (std::vector<Words>{c.geometry_clear, c.geometry_set}));
}

constexpr Words plain_combine{0xFC327FFF, 0xFFFFFC38};
constexpr Words cull_clear{0xD9F1FFFF, 0}, nocull_clear{0xD9F3FBFF, 0};
constexpr Words lit_culled{0xD9FFFFFF, 0x830400};

INSTANTIATE_TEST_SUITE_P(
    Options, MaterialState,
    ::testing::Values(
        StateCase{"opaque", [](Material&, Texture&) {}, false, plain_combine, {0xE200001C, 0xC8112078}, cull_clear,
                  lit_culled},
        // Alpha 0.5: translucent blending, cycle 1 alpha d = primitive.
        StateCase{"translucent", [](Material& m, Texture&) { m.alpha = 0.5f; }, false, {0xFC327FFF, 0xFFFFF638},
                  {0xE200001C, 0xC81059D8}, cull_clear, lit_culled},
        StateCase{"decal", [](Material& m, Texture&) { m.decal = 1; }, false, plain_combine,
                  {0xE200001C, 0xC8104DD8}, cull_clear, lit_culled},
        StateCase{"decal overrides translucency", [](Material& m, Texture&) { m.decal = 1; m.alpha = 0.25f; },
                  false, {0xFC327FFF, 0xFFFFF638}, {0xE200001C, 0xC8104DD8}, cull_clear, lit_culled},
        StateCase{"no AA opaque", [](Material& m, Texture&) { m.flags = material_no_aa; }, false, plain_combine,
                  {0xE200001C, 0xC8112070}, cull_clear, lit_culled},
        StateCase{"no AA translucent", [](Material& m, Texture&) { m.flags = material_no_aa; m.alpha = 0.5f; },
                  false, {0xFC327FFF, 0xFFFFF638}, {0xE200001C, 0xC8105950}, cull_clear, lit_culled},
        StateCase{"no AA decal", [](Material& m, Texture&) { m.flags = material_no_aa; m.decal = 1; }, false,
                  plain_combine, {0xE200001C, 0xC8104D50}, cull_clear, lit_culled},
        // NOCULL in the name: culling cleared and not set again.
        StateCase{"NOCULL", [](Material& m, Texture&) { m.geometry_mode = 0; }, false, plain_combine,
                  {0xE200001C, 0xC8112078}, nocull_clear, {0xD9FFFFFF, 0x830000}},
        // Unlit: primitive in place of shade, no lighting bit.
        StateCase{"unlit", [](Material& m, Texture&) { m.unlit = 1; }, false, {0xFC31FFFF, 0xFFFFFC38},
                  {0xE200001C, 0xC8112078}, cull_clear, {0xD9FFFFFF, 0x810400}},
        // No fog, texture generation.
        StateCase{"no fog, texgen", [](Material& m, Texture&) { m.flags = material_no_fog | 0x04; }, false,
                  plain_combine, {0xE200001C, 0xC8112078}, cull_clear, {0xD9FFFFFF, 0x8E0400}},
        // Environment colour takes the first primitive input: cycle 1 colour a.
        StateCase{"env untextured", [](Material& m, Texture&) { m.flags = material_env_colour; }, false,
                  {0xFC527FFF, 0xFFFFFC38}, {0xE200001C, 0xC8112078}, cull_clear, lit_culled},
        // Textured: texel 0 x shade, then x primitive; alpha from nothing special.
        StateCase{"textured", [](Material&, Texture&) {}, true, {0xFC127E03, 0xFFFFFDF8},
                  {0xE200001C, 0xC8112078}, cull_clear, lit_culled},
        // ... and with environment colour: cycle 2 colour c becomes 5.
        StateCase{"env textured", [](Material& m, Texture&) { m.flags = material_env_colour; }, true,
                  {0xFC127E05, 0xFFFFFDF8}, {0xE200001C, 0xC8112078}, cull_clear, lit_culled},
        // Texture alpha, opaque material: alpha from texel 0, coverage times alpha.
        StateCase{"texture alpha", [](Material&, Texture& t) { t.has_alpha = 1; }, true, {0xFC127E03, 0xFFFFF3F8},
                  {0xE200001C, 0xC8113078}, cull_clear, lit_culled},
        // Texture alpha, translucent material: alpha = texel 0 x primitive.
        StateCase{"texture alpha translucent", [](Material& m, Texture& t) { t.has_alpha = 1; m.alpha = 0.5f; },
                  true, {0xFC127E03, 0xFF0FF7FF}, {0xE200001C, 0xC81059D8}, cull_clear, lit_culled},
        // A texture path with QXNOCULL turns culling off for a culling material.
        StateCase{"texture NOCULL", [](Material&, Texture& t) { t.cull_mode = 0; }, true, {0xFC127E03, 0xFFFFFDF8},
                  {0xE200001C, 0xC8112078}, nocull_clear, {0xD9FFFFFF, 0x830000}},
        // Node mode: the library's combiner as it stands (cycle 1 colour 1, 2, 4, 0).
        StateCase{"nodal", [](Material& m, Texture&) { m.flags = material_nodal; m.combiner = {1, 2, 4, 0}; },
                  false, {0xFC120000, 0x20000000}, {0xE200001C, 0xC8112078}, cull_clear, lit_culled}),
    [](const ::testing::TestParamInfo<StateCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

// A one-colour texture loads nothing: its average colour is the primitive colour.
TEST_F(MaterialFixture, UniformTextureBecomesThePrimitiveColour)
{
    Material m;
    m.texture = add_texture([](Texture& t) {
        t.is_uniform = 1;
        t.average_colour = 0x11223344;
    });
    EXPECT_EQ(emit(m), (std::vector<Words>{
                           {0xE7000000, 0},
                           {0xD7000000, 0},           // texturing off
                           {0xFC327FFF, 0xFFFFFC38},  // untextured combiner
                           {0xE200001C, 0xC8112078},
                           {0xD9F1FFFF, 0},
                           {0xD9FFFFFF, 0x00830400},
                           {0xFA000000, 0x11223344},  // the texture's average colour
                       }));
}

struct LoadCase {
    const char* what;
    void (*setup)(Material&, Texture&);
    std::vector<Words> expected;
};
void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.what; }

class TextureLoad : public MaterialFixture, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(TextureLoad, CommandsForFormatAndSize)
{
    Material m;
    m.texture = add_texture([](Texture& t) { t.offset = 0x800; t.data_size = 0x1800; });
    GetParam().setup(m, model.textures[0]);
    OutBuffer commands;
    emit_texture_load(ctx.settings, model, commands, m);
    EXPECT_EQ(read_commands(commands), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TextureLoad,
    ::testing::Values(
        // 32 x 32 RGBA16, texgen scale s, scale t above 1.
        LoadCase{"rgba16",
                 [](Material& m, Texture&) {
                     m.scale_s = std::bit_cast<float>(0x3CFA00FAu);  // 2000 / 65535
                     m.scale_t = 1.5f;
                 },
                 {{0xE3001001, 0},           // no look-up table
                  {0xD7000002, 0x07D0FFFF},  // scales 2000 and 0xFFFF
                  {0xFD100000, 0x06000800},  // texels at base + offset
                  {0xF5100000, 0x07014050},  // load tile, masks 5 and 5
                  {0xE6000000, 0},
                  {0xF3000000, 0x073FF100},  // lrs 1023, dxt 256
                  {0xE7000000, 0},
                  {0xF5101000, 0x00014050},  // render tile, line 8
                  {0xF2000000, 0x0007C07C}}},
        // 64 x 64 CI4 with its 16-colour palette.
        LoadCase{"ci4",
                 [](Material&, Texture& t) {
                     t.format = 2;
                     t.bit_size = 0;
                     t.out_width = t.out_height = t.base_height = 64;
                 },
                 {{0xE3001001, 0x8000},      // RGBA16 palette
                  {0xD7000002, 0xFFFFFFFF},
                  {0xFD500000, 0x06000800},  // CI loaded as 16-bit words
                  {0xF5500000, 0x07018060},  // masks 6 and 6
                  {0xE6000000, 0},
                  {0xF3000000, 0x073FF200},  // lrs 1023, dxt 512
                  {0xE7000000, 0},
                  {0xF5400800, 0x00018060},  // CI4 render tile, line 4
                  {0xF2000000, 0x000FC0FC},
                  {0xFD100000, 0x06001800},  // palette at base + data_size
                  {0xE8000000, 0},
                  {0xF5000100, 0x07000000},  // palette tile at word 256
                  {0xE6000000, 0},
                  {0xF0000000, 0x0703C000},  // 16 colours
                  {0xE7000000, 0}}},
        // 8 x 16 I4: narrower than 16 texels, so dxt 2048; no palette.
        LoadCase{"i4 narrow",
                 [](Material&, Texture& t) {
                     t.format = 4;
                     t.bit_size = 0;
                     t.out_width = 8;
                     t.out_height = t.base_height = 16;
                 },
                 {{0xE3001001, 0},
                  {0xD7000002, 0xFFFFFFFF},
                  {0xFD900000, 0x06000800},
                  {0xF5900000, 0x07010030},  // masks 3 and 4
                  {0xE6000000, 0},
                  {0xF3000000, 0x0701F800},  // lrs 31, dxt 2048
                  {0xE7000000, 0},
                  {0xF5800200, 0x00010030},  // line 1
                  {0xF2000000, 0x0001C03C}}},
        // 32 x 32 CI8 with a 256-colour palette.
        LoadCase{"ci8",
                 [](Material&, Texture& t) {
                     t.format = 2;
                     t.bit_size = 1;
                 },
                 {{0xE3001001, 0x8000},
                  {0xD7000002, 0xFFFFFFFF},
                  {0xFD500000, 0x06000800},
                  {0xF5500000, 0x07014050},
                  {0xE6000000, 0},
                  {0xF3000000, 0x071FF200},  // lrs 511, dxt 512
                  {0xE7000000, 0},
                  {0xF5480800, 0x00014050},  // CI8 render tile, line 4
                  {0xF2000000, 0x0007C07C},
                  {0xFD100000, 0x06001800},
                  {0xE8000000, 0},
                  {0xF5000100, 0x07000000},
                  {0xE6000000, 0},
                  {0xF0000000, 0x073FC000},  // 256 colours
                  {0xE7000000, 0}}},
        // IA8 bank image: its own address, one 16 x 32 image of a 16 x 64
        // stack, mirrored in S, clamped in T by the first slot; scale 0.5.
        LoadCase{"ia8 bank mirror clamp",
                 [](Material& m, Texture& t) {
                     t.format = 3;
                     t.bit_size = 1;
                     t.out_width = 16;
                     t.out_height = 64;
                     t.base_height = 32;
                     t.mirror_s = 1;
                     t.bank_address = 0x06001000;
                     m.slots[0].wrap_v = 1;
                     m.scale_s = 0.5f;
                     m.scale_t = std::bit_cast<float>(0x3D1C409Cu);  // 2500 / 65535
                 },
                 {{0xE3001001, 0},
                  {0xD7000002, 0x7FFF09C4},  // 32767 and 2500
                  {0xFD700000, 0x06001000},  // the bank address as it is
                  {0xF5700000, 0x07094140},  // clamp T, mask 5; mirror S, mask 4
                  {0xE6000000, 0},
                  {0xF3000000, 0x070FF400},  // lrs 255, dxt 1024
                  {0xE7000000, 0},
                  {0xF5680400, 0x00094140},  // line 2
                  {0xF2000000, 0x0003C07C}}},
        // 16 x 16 RGBA32, loaded as 32-bit texels.
        LoadCase{"rgba32",
                 [](Material& m, Texture& t) {
                     t.bit_size = 3;
                     t.out_width = t.out_height = t.base_height = 16;
                     m.slots[1].wrap_u = 1995;  // a clamp too, from the second slot
                 },
                 {{0xE3001001, 0},
                  {0xD7000002, 0xFFFFFFFF},
                  {0xFD180000, 0x06000800},
                  {0xF5180000, 0x07010240},  // clamp S, masks 4 and 4
                  {0xE6000000, 0},
                  {0xF3000000, 0x070FF100},  // lrs 255, dxt 256
                  {0xE7000000, 0},
                  {0xF5180800, 0x00010240},  // line 4
                  {0xF2000000, 0x0003C03C}}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

// After the first material of a list only the differing state is emitted.
TEST_F(MaterialFixture, ChangesOnlyBetweenMaterials)
{
    Material white, orange, textured, textured_glass;
    orange.g = 0.5f;
    orange.b = 0.0f;
    textured.texture = textured_glass.texture = add_texture();
    textured_glass.alpha = 0.5f;

    emit(white);
    // Same (no) texture, other colour: the colour alone.
    EXPECT_EQ(emit(orange), (std::vector<Words>{{0xFA000000, 0xFF7F00FF}}));
    // From no texture to one: syncs and the whole load, then the state that differs.
    EXPECT_EQ(emit(textured), (std::vector<Words>{
                                  {0xE7000000, 0},
                                  {0xE3001001, 0},
                                  {0xD7000002, 0xFFFFFFFF},  // differs from texturing off
                                  {0xFD100000, 0x06000100},
                                  {0xF5100000, 0x07014050},
                                  {0xE6000000, 0},
                                  {0xF3000000, 0x073FF100},
                                  {0xE7000000, 0},
                                  {0xF5101000, 0x00014050},
                                  {0xF2000000, 0x0007C07C},  // the untextured list has none
                                  {0xFC127E03, 0xFFFFFDF8},  // textured combiner
                                  // render mode and geometry mode as before
                                  {0xFA000000, 0xFFFFFFFF},  // white again
                              }));
    // Same texture, translucent: colour, combiner and render mode in that order.
    EXPECT_EQ(emit(textured_glass), (std::vector<Words>{
                                        {0xFA000000, 0xFFFFFF7F},
                                        {0xFC127E03, 0xFFFFF7F8},
                                        {0xE200001C, 0xC81059D8},
                                    }));
}

// The list is built on first use and kept: later changes of the record do
// not reach it, and each new display list opens with the whole list.
TEST_F(MaterialFixture, CommandListIsBuiltOnce)
{
    Material m;
    emit(m);
    m.r = 0.0f;
    ctx.display_list.previous_material = nullptr;
    const std::vector<Words> again = emit(m);
    ASSERT_EQ(again.size(), 7u);
    EXPECT_EQ(again[6], (Words{0xFA000000, 0xFFFFFFFF}));
}

// Environment colour needs a primitive input among the colour inputs; alpha
// inputs do not count. Without one the run ends with the line on standard
// output and no message to show.
TEST(EnvironmentColour, MissingPrimitiveInputIsReportedOnStandardOutput)
{
    std::array<uint8_t, 16> inputs{1, 31, 4, 31, 3, 3, 3, 3, 0, 31, 4, 31, 3, 3, 3, 3};
    EXPECT_FALSE(find_combiner_input(inputs, 3));
    ::testing::internal::CaptureStdout();
    try {
        use_environment_colour(inputs);
        ::testing::internal::GetCapturedStdout();
        FAIL() << "no error";
    } catch (const FatalError& e) {
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "  ERROR! Can't find C_PRIMITIVE!\n");
        EXPECT_STREQ(e.what(), "");
    }

    inputs[11] = 3;  // cycle 2 colour d
    use_environment_colour(inputs);
    EXPECT_EQ(inputs[11], 5);
}

}  // namespace
