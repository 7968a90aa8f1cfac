#include "platform/headless.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool headless_requested(const char* headless, const char* display, const char* wayland_display)
{
    if (headless_switch_set(headless))
        return true;
    const bool has_display = (display != nullptr && display[0] != '\0') ||
                             (wayland_display != nullptr && wayland_display[0] != '\0');
    return !has_display;
}

bool headless_switch_set(const char* headless)
{
    return headless != nullptr && headless[0] != '\0' && std::strcmp(headless, "0") != 0;
}

void HeadlessPlatform::message_box(const std::string& title, const std::string& text, MessageIcon)
{
    std::fflush(stdout);
    if (text.compare(0, title.size(), title) == 0)
        std::fprintf(stderr, "%s\n", text.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
}

int HeadlessPlatform::run_main_window(const std::string& program_path)
{
    std::fputs(usage_text(program_path).c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

int HeadlessPlatform::run_log_window(const std::string&)
{
    // The header text has already gone to standard output as it was written.
    return 0;
}

std::string usage_text(const std::string& program_path)
{
    return "usage: " + program_path + " MODE INPUT OUTPUT [switches]\n"
           "\n"
           "Converts an objex model (INPUT, .obj or .objex) into a game object file (OUTPUT,\n"
           ".zobj). MODE is a word that is not used; pass 'object'. The header text that\n"
           "names every item's address goes to standard output and to obj.h beside OUTPUT.\n"
           "\n"
           "switches:\n"
           "  -s SCALE    multiply every position by SCALE, a number or a ratio such as 1/2\n"
           "              (default 1024)\n"
           "  -o OFFSET   base offset of the object in hexadecimal, a multiple of 8; an offset\n"
           "              without a segment lies in segment 6 (default 0x06000000)\n"
           "  -l          link hierarchy format: 16-byte limb records\n"
           "  -tt         use insanely small textures\n"
           "  -c          write the header file (the default)\n"
           "  -nh         write no header file; the listing still goes to standard output\n"
           "  -p          embed play-as data\n"
           "  -mc         use the colours of the material library\n"
           "  -cz         write the object as a C array into OUTPUT instead of a binary file\n"
           "  -uv         fix texture coordinate overflows\n"
           "\n"
           "Switches may also be written in upper case (except -uv); the last one wins.\n"
           "Set TESSALOOM_HEADLESS=1 to run without windows.\n";
}
