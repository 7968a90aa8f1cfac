// The viewer run as a program on objects that the converter makes in the
// test: whole listings, pixels of the pictures, and objects made faulty.
#include <gtest/gtest.h>

#include <stb_image.h>
#include <stb_image_write.h>

#include <array>
#include <functional>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace
{

using Rgba = std::array<uint8_t, 4>;

// The 8-bit value that 5-bit level k expands to, as texels are snapped.
uint8_t level(int k)
{
    return static_cast<uint8_t>((k * 255 + 15) / 31);
}

void write_png(const fs::path& path, int w, int h, const std::function<Rgba(int, int)>& pixel)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba p = pixel(x, y);
            pixels.insert(pixels.end(), p.begin(), p.end());
        }
    ASSERT_NE(stbi_write_png(path.c_str(), w, h, 4, pixels.data(), w * 4), 0);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgba at(int x, int y) const
    {
        const size_t i = (static_cast<size_t>(y) * width + x) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
    }
};

Picture read_picture(const fs::path& path)
{
    Picture p;
    int channels = 0;
    uint8_t* data = stbi_load(path.c_str(), &p.width, &p.height, &channels, 4);
    if (data != nullptr) {
        p.rgba.assign(data, data + static_cast<size_t>(p.width) * p.height * 4);
        stbi_image_free(data);
    }
    return p;
}

const Rgba background = {40, 44, 52, 255};

// Converts the files in `dir` (the converter's exit code must be 0), then
// runs the viewer with `view_args`.
ProcessResult convert_and_view(const TempDir& dir, const std::vector<std::string>& convert_args,
                               const std::vector<std::string>& view_args)
{
    const ProcessResult converted = run_tessaloom(convert_args, dir.path());
    EXPECT_EQ(converted.exit_code, 0) << converted.err;
    return run_tessaloom_view(view_args, dir.path());
}

// One textured triangle (0,0,0) (1,0,0) (0,1,0) facing +z, coordinates
// (0,0) (1,0) (0,1), in group "head"; optionally a collision quad.
void write_triangle_model(const TempDir& dir, const std::string& image, bool with_collision)
{
    std::string objex = "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\n"
                        "vt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\ng head\nusemtl skin\nf 1/1/1 2/2/1 3/3/1\n";
    if (with_collision)
        objex += "g floor_COLLISION\nusemtl ground\nf 4 7 6 5\n";
    write_file(dir / "m.objex", objex);
    write_file(dir / "m.mtl", "newmtl skin\nmap_Kd " + image + "\nnewmtl ground\nKd 1 1 1\n");
}

TEST(View, ListingOfATexturedTriangleAndACollisionQuad)
{
    TempDir dir;
    // A two-colour checkerboard: CI4, palette blue (0x003F) then red (0xF801).
    write_png(dir / "t.png", 16, 16, [](int x, int y) {
        return (x + y) % 2 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255};
    });
    write_triangle_model(dir, "t.png", true);
    const ProcessResult r = convert_and_view(dir, {"object", "m.objex", "m.zobj"}, {"m.zobj"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Texels 0x00-0x7F, palette 0x80, vertices 0x88, the list 0xB8, the
    // collision vertices, types and polygons from 0x178, its header 0x1B8.
    EXPECT_EQ(r.out,
              "m.zobj: 0x1F0 bytes at 0x06000000, 2 items\n"
              "\n"
              "DL_HEAD: display list at 0x060000B8\n"
              "  0x060000B8 G_RDPPIPESYNC\n"
              "  0x060000C0 G_SETOTHERMODE_H bits 14..15 = 0x00008000\n"  // palette of RGBA16 colours
              "  0x060000C8 G_TEXTURE on, tile 0, level 0, scale 0xFFFF 0xFFFF\n"
              // 4-bit texels load as 16-bit ones: 64 of them are the 128 bytes of 16 x 16.
              "  0x060000D0 G_SETTIMG CI 16b at 0x06000000\n"
              "  0x060000D8 G_SETTILE tile 7 CI 16b line 0 tmem 0x000 palette 0, S wrap mask 4 shift 0, "
              "T wrap mask 4 shift 0\n"
              "  0x060000E0 G_RDPLOADSYNC\n"
              "  0x060000E8 G_LOADBLOCK tile 7, texels 0..63, dxt 2048\n"
              "  0x060000F0 G_RDPPIPESYNC\n"
              "  0x060000F8 G_SETTILE tile 0 CI 4b line 1 tmem 0x000 palette 0, S wrap mask 4 shift 0, "
              "T wrap mask 4 shift 0\n"
              "  0x06000100 G_SETTILESIZE tile 0, (0,0) to (15,15)\n"
              "  0x06000108 G_SETTIMG RGBA 16b at 0x06000080\n"
              "  0x06000110 G_RDPTILESYNC\n"
              "  0x06000118 G_SETTILE tile 7 RGBA 4b line 0 tmem 0x100 palette 0, S wrap mask 0 shift 0, "
              "T wrap mask 0 shift 0\n"
              "  0x06000120 G_RDPLOADSYNC\n"
              "  0x06000128 G_LOADTLUT tile 7, 16 colours\n"
              "  0x06000130 G_RDPPIPESYNC\n"
              "  0x06000138 G_SETCOMBINE cycle 1 (TEXEL0 - 0) * SHADE + 0, alpha (0 - 0) * 0 + 1; "
              "cycle 2 (COMBINED - 0) * PRIMITIVE + 0, alpha (0 - 0) * 0 + COMBINED\n"
              "  0x06000140 G_SETOTHERMODE_L bits 3..31 = 0xC8112078\n"
              "  0x06000148 G_GEOMETRYMODE clear G_LIGHTING|G_TEXTURE_GEN|G_TEXTURE_GEN_LINEAR, set nothing\n"
              "  0x06000150 G_GEOMETRYMODE clear nothing, set G_CULL_BACK|G_FOG|G_LIGHTING|G_CLIPPING\n"
              "  0x06000158 G_SETPRIMCOLOR 0xFFFFFFFF\n"
              "  0x06000160 G_VTX 3 records at 0x06000088 into 0..2\n"
              "  0x06000168 G_TRI1 (0,1,2)\n"
              "  0x06000170 G_ENDDL\n"
              "\n"
              // Bounds: the quad from (0,0,0) to (1024,0,1024), 100 wider on every side.
              "FLOOR_COLLISION: collision at 0x060001B8, 4 vertices, 2 polygons, 1 surface types, 0 water boxes, "
              "bounds (-100,-100,-100) to (1124,100,1124)\n"
              "\n"
              "Textures\n"
              "  0x06000000 CI 4b 16 x 16, palette 0x06000080 of 16 colours, drawn by DL_HEAD\n");
}

// Two limbs, the arm three units along x from the root, each with a
// triangle of its own colour; a one-frame animation.
void write_two_limb_model(const TempDir& dir, const std::string& skeleton)
{
    write_file(dir / "r.objex", "mtllib r.mtl\nskeleton s.skel\nanimations s.anim\n"
                                "bone 0\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                "bone 1\nv 3 0 0\nv 4 0 0\nv 3 1 0\nvn 0 0 1\n"
                                "g riggedmesh\nusemtl red\nf 1//1 2//1 3//1\nusemtl green\nf 4//1 5//1 6//1\n");
    write_file(dir / "r.mtl", "newmtl red\nKd 1 0 0\nnewmtl green\nKd 0 1 0\n");
    write_file(dir / "s.skel", skeleton);
    write_file(dir / "s.anim", "total 1\nframes 1 \"still\"\nl 0 0 0\nr 0 0 0\nr 0 90 0\n");
}

const char* const two_limbs = "limbs 2\n+ \"root\" {0 0 0}\n + \"arm\" {3 0 0}\n -\n-\n";

TEST(View, TwoLimbsStandAtTheirRestPositions)
{
    TempDir dir;
    write_two_limb_model(dir, two_limbs);
    const ProcessResult r = convert_and_view(dir, {"object", "r.objex", "r.zobj", "-mc", "-l"},
                                             {"r.zobj", "--png", "r.png", "--size", "80", "--list"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    // The limb tree, and an animation whose 9 channels hold only 0 and 90 degrees.
    EXPECT_NE(r.out.find("\nANIM_STILL: animation at 0x06000118, 1 frames, 9 channels: 2 constant values, 0 tracks; "
                         "frame data at 0x06000100, joint indices at 0x06000104\n"
                         "\nSKL_DEFAULT: skeleton at 0x06000158, 2 limbs, 2 with a display list, 16-byte records\n"
                         "  limb 0 at (0,0,0), matrix 0, list 0x06000030 LIMB_LIMB_0\n"
                         "    limb 1 at (3072,0,0), matrix 1, list 0x060000B0 LIMB_LIMB_1\n"),
              std::string::npos)
        << r.out;

    // Front view: both triangles span x 0..4 (4096 units) fitted into 72
    // pixels, 18 pixels a unit, centred on x 2, y 0.5. Each triangle's
    // centroid lies a third of a unit in from its right angle.
    const Picture p = read_picture(dir / "r.png");
    ASSERT_EQ(p.width, 240);
    ASSERT_EQ(p.height, 80);
    auto front = [&](float x, float y) {
        return p.at(static_cast<int>(40 + (x - 2) * 18), static_cast<int>(40 - (y - 0.5f) * 18));
    };
    EXPECT_EQ(front(0.33f, 0.33f), (Rgba{255, 0, 0, 255}));  // the root's red triangle at the origin
    EXPECT_EQ(front(3.33f, 0.33f), (Rgba{0, 255, 0, 255}));  // the arm's green one, 3 units along
    EXPECT_EQ(front(2.0f, 0.33f), background);               // nothing between them
    EXPECT_EQ(front(0.9f, 0.9f), background);                // beyond the root's hypotenuse
}

struct FormatCase {
    const char* name;
    const char* file;
    std::function<Rgba(int, int)> pixel;
    Rgba expected;  // as the texel (5, 10) comes back from the object
    const char* listed;
};

class ViewTexelFormat : public testing::TestWithParam<FormatCase>
{
};

// The centroid of the triangle names texel (5.33, 10.67) of a 16 x 16
// texture; lit from the front at full strength, the pixel is that texel.
TEST_P(ViewTexelFormat, TriangleCentreShowsTheTexelItsCoordinatesName)
{
    const FormatCase& c = GetParam();
    TempDir dir;
    write_png(dir / c.file, 16, 16, c.pixel);
    write_triangle_model(dir, c.file, false);
    const ProcessResult r =
        convert_and_view(dir, {"object", "m.objex", "m.zobj"}, {"m.zobj", "--png", "m.png", "--size", "100", "--list"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find(c.listed), std::string::npos) << r.out;

    // The triangle spans 90 pixels from (5, 95) in the front view.
    const Picture p = read_picture(dir / "m.png");
    ASSERT_EQ(p.width, 300);
    const Rgba centre = p.at(35, 65);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(centre[i], c.expected[i], 1) << i;
    EXPECT_EQ(p.at(80, 20), background);  // beyond the hypotenuse
}

// Distinct per texel: the texel (5, 10) differs from its neighbours.
Rgba colour_at(int x, int y)
{
    return {level(x * 2), level(y * 2), level(31 - x), 255};
}

INSTANTIATE_TEST_SUITE_P(
    View, ViewTexelFormat,
    testing::Values(
        FormatCase{"RGBA16", "tQXRGBA16.png", colour_at, {level(10), level(20), level(26), 255}, "RGBA 16b 16 x 16"},
        FormatCase{"CI8", "t.png", colour_at, {level(10), level(20), level(26), 255}, "CI 8b 16 x 16, palette"},
        FormatCase{"CI4",
                   "t.png",
                   [](int x, int y) {
                       return Rgba{level((x + y) % 16), 0, level(31 - (x + y) % 16), 255};
                   },
                   {level(15), 0, level(16), 255},
                   "CI 4b 16 x 16, palette"},
        // I4 keeps the top four bits of each grey.
        FormatCase{"I4",
                   "t.png",
                   [](int x, int y) {
                       const uint8_t g = level((x + y) % 16 * 2);
                       return Rgba{g, g, g, 255};
                   },
                   {0xFF, 0xFF, 0xFF, 255},
                   "I 4b 16 x 16"},  // level 30 is 247: 0xF, widened to 0xFF
        FormatCase{"I8",
                   "t.png",
                   [](int x, int y) {
                       const uint8_t g = level((x * 2 + y) % 32);
                       return Rgba{g, g, g, 255};
                   },
                   {level(20), level(20), level(20), 255},
                   "I 8b 16 x 16"},
        // IA8: four bits of intensity; transparent texels elsewhere make the alpha.
        FormatCase{"IA8",
                   "t.png",
                   [](int x, int y) {
                       const uint8_t g = level((x + y) % 8 * 4);
                       return Rgba{g, g, g, static_cast<uint8_t>(x == 0 ? 0 : 255)};
                   },
                   {0xEE, 0xEE, 0xEE, 255},
                   "IA 8b 16 x 16"},  // level 28 is 230: 0xE, widened to 0xEE
        FormatCase{"IA16",
                   "t.png",
                   [](int x, int y) {
                       const uint8_t g = level((x * 2 + y) % 32);
                       return Rgba{g, g, g, static_cast<uint8_t>(x == 0 ? 0 : 255)};
                   },
                   {level(20), level(20), level(20), 255},
                   "IA 16b 16 x 16"}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// A faulty object: a converted one with some bytes changed, or cut short.
struct BadObject {
    const char* name;
    bool rigged;  // the two-limb model instead of the triangle with a collision quad
    std::vector<std::pair<size_t, uint8_t>> patches;
    size_t cut_to;  // 0: keep the length
    const char* message;
};

class ViewBadObject : public testing::TestWithParam<BadObject>
{
};

// The triangle model without a library: vertices 0x00, DL_HEAD 0x30 (G_VTX
// at 0x68, G_TRI1 0x70, G_ENDDL 0x78), collision vertices 0x80, surface
// types 0x98, polygons 0xA0, header 0xC0; 0xF0 bytes. The two-limb model:
// limb records 0x130 and 0x13C, skeleton header 0x150.
TEST_P(ViewBadObject, ReportsItemAndOffsetAndExitsOne)
{
    const BadObject& c = GetParam();
    TempDir dir;
    std::vector<std::string> convert = {"object", "m.objex", "m.zobj"};
    if (c.rigged) {
        write_two_limb_model(dir, two_limbs);
        convert = {"object", "r.objex", "m.zobj", "-mc"};
    } else {
        write_file(dir / "m.objex", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\ng head\nf 1//1 2//1 3//1\n"
                                    "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\ng floor_COLLISION\nf 4 7 6 5\n");
    }
    ASSERT_EQ(run_tessaloom(convert, dir.path()).exit_code, 0);
    std::string bytes = read_file(dir / "m.zobj");
    for (const auto& [at, value] : c.patches)
        bytes.at(at) = static_cast<char>(value);
    if (c.cut_to != 0)
        bytes.resize(c.cut_to);
    write_file(dir / "m.zobj", bytes);

    for (const char* out : {"", "m.png"}) {
        std::vector<std::string> args = {"m.zobj"};
        if (*out)
            args.insert(args.end(), {"--png", out});
        const ProcessResult r = run_tessaloom_view(args, dir.path());
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, std::string("Error: ") + c.message + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(dir / "m.png"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    View, ViewBadObject,
    testing::Values(
        BadObject{"ListRunsOffTheEnd",
                  false,
                  {},
                  0x70,
                  "'DL_HEAD' at offset 0x000070: the list runs off the end of the object"},
        BadObject{"ListBeyondTheEnd",
                  false,
                  {},
                  0x20,
                  "'DL_HEAD' at offset 0x000030: the display list lies outside the object of 0x20 bytes"},
        BadObject{"UnknownOpcode",
                  false,
                  {{0x70, 0x12}},
                  0,
                  "'DL_HEAD' at offset 0x000070: unknown command 0x12000204 0x00000000"},
        BadObject{
            "VertexNeverLoaded", false, {{0x73, 0x06}}, 0, "'DL_HEAD' at offset 0x000070: vertex 3 was never loaded"},
        BadObject{"IndexBeyondTheBuffer",
                  false,
                  {{0x73, 0x40}},
                  0,
                  "'DL_HEAD' at offset 0x000070: triangle index 0x40 names no entry of the 32-entry vertex buffer"},
        BadObject{
            "VerticesOutsideTheObject",
            false,
            {{0x6E, 0x10}},
            0,
            "'DL_HEAD' at offset 0x000068: address 0x06001000 (0x30 bytes) lies outside the object of 0xF0 bytes"},
        BadObject{
            "VerticesBeyondTheBuffer",
            false,
            {{0x6B, 0x42}},
            0,
            "'DL_HEAD' at offset 0x000068: G_VTX loads 3 vertices to end at 33, beyond the 32-entry vertex buffer"},
        // G_ENDDL becomes a branch to itself.
        BadObject{"ListBranchesInACircle",
                  false,
                  {{0x78, 0xDE}, {0x79, 0x01}, {0x7C, 0x06}, {0x7F, 0x78}},
                  0,
                  "'DL_HEAD' at offset 0x000078: G_DL branches back to 0x06000078; the list never ends"},
        BadObject{"PolygonVertexBeyondTheList",
                  false,
                  {{0xA3, 0x09}},
                  0,
                  "'FLOOR_COLLISION' at offset 0x0000A2: polygon 0 names vertex 9 of 4"},
        BadObject{"CollisionVerticesOutside",
                  false,
                  {{0xD2, 0x10}},
                  0,
                  "'FLOOR_COLLISION' at offset 0x0000D0: address 0x06001080 (0x18 bytes) lies outside the object of "
                  "0xF0 bytes"},
        BadObject{"LimbLinksBeyondTheSkeleton",
                  true,
                  {{0x136, 0x05}},
                  0,
                  "'SKL_DEFAULT' at offset 0x000136: limb 0 links to limb 5 of 2"},
        BadObject{"LimbTreeInACircle",
                  true,
                  {{0x142, 0x00}},
                  0,
                  "'SKL_DEFAULT' at offset 0x000150: limb 0 is reached twice in the limb tree"}),
    [](const testing::TestParamInfo<BadObject>& info) { return std::string(info.param.name); });

// Two triangles side by side on one texture; the right one's coordinates
// spread 70 repeats (1120 texels), which -uv cannot bring into range, so it is hidden: its
// vertices are loaded, nothing is drawn.
TEST(View, TriangleHiddenByTheUvFixIsNotDrawn)
{
    TempDir dir;
    write_png(dir / "t.png", 16, 16, colour_at);
    write_file(dir / "m.objex", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 2 0 0\nv 3 0 0\nv 2 1 0\n"
                                "vt 0 0\nvt 1 0\nvt 0 1\nvt 70 0\nvn 0 0 1\n"
                                "g head\nusemtl skin\nf 1/1/1 2/2/1 3/3/1\nf 4/1/1 5/4/1 6/3/1\n");
    write_file(dir / "m.mtl", "newmtl skin\nmap_Kd t.png\n");
    const ProcessResult r = convert_and_view(dir, {"object", "m.objex", "m.zobj", "-uv"},
                                             {"m.zobj", "--png", "m.png", "--size", "100", "--list"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    // Six vertices loaded, one triangle drawn.
    EXPECT_NE(r.out.find("G_VTX 6 records at 0x"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" G_TRI1 (0,1,2)\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("G_TRI2"), std::string::npos) << r.out;

    // Fitted to the drawn triangle alone (one unit, 90 pixels): the hidden
    // one would stand two units to its right, beyond the front view.
    const Picture p = read_picture(dir / "m.png");
    EXPECT_NE(p.at(35, 65), background);
    for (int x = 96; x < 100; ++x)
        EXPECT_EQ(p.at(x, 65), background) << x;
}

// The bundled example, converted in each header form, draws one picture;
// each of its three views shows something.
TEST(View, DemoInEveryHeaderForm)
{
    TempDir dir;
    const std::string demo = std::string(TESSALOOM_SOURCE_DIR) + "/examples/demo/demo.objex";
    fs::create_directories(dir / "nh");
    fs::create_directories(dir / "o");
    ASSERT_EQ(run_tessaloom({"object", demo, "d.zobj"}, dir.path()).exit_code, 0);
    ASSERT_EQ(run_tessaloom({"object", demo, "d.c", "-cz"}, dir.path()).exit_code, 0);
    const ProcessResult plain = run_tessaloom({"object", demo, "nh/d.zobj", "-nh"}, dir.path());
    ASSERT_EQ(plain.exit_code, 0);
    write_file(dir / "nh/listing.txt", plain.out);
    ASSERT_EQ(run_tessaloom({"object", demo, "o/d.zobj", "-o", "06001000", "-l"}, dir.path()).exit_code, 0);

    const std::vector<std::vector<std::string>> forms = {
        {"d.zobj"}, {"d.c"}, {"nh/d.zobj", "nh/listing.txt"}, {"o/d.zobj"}};
    std::string first;
    for (size_t f = 0; f < forms.size(); ++f) {
        std::vector<std::string> args = forms[f];
        const std::string png = "form" + std::to_string(f) + ".png";
        args.insert(args.end(), {"--png", png, "--size", "64"});
        const ProcessResult r = run_tessaloom_view(args, dir.path());
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::string bytes = read_file(dir / png);
        if (f == 0)
            first = bytes;
        else
            EXPECT_EQ(bytes, first) << args[0];
    }
    const Picture p = read_picture(dir / "form0.png");
    ASSERT_EQ(p.width, 192);
    ASSERT_EQ(p.height, 64);
    for (int view = 0; view < 3; ++view) {
        int drawn = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = view * 64; x < view * 64 + 64; ++x)
                drawn += p.at(x, y) != background;
        EXPECT_GT(drawn, 300) << view;
    }
}

}  // namespace
