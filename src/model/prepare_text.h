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
//
// With all steps and `line_starts`, it also receives where each line of the
// cleaned text starts and the file line it starts on, so that a reader can
// name the file's line numbers (which the clean-up loses) in its messages.
struct LineStart {
    uint32_t offset = 0;  // in the cleaned text
    uint32_t line = 1;    // 1-based line of the file
};
void prepare_text(std::string& text, bool all_steps, std::vector<LineStart>* line_starts = nullptr);

// The file line of the cleaned line at `offset`. `cursor` follows the lines
// of one walk in order; start it at 0.
uint32_t file_line_at(const std::vector<LineStart>& line_starts, size_t& cursor, size_t offset);

// The whole file at `open_path`, byte for byte. A file that cannot be opened
// or read stops the conversion with "Couldn't open '%s'!" and `shown_path`,
// the path as the user or the referring file wrote it.
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
