// Image loading from memory and the texel encoders: the input's first byte
// picks the texture's name (which selects formats and flags) and tiny
// textures; the rest is the image file. The decoded texture goes through the
// whole texture emission, shared palettes included.
#include <string>

#include <stb_image.h>

#include "base/context.h"
#include "base/out_buffer.h"
#include "fuzz_support.h"
#include "image/image.h"
#include "model/material_library.h"
#include "model/model.h"
#include "texture/texture_emission.h"

// Images the loader would decode are kept small: decoding and resampling a
// large one is work in proportion to its size, not a fault, and a few such
// inputs would slow the whole run down. Sizes beyond the loader's limits still
// go through, as their refusal costs nothing.
static constexpr int64_t largest_decoded_pixels = 64 * 64;

static bool too_slow_to_decode(const std::string& file)
{
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(file.data()), static_cast<int>(file.size()),
                               &width, &height, &channels))
        return false;
    const int64_t pixels = int64_t{width} * height;
    const bool refused = width > max_image_side || height > max_image_side || pixels > max_image_pixels;
    return !refused && pixels > largest_decoded_pixels;
}

// Names the reader gives meaning to, as a material library would write them.
static const char* const texture_names[] = {
    "t.png", "t_QXRGBA16.png", "t_QXPAL1.png", "t_QXFORCERGBA16.png",
    "t_QXPAL2_QXRGBA16.png", "t_QXFORCE0x06000000.png", "t_QXPAL3.png", "t.QXSKIP.png",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz_folder();  // silences standard output
    const std::string name = texture_names[data[0] & 7];
    const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
    if (too_slow_to_decode(file))
        return 0;
    QuietPlatform platform;
    Context ctx(platform);
    ctx.log.echo = nullptr;
    ctx.settings.tiny_textures = (data[0] & 8) != 0;
    Model model;
    try {
        const Image image = fit_texture_image(ctx, file, name);
        const size_t marker = name.find("QXPAL");
        find_or_add_texture(model, name, image, static_cast<uint16_t>(image.width),
                            static_cast<uint16_t>(image.height), 0xFFFFFFFF, 0xFFFFFFFF,
                            marker == std::string::npos ? std::nullopt : std::optional<size_t>(marker));
        // A second texture in the same palette slot, when the name has one:
        // the image at the other tiny-texture choice. (At its own size, as a
        // bank image, the palette work grows with up to 16 M pixels, which is
        // work in proportion, not a fault, and too slow for a fuzzing run.)
        if ((data[0] & 16) != 0 && marker != std::string::npos) {
            ctx.settings.tiny_textures = !ctx.settings.tiny_textures;
            const Image other = fit_texture_image(ctx, file, name);
            find_or_add_texture(model, name + "b", other, static_cast<uint16_t>(other.width),
                                static_cast<uint16_t>(other.height), 0xFFFFFFFF, 0xFFFFFFFF,
                                std::optional<size_t>(marker));
        }
        OutBuffer out;
        emit_textures(ctx, model, out);
    } catch (const FatalError&) {
        // A reported error is an expected outcome.
    }
    return 0;
}
