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
// triangles in 100 groups, 50 untextured materials. Neighbouring triangles
// share corners, as in a real mesh, so the display lists batch realistically.
class LimitModel {
public:
    LimitModel()
    {
        dir_ = fs::temp_directory_path() / "tessaloom-bench-conversion";
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
        const int columns = 250, rows = 240;  // 60,000 grid points
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\nvt %.4f %.4f\nvn 0 1 0\n", c * 0.05, (c * r % 17) * 0.01,
                              r * 0.05, c / 250.0, r / 240.0);
                text += line;
            }
        int triangles = 0;
        for (int r = 0; r + 1 < rows && triangles < 65535; ++r) {
            if (r % 3 == 0) {
                std::snprintf(line, sizeof line, "g part%d\nusemtl mat%d\n", r / 3 % 100, r / 3 % 50);
                text += line;
            }
            for (int c = 0; c + 1 < columns && triangles < 65535; ++c) {
                const int a = r * columns + c + 1, b = a + 1, d = a + columns, e = d + 1;
                std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, d, d, d);
                text += line;
                if (++triangles < 65535) {
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

const LimitModel& limit_model()
{
    static const LimitModel model;
    return model;
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

// The real executable, headless, from process start to exit.
void BM_ConvertLimitModelProcess(benchmark::State& state)
{
    const LimitModel& files = limit_model();
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
BENCHMARK(BM_ConvertLimitModelProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
