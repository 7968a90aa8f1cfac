#include "image/image.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include <stb_image.h>
#include <stb_image_resize.h>

#include "base/context.h"
#include "base/input_file.h"
#include "base/messages.h"
#include "image/pnm.h"
#include "image/radiance.h"

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

// The decoded RGBA pixels: the system decoder's own buffer, or the one a
// binary greymap or pixmap is read into. A texture is resampled straight from
// them, so only one decoded copy of a large image is ever held.
struct DecodedPixels {
    std::unique_ptr<stbi_uc, void (*)(void*)> decoder_pixels{nullptr, stbi_image_free};
    std::vector<uint8_t> pnm_pixels;
    int32_t width = 0;
    int32_t height = 0;

    const uint8_t* data() const { return decoder_pixels ? decoder_pixels.get() : pnm_pixels.data(); }
};

static DecodedPixels decode_pixels(const std::string& file_bytes, const std::string& shown_path)
{
    // The decoder takes an int length; the file reader never gives more.
    if (file_bytes.size() > static_cast<size_t>(INT32_MAX))
        fatal_error("Failed to load '%s'!", shown_path.c_str());
    const auto* bytes = reinterpret_cast<const stbi_uc*>(file_bytes.data());
    const int length = static_cast<int>(file_bytes.size());

    // Read only the header first, so a file claiming a huge size is refused
    // before anything is allocated for it.
    int width = 0, height = 0, file_channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &file_channels) || width <= 0 || height <= 0)
        fatal_error("Failed to load '%s'!", shown_path.c_str());
    if (width > max_image_side || height > max_image_side)
        fatal_error("Image '%s' is too large (%dx%d); sides of at most %d pixels are supported!",
                    shown_path.c_str(), width, height, static_cast<int>(max_image_side));
    if (int64_t{width} * height > max_image_pixels)
        fatal_error("Image '%s' is too large (%dx%d); at most %lld pixels are supported!", shown_path.c_str(),
                    width, height, static_cast<long long>(max_image_pixels));

    // Decode to 8-bit RGBA whatever the file holds: binary PNMs here, a
    // Radiance file only when the decoder will find every byte it reads, the
    // rest by the decoder. It must agree with the header it reported, or the
    // limits above would mean nothing.
    DecodedPixels decoded;
    int got_width = 0, got_height = 0;
    if (is_radiance_hdr(file_bytes) && !radiance_data_complete(file_bytes))
        fatal_error("Failed to load '%s'!", shown_path.c_str());
    if (is_binary_pnm(file_bytes)) {
        std::optional<PnmPixels> pnm = decode_binary_pnm(file_bytes);
        if (pnm) {
            got_width = pnm->width;
            got_height = pnm->height;
            decoded.pnm_pixels = std::move(pnm->rgba);
        }
    } else {
        decoded.decoder_pixels.reset(
            stbi_load_from_memory(bytes, length, &got_width, &got_height, &file_channels, 4));
    }
    if ((!decoded.decoder_pixels && decoded.pnm_pixels.empty()) || got_width != width || got_height != height)
        fatal_error("Failed to load '%s'!", shown_path.c_str());
    decoded.width = width;
    decoded.height = height;
    return decoded;
}

// The whole image file, or the load message when it cannot be read.
static std::string read_image_file(const std::string& open_path, const std::string& shown_path)
{
    std::string bytes;
    if (!read_input_file(open_path, bytes))
        fatal_error("Failed to load '%s'!", shown_path.c_str());
    return bytes;
}

Image decode_image(const std::string& file_bytes, const std::string& shown_path)
{
    const DecodedPixels decoded = decode_pixels(file_bytes, shown_path);
    Image image = create_image(decoded.width, decoded.height);
    std::copy(decoded.data(), decoded.data() + image.pixels.size(), image.pixels.begin());
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

Image fit_texture_image(Context& ctx, const std::string& file_bytes, const std::string& path)
{
    const DecodedPixels decoded = decode_pixels(file_bytes, path);

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

    // Copy an image that already fits; resample any other with the library's
    // default filter, clamped edges, linear colour and no alpha weighting.
    Image fitted = create_image(width, height);
    if (width == decoded.width && height == decoded.height)
        std::copy(decoded.data(), decoded.data() + fitted.pixels.size(), fitted.pixels.begin());
    else if (!stbir_resize_uint8(decoded.data(), decoded.width, decoded.height, 0, fitted.pixels.data(),
                                 width, height, 0, 4))
        fatal_error("Failed to resize '%s'!", path.c_str());
    return fitted;
}

Image load_texture_image(Context& ctx, const std::string& open_path, const std::string& shown_path)
{
    return fit_texture_image(ctx, read_image_file(open_path, shown_path), shown_path);
}

Image load_image(const std::string& open_path, const std::string& shown_path)
{
    return decode_image(read_image_file(open_path, shown_path), shown_path);
}
