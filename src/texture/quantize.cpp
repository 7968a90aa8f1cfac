#include "texture/quantize.h"

#include <array>
#include <memory>
#include <vector>

#include "driver/messages.h"

namespace {

struct OctreeNode {
    // Channel sums of the texels held; after averaging, the node's colour.
    int64_t sum_r, sum_g, sum_b;
    int32_t count;       // texels held, folded children included
    int32_t heap_index;  // 1-based position in the heap
    uint8_t child_count; // children still attached
    uint8_t child_slot;  // index in the parent
    uint8_t flags;       // bit 0: in the heap
    uint8_t depth;       // 0 for the root, 7 for the finest level
    std::array<OctreeNode*, 8> children;
    OctreeNode* parent;
};

constexpr uint8_t node_in_heap = 0x01;
constexpr int32_t tree_depth = 7;
constexpr size_t nodes_per_block = 2048;
constexpr size_t heap_growth = 1024;

// Nodes are taken from zero-filled blocks and released all at once, so no
// node is ever allocated or freed on its own.
struct NodePool {
    std::vector<std::unique_ptr<OctreeNode[]>> blocks;
    size_t used_in_block = nodes_per_block;
};

// Binary min-heap from index 1; `fill` is one past the last used index.
struct NodeHeap {
    std::vector<OctreeNode*> slots;
    size_t fill = 0;

    size_t size() const { return fill == 0 ? 0 : fill - 1; }
};

} // namespace

static OctreeNode* new_node(NodePool& pool, uint8_t depth, uint8_t slot, OctreeNode* parent)
{
    if (pool.used_in_block == nodes_per_block) {
        pool.blocks.push_back(std::make_unique<OctreeNode[]>(nodes_per_block));
        pool.used_in_block = 0;
    }
    OctreeNode* node = &pool.blocks.back()[pool.used_in_block++];
    node->depth = depth;
    node->child_slot = slot;
    node->parent = parent;
    return node;
}

// Heap order: fewer attached children first, then fewer texels for the
// node's level; nodes equal on both are left where the sift puts them.
static bool comes_before(const OctreeNode* a, const OctreeNode* b)
{
    if (a->child_count != b->child_count)
        return a->child_count < b->child_count;
    return (a->count >> a->depth) < (b->count >> b->depth);
}

static void place(NodeHeap& heap, OctreeNode* node, size_t index)
{
    heap.slots[index] = node;
    node->heap_index = static_cast<int32_t>(index);
}

static void sift_up(NodeHeap& heap, OctreeNode* node)
{
    size_t index = static_cast<size_t>(node->heap_index);
    while (index > 1 && comes_before(node, heap.slots[index / 2])) {
        place(heap, heap.slots[index / 2], index);
        index /= 2;
    }
    place(heap, node, index);
}

static void sift_down(NodeHeap& heap, OctreeNode* node)
{
    size_t index = static_cast<size_t>(node->heap_index);
    while (index * 2 < heap.fill) {
        size_t child = index * 2;
        if (child + 1 < heap.fill && comes_before(heap.slots[child + 1], heap.slots[child]))
            ++child;
        if (!comes_before(heap.slots[child], node))
            break;
        place(heap, heap.slots[child], index);
        index = child;
    }
    place(heap, node, index);
}

// Adds a node to the heap, or moves it to where its changed key belongs.
static void heap_put(NodeHeap& heap, OctreeNode* node)
{
    if (node->flags & node_in_heap) {
        sift_down(heap, node);
        sift_up(heap, node);
        return;
    }
    node->flags |= node_in_heap;
    if (heap.fill == 0)
        heap.fill = 1;
    if (heap.fill >= heap.slots.size())
        heap.slots.resize(heap.slots.size() + heap_growth);
    place(heap, node, heap.fill);
    ++heap.fill;
    sift_up(heap, node);
}

static OctreeNode* heap_take_first(NodeHeap& heap)
{
    OctreeNode* first = heap.slots[1];
    --heap.fill;
    if (heap.fill > 1) {
        OctreeNode* last = heap.slots[heap.fill];
        place(heap, last, 1);
        sift_down(heap, last);
    }
    first->flags &= static_cast<uint8_t>(~node_in_heap);
    return first;
}

// The child slot at `depth` (1..7): green, red and blue bits of that level.
static unsigned child_slot_of(const uint8_t* texel, int32_t depth)
{
    const unsigned bit = 0x80u >> (depth - 1);
    return ((texel[1] & bit) ? 4u : 0u) | ((texel[0] & bit) ? 2u : 0u) | ((texel[2] & bit) ? 1u : 0u);
}

void quantize_colours(uint8_t* texels, int32_t width, int32_t height, int32_t colours)
{
    if (width <= 0 || height <= 0)
        return;
    const size_t texel_count = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t wanted = colours < 1 ? 1 : static_cast<size_t>(colours);

    NodePool pool;
    NodeHeap heap;
    OctreeNode* root = new_node(pool, 0, 0, nullptr);

    // Sort every texel into the tree by its top seven bits of R, G and B, and
    // keep the finest node holding it in the heap.
    for (size_t i = 0; i < texel_count; ++i) {
        const uint8_t* texel = texels + 4 * i;
        OctreeNode* node = root;
        for (int32_t depth = 1; depth <= tree_depth; ++depth) {
            const unsigned slot = child_slot_of(texel, depth);
            if (node->children[slot] == nullptr) {
                node->children[slot] = new_node(pool, static_cast<uint8_t>(depth), static_cast<uint8_t>(slot), node);
                ++node->child_count;
            }
            node = node->children[slot];
        }
        node->sum_r += texel[0];
        node->sum_g += texel[1];
        node->sum_b += texel[2];
        ++node->count;
        heap_put(heap, node);
    }

    // Fold the least important childless nodes into their parents until no
    // more than the wanted number of nodes hold texels.
    while (heap.size() > wanted) {
        OctreeNode* node = heap_take_first(heap);
        OctreeNode* parent = node->parent;
        if (node->child_count != 0 || parent == nullptr)
            fatal_error("Colour quantiser: a node with children was folded!");
        parent->sum_r += node->sum_r;
        parent->sum_g += node->sum_g;
        parent->sum_b += node->sum_b;
        parent->count += node->count;
        --parent->child_count;
        parent->children[node->child_slot] = nullptr;
        heap_put(heap, parent);
    }

    // Each remaining node's colour is the rounded average of what it holds.
    for (size_t i = 1; i < heap.fill; ++i) {
        OctreeNode* node = heap.slots[i];
        const double count = static_cast<double>(node->count);
        node->sum_r = static_cast<int64_t>(static_cast<double>(node->sum_r) / count + 0.5);
        node->sum_g = static_cast<int64_t>(static_cast<double>(node->sum_g) / count + 0.5);
        node->sum_b = static_cast<int64_t>(static_cast<double>(node->sum_b) / count + 0.5);
    }

    // Every texel takes the colour of the deepest node left on its path.
    for (size_t i = 0; i < texel_count; ++i) {
        uint8_t* texel = texels + 4 * i;
        OctreeNode* node = root;
        for (int32_t depth = 1; depth <= tree_depth; ++depth) {
            OctreeNode* child = node->children[child_slot_of(texel, depth)];
            if (child == nullptr)
                break;
            node = child;
        }
        texel[0] = static_cast<uint8_t>(node->sum_r & 0xFF);
        texel[1] = static_cast<uint8_t>(node->sum_g & 0xFF);
        texel[2] = static_cast<uint8_t>(node->sum_b & 0xFF);
    }
}
