#include "gui/main_window_request.h"

#include <cmath>
#include <cstdio>
#include <random>

#include "base/messages.h"

namespace {

// The edit box text as it is read: at most kEditBoxTextLimit characters.
std::string edit_box_text(const std::string& text)
{
    return text.substr(0, kEditBoxTextLimit);
}

// Writes one path between double quotes so that split_command_line gives it
// back unchanged: a quote in the path becomes \" and backslashes before a
// quote (the path's own or the closing one) are doubled. A plain path is
// written as it is.
void append_quoted(std::string& out, const std::string& path)
{
    out += '"';
    size_t backslashes = 0;
    for (const char c : path) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(2 * backslashes + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    out += '"';
}

}  // namespace

OffsetCheck check_base_offset(const std::string& full_text)
{
    const std::string text = edit_box_text(full_text);
    OffsetCheck check;
    // Scanned wider than 32 bits so that a value that does not fit is
    // refused instead of being cut to its low bits.
    unsigned long long wide = 0;
    if (std::sscanf(text.c_str(), "%llX", &wide) != 1 || wide > 0xFFFFFFFFull) {
        check.message = "Please enter a valid base offset!";
        return check;
    }
    const uint32_t value = static_cast<uint32_t>(wide);
    if (value % 8 != 0) {
        check.message = "The base offset you entered\nis not evenly divisible by 8!";
        return check;
    }
    // A segment address whose offset within the segment reaches 1 MiB.
    if ((value >> 24) < 0x40 && (value & 0xFFFFFF) >= 0x100000) {
        check.message = "The base offset you entered is rather high. Perhaps you made a typo?";
        return check;
    }
    check.base_offset = (value >> 24) == 0 ? (value | 0x06000000) : value;
    return check;
}

ScaleCheck check_scale(const std::string& full_text)
{
    const std::string text = edit_box_text(full_text);
    ScaleCheck check;
    float above = 0, below = 0;
    float scale = 0;
    if (std::sscanf(text.c_str(), "%f/%f", &above, &below) == 2) {
        if (below == 0) {
            check.message = "Please don't divide by zero!\n\nWhat are you trying to do, get us all killed?!";
            return check;
        }
        scale = above / below;
    } else if (std::sscanf(text.c_str(), "%f", &scale) != 1) {
        check.message = "Please enter a valid scale!";
        return check;
    }
    // A ratio with 0 above the slash is a zero scale, and so is one too small
    // for a float, which would otherwise put every vertex at the origin.
    if (scale == 0) {
        check.message = "Please don't scale by zero!";
        return check;
    }
    // inf, nan or a ratio beyond the float range would write a command line
    // that the conversion refuses.
    if (!std::isfinite(scale)) {
        check.message = "Please enter a valid scale!";
        return check;
    }
    check.scale = scale;
    return check;
}

std::string output_name_with_extension(const std::string& name, bool embed_c)
{
    // Only a dot in the file name itself starts an extension, not one in a
    // folder name.
    const size_t last = name.find_last_of("./\\");
    std::string result = (last != std::string::npos && name[last] == '.') ? name.substr(0, last) : name;
    result += embed_c ? ".h" : ".zobj";
    return result;
}

std::string build_command_line(const std::string& program_path, const std::string& input_path,
                               const std::string& output_path, const std::array<bool, kCheckBoxCount>& checked,
                               uint32_t base_offset, float scale)
{
    std::string line;
    append_quoted(line, program_path);
    line += " object ";
    append_quoted(line, input_path);
    line += ' ';
    append_quoted(line, output_path);
    line += ' ';
    for (const CheckBoxSwitch& s : kCheckBoxSwitches)
        if (checked[static_cast<size_t>(s.check_box)])
            line += s.text;
    line += format_text("-o %08X ", base_offset);
    line += format_text("-s %f ", static_cast<double>(scale));
    return line;
}

std::vector<std::string> split_command_line(const std::string& line)
{
    std::vector<std::string> args;
    std::string current;
    bool in_argument = false;
    bool quoted = false;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '\\') {
            size_t count = 0;
            while (i < line.size() && line[i] == '\\') {
                ++count;
                ++i;
            }
            in_argument = true;
            if (i < line.size() && line[i] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current += '"';
                    ++i;
                }
                // An even count leaves the quote to the next turn, as a delimiter.
            } else {
                current.append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            in_argument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_argument)
                args.push_back(current);
            current.clear();
            in_argument = false;
        } else {
            current += c;
            in_argument = true;
        }
        ++i;
    }
    if (in_argument)
        args.push_back(current);
    return args;
}

void run_conversion_request(RequestFace& face, MainWindowState& state, const WindowChoices& choices,
                            const std::optional<std::string>& dropped_file)
{
    if (state.dialog_busy)
        return;
    state.dialog_busy = true;
    // Every way out of the request clears the flag, whatever ends it.
    struct ClearBusy {
        bool& busy;
        ~ClearBusy() { busy = false; }
    } clear_busy{state.dialog_busy};

    const OffsetCheck offset = check_base_offset(choices.offset_text);
    if (!offset.message.empty()) {
        face.message("Message", offset.message, MessageIcon::Warning);
        return;
    }
    state.settings.base_offset = offset.base_offset;
    const ScaleCheck scale = check_scale(choices.scale_text);
    if (!scale.message.empty()) {
        face.message("Message", scale.message, MessageIcon::Warning);
        return;
    }
    state.settings.scale = scale.scale;

    std::optional<std::string> input = dropped_file;
    if (!input) {
        face.message("Instructions", "Select the .obj[ex] file you wish to convert...", MessageIcon::None);
        input = face.open_file({"Open", "OBJ[EX] Files (.obj, .objex)", "*.obj;*.objex"});
        if (!input)
            return;
    }

    const bool embed_c = choices.checked[kEmbedCCheckBox];
    if (embed_c) {
        face.message("Instructions", "Now select a name for the resulting header...", MessageIcon::None);
    } else {
        face.message("Instructions", "Now select a name for the .zobj...", MessageIcon::None);
    }
    const std::optional<std::string> output =
        embed_c ? face.save_file({"Save As", "Zelda Object Headers (.h)", "*.h"})
                : face.save_file({"Save As", "Zelda Object Files (.zobj)", "*.zobj"});
    if (!output)
        return;

    state.command_buffer =
        build_command_line(state.program_path, *input, output_name_with_extension(*output, embed_c),
                           choices.checked, state.settings.base_offset, state.settings.scale);
    face.start_program(split_command_line(state.command_buffer));
}

std::string random_line(std::time_t seed)
{
    // Stored right-aligned, as the lines once stood in a column.
    static constexpr const char* kLines[7] = {
        "          No leaks, please.", "      No nude mods, please.", "    No bad play-as, please.",
        "      No DAE files, please.", "          No capes, please.", "No MP3/OGG imports, please.",
        "        No 3DS Max, please.",
    };
    std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(seed));
    const char* line = kLines[generator() % 7];
    while (*line == ' ')
        ++line;
    return line;
}

std::string about_text()
{
    return "tessaloom 1.0\n"
           "Built " __DATE__ "\n"
           "\n"
           "Converts objex models into game object files.\n"
           "\n"
           "Credits:\n"
           "the tessaloom developers;\n"
           "stb_image and stb_image_resize by Sean Barrett;\n"
#ifdef _WIN32
           "the windows are plain Win32 windows.";
#else
           "the window face uses FLTK.";
#endif
}
