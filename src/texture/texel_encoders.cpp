#include "texture/texel_encoders.h"

#include <stb_image_resize.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/context.h"
#include "base/messages.h"
#include "image/quantize.h"
#include "model/model.h"

// Texel counts that bound the format choice.
static constexpr uint32_t grey_texel_limit = 8192;  // 4-bit intensity fills texture memory
static constexpr uint32_t texel_limit = 4096;
static constexpr uint32_t halving_min_texels = 256;
static constexpr int32_t halving_min_side = 16;
// The colour table holds this many keys; one more new key means "more".
static constexpr uint32_t colour_table_keys = 255;
static constexpr uint32_t many_colours = 256;

// (c >> 3) x 255/31 rounded, halves away from zero, for every 5-bit value.
static const std::array<uint8_t, 32> expanded_5bit = [] {
    std::array<uint8_t, 32> table{};
    const float step = 255.0f / 31.0f;
    for (int c5 = 0; c5 < 32; ++c5)
        table[static_cast<size_t>(c5)] = static_cast<uint8_t>(std::lround(static_cast<float>(c5) * step));
    return table;
}();

void snap_to_rgba5551(uint8_t* pixels, int32_t width, int32_t height)
{
    const size_t count = static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = pixels + 4 * i;
        p[0] = expanded_5bit[p[0] >> 3];
        p[1] = expanded_5bit[p[1] >> 3];
        p[2] = expanded_5bit[p[2] >> 3];
        p[3] = p[3] >= 128 ? 255 : 0;
    }
}

static uint32_t read_texel(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

// How block B relates to block A, both `bw` x `bh` texels inside an image of
// `stride` texels a row: 1 when equal, 2 when B is A flipped (left to right
// for `across`, else top to bottom), 0 otherwise.
static int compare_blocks(const uint8_t* a, const uint8_t* b, int32_t bw, int32_t bh, int32_t stride, bool across)
{
    const size_t row_bytes = static_cast<size_t>(bw) * 4;
    const size_t stride_bytes = static_cast<size_t>(stride) * 4;
    bool equal = true;
    for (int32_t y = 0; y < bh && equal; ++y)
        equal = std::memcmp(a + y * stride_bytes, b + y * stride_bytes, row_bytes) == 0;
    if (equal)
        return 1;
    bool flipped = true;
    for (int32_t y = 0; y < bh && flipped; ++y) {
        const uint8_t* row_a = a + y * stride_bytes;
        if (across) {
            const uint8_t* row_b = b + y * stride_bytes;
            for (int32_t x = 0; x < bw && flipped; ++x)
                flipped = read_texel(row_a + 4 * x) == read_texel(row_b + 4 * (bw - 1 - x));
        } else {
            flipped = std::memcmp(row_a, b + (bh - 1 - y) * stride_bytes, row_bytes) == 0;
        }
    }
    return flipped ? 2 : 0;
}

// A set of up to a few hundred colour keys, cleared per texture.
struct KeySet {
    static constexpr size_t slots = 1024;  // a power of two well above 256 keys
    std::array<uint32_t, slots> keys{};
    std::array<uint8_t, slots> used{};

    // Adds the key; false when it was there already.
    bool insert(uint32_t key)
    {
        size_t slot = (key * 2654435761u) >> 22;
        while (used[slot]) {
            if (keys[slot] == key)
                return false;
            slot = (slot + 1) & (slots - 1);
        }
        used[slot] = 1;
        keys[slot] = key;
        return true;
    }
};

// Collects the distinct keys of `count` texels in the order first seen, at
// most `limit` of them. Returns true when a further new key was met.
static bool collect_colours(const uint8_t* texels, size_t count, uint32_t limit, std::vector<uint32_t>& colours)
{
    colours.clear();
    KeySet seen;
    bool have_last = false;
    uint32_t last = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t key = colour_key(texels + 4 * i);
        if (have_last && key == last)
            continue;
        have_last = true;
        last = key;
        if (!seen.insert(key))
            continue;
        if (colours.size() >= limit)
            return true;
        colours.push_back(key);
    }
    return false;
}

// The colour count of the texels as the format choice sees it: the number of
// distinct keys, or 256 when there are more than the colour table holds.
static uint32_t count_colours(const uint8_t* texels, size_t count, std::vector<uint32_t>& colours)
{
    const bool more = collect_colours(texels, count, colour_table_keys, colours);
    return more ? many_colours : static_cast<uint32_t>(colours.size());
}

static void put_u16(std::vector<uint8_t>& block, uint16_t value)
{
    block.push_back(static_cast<uint8_t>(value >> 8));
    block.push_back(static_cast<uint8_t>(value));
}

static void pad_to_8(std::vector<uint8_t>& block)
{
    block.resize((block.size() + 7) & ~static_cast<size_t>(7), 0);
}

static uint32_t squared_distance(uint16_t a, uint16_t b)
{
    uint32_t sum = 0;
    for (int shift : {11, 6, 1}) {
        const int d = expanded_5bit[(a >> shift) & 31] - expanded_5bit[(b >> shift) & 31];
        sum += static_cast<uint32_t>(d * d);
    }
    const int da = ((a & 1) - (b & 1)) * 255;
    return sum + static_cast<uint32_t>(da * da);
}

// Palette indices of texels: the first entry with the texel's 5551 word, or,
// for a word that the palette lacks, the entry nearest to it in RGBA.
class PaletteIndex {
public:
    PaletteIndex(TextureScratch& scratch, const std::vector<uint16_t>& entries)
        : scratch_(scratch), entries_(entries)
    {
        if (scratch_.word_index.empty())
            scratch_.word_index.assign(65536, -1);
        for (size_t i = 0; i < entries_.size(); ++i)
            remember(entries_[i], static_cast<int16_t>(i));
    }
    ~PaletteIndex()
    {
        for (uint16_t word : scratch_.touched_words)
            scratch_.word_index[word] = -1;
        scratch_.touched_words.clear();
    }
    PaletteIndex(const PaletteIndex&) = delete;
    PaletteIndex& operator=(const PaletteIndex&) = delete;

    uint8_t of(uint16_t word)
    {
        int16_t index = scratch_.word_index[word];
        if (index < 0) {
            index = nearest(word);
            remember(word, index);
        }
        return static_cast<uint8_t>(index);
    }

private:
    void remember(uint16_t word, int16_t index)
    {
        if (scratch_.word_index[word] >= 0)
            return;
        scratch_.word_index[word] = index;
        scratch_.touched_words.push_back(word);
    }

    int16_t nearest(uint16_t word) const
    {
        size_t best = 0;
        uint32_t best_distance = UINT32_MAX;
        for (size_t i = 0; i < entries_.size(); ++i) {
            const uint32_t distance = squared_distance(word, entries_[i]);
            if (distance < best_distance) {
                best_distance = distance;
                best = i;
            }
        }
        return static_cast<int16_t>(best);
    }

    TextureScratch& scratch_;
    const std::vector<uint16_t>& entries_;
};

static uint16_t texel_word(const uint8_t* p)
{
    return rgba5551_word(p[0], p[1], p[2], p[3]);
}

// RGBA16: one 5551 word a texel, high byte first.
static std::vector<uint8_t> encode_rgba16(const uint8_t* texels, size_t count)
{
    std::vector<uint8_t> block;
    block.reserve(2 * count);
    for (size_t i = 0; i < count; ++i)
        put_u16(block, texel_word(texels + 4 * i));
    return block;
}

// Greyscale texels: I4 and I8 keep the intensity, IA8 and IA16 add alpha.
static std::vector<uint8_t> encode_intensity(const uint8_t* texels, size_t count, uint8_t format, uint8_t bit_size)
{
    std::vector<uint8_t> block;
    if (format == texel_format_i && bit_size == texel_size_4) {
        // Two texels a byte: the first in the high nibble. An odd count
        // leaves the last low nibble 0.
        block.resize((count + 1) / 2, 0);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t r = texels[4 * i];
            block[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(r & 0xF0) : static_cast<uint8_t>(r >> 4);
        }
    } else if (format == texel_format_i) {
        block.resize(count);
        for (size_t i = 0; i < count; ++i)
            block[i] = texels[4 * i];
    } else if (bit_size == texel_size_8) {
        block.resize(count);
        for (size_t i = 0; i < count; ++i)
            block[i] = static_cast<uint8_t>((texels[4 * i] & 0xF0) | (texels[4 * i + 3] >> 4));
    } else {
        block.resize(2 * count);
        for (size_t i = 0; i < count; ++i) {
            block[2 * i] = texels[4 * i];
            block[2 * i + 1] = texels[4 * i + 3];
        }
    }
    return block;
}

// CI4 or CI8 indices into `entries`.
static std::vector<uint8_t> encode_indices(TextureScratch& scratch, const uint8_t* texels, size_t count,
                                           const std::vector<uint16_t>& entries, bool four_bit)
{
    PaletteIndex index(scratch, entries);
    std::vector<uint8_t> block;
    if (four_bit) {
        block.resize((count + 1) / 2, 0);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t value = static_cast<uint8_t>(index.of(texel_word(texels + 4 * i)) & 0x0F);
            block[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(value << 4) : value;
        }
    } else {
        block.resize(count);
        for (size_t i = 0; i < count; ++i)
            block[i] = index.of(texel_word(texels + 4 * i));
    }
    return block;
}

// Clears what an earlier conversion decided and snaps every texel to what the
// console's 16-bit colours hold, so that equal texels below mean equal
// texels on the console.
static void snap_texels(Texture& texture, int32_t width, int32_t height)
{
    texture.data_size = 0;
    texture.has_alpha = 0;
    texture.mirror_s = 0;
    texture.mirror_t = 0;
    texture.shift_s = 0;
    texture.shift_t = 0;
    texture.is_uniform = 1;
    snap_to_rgba5551(texture.pixels.data(), width, height);
}

// Keeps one half of a texture whose halves repeat or mirror each other; the
// tile's wrap or mirror mode draws the other half. The kept texels go to
// scratch.working; `w` and `h` become their size.
static void keep_repeating_half(TextureScratch& scratch, Texture& texture, int32_t& w, int32_t& h, bool base)
{
    int32_t keep_w = w;
    int32_t keep_h = h;
    if (static_cast<uint32_t>(w) * static_cast<uint32_t>(h) > halving_min_texels && base && w > halving_min_side &&
        h > halving_min_side) {
        const int32_t hw = w / 2;
        const int32_t hh = h / 2;
        const uint8_t* p = texture.pixels.data();
        const size_t row = static_cast<size_t>(w) * 4;
        const uint8_t* tl = p;
        const uint8_t* tr = p + static_cast<size_t>(hw) * 4;
        const uint8_t* bl = p + static_cast<size_t>(hh) * row;
        const uint8_t* br = bl + static_cast<size_t>(hw) * 4;
        const int s_top = compare_blocks(tl, tr, hw, hh, w, true);
        const int s_bottom = compare_blocks(bl, br, hw, hh, w, true);
        const int t_left = compare_blocks(tl, bl, hw, hh, w, false);
        const int t_right = compare_blocks(tr, br, hw, hh, w, false);
        // An odd side cannot be cut in two without losing a column or row,
        // and the quadrants leave that column or row uncompared, so neither
        // half may be kept alone.
        const bool even = w % 2 == 0 && h % 2 == 0;
        const int s = (s_top == s_bottom && even) ? s_top : 0;
        const int t = (t_left == t_right && even) ? t_left : 0;
        if (s != 0)
            keep_w = hw;
        if (t != 0)
            keep_h = hh;
        texture.mirror_s = s == 2 ? 1 : 0;
        texture.mirror_t = t == 2 ? 1 : 0;
    }
    scratch.working.resize(static_cast<size_t>(keep_w) * static_cast<size_t>(keep_h) * 4);
    for (int32_t y = 0; y < keep_h; ++y)
        std::memcpy(scratch.working.data() + static_cast<size_t>(y) * keep_w * 4,
                    texture.pixels.data() + static_cast<size_t>(y) * w * 4, static_cast<size_t>(keep_w) * 4);
    w = keep_w;
    h = keep_h;
    texture.out_width = static_cast<uint16_t>(w);
    texture.out_height = static_cast<uint16_t>(h);
}

namespace {

// What one pass over the texels learns besides the texture's own flags.
struct TexelScan {
    bool greyscale = true;
    std::array<uint32_t, 4> average{};  // running average of R, G, B, A
};

}  // namespace

// Scans the texels for alpha, greyscale, one colour or more, and the running
// average: each texel after the first halves the sum with the average so far.
static TexelScan scan_texels(Texture& texture, const uint8_t* t, size_t n)
{
    TexelScan scan;
    const uint32_t first = read_texel(t);
    for (int c = 0; c < 4; ++c)
        scan.average[static_cast<size_t>(c)] = t[c];
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = t + 4 * i;
        if (p[3] != 255)
            texture.has_alpha = 1;
        if (p[0] != p[1] || p[1] != p[2])
            scan.greyscale = false;
        if (read_texel(p) != first)
            texture.is_uniform = 0;
        if (i > 0)
            for (int c = 0; c < 4; ++c)
                scan.average[static_cast<size_t>(c)] = (scan.average[static_cast<size_t>(c)] + p[c]) >> 1;
    }
    return scan;
}

// Texture memory: halves a texture that is still too large, width first,
// resampling the working texels; the halvings are kept as the tile's shifts.
static void fit_texture_memory(TextureScratch& scratch, Texture& texture, int32_t& w, int32_t& h, bool greyscale,
                               bool base)
{
    const uint32_t limit = greyscale && !texture.has_alpha ? grey_texel_limit : texel_limit;
    if (static_cast<size_t>(w) * static_cast<size_t>(h) <= limit || !base)
        return;
    const int32_t from_w = w;
    const int32_t from_h = h;
    while (static_cast<uint32_t>(w) * static_cast<uint32_t>(h) > limit) {
        if (w > 1) {
            w /= 2;
            ++texture.shift_s;
        }
        if (static_cast<uint32_t>(w) * static_cast<uint32_t>(h) > limit && h > 1) {
            h /= 2;
            ++texture.shift_t;
        }
    }
    scratch.resampled.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    stbir_resize_uint8(scratch.working.data(), from_w, from_h, 0, scratch.resampled.data(), w, h, 0, 4);
    std::swap(scratch.working, scratch.resampled);
    scratch.working.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    texture.out_width = static_cast<uint16_t>(w);
    texture.out_height = static_cast<uint16_t>(h);
}

// Colour reduction: decides whether, and to how many colours, to quantise
// the working texels, and does it. `count` is the number of colours (or of
// shared palette entries) and follows the reduction.
static void reduce_colours(Context& ctx, TextureScratch& scratch, int32_t w, int32_t h,
                           bool greyscale, bool base, bool shared, bool indexed_needs_4bit, uint32_t& count)
{
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    const bool colour = !greyscale;
    bool reduce = false;
    bool small = false;
    if (shared && !(count > 16 && n != 4096)) {
        reduce = true;
        small = true;
    } else if (ctx.settings.tiny_textures) {
        reduce = true;
        small = true;
    } else if ((colour && n >= 4096) || !base || count > colour_table_keys) {
        reduce = true;
    }
    int32_t quantize_to = 0;
    if (reduce) {
        if (base) {
            if (count < many_colours || small) {
                if (count > 16)
                    quantize_to = 16;
            } else {
                quantize_to = 256;
            }
        } else if (count > colour_table_keys) {
            quantize_to = 256;
        }
    }
    // A colour-indexed texture that loads more than 2048 texels only fits
    // beside its palette with 4-bit indices, so 16 colours.
    if (indexed_needs_4bit && !shared && count > 16)
        quantize_to = 16;
    if (quantize_to != 0) {
        quantize_colours(scratch.working.data(), w, h, quantize_to, scratch.quantize);
        if (!shared)
            count = count_colours(scratch.working.data(), n, scratch.colours);
    }
}

// Colour-indexed texels: the palette is the shared one or the texture's own
// colours in the order first seen, 4-bit indices with at most 16 entries.
// A texture with its own palette has it appended, each part padded to 8.
static std::vector<uint8_t> encode_colour_indexed(TextureScratch& scratch, Texture& texture, const uint8_t* texels,
                                                  size_t n, const uint8_t* shared_palette, uint32_t palette_bytes,
                                                  bool indexed_needs_4bit)
{
    const bool shared = shared_palette != nullptr;
    std::vector<uint16_t> entries;
    if (shared) {
        entries.reserve(palette_bytes / 2);
        for (uint32_t i = 0; i + 1 < palette_bytes; i += 2)
            entries.push_back(static_cast<uint16_t>(shared_palette[i] << 8 | shared_palette[i + 1]));
    } else {
        std::vector<uint8_t> seen(65536 / 8, 0);
        for (uint32_t key : scratch.colours) {
            const uint16_t word = key_to_rgba5551(key);
            if (seen[word >> 3] & (1 << (word & 7)))
                continue;
            seen[word >> 3] = static_cast<uint8_t>(seen[word >> 3] | (1 << (word & 7)));
            entries.push_back(word);
        }
    }
    // Colours with alpha can still outnumber 16 entries; a 4-bit texture
    // keeps the first 16 (all that its palette load brings) and maps the rest
    // to the nearest of them.
    if (indexed_needs_4bit && entries.size() > 16)
        entries.resize(16);
    const bool four_bit = entries.size() <= 16;
    texture.format = texel_format_ci;
    texture.bit_size = four_bit ? texel_size_4 : texel_size_8;
    std::vector<uint8_t> block = encode_indices(scratch, texels, n, entries, four_bit);
    pad_to_8(block);
    texture.data_size = static_cast<uint32_t>(block.size());
    if (!shared) {
        for (uint16_t word : entries)
            put_u16(block, word);
        pad_to_8(block);
    }
    return block;
}

std::vector<uint8_t> convert_texture(Context& ctx, TextureScratch& scratch, Texture& texture,
                                     const uint8_t* shared_palette, uint32_t palette_bytes)
{
    const int32_t width = static_cast<int32_t>(texture.width);
    const int32_t height = static_cast<int32_t>(texture.height);
    if (width <= 0 || height <= 0 ||
        texture.pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4)
        fatal_error("Texture '%s' has no usable pixels (%dx%d)", texture.path.c_str(), width, height);

    snap_texels(texture, width, height);
    // A stack of bank images is taller than one image: it is neither halved
    // nor cut down to fit, since every image must stay whole.
    const bool base = height == texture.base_height;
    int32_t w = width;
    int32_t h = height;
    keep_repeating_half(scratch, texture, w, h, base);

    const TexelScan scan = scan_texels(texture, scratch.working.data(), static_cast<size_t>(w) * static_cast<size_t>(h));
    const bool shared = shared_palette != nullptr;
    uint32_t count = shared ? palette_bytes / 2
                            : count_colours(scratch.working.data(), static_cast<size_t>(w) * static_cast<size_t>(h),
                                            scratch.colours);
    fit_texture_memory(scratch, texture, w, h, scan.greyscale, base);
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    const uint8_t* texels = scratch.working.data();

    // Forced 16-bit RGBA, when the texels fit texture memory. Its texels are
    // loaded even when they are all alike, so it never counts as one colour.
    if (texture.name_flags & texture_force_rgba16) {
        if (2 * n <= texture_memory_bytes) {
            std::vector<uint8_t> block = encode_rgba16(texels, n);
            texture.is_uniform = 0;
            texture.format = texel_format_rgba;
            texture.bit_size = texel_size_16;
            texture.data_size = static_cast<uint32_t>(block.size());
            return block;
        }
        texture.name_flags = static_cast<uint8_t>(texture.name_flags & ~texture_force_rgba16);
    }

    const std::array<uint32_t, 4>& average = scan.average;
    texture.average_colour = average[0] << 24 | average[1] << 16 | average[2] << 8 | average[3];
    // A texture of one colour is drawn with that colour and emits nothing.
    if (texture.is_uniform)
        return {};

    const uint32_t load = static_cast<uint32_t>(w) * std::min<uint32_t>(static_cast<uint32_t>(h), texture.base_height);
    const bool indexed_needs_4bit = !scan.greyscale && load > max_indexed_load_texels;
    reduce_colours(ctx, scratch, w, h, scan.greyscale, base, shared, indexed_needs_4bit, count);

    // Encode in the format the image calls for.
    if (scan.greyscale) {
        if (!texture.has_alpha) {
            texture.format = texel_format_i;
            texture.bit_size = (count <= 16 || n > texel_limit) ? texel_size_4 : texel_size_8;
        } else {
            // 16-bit intensity and alpha loads at most 2048 texels.
            texture.format = texel_format_ia;
            texture.bit_size = (count <= 16 || load > max_indexed_load_texels) ? texel_size_8 : texel_size_16;
        }
        std::vector<uint8_t> block = encode_intensity(texels, n, texture.format, texture.bit_size);
        texture.data_size = static_cast<uint32_t>(block.size());
        return block;
    }
    return encode_colour_indexed(scratch, texture, texels, n, shared_palette, palette_bytes, indexed_needs_4bit);
}
