#include "image/pnm.h"

#include <cstddef>

#include "image/decoder_cursor.h"

namespace {

bool is_pnm_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips white space and comments (from '#' to the end of its line); `c` is
// the character in hand.
void skip_space(DecoderCursor& cursor, char& c)
{
    for (;;) {
        while (!cursor.at_end() && is_pnm_space(c))
            c = static_cast<char>(cursor.take());
        if (cursor.at_end() || c != '#')
            return;
        while (!cursor.at_end() && c != '\n' && c != '\r')
            c = static_cast<char>(cursor.take());
    }
}

// A decimal number, 0 when there is none. It saturates instead of wrapping:
// any number that large is a size the caller refuses anyway.
int64_t read_number(DecoderCursor& cursor, char& c)
{
    int64_t value = 0;
    while (!cursor.at_end() && is_digit(c)) {
        value = value < (int64_t{1} << 40) ? value * 10 + (c - '0') : value;
        c = static_cast<char>(cursor.take());
    }
    return value;
}

} // namespace

bool is_binary_pnm(std::string_view file)
{
    return file.size() >= 2 && file[0] == 'P' && (file[1] == '5' || file[1] == '6');
}

std::optional<PnmPixels> decode_binary_pnm(std::string_view file)
{
    if (!is_binary_pnm(file))
        return std::nullopt;
    const int channels = file[1] == '6' ? 3 : 1;
    // The header is read exactly as the system decoder reads it (so that the size
    // both report is the same): a number's digits are taken only while the text
    // has not ended, which leaves out a digit that is the file's last byte.
    DecoderCursor cursor{file, 2};
    char c = static_cast<char>(cursor.take());
    skip_space(cursor, c);
    const int64_t width = read_number(cursor, c);
    skip_space(cursor, c);
    const int64_t height = read_number(cursor, c);
    skip_space(cursor, c);
    const int64_t maximum = read_number(cursor, c);
    // The samples start right after the one character that ends the maximum.
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX || maximum > 65535)
        return std::nullopt;
    const size_t sample_bytes = maximum > 255 ? 2 : 1;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t left = file.size() - cursor.next;
    if (pixels > left / (channels * sample_bytes))
        return std::nullopt;

    PnmPixels decoded;
    decoded.width = static_cast<int32_t>(width);
    decoded.height = static_cast<int32_t>(height);
    decoded.rgba.resize(pixels * 4);
    const auto* sample = reinterpret_cast<const uint8_t*>(file.data()) + cursor.next;
    uint8_t* out = decoded.rgba.data();
    for (size_t i = 0; i < pixels; ++i, out += 4) {
        for (int k = 0; k < 3; ++k)
            out[k] = sample[(channels == 3 ? k : 0) * sample_bytes];
        out[3] = 0xFF;
        sample += channels * sample_bytes;
    }
    return decoded;
}
