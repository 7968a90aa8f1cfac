#include "view/texel_sampling.h"

#include <cmath>

#include "dlist/gbi.h"

// Texels of 5-bit channels widened to 8 bits.
static uint8_t widen5(uint32_t c)
{
    return static_cast<uint8_t>((c << 3) | (c >> 2));
}

static Rgba rgba5551(uint16_t word)
{
    return {widen5(word >> 11 & 31), widen5(word >> 6 & 31), widen5(word >> 1 & 31),
            static_cast<uint8_t>(word & 1 ? 255 : 0)};
}

static uint8_t widen4(uint32_t c)
{
    return static_cast<uint8_t>(c << 4 | c);
}

Rgba tile_texel(const RenderState& state, const TileState& tile, uint32_t s, uint32_t t)
{
    const std::array<uint8_t, 4096>& tmem = state.tmem;
    const uint32_t row = tile.tmem * 8u + t * tile.line * 8u;
    auto byte = [&](uint32_t at) { return tmem[at & 0xFFF]; };
    auto nibble = [&]() -> uint32_t {
        const uint8_t b = byte(row + s / 2);
        return s % 2 == 0 ? b >> 4 : b & 15;
    };
    // Palettes sit in the upper half of texture memory.
    auto palette = [&](uint32_t index) {
        const uint32_t at = 2048 + index * 2;
        return rgba5551(static_cast<uint16_t>(byte(at) << 8 | byte(at + 1)));
    };
    switch (tile.fmt) {
    case G_IM_FMT_CI:
        if (tile.siz == G_IM_SIZ_4b)
            return palette(tile.palette * 16u + nibble());
        return palette(byte(row + s));
    case 3:  // IA
        if (tile.siz == G_IM_SIZ_4b) {
            const uint32_t n = nibble();
            const uint8_t i = static_cast<uint8_t>((n >> 1) * 255 / 7);
            return {i, i, i, static_cast<uint8_t>(n & 1 ? 255 : 0)};
        }
        if (tile.siz == G_IM_SIZ_8b) {
            const uint8_t b = byte(row + s);
            const uint8_t i = widen4(b >> 4);
            return {i, i, i, widen4(b & 15)};
        } else {
            const uint8_t i = byte(row + s * 2);
            return {i, i, i, byte(row + s * 2 + 1)};
        }
    case 4:  // I
        if (tile.siz == G_IM_SIZ_4b) {
            const uint8_t i = widen4(nibble());
            return {i, i, i, i};
        } else {
            const uint8_t i = byte(row + s);
            return {i, i, i, i};
        }
    default:  // RGBA
        if (tile.siz == G_IM_SIZ_32b)
            return {byte(row + s * 4), byte(row + s * 4 + 1), byte(row + s * 4 + 2), byte(row + s * 4 + 3)};
        return rgba5551(static_cast<uint16_t>(byte(row + s * 2) << 8 | byte(row + s * 2 + 1)));
    }
}

// One axis: shift, then clamp to the tile's extent (when asked, or when
// there is no mask), then mirror and mask.
static uint32_t wrap_axis(int32_t c, uint8_t shift, uint8_t cm, uint8_t mask, uint16_t low, uint16_t high)
{
    if (shift >= 1 && shift <= 10)
        c >>= shift;
    else if (shift >= 11)
        c <<= 16 - shift;
    c -= low >> 2;
    if ((cm & 2) != 0 || mask == 0) {
        const int32_t last = (high >> 2) - (low >> 2);
        c = c < 0 ? 0 : c > last ? last : c;
    }
    if (mask != 0) {
        if ((cm & 1) != 0 && (c >> mask & 1) != 0)
            c = ~c;
        c &= (1 << mask) - 1;
    }
    return static_cast<uint32_t>(c < 0 ? 0 : c);
}

Rgba sample_tile(const RenderState& state, uint8_t tile, float s, float t)
{
    const TileState& ts = state.tiles[tile & 7];
    const int32_t si = static_cast<int32_t>(std::floor(std::fmax(std::fmin(s, 1e6f), -1e6f)));
    const int32_t ti = static_cast<int32_t>(std::floor(std::fmax(std::fmin(t, 1e6f), -1e6f)));
    return tile_texel(state, ts, wrap_axis(si, ts.shifts, ts.cms, ts.masks, ts.uls, ts.lrs),
                      wrap_axis(ti, ts.shiftt, ts.cmt, ts.maskt, ts.ult, ts.lrt));
}
