#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <cstring>

#include "base/context.h"
#include "model/material_library.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

uint32_t float_bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// Writes a w x h PNG whose pixels all get colour + (x, y) in red and green.
void write_png(const std::filesystem::path& path, int w, int h, uint8_t base = 0)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels.insert(pixels.end(), {static_cast<uint8_t>(base + x * 8), static_cast<uint8_t>(y * 8), 200, 255});
    std::filesystem::create_directories(path.parent_path());
    ASSERT_NE(stbi_write_png(path.string().c_str(), w, h, 4, pixels.data(), w * 4), 0);
}

struct MaterialLibrary : ::testing::Test {
    HeadlessPlatform platform;
    Context ctx{platform};
    TempDir dir;
    Model model;

    std::vector<Material>& read(const std::string& mtl)
    {
        write_file(dir / "lib.mtl", mtl);
        read_material_library(ctx, model, (dir / "lib.mtl").string(), "lib.mtl");
        return model.material_table;
    }
    const Material& only(const std::string& mtl)
    {
        read(mtl);
        EXPECT_EQ(model.material_table.size(), 1u);
        return model.material_table.back();
    }
    std::string error(const std::string& mtl)
    {
        try {
            read(mtl);
        } catch (const FatalError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

TEST_F(MaterialLibrary, MaterialsStartWithTheirDefaultsAndNameKeywords)
{
    read("# lines before the first material are ignored\nKd 0 0 0\n"
         "newmtl plain\n"
         "newmtl shiny_QXENV_QXNOAA\n"
         "newmtl floor_QXNOCULL\n"
         "newmtl sticker_QXDECAL\n"
         "newmtl water_texgen\n"                       // words in the name act like lines
         "newmtl skin_nodal\nmap_Kd ignored.png\n");  // node mode reads combiner lines only
    const std::vector<Material>& m = model.material_table;
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0].name, "plain");
    EXPECT_EQ(m[0].r, 1.0f);
    EXPECT_EQ(m[0].alpha, 1.0f);
    EXPECT_EQ(m[0].scale_s, 1.0f);
    EXPECT_EQ(m[0].texture, no_texture);
    EXPECT_EQ(m[0].geometry_mode, 0x400u);
    EXPECT_EQ(m[0].flags, 0);
    EXPECT_EQ(m[1].flags, material_env_colour | material_no_aa);  // bits 1 and 4
    EXPECT_EQ(m[2].geometry_mode, 0u);
    EXPECT_EQ(m[2].decal, 0);
    EXPECT_EQ(m[3].decal, 1);
    EXPECT_EQ(m[4].flags, 0x04);
    EXPECT_EQ(m[5].flags, material_nodal);
    EXPECT_EQ(m[5].texture, no_texture);
}

TEST_F(MaterialLibrary, LineKinds)
{
    struct Case {
        const char* lines;
        float alpha, scale_s, scale_t;
        uint8_t flags, unlit;
        bool mtl_colors = false;
        float g = 1.0f;
    };
    const float s_gen = 2000.0f / 65535.0f, t_gen = 2500.0f / 65535.0f;
    const Case cases[] = {
        {"d 0\n", 1.0f, 1, 1, 0, 0},     // zero means opaque
        {"d 0.25\n", 0.25f, 1, 1, 0, 0},
        {"d\n", 1.0f, 1, 1, 0, 0},       // no number
        {"illum 0\n", 1, 1, 1, 0, 1},
        {"illum 2\n", 1, 1, 1, 0, 0},
        {"texgen\nscaleS 0.5\n", 1, 0.5f, t_gen, 0x04, 0},
        {"scaleS 0.5\ntexgen\n", 1, 0.5f, t_gen, 0x04, 0},  // only scales still at 1.0 change
        {"texgen\n", 1, s_gen, t_gen, 0x04, 0},
        {"scaleT 0.125\n", 1, 1, 0.125f, 0, 0},
        {"Ns 10\nKa 1 1 1\nmap_Bump x.png\n", 1, 1, 1, 0, 0},  // other statements
        {"Kd 0.5 0.5 0.5\n", 1, 1, 1, 0, 0},                   // colour only with library colours
        {"Kd 0.5 0.5 0.5\n", 1, 1, 1, 0, 0, true, 0.7318f},    // 0.5 ^ 0.45045045
    };
    for (const Case& c : cases) {
        model.material_table.clear();
        ctx.settings.mtl_colors = c.mtl_colors;
        const Material& m = only(std::string("newmtl m\n") + c.lines);
        EXPECT_NEAR(m.g, c.g, 1e-4) << c.lines;
        EXPECT_EQ(m.alpha, c.alpha) << c.lines;
        EXPECT_EQ(m.scale_s, c.scale_s) << c.lines;
        EXPECT_EQ(m.scale_t, c.scale_t) << c.lines;
        EXPECT_EQ(m.flags, c.flags) << c.lines;
        EXPECT_EQ(m.unlit, c.unlit) << c.lines;
    }
    EXPECT_EQ(float_bits(s_gen), 0x3CFA00FAu);
    EXPECT_EQ(float_bits(t_gen), 0x3D1C409Cu);
}

TEST_F(MaterialLibrary, WrapLinesFillTheSlotOfTheNextReference)
{
    write_png(dir / "a.png", 8, 8);
    write_png(dir / "b.png", 8, 8, 100);
    const Material& m = only("newmtl m\nuprop c\nvprop m\nmap_Kd a.png\nuprop m\nprop c\nmap_Kd b.png\n");
    EXPECT_EQ(m.slots[0].wrap_u, 1);  // clamp
    EXPECT_EQ(m.slots[0].wrap_v, 2);  // mirror
    EXPECT_EQ(m.slots[1].wrap_u, 2);
    EXPECT_EQ(m.slots[1].wrap_v, 1);  // no 'u' before the word: T
    EXPECT_EQ(m.texture, 1);          // the latest reference
    EXPECT_EQ(model.textures.size(), 2u);
}

TEST_F(MaterialLibrary, TextureReferenceLoadsAndNamesTheImage)
{
    write_png(dir / "tex/eye_QXPAL3_QXNOCULL_QXTUNIC.png", 8, 4);
    const Material& m = only("newmtl m\nmap_Kd tex/eye_QXPAL3_QXNOCULL_QXTUNIC.png\n");
    ASSERT_EQ(model.textures.size(), 1u);
    const Texture& t = model.textures[0];
    EXPECT_EQ(t.path, "tex/eye_QXPAL3_QXNOCULL_QXTUNIC.png");
    EXPECT_EQ(t.palette_slot, 3);
    EXPECT_EQ(t.cull_mode, 0u);
    EXPECT_EQ(t.width, 8.0f);
    EXPECT_EQ(t.height, 4.0f);
    EXPECT_EQ(t.base_width, 8);
    EXPECT_EQ(t.base_height, 4);
    EXPECT_EQ(t.format, 255);
    EXPECT_EQ(t.force_address, 0xFFFFFFFFu);
    EXPECT_EQ(t.bank_address, 0xFFFFFFFFu);
    ASSERT_EQ(t.pixels.size(), 8u * 4u * 4u);
    EXPECT_EQ(t.pixels[4 * 9 + 0], 8);    // texel (1, 1): red 8
    EXPECT_EQ(t.pixels[4 * 9 + 1], 8);    // green 8
    EXPECT_EQ(t.pixels[4 * 9 + 2], 200);
    EXPECT_EQ(m.flags, material_env_colour);  // QXTUNIC
    EXPECT_EQ(m.tex_width, 8);
    EXPECT_EQ(m.tex_height_f, 4.0f);
}

TEST_F(MaterialLibrary, IdenticalImagesAreSharedAndTheLatestNameWordsDecide)
{
    write_png(dir / "one.png", 8, 8);
    write_png(dir / "two_QXSKIP_QXRGBA16.png", 8, 8);  // the same pixels
    write_png(dir / "three.png", 8, 8, 1);              // other pixels
    read("newmtl a\nmap_Kd one.png\nnewmtl b\nmap_Kd two_QXSKIP_QXRGBA16.png\nnewmtl c\nmap_Kd three.png\n");
    ASSERT_EQ(model.textures.size(), 2u);
    EXPECT_EQ(model.material_table[0].texture, 0);
    EXPECT_EQ(model.material_table[1].texture, 0);
    EXPECT_EQ(model.material_table[2].texture, 1);
    EXPECT_EQ(model.textures[0].path, "one.png");  // the first reference keeps its record
    EXPECT_EQ(model.textures[0].name_flags, texture_skip | texture_force_rgba16);

    // A later reference without the words clears them again.
    read("newmtl d\nmap_Kd one.png\n");
    EXPECT_EQ(model.textures.size(), 2u);
    EXPECT_EQ(model.textures[0].name_flags, 0);
}

TEST_F(MaterialLibrary, BankImageReplacesTheReference)
{
    write_png(dir / "tex/wood.png", 8, 8);
    write_png(dir / "tex/wood_v2.PNG", 8, 8, 50);                                // no QXBANK0x
    write_png(dir / "tex/wood_QXBANK0x06001000_QXFORCE0x00000400.png", 8, 16, 30);  // the bank image
    write_png(dir / "tex/wood_z_QXBANK0x06002000.png", 8, 8);                   // later by name
    write_png(dir / "tex/wood_QXBANK0x06003000.jpg", 8, 8);                     // other extension
    const Material& m = only("newmtl m\nmap_Kd tex/wood.png\n");
    ASSERT_EQ(model.textures.size(), 1u);
    const Texture& t = model.textures[0];
    EXPECT_EQ(t.path, "tex/wood_QXBANK0x06001000_QXFORCE0x00000400.png");
    EXPECT_EQ(t.bank_address, 0x06001000u);
    EXPECT_EQ(t.force_address, 0x400u);
    EXPECT_EQ(t.width, 8.0f);
    EXPECT_EQ(t.height, 16.0f);
    EXPECT_EQ(t.base_width, 8);
    EXPECT_EQ(t.base_height, 8);  // of tex/wood.png
    EXPECT_EQ(m.tex_width_f, 8.0f);
    EXPECT_EQ(m.tex_height_f, 16.0f);
    EXPECT_EQ(m.tex_height, 8);
    EXPECT_EQ(t.pixels[0], 30);  // the bank image's own pixels
}

TEST_F(MaterialLibrary, NodeModeCombinerLines)
{
    ctx.settings.mtl_colors = true;
    const Material& m = only("newmtl m\nnodal\nKd 0 0 0\n"
                             "c0 0 \"a.png\"\n"          // cycle 1 colour a: first texture
                             "c0 2 G_SHADE\n"            // c: shade
                             "c1 3 0.5 0.5 0.5 1\n"      // cycle 2 d: environment
                             "c0 1 0.2 0.4 0.6 1\n"      // b: primitive, and the colour
                             "c0 3 \"b.png\"\n"          // d: second texture
                             "c1 0 \"a.png\"\n"          // the first again
                             "c1 1 G_COMBINE\n"          // combined
                             "c1 2 0 0 0 1\n");          // zero
    EXPECT_EQ(m.combiner, (std::array<uint8_t, 16>{1, 3, 4, 2, 0, 0, 0, 0,  // cycle 1 colour, alpha
                                                    1, 0, 31, 5, 0, 0, 0, 0}));
    EXPECT_EQ(m.flags, material_nodal | 2 << 6);
    EXPECT_EQ(m.combiner_texture[1], "b.png");
    EXPECT_NEAR(m.r, 0.4843, 1e-4);  // 0.2 ^ 0.45045045; Kd is not read in node mode
    EXPECT_NEAR(m.g, 0.6618, 1e-4);
    EXPECT_NEAR(m.b, 0.7945, 1e-4);

    model.material_table.clear();
    EXPECT_EQ(only("newmtl n\nnodal\nc0 0 1 1 1 1\n").combiner[0], 6);  // one
}

TEST_F(MaterialLibrary, BadLinesStopWithAMessage)
{
    const std::pair<const char*, const char*> cases[] = {
        {"nodal\nc0\n", "Error parsing line: 'c0'"},
        {"nodal\nc0 1\n", "Error parsing line: 'c0 1'"},
        {"nodal\nc1 2 0.5 0.5\n", "Error parsing line: 'c1 2 0.5 0.5'"},
        {"nodal\nc0 0 \"a\"\nc0 1 \"b\"\nc0 2 \"c\"\n", "Three unique textures specified in material 'm'"},
        {"nodal\nc0 4 G_SHADE\n", "Combiner input 4 is not one of 0 to 3 in line: 'c0 4 G_SHADE'"},
        {"nodal\nc0 -1 G_SHADE\n", "Combiner input -1 is not one of 0 to 3 in line: 'c0 -1 G_SHADE'"},
        {"nodal\nc0 1 \"a.png\n", "Texture name without its closing quote in line: 'c0 1 \"a.png'"},
        {"map_Kd t.png\nmap_Kd t.png\nmap_Kd t.png\n", "More than two textures referenced in material 'm'"},
    };
    write_png(dir / "t.png", 4, 4);
    for (const auto& [lines, message] : cases) {
        model.material_table.clear();
        EXPECT_EQ(error(std::string("newmtl m\n") + lines), message) << lines;
    }
}

TEST_F(MaterialLibrary, MissingFilesAreFatal)
{
    EXPECT_EQ(error("newmtl m\nmap_Kd missing.png\n"), "Failed to load 'missing.png'!");
    std::filesystem::remove(dir / "lib.mtl");
    try {
        read_material_library(ctx, model, (dir / "lib.mtl").string(), "lib.mtl");
        ADD_FAILURE();
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "Couldn't open 'lib.mtl'!");
    }
}

TEST_F(MaterialLibrary, GeometryFileReadsItsLibraryAndTexturesBesideIt)
{
    // The geometry names sub/lib.mtl; the library names tex/a.png inside sub/.
    write_png(dir / "sub/tex/a.png", 4, 4);
    write_file(dir / "sub/lib.mtl", "newmtl skin\nmap_Kd tex/a.png\n");
    write_file(dir / "m.objex", "mtllib sub/lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl skin\nf 1 2 3\n");
    read_objex(ctx, (dir / "m.objex").string(), model);
    ASSERT_EQ(model.material_table.size(), 1u);
    EXPECT_EQ(model.material_table[0].texture, 0);
    ASSERT_EQ(model.textures.size(), 1u);
    EXPECT_EQ(model.textures[0].path, "tex/a.png");
    ASSERT_EQ(model.triangles.size(), 1u);
    EXPECT_EQ(model.triangles[0].material, 0);
}

TEST_F(MaterialLibrary, SharingFollowsANewModel)
{
    write_png(dir / "a.png", 4, 4);
    write_png(dir / "b.png", 4, 4, 8);
    read("newmtl a\nmap_Kd a.png\nnewmtl b\nmap_Kd b.png\n");
    ASSERT_EQ(model.textures.size(), 2u);
    // A fresh model: its first texture is b.png, and a.png must not be taken
    // for it.
    model = Model();
    read("newmtl c\nmap_Kd b.png\nnewmtl d\nmap_Kd a.png\nnewmtl e\nmap_Kd b.png\n");
    ASSERT_EQ(model.textures.size(), 2u);
    EXPECT_EQ(model.textures[0].path, "b.png");
    // The fresh model's table holds c, d and e.
    EXPECT_EQ(model.material_table[1].texture, 1);
    EXPECT_EQ(model.material_table[2].texture, 0);
}

}  // namespace
