#include <gtest/gtest.h>

#include <stb_image_write.h>

#include "driver/context.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "texture/image.h"

namespace {

// Keeps every message box instead of showing it.
struct RecordingPlatform : Platform {
    std::vector<std::pair<std::string, std::string>> boxes;  // title, text
    void message_box(const std::string& title, const std::string& text, MessageIcon) override
    {
        boxes.emplace_back(title, text);
    }
    int run_main_window(const std::string&) override { return 0; }
    int run_log_window(const std::string&) override { return 0; }
};

// RGBA bytes that differ from pixel to pixel and channel to channel.
std::vector<uint8_t> pattern_pixels(int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 37 + i / 7) & 0xFF);
    return pixels;
}

std::string write_png(const TempDir& dir, const std::string& name, int width, int height,
                      const std::vector<uint8_t>& pixels)
{
    const std::string path = (dir / name).string();
    EXPECT_NE(stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4), 0);
    return path;
}

std::string fatal_text(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FatalError& e) {
        return e.what();
    }
    return "(no error)";
}

struct SizeCase {
    const char* name;
    int width, height;
    bool tiny_textures;
    int fitted_width, fitted_height;
    const char* warned_size;  // the size the warning shows, or null for no warning
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
    const std::string path = write_png(dir, "t.png", c.width, c.height, pattern_pixels(c.width, c.height));
    RecordingPlatform platform;
    Context ctx(platform);
    ctx.settings.tiny_textures = c.tiny_textures;

    const Image image = load_texture_image(ctx, path);

    EXPECT_EQ(image.width, c.fitted_width);
    EXPECT_EQ(image.height, c.fitted_height);
    EXPECT_EQ(image.pitch, 4u * static_cast<uint32_t>(c.fitted_width));
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.pixels.size(), static_cast<size_t>(c.fitted_width) * c.fitted_height * 4);
    if (c.warned_size == nullptr) {
        EXPECT_TRUE(platform.boxes.empty());
    } else {
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].first, "Warning");
        EXPECT_EQ(platform.boxes[0].second, "Warning: Dimensions of '" + path + "' are NPOT (" +
                                                c.warned_size + "), attempting to resize now...");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TextureSizing,
    testing::Values(
        // Small sides are raised to 4 silently; the warning shows the raised size.
        SizeCase{"TwoByTwoRaisedSilently", 2, 2, false, 4, 4, nullptr},
        SizeCase{"ThreeByFiveWarnsAsFourByFive", 3, 5, false, 4, 4, "4x5"},
        // Nearest power of two, ties going up.
        SizeCase{"HundredBySixty", 100, 60, false, 128, 64, "100x60"},
        SizeCase{"NinetySixTieGoesUp", 96, 96, false, 128, 128, "96x96"},
        SizeCase{"EightyGoesDown", 80, 80, false, 64, 64, "80x80"},
        // Above 512 the same rule holds.
        SizeCase{"SixHundredGoesDown", 600, 8, false, 512, 8, "600x8"},
        SizeCase{"SevenSixtyEightTieGoesUp", 768, 4, false, 1024, 4, "768x4"},
        // At most 32768 texels, width halved first in each pass.
        SizeCase{"SquareAtLimitLosesHalfItsWidth", 256, 256, false, 128, 256, nullptr},
        SizeCase{"LargeSquareTwoPasses", 512, 512, false, 128, 256, nullptr},
        SizeCase{"WideStripOnlyWidth", 1024, 64, false, 512, 64, nullptr},
        SizeCase{"RoundedThenHalved", 1000, 1000, false, 128, 256, "1000x1000"},
        // A side already at 4 is not halved below it; the other side gives way.
        SizeCase{"NarrowTallKeepsWidthFour", 4, 16384, false, 4, 8192, nullptr},
        SizeCase{"LongestSideAccepted", 16384, 1, false, 8192, 4, nullptr},
        // Tiny textures keep only the ratio of the sides.
        SizeCase{"TinyWide", 256, 64, true, 16, 4, nullptr},
        SizeCase{"TinyWideTwoToOne", 64, 32, true, 8, 4, nullptr},
        SizeCase{"TinyTall", 32, 128, true, 4, 16, nullptr},
        SizeCase{"TinySquare", 32, 32, true, 4, 4, nullptr},
        SizeCase{"WithinEveryLimit", 64, 32, false, 64, 32, nullptr}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(TextureImage, WithinLimitsKeepsDecodedPixelsExactly)
{
    TempDir dir;
    const std::vector<uint8_t> pixels = pattern_pixels(16, 8);
    const std::string path = write_png(dir, "exact.png", 16, 8, pixels);
    RecordingPlatform platform;
    Context ctx(platform);

    EXPECT_EQ(load_texture_image(ctx, path).pixels, pixels);
}

TEST(TextureImage, ResampledImageKeepsAUniformColour)
{
    TempDir dir;
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 3 * 2; ++i)
        pixels.insert(pixels.end(), {10, 200, 30, 128});
    const std::string path = write_png(dir, "solid.png", 3, 2, pixels);
    RecordingPlatform platform;
    Context ctx(platform);

    const Image image = load_texture_image(ctx, path);
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 4);
    for (size_t i = 0; i < image.pixels.size(); i += 4)
        EXPECT_EQ(std::vector<uint8_t>(image.pixels.begin() + i, image.pixels.begin() + i + 4),
                  (std::vector<uint8_t>{10, 200, 30, 128}))
            << "pixel " << i / 4;
}

TEST(TextureImage, GreyFileDecodesToFourChannels)
{
    TempDir dir;
    const std::string path = (dir / "grey.png").string();
    const std::vector<uint8_t> grey{0, 50, 100, 150, 200, 250, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25};
    ASSERT_NE(stbi_write_png(path.c_str(), 4, 4, 1, grey.data(), 4), 0);

    const Image image = load_image(path);
    ASSERT_EQ(image.pixels.size(), 64u);
    for (size_t i = 0; i < grey.size(); ++i)
        EXPECT_EQ(std::vector<uint8_t>(image.pixels.begin() + 4 * i, image.pixels.begin() + 4 * i + 4),
                  (std::vector<uint8_t>{grey[i], grey[i], grey[i], 255}));
}

TEST(BankImage, KeepsItsOwnSizeWithoutWarning)
{
    TempDir dir;
    const std::vector<uint8_t> pixels = pattern_pixels(3, 5);
    const Image image = load_image(write_png(dir, "bank_QXBANK0x06001000.png", 3, 5, pixels));

    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 5);
    EXPECT_EQ(image.pitch, 12u);
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.pixels, pixels);
}

TEST(ImageFailures, UnreadableFilesAreFatalForTexturesAndBanks)
{
    TempDir dir;
    const std::string missing = (dir / "missing.png").string();
    const std::string garbage = (dir / "garbage.png").string();
    write_file(garbage, "this is not an image at all");
    RecordingPlatform platform;
    Context ctx(platform);

    EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, missing); }), "Failed to load '" + missing + "'!");
    EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, garbage); }), "Failed to load '" + garbage + "'!");
    EXPECT_EQ(fatal_text([&] { load_image(missing); }), "Failed to load '" + missing + "'!");
    EXPECT_EQ(fatal_text([&] { load_image(garbage); }), "Failed to load '" + garbage + "'!");
    EXPECT_TRUE(platform.boxes.empty());
}

TEST(ImageFailures, OversizedFileIsRefused)
{
    TempDir dir;
    const std::string path = write_png(dir, "huge.png", 16385, 1, pattern_pixels(16385, 1));
    RecordingPlatform platform;
    Context ctx(platform);
    const std::string expected =
        "Image '" + path + "' is too large (16385x1); sides of at most 16384 pixels are supported!";

    EXPECT_EQ(fatal_text([&] { load_texture_image(ctx, path); }), expected);
    EXPECT_EQ(fatal_text([&] { load_image(path); }), expected);

    // A header alone claiming a huge picture is refused before any pixel is read.
    const std::string claimed = (dir / "claimed.ppm").string();
    write_file(claimed, "P6\n20000 3\n255\n");
    EXPECT_EQ(fatal_text([&] { load_image(claimed); }),
              "Image '" + claimed + "' is too large (20000x3); sides of at most 16384 pixels are supported!");
}

} // namespace
