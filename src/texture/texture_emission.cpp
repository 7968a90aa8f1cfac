#include "texture/texture_emission.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <exception>
#include <numeric>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "base/context.h"
#include "base/header_text.h"
#include "base/messages.h"
#include "base/out_buffer.h"
#include "image/quantize.h"
#include "model/model.h"
#include "texture/texel_encoders.h"
#include "texture/texture_ahead.h"

static constexpr uint32_t not_emitted = 0xFFFFFFFF;
static constexpr uint32_t palette_area_capacity = 0x10000;
static constexpr size_t max_label_length = 8;

// Only word-aligned forced addresses are published.
static bool has_published_address(const Texture& texture)
{
    return (texture.force_address & 3) == 0;
}

std::string texture_label(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string label;
    for (char c : file) {
        if (label.size() >= max_label_length || !std::isalnum(static_cast<unsigned char>(c)))
            break;
        label += c;
    }
    if (label.empty() && !file.empty())
        label = file.substr(0, 1);
    return label;
}

static size_t texel_count(const Texture& texture)
{
    return static_cast<size_t>(texture.width) * static_cast<size_t>(texture.height);
}

// Builds the palette that the textures of one slot share into the palette
// area and gives their texels the palette's colours.
static void build_shared_palette(Model& model, const std::vector<size_t>& members, OutBuffer& palette_area)
{
    // All texels of the slot in one row, in table order.
    std::vector<uint8_t> row;
    size_t largest = 0;
    bool large_load = false;
    for (size_t index : members) {
        const Texture& texture = model.textures[index];
        const size_t count = texel_count(texture);
        if (texture.pixels.size() < 4 * count)
            fatal_error("Texture '%s' has no usable pixels", texture.path.c_str());
        row.insert(row.end(), texture.pixels.begin(), texture.pixels.begin() + static_cast<ptrdiff_t>(4 * count));
        largest = std::max(largest, count);
        // What one texture loads at once; past 2048 texels its indices must
        // be 4-bit, so the palette may hold only 16 colours.
        const size_t load = static_cast<size_t>(texture.width) *
                            std::min<size_t>(static_cast<size_t>(texture.height), texture.base_height);
        large_load = large_load || load > max_indexed_load_texels;
    }
    const size_t total = row.size() / 4;
    if (total > static_cast<size_t>(INT32_MAX))
        fatal_error("The textures sharing palette %d are too large", model.textures[members[0]].palette_slot);

    const uint32_t colours = (largest < 4096 && !large_load) ? 255 : 16;
    quantize_colours(row.data(), static_cast<int32_t>(total), 1, static_cast<int32_t>(colours));

    // The first `colours` distinct colours of the row, as 5551 words without repeats.
    std::unordered_set<uint32_t> keys;
    std::vector<uint8_t> seen_word(65536, 0);
    for (size_t i = 0; i < total && keys.size() < colours; ++i) {
        const uint32_t key = colour_key(row.data() + 4 * i);
        if (!keys.insert(key).second)
            continue;
        const uint16_t word = key_to_rgba5551(key);
        if (seen_word[word])
            continue;
        seen_word[word] = 1;
        ob_write_u16(palette_area, word);
    }
    ob_align8(palette_area);

    // The textures take the quantised texels back.
    size_t at = 0;
    for (size_t index : members) {
        Texture& texture = model.textures[index];
        const size_t bytes = 4 * texel_count(texture);
        std::copy(row.begin() + static_cast<ptrdiff_t>(at), row.begin() + static_cast<ptrdiff_t>(at + bytes),
                  texture.pixels.begin());
        at += bytes;
    }
}

// Converts every texture, in `order`, before any is written; `ready` holds
// the conversions already made (by texture index), which are taken as they
// are. Each conversion reads only its own texture, the settings and the
// shared palettes (which stay where they are until the textures are
// written), so a second thread takes textures from the same queue when the
// machine has a second core; the results are the same whichever thread
// converts which. A conversion that stops keeps its error for the
// texture's turn.
static std::vector<ConvertedTexture> convert_textures(Context& ctx, std::vector<Texture>& textures,
                                                      const std::vector<size_t>& order, const OutBuffer& palette_area,
                                                      std::vector<std::optional<ConvertedTexture>>& ready)
{
    std::vector<ConvertedTexture> converted(order.size());
    std::vector<size_t> queue;  // positions in `order` still to convert
    for (size_t i = 0; i < order.size(); ++i) {
        if (std::optional<ConvertedTexture>& done = ready[order[i]])
            converted[i] = std::move(*done);
        else
            queue.push_back(i);
    }
    std::atomic<size_t> next{0};
    const auto work = [&] {
        TextureScratch scratch;
        for (size_t q = next++; q < queue.size(); q = next++) {
            const size_t i = queue[q];
            Texture& texture = textures[order[i]];
            const bool shared = texture.palette_slot != -1;
            const uint8_t* palette = shared ? palette_area.data() + texture.palette_offset : nullptr;
            try {
                converted[i].block = convert_texture(ctx, scratch, texture, palette, shared ? texture.palette_size : 0);
            } catch (...) {
                converted[i].error = std::current_exception();
                scratch = TextureScratch{};
            }
        }
    };
    std::thread second;
    if (queue.size() > 1 && std::thread::hardware_concurrency() > 1) {
        try {
            second = std::thread(work);
        } catch (const std::system_error&) {
            // No second thread: this one converts them all.
        }
    }
    work();
    if (second.joinable())
        second.join();
    return converted;
}

// One header line per image of a texture with a forced address: a stack of
// bank images names each image.
static void publish_texture(Context& ctx, const Texture& texture)
{
    const uint32_t images = texture.base_height == 0 ? 0 : texture.out_height / texture.base_height;
    if (images == 0)
        return;
    const std::string label = texture_label(texture.path);
    const uint32_t step = texture.data_size / images;
    for (uint32_t i = 0; i < images; ++i) {
        // The address of texel data, not a word holding a pointer: it is not
        // a pointer position.
        const uint32_t address = texture.offset + step * i;
        log_item(ctx, "TEX_", format_text("%s_%u", label.c_str(), i), address);
    }
}

void emit_textures(Context& ctx, Model& model, OutBuffer& out, TexturesAhead* ahead)
{
    std::vector<Texture>& textures = model.textures;

    // The conversions made while the geometry was read, for the textures
    // still exactly as they were handed over.
    std::vector<std::optional<ConvertedTexture>> ready(textures.size());
    if (ahead != nullptr)
        for (size_t i = 0; i < textures.size(); ++i)
            ready[i] = ahead->take(i, textures[i]);

    // Nothing is emitted yet; the banner only when some texture is published.
    bool any_published = false;
    for (Texture& texture : textures) {
        texture.offset = not_emitted;
        any_published = any_published || has_published_address(texture);
    }
    if (any_published)
        log_banner(ctx, "Assembly Textures");

    // Shared palettes, one per slot number in the order the slots first occur.
    OutBuffer palette_area = make_out_buffer(palette_area_capacity);
    {
        std::vector<int32_t> slots;
        std::vector<std::vector<size_t>> members;
        for (size_t i = 0; i < textures.size(); ++i) {
            const int32_t slot = textures[i].palette_slot;
            if (slot == -1)
                continue;
            const auto found = std::find(slots.begin(), slots.end(), slot);
            if (found == slots.end()) {
                slots.push_back(slot);
                members.push_back({i});
            } else {
                members[static_cast<size_t>(found - slots.begin())].push_back(i);
            }
        }
        for (const std::vector<size_t>& group : members) {
            const uint32_t before = palette_area.length;
            build_shared_palette(model, group, palette_area);
            for (size_t index : group) {
                textures[index].palette_offset = before;
                textures[index].palette_size = static_cast<uint16_t>(palette_area.length - before);
            }
        }
    }

    // Emission order: forced addresses from the lowest up, then the textures
    // without one; among equal addresses the later texture goes first.
    std::vector<size_t> order(textures.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (textures[a].force_address != textures[b].force_address)
            return textures[a].force_address < textures[b].force_address;
        return a > b;
    });

    std::vector<ConvertedTexture> converted = convert_textures(ctx, textures, order, palette_area, ready);
    for (size_t i = 0; i < order.size(); ++i) {
        Texture& texture = textures[order[i]];
        ob_align8(out);
        texture.offset = out.length;

        if (converted[i].error)
            std::rethrow_exception(converted[i].error);
        const bool shared = texture.palette_slot != -1;
        const std::vector<uint8_t> block = std::move(converted[i].block);

        // A skipped texture's texels live elsewhere: nothing of it is written.
        if (texture.name_flags & texture_skip)
            continue;
        if (has_published_address(texture))
            publish_texture(ctx, texture);
        ob_write_bytes(out, block.data(), std::min<size_t>(texture.data_size, block.size()));

        // Palettes go into the palette area; data_size keeps where, for now
        // relative to the area's start.
        if (texture.format == texel_format_ci) {
            if (shared) {
                texture.data_size = texture.palette_offset;
            } else {
                const uint32_t before = palette_area.length;
                if (block.size() > texture.data_size)
                    ob_write_bytes(palette_area, block.data() + texture.data_size, block.size() - texture.data_size);
                texture.data_size = before;
            }
        }
    }

    // The palette area follows the last texture.
    for (Texture& texture : textures)
        texture.data_size += out.length;
    ob_write_bytes(out, palette_area.data(), palette_area.length);
}
