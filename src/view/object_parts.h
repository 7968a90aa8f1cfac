#pragma once

#include <cstdint>
#include <vector>

#include "view/list_walk.h"
#include "view/view_object.h"

// The skeletons, animations and collision data of an object, read back and
// checked against the object's bounds.

inline constexpr uint8_t no_limb = 0xFF;

struct Limb {
    int16_t x = 0, y = 0, z = 0;  // relative to the parent
    uint8_t child = no_limb, sibling = no_limb;
    uint32_t list = 0;  // segment address of its display list, 0 for none
};

struct Skeleton {
    uint32_t table = 0;  // offset of the limb pointer table
    uint32_t record_size = 12;
    uint8_t list_count = 0;  // limbs with a display list, as the header states
    std::vector<Limb> limbs;
};

Skeleton read_skeleton(const ViewObject& object, const ObjectItem& item);

// One limb in drawing order (root, then children before siblings), with its
// matrix in the rest pose and the limb-matrix slot it fills, if it has a list.
struct PosedLimb {
    uint8_t limb = 0;
    int depth = 0;
    Mat4 matrix;
    int slot = -1;
};

// The limbs in the order the game draws them; every limb is reached once.
std::vector<PosedLimb> rest_pose(const Skeleton& skeleton, const ObjectItem& item);

// The matrices of segment 0x0D, by slot.
std::vector<Mat4> limb_matrices(const std::vector<PosedLimb>& pose);

struct AnimationInfo {
    uint16_t frames = 0;
    uint16_t constants = 0;
    uint32_t data = 0, joints = 0;  // segment addresses
    uint32_t channels = 0;
    uint32_t tracks = 0;  // channels that change from frame to frame
};

// `channels` is 3 + 3 per limb of the object's skeleton.
AnimationInfo read_animation(const ViewObject& object, const ObjectItem& item, uint32_t channels);

struct CollisionInfo {
    int16_t bounds[6] = {};
    uint16_t vertices = 0, polygons = 0, water_boxes = 0;
    uint32_t surface_types = 0;  // one more than the largest type a polygon names
    uint32_t vertex_list = 0, polygon_list = 0, surface_list = 0, water_list = 0;
};

CollisionInfo read_collision(const ViewObject& object, const ObjectItem& item);

// Every skeleton the header names, read, posed and with its limb matrices.
struct PosedSkeleton {
    ObjectItem item;
    Skeleton skeleton;
    std::vector<PosedLimb> pose;
    std::vector<Mat4> matrices;
};

std::vector<PosedSkeleton> read_skeletons(const ViewObject& object);
