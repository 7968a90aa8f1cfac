#include "image/image.h"

#include <algorithm>
#include <memory>

#include <stb_image.h>
#include <stb_image_resize.h>

#include "base/context.h"
#include "base/messages.h"

// The most texels a texture may have: the texel encoders work on it in
// buffers of 128 KB, 4 bytes a texel.
static constexpr int64_t max_texture_texels = 32768;

Image new_image()
{
    return Image{};
}

Image create_image(int32_t width, int32_t height)
{
    Image image = new_image();
    image.width = width;
    image.height = height;
    image.pitch = 4u * static_cast<uint32_t>(width);
    image.channels = 4;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
    return image;
}

static Image decode_image(const std::string& path)
{
    // Read only the header first, so a file claiming a huge size is refused
    // before anything is allocated for it.
    int width = 0, height = 0, file_channels = 0;
    if (!stbi_info(path.c_str(), &width, &height, &file_channels))
        fatal_error("Failed to load '%s'!", path.c_str());
    if (width > max_image_side || height > max_image_side)
        fatal_error("Image '%s' is too large (%dx%d); sides of at most %d pixels are supported!",
                    path.c_str(), width, height, static_cast<int>(max_image_side));

    // Decode to 8-bit RGBA whatever the file holds.
    std::unique_ptr<stbi_uc, void (*)(void*)> decoded(
        stbi_load(path.c_str(), &width, &height, &file_channels, 4), stbi_image_free);
    if (!decoded || width <= 0 || height <= 0 || width > max_image_side || height > max_image_side)
        fatal_error("Failed to load '%s'!", path.c_str());

    Image image = create_image(width, height);
    std::copy(decoded.get(), decoded.get() + image.pixels.size(), image.pixels.begin());
    return image;
}

static bool is_power_of_two(int32_t side)
{
    return side > 0 && (side & (side - 1)) == 0;
}

// The nearer of the two powers of two around `side` (at least 4); a tie goes up.
static int32_t nearest_power_of_two(int32_t side)
{
    if (is_power_of_two(side))
        return side;
    int32_t lo = 4;
    while (lo * 2 < side)
        lo *= 2;
    const int32_t hi = lo * 2;
    return side - lo < hi - side ? lo : hi;
}

Image load_texture_image(Context& ctx, const std::string& path)
{
    Image decoded = decode_image(path);

    // The console cannot sample textures narrower than 4 texels.
    int32_t width = std::max(decoded.width, 4);
    int32_t height = std::max(decoded.height, 4);

    // Sides must be powers of two; say so once, then round to the nearer one.
    if (!is_power_of_two(width) || !is_power_of_two(height)) {
        show_warning(ctx.platform, "Warning: Dimensions of '%s' are NPOT (%dx%d), attempting to resize now...",
                     path.c_str(), width, height);
        width = nearest_power_of_two(width);
        height = nearest_power_of_two(height);
    }

    // Halve until the texture fits, width first in every pass. A side already
    // at 4 is left alone so that no side drops below the minimum.
    while (int64_t{width} * height > max_texture_texels) {
        if (width > 4)
            width /= 2;
        if (int64_t{width} * height > max_texture_texels && height > 4)
            height /= 2;
    }

    // Tiny textures: the short side becomes 4, the long one keeps the ratio.
    if (ctx.settings.tiny_textures) {
        if (width == height) {
            width = height = 4;
        } else if (width < height) {
            height = height / width * 4;
            width = 4;
        } else {
            width = width / height * 4;
            height = 4;
        }
    }

    if (width == decoded.width && height == decoded.height)
        return decoded;

    // Resample with the library's default filter, clamped edges, linear colour
    // and no alpha weighting.
    Image fitted = create_image(width, height);
    if (!stbir_resize_uint8(decoded.pixels.data(), decoded.width, decoded.height, 0,
                            fitted.pixels.data(), width, height, 0, 4))
        fatal_error("Failed to resize '%s'!", path.c_str());
    return fitted;
}

Image load_image(const std::string& path)
{
    return decode_image(path);
}
