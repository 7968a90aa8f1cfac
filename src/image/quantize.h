#pragma once

#include <cstdint>

// Reduces the colours of `width` x `height` RGBA texels (4 bytes each, R, G,
// B, A) in place to at most `colours` distinct R, G, B values with an octree:
// the least important leaves are folded into their parents until few enough
// remain, and every texel takes the average colour of the node holding it.
// Alpha is neither read nor written. The same input always gives the same
// output.
void quantize_colours(uint8_t* texels, int32_t width, int32_t height, int32_t colours);
