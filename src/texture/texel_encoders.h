#pragma once

#include <cstdint>
#include <vector>

#include "image/quantize.h"

struct Context;
struct Texture;

// The console's texel formats (Texture::format) and sizes (Texture::bit_size).
inline constexpr uint8_t texel_format_rgba = 0;
inline constexpr uint8_t texel_format_ci = 2;
inline constexpr uint8_t texel_format_ia = 3;
inline constexpr uint8_t texel_format_i = 4;
inline constexpr uint8_t texel_size_4 = 0;
inline constexpr uint8_t texel_size_8 = 1;
inline constexpr uint8_t texel_size_16 = 2;

// Texture memory: 4 KB, of which a colour-indexed texture may use the lower
// half only, since its palette is loaded into the upper half. A block load
// moves at most 2048 words of texels.
inline constexpr uint32_t texture_memory_bytes = 4096;
inline constexpr uint32_t max_indexed_load_texels = 2048;

// Working storage of the encoders, allocated on first use. The texture
// emission keeps one for every texture of the conversion.
struct TextureScratch {
    std::vector<uint8_t> working;    // the texels being converted, RGBA
    std::vector<uint8_t> resampled;  // the working texels after the memory-limit halving
    std::vector<uint32_t> colours;   // distinct colour keys in the order first seen
    // Palette position of each 16-bit RGBA 5551 word while one texture is
    // encoded; -1 where the word is not (yet) known. Only touched words are reset.
    std::vector<int16_t> word_index;
    std::vector<uint16_t> touched_words;
    QuantizeScratch quantize;
};

// The 16-bit RGBA 5551 word of an RGBA texel: 5 bits each of red, green and
// blue, and one bit set when alpha is at least 128.
inline uint16_t rgba5551_word(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 3) << 6 | (b >> 3) << 1 | (a >= 128 ? 1 : 0));
}

// The colour key of a texel: R << 24 | G << 16 | B << 8 | the alpha bit as 0 or 255.
inline uint32_t colour_key(const uint8_t* texel)
{
    return static_cast<uint32_t>(texel[0]) << 24 | static_cast<uint32_t>(texel[1]) << 16 |
           static_cast<uint32_t>(texel[2]) << 8 | (texel[3] >= 128 ? 255u : 0u);
}

inline uint16_t key_to_rgba5551(uint32_t key)
{
    return rgba5551_word(static_cast<uint8_t>(key >> 24), static_cast<uint8_t>(key >> 16),
                         static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key));
}

// Rounds every texel to what RGBA 5551 can hold, expanded back to 8 bits: each
// colour channel becomes the nearest whole number to (c >> 3) x 255/31, alpha
// becomes 255 from 128 up and 0 below.
void snap_to_rgba5551(uint8_t* pixels, int32_t width, int32_t height);

// Turns the texture's RGBA pixels into console texels and stores the choices
// (format, size, flags, average colour, halving shifts) back into it.
// `shared_palette` is null, or the big-endian 5551 entries of the palette that
// the texture shares with others, `palette_bytes` long with its padding.
// Returns the texel block padded as the format needs; a colour-indexed texture
// with its own palette has that palette appended (each part padded to 8
// bytes), and `data_size` counts the texels only. Empty when nothing is
// emitted (a texture of one colour).
std::vector<uint8_t> convert_texture(Context& ctx, TextureScratch& scratch, Texture& texture,
                                     const uint8_t* shared_palette, uint32_t palette_bytes);
