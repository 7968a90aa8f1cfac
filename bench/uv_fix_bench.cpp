#include <benchmark/benchmark.h>

#include <cstdint>

#include "model/model.h"
#include "prep/uv_fix.h"

namespace {

// A model at the triangle limit whose texture is tiled far out: the first
// 65,535 triangles of a 182 x 181 grid of quads on a 32 x 32 texture, every corner `far`
// repeats beyond the 32 that fit, a quarter repeat apart, so every triangle
// is out of range and moves `far` repeats down. Once the coordinate table is
// full the fixed triangles share records of equal values.
Model tiled_model(float far)
{
    constexpr int columns = 183, rows = 182;
    Model model;
    Material& material = model.material_table.emplace_back();
    material.tex_width_f = material.tex_height_f = 32;
    material.tex_width = material.tex_height = 32;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            model.vertices.push_back({x * 64.0, y * 64.0, 0, no_bone});
            model.texcoords.push_back({31 + far + static_cast<float>(x % 4) * 0.25f,
                                       31 + far + static_cast<float>(y % 4) * 0.25f});
        }
    constexpr size_t triangles = 65535;
    for (size_t t = 0; t < triangles; ++t) {
        const size_t quad = t / 2;
        const auto x = static_cast<uint16_t>(quad % (columns - 1));
        const auto y = static_cast<uint16_t>(quad / (columns - 1));
        const auto v00 = static_cast<uint16_t>(y * columns + x);
        const auto v10 = static_cast<uint16_t>(v00 + 1);
        const auto v01 = static_cast<uint16_t>(v00 + columns);
        const auto v11 = static_cast<uint16_t>(v01 + 1);
        Triangle triangle;
        triangle.position = t % 2 == 0 ? std::array<uint16_t, 3>{v00, v10, v01} : std::array<uint16_t, 3>{v10, v11, v01};
        triangle.texcoord = triangle.position;
        model.triangles.push_back(triangle);
    }
    model.groups.push_back(Group{"tiled"});
    model.group_starts.push_back(0);
    return model;
}

void BM_FixUvOverflow(benchmark::State& state)
{
    const Model tiled = tiled_model(static_cast<float>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Model model = tiled;
        state.ResumeTiming();
        fix_uv_overflow(model);
        benchmark::DoNotOptimize(model.texcoords.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 65535);
}
// 40 repeats as the tiling of real models goes, and 100,000 far beyond it.
BENCHMARK(BM_FixUvOverflow)->ArgName("repeats")->Arg(40)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
