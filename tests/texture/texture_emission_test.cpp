#include <gtest/gtest.h>

#include "base/context.h"
#include "model/objex_reader.h"
#include "platform/headless.h"
#include "texture/texel_encoders.h"
#include "texture/texture_ahead.h"
#include "texture/texture_emission.h"
#include "texture/texture_samples.h"

using namespace texture_samples;

namespace {

using Bytes = std::vector<uint8_t>;

struct Emission : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;
    OutBuffer out;

    Emission()
    {
        ctx.settings.base_offset = 0x06000000;
        ctx.log.echo = nullptr;
        open_log(ctx.log, nullptr);
    }

    Texture& add(Texture texture, uint32_t force = 0xFFFFFFFF, const char* path = "sample.png")
    {
        texture.force_address = force;
        texture.path = path;
        model.textures.push_back(std::move(texture));
        return model.textures.back();
    }

    Bytes emit()
    {
        emit_textures(ctx, model, out);
        return Bytes(out.bytes.begin(), out.bytes.begin() + out.length);
    }

    std::string header() { return read_log_text(ctx.log).value_or(""); }
};

TEST_F(Emission, TexturesWithoutAddressGoOutInReverseTableOrder)
{
    add(grey_steps());      // A
    add(grey_steps(true));  // B
    EXPECT_EQ(emit(), (Bytes{
                          0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00,  // B, I4, at 0
                          0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,  // A, I4, at 8
                      }));
    EXPECT_EQ(model.textures[0].offset, 8u);
    EXPECT_EQ(model.textures[1].offset, 0u);
    EXPECT_EQ(header(), "");  // nothing published, no banner
}

TEST_F(Emission, ForcedAddressesComeFirstAndWordAlignedOnesArePublished)
{
    add(grey_steps());                                             // no address: last
    add(grey_steps(true), 0x102);                                  // ordered by value, not published
    add(three_colours(), 0x100, "textures/eye_open.png");          // first, published
    EXPECT_EQ(emit(), (Bytes{
                          0x01, 0x20, 0x12, 0x01, 0x20, 0x12, 0x01, 0x20,  // eye indices at 0
                          0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00,  // 0x102 texture at 8
                          0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,  // plain texture at 16
                          0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0x00, 0x00,  // palette area: eye's palette
                      }));
    EXPECT_EQ(model.textures[2].offset, 0u);
    EXPECT_EQ(model.textures[2].data_size, 24u);  // its palette's offset in the object
    EXPECT_EQ(header(), "\r\n/* Assembly Textures * * * */\r\n"
                        "     #define   TEX_EYE_0     0x06000000\r\n");
    // Texel addresses are not pointer words.
    EXPECT_TRUE(ctx.pointer_positions.offsets.empty());
}

TEST_F(Emission, NoBannerWithoutAWordAlignedForcedAddress)
{
    add(grey_steps(), 0x102);
    emit();
    EXPECT_EQ(header(), "");
}

struct BankStyle {
    const char* name;
    bool write_header, embed_c;
    const char* text;
};

class BankNames : public Emission, public ::testing::WithParamInterface<BankStyle> {};

TEST_P(BankNames, EveryStackedImageGetsItsLine)
{
    const BankStyle& style = GetParam();
    ctx.settings.write_header = style.write_header;
    ctx.settings.embed_c = style.embed_c;
    // Three stacked 32 x 32 bank images, 100 colours: CI8, 3072 bytes.
    Texture stack = colour_ramp(32, 96, 100);
    stack.base_height = 32;
    add(grey_steps());
    add(std::move(stack), 0x400, "tex/wood_QXBANK0x06001000_QXFORCE0x00000400.png");
    emit();
    EXPECT_EQ(model.textures[1].offset, 0u);
    EXPECT_EQ(model.textures[1].format, texel_format_ci);
    EXPECT_EQ(model.textures[1].bit_size, texel_size_8);
    EXPECT_EQ(header(), style.text);
    EXPECT_TRUE(ctx.pointer_positions.offsets.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Emission, BankNames,
    ::testing::Values(BankStyle{"Defines", true, false,
                                "\r\n/* Assembly Textures * * * */\r\n"
                                "     #define   TEX_WOOD_0     0x06000000\r\n"
                                "     #define   TEX_WOOD_1     0x06000400\r\n"
                                "     #define   TEX_WOOD_2     0x06000800\r\n"},
                      BankStyle{"CArray", true, true,
                                "\r\n/* Assembly Textures * * * */\r\n"
                                "     #define   TEX_WOOD_0     (u32)(zobj+0)\r\n"
                                "     #define   TEX_WOOD_1     (u32)(zobj+256)\r\n"
                                "     #define   TEX_WOOD_2     (u32)(zobj+512)\r\n"},
                      BankStyle{"Listing", false, false,
                                "\r\n ~ Assembly Textures ~ ~ ~ ~\r\n"
                                "     0x06000000    wood_0\r\n"
                                "     0x06000400    wood_1\r\n"
                                "     0x06000800    wood_2\r\n"}),
    [](const ::testing::TestParamInfo<BankStyle>& info) { return std::string(info.param.name); });

TEST_F(Emission, ForcedTextureHalvedBelowOneImageIsNotNamed)
{
    // Top and bottom mirror each other: 64 x 32 is kept, less than one image.
    add(make_texture(64, 64, [](int x, int y) { return motif(x, y < 32 ? y : 63 - y); }), 0x800, "tex/half.png");
    emit();
    EXPECT_EQ(model.textures[0].out_height, 32);
    EXPECT_EQ(header(), "\r\n/* Assembly Textures * * * */\r\n");
}

TEST_F(Emission, SkippedTextureIsConvertedButTakesNoBytes)
{
    add(grey_steps());                                                 // A
    add(three_colours(), 0x200, "skip_QXSKIP.png").name_flags = texture_skip;  // S
    add(grey_steps(true));                                             // B
    EXPECT_EQ(emit(), (Bytes{
                          0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00,  // B at 0
                          0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,  // A at 8
                      }));
    const Texture& skipped = model.textures[1];
    EXPECT_EQ(skipped.offset, 0u);  // where the next bytes went
    EXPECT_EQ(skipped.format, texel_format_ci);
    EXPECT_EQ(skipped.bit_size, texel_size_4);
    EXPECT_EQ(header(), "\r\n/* Assembly Textures * * * */\r\n");  // banner, but no line
}

TEST_F(Emission, SharedPalettesComeFirstInThePaletteArea)
{
    const Rgba yellow{255, 255, 0, 255}, magenta{255, 0, 255, 255};
    add(make_texture(4, 4, [&](int x, int) { return x < 2 ? yellow : magenta; }));          // own palette
    add(make_texture(4, 4, [&](int x, int) { return x % 2 ? green : red; })).palette_slot = 5;
    add(make_texture(4, 4, [&](int x, int) { return x % 2 ? red : blue; })).palette_slot = 5;
    EXPECT_EQ(emit(), (Bytes{
                          0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,  // blue/red: indices 2 0 2 0
                          0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,  // red/green: 0 1 0 1
                          0x00, 0x11, 0x00, 0x11, 0x00, 0x11, 0x00, 0x11,  // yellow/magenta: 0 0 1 1
                          0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0x00, 0x00,  // shared: red, green, blue
                          0xFF, 0xC1, 0xF8, 0x3F, 0x00, 0x00, 0x00, 0x00,  // own: yellow, magenta
                      }));
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(model.textures[i].palette_offset, 0u);
        EXPECT_EQ(model.textures[i].palette_size, 8u);
        EXPECT_EQ(model.textures[i].data_size, 24u);
    }
    EXPECT_EQ(model.textures[0].data_size, 32u);
    EXPECT_EQ(model.textures[0].offset, 16u);
}

TEST_F(Emission, SharedPaletteHas16ColoursWhenATextureLoadsMoreThan2048Texels)
{
    // A 50 x 50 bank image: 2500 texels in one load, so 4-bit indices.
    Texture big = colour_ramp(50, 50, 300);
    add(std::move(big)).palette_slot = 1;
    add(colour_ramp(8, 8, 60)).palette_slot = 1;
    emit();
    EXPECT_LE(model.textures[0].palette_size, 32u);
    EXPECT_EQ(model.textures[0].format, texel_format_ci);
    EXPECT_EQ(model.textures[0].bit_size, texel_size_4);
    EXPECT_EQ(model.textures[1].bit_size, texel_size_4);
}

TEST_F(Emission, SmallSharedTexturesKeepManyColours)
{
    add(colour_ramp(8, 8, 40)).palette_slot = 2;
    add(colour_ramp(8, 4, 30)).palette_slot = 2;
    emit();
    // Up to 255 colours: the 40 of the first texture survive at least.
    EXPECT_GE(model.textures[0].palette_size, 80u);
    EXPECT_EQ(model.textures[0].bit_size, texel_size_8);
    EXPECT_EQ(model.textures[1].bit_size, texel_size_8);
}

// Textures converted while the geometry is read must give the bytes and
// texture records of converting them at emission, also when the model
// changed after they were handed over.
struct AheadCase {
    const char* name;
    std::function<void(Model&)> after_hand_over;
};

class ConvertedAhead : public Emission, public ::testing::WithParamInterface<AheadCase> {};

TEST_P(ConvertedAhead, GivesWhatEmissionWouldGive)
{
    add(three_colours());
    add(grey_steps());
    add(colour_ramp(8, 8, 40)).palette_slot = 2;
    add(make_texture(4, 4, [](int x, int y) { return (x + y) % 2 ? red : blue; })).palette_slot = 2;
    Model plain = model;

    TexturesAhead ahead(ctx);
    for (size_t i = 0; i < model.textures.size(); ++i) {
        ahead.texture_loaded(i, model.textures[i]);
        ahead.texture_added(i, i);
    }
    GetParam().after_hand_over(model);
    emit_textures(ctx, model, out, &ahead);
    const Bytes with_ahead(out.bytes.begin(), out.bytes.begin() + out.length);

    GetParam().after_hand_over(plain);
    OutBuffer plain_out;
    emit_textures(ctx, plain, plain_out);
    EXPECT_EQ(with_ahead, Bytes(plain_out.bytes.begin(), plain_out.bytes.begin() + plain_out.length));
    EXPECT_EQ(model.textures, plain.textures);
}

INSTANTIATE_TEST_SUITE_P(
    Emission, ConvertedAhead,
    ::testing::Values(AheadCase{"Unchanged", [](Model&) {}},
                      // A later reference's name words decide.
                      AheadCase{"NameWordsChanged",
                                [](Model& m) { m.textures[0].name_flags = texture_force_rgba16; }},
                      AheadCase{"SkippedLater", [](Model& m) { m.textures[1].name_flags = texture_skip; }},
                      AheadCase{"AddedLater", [](Model& m) { m.textures.push_back(grey_steps(true)); }}),
    [](const ::testing::TestParamInfo<AheadCase>& info) { return std::string(info.param.name); });

TEST(TextureLabel, KeepsLeadingLettersAndDigitsOfTheFileName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"textures/eye_open.png", "eye"},
        {"a\\b\\LongName123.png", "LongName"},  // at most 8
        {"_x.png", "_"},                         // at least one character
        {"tex/wood_QXBANK0x06001000.png", "wood"},
        {"plain", "plain"},
    };
    for (const auto& [path, label] : cases)
        EXPECT_EQ(texture_label(path), label) << path;
}

}  // namespace

namespace {

TEST(DemoTextures, ExampleHoldsColourGreyAndAlphaTextures)
{
    HeadlessPlatform platform;
    Context ctx(platform);
    ctx.log.echo = nullptr;
    Model model;
    read_objex(ctx, TESSALOOM_SOURCE_DIR "/examples/demo/demo.objex", model);
    OutBuffer out;
    emit_textures(ctx, model, out);
    ASSERT_EQ(model.textures.size(), 3u);
    // stone: three brick colours and mortar; glow: grey levels; leaf: grey with a clear surround.
    const std::pair<uint8_t, uint8_t> formats[] = {{texel_format_ci, texel_size_4},
                                                   {texel_format_i, texel_size_4},
                                                   {texel_format_ia, texel_size_8}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(model.textures[i].format, formats[i].first) << model.textures[i].path;
        EXPECT_EQ(model.textures[i].bit_size, formats[i].second) << model.textures[i].path;
    }
}

}  // namespace
