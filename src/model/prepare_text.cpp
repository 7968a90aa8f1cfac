#include "model/prepare_text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <string_view>

#include "base/input_file.h"
#include "base/messages.h"

static bool is_blank(unsigned char c)
{
    return c >= 1 && c <= 32;
}

// Whether byte `c`, followed by `next` (NUL at the end of the text), ends a
// line of the file: a line feed, or a carriage return without one after it.
static bool ends_file_line(char c, char next)
{
    return c == '\n' || (c == '\r' && next != '\n');
}

// Bytes that the first four steps leave alone wherever they stand: neither
// blank, nor NUL, nor a slash of either kind.
static bool is_plain(unsigned char c)
{
    return c > 32 && c != '/' && c != '\\';
}

// Blank runs, slash runs, tabs, backslashes and line ends in one pass over
// the text. Each byte goes through the steps in order: a blank survives the
// blank step only when the next byte is not blank; a slash survives the
// slash step unless the byte the blank step kept before it is the same
// slash and the line (as the blank step left it) is not a face line. The
// text only shrinks, so bytes ahead of the read position are still input.
// With `lines`, the file line of every line start is noted as the text
// shrinks.
static void clean_bytes(std::string& text, LineNumbers* lines)
{
    char* t = text.data();
    const size_t n = text.size();
    size_t w = 0;
    size_t r = 0;
    char kept = '\n';  // last byte the blank step kept; the text starts a line
    bool face_line = n > 0 && t[0] == 'f';
    uint32_t line = 1;  // the file line of the byte being read
    if (lines != nullptr)
        lines->starts.assign(1, {0, 1});
    while (r < n) {
        const size_t plain_start = r;
        while (r < n && is_plain(static_cast<unsigned char>(t[r])))
            t[w++] = t[r++];
        if (r > plain_start)
            kept = t[w - 1];
        if (r == n)
            break;

        const char c = t[r++];
        if (c == '/' || c == '\\') {
            if (c == kept && !face_line)
                continue;
            kept = c;
            t[w++] = '/';
        } else if (c == '\0') {
            kept = c;
            t[w++] = c;
        } else {
            if (lines != nullptr && ends_file_line(c, r < n ? t[r] : '\0'))
                ++line;
            if (r == n || !is_blank(static_cast<unsigned char>(t[r]))) {
                // The last blank of a run. A line end starts a new line whose
                // first byte is the (non-blank) byte after it.
                kept = c;
                if (c == '\r' || c == '\n') {
                    t[w++] = '\0';
                    face_line = r < n && t[r] == 'f';
                    if (lines != nullptr)
                        lines->starts.push_back({w, line});
                } else {
                    t[w++] = c == '\t' ? ' ' : c;
                }
            }
        }
    }
    text.resize(w);
}

// Line ends become NUL.
static void end_lines(std::string& text, LineNumbers* lines)
{
    if (lines != nullptr)
        lines->starts.assign(1, {0, 1});
    uint32_t line = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        char& c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        if (lines != nullptr && ends_file_line(c, i + 1 < text.size() ? text[i + 1] : '\0'))
            lines->starts.push_back({i + 1, ++line});
        c = '\0';
    }
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

void prepare_text(std::string& text, bool all_steps, LineNumbers* lines)
{
    if (all_steps)
        clean_bytes(text, lines);
    else
        end_lines(text, lines);
    clear_comments(text);
}

uint32_t line_number_at(const LineNumbers& lines, size_t offset)
{
    const auto after = std::upper_bound(lines.starts.begin(), lines.starts.end(), offset,
                                        [](size_t at, const LineNumbers::Start& start) { return at < start.offset; });
    return after == lines.starts.begin() ? 1 : std::prev(after)->line;
}

std::string read_text_file(const std::string& open_path, const std::string& shown_path)
{
    std::string text;
    if (!read_input_file(open_path, text))
        fatal_error("Couldn't open '%s'!", shown_path.c_str());
    return text;
}
