#pragma once

#include <cstdint>

// Rounds toward zero to a signed 16-bit integer, the way the console-side
// values (positions, texture coordinates, normals, colours) are stored. A
// value outside -32768..32767, or not a number, becomes -32768: the
// "integer indefinite" that a 16-bit store of the x87 unit gives, and never
// an out-of-range conversion. A float argument widens to double exactly, so
// callers do their arithmetic in the precision they mean and truncate here.
inline int16_t trunc16(double value)
{
    if (value > -32769.0 && value < 32768.0)
        return static_cast<int16_t>(value);
    return INT16_MIN;
}
