#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Context;

// How a pixel is packed. Every Image has the same format: R, G, B, A bytes in
// that memory order, so a pixel read as a little-endian 32-bit word has red in
// the low byte. A channel is ((word & mask) >> shift) << loss.
struct PixelFormat {
    uint8_t bits_per_pixel = 32;
    uint8_t bytes_per_pixel = 4;
    std::array<uint32_t, 4> masks{0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0xFF000000u};
    std::array<uint8_t, 4> losses{0, 0, 0, 0};
    std::array<uint8_t, 4> shifts{0, 8, 16, 24};
};

// One decoded picture, rows top to bottom, 4 bytes a pixel.
struct Image {
    PixelFormat format;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t pitch = 0;  // bytes per row
    std::vector<uint8_t> pixels;
    int32_t channels = 0;
};

// Sides larger than this are refused before decoding.
inline constexpr int32_t max_image_side = 16384;

// So are images of more pixels than this (64 MiB of RGBA): a tall bank stack
// may use the longest side, but not a square of it.
inline constexpr int64_t max_image_pixels = int64_t{16} << 20;

// An empty Image with the standard format.
Image new_image();

// An Image of width x height zero pixels, pitch 4 x width, 4 channels.
Image create_image(int32_t width, int32_t height);

// Decodes the image file at `open_path` to RGBA and fits it to sizes the
// console can use: sides powers of two of at least 4, at most 32768 texels, or
// a short side of 4 with ctx.settings.tiny_textures. A side that is not a power
// of two shows a warning. A file that cannot be decoded, is not a regular file
// of at most 1 GiB, or is absurdly large, is fatal. Messages quote
// `shown_path`, the name as the file that refers to the image wrote it.
Image load_texture_image(Context& ctx, const std::string& open_path, const std::string& shown_path);

// Decodes the image file at `open_path` to RGBA at its own size (bank images
// keep theirs). Fatal on the same conditions as load_texture_image.
Image load_image(const std::string& open_path, const std::string& shown_path);

// The same two, on an image file already in memory.
Image fit_texture_image(Context& ctx, const std::string& file_bytes, const std::string& shown_path);
Image decode_image(const std::string& file_bytes, const std::string& shown_path);
