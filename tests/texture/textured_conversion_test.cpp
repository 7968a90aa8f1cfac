#include <gtest/gtest.h>

#include <stb_image_write.h>

#include "support/test_support.h"
#include "texture/texture_samples.h"

using namespace texture_samples;

namespace {

using Bytes = std::vector<uint8_t>;

// A pair of command words, or any two 32-bit words of the object.
struct Words {
    uint32_t w0, w1;
};

void put(Bytes& bytes, std::initializer_list<Words> words)
{
    for (const Words& w : words)
        for (uint32_t word : {w.w0, w.w1})
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes.push_back(static_cast<uint8_t>(word >> shift));
}

void write_png(const std::filesystem::path& path, int w, int h, const std::function<Rgba(int, int)>& pixel)
{
    Bytes pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba p = pixel(x, y);
            pixels.insert(pixels.end(), p.begin(), p.end());
        }
    ASSERT_NE(stbi_write_png(path.string().c_str(), w, h, 4, pixels.data(), w * 4), 0);
}

// One textured triangle in group "head": (0,0,0) (1,0,0) (0,1,0), texture
// coordinates (0,0) (1,0) (0,1), normal +Z.
void write_model(const TempDir& dir, const std::string& image)
{
    write_file(dir / "m.objex", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\n"
                                "g head\nusemtl skin\nf 1/1/1 2/2/1 3/3/1\n");
    write_file(dir / "m.mtl", "newmtl skin\nmap_Kd " + image + "\n");
}

struct FormatCase {
    const char* name;
    const char* file;
    int w, h;
    std::function<Rgba(int, int)> pixel;
    Bytes texels;        // what the texture puts at offset 0
    Bytes palette;       // the palette area right after it
    bool palette_256;    // an 8-bit index palette load
    uint32_t lut;        // texture look-up table mode
    std::vector<Words> load;  // the seven texel load commands
    uint32_t combine_w1;
    uint32_t render_mode;
};

class TexturedConversion : public ::testing::TestWithParam<FormatCase> {};

TEST_P(TexturedConversion, WholeObjectAndHeader)
{
    const FormatCase& c = GetParam();
    TempDir dir;
    write_png(dir / c.file, c.w, c.h, c.pixel);
    write_model(dir, c.file);
    const ProcessResult r = run_tessaloom({"object", "m.objex", "m.zobj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;

    Bytes expected = c.texels;
    const uint32_t palette_at = static_cast<uint32_t>(expected.size());
    expected.insert(expected.end(), c.palette.begin(), c.palette.end());
    expected.resize((expected.size() + 7) & ~size_t{7}, 0);
    const uint32_t vertices_at = static_cast<uint32_t>(expected.size());
    const uint32_t s = static_cast<uint32_t>(c.w * 32), t = static_cast<uint32_t>(c.h * 32);
    put(expected, {{0x00000000, 0x0000FF00}, {0x00000000 | t, 0x00007FFF},  // (0,0,0), s 0, t = h texels
                   {0x04000000, 0x0000FF00}, {s << 16 | t, 0x00007FFF},     // (1024,0,0), s = w, t = h texels
                   {0x00000400, 0x0000FF00}, {0x00000000, 0x00007FFF}});    // (0,1024,0), s 0, t 0
    const uint32_t list_at = static_cast<uint32_t>(expected.size());
    put(expected, {{0xE7000000, 0}, {0xE3001001, c.lut}, {0xD7000002, 0xFFFFFFFF}});  // sync, lut, scale 1.0
    for (const Words& w : c.load)
        put(expected, {w});
    if (!c.palette.empty())
        put(expected, {{0xFD100000, 0x06000000 | palette_at},              // palette image
                       {0xE8000000, 0},                                    // tile sync
                       {0xF5000100, 0x07000000},                           // load tile at word 256
                       {0xE6000000, 0},                                    // load sync
                       {0xF0000000, c.palette_256 ? 0x073FC000u : 0x0703C000u},  // 256 or 16 colours
                       {0xE7000000, 0}});
    put(expected, {{0xFC127E03, c.combine_w1},          // texel x shade, then x primitive
                   {0xE200001C, c.render_mode},         // opaque
                   {0xD9F1FFFF, 0},                     // clear lighting, texture generation
                   {0xD9FFFFFF, 0x00830400},            // clipping, fog, lighting, culling
                   {0xFA000000, 0xFFFFFFFF},            // white
                   {0x01003006, 0x06000000 | vertices_at},  // three vertices
                   {0x05000204, 0},                     // one triangle
                   {0xDF000000, 0}});
    expected.resize((expected.size() + 15) & ~size_t{15}, 0);

    const std::string object = read_file(dir / "m.zobj");
    EXPECT_EQ(Bytes(object.begin(), object.end()), expected);
    char dl[64];
    std::snprintf(dl, sizeof dl, "     #define   DL_HEAD     0x06%06X\r\n", list_at);
    EXPECT_EQ(read_file(dir / "obj.h"), std::string("\r\n/* Display Lists * * * */\r\n") + dl +
                                            "\r\n/* Collisions * * * */\r\n\r\n/* Base Offset: 0x06000000 */\r\n");
}

constexpr Words load_sync{0xE6000000, 0}, pipe_sync{0xE7000000, 0};
constexpr uint32_t opaque = 0xC8112078, opaque_texture_alpha = 0xC8113078;
constexpr uint32_t shade_combine = 0xFFFFFDF8, texel_alpha_combine = 0xFFFFF3F8;  // cycle 1 alpha d: one, texel
Bytes levels(int count)
{
    Bytes bytes;
    for (int k = 0; k < count; ++k)
        bytes.push_back(level(k));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TexturedConversion,
    ::testing::Values(
        FormatCase{"CI4", "skin.png", 4, 4, three_colours_at,
                   {0x01, 0x20, 0x12, 0x01, 0x20, 0x12, 0x01, 0x20},              // indices 0 1 2 0 1 2 ...
                   {0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0x00, 0x00}, false,       // red, green, blue
                   0x8000,
                   {{0xFD500000, 0x06000000},                                     // CI texels as 16-bit words
                    {0xF5500000, 0x07008020}, load_sync,                          // load tile, masks 2, 2
                    {0xF3000000, 0x07003800}, pipe_sync,                          // lrs 3, dxt 2048
                    {0xF5400200, 0x00008020},                                     // CI4 render tile, line 1
                    {0xF2000000, 0x0000C00C}},                                    // 3.0 x 3.0
                   shade_combine, opaque},
        FormatCase{"CI8", "skin.png", 8, 4, [](int x, int y) { return colour((y * 8 + x) % 20); },
                   {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 1, 2, 3, 4, 5, 6, 7, 8,
                    9, 10, 11},
                   // Colour k is (level k, 0, 255): k << 11 | 31 << 1 | 1.
                   {0x00, 0x3F, 0x08, 0x3F, 0x10, 0x3F, 0x18, 0x3F, 0x20, 0x3F, 0x28, 0x3F, 0x30, 0x3F, 0x38, 0x3F,
                    0x40, 0x3F, 0x48, 0x3F, 0x50, 0x3F, 0x58, 0x3F, 0x60, 0x3F, 0x68, 0x3F, 0x70, 0x3F, 0x78, 0x3F,
                    0x80, 0x3F, 0x88, 0x3F, 0x90, 0x3F, 0x98, 0x3F},
                   true, 0x8000,
                   {{0xFD500000, 0x06000000}, {0xF5500000, 0x07008030}, load_sync,  // masks 3, 2
                    {0xF3000000, 0x0700F800}, pipe_sync,                            // lrs 15, dxt 2048
                    {0xF5480200, 0x00008030},                                       // CI8 render tile, line 1
                    {0xF2000000, 0x0001C00C}},                                      // 7.0 x 3.0
                   shade_combine, opaque},
        FormatCase{"I4", "skin.png", 4, 4, [](int x, int y) { return grey(y * 4 + x); },
                   {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}, {}, false, 0,
                   {{0xFD900000, 0x06000000}, {0xF5900000, 0x07008020}, load_sync,
                    {0xF3000000, 0x07003800}, pipe_sync,
                    {0xF5800200, 0x00008020}, {0xF2000000, 0x0000C00C}},
                   shade_combine, opaque},
        FormatCase{"I8", "skin.png", 8, 4, [](int x, int y) { return grey(y * 8 + x); }, levels(32), {}, false, 0,
                   {{0xFD900000, 0x06000000}, {0xF5900000, 0x07008030}, load_sync,
                    {0xF3000000, 0x0700F800}, pipe_sync,                            // lrs 15, dxt 2048
                    {0xF5880200, 0x00008030}, {0xF2000000, 0x0001C00C}},
                   shade_combine, opaque},
        FormatCase{"IA8", "skin.png", 4, 4, [](int x, int y) { return grey(y * 4 + x, (x % 2) ? 100 : 200); },
                   {0x0F, 0x00, 0x1F, 0x10, 0x2F, 0x20, 0x3F, 0x30, 0x4F, 0x40, 0x5F, 0x50, 0x6F, 0x60, 0x7F, 0x70},
                   {}, false, 0,
                   {{0xFD700000, 0x06000000}, {0xF5700000, 0x07008020}, load_sync,
                    {0xF3000000, 0x07007800}, pipe_sync,                            // lrs 7, dxt 2048
                    {0xF5680200, 0x00008020}, {0xF2000000, 0x0000C00C}},
                   texel_alpha_combine, opaque_texture_alpha},
        FormatCase{"IA16", "skin.png", 8, 4, [](int x, int y) { return grey(y * 8 + x, (x % 2) ? 0 : 255); },
                   {0x00, 0xFF, 0x08, 0x00, 0x10, 0xFF, 0x19, 0x00, 0x21, 0xFF, 0x29, 0x00, 0x31, 0xFF, 0x3A, 0x00,
                    0x42, 0xFF, 0x4A, 0x00, 0x52, 0xFF, 0x5A, 0x00, 0x63, 0xFF, 0x6B, 0x00, 0x73, 0xFF, 0x7B, 0x00,
                    0x84, 0xFF, 0x8C, 0x00, 0x94, 0xFF, 0x9C, 0x00, 0xA5, 0xFF, 0xAD, 0x00, 0xB5, 0xFF, 0xBD, 0x00,
                    0xC5, 0xFF, 0xCE, 0x00, 0xD6, 0xFF, 0xDE, 0x00, 0xE6, 0xFF, 0xEF, 0x00, 0xF7, 0xFF, 0xFF, 0x00},
                   {}, false, 0,
                   {{0xFD700000, 0x06000000}, {0xF5700000, 0x07008030}, load_sync,
                    {0xF3000000, 0x0701F400}, pipe_sync,                            // lrs 31, dxt 1024
                    {0xF5700400, 0x00008030}, {0xF2000000, 0x0001C00C}},            // line 2
                   texel_alpha_combine, opaque_texture_alpha},
        FormatCase{"RGBA16", "skin_QXRGBA16.png", 4, 4, three_colours_at,
                   {0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0xF8, 0x01, 0x07, 0xC1,
                    0x00, 0x3F, 0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0xF8, 0x01, 0x07, 0xC1, 0x00, 0x3F, 0xF8, 0x01},
                   {}, false, 0,
                   {{0xFD100000, 0x06000000}, {0xF5100000, 0x07008020}, load_sync,
                    {0xF3000000, 0x0700F800}, pipe_sync,                            // lrs 15, dxt 2048
                    {0xF5100200, 0x00008020}, {0xF2000000, 0x0000C00C}},
                   shade_combine, opaque}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(TexturedConversion, ForcedTextureNamesAreNotPointers)
{
    // A bank image with a forced address: its first texel word begins with
    // 0x06 (I4 levels 0 and 12), and must stay a plain word in the C array.
    TempDir dir;
    const auto pixel = [](int x, int y) { return grey(y == 0 && x == 1 ? 12 : (y * 4 + x) % 16); };
    write_png(dir / "eye.png", 4, 4, pixel);
    write_png(dir / "eye_QXBANK0x06000000_QXFORCE0x00000000.png", 4, 4, pixel);
    write_model(dir, "eye.png");
    const ProcessResult r = run_tessaloom({"object", "m.objex", "out.h", "-cz"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string text = read_file(dir / "out.h");
    EXPECT_EQ(text.rfind("\r\n/* Assembly Textures * * * */\r\n     #define   TEX_EYE_0     (u32)(zobj+0)\r\n", 0),
              0u)
        << text;
    // Levels 0, 12, 2, 3, 4, 5, 6, 7 as I4: 0x06 0x11 0x22 0x33.
    EXPECT_NE(text.find("u32 zobj[]={0x06112233,"), std::string::npos) << text;
}

}  // namespace
