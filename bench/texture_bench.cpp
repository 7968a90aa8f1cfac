#include <benchmark/benchmark.h>

#include <stb_image_write.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/context.h"
#include "model/material_library.h"
#include "model/model.h"
#include "base/out_buffer.h"
#include "platform/headless.h"
#include "texture/texture_emission.h"

namespace {

namespace fs = std::filesystem;

constexpr int texture_count = 64;
constexpr int side = 64;

// 64 different 64 x 64 PNGs, a quarter each of smooth colour, greyscale,
// greyscale with alpha and colour noise, with a library naming them all.
struct TextureSet {
    fs::path folder;

    TextureSet()
    {
        std::string pattern = (fs::temp_directory_path() / "tessaloom-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder = pattern;
        std::ofstream library(folder / "bench.mtl", std::ios::binary);
        uint32_t seed = 12345;
        for (int k = 0; k < texture_count; ++k) {
            std::vector<uint8_t> pixels;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const uint8_t noise = static_cast<uint8_t>(seed >> 24);
                    uint8_t r, g, b, a = 255;
                    switch (k % 4) {
                    case 0:  // colour gradient
                        r = static_cast<uint8_t>(x * 4);
                        g = static_cast<uint8_t>(y * 4);
                        b = static_cast<uint8_t>((x + y + k) * 2);
                        break;
                    case 1:  // greyscale
                        r = g = b = static_cast<uint8_t>((x * 3 + y + k) & 0xFF);
                        break;
                    case 2:  // greyscale with alpha
                        r = g = b = static_cast<uint8_t>(x * 4 + k);
                        a = static_cast<uint8_t>((x + y) % 3 == 0 ? 0 : 255);
                        break;
                    default:  // noise
                        r = noise;
                        g = static_cast<uint8_t>(noise * 7 + k);
                        b = static_cast<uint8_t>(seed >> 16);
                        break;
                    }
                    pixels.insert(pixels.end(), {r, g, b, a});
                }
            char name[32];
            std::snprintf(name, sizeof name, "t%d.png", k);
            stbi_write_png((folder / name).c_str(), side, side, 4, pixels.data(), side * 4);
            library << "newmtl m" << k << "\nmap_Kd " << name << "\n";
        }
    }
    ~TextureSet()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

// Reading the library (decoding and sharing every image) and emitting every
// texture, as one conversion does.
void BM_TextureStages(benchmark::State& state)
{
    static const TextureSet set;
    const std::string library = (set.folder / "bench.mtl").string();
    HeadlessPlatform platform;
    for (auto _ : state) {
        Context ctx(platform);
        ctx.log.echo = nullptr;
        Model model;
        read_material_library(ctx, model, library);
        OutBuffer out;
        emit_textures(ctx, model, out);
        benchmark::DoNotOptimize(out.length);
    }
}
BENCHMARK(BM_TextureStages)->Unit(benchmark::kMillisecond);

}  // namespace
