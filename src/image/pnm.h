#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Binary greymaps and pixmaps ("P5" and "P6" files) are read here, not by the
// system decoder, whose version mishandles them: it reads past its buffer when
// it widens a 16-bit one to four channels, keeps the low byte of each 16-bit
// sample, and hands out unset pixels when the file ends before its samples do.

// Whether the file starts as a binary greymap or pixmap, which is what the
// system decoder takes it for, whatever its extension.
bool is_binary_pnm(std::string_view file);

struct PnmPixels {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;  // rows top to bottom, 4 bytes a pixel
};

// The file's pixels as 8-bit RGBA: grey g becomes (g, g, g, 255) and
// (r, g, b) becomes (r, g, b, 255). Samples are taken as they stand, as the
// system decoder takes them; of a 16-bit sample (a maximum above 255), its
// high byte. The header is read the system decoder's way, so both agree on
// the size. Nothing when the header is not one, or the samples are fewer
// than it promises.
std::optional<PnmPixels> decode_binary_pnm(std::string_view file);
