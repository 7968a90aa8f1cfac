// The geometry reader, and a whole conversion of whatever it read: the input
// is a geometry file beside a small material library (t.mtl), its image
// (t.png) and a skeleton (t.skel), which it may name.
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = write_fuzz_input("in.objex", data, size);
    QuietPlatform platform;
    // A reported error is an expected outcome; run_program catches it.
    run_program(platform, {"tessaloom", "object", input, fuzz_folder() + "out.zobj"});
    return 0;
}
