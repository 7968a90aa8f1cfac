#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/context.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "platform/headless.h"

namespace {

// A mesh the size of a large game model: 60,000 positions with texture
// coordinates and normals and 65,000 triangles in the v/vt/vn form, written
// once to a temporary file.
class GeneratedModel {
public:
    GeneratedModel()
    {
        path_ = (std::filesystem::temp_directory_path() / "tessaloom-bench-model.objex").string();
        std::string text;
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        auto unit = [&next] { return static_cast<double>(next() % 2000001) / 1000000.0 - 1.0; };
        char line[128];
        const int count = 60000;
        // No material library: "skin" is unknown, and its faces get the default material.
        text += "g body\n";
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\n", unit(), unit(), unit());
            text += line;
        }
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "vt %.4f %.4f\n", (unit() + 1) / 2, (unit() + 1) / 2);
            text += line;
        }
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "vn %.3f %.3f %.3f\n", unit(), unit(), unit());
            text += line;
        }
        text += "usemtl skin\n";
        for (int i = 0; i < 65000; ++i) {
            int v[3];
            for (int& k : v)
                k = static_cast<int>(next() % count) + 1;
            std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", v[0], v[1], v[2], v[1], v[2], v[0],
                          v[2], v[0], v[1]);
            text += line;
        }
        size_ = text.size();
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~GeneratedModel() { std::filesystem::remove(path_); }

    const std::string& path() const { return path_; }
    size_t size() const { return size_; }

private:
    std::string path_;
    size_t size_ = 0;
};

void BM_ReadObjex(benchmark::State& state)
{
    static const GeneratedModel generated;
    HeadlessPlatform platform;
    for (auto _ : state) {
        Context ctx(platform);
        Model model;
        read_objex(ctx, generated.path(), model);
        benchmark::DoNotOptimize(model.triangles.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(generated.size()));
    state.counters["file_MB"] = static_cast<double>(generated.size()) / 1e6;
}
BENCHMARK(BM_ReadObjex)->Unit(benchmark::kMillisecond);

}  // namespace
