#include <gtest/gtest.h>

#include <bit>

#include "base/context.h"
#include "dlist/command_words.h"
#include "dlist/material_commands.h"
#include "platform/headless.h"

namespace {

struct MaterialFixture : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;
    const Material* previous = nullptr;
    OutBuffer list;

    MaterialFixture() { ctx.settings.base_offset = 0x06000000; }

    // A 32 x 32 RGBA16 texture whose texels lie at offset 0x100.
    uint16_t add_texture()
    {
        Texture t;
        t.format = 0;
        t.bit_size = 2;
        t.out_width = t.out_height = t.base_width = t.base_height = 32;
        t.offset = 0x100;
        model.textures.push_back(t);
        return static_cast<uint16_t>(model.textures.size() - 1);
    }

    std::vector<Words> emit(Material& m)
    {
        const uint32_t from = list.length;
        emit_material(ctx.settings, model, m, previous, list);
        return read_commands(list, from);
    }
};

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
    EXPECT_EQ(previous, &m);

    // A one-colour texture loads nothing and lends its colour; the pipe sync
    // always goes with a change of texture.
    Material uniform;
    uniform.texture = add_texture();
    model.textures[0].is_uniform = 1;
    model.textures[0].average_colour = 0x11223344;
    EXPECT_EQ(emit(uniform), (std::vector<Words>{{0xE7000000, 0}, {0xFA000000, 0x11223344}}));
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
    t.format = 0;
    t.bit_size = 2;
    t.out_width = t.out_height = t.base_height = 32;
    c.setup(m, t);
    if (c.textured) {
        model.textures.push_back(t);
        m.texture = 0;
    }
    emit(m);
    const std::optional<uint32_t> fc = find_command(0xFC, list), e2 = find_command(0xE2, list),
                                  d9 = find_command(0xD9, list);
    ASSERT_TRUE(fc && e2 && d9);
    EXPECT_EQ(read_commands(list, *fc, *fc + 8)[0], c.combine);
    EXPECT_EQ(read_commands(list, *e2, *e2 + 8)[0], c.render_mode);
    EXPECT_EQ(read_commands(list, *d9, *d9 + 16), (std::vector<Words>{c.geometry_clear, c.geometry_set}));
}

constexpr Words plain_combine{0xFC327FFF, 0xFFFFFC38}, textured_combine{0xFC127E03, 0xFFFFFDF8};
constexpr Words opaque{0xE200001C, 0xC8112078};
constexpr Words cull_clear{0xD9F1FFFF, 0}, nocull_clear{0xD9F3FBFF, 0};
constexpr Words lit_culled{0xD9FFFFFF, 0x830400}, lit_unculled{0xD9FFFFFF, 0x830000};

INSTANTIATE_TEST_SUITE_P(
    Options, MaterialState,
    ::testing::Values(
        // Alpha 0.5: translucent blending, cycle 1 alpha d = primitive.
        StateCase{"translucent", [](Material& m, Texture&) { m.alpha = 0.5f; }, false, {0xFC327FFF, 0xFFFFF638},
                  {0xE200001C, 0xC81059D8}, cull_clear, lit_culled},
        // Decal blending whatever the alpha.
        StateCase{"decal", [](Material& m, Texture&) { m.decal = 1; m.alpha = 0.5f; }, false,
                  {0xFC327FFF, 0xFFFFF638}, {0xE200001C, 0xC8104DD8}, cull_clear, lit_culled},
        // No anti-aliasing: neither AA nor colour on coverage.
        StateCase{"no AA translucent", [](Material& m, Texture&) { m.flags = material_no_aa; m.alpha = 0.5f; },
                  false, {0xFC327FFF, 0xFFFFF638}, {0xE200001C, 0xC8105950}, cull_clear, lit_culled},
        // NOCULL in the name: culling cleared and not set again.
        StateCase{"NOCULL", [](Material& m, Texture&) { m.geometry_mode = 0; }, false, plain_combine, opaque,
                  nocull_clear, lit_unculled},
        // A texture path with QXNOCULL turns culling off for a culling material.
        StateCase{"texture NOCULL", [](Material&, Texture& t) { t.cull_mode = 0; }, true, textured_combine, opaque,
                  nocull_clear, lit_unculled},
        // Unlit: primitive in place of shade, no lighting bit.
        StateCase{"unlit", [](Material& m, Texture&) { m.unlit = 1; }, false, {0xFC31FFFF, 0xFFFFFC38}, opaque,
                  cull_clear, {0xD9FFFFFF, 0x810400}},
        // No fog, texture generation on.
        StateCase{"no fog texgen", [](Material& m, Texture&) { m.flags = material_no_fog | 0x04; }, false,
                  plain_combine, opaque, cull_clear, {0xD9FFFFFF, 0x8E0400}},
        // Environment colour replaces the first primitive input, cycle 2 colour c.
        StateCase{"env textured", [](Material& m, Texture&) { m.flags = material_env_colour; }, true,
                  {0xFC127E05, 0xFFFFFDF8}, opaque, cull_clear, lit_culled},
        // Texture alpha, opaque material: alpha from texel 0, coverage times alpha.
        StateCase{"texture alpha", [](Material&, Texture& t) { t.has_alpha = 1; }, true, {0xFC127E03, 0xFFFFF3F8},
                  {0xE200001C, 0xC8113078}, cull_clear, lit_culled},
        // Texture alpha, translucent material: alpha = texel 0 x primitive.
        StateCase{"texture alpha translucent", [](Material& m, Texture& t) { t.has_alpha = 1; m.alpha = 0.5f; },
                  true, {0xFC127E03, 0xFF0FF7FF}, {0xE200001C, 0xC81059D8}, cull_clear, lit_culled},
        // Node mode: the library's combiner as it stands (cycle 1 colour 1, 2, 4, 0).
        StateCase{"nodal", [](Material& m, Texture&) { m.flags = material_nodal; m.combiner = {1, 2, 4, 0}; },
                  false, {0xFC120000, 0x20000000}, opaque, cull_clear, lit_culled}));

struct LoadCase {
    const char* what;
    uint8_t format, bit_size;
    uint16_t width, height, base_height;
    void (*extra)(Material&, Texture&);
    std::vector<Words> expected;
};
void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.what; }

class TextureLoad : public MaterialFixture, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(TextureLoad, CommandsForFormatAndSize)
{
    const LoadCase& c = GetParam();
    Material m;
    m.texture = add_texture();
    Texture& t = model.textures[0];
    t.format = c.format;
    t.bit_size = c.bit_size;
    t.out_width = c.width;
    t.out_height = c.height;
    t.base_height = c.base_height;
    t.offset = 0x800;
    t.data_size = 0x1800;  // the palette's offset
    if (c.extra != nullptr)
        c.extra(m, t);
    OutBuffer commands;
    emit_texture_load(ctx.settings, model, commands, m);
    EXPECT_EQ(read_commands(commands), c.expected);
}

constexpr Words load_sync{0xE6000000, 0}, pipe_sync{0xE7000000, 0}, no_lut{0xE3001001, 0},
    palette_lut{0xE3001001, 0x8000}, full_scale{0xD7000002, 0xFFFFFFFF};
const std::vector<Words> palette_head = {
    {0xFD100000, 0x06001800},  // palette at base + data_size
    {0xE8000000, 0},           // tile sync
    {0xF5000100, 0x07000000},  // load tile at texture memory word 256
    load_sync,
};

INSTANTIATE_TEST_SUITE_P(
    Formats, TextureLoad,
    ::testing::Values(
        LoadCase{"rgba16 texgen scale", 0, 2, 32, 32, 32,
                 [](Material& m, Texture&) {
                     m.scale_s = std::bit_cast<float>(0x3CFA00FAu);  // 2000 / 65535
                     m.scale_t = 1.5f;
                 },
                 {no_lut, {0xD7000002, 0x07D0FFFF},                 // scales 2000 and 0xFFFF
                  {0xFD100000, 0x06000800}, {0xF5100000, 0x07014050},  // texels at base + offset; masks 5, 5
                  load_sync, {0xF3000000, 0x073FF100},                 // lrs 1023, dxt 256
                  pipe_sync, {0xF5101000, 0x00014050},                 // render tile, line 8
                  {0xF2000000, 0x0007C07C}}},                          // 31.75 x 31.75
        LoadCase{"ci4 64x64", 2, 0, 64, 64, 64, nullptr,
                 std::vector<Words>{palette_lut, full_scale,
                                    {0xFD500000, 0x06000800}, {0xF5500000, 0x07018060},  // as 16-bit words; masks 6, 6
                                    load_sync, {0xF3000000, 0x073FF200},                 // lrs 1023, dxt 512
                                    pipe_sync, {0xF5400800, 0x00018060},                 // CI4 render tile, line 4
                                    {0xF2000000, 0x000FC0FC}} +
                     palette_head + std::vector<Words>{{0xF0000000, 0x0703C000}, pipe_sync}},  // 16 colours
        LoadCase{"i4 8x16", 4, 0, 8, 16, 16, nullptr,
                 {no_lut, full_scale, {0xFD900000, 0x06000800}, {0xF5900000, 0x07010030},  // masks 3, 4
                  load_sync, {0xF3000000, 0x0701F800},  // lrs 31, dxt 2048 below 16 texels
                  pipe_sync, {0xF5800200, 0x00010030},  // line 1
                  {0xF2000000, 0x0001C03C}}},
        LoadCase{"ci8 32x32", 2, 1, 32, 32, 32, nullptr,
                 std::vector<Words>{palette_lut, full_scale, {0xFD500000, 0x06000800}, {0xF5500000, 0x07014050},
                                    load_sync, {0xF3000000, 0x071FF200},  // lrs 511, dxt 512
                                    pipe_sync, {0xF5480800, 0x00014050},  // CI8 render tile, line 4
                                    {0xF2000000, 0x0007C07C}} +
                     palette_head + std::vector<Words>{{0xF0000000, 0x073FC000}, pipe_sync}},  // 256 colours
        // One 16 x 32 image of a bank stack, mirrored in S, clamped in T, scale 0.5.
        LoadCase{"ia8 bank", 3, 1, 16, 64, 32,
                 [](Material& m, Texture& t) {
                     t.mirror_s = 1;
                     t.bank_address = 0x06001000;
                     m.slots[0].wrap_v = 1;
                     m.scale_s = 0.5f;
                 },
                 {no_lut, {0xD7000002, 0x7FFFFFFF},  // 32767
                  {0xFD700000, 0x06001000},          // the bank address as it is
                  {0xF5700000, 0x07094140},          // clamp T, mask 5; mirror S, mask 4
                  load_sync, {0xF3000000, 0x070FF400},  // lrs 255, dxt 1024
                  pipe_sync, {0xF5680400, 0x00094140},  // line 2
                  {0xF2000000, 0x0003C07C}}}));

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
                                  pipe_sync, no_lut,
                                  full_scale,  // differs from texturing off
                                  {0xFD100000, 0x06000100}, {0xF5100000, 0x07014050}, load_sync,
                                  {0xF3000000, 0x073FF100}, pipe_sync, {0xF5101000, 0x00014050},
                                  {0xF2000000, 0x0007C07C},  // the untextured list has none
                                  textured_combine,
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

// Environment colour needs a primitive input among the colour inputs; alpha
// inputs do not count. Without one the run ends with the line on standard
// output and no message to show.
TEST(EnvironmentColour, MissingPrimitiveInputIsReportedOnStandardOutput)
{
    std::array<uint8_t, 16> inputs{1, 31, 4, 31, 3, 3, 3, 3, 0, 31, 4, 31, 3, 3, 3, 3};
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
