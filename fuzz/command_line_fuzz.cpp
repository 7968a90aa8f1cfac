// The command line: switches and their values, one a line of the input, on a
// fixed small textured model (model.objex).
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = fuzz_folder();
    std::vector<std::string> args = {"tessaloom", "object", folder + "model.objex", folder + "out.zobj"};
    std::string word;
    for (size_t i = 0; i <= size && args.size() < 24; ++i) {
        if (i == size || data[i] == '\n') {
            args.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    QuietPlatform platform;
    // A reported error is an expected outcome; run_program catches it.
    run_program(platform, args);
    return 0;
}
