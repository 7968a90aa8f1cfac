#include "model/face_split.h"

#include <algorithm>
#include <cmath>

using PlanePoint = std::array<double, 2>;

// Turns, areas and edge directions below this share of the face's size
// squared (or of the edges' lengths) count as zero: the corners are whole
// model units, so only rounding noise is that small.
static constexpr double relative_zero = 1e-9;

static FacePoint minus(const FacePoint& a, const FacePoint& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

static FacePoint cross(const FacePoint& a, const FacePoint& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

static double dot(const FacePoint& a, const FacePoint& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Twice the signed area of the plane triangle a, b, c: positive when it
// turns the face's way.
static double area2(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

static void fan(uint32_t count, std::vector<FaceTriangle>& triangles)
{
    for (uint32_t i = 1; i + 1 < count; ++i)
        triangles.push_back({0, i, i + 1});
}

// The face's area vector (Newell's sum), taken about corner 0 so that far
// away faces keep their precision. Its length is twice the projected area and
// it points to the side the corners wind around counter-clockwise.
static FacePoint area_vector(const std::vector<FacePoint>& corners)
{
    FacePoint n{0, 0, 0};
    const size_t count = corners.size();
    for (size_t i = 0; i < count; ++i) {
        const FacePoint a = minus(corners[i], corners[0]);
        const FacePoint b = minus(corners[(i + 1) % count], corners[0]);
        n[0] += (a[1] - b[1]) * (a[2] + b[2]);
        n[1] += (a[2] - b[2]) * (a[0] + b[0]);
        n[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
    return n;
}

// The corners in the best-fit plane, in axes u, v with u x v along the area
// vector, so the face winds counter-clockwise there.
static void project(const std::vector<FacePoint>& corners, const FacePoint& normal, std::vector<PlanePoint>& plane)
{
    const double length = std::sqrt(dot(normal, normal));
    const FacePoint n{normal[0] / length, normal[1] / length, normal[2] / length};
    // Any direction across the normal will do; the axis it leans on least
    // gives the best-conditioned one.
    FacePoint axis{0, 0, 0};
    const FacePoint lean{std::fabs(n[0]), std::fabs(n[1]), std::fabs(n[2])};
    axis[lean[0] <= lean[1] && lean[0] <= lean[2] ? 0 : lean[1] <= lean[2] ? 1 : 2] = 1;
    FacePoint u = cross(n, axis);
    const double u_length = std::sqrt(dot(u, u));
    u = {u[0] / u_length, u[1] / u_length, u[2] / u_length};
    const FacePoint v = cross(n, u);

    plane.resize(corners.size());
    for (size_t i = 0; i < corners.size(); ++i) {
        const FacePoint d = minus(corners[i], corners[0]);
        plane[i] = {dot(d, u), dot(d, v)};
    }
}

// Whether the plane polygon is convex: it never turns right, and its edges
// swing round once (their x and y directions change sign at most twice), so
// a star that winds twice is not taken for convex.
static bool is_convex(const std::vector<PlanePoint>& q)
{
    const size_t count = q.size();
    int x_changes = 0, y_changes = 0;
    int first_x = 0, first_y = 0, last_x = 0, last_y = 0;
    // Counts a change of sign against the last non-zero one.
    auto note = [](double d, double length, int& first, int& last, int& changes) {
        if (std::fabs(d) <= relative_zero * length)
            return;
        const int sign = d > 0 ? 1 : -1;
        if (first == 0)
            first = sign;
        else if (sign != last)
            ++changes;
        last = sign;
    };
    for (size_t i = 0; i < count; ++i) {
        const PlanePoint& a = q[(i + count - 1) % count];
        const PlanePoint& b = q[i];
        const PlanePoint& c = q[(i + 1) % count];
        const double ex = b[0] - a[0], ey = b[1] - a[1];
        const double fx = c[0] - b[0], fy = c[1] - b[1];
        const double e = std::hypot(ex, ey), f = std::hypot(fx, fy);
        if (ex * fy - ey * fx < -relative_zero * e * f)
            return false;
        note(fx, f, first_x, last_x, x_changes);
        note(fy, f, first_y, last_y, y_changes);
    }
    // The ring closes: the last edge meets the first.
    x_changes += first_x != 0 && last_x != first_x;
    y_changes += first_y != 0 && last_y != first_y;
    return x_changes <= 2 && y_changes <= 2;
}

namespace {

// The ring of corners still to be cut, in the plane.
struct Ring {
    const std::vector<PlanePoint>& q;
    std::vector<uint32_t>& prev;
    std::vector<uint32_t>& next;
    double zero_area;  // twice an area that counts as none
};

}  // namespace

// Whether point p lies inside triangle a, b, c (counter-clockwise) or on its
// edges.
static bool covers(const Ring& ring, const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                   const PlanePoint& p)
{
    return area2(a, b, p) >= -ring.zero_area && area2(b, c, p) >= -ring.zero_area &&
           area2(c, a, p) >= -ring.zero_area;
}

// Whether corner i can be cut off with its two neighbours: the triangle turns
// the face's way and holds no other corner of the ring (corners lying where
// one of its own corners lies do not count: a face may repeat a corner). A
// triangle without area is always cut: it takes no area from the face.
static bool is_ear(const Ring& ring, uint32_t i)
{
    const uint32_t p = ring.prev[i], n = ring.next[i];
    const PlanePoint &a = ring.q[p], &b = ring.q[i], &c = ring.q[n];
    const double area = area2(a, b, c);
    if (std::fabs(area) <= ring.zero_area)
        return true;
    if (area < 0)
        return false;
    for (uint32_t j = ring.next[n]; j != p; j = ring.next[j]) {
        const PlanePoint& d = ring.q[j];
        if (d == a || d == b || d == c)
            continue;
        if (covers(ring, a, b, c, d))
            return false;
    }
    return true;
}

// Ear clipping: cut the next ear along the ring until three corners are
// left. Only the neighbours of a cut corner change their shape, so only
// their marks are renewed; when no marked ear is left, all marks are renewed
// once, and a ring that still has none (a face crossing itself) loses the
// corner in hand, so the cutting always ends.
static void clip_ears(FaceSplitScratch& s, double zero_area, std::vector<FaceTriangle>& triangles)
{
    const uint32_t count = static_cast<uint32_t>(s.plane.size());
    s.prev.resize(count);
    s.next.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        s.prev[i] = (i + count - 1) % count;
        s.next[i] = (i + 1) % count;
    }
    const Ring ring{s.plane, s.prev, s.next, zero_area};
    s.ear.resize(count);
    auto mark_all = [&](uint32_t from, uint32_t left) {
        for (uint32_t j = from, k = 0; k < left; ++k, j = s.next[j])
            s.ear[j] = is_ear(ring, j);
    };
    mark_all(0, count);

    uint32_t at = 0;
    for (uint32_t left = count; left > 3; --left) {
        // The next marked ear from here on.
        auto find_ear = [&]() -> int64_t {
            uint32_t j = at;
            for (uint32_t k = 0; k < left; ++k, j = s.next[j])
                if (s.ear[j])
                    return j;
            return -1;
        };
        int64_t found = find_ear();
        if (found < 0) {
            mark_all(at, left);
            found = find_ear();
        }
        const uint32_t ear = found < 0 ? at : static_cast<uint32_t>(found);

        const uint32_t p = s.prev[ear], n = s.next[ear];
        triangles.push_back({p, ear, n});
        s.next[p] = n;
        s.prev[n] = p;
        s.ear[p] = is_ear(ring, p);
        s.ear[n] = is_ear(ring, n);
        at = n;
    }
    triangles.push_back({s.prev[at], at, s.next[at]});
}

void split_face(const std::vector<FacePoint>& corners, FaceSplitScratch& scratch,
                std::vector<FaceTriangle>& triangles)
{
    triangles.clear();
    const uint32_t count = static_cast<uint32_t>(corners.size());
    if (count <= 3) {
        fan(count, triangles);
        return;
    }

    // The face's size, which the notions of "no area" and "no turn" follow.
    double extent = 0;
    for (const FacePoint& c : corners)
        for (int k = 0; k < 3; ++k)
            extent = std::max(extent, std::fabs(c[k] - corners[0][k]));
    const FacePoint normal = area_vector(corners);
    const double zero_area = relative_zero * extent * extent;
    // A face without area (all corners on one line or point) has no plane:
    // any split is as good, and the fan is what it always got.
    if (!(std::sqrt(dot(normal, normal)) > zero_area)) {
        fan(count, triangles);
        return;
    }

    project(corners, normal, scratch.plane);
    if (is_convex(scratch.plane)) {
        fan(count, triangles);
        return;
    }
    clip_ears(scratch, zero_area, triangles);
}
