#include <memory>
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "platform/headless.h"

// The platform for this process, chosen from the environment. The windowed
// face has not been built yet, so every environment gets the headless one;
// headless_requested() is what will choose between them.
static std::unique_ptr<Platform> make_platform()
{
    return std::make_unique<HeadlessPlatform>();
}

int main(int argc, char** argv)
{
    const std::unique_ptr<Platform> platform = make_platform();
    return run_program(*platform, std::vector<std::string>(argv, argv + argc));
}
