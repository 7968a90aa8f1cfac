#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

// An image file read the way the system decoder reads it from memory, a byte
// at a time: a read past the end gives 0, and `short_of_bytes` records that
// one was made.
struct DecoderCursor {
    std::string_view file;
    size_t next = 0;
    bool short_of_bytes = false;

    bool at_end() const { return next >= file.size(); }
    uint8_t take()
    {
        if (at_end()) {
            short_of_bytes = true;
            return 0;
        }
        return static_cast<uint8_t>(file[next++]);
    }
    // Steps over `bytes` bytes, as far as there are any.
    void need(size_t bytes)
    {
        if (file.size() - next < bytes)
            short_of_bytes = true;
        next = std::min(file.size(), next + bytes);
    }
};
