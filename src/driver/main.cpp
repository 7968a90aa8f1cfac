#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "platform/headless.h"
#ifdef _WIN32
#include "gui/win32_face.h"
#include "platform/windows_platform.h"
#else
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "gui/desktop_platform.h"
#endif

#ifdef _WIN32
// The platform for this process: on Windows the desktop is always there, so
// the Win32 face unless TESSALOOM_HEADLESS asks for none.
static std::unique_ptr<Platform> make_platform()
{
    prepare_standard_streams();
    if (headless_switch_set(std::getenv("TESSALOOM_HEADLESS")))
        return std::make_unique<HeadlessPlatform>();
    return make_win32_platform();
}
#else
// The desktop face from its module beside this executable, or null when the
// module (or the toolkit it needs) cannot be loaded or no X display opens.
// The module stays loaded for the rest of the process: the platform's code
// lives in it.
static std::unique_ptr<Platform> load_desktop_platform()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return nullptr;
    const std::string module_path = (program.parent_path() / desktop_module_name).string();
    void* module = dlopen(module_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        return nullptr;
    const auto entry = reinterpret_cast<Platform* (*)()>(dlsym(module, desktop_entry_name));
    return std::unique_ptr<Platform>(entry != nullptr ? entry() : nullptr);
}

// The platform for this process, chosen from the environment: the desktop
// face when an X display can be opened and TESSALOOM_HEADLESS is not set,
// else the headless one. The desktop face speaks X11 only, so a Wayland
// session without an X server counts as no display.
static std::unique_ptr<Platform> make_platform()
{
    if (!headless_requested(std::getenv("TESSALOOM_HEADLESS"), std::getenv("DISPLAY"), nullptr))
        if (std::unique_ptr<Platform> desktop = load_desktop_platform())
            return desktop;
    return std::make_unique<HeadlessPlatform>();
}
#endif

int main(int argc, char** argv)
{
    const std::unique_ptr<Platform> platform = make_platform();
    return run_program(*platform, std::vector<std::string>(argv, argv + argc));
}
