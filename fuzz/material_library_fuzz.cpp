// The material library reader with its texture references: the input is a
// library beside one small valid image, t.png.
#include <string>

#include "base/context.h"
#include "fuzz_support.h"
#include "model/material_library.h"
#include "model/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = write_fuzz_input("in.mtl", data, size);
    QuietPlatform platform;
    Context ctx(platform);
    Model model;
    try {
        read_material_library(ctx, model, input, "in.mtl");
    } catch (const FatalError&) {
        // A reported error is an expected outcome.
    }
    return 0;
}
