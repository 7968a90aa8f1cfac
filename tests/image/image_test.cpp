#include <gtest/gtest.h>

#include <functional>

#include <stb_image_write.h>

#include "base/context.h"
#include "base/platform.h"
#include "image/image.h"
#include "support/recording_platform.h"
#include "support/test_support.h"

namespace {

// Writes `name` as a PNG whose RGBA bytes all differ from their neighbours.
std::string write_png(const TempDir& dir, const std::string& name, int width, int height,
                      std::vector<uint8_t>* written = nullptr)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 37 + i / 7);
    const std::string path = (dir / name).string();
    EXPECT_NE(stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4), 0);
    if (written)
        *written = pixels;
    return path;
}

struct SizeCase {
    const char* name;
    int width, height;
    bool tiny_textures;
    int fitted_width, fitted_height;
    const char* warned_size;  // as the warning shows it; null for no warning
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.name;
}

class TextureSizing : public testing::TestWithParam<SizeCase> {};

TEST_P(TextureSizing, FitsSizeAndWarnsOnlyForNpot)
{
    const SizeCase& c = GetParam();
    TempDir dir;
    const std::string path = write_png(dir, "t.png", c.width, c.height);
    RecordingPlatform platform;
    Context ctx(platform);
    ctx.settings.tiny_textures = c.tiny_textures;

    const Image image = load_texture_image(ctx, path, path);

    EXPECT_EQ(image.width, c.fitted_width);
    EXPECT_EQ(image.height, c.fitted_height);
    EXPECT_EQ(image.pitch, 4u * static_cast<uint32_t>(c.fitted_width));
    EXPECT_EQ(image.pixels.size(), static_cast<size_t>(c.fitted_width) * c.fitted_height * 4);
    std::vector<std::string> expected;
    if (c.warned_size)
        expected.push_back("Warning: Warning: Dimensions of '" + path + "' are NPOT (" + c.warned_size +
                           "), attempting to resize now...");
    EXPECT_EQ(platform.boxes, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TextureSizing,
    testing::Values(
        SizeCase{"TwoByTwoRaisedSilently", 2, 2, false, 4, 4, nullptr},
        SizeCase{"WarningShowsTheRaisedSize", 3, 5, false, 4, 4, "4x5"},
        SizeCase{"NearestPowers", 100, 60, false, 128, 64, "100x60"},
        SizeCase{"TieGoesUp", 96, 96, false, 128, 128, "96x96"},
        SizeCase{"EightyGoesDown", 80, 80, false, 64, 64, "80x80"},
        SizeCase{"AboveFiveTwelveGoesDown", 600, 8, false, 512, 8, "600x8"},
        SizeCase{"AboveFiveTwelveTieGoesUp", 768, 4, false, 1024, 4, "768x4"},
        SizeCase{"LimitHalvesWidthFirst", 256, 256, false, 128, 256, nullptr},
        SizeCase{"LimitTwoPasses", 512, 512, false, 128, 256, nullptr},
        SizeCase{"LimitOnlyWidth", 1024, 64, false, 512, 64, nullptr},
        SizeCase{"RoundedThenHalved", 1000, 1000, false, 128, 256, "1000x1000"},
        SizeCase{"WidthNotHalvedBelowFour", 4, 16384, false, 4, 8192, nullptr},
        SizeCase{"LongestSideAccepted", 16384, 1, false, 8192, 4, nullptr},
        SizeCase{"TinyKeepsRatio", 256, 64, true, 16, 4, nullptr},
        SizeCase{"TinyTall", 32, 128, true, 4, 16, nullptr},
        SizeCase{"TinySquare", 32, 32, true, 4, 4, nullptr}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(TextureImage, KeptSizesKeepTheDecodedPixels)
{
    TempDir dir;
    RecordingPlatform platform;
    Context ctx(platform);
    std::vector<uint8_t> written;
    EXPECT_EQ(load_texture_image(ctx, write_png(dir, "fits.png", 16, 8, &written), "fits.png").pixels, written);

    // A bank image keeps even a size that a texture could not have.
    const Image bank = load_image(write_png(dir, "b_QXBANK0x06001000.png", 3, 5, &written), "b.png");
    EXPECT_EQ(bank.width, 3);
    EXPECT_EQ(bank.height, 5);
    EXPECT_EQ(bank.pixels, written);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST(TextureImage, BadFilesAreFatalForTexturesAndBanks)
{
    TempDir dir;
    RecordingPlatform platform;
    Context ctx(platform);
    const std::string garbage = (dir / "garbage.png").string();
    write_file(garbage, "this is not an image");
    const std::string claimed = (dir / "claimed.ppm").string();
    write_file(claimed, "P6\n20000 3\n255\n");  // a header alone, claiming a huge picture
    const std::string huge = write_png(dir, "huge.png", 16385, 1);

    for (const std::string& path : {(dir / "missing.png").string(), garbage}) {
        EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, path, path); }), "Failed to load '" + path + "'!");
        EXPECT_EQ(fatal_text([&] { load_image(path, path); }), "Failed to load '" + path + "'!");
    }
    EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, huge, huge); }),
              "Image '" + huge + "' is too large (16385x1); sides of at most 16384 pixels are supported!");
    EXPECT_EQ(fatal_text([&] { load_image(claimed, claimed); }),
              "Image '" + claimed + "' is too large (20000x3); sides of at most 16384 pixels are supported!");
}

// Memory stays bounded by what a model can use: a square of the longest side
// is refused from its header, and only regular files are read, so a device
// or a folder named as an image cannot exhaust memory or block.
TEST(TextureImage, HugeImagesAndNonFilesAreRefusedBeforeDecoding)
{
    TempDir dir;
    RecordingPlatform platform;
    Context ctx(platform);
    const std::string square = (dir / "square.ppm").string();
    write_file(square, "P6\n16384 16384\n255\n");  // claims 256 M pixels
    const std::string over = (dir / "over.ppm").string();
    write_file(over, "P6\n4097 4096\n255\n");  // one column beyond 16 M pixels
    EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, square, "square.ppm"); }),
              "Image 'square.ppm' is too large (16384x16384); at most 16777216 pixels are supported!");
    EXPECT_EQ(fatal_text([&] { load_image(over, "over.ppm"); }),
              "Image 'over.ppm' is too large (4097x4096); at most 16777216 pixels are supported!");

    // The side limit alone still lets a tall bank stack through.
    EXPECT_EQ(load_image(write_png(dir, "tall.png", 4, 16384), "tall.png").height, 16384);

    for (const char* device : {"/dev/zero", "/dev/null"})
        EXPECT_EQ(fatal_text([&] { load_image(device, "z.png"); }), "Failed to load 'z.png'!");
    EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, dir.path().string(), "folder"); }),
              "Failed to load 'folder'!");
}

// The decoder works from the file's bytes: the same image in memory gives the
// same pixels as the file.
TEST(TextureImage, MemoryAndFileGiveTheSamePixels)
{
    TempDir dir;
    RecordingPlatform platform;
    Context ctx(platform);
    std::vector<uint8_t> written;
    const std::string path = write_png(dir, "m.png", 3, 5, &written);
    const std::string bytes = read_file(path);
    EXPECT_EQ(decode_image(bytes, "m.png").pixels, written);
    EXPECT_EQ(fit_texture_image(ctx, bytes, "m.png").pixels, load_texture_image(ctx, path, "m.png").pixels);
}

} // namespace

// Binary greymaps and pixmaps: samples as they stand, the high byte of a
// 16-bit one, header comments skipped; a file that ends before its samples do
// is refused rather than read as unset pixels.
TEST(TextureImage, BinaryGreymapsAndPixmaps)
{
    using namespace std::string_literals;
    const std::vector<uint8_t> grey_pair{0x12, 0x12, 0x12, 0xFF, 0xAB, 0xAB, 0xAB, 0xFF};
    const std::vector<uint8_t> colour_pair{1, 2, 3, 0xFF, 4, 5, 6, 0xFF};
    const struct {
        std::string file;
        std::vector<uint8_t> pixels;
    } cases[] = {
        {"P5\n2 1\n255\n\x12\xAB"s, grey_pair},
        {"P5 # two\n2 1 65535\n\x12\x34\xAB\xCD"s, grey_pair},
        {"P6\n2 1\n200\n\x01\x02\x03\x04\x05\x06"s, colour_pair},
        {"P6\n2\n1\n65535\n\x01\xF0\x02\xF0\x03\xF0\x04\xF0\x05\xF0\x06\xF0"s, colour_pair},
    };
    for (const auto& c : cases) {
        const Image image = decode_image(c.file, "p.pnm");
        EXPECT_EQ(image.width, 2);
        EXPECT_EQ(image.height, 1);
        EXPECT_EQ(image.pixels, c.pixels) << c.file;
    }
    for (const std::string& short_file : {"P5\n2 1\n255\n\x12"s, "P6\n2 1\n65535\n\x01\x02\x03\x04\x05\x06"s})
        EXPECT_EQ(fatal_text([&] { decode_image(short_file, "p.pnm"); }), "Failed to load 'p.pnm'!");
}

// Radiance files: run-length lines decode; data cut short, which the decoder
// would spin on forever (run-length) or leave unset (plain), is refused.
TEST(TextureImage, RadianceFilesCutShortAreRefused)
{
    using namespace std::string_literals;
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";
    // Eight pixels of red 1.0, green 0.5, blue 0.25: mantissas 128, 64, 32 at
    // exponent 129 (2^-7); after gamma 2.2, 255, 186 and 136.
    const std::string line = "\x02\x02\x00\x08\x88\x80\x88\x40\x88\x20\x88\x81"s;
    const Image image = decode_image(header + "-Y 1 +X 8\n" + line, "r.hdr");
    std::vector<uint8_t> expected;
    for (int i = 0; i < 8; ++i)
        expected.insert(expected.end(), {255, 186, 136, 255});
    EXPECT_EQ(image.pixels, expected);

    for (const std::string& cut : {header + "-Y 2 +X 8\n" + line, header + "-Y 1 +X 8\n" + line.substr(0, 6),
                                   header + "-Y 1 +X 2\n\x80\x80\x80\x81\x80\x80"s})
        EXPECT_EQ(fatal_text([&] { decode_image(cut, "r.hdr"); }), "Failed to load 'r.hdr'!");
}
