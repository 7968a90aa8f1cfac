#include "model/prepare_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// blank, nor NUL, nor a slash of either kind. '#' is plain too, but the walk
// notes where a line's first one stands, so it stops for it.
static constexpr std::array<bool, 256> plain_bytes = [] {
    std::array<bool, 256> plain{};
    for (int c = 33; c < 256; ++c)
        plain[static_cast<size_t>(c)] = c != '/' && c != '\\' && c != '#';
    return plain;
}();

// In a face line a '/' is never dropped and stays '/', so it is plain there.
static constexpr std::array<bool, 256> face_line_plain_bytes = [] {
    std::array<bool, 256> plain = plain_bytes;
    plain['/'] = true;
    return plain;
}();

static constexpr size_t no_hash = static_cast<size_t>(-1);

// Where the run of bytes from `at` that the clean-up keeps as they are
// ends: plain bytes, and lone spaces (a space whose next byte is not blank,
// which the blank step keeps as it is). The byte at `size` is the string's
// NUL, which ends every run. Sixteen bytes at a time where the machine has
// SSE2; the result is the same either way.
static size_t kept_run_end(const char* t, size_t at, size_t size, const std::array<bool, 256>& plain, bool face_line)
{
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i last_blank = _mm_set1_epi8(32);
    const __m128i zero = _mm_setzero_si128();
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i hash = _mm_set1_epi8('#');
    const __m128i slash = face_line ? zero : _mm_set1_epi8('/');  // NUL stops anyway
    // Each block also reads the byte after it, at most the NUL at `size`.
    for (; at + 16 <= size; at += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at + 1));
        const __m128i c_low = _mm_cmpeq_epi8(_mm_min_epu8(c, last_blank), c);  // 0 to 32
        const __m128i stops = _mm_or_si128(
            _mm_or_si128(c_low, _mm_cmpeq_epi8(c, slash)),
            _mm_or_si128(_mm_cmpeq_epi8(c, backslash), _mm_cmpeq_epi8(c, hash)));
        const __m128i next_blank = _mm_andnot_si128(_mm_cmpeq_epi8(next, zero),
                                                    _mm_cmpeq_epi8(_mm_min_epu8(next, last_blank), next));
        const __m128i lone_space = _mm_andnot_si128(next_blank, _mm_cmpeq_epi8(c, space));
        const int mask = _mm_movemask_epi8(_mm_andnot_si128(lone_space, stops));
        if (mask != 0)
            return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#else
    (void)size;
    (void)face_line;
#endif
    for (;; ++at) {
        const unsigned char c = static_cast<unsigned char>(t[at]);
        if (plain[c])
            continue;
        if (c == ' ' && !is_blank(static_cast<unsigned char>(t[at + 1])))
            continue;
        return at;
    }
}

// How a stretch of the clean-up ended.
enum class StretchEnd { line_end, nul, text_end };

// Blank runs, slash runs, tabs, backslashes and line ends, from where the
// cleaner stands up to the next NUL it writes (for a line end, or a NUL of
// the file) or the end of the text. Each byte goes through the steps in
// order: a blank survives the blank step only when the next byte is not
// blank; a slash survives the slash step unless the byte the blank step kept
// before it is the same slash and the line (as the blank step left it) is
// not a face line. The text only shrinks, so bytes ahead of the read
// position are still input. `first_hash` gets the cleaned offset of the
// stretch's first '#', if it has one and none was noted yet.
static StretchEnd clean_stretch(LineCleaner& c, size_t& first_hash)
{
    // The state lives in locals while the bytes are worked on: writes
    // through the text could alias the cleaner's members otherwise.
    char* const t = c.text;
    const size_t n = c.size;
    size_t r = c.read;
    size_t w = c.written;
    char kept = c.kept;
    bool face_line = c.face_line;
    uint32_t line = c.line;
    StretchEnd end = StretchEnd::text_end;
    // A stretch ends at the latest with its line, so it stays a face line or not.
    const std::array<bool, 256>& plain = face_line ? face_line_plain_bytes : plain_bytes;
    for (;;) {
        const size_t plain_end = kept_run_end(t, r, n, plain, face_line);
        if (plain_end > r) {
            if (w != r)
                std::memmove(t + w, t + r, plain_end - r);
            w += plain_end - r;
            r = plain_end;
            kept = t[w - 1];
        }
        if (r == n)
            break;

        const char ch = t[r++];
        const char next = r < n ? t[r] : '\0';
        // The commonest first: a lone space between words.
        if (ch == ' ' && !is_blank(static_cast<unsigned char>(next))) {
            kept = ch;
            t[w++] = ch;
        } else if (ch == '/' || ch == '\\') {
            if (ch == kept && !face_line)
                continue;
            kept = ch;
            t[w++] = '/';
        } else if (ch == '#') {
            if (first_hash == no_hash)
                first_hash = w;
            kept = ch;
            t[w++] = ch;
        } else if (ch == '\0') {
            kept = ch;
            t[w++] = ch;
            end = StretchEnd::nul;
            break;
        } else {
            if (ends_file_line(ch, next))
                ++line;
            if (r < n && is_blank(static_cast<unsigned char>(next)))
                continue;
            // The last blank of a run. A line end starts a new line whose
            // first byte is the (non-blank) byte after it.
            kept = ch;
            if (ch == '\r' || ch == '\n') {
                t[w++] = '\0';
                face_line = next == 'f';
                c.start_line = line;
                end = StretchEnd::line_end;
                break;
            }
            t[w++] = ch == '\t' ? ' ' : ch;
        }
    }
    c.read = r;
    c.written = w;
    c.kept = kept;
    c.face_line = face_line;
    c.line = line;
    return end;
}

LineCleaner start_cleaning(std::string& text)
{
    LineCleaner c;
    c.text = text.data();
    c.size = text.size();
    c.face_line = !text.empty() && text[0] == 'f';
    return c;
}

// With `lines`, the file line of every line start is noted as the text
// shrinks.
static void clean_bytes(std::string& text, LineNumbers* lines)
{
    LineCleaner c = start_cleaning(text);
    if (lines != nullptr)
        lines->starts.assign(1, {0, 1});
    size_t hash = no_hash;
    for (;;) {
        const StretchEnd end = clean_stretch(c, hash);
        if (end == StretchEnd::text_end)
            break;
        if (end == StretchEnd::line_end && lines != nullptr)
            lines->starts.push_back({c.written, c.line});
    }
    text.resize(c.written);
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

bool next_clean_line(LineCleaner& c, CleanLine& line)
{
    while (c.read < c.size) {
        const size_t start = c.written;
        const uint32_t file_line = c.start_line;
        size_t hash = no_hash;
        size_t end = c.written;
        if (clean_stretch(c, hash) == StretchEnd::text_end) {
            if (c.written < c.size)
                c.text[c.written] = '\0';
            end = c.written;
        } else {
            end = c.written - 1;
        }
        // A comment ends the line, unless the line names a file.
        if (hash != no_hash && !keeps_hash(std::string_view(c.text + start, end - start))) {
            end = hash;
            c.text[end] = '\0';
        }
        if (end > start) {
            line = {c.text + start, end - start, file_line};
            return true;
        }
    }
    return false;
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
