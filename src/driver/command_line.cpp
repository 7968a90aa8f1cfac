#include "driver/command_line.h"

#include <cmath>
#include <cstdio>

#include "base/messages.h"

float parse_scale(const std::string& text)
{
    float above = 0, below = 0;
    if (std::sscanf(text.c_str(), "%f/%f", &above, &below) == 2) {
        if (above == 0 || below == 0)
            fatal_error("Please don't scale by zero!");
        const float scale = above / below;
        if (!std::isfinite(scale))
            fatal_error("Invalid arguments!");
        return scale;
    }
    float scale = 0;
    if (std::sscanf(text.c_str(), "%f", &scale) != 1 || !std::isfinite(scale))
        fatal_error("Invalid arguments!");
    if (scale == 0)
        fatal_error("Please don't scale by zero!");
    return scale;
}

uint32_t parse_base_offset(const std::string& text)
{
    // Scanned wider than 32 bits so that a value that does not fit is refused
    // instead of being silently cut to its low bits.
    unsigned long long wide = 0;
    if (std::sscanf(text.c_str(), "%llX", &wide) != 1)
        fatal_error("Invalid base offset; is this even hex?: '%s'", text.c_str());
    if (wide > 0xFFFFFFFFull)
        fatal_error("Invalid base offset; 0x%llX does not fit in 32 bits", wide);
    const uint32_t value = static_cast<uint32_t>(wide);
    if (value % 8 != 0)
        fatal_error("Invalid base offset; 0x%X is not aligned by 8", value);
    // Below 0x40000000 the value is a segment address, whose offset within the
    // segment must stay under 1 MiB; higher values are direct memory addresses.
    if ((value >> 24) < 0x40 && (value & 0xFFFFFF) >= 0x100000)
        fatal_error("This base offset is high: 0x%X. Perhaps a typo?", value);
    return value;
}

// The file-name part of a path: after the last '/', or if there is none after
// the last '\', or the whole path.
static size_t file_name_start(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        slash = path.rfind('\\');
    return slash == std::string::npos ? 0 : slash + 1;
}

CommandLine parse_command_line(const std::vector<std::string>& args)
{
    CommandLine cl;
    Settings& s = cl.settings;
    cl.input_path = args.at(2);
    cl.output_path = args.at(3);

    // Every argument is examined, the first three too, and a value after -s
    // or -o gets its own turn (where it matches nothing).
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (has_value && (a == "-s" || a == "-S"))
            s.scale = parse_scale(args[i + 1]);
        else if (has_value && (a == "-o" || a == "-O"))
            s.base_offset = parse_base_offset(args[i + 1]);
        else if (a == "-l" || a == "-L")
            cl.link_format = true;
        else if (a == "-tt" || a == "-TT")
            s.tiny_textures = true;
        else if (a == "-c" || a == "-C")
            s.write_header = true;
        else if (a == "-nh" || a == "-NH")
            s.write_header = false;
        else if (a == "-p" || a == "-P")
            s.play_as = true;
        else if (a == "-mc" || a == "-MC")
            s.mtl_colors = true;
        else if (a == "-cz" || a == "-CZ")
            s.embed_c = true;
        else if (a == "-uv")
            s.fix_uv = true;
    }

    // An offset without a segment lies in segment 6.
    if ((s.base_offset >> 24) == 0)
        s.base_offset |= 0x06000000;
    // The C array is addressed relative to itself, always as segment 6.
    if (s.embed_c) {
        s.play_as = false;
        s.base_offset = 0x06000000;
    }

    const size_t name_start = file_name_start(cl.output_path);
    if (name_start == cl.output_path.size())
        fatal_error("The output path '%s' names a folder, not a file", cl.output_path.c_str());

    if (s.write_header) {
        if (s.embed_c)
            cl.header_path = cl.output_path;
        else
            cl.header_path = cl.output_path.substr(0, name_start) + "obj.h";
    }
    return cl;
}
