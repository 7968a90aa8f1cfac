#include <gtest/gtest.h>

#include <set>

#include "dlist/material_commands.h"
#include "driver/context.h"
#include "platform/platform.h"
#include "texture/texel_encoders.h"
#include "texture/texture_samples.h"

using namespace texture_samples;

namespace {

struct Encoders : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};

    std::vector<uint8_t> convert(Texture& texture) { return convert_texture(ctx, texture, nullptr, 0); }
};

using Bytes = std::vector<uint8_t>;

TEST(SnapToRgba5551, KeepsFiveBitsOfColourAndOneOfAlpha)
{
    uint8_t pixels[] = {0, 7, 8, 0, 127, 128, 132, 127, 255, 248, 31, 128};
    snap_to_rgba5551(pixels, 3, 1);
    EXPECT_EQ(Bytes(pixels, pixels + 12), (Bytes{0, 0, 8, 0,               // levels 0, 0, 1; alpha 0
                                                 123, 132, 132, 0,        // levels 15, 16, 16; 127 < 128
                                                 255, 255, 25, 255}));    // levels 31, 31, 3; 128 is opaque
}

// Whole blocks of tiny textures, one per encoder.
TEST_F(Encoders, I4PacksTwoIntensitiesAByte)
{
    // 16 grey levels, each given at the top of its 5-bit bucket (8k + 7).
    Texture t = make_texture(4, 4, [](int x, int y) {
        const uint8_t v = static_cast<uint8_t>(8 * (y * 4 + x) + 7);
        return Rgba{v, v, v, 255};
    });
    const Bytes block = convert(t);
    // Levels 0..15 expand to 0, 8, 16, 25, 33, ... 123; high nibbles pair up.
    EXPECT_EQ(block, (Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    EXPECT_EQ(t.format, texel_format_i);
    EXPECT_EQ(t.bit_size, texel_size_4);
    EXPECT_EQ(t.data_size, 8u);
    EXPECT_EQ(t.has_alpha, 0);
    EXPECT_EQ(t.is_uniform, 0);
}

TEST_F(Encoders, I8KeepsTheIntensityByte)
{
    Texture t = make_texture(8, 4, [](int x, int y) {
        const uint8_t v = static_cast<uint8_t>(8 * (y * 8 + x) + 7);
        return Rgba{v, v, v, 255};
    });
    const Bytes block = convert(t);
    // 32 levels: more than 16, so 8-bit; each byte the expanded level.
    EXPECT_EQ(block, (Bytes{0x00, 0x08, 0x10, 0x19, 0x21, 0x29, 0x31, 0x3A, 0x42, 0x4A, 0x52,
                            0x5A, 0x63, 0x6B, 0x73, 0x7B, 0x84, 0x8C, 0x94, 0x9C, 0xA5, 0xAD,
                            0xB5, 0xBD, 0xC5, 0xCE, 0xD6, 0xDE, 0xE6, 0xEF, 0xF7, 0xFF}));
    EXPECT_EQ(t.format, texel_format_i);
    EXPECT_EQ(t.bit_size, texel_size_8);
}

TEST_F(Encoders, IA8PacksIntensityAndAlphaNibbles)
{
    // Level i, alpha 200 (opaque) on even texels and 100 (clear) on odd ones.
    Texture t = make_texture(4, 4, [](int x, int y) {
        const int i = y * 4 + x;
        return grey(i, i % 2 ? 100 : 200);
    });
    const Bytes block = convert(t);
    // (intensity & 0xF0) | alpha >> 4.
    EXPECT_EQ(block, (Bytes{0x0F, 0x00, 0x1F, 0x10, 0x2F, 0x20, 0x3F, 0x30,  //
                            0x4F, 0x40, 0x5F, 0x50, 0x6F, 0x60, 0x7F, 0x70}));
    EXPECT_EQ(t.format, texel_format_ia);
    EXPECT_EQ(t.bit_size, texel_size_8);
    EXPECT_EQ(t.has_alpha, 1);
}

TEST_F(Encoders, IA16KeepsIntensityThenAlpha)
{
    Texture t = make_texture(8, 4, [](int x, int y) {
        const int i = y * 8 + x;
        return grey(i, i % 2 ? 0 : 255);
    });
    const Bytes block = convert(t);
    // 32 keys: more than 16, so two bytes a texel: intensity, alpha.
    ASSERT_EQ(block.size(), 64u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 8), (Bytes{0x00, 0xFF, 0x08, 0x00, 0x10, 0xFF, 0x19, 0x00}));
    EXPECT_EQ(Bytes(block.end() - 4, block.end()), (Bytes{0xF7, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(t.format, texel_format_ia);
    EXPECT_EQ(t.bit_size, texel_size_16);
    EXPECT_EQ(t.data_size, 64u);
}

TEST_F(Encoders, CI4IndexesItsOwnPaletteInOrderOfFirstUse)
{
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};
    Texture t = make_texture(4, 4, [&](int x, int y) {
        const int i = y * 4 + x;
        return i % 3 == 0 ? red : i % 3 == 1 ? green : blue;
    });
    const Bytes block = convert(t);
    EXPECT_EQ(block, (Bytes{
                         0x01, 0x20, 0x12, 0x01, 0x20, 0x12, 0x01, 0x20,  // indices 0 1 2 0 1 2 ..., two a byte
                         0xF8, 0x01,                                      // red 5551
                         0x07, 0xC1,                                      // green
                         0x00, 0x3F,                                      // blue
                         0x00, 0x00,                                      // palette padded to 8 bytes
                     }));
    EXPECT_EQ(t.format, texel_format_ci);
    EXPECT_EQ(t.bit_size, texel_size_4);
    EXPECT_EQ(t.data_size, 8u);  // the indices only
}

TEST_F(Encoders, CI8PadsIndicesAndPaletteToEightBytes)
{
    // A bank-sized 5 x 4 texture with 20 colours: 20 index bytes, 20 entries.
    Texture t = colour_ramp(5, 4, 20);
    const Bytes block = convert(t);
    ASSERT_EQ(block.size(), 24u + 40u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(block[static_cast<size_t>(i)], i) << i;
    EXPECT_EQ(Bytes(block.begin() + 20, block.begin() + 24), (Bytes{0, 0, 0, 0}));  // padding
    // Colour 0 is (0, 0, 255) opaque: 0x003F; colour 1 is (8, 0, 255): 0x083F.
    EXPECT_EQ(Bytes(block.begin() + 24, block.begin() + 28), (Bytes{0x00, 0x3F, 0x08, 0x3F}));
    EXPECT_EQ(t.format, texel_format_ci);
    EXPECT_EQ(t.bit_size, texel_size_8);
    EXPECT_EQ(t.data_size, 24u);

    // 99 colours in 32 x 32: 1024 index bytes, a 198-byte palette padded to 200.
    Texture big = colour_ramp(32, 32, 99);
    const Bytes big_block = convert(big);
    EXPECT_EQ(big.data_size, 1024u);
    ASSERT_EQ(big_block.size(), 1024u + 200u);
    EXPECT_EQ(big_block[1023], 1023 % 99);
    // Colour 98 is (level 2, level 3, 255): 2 << 11 | 3 << 6 | 31 << 1 | 1.
    EXPECT_EQ(big_block[1024 + 196], 0x10);
    EXPECT_EQ(big_block[1024 + 197], 0xFF);
    EXPECT_EQ(big_block[1024 + 198], 0);
    EXPECT_EQ(big_block[1024 + 199], 0);
}

TEST_F(Encoders, ForcedRgba16WritesFiveFiveFiveOne)
{
    const Rgba red{255, 0, 0, 255}, clear{0, 0, 0, 0}, mixed{8, 16, 255, 127};
    Texture t = make_texture(4, 4, [&](int x, int y) {
        const int i = y * 4 + x;
        return i % 3 == 0 ? red : i % 3 == 1 ? clear : mixed;
    });
    t.name_flags = texture_force_rgba16;
    const Bytes block = convert(t);
    ASSERT_EQ(block.size(), 32u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 8),
              (Bytes{0xF8, 0x01,    // red, opaque
                     0x00, 0x00,    // clear black
                     0x08, 0xBE,    // 1 << 11 | 2 << 6 | 31 << 1, alpha 127 is clear
                     0xF8, 0x01}));  // red again
    EXPECT_EQ(t.format, texel_format_rgba);
    EXPECT_EQ(t.bit_size, texel_size_16);
    EXPECT_EQ(t.data_size, 32u);
    EXPECT_EQ(t.has_alpha, 1);
}

TEST_F(Encoders, UniformTextureEmitsNothingAndKeepsItsColour)
{
    Texture t = make_texture(8, 8, [](int, int) { return Rgba{255, 132, 0, 255}; });
    EXPECT_TRUE(convert(t).empty());
    EXPECT_EQ(t.is_uniform, 1);
    EXPECT_EQ(t.data_size, 0u);
    EXPECT_EQ(t.format, 255);
    EXPECT_EQ(t.bit_size, 255);
    EXPECT_EQ(t.average_colour, 0xFF8400FFu);
}

TEST_F(Encoders, ForcedUniformTextureIsLoadedAsRgba16)
{
    // Forced texels are emitted, so the material must load them rather than
    // draw the average colour.
    Texture t = make_texture(8, 8, [](int, int) { return Rgba{255, 0, 0, 255}; });
    t.name_flags = texture_force_rgba16;
    const Bytes block = convert(t);
    EXPECT_EQ(block.size(), 128u);
    EXPECT_EQ(t.is_uniform, 0);
    EXPECT_EQ(t.format, texel_format_rgba);
}

TEST_F(Encoders, AverageColourHalvesTowardsEachLaterTexel)
{
    // Texels 0, 255, 255 of red: (0 + 255) >> 1 = 127, (127 + 255) >> 1 = 191.
    Texture t = make_texture(4, 4, [](int x, int y) {
        const int i = y * 4 + x;
        return Rgba{static_cast<uint8_t>(i == 0 ? 0 : 255), 0, static_cast<uint8_t>(i == 15 ? 8 : 0), 255};
    });
    convert(t);
    // Red reaches 254 after 15 halvings toward 255; blue only moves at the
    // last texel: (0 + 8) >> 1 = 4; alpha stays 255.
    EXPECT_EQ(t.average_colour, 0xFE0004FFu);
}

// Repeat and mirror halving.
struct HalvingCase {
    const char* name;
    int w, h;
    std::function<Rgba(int, int)> pixel;
    uint16_t out_w, out_h;
    uint8_t mirror_s, mirror_t;
};

class Halving : public Encoders, public ::testing::WithParamInterface<HalvingCase> {};

TEST_P(Halving, KeepsTheHalfThatTheWrapRebuilds)
{
    const HalvingCase& c = GetParam();
    Texture t = make_texture(c.w, c.h, c.pixel);
    convert(t);
    EXPECT_EQ(t.out_width, c.out_w);
    EXPECT_EQ(t.out_height, c.out_h);
    EXPECT_EQ(t.mirror_s, c.mirror_s);
    EXPECT_EQ(t.mirror_t, c.mirror_t);
    EXPECT_EQ(t.shift_s, 0);
    EXPECT_EQ(t.shift_t, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, Halving,
    ::testing::Values(
        // Right half mirrors the left in both rows of quadrants; top and bottom differ.
        HalvingCase{"MirrorS", 64, 64, [](int x, int y) { return motif(x < 32 ? x : 63 - x, y); }, 32, 64, 1, 0},
        // Four identical tiles: kept as one, repeated.
        HalvingCase{"RepeatBoth", 64, 64, [](int x, int y) { return motif(x % 32, y % 32); }, 32, 32, 0, 0},
        HalvingCase{"MirrorT", 32, 64, [](int x, int y) { return motif(x, y < 32 ? y : 63 - y); }, 32, 32, 0, 1},
        HalvingCase{"MirrorBoth", 64, 32,
                    [](int x, int y) { return motif(x < 32 ? x : 63 - x, y < 16 ? y : 31 - y); }, 32, 16, 1, 1},
        // A side of 16 is never halved.
        HalvingCase{"NarrowSide", 16, 64, [](int x, int y) { return motif(x % 8, y % 32); }, 16, 64, 0, 0},
        // Top row of quadrants repeats, bottom row mirrors: no S halving.
        HalvingCase{"RowsDisagree", 64, 64,
                    [](int x, int y) { return y < 32 ? motif(x % 32, y) : motif(x < 32 ? x : 63 - x, y); }, 64,
                    64, 0, 0},
        // 16 x 16 = 256 texels is too small to bother.
        HalvingCase{"Small", 16, 16, [](int x, int y) { return motif(x % 8, y); }, 16, 16, 0, 0}),
    [](const ::testing::TestParamInfo<HalvingCase>& info) { return std::string(info.param.name); });

TEST_F(Encoders, StackOfBankImagesIsNotHalved)
{
    // Two identical 32 x 32 images stacked: the texture is taller than one
    // image, so the repeat is real content.
    Texture t = make_texture(32, 64, [](int x, int y) { return motif(x, y % 32); });
    t.base_height = 32;
    convert(t);
    EXPECT_EQ(t.out_width, 32);
    EXPECT_EQ(t.out_height, 64);
}

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

TEST_P(FormatChoice, PicksTheFormatAndSize)
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
    // What one load puts into texture memory, beside its palette for CI.
    const uint32_t texel_bytes = t.data_size;
    if (t.format == texel_format_ci)
        EXPECT_LE(texel_bytes, 2048u);
    else
        EXPECT_LE(texel_bytes, 4096u);
    if (t.format == texel_format_ci && t.bit_size == texel_size_4) {
        // Every index names an entry of the appended palette.
        const size_t entries = (block.size() - t.data_size) / 2;
        for (size_t i = 0; i < t.data_size; ++i) {
            ASSERT_LT(static_cast<size_t>(block[i] >> 4), entries) << i;
            ASSERT_LT(static_cast<size_t>(block[i] & 15), entries) << i;
        }
    }
}

static Texture forced(Texture t)
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
        FormatCase{"GreyAlpha10Levels", [] { return grey_ramp(32, 32, 10, true); }, false, 3, 1, 32, 32, 1024, 0,
                   0},
        FormatCase{"GreyAlpha20Levels", [] { return grey_ramp(32, 32, 20, true); }, false, 3, 2, 32, 32, 2048, 0,
                   0},
        // 4096 texels with alpha would be 8 KB as IA16: IA8 instead.
        FormatCase{"GreyAlpha64x64", [] { return grey_ramp(64, 64, 20, true); }, false, 3, 1, 64, 64, 4096, 0, 0},
        FormatCase{"Colour32x32With100", [] { return colour_ramp(32, 32, 100); }, false, 2, 1, 32, 32, 1024, 0, 0},
        FormatCase{"Colour64x64With100", [] { return colour_ramp(64, 64, 100); }, false, 2, 0, 64, 64, 2048, 0, 0},
        // Many colours at 4096 texels: 8-bit indices would leave no room for
        // the palette, so 16 colours.
        FormatCase{"Colour64x64With300", [] { return colour_ramp(64, 64, 300); }, false, 2, 0, 64, 64, 2048, 0, 0},
        FormatCase{"Colour32x64With300", [] { return colour_ramp(32, 64, 300); }, false, 2, 1, 32, 64, 2048, 0, 0},
        // Halved to fit: 16384 texels become 4096, each side halved once.
        FormatCase{"Colour128x128", [] { return colour_ramp(128, 128, 100); }, false, 2, 0, 64, 64, 2048, 1, 1},
        // 64 x 512: width, height, width again.
        FormatCase{"Colour64x512", [] { return colour_ramp(64, 512, 100); }, false, 2, 0, 16, 256, 2048, 2, 1},
        // 32768 greyscale texels down to 8192.
        FormatCase{"Grey256x128", [] { return grey_ramp(256, 128, 30); }, false, 4, 0, 128, 64, 4096, 1, 1},
        FormatCase{"TinyColour", [] { return colour_ramp(8, 4, 30); }, true, 2, 0, 8, 4, 16, 0, 0},
        FormatCase{"ForcedFits", [] { return forced(colour_ramp(32, 32, 100)); }, false, 0, 2, 32, 32, 2048, 0, 0},
        FormatCase{"ForcedTooLarge", [] { return forced(colour_ramp(64, 64, 100)); }, false, 2, 0, 64, 64, 2048, 0,
                   0}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(Encoders, ForcedTextureTooLargeLosesItsFlag)
{
    Texture t = forced(colour_ramp(64, 64, 100));
    convert(t);
    EXPECT_EQ(t.name_flags & texture_force_rgba16, 0);
}

TEST_F(Encoders, ResampledColoursMapToTheNearestEntry)
{
    // Two colours split on the diagonal; halving 128 x 128 blends the border
    // into colours that the two-entry palette does not hold.
    const Rgba red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    Texture t = make_texture(128, 128, [&](int x, int y) { return x + y < 100 ? red : blue; });
    const Bytes block = convert(t);
    ASSERT_EQ(t.format, texel_format_ci);
    ASSERT_EQ(t.bit_size, texel_size_4);
    ASSERT_EQ(block.size(), 2048u + 8u);
    EXPECT_EQ(Bytes(block.begin() + 2048, block.end()), (Bytes{0xF8, 0x01, 0x00, 0x3F, 0, 0, 0, 0}));
    std::set<int> indices;
    for (size_t i = 0; i < 2048; ++i) {
        indices.insert(block[i] >> 4);
        indices.insert(block[i] & 15);
    }
    EXPECT_EQ(indices, (std::set<int>{0, 1}));
    EXPECT_EQ(block[0] >> 4, 0);        // top left stays red
    EXPECT_EQ(block[2047] & 15, 1);     // bottom right stays blue
}

TEST_F(Encoders, SharedPaletteIsIndexedAsGiven)
{
    // Palette: blue, red, then green; the texture uses red and green and a
    // dark red that the palette lacks (nearest: red).
    const uint8_t palette[8] = {0x00, 0x3F, 0xF8, 0x01, 0x07, 0xC1, 0x00, 0x00};
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, dark{200, 0, 0, 255};
    Texture t = make_texture(4, 4, [&](int x, int) { return x == 0 ? red : x == 1 ? green : dark; });
    const Bytes block = convert_texture(ctx, t, palette, sizeof palette);
    // Four entries: 4-bit indices 1, 2, 1, 1 a row; no palette appended.
    EXPECT_EQ(block, (Bytes{0x12, 0x11, 0x12, 0x11, 0x12, 0x11, 0x12, 0x11}));
    EXPECT_EQ(t.format, texel_format_ci);
    EXPECT_EQ(t.data_size, 8u);
}

}  // namespace

namespace {

TEST_F(Encoders, HalvedTextureLoadShiftsCoordinatesBack)
{
    // 128 x 128 halved once each way to 64 x 64 CI4: texture coordinates
    // still count 128 texels, so both tiles shift S and T by one.
    Model model;
    model.textures.push_back(colour_ramp(128, 128, 100));
    Texture& t = model.textures[0];
    convert(t);
    ASSERT_EQ(t.shift_s, 1);
    ASSERT_EQ(t.shift_t, 1);
    Material m;
    m.texture = 0;
    OutBuffer commands;
    emit_texture_load(ctx.settings, model, commands, m);
    ASSERT_EQ(commands.length, 15u * 8u);  // nine load commands, six for the palette
    EXPECT_EQ(ob_read_u32(commands, 3 * 8), 0xF5500000u);      // load tile, CI as 16-bit words
    EXPECT_EQ(ob_read_u32(commands, 3 * 8 + 4), 0x07018461u);  // masks 6, 6; shifts 1 (bit 10) and 1 (bit 0)
    EXPECT_EQ(ob_read_u32(commands, 7 * 8), 0xF5400800u);      // render tile, line 4
    EXPECT_EQ(ob_read_u32(commands, 7 * 8 + 4), 0x00018461u);

    // Not shrunk: the shift fields stay 0.
    Texture& plain = model.textures[0] = colour_ramp(64, 64, 100);
    convert(plain);
    OutBuffer again;
    emit_texture_load(ctx.settings, model, again, m);
    EXPECT_EQ(ob_read_u32(again, 3 * 8 + 4), 0x07018060u);
}

}  // namespace
