#include "image/quantize.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/messages.h"

namespace {

using NodeId = QuantizeNodeId;
using OctreeNode = QuantizeNode;
using HeapKey = uint64_t;
using HeapEntry = QuantizeHeapEntry;
constexpr NodeId no_node = 0;

constexpr uint8_t node_in_heap = 0x01;
constexpr int32_t tree_depth = 7;
constexpr size_t nodes_per_block = 2048;
constexpr size_t max_octree_nodes = 2396745;  // 1 + 8 + 64 + ... + 8^7
constexpr size_t heap_growth = 1024;

// Nodes are taken from the scratch's storage, grown 2048 at a time and
// released all at once; a node is zero-filled when it is handed out, so no
// node is ever allocated or freed on its own.
struct NodePool {
    std::vector<OctreeNode>& nodes;
    size_t used = 0;

    OctreeNode& operator[](NodeId id) { return nodes[id]; }
};

// Binary min-heap from index 1; `fill` is one past the last used index.
struct NodeHeap {
    std::vector<HeapEntry>& slots;
    size_t fill = 0;

    size_t size() const { return fill == 0 ? 0 : fill - 1; }
};

} // namespace

static NodeId new_node(NodePool& pool, uint8_t depth, uint8_t slot, NodeId parent)
{
    if (pool.used == pool.nodes.size())
        pool.nodes.resize(pool.nodes.size() + nodes_per_block);
    const NodeId id = static_cast<NodeId>(pool.used++);
    OctreeNode& node = pool[id];
    node = OctreeNode{};
    node.depth = depth;
    node.child_slot = slot;
    node.parent = parent;
    return id;
}

static HeapKey heap_key(const OctreeNode& node)
{
    return HeapKey{node.child_count} << 32 | static_cast<uint32_t>(node.count >> node.depth);
}

static void place(NodeHeap& heap, NodePool& pool, const HeapEntry& entry, size_t index)
{
    heap.slots[index] = entry;
    pool[entry.node].heap_index = static_cast<int32_t>(index);
}

static void sift_up(NodeHeap& heap, NodePool& pool, HeapEntry entry, size_t index)
{
    while (index > 1 && entry.key < heap.slots[index / 2].key) {
        place(heap, pool, heap.slots[index / 2], index);
        index /= 2;
    }
    place(heap, pool, entry, index);
}

static void sift_down(NodeHeap& heap, NodePool& pool, HeapEntry entry, size_t index)
{
    while (index * 2 < heap.fill) {
        // The right child only when it comes strictly first (chosen without a
        // branch: the comparison is unpredictable).
        size_t child = index * 2;
        if (child + 1 < heap.fill)
            child += static_cast<size_t>(heap.slots[child + 1].key < heap.slots[child].key);
        if (!(heap.slots[child].key < entry.key))
            break;
        place(heap, pool, heap.slots[child], index);
        index = child;
    }
    place(heap, pool, entry, index);
}

// Adds a node to the heap, or moves it to where its changed key belongs.
static void heap_put(NodeHeap& heap, NodePool& pool, NodeId id)
{
    OctreeNode& node = pool[id];
    const HeapEntry entry{heap_key(node), id};
    if (node.flags & node_in_heap) {
        // A key that did not change leaves the node where it is: no sift
        // moves a node past one it ties with.
        if (heap.slots[static_cast<size_t>(node.heap_index)].key == entry.key)
            return;
        sift_down(heap, pool, entry, static_cast<size_t>(node.heap_index));
        sift_up(heap, pool, entry, static_cast<size_t>(node.heap_index));
        return;
    }
    node.flags |= node_in_heap;
    if (heap.fill == 0)
        heap.fill = 1;
    if (heap.fill >= heap.slots.size())
        heap.slots.resize(heap.slots.size() + heap_growth);
    const size_t index = heap.fill++;
    place(heap, pool, entry, index);
    sift_up(heap, pool, entry, index);
}

static NodeId heap_take_first(NodeHeap& heap, NodePool& pool)
{
    const NodeId first = heap.slots[1].node;
    --heap.fill;
    if (heap.fill > 1)
        sift_down(heap, pool, heap.slots[heap.fill], 1);
    pool[first].flags &= static_cast<uint8_t>(~node_in_heap);
    return first;
}

// A texel's path through the tree as one number: three bits per level, the
// level-1 slot highest. The slot at each level is 4 for the green bit of that
// level (0x80 at level 1 down to 0x02 at level 7), plus 2 for red, plus 1 for
// blue; the lowest bit of each channel plays no part.
static constexpr std::array<uint32_t, 256> spread_bits = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t value = 0; value < 256; ++value)
        for (uint32_t bit = 1; bit < 8; ++bit)
            if (value & (1u << bit))
                table[value] |= 1u << (3 * (bit - 1));
    return table;
}();

static uint32_t path_of(const uint8_t* texel)
{
    return spread_bits[texel[1]] << 2 | spread_bits[texel[0]] << 1 | spread_bits[texel[2]];
}

static unsigned slot_at(uint32_t path, int32_t depth)
{
    return (path >> (3 * (tree_depth - depth))) & 7u;
}

void quantize_colours(uint8_t* texels, int32_t width, int32_t height, int32_t colours)
{
    QuantizeScratch scratch;
    quantize_colours(texels, width, height, colours, scratch);
}

void quantize_colours(uint8_t* texels, int32_t width, int32_t height, int32_t colours, QuantizeScratch& scratch)
{
    if (width <= 0 || height <= 0)
        return;
    const size_t texel_count = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t wanted = colours < 1 ? 1 : static_cast<size_t>(colours);

    // Storage kept from earlier calls is reused: nodes are cleared as they
    // are handed out, and the heap's slots are written before they are read.
    // Room is taken for every node the texels can create (each adds at most
    // one per level), rounded up to whole blocks, so that the storage never
    // moves; pages are only touched as blocks are handed out.
    NodePool pool{scratch.nodes};
    pool.nodes.reserve(std::min(1 + size_t{tree_depth} * texel_count, max_octree_nodes) + nodes_per_block);
    NodeHeap heap{scratch.heap};
    const NodeId root = new_node(pool, 0, 0, no_node);

    // Sort every texel into the tree by its top seven bits of R, G and B, and
    // keep the finest node holding it in the heap. A texel on the same path as
    // the one before it (common in pictures) reuses that leaf.
    uint32_t previous_path = 0;
    NodeId previous_leaf = no_node;
    for (size_t i = 0; i < texel_count; ++i) {
        const uint8_t* texel = texels + 4 * i;
        const uint32_t path = path_of(texel);
        NodeId id = previous_leaf;
        if (id == no_node || path != previous_path) {
            id = root;
            for (int32_t depth = 1; depth <= tree_depth; ++depth) {
                const unsigned slot = slot_at(path, depth);
                NodeId child = pool[id].children[slot];
                if (child == no_node) {
                    child = new_node(pool, static_cast<uint8_t>(depth), static_cast<uint8_t>(slot), id);
                    pool[id].children[slot] = child;
                    ++pool[id].child_count;
                }
                id = child;
            }
            previous_path = path;
            previous_leaf = id;
        }
        OctreeNode& leaf = pool[id];
        leaf.sum_r += texel[0];
        leaf.sum_g += texel[1];
        leaf.sum_b += texel[2];
        ++leaf.count;
        heap_put(heap, pool, id);
    }

    // Fold the least important childless nodes into their parents until no
    // more than the wanted number of nodes hold texels.
    while (heap.size() > wanted) {
        const NodeId id = heap_take_first(heap, pool);
        const OctreeNode& node = pool[id];
        if (node.child_count != 0 || id == root)
            fatal_error("Colour quantiser: a node with children was folded!");
        OctreeNode& parent = pool[node.parent];
        parent.sum_r += node.sum_r;
        parent.sum_g += node.sum_g;
        parent.sum_b += node.sum_b;
        parent.count += node.count;
        --parent.child_count;
        parent.children[node.child_slot] = no_node;
        heap_put(heap, pool, node.parent);
    }

    // Each remaining node's colour is the rounded average of what it holds.
    for (size_t i = 1; i < heap.fill; ++i) {
        OctreeNode& node = pool[heap.slots[i].node];
        const double count = static_cast<double>(node.count);
        node.sum_r = static_cast<int64_t>(static_cast<double>(node.sum_r) / count + 0.5);
        node.sum_g = static_cast<int64_t>(static_cast<double>(node.sum_g) / count + 0.5);
        node.sum_b = static_cast<int64_t>(static_cast<double>(node.sum_b) / count + 0.5);
    }

    // Every texel takes the colour of the deepest node left on its path.
    NodeId previous_node = no_node;
    for (size_t i = 0; i < texel_count; ++i) {
        uint8_t* texel = texels + 4 * i;
        const uint32_t path = path_of(texel);
        NodeId id = previous_node;
        if (id == no_node || path != previous_path) {
            id = root;
            for (int32_t depth = 1; depth <= tree_depth; ++depth) {
                const NodeId child = pool[id].children[slot_at(path, depth)];
                if (child == no_node)
                    break;
                id = child;
            }
            previous_path = path;
            previous_node = id;
        }
        const OctreeNode& node = pool[id];
        texel[0] = static_cast<uint8_t>(node.sum_r & 0xFF);
        texel[1] = static_cast<uint8_t>(node.sum_g & 0xFF);
        texel[2] = static_cast<uint8_t>(node.sum_b & 0xFF);
    }
}
