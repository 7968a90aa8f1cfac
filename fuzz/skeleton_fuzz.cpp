// The skeleton reader, both forms, then every bone's absolute position.
#include <string>

#include "base/messages.h"
#include "fuzz_support.h"
#include "model/model.h"
#include "model/skeleton_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = write_fuzz_input("in.skel", data, size);
    Model model;
    try {
        read_skeleton(model, input, "in.skel", 1000.0f);
        for (size_t s = 0; s < model.skeletons.size(); ++s)
            for (size_t b = 0; b < model.skeletons[s].bones.size(); ++b)
                compute_bone_absolute(model, s, b);
    } catch (const FatalError&) {
        // A reported error is an expected outcome.
    }
    return 0;
}
