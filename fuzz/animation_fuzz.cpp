// The animation reader, on a fixed skeleton of three bones (t.skel).
#include <string>

#include "base/context.h"
#include "fuzz_support.h"
#include "model/animation_reader.h"
#include "model/model.h"
#include "model/skeleton_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = write_fuzz_input("in.anim", data, size);
    QuietPlatform platform;
    Context ctx(platform);
    Model model;
    read_skeleton(model, fuzz_folder() + "t.skel", "t.skel", 1000.0f);
    try {
        read_animations(ctx, model, input, "in.anim");
    } catch (const FatalError&) {
        // A reported error is an expected outcome.
    }
    return 0;
}
