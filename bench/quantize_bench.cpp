#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "image/quantize.h"

// A 128 x 256 picture of smoothly varying colours with noise on top, so that
// most texels land in leaves of their own.
static std::vector<uint8_t> varied_picture(int width, int height)
{
    std::vector<uint8_t> texels(static_cast<size_t>(width) * height * 4);
    uint32_t state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            uint8_t* t = &texels[(static_cast<size_t>(y) * width + x) * 4];
            t[0] = static_cast<uint8_t>(x * 2 + (state & 0x1F));
            t[1] = static_cast<uint8_t>(y + ((state >> 8) & 0x1F));
            t[2] = static_cast<uint8_t>((x + y) + ((state >> 16) & 0x3F));
            t[3] = 255;
        }
    }
    return texels;
}

static void quantize_128x256_to_16(benchmark::State& state)
{
    const std::vector<uint8_t> picture = varied_picture(128, 256);
    std::vector<uint8_t> texels;
    for (auto _ : state) {
        state.PauseTiming();
        texels = picture;
        state.ResumeTiming();
        quantize_colours(texels.data(), 128, 256, 16);
        benchmark::DoNotOptimize(texels.data());
    }
}
BENCHMARK(quantize_128x256_to_16)->Unit(benchmark::kMillisecond);
