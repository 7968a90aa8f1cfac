#include "model/prepare_text.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "driver/messages.h"

static bool is_blank(unsigned char c)
{
    return c >= 1 && c <= 32;
}

// Blank runs, slash runs, tabs, backslashes and line ends in one pass over
// the text. Each byte goes through the steps in order: a blank survives the
// blank step only when the next byte is not blank; a slash survives the
// slash step unless the byte the blank step kept before it is the same
// slash and the line (as the blank step left it) is not a face line.
static void clean_bytes(std::string& text)
{
    char* t = text.data();
    const size_t n = text.size();
    size_t w = 0;
    char kept = '\n';  // last byte the blank step kept; a line end at the start
    bool face_line = false;
    for (size_t r = 0; r < n; ++r) {
        const char c = t[r];
        if (is_blank(static_cast<unsigned char>(c)) && r + 1 < n && is_blank(static_cast<unsigned char>(t[r + 1])))
            continue;
        const bool line_start = kept == '\n' || kept == '\r';
        if (line_start)
            face_line = c == 'f';
        const bool repeated_slash = (c == '/' || c == '\\') && c == kept && !face_line;
        kept = c;
        if (repeated_slash)
            continue;
        char out = c;
        if (c == '\t')
            out = ' ';
        else if (c == '\\')
            out = '/';
        else if (c == '\r' || c == '\n')
            out = '\0';
        t[w++] = out;
    }
    text.resize(w);
}

// Line ends become NUL.
static void end_lines(std::string& text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = '\0';
}

// Lines whose file names may hold '#'.
static bool keeps_hash(std::string_view line)
{
    return line.starts_with("animations") || line.starts_with("skeleton") || line.starts_with("mtllib") ||
           line.starts_with("map_Kd");
}

// Comments: from '#' to the end of the line, overwritten with NUL.
static void clear_comments(std::string& text)
{
    char* t = text.data();
    char* const end = t + text.size();
    char* p = t;
    while (p < end) {
        if (*p == '\0') {
            ++p;
            continue;
        }
        char* line_end = static_cast<char*>(std::memchr(p, '\0', static_cast<size_t>(end - p)));
        if (line_end == nullptr)
            line_end = end;
        const std::string_view line(p, static_cast<size_t>(line_end - p));
        if (!keeps_hash(line))
            if (char* hash = static_cast<char*>(std::memchr(p, '#', line.size())))
                std::memset(hash, 0, static_cast<size_t>(line_end - hash));
        p = line_end;
    }
}

void prepare_text(std::string& text, bool all_steps)
{
    if (all_steps)
        clean_bytes(text);
    else
        end_lines(text);
    clear_comments(text);
}

std::string read_text_file(const std::string& open_path, const std::string& shown_path)
{
    std::FILE* file = std::fopen(open_path.c_str(), "rb");
    if (file == nullptr)
        fatal_error("Couldn't open '%s'!", shown_path.c_str());
    std::string text;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0)
            text.reserve(static_cast<size_t>(size));
        std::rewind(file);
    }
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        fatal_error("Couldn't open '%s'!", shown_path.c_str());
    return text;
}
