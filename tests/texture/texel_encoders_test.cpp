#include <gtest/gtest.h>

#include <set>

#include "base/context.h"
#include "dlist/material_commands.h"
#include "platform/headless.h"
#include "texture/texel_encoders.h"
#include "texture/texture_samples.h"

using namespace texture_samples;

namespace {

using Bytes = std::vector<uint8_t>;

struct Encoders : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};
    TextureScratch scratch;

    Bytes convert(Texture& texture) { return convert_texture(ctx, scratch, texture, nullptr, 0); }
};

TEST(SnapToRgba5551, KeepsFiveBitsOfColourAndOneOfAlpha)
{
    uint8_t pixels[] = {0, 7, 8, 0, 127, 128, 132, 127, 255, 248, 31, 128};
    snap_to_rgba5551(pixels, 3, 1);
    EXPECT_EQ(Bytes(pixels, pixels + 12), (Bytes{0, 0, 8, 0,             // levels 0, 0, 1; alpha 0
                                                 123, 132, 132, 0,      // levels 15, 16, 16; 127 < 128
                                                 255, 255, 25, 255}));  // levels 31, 31, 3; 128 is opaque
}

// The bytes of every encoder are compared whole in the conversions of
// textured models; here the choices and corner cases.

TEST_F(Encoders, CI8PadsIndicesAndPaletteToEightBytes)
{
    // A bank-sized 5 x 4 texture of 20 colours: 20 index bytes padded to 24,
    // then 20 entries.
    Texture t = colour_ramp(5, 4, 20);
    const Bytes block = convert(t);
    ASSERT_EQ(block.size(), 24u + 40u);
    EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 28), (Bytes{16, 17, 18, 19, 0, 0, 0, 0,  // padding
                                                                   0x00, 0x3F,    // colour 0: (0, 0, 255)
                                                                   0x08, 0x3F}));  // colour 1: (8, 0, 255)
    EXPECT_EQ(t.data_size, 24u);
    // 99 colours: a 198-byte palette padded to 200.
    Texture big = colour_ramp(32, 32, 99);
    EXPECT_EQ(convert(big).size(), 1024u + 200u);
    EXPECT_EQ(big.bit_size, texel_size_8);
}

TEST_F(Encoders, UniformTextureEmitsNothingUnlessForced)
{
    Texture t = make_texture(8, 8, [](int, int) { return Rgba{255, 132, 0, 255}; });
    Texture forced = t;
    EXPECT_TRUE(convert(t).empty());
    EXPECT_EQ(t.is_uniform, 1);
    EXPECT_EQ(t.format, 255);
    EXPECT_EQ(t.average_colour, 0xFF8400FFu);
    // Forced texels are emitted, so the material must load them rather than
    // draw the average colour.
    forced.name_flags = texture_force_rgba16;
    EXPECT_EQ(convert(forced).size(), 128u);
    EXPECT_EQ(forced.is_uniform, 0);
    EXPECT_EQ(forced.format, texel_format_rgba);
}

// Repeat and mirror halving.
struct HalvingCase {
    const char* name;
    int w, h, base_h;
    std::function<Rgba(int, int)> pixel;
    uint16_t out_w, out_h;
    uint8_t mirror_s, mirror_t;
};

class Halving : public Encoders, public ::testing::WithParamInterface<HalvingCase> {};

TEST_P(Halving, KeepsTheHalfThatTheWrapRebuilds)
{
    const HalvingCase& c = GetParam();
    Texture t = make_texture(c.w, c.h, c.pixel);
    t.base_height = static_cast<uint16_t>(c.base_h);
    convert(t);
    EXPECT_EQ(t.out_width, c.out_w);
    EXPECT_EQ(t.out_height, c.out_h);
    EXPECT_EQ(t.mirror_s, c.mirror_s);
    EXPECT_EQ(t.mirror_t, c.mirror_t);
    EXPECT_EQ(t.shift_s + t.shift_t, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, Halving,
    ::testing::Values(
        // Right half mirrors the left in both rows of quadrants; top and bottom differ.
        HalvingCase{"MirrorS", 64, 64, 64, [](int x, int y) { return motif(x < 32 ? x : 63 - x, y); }, 32, 64, 1, 0},
        HalvingCase{"RepeatBoth", 64, 64, 64, [](int x, int y) { return motif(x % 32, y % 32); }, 32, 32, 0, 0},
        HalvingCase{"MirrorT", 32, 64, 64, [](int x, int y) { return motif(x, y < 32 ? y : 63 - y); }, 32, 32, 0, 1},
        HalvingCase{"MirrorBoth", 64, 32, 32,
                    [](int x, int y) { return motif(x < 32 ? x : 63 - x, y < 16 ? y : 31 - y); }, 32, 16, 1, 1},
        // A side of 16, or 256 texels in all, is never halved.
        HalvingCase{"NarrowSide", 16, 64, 64, [](int x, int y) { return motif(x % 8, y % 32); }, 16, 64, 0, 0},
        HalvingCase{"Small", 16, 16, 16, [](int x, int y) { return motif(x % 8, y); }, 16, 16, 0, 0},
        // Top row of quadrants repeats, bottom row mirrors: no S halving.
        HalvingCase{"RowsDisagree", 64, 64, 64,
                    [](int x, int y) { return y < 32 ? motif(x % 32, y) : motif(x < 32 ? x : 63 - x, y); }, 64,
                    64, 0, 0},
        // An odd-width bank image: the quadrants miss the last column, which
        // differs between the top and bottom halves.
        HalvingCase{"OddWidthLastColumnDiffers", 33, 32, 32,
                    [](int x, int y) { return x < 32 ? motif(x, y % 16) : colour(y); }, 33, 32, 0, 0},
        // Two stacked bank images: the repeat is real content.
        HalvingCase{"BankStack", 32, 64, 32, [](int x, int y) { return motif(x, y % 32); }, 32, 64, 0, 0}),
    [](const ::testing::TestParamInfo<HalvingCase>& info) { return std::string(info.param.name); });

// Format choice by content and size.
struct FormatCase {
    const char* name;
    std::function<Texture()> make;
    bool tiny;
    uint8_t format, bit_size;
    uint16_t out_w, out_h;
    uint32_t data_size;
    uint8_t shift_s, shift_t;
};

class FormatChoice : public Encoders, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatChoice, PicksTheFormatAndFitsTextureMemory)
{
    const FormatCase& c = GetParam();
    ctx.settings.tiny_textures = c.tiny;
    Texture t = c.make();
    const Bytes block = convert(t);
    EXPECT_EQ(t.format, c.format);
    EXPECT_EQ(t.bit_size, c.bit_size);
    EXPECT_EQ(t.out_width, c.out_w);
    EXPECT_EQ(t.out_height, c.out_h);
    EXPECT_EQ(t.data_size, c.data_size);
    EXPECT_EQ(t.shift_s, c.shift_s);
    EXPECT_EQ(t.shift_t, c.shift_t);
    if (t.format == texel_format_ci && t.bit_size == texel_size_4) {
        // Every index names an entry of the appended palette.
        const size_t entries = (block.size() - t.data_size) / 2;
        for (size_t i = 0; i < t.data_size; ++i)
            ASSERT_LT(static_cast<size_t>(std::max(block[i] >> 4, block[i] & 15)), entries) << i;
    }
}

Texture forced(Texture t)
{
    t.name_flags = texture_force_rgba16;
    return t;
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, FormatChoice,
    ::testing::Values(
        FormatCase{"Grey20Levels", [] { return grey_ramp(32, 32, 20); }, false, 4, 1, 32, 32, 1024, 0, 0},
        FormatCase{"Grey10Levels", [] { return grey_ramp(32, 32, 10); }, false, 4, 0, 32, 32, 512, 0, 0},
        // 8192 greyscale texels fit as 4-bit intensity.
        FormatCase{"Grey128x64", [] { return grey_ramp(128, 64, 30); }, false, 4, 0, 128, 64, 4096, 0, 0},
        FormatCase{"GreyAlpha10", [] { return grey_ramp(32, 32, 10, true); }, false, 3, 1, 32, 32, 1024, 0, 0},
        FormatCase{"GreyAlpha20", [] { return grey_ramp(32, 32, 20, true); }, false, 3, 2, 32, 32, 2048, 0, 0},
        // 4096 texels with alpha would be 8 KB as IA16: IA8 instead.
        FormatCase{"GreyAlpha64x64", [] { return grey_ramp(64, 64, 20, true); }, false, 3, 1, 64, 64, 4096, 0, 0},
        FormatCase{"Colour32x32With100", [] { return colour_ramp(32, 32, 100); }, false, 2, 1, 32, 32, 1024, 0, 0},
        FormatCase{"Colour64x64With100", [] { return colour_ramp(64, 64, 100); }, false, 2, 0, 64, 64, 2048, 0, 0},
        // Many colours at 4096 texels: 8-bit indices would leave no room for
        // the palette, so 16 colours.
        FormatCase{"Colour64x64With300", [] { return colour_ramp(64, 64, 300); }, false, 2, 0, 64, 64, 2048, 0, 0},
        FormatCase{"Colour32x64With300", [] { return colour_ramp(32, 64, 300); }, false, 2, 1, 32, 64, 2048, 0, 0},
        // Halved to fit, each halving counted: 16384 texels become 4096.
        FormatCase{"Colour128x128", [] { return colour_ramp(128, 128, 100); }, false, 2, 0, 64, 64, 2048, 1, 1},
        FormatCase{"Colour64x512", [] { return colour_ramp(64, 512, 100); }, false, 2, 0, 16, 256, 2048, 2, 1},
        FormatCase{"Grey256x128", [] { return grey_ramp(256, 128, 30); }, false, 4, 0, 128, 64, 4096, 1, 1},
        FormatCase{"TinyColour", [] { return colour_ramp(8, 4, 30); }, true, 2, 0, 8, 4, 16, 0, 0},
        FormatCase{"ForcedFits", [] { return forced(colour_ramp(32, 32, 100)); }, false, 0, 2, 32, 32, 2048, 0, 0},
        FormatCase{"ForcedTooLarge", [] { return forced(colour_ramp(64, 64, 100)); }, false, 2, 0, 64, 64, 2048, 0,
                   0}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(Encoders, TexelsWithoutAnEntryTakeTheNearest)
{
    // Two colours split on the diagonal; halving 128 x 128 blends the border
    // into colours that the two-entry palette does not hold.
    Texture t = make_texture(128, 128, [&](int x, int y) { return x + y < 100 ? red : blue; });
    const Bytes block = convert(t);
    ASSERT_EQ(block.size(), 2048u + 8u);
    EXPECT_EQ(Bytes(block.begin() + 2048, block.end()), (Bytes{0xF8, 0x01, 0x00, 0x3F, 0, 0, 0, 0}));
    std::set<int> indices;
    for (size_t i = 0; i < 2048; ++i)
        indices.insert({block[i] >> 4, block[i] & 15});
    EXPECT_EQ(indices, (std::set<int>{0, 1}));

    // A shared palette of blue, red, green and padding; dark red is not in it.
    const uint8_t palette[8] = {0x00, 0x3F, 0xF8, 0x01, 0x07, 0xC1, 0x00, 0x00};
    Texture s = make_texture(4, 4, [&](int x, int) { return x == 0 ? red : x == 1 ? green : Rgba{200, 0, 0, 255}; });
    // 4-bit indices 1, 2, 1, 1 a row; no palette appended.
    EXPECT_EQ(convert_texture(ctx, scratch, s, palette, sizeof palette),
              (Bytes{0x12, 0x11, 0x12, 0x11, 0x12, 0x11, 0x12, 0x11}));
}

TEST_F(Encoders, HalvedTextureLoadShiftsCoordinatesBack)
{
    // 128 x 128 halved once each way to 64 x 64 CI4: texture coordinates
    // still count 128 texels, so both tiles shift S and T by one.
    Model model;
    model.textures.push_back(colour_ramp(128, 128, 100));
    convert(model.textures[0]);
    Material m;
    m.texture = 0;
    OutBuffer commands;
    emit_texture_load(ctx.settings, model, commands, m);
    ASSERT_EQ(commands.length, 15u * 8u);                      // nine load commands, six for the palette
    EXPECT_EQ(ob_read_u32(commands, 3 * 8 + 4), 0x07018461u);  // load tile: masks 6, 6; shifts 1 (bit 10), 1 (bit 0)
    EXPECT_EQ(ob_read_u32(commands, 7 * 8 + 4), 0x00018461u);  // render tile
    // Not shrunk: shifts 0.
    model.textures[0] = colour_ramp(64, 64, 100);
    convert(model.textures[0]);
    OutBuffer again;
    emit_texture_load(ctx.settings, model, again, m);
    EXPECT_EQ(ob_read_u32(again, 3 * 8 + 4), 0x07018060u);
}

}  // namespace
