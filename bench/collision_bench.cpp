#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "collision/collision_mesh.h"

namespace {

constexpr int triangle_target = 30000;

// A terrain of 90 x 90 positions, every grid cell covered by its four corner
// triangles, cut at 30,000 triangles. `water_every` makes every n-th cell row
// water (0: none, 1: all).
void build_terrain(Model& model, int water_every)
{
    Group group;
    group.name = "terrain COLLISION";
    group.collision = 1;
    group.pos_x = 512.0f;
    add_group(model, group, "bench.objex");
    const char* names[] = {"ground.SOUND_GRASS", "rock.SOUND_STONE.FLOOR_STEEP", "belt.CONVEYOR_2_90",
                           "wall.IGNORE_CAMERA.WALL_NOGRAB", "lake.WATERBOX"};
    for (const char* name : names) {
        model.material_table.emplace_back();
        model.material_table.back().name = name;
    }
    constexpr int side = 90;
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x)
            add_vertex(model, Vertex{x * 100.0, ((x * 7 + z * 13) % 50) * 1.0, z * 100.0}, "bench.objex");
    for (int z = 0; z + 1 < side && model.triangles.size() < triangle_target; ++z)
        for (int x = 0; x + 1 < side && model.triangles.size() < triangle_target; ++x) {
            const uint16_t c[4] = {static_cast<uint16_t>(z * side + x), static_cast<uint16_t>(z * side + x + 1),
                                   static_cast<uint16_t>((z + 1) * side + x + 1),
                                   static_cast<uint16_t>((z + 1) * side + x)};
            const bool water = water_every != 0 && z % water_every == 0;
            for (int omit = 0; omit < 4 && model.triangles.size() < triangle_target; ++omit) {
                Triangle t;
                int k = 0;
                for (int i = 0; i < 4; ++i)
                    if (i != omit)
                        t.position[k++] = c[i];
                t.material = static_cast<uint16_t>(water ? 4 : (x + z) % 4);
                add_triangle(model, t, "bench.objex");
            }
        }
}

// 30,000 water triangles fanned round one position over a rim of 8,000.
void build_fan(Model& model)
{
    Group group;
    group.name = "fan COLLISION";
    group.collision = 1;
    add_group(model, group, "bench.objex");
    model.material_table.emplace_back();
    model.material_table.back().name = "pool.WATERBOX";
    constexpr int rim = 8000;
    add_vertex(model, Vertex{0, 0, 0}, "bench.objex");
    for (int i = 0; i < rim; ++i)
        add_vertex(model, Vertex{static_cast<double>(i % 200) * 10, 0, static_cast<double>(i / 200) * 10},
                   "bench.objex");
    for (int t = 0; t < triangle_target; ++t) {
        Triangle tri;
        tri.position = {0, static_cast<uint16_t>(1 + t % rim), static_cast<uint16_t>(1 + (t + 1) % rim)};
        add_triangle(model, tri, "bench.objex");
    }
}

void run(benchmark::State& state, void (*build)(Model&))
{
    Model model;
    build(model);
    const std::vector<Triangle> triangles = model.triangles;
    OutBuffer out = make_out_buffer(0x400000);
    for (auto _ : state) {
        state.PauseTiming();
        model.triangles = triangles;  // the emission rewrites them
        out.length = 0;
        state.ResumeTiming();
        benchmark::DoNotOptimize(emit_collision(model, 0, 0x06000000, 1024.0f, out));
    }
    state.counters["bytes"] = out.length;
}

void BM_CollisionTerrain(benchmark::State& state)
{
    run(state, [](Model& model) { build_terrain(model, 5); });
}
void BM_CollisionAllWater(benchmark::State& state)
{
    run(state, [](Model& model) { build_terrain(model, 1); });
}
void BM_CollisionWaterFan(benchmark::State& state)
{
    run(state, build_fan);
}

}  // namespace

BENCHMARK(BM_CollisionTerrain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollisionAllWater)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollisionWaterFan)->Unit(benchmark::kMillisecond);
