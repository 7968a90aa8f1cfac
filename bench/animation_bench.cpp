#include <benchmark/benchmark.h>

#include <cstdint>

#include "base/context.h"
#include "model/model.h"
#include "output/animation_encoding.h"
#include "platform/headless.h"

namespace {

constexpr size_t bones = 255;
constexpr uint16_t frames = 300;
constexpr size_t channels = 3 + 3 * bones;

// 255 bones over 300 frames. The first `changing` channels move from frame
// to frame; every other channel holds a value of its own, so the constants
// are as many as they can be and each look-up passes all those before it.
// (Joint indices are 16 bits: at 300 frames, at most 219 tracks fit.)
Model build_model(size_t changing)
{
    Model model;
    model.skeletons.emplace_back();
    model.skeletons[0].bones.resize(bones);
    Animation a;
    a.name = "bench";
    a.frame_count = frames;
    a.translations.resize(frames);
    a.rotations.resize(size_t{frames} * bones);
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels; ++c) {
            const bool moves = c < changing;
            // Distinct 16-bit values per channel: 0.4 degrees apart, below a turn.
            const double step = moves ? static_cast<double>(c + f) : static_cast<double>(c);
            if (c < 3)
                a.translations[f][c] = static_cast<int16_t>(step * 7);
            else
                a.rotations[f * bones + (c - 3) / 3][(c - 3) % 3] = static_cast<float>(step * 0.4);
        }
    model.animations.push_back(a);
    return model;
}

void run(benchmark::State& state, size_t changing)
{
    HeadlessPlatform platform;
    Context ctx(platform);
    ctx.log.echo = nullptr;
    const Model model = build_model(changing);
    OutBuffer ob = make_out_buffer(0x400000);
    for (auto _ : state) {
        ob.length = 0;
        encode_animation(ctx, model, 0, ob);
        benchmark::DoNotOptimize(ob.bytes.data());
    }
    state.counters["bytes"] = ob.length;
}

// Every channel constant and distinct: 768 constants, the longest look-ups.
void BM_AnimationAllConstant(benchmark::State& state)
{
    run(state, 0);
}
// 200 tracks of 300 frames beside 568 distinct constants.
void BM_AnimationMixed(benchmark::State& state)
{
    run(state, 200);
}

}  // namespace

BENCHMARK(BM_AnimationAllConstant)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimationMixed)->Unit(benchmark::kMicrosecond);
