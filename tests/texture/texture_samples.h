#pragma once

// Small textures built in code for the encoder and emission tests.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/model.h"

namespace texture_samples {

using Rgba = std::array<uint8_t, 4>;

// The 8-bit value that 5-bit level k expands to (k x 255/31, rounded).
inline uint8_t level(int k)
{
    static const uint8_t table[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,
                                      90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                                      181, 189, 197, 206, 214, 222, 230, 239, 247, 255};
    return table[k & 31];
}

// A texture of the loaded size w x h (also its base size) with pixel(x, y).
inline Texture make_texture(int w, int h, const std::function<Rgba(int, int)>& pixel)
{
    Texture texture;
    texture.path = "sample.png";
    texture.width = static_cast<float>(w);
    texture.height = static_cast<float>(h);
    texture.base_width = static_cast<uint16_t>(w);
    texture.base_height = static_cast<uint16_t>(h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba p = pixel(x, y);
            texture.pixels.insert(texture.pixels.end(), p.begin(), p.end());
        }
    return texture;
}

// Distinct opaque colours 0 .. 1023 that are never grey (blue is full,
// red and green vary).
inline Rgba colour(int k)
{
    return {level(k % 32), level(k / 32 % 32), 255, 255};
}

inline Rgba grey(int k, uint8_t alpha = 255)
{
    return {level(k), level(k), level(k), alpha};
}

// Texel i (row-major) takes colour i % count: no half repeats another.
inline Texture colour_ramp(int w, int h, int count)
{
    return make_texture(w, h, [=](int x, int y) { return colour((y * w + x) % count); });
}

inline Texture grey_ramp(int w, int h, int levels, bool alpha = false)
{
    return make_texture(w, h, [=](int x, int y) {
        const int i = y * w + x;
        return grey(i % levels, alpha && i % 2 ? 0 : 255);
    });
}

inline constexpr Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};

// Red, green, blue, red, ... in texel order, four texels a row: CI4 indices
// 01 20 12 01 20 12 01 20 with the palette F801 07C1 003F.
inline Rgba three_colours_at(int x, int y)
{
    const int i = y * 4 + x;
    return i % 3 == 0 ? red : i % 3 == 1 ? green : blue;
}

inline Texture three_colours()
{
    return make_texture(4, 4, three_colours_at);
}

// A pattern of 44 colours with no symmetry of its own.
inline Rgba motif(int x, int y)
{
    return colour((x * 3 + y * 5) % 11 + (x + y) % 4 * 11);
}

// 4 x 4 greyscale, levels 0..15 in texel order (I4 bytes 00 11 22 ... 77),
// or 15..0 with `descending` (77 66 ... 00).
inline Texture grey_steps(bool descending = false)
{
    return make_texture(4, 4, [=](int x, int y) {
        const int i = y * 4 + x;
        return grey(descending ? 15 - i : i);
    });
}

}  // namespace texture_samples
