#pragma once

#include <cstdint>

struct Model;
struct Skeleton;

// Fills first_child and next_sibling of every bone from the parent links:
// a bone's children in ascending index order, the first as its first_child,
// each next one as the previous one's next_sibling. The game walks the tree
// from limb 0, so when the skeleton has several roots the later ones are
// chained, in bone order, as next siblings of the first.
void link_bone_children(Skeleton& skeleton);

// The n-th bone (counting from 1, in ascending index order) whose parent is
// `parent`, or 0xFF when there are fewer than n.
uint8_t find_nth_child(const Skeleton& skeleton, uint8_t parent, uint32_t n);

// Prepares a rigged model for drawing limb by limb (nothing without a
// skeleton): links the bones of skeleton 0, moves every boned vertex into
// its bone's space, appends one group "Limb %d" per bone, hands each
// triangle of the group named "riggedmesh" to the deepest bone owning one
// of its corners, gives a bone that owns vertices but no triangle a
// placeholder triangle, and appends every limb's triangles as one range with
// its own group_starts entry. The rigged-mesh group's entry is marked with
// group_start_moved; file_group_count becomes the number of ordinary groups.
void split_rigged_mesh(Model& model);
