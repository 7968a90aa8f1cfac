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

// The clean-up of all six steps and the walk over its lines in one pass, for
// the geometry reader's large files: each byte is cleaned once and the lines
// come out as soon as the clean-up has passed their end, exactly the lines
// (and file line numbers) that prepare_text(text, true, &lines), for_each_line
// and line_number_at would give. The text shrinks in place as with
// prepare_text, but its size is left alone: the lines stay where they were
// given, each ending with a NUL, for as long as the text lives; what lies
// past the cleaned part once the walk is done is unspecified.
struct CleanLine {
    const char* text = nullptr;
    size_t length = 0;
    uint32_t file_line = 0;  // the file line that holds the line's first byte
};

struct LineCleaner {
    char* text = nullptr;
    size_t size = 0;
    size_t read = 0;         // the next byte to clean
    size_t written = 0;      // bytes before this are cleaned and final
    char kept = '\n';        // the last byte the blank step kept
    bool face_line = false;  // the line being cleaned is a face line
    uint32_t line = 1;       // the file line of the byte being read
    uint32_t start_line = 1; // the file line of the latest line start
};

LineCleaner start_cleaning(std::string& text);

// The next non-empty line, or false once the text is used up.
bool next_clean_line(LineCleaner& cleaner, CleanLine& line);

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
