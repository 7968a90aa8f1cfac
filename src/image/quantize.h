#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Reduces the colours of `width` x `height` RGBA texels (4 bytes each, R, G,
// B, A) in place to at most `colours` distinct R, G, B values with an octree:
// the least important leaves are folded into their parents until few enough
// remain, and every texel takes the average colour of the node holding it.
// Alpha is neither read nor written. The same input always gives the same
// output.
void quantize_colours(uint8_t* texels, int32_t width, int32_t height, int32_t colours);

// A node of the octree. Nodes refer to each other by their index in the
// pool; 0 is the root, so a child or parent index of 0 means "none".
using QuantizeNodeId = uint32_t;
struct QuantizeNode {
    // Channel sums of the texels held; after averaging, the node's colour.
    int64_t sum_r, sum_g, sum_b;
    int32_t count;       // texels held, folded children included
    int32_t heap_index;  // 1-based position in the heap
    uint8_t child_count; // children still attached
    uint8_t child_slot;  // index in the parent
    uint8_t flags;       // bit 0: in the heap
    uint8_t depth;       // 0 for the root, 7 for the finest level
    QuantizeNodeId parent;
    std::array<QuantizeNodeId, 8> children;
};

// A heap slot. Heap order: fewer attached children first, then fewer texels
// for the node's level; nodes equal on both are left where the sift puts
// them. Both parts are packed into `key`, refreshed whenever the node is
// put, so the sifts compare without visiting the nodes.
struct QuantizeHeapEntry {
    uint64_t key;
    QuantizeNodeId node;
};

// The quantiser's node pool and heap, kept by a caller that quantises many
// textures so that their storage is taken once, not once per texture.
struct QuantizeScratch {
    std::vector<QuantizeNode> nodes;
    std::vector<QuantizeHeapEntry> heap;
};

void quantize_colours(uint8_t* texels, int32_t width, int32_t height, int32_t colours, QuantizeScratch& scratch);
