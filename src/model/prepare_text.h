#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The clean-up pass every text reader runs over a whole file before it looks
// at lines. With `all_steps` (geometry and material libraries):
//   1. every run of two or more bytes from 1 to 32 becomes the run's last
//      byte (so CR LF becomes LF, trailing blanks and empty lines vanish, and
//      a line that starts with blanks joins the line before it);
//   2. outside face lines, runs of '/' and runs of '\' shrink to one;
//   3. tabs become spaces;
//   4. '\' becomes '/';
// and always (skeletons and animations run only these two):
//   5. CR and LF become NUL, so a line runs to the next NUL;
//   6. a '#' and the rest of its line become NUL, except on lines that start
//      with "animations", "skeleton", "mtllib" or "map_Kd", whose file names
//      may hold '#'.
// The text shrinks in place; its size is the new length.
// With `lines`, where each line of the file now starts is noted, so that a
// message can name the file line of a place in the prepared text.
struct LineNumbers;
void prepare_text(std::string& text, bool all_steps, LineNumbers* lines = nullptr);

// The file's line starts in a prepared text: each is the offset at which a
// line of the file begins after clean-up, with its 1-based number in the file.
struct LineNumbers {
    struct Start {
        size_t offset;
        uint32_t line;
    };
    std::vector<Start> starts;
};

// The file line that holds the prepared text's byte at `offset`.
uint32_t line_number_at(const LineNumbers& lines, size_t offset);

// The whole file at `open_path`, byte for byte. A file that cannot be opened
// or read, or is not a regular file of at most 1 GiB, stops the conversion
// with "Couldn't open '%s'!" and `shown_path`, the path as the user or the
// referring file wrote it.
std::string read_text_file(const std::string& open_path, const std::string& shown_path);

// Calls visit(line, length) for every non-empty line of a prepared text, in
// order: a line starts at the text's start or after a NUL and runs to the
// next NUL (the string's own terminator ends the last one).
template <typename Visit>
void for_each_line(const std::string& text, Visit&& visit)
{
    const char* p = text.c_str();
    const char* const end = p + text.size();
    while (p < end) {
        if (*p == '\0') {
            ++p;
            continue;
        }
        const size_t length = std::strlen(p);
        visit(p, length);
        p += length + 1;
    }
}
