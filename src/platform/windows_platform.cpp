#include "platform/windows_platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/headless.h"

static UINT icon_flags(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return MB_ICONINFORMATION;
    case MessageIcon::Warning:
        return MB_ICONWARNING;
    case MessageIcon::None:
        break;
    }
    return 0;
}

void WindowsPlatform::message_box(const std::string& title, const std::string& text, MessageIcon icon)
{
    // The same line as the headless face prints, so that a console (and a
    // test) sees every message, then the box itself.
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | icon_flags(icon));
}

int WindowsPlatform::run_main_window(const std::string& program_path)
{
    const std::string text = usage_text(program_path);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    MessageBoxA(nullptr, text.c_str(), "tessaloom", MB_OK | MB_ICONINFORMATION);
    return 0;
}

int WindowsPlatform::run_log_window(const std::string&)
{
    return 0;
}

void use_binary_standard_output()
{
    _setmode(_fileno(stdout), _O_BINARY);
}
