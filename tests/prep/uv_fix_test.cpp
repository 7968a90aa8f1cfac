#include <gtest/gtest.h>

#include <stb_image_write.h>

#include "base/messages.h"
#include "prep/uv_fix.h"
#include "support/bytes.h"
#include "support/recording_platform.h"
#include "support/test_support.h"
#include "texture/texture_samples.h"

namespace {

using Axis = std::array<float, 3>;

// A model with one textured material of the given size and one triangle per
// add_triangle, each with three texture coordinates of its own.
struct UvModel {
    Model model;

    explicit UvModel(float width = 32, float height = 32)
    {
        Material& m = model.material_table.emplace_back();
        m.tex_width_f = width;
        m.tex_height_f = height;
        model.material_table.emplace_back().name = "untextured";  // size 0
    }
    Triangle& add_triangle(const Axis& u, const Axis& v, uint16_t material = 0)
    {
        Triangle t;
        for (size_t k = 0; k < 3; ++k) {
            t.texcoord[k] = static_cast<uint16_t>(model.texcoords.size());
            model.texcoords.push_back({u[k], v[k]});
        }
        t.material = material;
        return model.triangles.emplace_back(t);
    }
    Axis u(size_t triangle) const { return axis(triangle, &TexCoord::u); }
    Axis v(size_t triangle) const { return axis(triangle, &TexCoord::v); }
    Axis axis(size_t triangle, float TexCoord::*field) const
    {
        const Triangle& t = model.triangles[triangle];
        return {model.texcoords[t.texcoord[0]].*field, model.texcoords[t.texcoord[1]].*field,
                model.texcoords[t.texcoord[2]].*field};
    }
};

struct AxisCase {
    const char* name;
    float width;
    Axis u, fixed_u;
    bool hidden;
};

class UvAxis : public ::testing::TestWithParam<AxisCase> {};

TEST_P(UvAxis, MovesByWholeRepeatsOrHides)
{
    const AxisCase& c = GetParam();
    UvModel m(c.width, 32);
    m.add_triangle(c.u, {0.25f, 0.5f, 0.75f});  // v in range: only u moves
    fix_uv_overflow(m.model);
    const Axis u = m.u(0);
    for (size_t k = 0; k < 3; ++k)
        EXPECT_FLOAT_EQ(u[k], c.fixed_u[k]) << "corner " << k;
    EXPECT_EQ(m.model.triangles[0].kind, c.hidden ? triangle_hidden : triangle_drawn);
    EXPECT_EQ(m.v(0), (Axis{0.25f, 0.5f, 0.75f}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UvAxis,
    ::testing::Values(
        // 41 x 32 = 1312; 31.2, 31.7, 32.0 still fail (32 x 32 = 1024), one more step fits.
        AxisCase{"DownUntilAllFit", 32, {40.2f, 40.7f, 41.0f}, {30.2f, 30.7f, 31.0f}, false},
        // 20 x 64 = 1280: down to the first position where all are below 16.
        AxisCase{"DownAcrossZero", 64, {0, 10, 20}, {-5, 5, 15}, false},
        // The largest corner below zero: up until all are above -32.
        AxisCase{"NegativesMoveUp", 32, {-50, -49.5f, -49}, {-31, -30.5f, -30}, false},
        // A spread of 40 repeats can never fit: all 0, hidden.
        AxisCase{"SpreadOf32OrMoreIsHidden", 32, {0, 20, 40}, {0, 0, 0}, true},
        // Down to -31, -21, -1, where the largest is below zero and the rule
        // would go back up to -30, -20, 0 and down again for ever. Centred on
        // the midpoint -16 instead: +16 repeats, and 15 x 64 = 960 fits.
        AxisCase{"SwingingIsCentred", 64, {-20, -10, 10}, {-15, -5, 15}, false},
        // On 128 texels all must lie within 8 of zero, a spread of 20 never
        // does: it swings, is centred to -10, 0, 10, still fails and is hidden.
        AxisCase{"TooWideEvenCentredIsHidden", 128, {-5, 5, 15}, {0, 0, 0}, true},
        // Far away: 98978 repeats down, the same as one at a time.
        AxisCase{"FarAwayMovesAsFarAsStepByStep", 1, {100000.25f, 100000.5f, 100001}, {1022.25f, 1022.5f, 1023},
                 false},
        // Beyond 2^24 a step of one repeat leaves 3e7 where it is; centring on
        // 3e7 + 2 brings the corners to -2, -2, 2.
        AxisCase{"BeyondFloatPrecisionIsCentred", 32, {3e7f, 3e7f, 3e7f + 4}, {-2, -2, 2}, false}),
    [](const ::testing::TestParamInfo<AxisCase>& info) { return std::string(info.param.name); });

TEST(UvFix, VStillMovesWhenUHides)
{
    UvModel m(32, 32);
    m.add_triangle({0, 20, 40}, {40.2f, 40.7f, 41.0f});
    fix_uv_overflow(m.model);
    EXPECT_EQ(m.u(0), (Axis{0, 0, 0}));
    const Axis v = m.v(0);
    EXPECT_FLOAT_EQ(v[0], 30.2f);
    EXPECT_FLOAT_EQ(v[1], 30.7f);
    EXPECT_FLOAT_EQ(v[2], 31.0f);
    EXPECT_EQ(m.model.triangles[0].kind, triangle_hidden);
}

TEST(UvFix, EachAxisCountsInItsOwnSideOfTheTexture)
{
    // 40 repeats fit across 16 texels (640) but not up 64 (2560): only v moves.
    UvModel m(16, 64);
    m.add_triangle({40, 40, 40}, {40, 40, 40});
    fix_uv_overflow(m.model);
    EXPECT_EQ(m.u(0), (Axis{40, 40, 40}));
    EXPECT_EQ(m.v(0), (Axis{15, 15, 15}));
}

TEST(UvFix, OnlyOutOfRangeTrianglesGetRecordsOfTheirOwn)
{
    UvModel m(64, 64);
    // Two triangles sharing records 1 and 2: the first in range, the second
    // out (20.5 x 64 = 1312).
    m.model.texcoords = {{0, 0}, {0.5f, 0.5f}, {1, 1}, {20.5f, 0}};
    Triangle in_range, out_of_range, untextured, without;
    in_range.texcoord = {0, 1, 2};
    out_of_range.texcoord = {1, 2, 3};
    untextured.texcoord = {3, 3, 3};
    untextured.material = 1;                  // no texture: never out of range
    without.texcoord = {absent_index, absent_index, absent_index};  // no coordinates at all
    m.model.triangles = {in_range, out_of_range, untextured, without};

    fix_uv_overflow(m.model);
    EXPECT_EQ(m.model.triangles[0].texcoord, (std::array<uint16_t, 3>{0, 1, 2}));
    EXPECT_EQ(m.model.triangles[1].texcoord, (std::array<uint16_t, 3>{4, 5, 6}));  // copies at the end
    EXPECT_EQ(m.model.triangles[2].texcoord, (std::array<uint16_t, 3>{3, 3, 3}));
    EXPECT_EQ(m.model.triangles[3].texcoord, without.texcoord);
    ASSERT_EQ(m.model.texcoords.size(), 7u);
    // The shared records keep their values; the copies moved 5 repeats.
    EXPECT_EQ(m.model.texcoords[1].u, 0.5f);
    EXPECT_EQ(m.model.texcoords[3].u, 20.5f);
    EXPECT_EQ((Axis{m.model.texcoords[4].u, m.model.texcoords[5].u, m.model.texcoords[6].u}),
              (Axis{-4.5f, -4, 15.5f}));
    EXPECT_EQ(m.model.triangles[1].kind, triangle_drawn);
    EXPECT_EQ(m.model.triangles[2].kind, triangle_drawn);
}

TEST(UvFix, FullTableSharesEqualRecordsAndStopsWhenNoneIs)
{
    UvModel m(32, 32);
    m.model.texcoords.resize(absent_index - 1);  // room for one more record
    for (int t = 0; t < 2; ++t) {
        Triangle& triangle = m.model.triangles.emplace_back();
        triangle.texcoord = {0, 0, 0};
    }
    m.model.texcoords[0] = {40.5f, 0};
    fix_uv_overflow(m.model);
    // 40.5 moves to 31.5 (1008 < 1024). The first corner takes the last
    // record; all others hold the same values and share it.
    for (const Triangle& t : m.model.triangles)
        EXPECT_EQ(t.texcoord, (std::array<uint16_t, 3>{absent_index - 1, absent_index - 1, absent_index - 1}));
    EXPECT_EQ(m.model.texcoords.back().u, 31.5f);

    m.model.texcoords[1] = {50.25f, 0};
    m.model.triangles.emplace_back().texcoord = {1, 1, 1};
    EXPECT_EQ(fatal_text([&] { fix_uv_overflow(m.model); }),
              "Fixing the texture coordinate overflows needs more than 65534 texture coordinates, more than a model "
              "can hold; convert without -uv");
}

TEST(UvFix, WarningWithoutTheFixCountsTheTriangles)
{
    UvModel m(32, 32);
    m.add_triangle({0, 0.5f, 1}, {0, 0.5f, 1});
    m.add_triangle({100, 101, 102}, {0, 0, 0}, 1);  // untextured: fine
    RecordingPlatform platform;
    warn_uv_overflow(platform, m.model);
    EXPECT_TRUE(platform.boxes.empty());

    m.add_triangle({0, 32, 1}, {0, 0, 0});
    warn_uv_overflow(platform, m.model);
    m.add_triangle({0, 0, 0}, {-32, 0, 0});
    warn_uv_overflow(platform, m.model);
    EXPECT_EQ(platform.boxes,
              (std::vector<std::string>{"Warning: 1 triangle has texture coordinates out of range (1024 texels or "
                                        "more from zero), which the console cannot reach; -uv moves them into range.",
                                        "Warning: 2 triangles have texture coordinates out of range (1024 texels or "
                                        "more from zero), which the console cannot reach; -uv moves them into range."}));
    // The warning changes nothing.
    EXPECT_EQ(m.model.texcoords.size(), 12u);
}

// ---- The whole conversion ---------------------------------------------------

// A quad whose texture is tiled 300 times over: u from 300 to 301 on a 4 x 4
// grey ramp, far beyond the 256 repeats 4 texels reach.
void write_tiled_quad(const TempDir& dir)
{
    std::vector<uint8_t> pixels;
    for (int k = 0; k < 16; ++k) {
        const texture_samples::Rgba grey = texture_samples::grey(k);
        pixels.insert(pixels.end(), grey.begin(), grey.end());
    }
    ASSERT_NE(stbi_write_png((dir / "tile.png").string().c_str(), 4, 4, 4, pixels.data(), 16), 0);
    write_file(dir / "m.mtl", "newmtl tile\nmap_Kd tile.png\n");
    write_file(dir / "m.objex", "mtllib m.mtl\n"
                                "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                "vt 300 0\nvt 301 0\nvt 301 1\nvt 300 1\n"
                                "g quad\nusemtl tile\nf 1/1 2/2 3/3 4/4\n");
}

// The object of the tiled quad with the given s of the corners at u = 300
// and u = 301: texels, four vertices, the list.
Bytes tiled_quad_object(int16_t s300, int16_t s301)
{
    return Bytes()
        .u32(0x00112233).u32(0x44556677)  // I4 texels: the 5-bit grey levels 0 to 15, 4 bits each
        // Corners 1 2 3 of the first triangle, then corner 4; t = v x 4 x 32, v flipped.
        .vertex(0, 0, 0, 0xFF, s300, 128, 0, 0, 0)
        .vertex(0x400, 0, 0, 0xFF, s301, 128, 0, 0, 0)
        .vertex(0x400, 0x400, 0, 0xFF, s301, 0, 0, 0, 0)
        .vertex(0, 0x400, 0, 0xFF, s300, 0, 0, 0, 0)
        // The list at 0x48.
        .cmd(0xE7000000, 0)           // G_RDPPIPESYNC
        .cmd(0xE3001001, 0)           // texture look-up table off
        .cmd(0xD7000002, 0xFFFFFFFF)  // G_TEXTURE on, scale 1.0
        .cmd(0xFD900000, 0x06000000)  // texture image: I 16-bit words at 0
        .cmd(0xF5900000, 0x07008020)  // load tile, masks 2 and 2
        .cmd(0xE6000000, 0)           // G_RDPLOADSYNC
        .cmd(0xF3000000, 0x07003800)  // load block: lrs 3, dxt 2048
        .cmd(0xE7000000, 0)           // G_RDPPIPESYNC
        .cmd(0xF5800200, 0x00008020)  // render tile: I4, line 1
        .cmd(0xF2000000, 0x0000C00C)  // tile size 3.0 x 3.0
        .cmd(0xFC127E03, 0xFFFFFDF8)  // combiner: texel x shade
        .cmd(0xE200001C, 0xC8112078)  // render mode: opaque
        .cmd(0xD9F1FFFF, 0)           // clear lighting and texture generation
        .cmd(0xD9FFFFFF, 0x00830400)  // clipping, fog, lighting, back-face culling
        .cmd(0xFA000000, 0xFFFFFFFF)  // primitive colour white
        .cmd(0x01004008, 0x06000008)  // G_VTX: 4 vertices from 0x08
        .cmd(0x06000204, 0x00000406)  // G_TRI2 (0 1 2) (0 2 3)
        .cmd(0xDF000000, 0)           // G_ENDDL
        .zeros(8);                    // to a multiple of 16
}

TEST(UvFixConversion, TiledQuadIsMovedIntoRange)
{
    TempDir dir;
    write_tiled_quad(dir);
    const ProcessResult r = run_tessaloom({"object", "m.objex", "m.zobj", "-uv"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Both triangles move 46 repeats down, to 254..255 (255 x 4 = 1020 < 1024):
    // s = 254 x 4 x 32 = 32512 and 255 x 4 x 32 = 32640. Their corners 1
    // and 3 stay equal, so the batch still loads four vertices.
    EXPECT_EQ(hex_dump(read_file(dir / "m.zobj")), hex_dump(tiled_quad_object(32512, 32640).data));
    EXPECT_NE(read_file(dir / "obj.h").find("     #define   DL_QUAD     0x06000048\r\n"), std::string::npos);
}

TEST(UvFixConversion, WithoutTheFixTheBytesStayAndAWarningSaysSo)
{
    TempDir dir;
    write_tiled_quad(dir);
    const ProcessResult r = run_tessaloom({"object", "m.objex", "m.zobj"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "Warning: 2 triangles have texture coordinates out of range (1024 texels or more from zero), "
                     "which the console cannot reach; -uv moves them into range.\n");
    // 300 x 128 = 38400 and 301 x 128 do not fit 16 bits: both are stored as -32768.
    EXPECT_EQ(hex_dump(read_file(dir / "m.zobj")), hex_dump(tiled_quad_object(-32768, -32768).data));
}

}  // namespace
