#include "image/radiance.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/decoder_cursor.h"

namespace {

// A header line the decoder's way: up to the newline or the end, at most
// 1023 characters kept (the rest of a longer line is skipped), and the last
// byte of the file left out.
std::string header_token(DecoderCursor& cursor)
{
    std::string token;
    char c = static_cast<char>(cursor.at_end() ? 0 : cursor.take());
    while (!cursor.at_end() && c != '\n') {
        token.push_back(c);
        if (token.size() == 1023) {
            while (!cursor.at_end() && cursor.take() != '\n') {
            }
            break;
        }
        c = static_cast<char>(cursor.take());
    }
    return token;
}

bool starts_with(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

} // namespace

bool is_radiance_hdr(std::string_view file)
{
    return starts_with(file, "#?RADIANCE\n") || starts_with(file, "#?RGBE\n");
}

bool radiance_data_complete(std::string_view file)
{
    DecoderCursor cursor{file};
    const std::string identifier = header_token(cursor);
    if (identifier != "#?RADIANCE" && identifier != "#?RGBE")
        return true;
    bool valid = false;
    for (std::string line = header_token(cursor); !line.empty(); line = header_token(cursor))
        valid = valid || line == "FORMAT=32-bit_rle_rgbe";
    const std::string size_line = header_token(cursor);
    if (!valid || !starts_with(size_line, "-Y "))
        return true;
    // The sides as the decoder takes them: strtol's value cut to an int.
    char* rest = nullptr;
    const int height = static_cast<int>(std::strtol(size_line.c_str() + 3, &rest, 10));
    while (*rest == ' ')
        ++rest;
    if (std::strncmp(rest, "+X ", 3) != 0)
        return true;
    const int width = static_cast<int>(std::strtol(rest + 3, nullptr, 10));
    if (width <= 0 || height <= 0 || width > (1 << 24) || height > (1 << 24))
        return true;

    // Plain pixels, 4 bytes each, from `first` to the end of the image.
    const auto plain_from = [&](size_t first) {
        cursor.need((static_cast<size_t>(width) * static_cast<size_t>(height) - first) * 4);
        return !cursor.short_of_bytes;
    };
    if (width < 8 || width >= 32768)
        return plain_from(0);
    for (int row = 0; row < height; ++row) {
        const uint8_t c1 = cursor.take(), c2 = cursor.take(), high = cursor.take();
        if (c1 != 2 || c2 != 2 || (high & 0x80) != 0) {
            // Not run-length encoded after all: these bytes are the first
            // pixel, and the whole image is read plainly from the next.
            cursor.take();
            return !cursor.short_of_bytes && plain_from(1);
        }
        if (((high << 8) | cursor.take()) != width)
            return !cursor.short_of_bytes;
        for (int channel = 0; channel < 4; ++channel) {
            for (int filled = 0; filled < width;) {
                const uint8_t count = cursor.take();
                if (cursor.short_of_bytes)
                    return false;
                if (count > 128) {
                    cursor.take();
                    if (count - 128 > width - filled)
                        return true;
                    filled += count - 128;
                } else {
                    if (count > width - filled)
                        return true;
                    cursor.need(count);
                    filled += count;
                }
                if (cursor.short_of_bytes)
                    return false;
            }
        }
    }
    return true;
}
