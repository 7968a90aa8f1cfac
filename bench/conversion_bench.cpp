// A whole conversion of a model at the data model's limits: each stage in
// process, and the real executable from process start to exit.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/context.h"
#include "model/model.h"
#include "model/objex_reader.h"
#include "output/object_assembly.h"
#include "platform/headless.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// About 60,000 positions with texture coordinates and normals, 65,535
// triangles, 50 untextured materials. Neighbouring triangles share corners,
// as in a real mesh, so the display lists batch realistically.
//   plain:   the triangles in 100 groups;
//   mesh:    60,000 of them in one group named riggedmesh, no skeleton;
//   rigged:  the same with a skeleton of 255 bones in one deep chain, the
//            grid's rows spread over the bones.
enum class LimitKind { plain, mesh, rigged };

class LimitModel {
public:
    explicit LimitModel(LimitKind kind)
    {
        static const char* const names[] = {"plain", "mesh", "rigged"};
        dir_ = fs::temp_directory_path() / (std::string("tessaloom-bench-conversion-") + names[static_cast<int>(kind)]);
        fs::create_directories(dir_);
        std::string mtl;
        char line[160];
        for (int m = 0; m < 50; ++m) {
            std::snprintf(line, sizeof line, "newmtl mat%d\nKd %.2f %.2f 0.5\n%s\n", m, m / 50.0, 1 - m / 50.0,
                          m % 7 == 0 ? "d 0.5" : "illum 2");
            mtl += line;
        }
        std::ofstream(dir_ / "limit.mtl", std::ios::binary) << mtl;

        std::string text = "mtllib limit.mtl\n";
        constexpr int bones = 255;
        if (kind == LimitKind::rigged) {
            std::string skeleton = "limbs 255\n";
            for (int b = 0; b < bones; ++b) {
                std::snprintf(line, sizeof line, "+ \"bone%d\" {0 0 %.2f}\n", b, b == 0 ? 0.0 : 0.05);
                skeleton += line;
            }
            for (int b = 0; b < bones; ++b)
                skeleton += "-\n";
            std::ofstream(dir_ / "limit.skel", std::ios::binary) << skeleton;
            text += "skeleton limit.skel\n";
        }
        const int columns = 250, rows = 240;  // 60,000 grid points
        for (int r = 0; r < rows; ++r) {
            if (kind == LimitKind::rigged && r * bones / rows != (r - 1) * bones / rows) {
                std::snprintf(line, sizeof line, "bone %d\n", r * bones / rows);
                text += line;
            }
            for (int c = 0; c < columns; ++c) {
                std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\nvt %.4f %.4f\nvn 0 1 0\n", c * 0.05, (c * r % 17) * 0.01,
                              r * 0.05, c / 250.0, r / 240.0);
                text += line;
            }
        }
        const int triangle_limit = kind == LimitKind::plain ? 65535 : 60000;
        if (kind != LimitKind::plain)
            text += "g riggedmesh\n";
        int triangles = 0;
        for (int r = 0; r + 1 < rows && triangles < triangle_limit; ++r) {
            if (r % 3 == 0) {
                if (kind == LimitKind::plain)
                    std::snprintf(line, sizeof line, "g part%d\nusemtl mat%d\n", r / 3 % 100, r / 3 % 50);
                else
                    std::snprintf(line, sizeof line, "usemtl mat%d\n", r / 3 % 50);
                text += line;
            }
            for (int c = 0; c + 1 < columns && triangles < triangle_limit; ++c) {
                const int a = r * columns + c + 1, b = a + 1, d = a + columns, e = d + 1;
                std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, d, d, d);
                text += line;
                if (++triangles < triangle_limit) {
                    std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", b, b, b, e, e, e, d, d, d);
                    text += line;
                    ++triangles;
                }
            }
        }
        std::ofstream(dir_ / "limit.objex", std::ios::binary) << text;
    }
    ~LimitModel() { fs::remove_all(dir_); }

    std::string input() const { return (dir_ / "limit.objex").string(); }
    std::string output() const { return (dir_ / "limit.zobj").string(); }

private:
    fs::path dir_;
};

const LimitModel& limit_model(LimitKind kind = LimitKind::plain)
{
    static const LimitModel plain(LimitKind::plain), mesh(LimitKind::mesh), rigged(LimitKind::rigged);
    return kind == LimitKind::plain ? plain : kind == LimitKind::mesh ? mesh : rigged;
}

struct QuietContext {
    HeadlessPlatform platform;
    Context ctx{platform};
    QuietContext()
    {
        ctx.settings.base_offset = 0x06000000;
        ctx.settings.write_header = false;
        ctx.log.echo = nullptr;
    }
};

void BM_ReadLimitModel(benchmark::State& state)
{
    const LimitModel& files = limit_model();
    for (auto _ : state) {
        QuietContext q;
        Model model;
        read_objex(q.ctx, files.input(), model);
        benchmark::DoNotOptimize(model.triangles.data());
    }
}
BENCHMARK(BM_ReadLimitModel)->Unit(benchmark::kMillisecond);

void BM_AssembleLimitModel(benchmark::State& state)
{
    const LimitModel& files = limit_model();
    for (auto _ : state) {
        state.PauseTiming();
        QuietContext q;
        Model model;
        read_objex(q.ctx, files.input(), model);
        state.ResumeTiming();
        assemble_object(q.ctx, model, files.output(), false, false);
    }
}
BENCHMARK(BM_AssembleLimitModel)->Unit(benchmark::kMillisecond);

// The real executable, headless, from process start to exit; the argument
// picks the model (0 plain, 1 one mesh group, 2 the mesh rigged).
void BM_ConvertLimitModelProcess(benchmark::State& state)
{
    const LimitModel& files = limit_model(static_cast<LimitKind>(state.range(0)));
    std::string exe = TESSALOOM_EXE;
    std::string mode = "object", input = files.input(), output = files.output(), nh = "-nh";
    char* argv[] = {exe.data(), mode.data(), input.data(), output.data(), nh.data(), nullptr};
    setenv("TESSALOOM_HEADLESS", "1", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("could not start the executable");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_ConvertLimitModelProcess)->ArgName("model")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
