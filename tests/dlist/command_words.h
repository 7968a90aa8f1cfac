#pragma once

#include <cstdint>
#include <iomanip>
#include <ostream>
#include <vector>

#include "base/out_buffer.h"

// One display-list command as its two words, printed in hex when a test fails.
struct Words {
    uint32_t w0 = 0;
    uint32_t w1 = 0;
    bool operator==(const Words&) const = default;
};

inline void PrintTo(const Words& c, std::ostream* os)
{
    *os << std::hex << std::uppercase << std::setfill('0') << std::setw(8) << c.w0 << ' ' << std::setw(8) << c.w1;
}

// The commands of `ob` from `from` up to its length (or `to`).
inline std::vector<Words> read_commands(const OutBuffer& ob, uint32_t from = 0, uint32_t to = UINT32_MAX)
{
    std::vector<Words> words;
    for (uint32_t at = from; at + 8 <= std::min(to, ob.length); at += 8)
        words.push_back({ob_read_u32(ob, at), ob_read_u32(ob, at + 4)});
    return words;
}

inline std::vector<Words> operator+(std::vector<Words> a, const std::vector<Words>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
