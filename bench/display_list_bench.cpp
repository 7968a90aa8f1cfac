#include <benchmark/benchmark.h>

#include "dlist/display_list.h"
#include "base/context.h"
#include "platform/headless.h"

namespace {

// A model at the triangle limit: a 250 x 240 grid of 60,000 vertices with a
// normal and texture coordinate each, 65,535 triangles in 8 groups, the
// material changing every 700 triangles among four (one textured). The
// triangles either follow the grid, sharing their vertices, or pick their
// corners at random, so that hardly any vertex is shared within a batch.
struct BigModel {
    HeadlessPlatform platform;
    Context ctx{platform};
    Model model;

    explicit BigModel(bool scattered)
    {
        constexpr int columns = 250, rows = 240, groups = 8;
        ctx.settings.base_offset = 0x06000000;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                model.vertices.push_back({x * 16.0, y * 16.0, (x * y) % 97 * 1.0, no_bone});
                model.normals.push_back({0.0f, 1.0f, 0.0f});
                model.texcoords.push_back({x / 32.0f, y / 32.0f});
            }

        Texture texture;
        texture.format = 2;
        texture.bit_size = 0;
        texture.out_width = texture.out_height = texture.base_height = 64;
        model.textures.push_back(texture);
        for (int m = 0; m < 4; ++m) {
            Material material;
            material.r = 0.25f * static_cast<float>(m);
            if (m == 3) {
                material.texture = 0;
                material.tex_width = material.tex_height = 64;
            }
            model.material_table.push_back(material);
        }

        constexpr size_t triangles = 65535;
        uint32_t seed = 1;
        for (size_t t = 0; t < triangles; ++t) {
            const size_t quad = t / 2;
            const auto x = static_cast<uint16_t>(quad % (columns - 1));
            const auto y = static_cast<uint16_t>(quad / (columns - 1));
            const auto v00 = static_cast<uint16_t>(y * columns + x);
            const auto v10 = static_cast<uint16_t>(v00 + 1);
            const auto v01 = static_cast<uint16_t>(v00 + columns);
            const auto v11 = static_cast<uint16_t>(v01 + 1);
            Triangle tri;
            tri.position = (t % 2 == 0) ? std::array<uint16_t, 3>{v00, v10, v01} : std::array<uint16_t, 3>{v10, v11, v01};
            if (scattered)
                for (uint16_t& p : tri.position)
                    p = static_cast<uint16_t>((seed = seed * 1664525u + 1013904223u) >> 8) % (columns * rows);
            tri.normal = tri.position;
            tri.texcoord = tri.position;
            tri.material = static_cast<uint16_t>(t / 700 % 4);
            tri.group = static_cast<uint16_t>(t * groups / triangles);
            model.triangles.push_back(tri);
        }
        for (int g = 0; g < groups; ++g) {
            model.groups.push_back(Group{"part"});
            model.group_starts.push_back(static_cast<uint32_t>(triangles * g / groups));
        }
    }
};

void BM_BuildDisplayLists(benchmark::State& state)
{
    BigModel big(state.range(0) != 0);
    OutBuffer output = make_out_buffer(0x400000);
    DisplayListScratch scratch;
    size_t bytes = 0;
    for (auto _ : state) {
        output.length = 0;
        for (Material& m : big.model.material_table)
            m.material_commands = OutBuffer{};
        for (uint16_t g = 0; g < big.model.group_starts.size(); ++g)
            benchmark::DoNotOptimize(build_display_list(big.ctx, big.model, scratch, output, g, no_bone, "part"));
        bytes = output.length;
    }
    state.counters["object_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildDisplayLists)->ArgName("scattered")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
