#pragma once

#include <cstdint>

// Rounds toward zero to a signed 16-bit integer, the way positions, texture
// coordinates, normals and colours are stored for the console. A value
// outside -32768..32767, or not a number, becomes -32768 (the "integer
// indefinite" of a 16-bit store) instead of an out-of-range conversion. A
// float argument widens to double exactly, so callers do their arithmetic in
// the precision they mean and only truncate here.
inline int16_t trunc16(double value)
{
    if (value > -32769.0 && value < 32768.0)
        return static_cast<int16_t>(value);
    return INT16_MIN;
}
