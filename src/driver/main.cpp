#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "platform/platform.h"

int main(int argc, char** argv)
{
    const std::unique_ptr<Platform> platform = make_platform();
    return run_program(*platform, std::vector<std::string>(argv, argv + argc));
}
