#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Faces of more than three corners become triangles here. The corners are
// projected onto the face's best-fit plane (the plane of its area vector);
// a face that is convex there keeps the fan around its first corner, which
// is what such faces have always converted to, and any other face is split
// by ear clipping in that plane. Every triangle keeps the face's winding, so
// it faces the way the face does.

using FacePoint = std::array<double, 3>;
using FaceTriangle = std::array<uint32_t, 3>;  // corner numbers of the face, 0-based

// Working storage of the split, reused from face to face.
struct FaceSplitScratch {
    std::vector<std::array<double, 2>> plane;  // the corners in the plane
    std::vector<uint32_t> prev, next;          // the corners not yet cut off, as a ring
    std::vector<uint8_t> ear;                  // whether a corner of the ring is an ear
};

// Splits the face with `corners` (three or more, in the face's order) into
// corners.size() - 2 triangles, written to `triangles`: the fan (0, 1, 2),
// (0, 2, 3), ... for a convex face, ears otherwise. Faces without area or
// crossing themselves get that many triangles too, some of them without
// area. The cost is linear for convex faces and quadratic in the corner
// count for the others.
void split_face(const std::vector<FacePoint>& corners, FaceSplitScratch& scratch,
                std::vector<FaceTriangle>& triangles);
